// The schema statements a conversion sends after its columns: AutoNumber
// seeds, DEFAULT literals, COMMENT ON (ours) and relationships, enforced or
// NOT ENFORCED (ours), with the refusals the converter reads; every file
// read back by mdbtools and mdb-reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/access_odbc.h"
#include "support/readback.h"

namespace tabulex::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string dbq(const std::string& path) { return "DRIVER={" + std::string(kAccessDriver) + "};DBQ=" + path; }

std::string mdbProp(const std::string& path, const std::string& table) {
  readback::CommandResult r = readback::runCommand({"mdb-prop", path, table});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

void expectOk(Connection& c, const std::string& sql) {
  Outcome o = c.exec(sql);
  EXPECT_TRUE(o.ok()) << sql << ": " << o.message;
}

TEST(SchemaStatements, CountersAndDefaultsFillTheColumnsAnInsertLeavesOut) {
  std::string file = freshDatabase("defaults");
  Connection c(dbq(file));
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  expectOk(c,
           "CREATE TABLE t (id COUNTER(1000, 1) NOT NULL PRIMARY KEY, name VARCHAR(20) DEFAULT 'it''s \"x\"', "
           "code TEXT(5) DEFAULT \"a\"\"b\", n INT DEFAULT -12, r DOUBLE DEFAULT 1.5e3, "
           "flag BIT NOT NULL DEFAULT -1, d DATETIME DEFAULT #2020-02-29 10:11:12#, stamp DATETIME DEFAULT Now(), "
           "memo MEMO)");
  expectOk(c, "INSERT INTO t (memo) VALUES ('first')");
  expectOk(c, "INSERT INTO t (id, name, n) VALUES (5000, NULL, 1)");
  expectOk(c, "INSERT INTO t (memo, flag) VALUES ('after', 0)");
  auto rows = c.query("SELECT id, name, code, n, r, flag, d, memo FROM t ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (Row{"1000", "it's \"x\"", "a\"b", "-12", "1500", "1", "2020-02-29 10:11:12", "first"}));
  // An explicit NULL is kept; the counter moves past a copied number.
  EXPECT_EQ(rows[1], (Row{"5000", std::nullopt, "a\"b", "1", "1500", "1", "2020-02-29 10:11:12", std::nullopt}));
  EXPECT_EQ(rows[2][0], "5001");
  EXPECT_EQ(rows[2][5], "0");
  auto stamp = c.query("SELECT stamp FROM t ORDER BY id");
  ASSERT_EQ(stamp.size(), 3u);
  EXPECT_TRUE(stamp[0][0].has_value());

  std::string props = mdbProp(file, "t");
  for (const std::string line : {"DefaultValue: \"it's \"\"x\"\"\"", "DefaultValue: \"a\"\"b\"", "DefaultValue: -12",
                                 "DefaultValue: 1.5e3", "DefaultValue: -1", "DefaultValue: #2020-02-29 10:11:12#",
                                 "DefaultValue: Now()"})
    EXPECT_NE(props.find(line), std::string::npos) << line << " in\n" << props;
  json dump = readback::mdbReaderDump(file);
  EXPECT_TRUE(readback::dumpTable(dump, "t")["columns"][0].value("autoLong", false));

  struct Case {
    const char* sql;
    const char* state;
  } refused[] = {
      {"CREATE TABLE u (n INT DEFAULT 'abc')", "42000"},
      {"CREATE TABLE u (n INT DEFAULT 99999999999)", "42000"},
      {"CREATE TABLE u (id COUNTER(5, 2))", "42000"},
      {"CREATE TABLE u (id COUNTER(0, 1))", "42000"},
      {"CREATE TABLE u (id COUNTER, other AUTOINCREMENT)", "42000"},
      {"CREATE TABLE u (n INT DEFAULT n + 1)", "42000"},
  };
  for (const Case& k : refused) EXPECT_EQ(c.exec(k.sql).state, k.state) << k.sql;
  EXPECT_FALSE(c.exec("SELECT * FROM u").ok());
  EXPECT_TRUE(readback::jetcheckProblems(file).empty());
}

TEST(SchemaStatements, CommentsBecomeDescriptions) {
  std::string file = freshDatabase("comments");
  Connection c(dbq(file));
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  expectOk(c, "CREATE TABLE [order] (id INT, [unit price] MONEY)");
  expectOk(c, "INSERT INTO [order] VALUES (1, 2.5)");
  expectOk(c, "COMMENT ON TABLE [order] IS 'what was bought, it''s \"all\"'");
  expectOk(c, "COMMENT ON COLUMN \"ORDER\".[Unit Price] IS 'Preis in €\nper unit'");
  expectOk(c, "comment on column [order].id is 'first'");
  expectOk(c, "COMMENT ON COLUMN [order].id IS ''");  // removes it
  EXPECT_EQ(c.exec("COMMENT ON TABLE nowhere IS 'x'").state, "42S02");
  EXPECT_EQ(c.exec("COMMENT ON COLUMN [order].nothing IS 'x'").state, "42S22");
  EXPECT_EQ(c.exec("COMMENT ON [order] IS 'x'").state, "42000");
  std::string props = mdbProp(file, "order");
  EXPECT_NE(props.find("Description: what was bought, it's \"all\""), std::string::npos) << props;
  EXPECT_NE(props.find("name: unit price\n\tDescription: Preis in €\nper unit"), std::string::npos) << props;
  EXPECT_EQ(props.find("first"), std::string::npos) << props;
  EXPECT_TRUE(readback::fileMatches(file, {{"order", {"id", "unit price"}, {json::array({1, "2.5"})}}}));
}

TEST(SchemaStatements, RelationshipsAreEnforcedOrRecordedOnly) {
  std::string file = freshDatabase("relations");
  Connection c(dbq(file));
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  expectOk(c, "CREATE TABLE customers (id INT PRIMARY KEY, name TEXT(10))");
  expectOk(c, "CREATE TABLE regions (code TEXT(2), num INT, CONSTRAINT PrimaryKey PRIMARY KEY (code, num))");
  // In the table statement, as Access SQL has it.
  expectOk(c, "CREATE TABLE orders (id AUTOINCREMENT PRIMARY KEY, customer INT, region TEXT(2), num INT, "
              "CONSTRAINT orders_customer FOREIGN KEY (customer) REFERENCES customers (id) ON DELETE CASCADE)");
  // The statement stands or falls whole: the second key fails, so no table.
  Outcome half = c.exec("CREATE TABLE notes (id INT, customer INT, who TEXT(10), "
                        "CONSTRAINT notes_customer FOREIGN KEY (customer) REFERENCES customers (id), "
                        "CONSTRAINT notes_who FOREIGN KEY (who) REFERENCES customers (name))");
  EXPECT_EQ(half.state, "42000") << half.message;
  EXPECT_FALSE(c.exec("SELECT * FROM notes").ok());
  expectOk(c, "CREATE TABLE staff (id INT PRIMARY KEY, boss INT)");
  expectOk(c, "INSERT INTO customers VALUES (1, 'Ada')");
  expectOk(c, "INSERT INTO regions VALUES ('DE', 1)");
  expectOk(c, "INSERT INTO staff VALUES (1, NULL)");
  expectOk(c, "INSERT INTO staff VALUES (2, 1)");
  expectOk(c, "INSERT INTO staff VALUES (3, 9)");
  expectOk(c, "INSERT INTO orders (customer, region, num) VALUES (1, 'DE', 1)");
  expectOk(c, "INSERT INTO orders (customer, region, num) VALUES (NULL, 'XX', 5)");

  // After the rows, as a conversion sends them.
  expectOk(c, "ALTER TABLE orders ADD CONSTRAINT [orders region] FOREIGN KEY (region, num) REFERENCES regions "
              "(code, num) ON UPDATE CASCADE NOT ENFORCED");
  Outcome o = c.exec("ALTER TABLE staff ADD CONSTRAINT boss FOREIGN KEY (boss) REFERENCES staff (id)");
  EXPECT_EQ(o.state, "23000");
  EXPECT_NE(o.message.find("Relationship 'boss' cannot be enforced: 1 rows of 'staff' have no matching row in 'staff'"),
            std::string::npos)
      << o.message;
  o = c.exec("ALTER TABLE orders ADD CONSTRAINT by_name FOREIGN KEY (region) REFERENCES customers (name)");
  EXPECT_EQ(o.state, "42000");
  EXPECT_NE(o.message.find(
                "Relationship 'by_name' cannot be enforced: the referenced columns of 'customers' have no unique index"),
            std::string::npos)
      << o.message;
  expectOk(c, "ALTER TABLE staff ADD CONSTRAINT boss FOREIGN KEY (boss) REFERENCES staff (id) NOT ENFORCED");
  EXPECT_EQ(c.exec("ALTER TABLE orders ADD CONSTRAINT orders_customer FOREIGN KEY (customer) REFERENCES customers (id)")
                .state,
            "42S01");
  EXPECT_EQ(c.exec("ALTER TABLE orders ADD CONSTRAINT x FOREIGN KEY (customer) REFERENCES nowhere (id)").state,
            "42S02");
  EXPECT_EQ(c.exec("ALTER TABLE orders ADD CONSTRAINT x FOREIGN KEY (customer, num) REFERENCES customers (id)").state,
            "42000");

  // Enforced: an order for a customer that does not exist is refused.
  EXPECT_EQ(c.exec("INSERT INTO orders (customer) VALUES (2)").state, "23000");
  // Recorded only: nothing is checked.
  expectOk(c, "INSERT INTO staff VALUES (4, 77)");

  std::string schema = readback::mdbSchema(file, "mysql");
  EXPECT_NE(schema.find("FOREIGN KEY (`customer`) REFERENCES `customers`(`id`) ON DELETE CASCADE"), std::string::npos)
      << schema;
  readback::ExportedTable rels = readback::mdbExport(file, "MSysRelationships");
  std::vector<std::string> lines;
  for (const auto& r : rels.rows) {
    std::string line;
    for (const auto& v : r) line += v.value_or("NULL") + " ";
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  ASSERT_EQ(rels.columns, (std::vector<std::string>{"szRelationship", "grbit", "ccolumn", "icolumn", "szObject",
                                                      "szColumn", "szReferencedObject", "szReferencedColumn"}));
  EXPECT_EQ(lines, (std::vector<std::string>{"boss 2 1 0 staff boss staff id ",
                                             "orders region 2 2 0 orders region regions code ",
                                             "orders region 2 2 1 orders num regions num ",
                                             "orders_customer 4096 1 0 orders customer customers id "}));
  EXPECT_TRUE(readback::fileMatches(
      file, {{"customers", {"id", "name"}, {json::array({1, "Ada"})}},
             {"regions", {"code", "num"}, {json::array({"DE", 1})}},
             {"orders", {"id", "customer", "region", "num"},
              {json::array({1, 1, "DE", 1}), json::array({2, nullptr, "XX", 5})}},
             {"staff", {"id", "boss"},
              {json::array({1, nullptr}), json::array({2, 1}), json::array({3, 9}), json::array({4, 77})},
              true}}));
}

}  // namespace
}  // namespace tabulex::test
