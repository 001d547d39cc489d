// Statements and their failures through the driver manager, the way the
// converter and a person at isql send them; every file read back by the
// independent readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/access_odbc.h"
#include "support/readback.h"

namespace tabulex::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string dbq(const std::string& path) { return "DRIVER={" + std::string(kAccessDriver) + "};DBQ=" + path; }

TEST(Statements, ConverterStatementsStoreEveryValue) {
  std::string file = freshDatabase("converter");
  {
    Connection c(dbq(file));
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    // The shapes the converter writes, blanks and letter case included.
    ASSERT_TRUE(c.exec("Create Table customer(\"id\" INTEGER PRIMARY KEY , \"name\" varchar(50) "
                       "NULL, notes Memo  NULL, \"born\" DATETIME  NULL, \"price\" Money  NULL, "
                       "\"ratio\" DOUBLE  NULL, \"flag\" bit  NOT NULL, \"small\" byte  NULL, "
                       "\"blob\" OLEObject  NULL, \"big\" DECIMAL(20,0)  NULL)")
                    .ok());
    Outcome o = c.exec(
        "INSERT INTO customer values(17, 'it''s', 'line1\nline2', '7/3/2009 14:05:09', 12.5, "
        "-2.75, 1, 255, 0x00FF10, 18446744073709551615 )");
    ASSERT_TRUE(o.ok()) << o.message;
    o = c.exec("INSERT INTO customer values(18, NULL, NULL, NULL, NULL, NULL, 0, NULL, NULL, NULL )");
    ASSERT_TRUE(o.ok()) << o.message;
    o = c.exec("insert into [customer] ([id], `flag`, \"born\") values (19, -1, #12/31/1999#)");
    ASSERT_TRUE(o.ok()) << o.message;

    auto rows = c.query("SELECT * FROM customer ORDER BY id DESC", &o);
    ASSERT_TRUE(o.ok()) << o.message;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2][1], "it's");
    EXPECT_EQ(rows[2][3], "2009-03-07 14:05:09");
    EXPECT_EQ(rows[2][4], "12.5000");
    EXPECT_EQ(rows[2][8], "00FF10");
    EXPECT_EQ(rows[2][9], "18446744073709551615");
    EXPECT_EQ(rows[1][1], std::nullopt);
    EXPECT_EQ(rows[0][3], "1999-12-31 00:00:00");
    EXPECT_EQ(c.count("customer"), 3);
  }
  readback::ExpectedTable expected{
      "customer",
      {"id", "name", "notes", "born", "price", "ratio", "flag", "small", "blob", "big"},
      {json::array({17, "it's", "line1\nline2", "2009-03-07 14:05:09", "12.5", -2.75, true, 255,
                    "00FF10", "18446744073709551615"}),
       json::array({18, nullptr, nullptr, nullptr, nullptr, nullptr, false, nullptr, nullptr,
                    nullptr}),
       json::array({19, nullptr, nullptr, "1999-12-31 00:00:00", nullptr, nullptr, true, nullptr,
                    nullptr, nullptr})},
      true};
  EXPECT_TRUE(readback::fileMatches(file, {expected}));
}

// Each rejected statement: its SQLSTATE, a message that says what and where
// (with the driver's origin tags), and nothing written.
TEST(Statements, RejectedStatementsReportAndLeaveTheFileAlone) {
  std::string file = freshDatabase("errors");
  Connection c(dbq(file));
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  ASSERT_TRUE(c.exec("CREATE TABLE t (id LONG NOT NULL, code TEXT(3), n SMALLINT, d DATETIME, "
                     "m DECIMAL(5,2), CONSTRAINT pk PRIMARY KEY (id), UNIQUE (code))")
                  .ok());
  ASSERT_TRUE(c.exec("INSERT INTO t VALUES (1, 'abc', 1, '1/1/2000', 1.5)").ok());

  struct Case {
    const char* sql;
    const char* state;
    const char* mentions;
  } cases[] = {
      {"CREATE TABLE t (x INT)", "42S01", "'t'"},
      {"INSERT INTO nowhere VALUES (1)", "42S02", "nowhere"},
      {"SELECT * FROM nowhere", "42S02", "nowhere"},
      {"DROP TABLE nowhere", "42S02", "nowhere"},
      {"CREATE TABLE u (id INTEGER,, x TEXT)", "42000", "','"},
      {"INSERT INTO t VALUES (2, 'abc' 'x', 1, NULL, NULL)", "42000", "'x'"},
      {"CREATE TABLE u (id WIBBLE)", "42000", "WIBBLE"},
      {"INSERT INTO t VALUES (2, 'abcd', 1, NULL, NULL)", "22001", "code"},
      {"INSERT INTO t VALUES (2, 'x', 32768, NULL, NULL)", "22003", "n"},
      {"INSERT INTO t VALUES (2, 'x', 1, NULL, 1000)", "22003", "m"},
      {"INSERT INTO t VALUES (2, 'x', 1, '31/2/2009', NULL)", "22007", "d"},
      {"INSERT INTO t VALUES (2, 'x', 1, '0000-00-00 00:00:00', NULL)", "22007", "d"},
      {"INSERT INTO t VALUES (1, 'x', 1, NULL, NULL)", "23000", ""},
      {"INSERT INTO t VALUES (2, 'abc', 1, NULL, NULL)", "23000", ""},
      {"INSERT INTO t VALUES (NULL, 'y', 1, NULL, NULL)", "23000", "id"},
      {"INSERT INTO t VALUES (2, 'y')", "21S01", ""},
      {"INSERT INTO t (id, nothing) VALUES (2, 1)", "42S22", "nothing"},
  };
  for (const Case& k : cases) {
    Outcome o = c.exec(k.sql);
    EXPECT_EQ(o.rc, SQL_ERROR) << k.sql;
    EXPECT_EQ(o.state, k.state) << k.sql << ": " << o.message;
    EXPECT_NE(o.message.find(k.mentions), std::string::npos) << k.sql << ": " << o.message;
    EXPECT_EQ(o.message.rfind("[Tabulex][Access Driver] ", 0), 0u) << o.message;
  }
  EXPECT_EQ(c.count("t"), 1);
  auto rows = c.query("SELECT id, code FROM t");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], "abc");
}

