// The schema beyond columns and keys, end to end: a shop database
// (tests/data/schema/shop.sql) with every kind of index, foreign key,
// auto-increment column, default and comment, converted by tabulex-convert
// and read back with mdbtools, mdb-reader and jetcheck; the report says
// what was carried and what was left out. --schema plain writes none of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "odbc/database.h"
#include "support/readback.h"
#include "support/rig.h"

using nlohmann::json;
namespace rb = tabulex::readback;
namespace fs = std::filesystem;

namespace {

const char* const kConverted =
    "customers,regions,orders,employees,cycle_a,cycle_b,audit,tickets,big_ids,unsigned_ids";

std::vector<rb::ExpectedTable> shopTables(bool withView) {
  const json null = nullptr;
  std::vector<rb::ExpectedTable> tables;
  tables.push_back({"customers",
                    {"id", "name", "email", "code", "notes", "active", "score", "ratio", "created",
                     "changed", "born", "since", "label", "slug"},
                    {json::array({1, "Ada", "ada@example.org", "A001xxxx", "first", true, "10.25", 1.5,
                                  "2021-01-01 10:00:00", "2021-01-01 10:00:00", "1815-12-10",
                                  "2020-01-02 03:04:05", "x", "ab"}),
                     json::array({2, "Bob", null, "B002", null, false, "-1.50", 0.5, "2021-02-01 11:00:00",
                                  null, null, null, null, null}),
                     json::array({5, "Cy", null, null, "third", true, "0", 0.0, "2021-03-01 12:00:00", null,
                                  "2000-02-29", null, "it's", "cd"}),
                     json::array({9, "Dee", "dee@example.org", "D009", null, false, "99.99", -2.25,
                                  "2021-04-01 13:00:00", null, null, null, null, null})},
                    true});
  tables.push_back({"regions", {"code", "num", "title"},
                    {json::array({"DE", 1, "Nord"}), json::array({"DE", 2, "Süd"}),
                     json::array({"FR", 1, "Île"})},
                    true});
  tables.push_back({"orders", {"id", "customer", "region", "num"},
                    {json::array({1, 1, "DE", 1}), json::array({2, 5, "FR", 1}),
                     json::array({3, 77, "DE", 2}), json::array({4, null, "DE", 2})},
                    true});
  tables.push_back({"employees", {"id", "boss", "name"},
                    {json::array({3, 2, "Carla"}), json::array({2, 1, "Bert"}),
                     json::array({1, null, "Anna"})},
                    true});
  tables.push_back({"cycle_a", {"id", "b_id"}, {json::array({1, 10}), json::array({2, null})}, true});
  tables.push_back({"cycle_b", {"id", "a_id"}, {json::array({10, 2})}, true});
  tables.push_back({"audit", {"id", "secret_id"}, {json::array({1, 1})}, true});
  tables.push_back({"tickets", {"id", "subject"}, {}, true});
  tables.push_back({"big_ids", {"id", "v"}, {json::array({"5000000000", 1})}, true});
  tables.push_back({"unsigned_ids", {"id"}, {json::array({"3000000000"})}, true});
  if (withView)
    tables.push_back({"customer_names", {"id", "name"},
                      {json::array({1, "Ada"}), json::array({5, "Cy"})}, true});
  return tables;
}

bool hasNote(const json& entry, const std::string& text) {
  for (const json& note : entry["notes"])
    if (note.get<std::string>().find(text) != std::string::npos) return true;
  return false;
}

// The statements mdb-schema writes for the file's indexes and relationships.
std::vector<std::string> schemaLines(const std::string& file, const std::string& word) {
  rb::CommandResult schema = rb::runCommand({"mdb-schema", "--indexes", "--relations", file, "mysql"});
  EXPECT_EQ(schema.status, 0) << schema.err;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < schema.out.size()) {
    std::size_t end = schema.out.find('\n', start);
    if (end == std::string::npos) end = schema.out.size();
    std::string line = schema.out.substr(start, end - start);
    if (line.rfind("ALTER TABLE", 0) == 0 && line.find(word) != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// mdb-prop's text for one table.
std::string properties(const std::string& file, const std::string& table) {
  rb::CommandResult r = rb::runCommand({"mdb-prop", file, table});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

// MSysRelationships as mdb-export gives it, one sorted line a row.
std::vector<std::string> relationshipRows(const std::string& file) {
  rb::ExportedTable t = rb::mdbExport(file, "MSysRelationships");
  std::vector<std::string> lines;
  for (const auto& row : t.rows) {
    std::string line;
    for (const auto& value : row) line += (line.empty() ? "" : "|") + value.value_or("NULL");
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

class Schema : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tabulex::test::rigAvailable()) config_ = new tabulex::test::PrivateOdbcConfig();
  }
  static void TearDownTestSuite() {
    delete config_;
    config_ = nullptr;
  }
  void SetUp() override {
    TABULEX_REQUIRE_RIG();
    if (!fs::exists(std::string(TABULEX_BINARY_DIR) + "/drivers/access/libtabulexaccess.so"))
      GTEST_SKIP() << "the Access driver is not built (target tabulexaccess)";
    for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing()})
      if (!missing.empty()) GTEST_SKIP() << missing;
    tabulex::test::rigSql(
        tabulex::test::readTextFile(fs::path(TABULEX_SOURCE_DIR) / "tests/data/schema/shop.sql"));
  }

  // Converts and returns the report's entries by source table.
  std::map<std::string, json> convert(const std::string& name, std::vector<std::string> extra) {
    auto rig = tabulex::test::rigEnvironment();
    std::vector<std::string> argv{std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert",
                                  "--database", "schema_shop", "--user", rig->user, "--output",
                                  (config_->folder() / name).string(), "--report", "json"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    rb::CommandResult result = rb::runCommand(argv, {{"TABULEX_PASSWORD", rig->password}});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    std::map<std::string, json> bySource;
    const json parsed = json::parse(result.out);
    for (const json& entry : parsed["tables"]) bySource[entry["source"]] = entry;
    return bySource;
  }

  std::string file(const std::string& name) { return (config_->folder() / name).string() + ".mdb"; }

  static tabulex::test::PrivateOdbcConfig* config_;
};

tabulex::test::PrivateOdbcConfig* Schema::config_ = nullptr;

TEST_F(Schema, IndexesKeysDefaultsCommentsAndViewsAreCarriedOrNoted) {
  std::map<std::string, json> report =
      convert("shop", {"--views", "--tables", std::string(kConverted) + ",customer_names"});
  ASSERT_EQ(report.size(), 11u);
  for (const auto& [source, entry] : report) EXPECT_EQ(entry["status"], "ok") << source << entry.dump();
  EXPECT_EQ(report["customer_names"]["kind"], "view");
  EXPECT_EQ(report["customers"]["kind"], "table");
  EXPECT_TRUE(rb::fileMatches(file("shop"), shopTables(true)));

  // Indexes: prefix made whole (a unique one stays unique), direction kept,
  // FULLTEXT left out, names Access cannot hold renamed and reported.
  const json& customers = report["customers"];
  EXPECT_EQ(customers["indexes"], 4);
  EXPECT_TRUE(hasNote(customers, "index ft_notes left out: Access has no FULLTEXT index"));
  EXPECT_TRUE(hasNote(customers, "index name_prefix covers whole columns"));
  EXPECT_TRUE(hasNote(customers, "default of column slug left out: Access has no equivalent of the expression"));
  EXPECT_EQ(report["orders"]["renames"], json::array({"index fk.orders region -> fk_orders region",
                                                     "relationship fk.orders region -> fk_orders region"}));
  EXPECT_EQ(schemaLines(file("shop"), "INDEX"),
            (std::vector<std::string>{
                "ALTER TABLE `audit` ADD INDEX `fk_audit_secret` (`secret_id`);",
                "ALTER TABLE `customers` ADD INDEX `name_prefix` (`name`);",
                "ALTER TABLE `customers` ADD INDEX `recent` (`created` DESC, `name`);",
                "ALTER TABLE `customers` ADD UNIQUE INDEX `code_prefix` (`code`);",
                "ALTER TABLE `customers` ADD UNIQUE INDEX `u_email` (`email`);",
                "ALTER TABLE `cycle_a` ADD INDEX `fk_a_b` (`b_id`);",
                "ALTER TABLE `cycle_b` ADD INDEX `fk_b_a` (`a_id`);",
                "ALTER TABLE `employees` ADD INDEX `fk_boss` (`boss`);",
                "ALTER TABLE `orders` ADD INDEX `fk_orders region` (`region`, `num`);",
                "ALTER TABLE `orders` ADD INDEX `fk_orders_customer` (`customer`);"}));

  // AutoNumber only where Access's signed Long Integer holds the column.
  EXPECT_TRUE(hasNote(report["big_ids"], "column id stays a number, not an AutoNumber"));
  EXPECT_TRUE(hasNote(report["unsigned_ids"], "UNSIGNED"));

  // A foreign key to a table the run leaves out.
  EXPECT_TRUE(hasNote(report["audit"], "relationship fk_audit_secret left out: the table secret is not converted"));
  EXPECT_EQ(report["audit"]["relationships"], 0);

  // The view holds rows only.
  EXPECT_EQ(report["customer_names"]["indexes"], 0);
  EXPECT_TRUE(report["customer_names"]["notes"].empty());
}

// What Access shows of the carried schema, and how the file behaves when a
// row is added through the Access driver afterwards.
TEST_F(Schema, AutoNumbersDefaultsDescriptionsAndRelationshipsAreInTheFile) {
  std::map<std::string, json> report = convert("carried", {"--tables", kConverted});
  ASSERT_EQ(report.size(), 10u);
  const std::string mdb = file("carried");

  // Relationships: the orphan order leaves one recorded only, the rest are
  // enforced with their cascades; self-reference and cycle included.
  EXPECT_EQ(report["orders"]["relationships"], 2);
  EXPECT_EQ(report["employees"]["relationships"], 1);
  EXPECT_EQ(report["cycle_a"]["relationships"], 1);
  EXPECT_EQ(report["cycle_b"]["relationships"], 1);
  EXPECT_TRUE(hasNote(report["orders"],
                      "relationship fk_orders_customer is not enforced: 1 row of orders has no matching row in customers"))
      << report["orders"].dump();
  EXPECT_EQ(relationshipRows(mdb),
            (std::vector<std::string>{"fk_a_b|0|1|0|cycle_a|b_id|cycle_b|id",
                                      "fk_b_a|0|1|0|cycle_b|a_id|cycle_a|id",
                                      "fk_boss|4096|1|0|employees|boss|employees|id",
                                      "fk_orders region|4096|2|0|orders|region|regions|code",
                                      "fk_orders region|4096|2|1|orders|num|regions|num",
                                      "fk_orders_customer|2|1|0|orders|customer|customers|id"}));
  // mdb-schema lists the enforced ones, a composite key column by column.
  EXPECT_EQ(schemaLines(mdb, "FOREIGN KEY"),
            (std::vector<std::string>{
                "ALTER TABLE `cycle_a` ADD CONSTRAINT `cycle_a_b_id_fk` FOREIGN KEY (`b_id`) REFERENCES `cycle_b`(`id`);",
                "ALTER TABLE `cycle_b` ADD CONSTRAINT `cycle_b_a_id_fk` FOREIGN KEY (`a_id`) REFERENCES `cycle_a`(`id`);",
                "ALTER TABLE `employees` ADD CONSTRAINT `employees_boss_fk` FOREIGN KEY (`boss`) REFERENCES "
                "`employees`(`id`) ON DELETE CASCADE;",
                "ALTER TABLE `orders` ADD CONSTRAINT `orders_num_fk` FOREIGN KEY (`num`) REFERENCES `regions`(`num`) "
                "ON DELETE CASCADE;",
                "ALTER TABLE `orders` ADD CONSTRAINT `orders_region_fk` FOREIGN KEY (`region`) REFERENCES "
                "`regions`(`code`) ON DELETE CASCADE;"}));

  // Defaults in Access's syntax and descriptions with quotes, line breaks
  // and non-ASCII text.
  EXPECT_EQ(report["customers"]["defaults"], 9);
  EXPECT_EQ(report["customers"]["descriptions"], 2);
  const std::string customers = properties(mdb, "customers");
  for (const std::string line :
       {"Description: Die Kunden – \"all\" of them, l'ensemble", "DefaultValue: \"n/a\"", "DefaultValue: -1",
        "DefaultValue: -1.50", "DefaultValue: 0.5", "DefaultValue: Now()", "DefaultValue: #2020-01-02 03:04:05#",
        "DefaultValue: \"it's \"\"q\"\"\"",
        "Description: Name: \"full\", l'apostrophe, \\ back, 東京\nsecond line"})
    EXPECT_NE(customers.find(line), std::string::npos) << line << " in\n" << customers;
  EXPECT_EQ(customers.find("DefaultValue: concat"), std::string::npos) << customers;

  // AutoNumber columns, and the numbers Access hands out next: after the
  // largest copied one, or the table's AUTO_INCREMENT when larger.
  json dump = rb::mdbReaderDump(mdb);
  for (const char* table : {"customers", "orders", "employees", "tickets"})
    EXPECT_TRUE(rb::dumpTable(dump, table)["columns"][0].value("autoLong", false)) << table;
  EXPECT_FALSE(rb::dumpTable(dump, "big_ids")["columns"][0].value("autoLong", false));
  {
    CDatabase access;
    ASSERT_TRUE(access.OpenEx("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + mdb));
    access.ExecuteSQL("INSERT INTO tickets (subject) VALUES ('first')");
    access.ExecuteSQL("INSERT INTO customers (name) VALUES ('Eve')");
    access.ExecuteSQL("INSERT INTO employees (boss, name) VALUES (3, 'Dora')");
    access.ExecuteSQL("INSERT INTO orders (customer, region, num) VALUES (99, 'FR', 1)");  // recorded only
    // Enforced: no such region.
    EXPECT_THROW(access.ExecuteSQL("INSERT INTO orders (customer, region, num) VALUES (1, 'IT', 1)"),
                 CDBException);
    EXPECT_THROW(access.ExecuteSQL("INSERT INTO employees (boss, name) VALUES (40, 'Nobody')"), CDBException);
    access.Close();
  }
  auto lastRow = [&](const std::string& table) {
    rb::ExportedTable t = rb::mdbExport(mdb, table);
    return t.rows.empty() ? rb::TextRow{} : t.rows.back();
  };
  EXPECT_EQ(lastRow("tickets").at(0), "1000");
  rb::TextRow eve = lastRow("customers");
  EXPECT_EQ(eve.at(0), "50");
  EXPECT_EQ(eve.at(1), "Eve");
  EXPECT_EQ(eve.at(5), "1");      // active: Yes
  EXPECT_EQ(eve.at(6), "-1.50");  // score
  EXPECT_EQ(lastRow("employees").at(0), "4");
  EXPECT_EQ(lastRow("orders").at(0), "5");
  EXPECT_TRUE(rb::jetcheckProblems(mdb).empty());
}

TEST_F(Schema, PlainWritesOnlyColumnsRequiredAndPrimaryKeys) {
  std::map<std::string, json> report = convert("plain", {"--schema", "plain", "--tables", kConverted});
  ASSERT_EQ(report.size(), 10u);
  for (const auto& [source, entry] : report) {
    EXPECT_EQ(entry["status"], "ok") << source;
    EXPECT_TRUE(entry["notes"].empty()) << source << entry.dump();
    EXPECT_EQ(entry["indexes"], 0);
    EXPECT_EQ(entry["relationships"], 0);
    EXPECT_EQ(entry["defaults"], 0);
    EXPECT_EQ(entry["descriptions"], 0);
    EXPECT_TRUE(entry["renames"].empty());
  }
  EXPECT_TRUE(rb::fileMatches(file("plain"), shopTables(false)));
  EXPECT_TRUE(schemaLines(file("plain"), "INDEX").empty());
  EXPECT_TRUE(schemaLines(file("plain"), "FOREIGN KEY").empty());
  // The composite key in key order.
  EXPECT_EQ(schemaLines(file("plain"), "`regions` ADD PRIMARY KEY"),
            (std::vector<std::string>{"ALTER TABLE `regions` ADD PRIMARY KEY (`code`, `num`);"}));
  json dump = rb::mdbReaderDump(file("plain"));
  for (const json& column : rb::dumpTable(dump, "customers")["columns"])
    EXPECT_FALSE(column.value("autoLong", false)) << column.dump();
}

}  // namespace
