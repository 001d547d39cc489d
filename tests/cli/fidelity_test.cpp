// A MySQL database holding every type the converter maps, with the boundary
// values of each and the table names that break naive SQL, converted by
// tabulex-convert and read back with mdbtools and mdb-reader: every value
// must come back exact for its Access type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "support/readback.h"
#include "support/rig.h"
#include "jet/database.h"

using nlohmann::json;
namespace rb = tabulex::readback;
namespace fs = std::filesystem;

namespace {

// The Access driver the rig registers, built in this build folder.
std::string accessDriverMissing() {
  if (std::filesystem::exists(std::string(TABULEX_BINARY_DIR) + "/drivers/access/libtabulexaccess.so"))
    return {};
  return "the Access driver is not built (target tabulexaccess)";
}

struct Column {
  std::string name;        // MySQL name
  std::string type;        // MySQL type, constraints included
  std::string accessName;  // the Access name when it must change
};

// One value: the MySQL literal and what the Access file must hold.
struct Cell {
  std::string sql;
  json expected;
};

struct Table {
  std::string name;
  std::string accessName;
  std::vector<Column> columns;
  std::string extra;  // table constraints
  std::vector<std::vector<Cell>> rows;
};

std::string backticked(const std::string& name) {
  std::string out = "`";
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  return out + "`";
}

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// A MySQL string literal; control characters escaped, since the client
// reading the script would take a carriage return for a line end.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      if (c == '\'' || c == '\\') out += c;
      out += c;
    }
  }
  return out + "'";
}

Cell text(const std::string& value) { return {quoted(value), value}; }
Cell null() { return {"NULL", nullptr}; }
Cell integer(long long value) { return {std::to_string(value), value}; }
Cell number(const std::string& literal, json expected) { return {literal, std::move(expected)}; }
Cell bytes(const std::string& value) {
  return {value.empty() ? "''" : "0x" + hex(value), hex(value)};
}

