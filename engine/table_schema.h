// What a table carries beyond its columns, Required and primary key:
// AutoNumber, defaults, descriptions and the other indexes, planned from the
// source's catalogue entry. Pure text work; the run sends the statements.
#pragma once

#include <string>
#include <vector>

#include "engine/source_schema.h"
#include "engine/table_statement.h"

namespace engine {

// Jet keeps at most this many indexes on a table, the primary key and the
// relationships' indexes included.
inline constexpr int kJetIndexLimit = 32;

// A statement the table can do without, and what it makes ("index x",
// "description of column y") for a note when the driver refuses it.
struct PlannedStatement {
  std::string what;
  std::string sql;
};

struct TableSchemaPlan {
  std::vector<PlannedStatement> descriptions;  // COMMENT ON ..., after the table is made
  std::vector<PlannedStatement> indexes;       // CREATE [UNIQUE] INDEX ..., after the rows are in
  int defaults = 0;                       // DEFAULT clauses in the table statement
  std::vector<std::string> notes;         // what was left out, one sentence each
  int leftOut = 0;                        // how many of the notes say something was left out
  std::vector<std::string> renames;       // "index old -> new"
};

// Fills plan.columnSchema (AutoNumber, defaults) and plans descriptions and
// indexes. `plan` has its Access names and key already; `reservedIndexes`
// counts the relationships' indexes the table will hold.
TableSchemaPlan planTableSchema(TablePlan& plan, const SourceTableInfo& info, int reservedIndexes);

// COMMENT ON TABLE [t] IS 'text' / COMMENT ON COLUMN [t].[c] IS 'text'
std::string tableDescriptionStatement(const std::string& table, const std::string& text);
std::string columnDescriptionStatement(const std::string& table, const std::string& column,
                                       const std::string& text);

}  // namespace engine
