// The statements sent for one table: its definition, the source query and
// the row inserts. Pure text building.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/type_mapping.h"

namespace engine {

// One table's plan: the Access names of the table and of every column, in
// catalogue order, and the key in key order (source names).
struct TablePlan {
  std::string sourceName;
  std::string destinationName;
  std::vector<SourceColumn> columns;
  std::vector<std::string> accessColumnNames;  // parallel to columns
  std::vector<std::string> keyColumns;         // source names, key order
  std::vector<std::string> renames;            // "old -> new"
  std::string note;                            // what could not be kept, for the outcome
  std::vector<std::string> notes;              // columns the plan changed, one sentence each
  // AutoNumber and defaults, parallel to columns; empty when only the
  // columns, Required and the key are written.
  std::vector<ColumnSchema> columnSchema;
};

// Access cannot index Memo and OLE columns: a key holding one is left out
// (the rows matter more than the constraint) and the plan notes it.
void dropKeyAccessCannotHold(TablePlan& plan);

// Access name of a source table before uniqueness: "counter" (exactly)
// becomes "countr".
std::string preferredTableName(const std::string& sourceName);

// Whether Access keeps the name for its own tables (MSys..., any case).
bool accessSystemName(std::string_view name);

class NameAllocator;
// Sets destinationName through `tableNames` (unique in the run) and notes a
// rename.
void nameTable(TablePlan& plan, NameAllocator& tableNames);
// Sets accessColumnNames (unique in the table) and notes every rename.
void nameColumns(TablePlan& plan);

// Create Table [t]([id] INTEGER PRIMARY KEY , [name] varchar(50) NULL)
// A key of several columns becomes a table constraint after the columns.
std::string createTableStatement(const TablePlan& plan);

// Select * from `t`
std::string sourceQuery(const std::string& sourceName);

// INSERT INTO [t] values(v1, v2 )
std::string insertStatement(const std::string& destinationName,
                            const std::vector<std::string>& valueTexts);

}  // namespace engine