std::vector<Table> fidelityTables() {
  std::vector<Table> tables;

  tables.push_back({"integers", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"ti", "TINYINT NULL", ""},
      {"tiu", "TINYINT UNSIGNED NULL", ""},
      {"si", "SMALLINT NULL", ""},
      {"siu", "SMALLINT UNSIGNED NULL", ""},
      {"mi", "MEDIUMINT NULL", ""},
      {"miu", "MEDIUMINT UNSIGNED NULL", ""},
      {"i", "INT NULL", ""},
      {"iu", "INT UNSIGNED NULL", ""},
      {"bi", "BIGINT NULL", ""},
      {"biu", "BIGINT UNSIGNED NULL", ""},
      {"yr", "YEAR NULL", ""}}, "", {
      {integer(1), integer(-128), integer(0), integer(-32768), integer(0), integer(-8388608),
       integer(0), integer(-2147483648LL), number("0", "0"),
       number("-9223372036854775808", "-9223372036854775808"), number("0", "0"), integer(1901)},
      {integer(2), integer(127), integer(255), integer(32767), integer(65535), integer(8388607),
       integer(16777215), integer(2147483647), number("4294967295", "4294967295"),
       number("9223372036854775807", "9223372036854775807"),
       number("18446744073709551615", "18446744073709551615"), integer(2155)},
      {integer(3), null(), null(), null(), null(), null(), null(), null(), null(), null(), null(),
       null()}}});

  tables.push_back({"fractions", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"d28", "DECIMAL(28,10) NULL", ""},
      {"d65", "DECIMAL(65,30) NULL", ""},
      {"n", "NUMERIC(10,3) NULL", ""},
      {"dbl", "DOUBLE NULL", ""},
      {"flt", "FLOAT NULL", ""}}, "", {
      {integer(1), number("999999999999999999.9999999999", "999999999999999999.9999999999"),
       number("99999999999999999999999999999999999.999999999999999999999999999999",
              "99999999999999999999999999999999999.999999999999999999999999999999"),
       number("-1234567.125", "-1234567.125"), number("0.30000000000000004", 0.30000000000000004),
       number("16777216", 16777216.0)},
      {integer(2), number("-999999999999999999.9999999999", "-999999999999999999.9999999999"),
       number("-0.000000000000000000000000000001", "-0.000000000000000000000000000001"),
       number("0.001", "0.001"), number("1.2345678901234567e300", 1.2345678901234567e300),
       number("-3.40282e38", static_cast<double>(-3.40282e38f))},
      {integer(3), number("0.0000000001", "0.0000000001"), number("12.5", "12.500000000000000000000000000000"),
       number("0", "0"), number("-2.2250738585072014e-308", -2.2250738585072014e-308),
       number("0.1", static_cast<double>(0.1f))},
      {integer(4), number("123.45", "123.45"), null(), null(), number("2147483648.75", 2147483648.75),
       number("1.17549e-38", static_cast<double>(1.17549e-38f))},
      {integer(5), null(), null(), null(), null(), null()}}});

  tables.push_back({"times", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"dt", "DATETIME NULL", ""},
      {"ts", "TIMESTAMP NULL DEFAULT NULL", ""},
      {"d", "DATE NULL", ""},
      {"t", "TIME NULL", ""}}, "", {
      {integer(1), number("'2009-03-07 14:05:09'", "2009-03-07 14:05:09"),
       number("'2021-12-31 23:59:58'", "2021-12-31 23:59:58"), text("2009-03-07"),
       text("14:05:09")},
      {integer(2), number("'1000-01-01 00:00:00'", "1000-01-01 00:00:00"),
       number("'1970-01-02 00:00:01'", "1970-01-02 00:00:01"), text("1000-01-01"),
       text("-838:59:59")},
      {integer(3), number("'9999-12-31 23:59:59'", "9999-12-31 23:59:59"),
       number("'2038-01-19 03:14:07'", "2038-01-19 03:14:07"), text("9999-12-31"),
       text("838:59:59")},
      // Zero dates have no Date/Time form; as text they stay as they are.
      {integer(4), number("'0000-00-00 00:00:00'", nullptr), number("'0000-00-00 00:00:00'", nullptr),
       text("0000-00-00"), text("00:00:00")},
      {integer(5), null(), null(), null(), null()}}});

  std::string s255, s256, big;
  for (int i = 0; i < 255; ++i) s255 += static_cast<char>('a' + i % 26);
  s256 = s255 + "Z";
  for (int i = 0; big.size() < 70 * 1024; ++i) big += "line " + std::to_string(i) + ": it's \"quoted\", tabbed\tand done\n";
  tables.push_back({"texts", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"vc", "VARCHAR(255) NULL", ""},
      {"vc256", "VARCHAR(256) NULL", ""},
      {"c", "CHAR(10) NULL", ""},
      {"t", "MEDIUMTEXT NULL", ""},
      {"e", "ENUM('small','large') NULL", ""},
      {"st", "SET('red','green') NULL", ""},
      {"j", "JSON NULL", ""}}, "", {
      {integer(1), text("it's a \"quote\" and a back\\slash"), text(s256), text("ten chars!"),
       text(big), text("small"), text("red,green"), text("{\"a\": [1, 2]}")},
      {integer(2), text("line\nbreak\r\nand\ttab"), text("Grüße, façade, Ærø"),
       text("東京都渋谷区一丁目"), text("مرحبا بالعالم 😀👍🏽"), text("large"), text(""), null()},
      {integer(3), text(s255), text("𝄞 outside the BMP"), text(""), text(""), null(), null(),
       text("[]")},
      {integer(4), null(), null(), null(), null(), null(), null(), null()}}});

  std::string zeros("\0\x01\0\xFF'\\", 6), blob;
  for (int i = 0; i < 100 * 1024; ++i) blob += static_cast<char>((i * 7 + i / 256) & 0xFF);
  tables.push_back({"binaries", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"b", "BINARY(4) NULL", ""},
      {"vb", "VARBINARY(300) NULL", ""},
      {"bl", "BLOB NULL", ""},
      {"mb", "MEDIUMBLOB NULL", ""},
      {"bit1", "BIT(1) NULL", ""},
      {"bitnn", "BIT(1) NOT NULL", ""},
      {"bit8", "BIT(8) NULL", ""}}, "", {
      {integer(1), bytes(std::string("\0\x01\x02\x03", 4)), bytes(zeros), bytes(zeros), bytes(blob),
       number("b'1'", 1), number("b'1'", true), number("b'10101010'", "AA")},
      {integer(2), bytes(std::string("ab\0\0", 4)), bytes(std::string(1, '\0')), bytes("x"),
       bytes(std::string(300, '\xEE')), number("b'0'", 0), number("b'0'", false),
       number("b'00000000'", "00")},
      {integer(3), null(), null(), null(), null(), null(), number("b'1'", true), null()}}});

  // Long columns that still fit a row array, each at its longest: the
  // default run binds them; latin1 text grows on its way as UTF-8.
  std::string latin(40, 'e'), emoji, longText, longBlob;
  for (int i = 0; i < 40; ++i) latin[static_cast<std::size_t>(i)] = i % 2 ? 'e' : 'E';
  for (int i = 0; i < 20; ++i) emoji += "\xC3\xA9\xF0\x9F\x98\x80";  // é😀
  for (int i = 0; longText.size() < 65535 - 3; ++i) longText += i % 100 ? "e" : "\n";
  longText += "\xE2\x82\xAC";  // a three-byte character as the last one
  for (int i = 0; i < 65535; ++i) longBlob += static_cast<char>(i * 31 & 0xFF);
  tables.push_back({"bounded", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"l1", "VARCHAR(20) CHARACTER SET latin1 NULL", ""},
      {"u", "VARCHAR(40) NULL", ""},
      {"t", "TEXT NULL", ""},
      {"bl", "BLOB NULL", ""}}, "", {
      {integer(1), text("\xC3\xA9\xC3\xBC\xC3\x9F\xC3\xB8\xC3\xA6\xC3\xA9\xC3\xBC\xC3\x9F\xC3\xB8\xC3\xA6"
                        "\xC3\xA9\xC3\xBC\xC3\x9F\xC3\xB8\xC3\xA6\xC3\xA9\xC3\xBC\xC3\x9F\xC3\xB8\xC3\xA6"),
       text(emoji), text(longText), bytes(longBlob)},
      {integer(2), text(latin.substr(0, 20)), text(""), text(""), bytes("")},
      {integer(3), null(), null(), null(), null()}}});

  tables.push_back({"counter", "countr", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"order", "INT NULL", ""},
      {"user", "VARCHAR(10) NULL", ""},
      {"select", "INT NULL", ""},
      {"counter", "INT NULL", ""}}, "", {
      {integer(1), integer(2), text("me"), integer(3), integer(4)},
      {integer(2), null(), null(), null(), null()}}});
  // Differs from the table above only in letter case, with other columns.
  tables.push_back({"Counter", "", {
      {"x", "INT NULL", ""},
      {"my col", "VARCHAR(5) NULL", ""}}, "", {
      {integer(7), text("seven")}}});
  tables.push_back({"order", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"it's", "VARCHAR(10) NULL", ""},
      {"a.b", "INT NULL", "a_b"},
      {"A_B", "INT NULL", "A_B_1"},
      {"[x]", "INT NULL", "_x_"},
      {"back`tick", "INT NULL", "back_tick"}}, "", {
      {integer(1), text("o'clock"), integer(2), integer(3), integer(4), integer(5)}}});
  tables.push_back({"my table", "", {
      {"id", "INT NOT NULL", ""},
      {"col \"q\"", "VARCHAR(5) NULL", ""}}, "", {
      {integer(1), text("a")}, {integer(2), text("b")}}});
  tables.push_back({"it's", "", {{"k", "INT NULL", ""}}, "", {{integer(1)}}});
  tables.push_back({"x.y", "x_y", {{"k", "INT NULL", ""}}, "", {{integer(5)}}});
  // Rows that share a value in each key column: every one must survive.
  tables.push_back({"composite", "", {
      {"a", "INT NOT NULL", ""},
      {"b", "VARCHAR(10) NOT NULL", ""},
      {"c", "INT NULL", ""}}, "PRIMARY KEY (b, a)", {
      {integer(1), text("x"), integer(10)},
      {integer(2), text("x"), integer(20)},
      {integer(1), text("y"), integer(30)},
      {integer(2), text("y"), null()}}});
  // Key column names are read whole, however long.
  const std::string longName = "a_key_column_whose_name_is_much_longer_than_thirty_characters";
  tables.push_back({"longkey", "", {
      {longName, "INT NOT NULL PRIMARY KEY", ""},
      {"v", "VARCHAR(5) NULL", ""}}, "", {
      {integer(1), text("a")}, {integer(2), text("b")}}});
  tables.push_back({"nokey", "", {
      {"x", "INT NULL", ""},
      {"y", "VARCHAR(5) NULL", ""}}, "", {
      {integer(1), text("a")}, {integer(1), text("a")}, {null(), null()}}});
  tables.push_back({"empty", "", {{"id", "INT NOT NULL PRIMARY KEY", ""}}, "", {}});

  Table wide{"wide200", "", {}, "", {{}, {}}};
  for (int i = 1; i <= 200; ++i) {
    wide.columns.push_back({"c" + std::to_string(i), i % 2 ? "INT NULL" : "VARCHAR(12) NULL", ""});
    wide.rows[0].push_back(i % 2 ? integer(i) : text("v" + std::to_string(i)));
    wide.rows[1].push_back(i % 3 ? null() : (i % 2 ? integer(-i) : text("")));
  }
  tables.push_back(wide);
  return tables;
}

