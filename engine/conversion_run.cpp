#include "engine/conversion_run.h"

#include <exception>
#include <map>
#include <memory>
#include <new>

#include "engine/block_insert.h"
#include "engine/column_catalogue.h"
#include "engine/identifiers.h"
#include "engine/relationships.h"
#include "engine/row_copy.h"
#include "engine/source_schema.h"
#include "engine/table_read.h"
#include "engine/row_fit.h"
#include "engine/table_schema.h"
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

// The first SQLSTATE of a failure of the access layer.
std::string sqlState(const CDBException& e) {
  const std::string& states = e.m_strStateNativeOrigin;
  std::size_t at = states.find("State:");
  return at == std::string::npos ? std::string() : states.substr(at + 6, 5);
}

// What every table of the run knows before the first one is made: its
// catalogue entry, and the relationships' share of its index limit and
// index names.
struct RunSchema {
  std::map<std::string, SourceTableInfo> infos;
  std::map<std::string, std::string> unreadable;  // table -> why its entry could not be read
  std::vector<RelationshipPlan> relationships;
  std::map<std::string, int> reservedIndexes;
  std::map<std::string, ConvertedTable> converted;  // tables that converted, by source name
};

RunSchema readRunSchema(const std::vector<std::string>& tables, const std::string& sourceConnect,
                        const std::string& database, bool fullSchema) {
  RunSchema schema;
  for (const std::string& table : tables) {
    try {
      schema.infos[table] = readSourceTableInfo(sourceConnect, database, table);
    } catch (const CDBException& e) {
      schema.unreadable[table] = trimmed(e.m_strError);
    } catch (const std::exception& e) {
      schema.unreadable[table] = trimmed(e.what());
    }
  }
  if (!fullSchema) return schema;
  NameAllocator names;
  schema.relationships = planRelationships(tables, schema.infos, names);
  for (const RelationshipPlan& relationship : schema.relationships) {
    ++schema.reservedIndexes[relationship.child];
    ++schema.reservedIndexes[relationship.parent];
  }
  return schema;
}

// Sends one schema statement the table can do without: a refusal becomes a
// note, never the table's failure.
bool sendSchemaStatement(CDatabase& access, const PlannedStatement& statement,
                         TableOutcome& outcome) {
  try {
    access.ExecuteSQL(statement.sql);
    return true;
  } catch (const CDBException& e) {
    outcome.notes.push_back(statement.what + " left out: " + trimmed(e.m_strError));
    ++outcome.schema.leftOut;
    return false;
  }
}

