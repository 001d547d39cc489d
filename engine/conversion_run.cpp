#include "engine/conversion_run.h"

#include <exception>
#include <memory>
#include <new>

#include "engine/column_catalogue.h"
#include "engine/identifiers.h"
#include "engine/row_copy.h"
#include "engine/source_schema.h"
#include "engine/table_read.h"
#include "engine/row_fit.h"
#include "engine/table_statement.h"
#include "engine/text_lengths.h"
#include "odbc/carried_text.h"
#include "odbc/connect_string.h"
#include "odbc/data_source_lock.h"
#include "odbc/data_source_registration.h"
#include "odbc/database.h"

namespace engine {

namespace {

constexpr int kProgressLower = 40;
constexpr int kProgressUpper = 650;

constexpr const char* kConnectStep = "connecting to the MySQL server";

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Thrown from the row callback when the run is asked to stop.
struct Interrupted {};

// Whether a source failure means the connection itself is gone: SQLSTATE
// class 08, or the client's own codes for a server that cannot be reached
// (2002, 2003), went away (2006) or dropped the connection (2013, 2055).
bool connectionLost(const CDBException& e) {
  const std::string& states = e.m_strStateNativeOrigin;
  if (states.find("State:08") != std::string::npos) return true;
  for (const char* code : {"Native:2002,", "Native:2003,", "Native:2006,", "Native:2013,", "Native:2055,"})
    if (states.find(code) != std::string::npos) return true;
  return false;
}

// Where one run reads and writes.
struct Connections {
  std::string source;
  std::string destination;
};

// One table's turn: column listing and key, the table statement, the rows.
// Whatever fails is recorded in `outcome` and ends the turn only. Returns
// whether the progress bar takes this table's step: a table that could not
// even be listed counts as done, one abandoned later does not.
// `lost` is set when the MySQL server could not be reached or dropped the
// connection; Interrupted leaves when the run is asked to stop.
bool convertTable(const std::string& table, const Connections& connections,
                  NameAllocator& tableNames,
                  ConversionObserver& observer, const RunOptions& options,
                  TableOutcome& outcome, bool& lost) {
  TablePlan plan;
  plan.sourceName = table;
  nameTable(plan, tableNames);
  outcome.destination = plan.destinationName;
  outcome.renames = plan.renames;

  std::string step = kConnectStep;
  CopyCounts counts;
  bool listed = false;
  try {
    {
      ColumnCatalogue catalogue(connections.source);
      step = "reading the column list";
      plan.columns = catalogue.columns(table);
      plan.keyColumns = catalogue.primaryKey(table);
    }
    listed = true;
    if (plan.columns.empty()) throw std::runtime_error("the column catalogue lists no columns");
    nameColumns(plan);
    step = "sizing the text columns";
    sizeTextByStoredValues(connections.source, plan);
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
    TableRead source(connections.source, table, readPlan);
    std::vector<ValueStyle> styles = resultStyles(source.rows(), plan, source.extraColumns());

    step = "creating the table";
    const std::string& destination = connections.destination;
    {
      CDatabase access;
      access.OpenEx(destination, 0);
      access.ExecuteSQL(createTableStatement(plan));
      access.Close();
    }

    step = "copying the rows";
    std::unique_ptr<Destination> sink =
        options.bulk ? connectionPerTable(destination) : connectionPerStatement(destination);
    copyRows(source, styles, plan, plan.keyColumns, *sink, counts, [&](uint64_t written) {
      observer.rowsCopied(table, written);
      if (options.stop && options.stop->load()) throw Interrupted{};
    });
    outcome.ok = true;
  } catch (const Interrupted&) {
    outcome.message = kInterruptedText;
    outcome.rowsRead = counts.read;
    outcome.rowsWritten = counts.written;
    throw;
  } catch (const CDBException& e) {
    outcome.message = step + ": " + trimmed(e.m_strError);
    // Failures of the Access side are wrapped per row or come while creating.
    lost = step != "creating the table" && connectionLost(e);
  } catch (const std::bad_alloc&) {
    outcome.message = step + ": out of memory";
  } catch (const std::exception& e) {
    outcome.message = step + ": " + trimmed(e.what());
    lost = step == kConnectStep;
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
  // The file's whole name: a destination ending in a blank keeps it, where
  // the driver would trim a name without its suffix.
  const std::string file = settings.destinationPath + ".mdb";
  Connections connections;
  std::unique_ptr<DataSourceLock> lock;
  std::string refused;
  if (options.ownConnections) {
    connections = {sourceConnectString(settings, true), accessDriverConnectString(file)};
  } else {
    // From the first registration to the last removal, no other run may
    // re-point the names; a run that has to wait says so.
    lock = std::make_unique<DataSourceLock>([&] {
      observer.startProgress(kProgressLower, kProgressUpper);
      observer.setStatusText(kWaitingForDataSourcesText);
    });
    // Another wizard may have pointed "dsnms" at its own database since the
    // tables were listed; without it the run would read that database.
    if (!AddMySqlDataSource(settings.databaseName, kSourceDataSource, "", settings.server))
      refused = "not converted: the database name \"" + escapedText(settings.databaseName) +
                "\" cannot be written into odbc.ini exactly";
    connections = {sourceConnectString(settings), std::string("DSN=") + kDestinationDataSource};
  }
  // Neither result decides anything: a file that could not be made shows up
  // as every table failing, each with the driver's reason.
  if (options.createFile) CreateAccessDatabaseFile(file);
  if (!options.ownConnections) AddAccessDataSource(file, kDestinationDataSource, "");

  observer.startProgress(kProgressLower, kProgressUpper);
  observer.setStatusText("Converting Database...");

  const int step = kProgressUpper / static_cast<int>(tables.size());
  NameAllocator tableNames;
  std::vector<TableOutcome> outcomes;
  bool interrupted = false;
  std::string lostBecause;
  for (const std::string& table : tables) {
    if (options.stop && options.stop->load()) {
      interrupted = true;
      break;
    }
    TableOutcome outcome;
    outcome.source = table;
    if (!refused.empty()) {
      outcome.message = refused;
    } else if (!lostBecause.empty()) {
      // Every further table would wait for the same server in vain.
      outcome.message = "not converted: the MySQL server was lost during " + lostBecause;
    } else {
      observer.tableStarted(static_cast<int>(outcomes.size()) + 1, static_cast<int>(tables.size()), table,
                            rowEstimate(connections.source, settings.databaseName, table));
      bool lost = false;
      try {
        if (convertTable(table, connections, tableNames, observer, options, outcome, lost))
          observer.stepProgress(step);
      } catch (const Interrupted&) {
        interrupted = true;
      }
      if (lost) lostBecause = "the table " + table;
    }
    observer.tableFinished(outcome);
    outcomes.push_back(std::move(outcome));
    if (interrupted) break;
  }
  observer.setProgressPosition(kProgressUpper);

  if (!options.ownConnections) {
    // "dsns" is no name this program registers; removing it stays harmless.
    RemoveMySqlDataSource(settings.databaseName, "dsns", "");
    RemoveMySqlDataSource(settings.databaseName, kSourceDataSource, "");
    RemoveAccessDataSource(file, kDestinationDataSource, "");
    // Before the notice, which waits for the user: another run may go on.
    lock.reset();
  }

  bool allConverted = !interrupted;
  for (const TableOutcome& outcome : outcomes) allConverted = allConverted && outcome.ok;
  observer.conversionFinished(outcomes);
  observer.setStatusText(allConverted ? "Database Conversion Compleated"
                                      : "Database Conversion Finished with Errors");
  return outcomes;
}

}  // namespace engine