std::string createDatabaseSql(const std::string& database, const std::vector<Table>& tables) {
  std::string sql = "SET sql_mode = '';\nDROP DATABASE IF EXISTS " + backticked(database) +
                    ";\nCREATE DATABASE " + backticked(database) +
                    " CHARACTER SET utf8mb4;\nUSE " + backticked(database) + ";\n";
  for (const Table& table : tables) {
    sql += "CREATE TABLE " + backticked(table.name) + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i)
      sql += (i ? ", " : "") + backticked(table.columns[i].name) + " " + table.columns[i].type;
    if (!table.extra.empty()) sql += ", " + table.extra;
    sql += ");\n";
    for (const auto& row : table.rows) {
      sql += "INSERT INTO " + backticked(table.name) + " VALUES (";
      for (std::size_t i = 0; i < row.size(); ++i) sql += (i ? ", " : "") + row[i].sql;
      sql += ");\n";
    }
  }
  for (const Table& table : tables)
    if (table.name == "integers") sql += "CREATE VIEW `a view` AS SELECT id, ti FROM integers;\n";
  return sql;
}

rb::ExpectedTable expectedTable(const Table& table) {
  rb::ExpectedTable expected;
  expected.name = table.accessName.empty() ? table.name : table.accessName;
  for (const Column& column : table.columns)
    expected.columns.push_back(column.accessName.empty() ? column.name : column.accessName);
  for (const auto& row : table.rows) {
    json values = json::array();
    for (const Cell& cell : row) values.push_back(cell.expected);
    expected.rows.push_back(values);
  }
  expected.anyOrder = true;
  return expected;
}

