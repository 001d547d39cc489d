// Read-back helpers for tests: read an .mdb file with independent readers
// (mdbtools' command-line tools and the npm package mdb-reader through
// tests/readback/dump.mjs) and with our own structural check (the jetcheck
// tool), and compare what they find with the rows a test wrote.
//
// Typed values. Expected rows and mdb-reader dumps use one JSON form per
// column type, so a comparison is exact:
//   Boolean                 true / false
//   Byte, Integer, Long     JSON integer
//   Currency, Decimal       string, exact decimal ("-12.3400", "1.5")
//   Single, Double          JSON number, compared bit for bit as a double
//                           (a Single is its exact float value widened)
//   DateTime                string "YYYY-MM-DD HH:MM:SS", rounded to the second
//   Binary, OLE             string of upper-case hex digits ("00FF10")
//   GUID                    string "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
//   Text, Memo              string (UTF-8)
//   NULL                    null
// Decimal strings compare by value ("1.50" equals "1.5"), since readers
// differ in how many trailing zeros they print.
//
// mdb-export (mdbtools 1.0) cannot show some values exactly, so the mdbtools
// comparison allows for what it loses and mdb-reader's stays exact: doubles
// are printed with 15 significant digits and singles with about 8 (compared
// at 15 and 6); a Binary value is printed only up to its first zero byte
// (OLE values are whole); an empty text or memo is printed like NULL; a GUID
// is printed as text with its last two groups run together; a date before
// 1899-12-30 or after 4637-11-26 is printed as "1900-01-00 00:00:00"; a
// memo is cut after 199,999 bytes of UTF-8; a character beyond U+FFFF comes
// out as "??".
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "jet/database.h"

namespace tabulex::readback {

// A reader tool failed or printed something we cannot parse.
class ReadbackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CommandResult {
  int status = -1;  // exit status; -1 when it could not run or was killed
  std::string out;
  std::string err;
};

// Runs argv[0] (looked up in PATH) with argv, without a shell, and collects
// both output streams. extraEnv is added to the environment.
CommandResult runCommand(
    const std::vector<std::string>& argv,
    const std::vector<std::pair<std::string, std::string>>& extraEnv = {});

// Empty when the reader can be used; otherwise the reason, for GTEST_SKIP.
std::string mdbtoolsMissing();
std::string mdbReaderMissing();
std::string jetcheckMissing();

// mdbtools. Each throws ReadbackError when the tool fails.
std::vector<std::string> mdbTables(const std::string& path);  // user tables
// With a backend ("mysql", "postgres", ...) mdb-schema also prints the
// indexes and the relationships, in that dialect.
std::string mdbSchema(const std::string& path, const std::string& backend = {});
long mdbCount(const std::string& path, const std::string& table);

// mdb-export with exact, parseable options: dates as "YYYY-MM-DD HH:MM:SS",
// binary as hex, no quoting; NULL is std::nullopt.
using TextRow = std::vector<std::optional<std::string>>;
struct ExportedTable {
  std::vector<std::string> columns;
  std::vector<TextRow> rows;
};
ExportedTable mdbExport(const std::string& path, const std::string& table);

// mdb-reader: {"tables":[{"name":..., "rowCount":N,
//   "columns":[{"name":..., "type":"long", "size":4, "nullable":true,
//               "autoLong":false, "precision":.., "scale":..}, ...],
//   "rows":[[value, ...], ...]}, ...]}  with values in the typed form above.
nlohmann::json mdbReaderDump(const std::string& path);
// One table's entry in that form, with only the rows from offset on (at
// most limit of them), for walking a large table a part at a time.
nlohmann::json mdbReaderTable(const std::string& path, const std::string& table,
                              size_t offset = 0, size_t limit = SIZE_MAX);
// The entry of one table in a dump; throws ReadbackError when absent.
const nlohmann::json& dumpTable(const nlohmann::json& dump,
                                const std::string& table);

// Our structural check, run as the jetcheck tool: the problems it prints
// (empty when the file is sound). Throws ReadbackError when it cannot run.
std::vector<std::string> jetcheckProblems(const std::string& path);

// Expected contents of one user table.
struct ExpectedTable {
  std::string name;
  std::vector<std::string> columns;   // in table order
  std::vector<nlohmann::json> rows;   // each a JSON array, one typed value a column
  bool anyOrder = false;              // compare as multisets, not in storage order
};

// Compare one table with each reader. The failure message names the
// reader, table, row, column, the expected and the found value (the first
// difference only).
::testing::AssertionResult mdbReaderMatches(const std::string& path,
                                            const ExpectedTable& expected);
::testing::AssertionResult mdbtoolsMatches(const std::string& path,
                                           const ExpectedTable& expected);

// The whole read-back a written file must pass: jetcheck clean, the user
// tables are exactly those expected (names compared case-sensitively, order
// ignored), mdb-count and both readers' rows match.
::testing::AssertionResult fileMatches(const std::string& path,
                                       const std::vector<ExpectedTable>& tables);

// Converts between the typed form and mdb-export's text for one column of
// the mdb-reader column type name ("long", "double", "datetime", ...).
std::string typedToExportText(const nlohmann::json& value,
                              const std::string& columnType);

// The typed form of a value as the Jet library takes it, so a test can
// build its expected rows from the very values it inserted. A Single
// column's value must already be the float it stores (static_cast<float>).
nlohmann::json typedValue(const jet::Value& value);
nlohmann::json typedRow(const std::vector<jet::Value>& values);

}  // namespace tabulex::readback
