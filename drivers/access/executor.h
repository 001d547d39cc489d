// Runs parsed statements against an open Jet database and keeps result
// sets in memory (the driver's result sets are small reads for checking).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drivers/access/sql_parser.h"
#include "jet/database.h"

namespace tabulex::access {

struct ResultColumn {
  std::string name;
  std::string table;
  jet::ColumnSpec spec;  // the Jet type steers how values are described and converted
};

struct ResultSet {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<jet::Value>> rows;
};

struct ExecResult {
  std::optional<ResultSet> rows;  // set for SELECT
  int64_t rowCount = -1;          // rows affected (INSERT), or rows selected
};

// Table definitions by name, reused across statements on one file. The
// owner clears it whenever the file is reloaded or a definition changes.
class SpecCache {
 public:
  const jet::TableSpec& get(jet::Database& db, const std::string& table);
  void clear() { entries_.clear(); }

 private:
  std::vector<std::pair<std::string, jet::TableSpec>> entries_;
};

// Throws DriverError with the statement's SQLSTATE on any failure; a failed
// statement changes nothing in the file.
ExecResult execute(jet::Database& db, SpecCache& specs, const Statement& statement);

// Runs an INSERT with `row` as room for the values (kept by the caller
// from statement to statement); throws as execute does.
void executeInsert(jet::Database& db, SpecCache& specs, const Insert& insert,
                   std::vector<jet::Value>& row);

// The columns a SELECT would return, without reading any row.
ResultSet describeSelect(jet::Database& db, SpecCache& specs, const Select& select);

// Turns a Jet library failure into the driver's SQLSTATE and message.
[[noreturn]] void rethrowJetError(const jet::Error& error);

// Access compares names without regard to letter case.
bool sameName(const std::string& a, const std::string& b);

}  // namespace tabulex::access