// Every relationship whose two tables converted, after all rows are in;
// counted and noted on the child table's outcome.
void makeRelationships(const RunSchema& schema, const std::string& destination,
                       std::vector<TableOutcome>& outcomes) {
  std::map<std::string, TableOutcome*> bySource;
  for (TableOutcome& outcome : outcomes) bySource[outcome.source] = &outcome;
  std::unique_ptr<CDatabase> access;
  for (const RelationshipPlan& relationship : schema.relationships) {
    auto child = schema.converted.find(relationship.child);
    if (child == schema.converted.end()) continue;  // the child's failure says enough
    TableOutcome& outcome = *bySource[relationship.child];
    const std::string label = "relationship " + relationship.key->name;
    auto leaveOut = [&](const std::string& why) {
      outcome.notes.push_back(label + " left out: " + why);
      ++outcome.schema.leftOut;
    };
    auto parent = schema.converted.find(relationship.parent);
    if (parent == schema.converted.end()) {
      leaveOut("the table " + relationship.parent + " did not convert");
      continue;
    }
    std::string why;
    const std::string sql = relationshipStatement(relationship, child->second, parent->second, why);
    if (sql.empty()) {
      leaveOut(why);
      continue;
    }
    try {
      if (!access) {
        access = std::make_unique<CDatabase>();
        access->OpenEx(destination, 0);
      }
      try {
        access->ExecuteSQL(sql);
      } catch (const CDBException& e) {
        const std::string reason =
            notEnforcedReason(sqlState(e), e.m_strError, relationship.child, relationship.parent);
        if (reason.empty()) throw;
        access->ExecuteSQL(sql + " NOT ENFORCED");
        outcome.notes.push_back(label + " is not enforced: " + reason);
        ++outcome.schema.leftOut;
      }
      ++outcome.schema.relationships;
      if (relationship.name != relationship.key->name)
        outcome.renames.push_back(label + " -> " + relationship.name);
      const std::string lost = cascadeLoss(*relationship.key);
      if (!lost.empty()) {
        outcome.notes.push_back(label + " is enforced without cascade: Access has no " + lost);
        ++outcome.schema.leftOut;
      }
    } catch (const CDBException& e) {
      leaveOut(trimmed(e.m_strError));
    }
  }
  // Foreign keys to tables outside the run.
  for (TableOutcome& outcome : outcomes) {
    auto info = schema.infos.find(outcome.source);
    if (!outcome.ok || info == schema.infos.end()) continue;
    for (const SourceForeignKey& key : info->second.foreignKeys) {
      const bool inRun = key.referencedDatabase.empty() && bySource.count(key.referencedTable);
      if (inRun) continue;
      const std::string where = key.referencedDatabase.empty()
                                    ? key.referencedTable
                                    : key.referencedDatabase + "." + key.referencedTable;
      outcome.notes.push_back("relationship " + key.name + " left out: the table " + where +
                              " is not converted");
      ++outcome.schema.leftOut;
    }
  }
  if (access) access->Close();
}