class Fidelity : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tabulex::test::rigAvailable()) config_ = new tabulex::test::PrivateOdbcConfig();
  }
  static void TearDownTestSuite() {
    delete config_;
    config_ = nullptr;
  }

  rb::CommandResult convert(const std::vector<std::string>& arguments) {
    auto rig = tabulex::test::rigEnvironment();
    std::vector<std::string> argv{std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return rb::runCommand(argv, {{"TABULEX_PASSWORD", rig->password}});
  }

  static tabulex::test::PrivateOdbcConfig* config_;
};

tabulex::test::PrivateOdbcConfig* Fidelity::config_ = nullptr;

TEST_F(Fidelity, EveryTypeAndOddNameConvertsExactly) {
  TABULEX_REQUIRE_RIG();
  for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing(), accessDriverMissing()})
    if (!missing.empty()) GTEST_SKIP() << missing;

  const std::vector<Table> tables = fidelityTables();
  tabulex::test::rigSql(createDatabaseSql("fidelity", tables));
  auto rig = tabulex::test::rigEnvironment();
  // The default run stores rows a block at a time, the wizard's sequence
  // one statement a row: both must write every value the same.
  for (bool perRow : {false, true}) {
    SCOPED_TRACE(perRow ? "one connection a row" : "one connection a table");
    fs::path output = config_->folder() / (perRow ? "fidelity-rows" : "fidelity");
    // Two rows a chunk: every table of more rows is read in chunks, by its
    // key where it has one, so each type also crosses chunk boundaries.
    std::vector<std::string> arguments{"--database", "fidelity", "--user", rig->user, "--output",
                                       output.string(), "--report", "json", "--chunk-rows", "2"};
    if (perRow) arguments.push_back("--connect-per-row");
    rb::CommandResult result = convert(arguments);
    ASSERT_EQ(result.status, 0) << result.out << result.err;

    json report = json::parse(result.out);
    EXPECT_EQ(report["database"], "fidelity");
    std::map<std::string, json> bySource;
    for (const json& entry : report["tables"]) bySource[entry["source"]] = entry;
    EXPECT_EQ(bySource.size(), tables.size()) << "the view must never be listed";
    EXPECT_FALSE(bySource.count("a view"));
    for (const Table& table : tables) {
      ASSERT_TRUE(bySource.count(table.name)) << table.name;
      const json& entry = bySource[table.name];
      EXPECT_EQ(entry["status"], "ok") << table.name << ": " << entry["message"];
      EXPECT_EQ(entry["destination"], table.accessName.empty() ? table.name : table.accessName);
      EXPECT_EQ(entry["rows_read"], table.rows.size()) << table.name;
      EXPECT_EQ(entry["rows_written"], table.rows.size()) << table.name;
    }
    EXPECT_EQ(bySource["order"]["renames"].size(), 4u);
    EXPECT_EQ(bySource["x.y"]["renames"], json::array({"table x.y -> x_y"}));

    const std::string file = output.string() + ".mdb";
    std::vector<rb::ExpectedTable> expected;
    for (const Table& table : tables) expected.push_back(expectedTable(table));
    EXPECT_TRUE(rb::fileMatches(file, expected));

    // Every key survives whole: mdb-schema writes each as one statement.
    rb::CommandResult schema = rb::runCommand({"mdb-schema", "--indexes", file, "mysql"});
    ASSERT_EQ(schema.status, 0) << schema.err;
    auto keyOf = [&](const std::string& table) {
      std::string head = "ALTER TABLE `" + table + "` ADD PRIMARY KEY (";
      std::size_t at = schema.out.find(head);
      if (at == std::string::npos) return std::string("none");
      at += head.size();
      return schema.out.substr(at, schema.out.find(')', at) - at);
    };
    EXPECT_EQ(keyOf("integers"), "`id`");
    EXPECT_EQ(keyOf("longkey"), "`a_key_column_whose_name_is_much_longer_than_thirty_characters`");
    std::string composite = keyOf("composite");
    EXPECT_TRUE(composite == "`a`, `b`" || composite == "`b`, `a`") << composite;
    EXPECT_EQ(keyOf("nokey"), "none");
    EXPECT_EQ(keyOf("my table"), "none");
  }
}

