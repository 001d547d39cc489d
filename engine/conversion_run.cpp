#include "engine/conversion_run.h"

#include <exception>
#include <new>

#include "engine/column_catalogue.h"
#include "engine/identifiers.h"
#include "engine/row_copy.h"
#include "engine/source_schema.h"
#include "engine/table_read.h"
#include "engine/row_fit.h"
#include "engine/table_statement.h"
#include "engine/text_lengths.h"
#include "odbc/data_source_registration.h"
#include "odbc/database.h"

namespace engine {

namespace {

constexpr int kProgressLower = 40;
constexpr int kProgressUpper = 650;

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// One table's turn: column listing and key, the table statement, the rows.
// Whatever fails is recorded in `outcome` and ends the turn only. Returns
// whether the progress bar takes this table's step: a table that could not
// even be listed counts as done, one abandoned later does not.
bool convertTable(const std::string& table, const std::string& sourceConnect,
                  NameAllocator& tableNames,
                  ConversionObserver& observer, const RunOptions& options,
                  TableOutcome& outcome) {
  TablePlan plan;
  plan.sourceName = table;
  nameTable(plan, tableNames);
  outcome.destination = plan.destinationName;
  outcome.renames = plan.renames;

  std::string step = "reading the column list";
  CopyCounts counts;
  bool listed = false;
  try {
    {
      ColumnCatalogue catalogue(sourceConnect);
      plan.columns = catalogue.columns(table);
      plan.keyColumns = catalogue.primaryKey(table);
    }
    listed = true;
    if (plan.columns.empty()) throw std::runtime_error("the column catalogue lists no columns");
    nameColumns(plan);
    step = "sizing the text columns";
    sizeTextByStoredValues(sourceConnect, plan);
    dropKeyAccessCannotHold(plan);
    outcome.renames = plan.renames;
    outcome.message = plan.note;
    step = "planning the columns";
    fitRowIntoJet(plan, plan.keyColumns);
    outcome.notes.insert(outcome.notes.end(), plan.notes.begin(), plan.notes.end());

    // Named before the rows are fetched: the driver fetches a whole table at
    // once, which takes a while for a large one.
    observer.redraw();
    observer.setStatusText("Converting....Tables   " + table);

    step = "reading the rows";
    ReadPlan readPlan;
    TableRead source(sourceConnect, table, readPlan);
    std::vector<ValueStyle> styles = resultStyles(source.rows(), plan, source.extraColumns());

    step = "creating the table";
    const std::string destination = std::string("DSN=") + kDestinationDataSource;
    {
      CDatabase access;
      access.OpenEx(destination, 0);
      access.ExecuteSQL(createTableStatement(plan));
      access.Close();
    }

    step = "copying the rows";
    std::unique_ptr<Destination> sink =
        options.bulk ? connectionPerTable(destination) : connectionPerStatement(destination);
    copyRows(source, styles, plan, plan.keyColumns, *sink, counts,
             [&](uint64_t written) { observer.rowsCopied(table, written); });
    outcome.ok = true;
  } catch (const CDBException& e) {
    outcome.message = step + ": " + trimmed(e.m_strError);
  } catch (const std::bad_alloc&) {
    outcome.message = step + ": out of memory";
  } catch (const std::exception& e) {
    outcome.message = step + ": " + trimmed(e.what());
  } catch (...) {
    outcome.message = step + ": unknown failure";
  }
  outcome.rowsRead = counts.read;
  outcome.rowsWritten = counts.written;
  outcome.rowsSkipped = counts.skipped;
  outcome.skipped = std::move(counts.skippedRows);
  for (std::string& note : setToNullNotes(counts, plan)) outcome.notes.push_back(std::move(note));
  return outcome.ok || !listed;
}

// The catalogue's row count of the table, for progress only: any failure
// leaves it unknown, and the table's own turn reports the cause.
uint64_t rowEstimate(const std::string& sourceConnect, const std::string& database, const std::string& table) {
  try {
    return readSourceTableInfo(sourceConnect, database, table).rowEstimate;
  } catch (...) {
    return 0;
  }
}

}  // namespace

std::vector<TableOutcome> ConversionRun(const std::vector<std::string>& tables,
                                        const ConversionSettings& settings,
                                        ConversionObserver& observer, const RunOptions& options) {
  if (tables.empty()) {
    observer.pleaseSelectTable();
    return {};
  }
  // Neither result decides anything: a file that could not be made shows up
  // as every table failing, each with the driver's reason.
  CreateAccessDatabaseFile(settings.destinationPath);
  AddAccessDataSource(settings.destinationPath, kDestinationDataSource, "");

  observer.startProgress(kProgressLower, kProgressUpper);
  observer.setStatusText("Converting Database...");

  const std::string sourceConnect = sourceConnectString(settings);
  const int step = kProgressUpper / static_cast<int>(tables.size());
  NameAllocator tableNames;
  std::vector<TableOutcome> outcomes;
  for (const std::string& table : tables) {
    TableOutcome outcome;
    outcome.source = table;
    observer.tableStarted(static_cast<int>(outcomes.size()) + 1, static_cast<int>(tables.size()), table,
                          rowEstimate(sourceConnect, settings.databaseName, table));
    if (convertTable(table, sourceConnect, tableNames, observer, options, outcome))
      observer.stepProgress(step);
    observer.tableFinished(outcome);
    outcomes.push_back(std::move(outcome));
  }
  observer.setProgressPosition(kProgressUpper);

  bool allConverted = true;
  for (const TableOutcome& outcome : outcomes) allConverted = allConverted && outcome.ok;
  observer.conversionFinished(outcomes);
  observer.setStatusText(allConverted ? "Database Conversion Compleated"
                                      : "Database Conversion Finished with Errors");

  RemoveMySqlDataSource(settings.databaseName, "dsns", "");
  RemoveAccessDataSource(settings.destinationPath, kDestinationDataSource, "");
  return outcomes;
}

}  // namespace engine