// One table's turn: column listing and key, the table statement, the rows.
// Whatever fails is recorded in `outcome` and ends the turn only. Returns
// whether the progress bar takes this table's step: a table that could not
// even be listed counts as done, one abandoned later does not.
// `lost` is set when the MySQL server could not be reached or dropped the
// connection; Interrupted leaves when the run is asked to stop.
bool convertTable(const std::string& table, const Connections& connections,
                  NameAllocator& tableNames, RunSchema& schema,
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
    const auto info = schema.infos.find(table);
    if (info != schema.infos.end()) {
      if (info->second.isView) outcome.kind = "view";
      // The catalogue driver numbers a key's columns in table order; the
      // server's own entry has them in key order.
      std::vector<std::string> key;
      for (const SourceIndex& index : info->second.indexes)
        if (index.primary)
          for (const SourceIndexColumn& column : index.columns) key.push_back(column.name);
      if (!key.empty()) plan.keyColumns = key;
    }
    nameColumns(plan);
    step = "sizing the text columns";
    sizeTextByStoredValues(connections.source, plan);
    dropKeyAccessCannotHold(plan);
    const SourceTableInfo* entry = nullptr;
    if (options.fullSchema) {
      auto unreadable = schema.unreadable.find(table);
      if (unreadable != schema.unreadable.end()) {
        outcome.notes.push_back("indexes, AutoNumber, defaults, descriptions and relationships left out: " +
                                unreadable->second);
        ++outcome.schema.leftOut;
      } else if (info != schema.infos.end()) {
        entry = &info->second;
      }
    }
    // Before the indexes are planned: an index over a column that had to
    // become Memo is then left out with its reason.
    step = "planning the columns";
    fitRowKeepingIndexes(plan, entry ? indexedColumns(*entry) : std::vector<std::string>{});
    TableSchemaPlan tableSchema;
    if (entry) tableSchema = planTableSchema(plan, *entry, schema.reservedIndexes[table]);
    outcome.renames = plan.renames;
    outcome.renames.insert(outcome.renames.end(), tableSchema.renames.begin(), tableSchema.renames.end());
    outcome.notes.insert(outcome.notes.end(), tableSchema.notes.begin(), tableSchema.notes.end());
    outcome.notes.insert(outcome.notes.end(), plan.notes.begin(), plan.notes.end());
    outcome.schema.leftOut += tableSchema.leftOut;
    outcome.message = plan.note;

    // Named before the rows are fetched: the driver fetches a whole table at
    // once, which takes a while for a large one.
    observer.redraw();
    observer.setStatusText("Converting....Tables   " + table);

    step = "reading the rows";
    // The catalogue entry read for the schema also chooses the read; a table
    // whose entry could not be read is read whole, as before chunks existed.
    ReadPlan readPlan;
    std::vector<std::string> rowKey = plan.keyColumns;
    if (info != schema.infos.end()) {
      readPlan = planTableRead(info->second, options.chunkRows ? options.chunkRows : kDefaultChunkRows);
      // Skipped rows are named by the key that identifies them in the source.
      std::vector<std::string> chunkKey = chunkKeyColumns(info->second);
      if (!chunkKey.empty()) rowKey = chunkKey;
    }
    // On one destination connection the rows go a block at a time.
    TableRead source(connections.source, table, readPlan, options.bulk);
    for (const std::string& note : source.notes()) outcome.notes.push_back(note);
    std::vector<ValueStyle> styles = resultStyles(source.columnTypes(), plan, source.extraColumns());
    std::optional<BlockLayout> blocks = source.blockLayout(styles);

    step = "creating the table";
    const std::string& destination = connections.destination;
    {
      CDatabase access;
      access.OpenEx(destination, 0);
      try {
        access.ExecuteSQL(createTableStatement(plan));
        outcome.schema.defaults = tableSchema.defaults;
      } catch (const CDBException& e) {
        // A driver that takes no AutoNumber or default still gets the
        // table; the rows matter more.
        if (plan.columnSchema.empty()) throw;
        plan.columnSchema.clear();
        access.ExecuteSQL(createTableStatement(plan));
        outcome.notes.push_back("AutoNumber and defaults left out: " + trimmed(e.m_strError));
        ++outcome.schema.leftOut;
      }
      for (const PlannedStatement& description : tableSchema.descriptions)
        if (sendSchemaStatement(access, description, outcome)) ++outcome.schema.descriptions;
      access.Close();
    }

    step = "copying the rows";
    auto progress = [&](uint64_t written) {
      observer.rowsCopied(table, written);
      if (options.stop && options.stop->load()) throw Interrupted{};
    };
    if (blocks) {
      BlockInsert sink(destination, plan.destinationName, *blocks);
      copyBlocks(source, *blocks, plan, rowKey, sink, counts, progress);
    } else {
      std::unique_ptr<Destination> sink =
          options.bulk ? connectionPerTable(destination) : connectionPerStatement(destination);
      copyRows(source, styles, plan, rowKey, *sink, counts, progress);
    }
    // Built from the stored rows at once rather than entry by entry.
    step = "making the indexes";
    if (!tableSchema.indexes.empty()) {
      CDatabase access;
      access.OpenEx(destination, 0);
      for (const PlannedStatement& index : tableSchema.indexes)
        if (sendSchemaStatement(access, index, outcome)) ++outcome.schema.indexes;
      access.Close();
    }
    outcome.ok = true;
    ConvertedTable& converted = schema.converted[table];
    converted.destination = plan.destinationName;
    for (std::size_t i = 0; i < plan.columns.size(); ++i)
      converted.accessColumns[plan.columns[i].name] = plan.accessColumnNames[i];
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
  RunSchema schema = readRunSchema(tables, connections.source, settings.databaseName, options.fullSchema);
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
      const auto info = schema.infos.find(table);
      observer.tableStarted(static_cast<int>(outcomes.size()) + 1, static_cast<int>(tables.size()), table,
                            info != schema.infos.end()
                                ? info->second.rowEstimate
                                : rowEstimate(connections.source, settings.databaseName, table));
      bool lost = false;
      try {
        if (convertTable(table, connections, tableNames, schema, observer, options, outcome, lost))
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
  if (options.fullSchema)
    makeRelationships(schema, connections.destination, outcomes);
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