// An existing file is never touched without --overwrite; with it the file
// is replaced, not added to. The wizard's connection per row gives the same
// file as the default (--bulk) run.
TEST_F(Fidelity, ExistingFilesAndConnectionModes) {
  TABULEX_REQUIRE_RIG();
  for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing(), accessDriverMissing()})
    if (!missing.empty()) GTEST_SKIP() << missing;

  std::vector<Table> tables;
  for (Table& table : fidelityTables())
    if (table.name == "composite" || table.name == "counter") tables.push_back(table);
  tabulex::test::rigSql(createDatabaseSql("again", tables));
  auto rig = tabulex::test::rigEnvironment();
  fs::path output = config_->folder() / "again";
  std::vector<std::string> arguments{"--database", "again", "--user", rig->user,
                                     "--output", output.string() + ".mdb", "--report", "json",
                                     "--tables", "counter,composite"};
  std::vector<std::string> perRow = arguments;
  perRow.push_back("--connect-per-row");
  rb::CommandResult first = convert(perRow);
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  std::vector<rb::ExpectedTable> expected;
  for (const Table& table : tables) expected.push_back(expectedTable(table));

  tabulex::test::rigSql("USE again; INSERT INTO composite VALUES (9, 'z', 90);");
  rb::CommandResult refused = convert(arguments);
  EXPECT_EQ(refused.status, 2) << refused.out << refused.err;
  EXPECT_TRUE(refused.out.empty());
  EXPECT_TRUE(rb::fileMatches(output.string() + ".mdb", expected));

  arguments.push_back("--overwrite");
  arguments.push_back("--bulk");
  rb::CommandResult replaced = convert(arguments);
  ASSERT_EQ(replaced.status, 0) << replaced.out << replaced.err;
  json report = json::parse(replaced.out);
  ASSERT_EQ(report["tables"].size(), 2u);
  EXPECT_EQ(report["tables"][0]["source"], "counter");  // the order asked for
  EXPECT_EQ(report["tables"][1]["rows_written"], 5);
  for (rb::ExpectedTable& table : expected)
    if (table.name == "composite") table.rows.push_back(json::array({9, "z", 90}));
  EXPECT_TRUE(rb::fileMatches(output.string() + ".mdb", expected));
}