TEST(Statements, KeysAndIndexes) {
  std::string file = freshDatabase("indexes");
  Connection c(dbq(file));
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  ASSERT_TRUE(c.exec("CREATE TABLE [order] ([key] COUNTER, [user name] TEXT(20), qty INT, "
                     "UNIQUE ([user name]))")
                  .ok());
  ASSERT_TRUE(c.exec("INSERT INTO [order] ([user name], qty) VALUES ('ann', 1)").ok());
  ASSERT_TRUE(c.exec("INSERT INTO [order] ([user name], qty) VALUES ('bob', 2)").ok());
  // Access compares text without regard to letter case.
  Outcome dup = c.exec("INSERT INTO [order] ([user name], qty) VALUES ('ANN', 3)");
  EXPECT_EQ(dup.state, "23000") << dup.message;
  auto rows = c.query("SELECT [key], [user name] FROM [order] ORDER BY [user name] DESC");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "2");  // counter values were given out in order
  EXPECT_EQ(rows[0][1], "bob");

  EXPECT_EQ(c.exec("CREATE INDEX i ON nowhere (x)").state, "42S02");
  EXPECT_EQ(c.exec("CREATE INDEX i ON [order] (nothing)").state, "42S22");

  EXPECT_TRUE(readback::fileMatches(
      file, {{"order",
              {"key", "user name", "qty"},
              {json::array({1, "ann", 1}), json::array({2, "bob", 2})},
              true}}));
}

// Indexes made after the rows are in, as a conversion makes them.
TEST(Statements, IndexesOnFilledTables) {
  std::string file = freshDatabase("filled");
  Connection c(dbq(file));
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  ASSERT_TRUE(c.exec("CREATE TABLE p (id INT, mail VARCHAR(20), team INT)").ok());
  std::vector<json> rows;
  for (int i = 1; i <= 300; ++i) {
    std::string mail = i % 10 ? "'m" + std::to_string(i) + "'" : "NULL";
    ASSERT_TRUE(c.exec("INSERT INTO p VALUES (" + std::to_string(i) + ", " + mail + ", " +
                       std::to_string(i % 7) + ")")
                    .ok());
    rows.push_back(json::array({i, i % 10 ? json("m" + std::to_string(i)) : json(nullptr), i % 7}));
  }
  Outcome o = c.exec("CREATE UNIQUE INDEX byteam ON p (team)");
  EXPECT_EQ(o.state, "23000") << o.message;
  o = c.exec("CREATE INDEX nomail ON p (mail) WITH DISALLOW NULL");
  EXPECT_EQ(o.state, "23000") << o.message;
  // Thirty rows share a NULL mail: a unique index takes them, as MySQL does.
  o = c.exec("CREATE UNIQUE INDEX bymail ON p (mail DESC)");
  EXPECT_TRUE(o.ok()) << o.message;
  o = c.exec("CREATE INDEX pk ON p (id) WITH PRIMARY");
  EXPECT_TRUE(o.ok()) << o.message;
  o = c.exec("CREATE INDEX byteam ON p (team, id DESC) WITH IGNORE NULL");
  EXPECT_TRUE(o.ok()) << o.message;
  EXPECT_EQ(c.exec("INSERT INTO p VALUES (301, 'M5', 1)").state, "23000");
  EXPECT_EQ(c.exec("INSERT INTO p VALUES (5, 'new', 1)").state, "23000");
  ASSERT_TRUE(c.exec("INSERT INTO p VALUES (301, NULL, NULL)").ok());
  rows.push_back(json::array({301, nullptr, nullptr}));
  std::string schema = readback::mdbSchema(file, "mysql");
  for (const char* index : {"ADD UNIQUE INDEX `bymail` (`mail` DESC)", "ADD PRIMARY KEY (`id`)",
                            "ADD INDEX `byteam` (`team`, `id` DESC)"})
    EXPECT_NE(schema.find(index), std::string::npos) << schema;
  EXPECT_TRUE(readback::fileMatches(file, {{"p", {"id", "mail", "team"}, rows, true}}));
}

}  // namespace
}  // namespace tabulex::test