TEST_F(Fidelity, UsageAndConnectionErrorsExitWithTwo) {
  TABULEX_REQUIRE_RIG();
  if (!std::filesystem::exists(std::string(TABULEX_BINARY_DIR) + "/drivers/mysql_setup/libtabulex_mysql_setup.so"))
    GTEST_SKIP() << "the MySQL setup library is not built (target tabulex_mysql_setup)";
  auto rig = tabulex::test::rigEnvironment();
  fs::path output = config_->folder() / "never";
  EXPECT_EQ(convert({"--database", "fidelity"}).status, 2);
  EXPECT_EQ(convert({"--database", "fidelity", "--user", rig->user, "--output", output.string(),
                     "--password", "x"}).status, 2);
  rb::CommandResult noDatabase =
      convert({"--database", "no_such_database", "--user", rig->user, "--output", output.string()});
  EXPECT_EQ(noDatabase.status, 2);
  EXPECT_NE(noDatabase.err.find("no_such_database"), std::string::npos) << noDatabase.err;
  rb::CommandResult wrongPassword = rb::runCommand(
      {std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert", "--database", "mysql", "--user",
       rig->user, "--output", output.string()},
      {{"TABULEX_PASSWORD", rig->password + "x"}});
  EXPECT_EQ(wrongPassword.status, 2);
  EXPECT_NE(wrongPassword.err.find("Access denied"), std::string::npos) << wrongPassword.err;
  EXPECT_FALSE(fs::exists(output.string() + ".mdb"));
  rb::CommandResult noFolder = convert({"--database", "mysql", "--user", rig->user, "--output",
                                        (config_->folder() / "missing" / "x").string()});
  EXPECT_EQ(noFolder.status, 2);
  EXPECT_NE(noFolder.err.find("does not exist"), std::string::npos) << noFolder.err;

  // An Access driver that cannot be loaded: no file, and no table claims success.
  fs::path broken = config_->folder() / "broken";
  fs::create_directories(broken);
  std::string drivers = tabulex::test::readTextFile(config_->driverIni());
  for (std::size_t at; (at = drivers.find("libtabulexaccess.so")) != std::string::npos;)
    drivers.replace(at, 19, "libmissing.so");
  std::ofstream(broken / "odbcinst.ini") << drivers;
  std::ofstream(broken / "odbc.ini").flush();
  std::ofstream(broken / "user-odbc.ini").flush();
  rb::CommandResult noDriver = rb::runCommand(
      {std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert", "--database", "mysql", "--user",
       rig->user, "--output", output.string(), "--tables", "db", "--report", "json"},
      {{"TABULEX_PASSWORD", rig->password}, {"ODBCSYSINI", broken.string()},
       {"ODBCINI", (broken / "user-odbc.ini").string()}});
  EXPECT_EQ(noDriver.status, 2) << noDriver.out << noDriver.err;
  EXPECT_EQ(json::parse(noDriver.out)["tables"][0]["status"], "failed");
  EXPECT_FALSE(fs::exists(output.string() + ".mdb"));
}

// Values Access cannot take as they come: rows wider than a Jet row, zero
// and partial dates, fractions of a second, the first day Access holds,
// addresses, text longer in UTF-16 than in characters, a NUL character and
// table names Access keeps for itself. Each is kept exactly, or changed and
// said so in the table's notes, on the per-row path and with --bulk.
TEST_F(Fidelity, ValuesAccessCannotTakeAsTheyComeAreKeptOrNoted) {
  TABULEX_REQUIRE_RIG();
  for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing(), accessDriverMissing()})
    if (!missing.empty()) GTEST_SKIP() << missing;

  std::vector<Table> tables;
  // About 5,100 bytes of Cyrillic a row where Jet keeps 4,060; the indexed
  // c1 stays Text so that its index is kept.
  std::string cyrillic;
  for (int i = 0; i < 255; ++i) cyrillic += "\xD0\x96";
  Table wide{"wide", "", {{"id", "INT NOT NULL PRIMARY KEY", ""}}, "KEY by_c1 (c1)", {{integer(1)}, {integer(2)}}};
  for (int i = 1; i <= 10; ++i) {
    wide.columns.push_back({"c" + std::to_string(i), "VARCHAR(255) NULL", ""});
    wide.rows[0].push_back(text(cyrillic));
    wide.rows[1].push_back(i % 2 ? null() : text("short"));
  }
  tables.push_back(wide);
  tables.push_back({"dates", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"d", "DATE NULL", ""},
      {"dt", "DATETIME NULL", ""},
      {"dt6", "DATETIME(6) NULL", ""},
      {"ts", "TIMESTAMP(3) NULL DEFAULT NULL", ""}}, "", {
      {integer(1), text("0000-00-00"), number("'0000-00-00 00:00:00'", nullptr),
       number("'0100-01-01 10:00:00'", "0100-01-01 10:00:00"),
       number("'2020-01-01 10:00:00.123'", "2020-01-01 10:00:00")},
      {integer(2), text("2020-00-15"), number("'2020-05-00 01:02:03'", nullptr),
       number("'0050-01-01 00:00:00.123456'", nullptr), null()},
      {integer(3), text("0100-01-01"), number("'0100-01-01 23:59:59'", "0100-01-01 23:59:59"),
       number("'2021-06-01 12:30:15.123456'", "2021-06-01 12:30:15"), null()}}});
  tables.push_back({"addresses", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"v4", "INET4 NULL", ""},
      {"v6", "INET6 NULL", ""},
      {"u", "UUID NULL", ""}}, "", {
      {integer(1), text("192.168.100.200"), text("2001:db8:85a3::8a2e:370:7334"),
       text("123e4567-e89b-12d3-a456-426614174000")},
      {integer(2), text("0.0.0.0"), text("::ffff:10.0.0.1"), null()}}});
  // 200 characters beyond U+FFFF are 400 UTF-16 units; 10 of them are 20.
  std::string emoji200, emoji10;
  for (int i = 0; i < 200; ++i) emoji200 += "\xF0\x9F\x98\x80";
  for (int i = 0; i < 10; ++i) emoji10 += "\xF0\x9F\x91\x8D";
  tables.push_back({"emoji", "", {
      {"id", "INT NOT NULL PRIMARY KEY", ""},
      {"long", "VARCHAR(255) NULL", ""},
      {"short", "VARCHAR(10) NULL", ""},
      {"plain", "VARCHAR(10) NULL", ""}}, "", {
      {integer(1), text(emoji200), text(emoji10), text("0123456789")},
      {integer(2), text("a"), text("b"), null()}}});
  tables.push_back({"MSysObjects", "_MSysObjects", {{"k", "INT NULL", ""}}, "", {{integer(1)}}});
  tables.push_back({"msysQueries", "_msysQueries", {{"k", "INT NULL", ""}}, "", {{integer(2)}}});

  std::string sql = createDatabaseSql("values_kept", tables);
  // A NUL character inside text (the script's literals cannot carry one).
  sql += "CREATE TABLE nul (id INT NOT NULL PRIMARY KEY, v VARCHAR(20) NULL, m TEXT NULL);\n"
         "INSERT INTO nul VALUES (1, CONCAT('nul', CHAR(0), 'after'), CONCAT(CHAR(0), 'x', CHAR(0)));\n";
  // Fixed columns alone wider than a row: no plan fits.
  sql += "CREATE TABLE decimals (id INT NOT NULL PRIMARY KEY";
  for (int i = 1; i <= 240; ++i) sql += ", d" + std::to_string(i) + " DECIMAL(20,2) NULL";
  sql += ");\nINSERT INTO decimals (id) VALUES (1);\n";
  tabulex::test::rigSql(sql);

  const std::string nul("nul\0after", 9), nulMemo("\0x\0", 3);
  auto rig = tabulex::test::rigEnvironment();
  fs::path output = config_->folder() / "values_kept";
  for (bool bulk : {false, true}) {
    SCOPED_TRACE(bulk ? "one connection a table" : "one connection a row");
    std::vector<std::string> arguments{"--database", "values_kept", "--user", rig->user,
                                       "--output", output.string(), "--report", "json",
                                       "--overwrite"};
    if (bulk) arguments.push_back("--bulk");
    rb::CommandResult result = convert(arguments);
    ASSERT_NE(result.status, 2) << result.out << result.err;
    json report = json::parse(result.out);
    std::map<std::string, json> bySource;
    for (const json& entry : report["tables"]) bySource[entry["source"]] = entry;
    auto notes = [&](const std::string& table) {
      std::string all;
      for (const json& note : bySource[table]["notes"]) all += note.get<std::string>() + "\n";
      return all;
    };

    EXPECT_EQ(bySource["decimals"]["status"], "failed");
    EXPECT_EQ(bySource["decimals"]["rows_read"], 0);
    EXPECT_NE(bySource["decimals"]["message"].get<std::string>().find("4060"), std::string::npos)
        << bySource["decimals"]["message"];
    for (const Table& table : tables) {
      EXPECT_EQ(bySource[table.name]["status"], "ok") << table.name << ": " << bySource[table.name]["message"];
      EXPECT_EQ(bySource[table.name]["rows_written"], table.rows.size()) << table.name;
    }
    EXPECT_EQ(bySource["nul"]["status"], "ok") << bySource["nul"]["message"];
    for (const char* memo : {"column c2 made Memo", "column c3 made Memo", "column c4 made Memo"})
      EXPECT_NE(notes("wide").find(memo), std::string::npos) << notes("wide");
    EXPECT_EQ(bySource["wide"]["notes"].size(), 3u) << notes("wide");
    EXPECT_EQ(bySource["wide"]["indexes"], 1) << notes("wide");
    EXPECT_NE(notes("dates").find("2 values set to NULL in column dt:"), std::string::npos) << notes("dates");
    EXPECT_NE(notes("dates").find("1 value set to NULL in column dt6:"), std::string::npos) << notes("dates");
    EXPECT_EQ(bySource["dates"]["notes"].size(), 2u) << notes("dates");
    EXPECT_NE(notes("emoji").find("column long made Memo"), std::string::npos) << notes("emoji");
    EXPECT_NE(notes("emoji").find("column short sized 20"), std::string::npos) << notes("emoji");
    EXPECT_EQ(bySource["emoji"]["notes"].size(), 2u) << notes("emoji");
    EXPECT_EQ(bySource["MSysObjects"]["renames"], json::array({"table MSysObjects -> _MSysObjects"}));

    const std::string file = output.string() + ".mdb";
    std::vector<rb::ExpectedTable> expected;
    for (const Table& table : tables) expected.push_back(expectedTable(table));
    // mdbtools prints text only up to a NUL character: this table is
    // compared with mdb-reader alone.
    expected.push_back({"nul", {"id", "v", "m"}, {json::array({1, nul, nulMemo})}, true});
    EXPECT_EQ(rb::jetcheckProblems(file), std::vector<std::string>{});
    for (const rb::ExpectedTable& table : expected) {
      EXPECT_TRUE(rb::mdbReaderMatches(file, table));
      if (table.name != "nul") EXPECT_TRUE(rb::mdbtoolsMatches(file, table));
    }
    EXPECT_EQ(rb::mdbTables(file).size(), expected.size()) << "the table no plan fits is not created";

    // Fractions of a second are in the stored value, not only rounded away.
    auto db = jet::Database::open(file, false);
    bool seen = false;
    db->scanRows("dates", [&](const std::vector<jet::Value>& row) {
      if (std::get<int64_t>(row[0]) == 3) {
        double days = std::get<jet::DateTime>(row[3]).days;
        EXPECT_NEAR((days - std::floor(days)) * 86400.0, 45015.123456, 2e-6);
        seen = true;
      }
      return true;
    });
    EXPECT_TRUE(seen);
  }
}

}  // namespace
