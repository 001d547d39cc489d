// The schema Access keeps beside the rows: AutoNumber counters, DefaultValue
// and Description properties, and relationships (MSysRelationships rows and
// the foreign-key index entries in both tables). Each file is read back by
// mdbtools (mdb-prop, mdb-export, mdb-schema) and mdb-reader and passes
// jetcheck; a damaged relationship is found by jetcheck.
#include <algorithm>

#include "jet_files.h"

namespace {

using namespace jettest;
namespace rb = tabulex::readback;
using jet::ColumnType;
using jet::Value;
using nlohmann::json;

void expectCode(const std::function<void()>& f, jet::Error::Code code, const std::string& message = {}) {
  try {
    f();
    ADD_FAILURE() << "no error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), code) << e.what();
    if (!message.empty()) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

std::string mdbProp(const std::string& path, const std::string& table) {
  rb::CommandResult r = rb::runCommand({"mdb-prop", path, table});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

// mdb-export's rows of MSysRelationships, sorted, as
// "name grbit ccolumn icolumn child.column parent.column".
std::vector<std::string> relationshipRows(const std::string& path) {
  rb::ExportedTable t = rb::mdbExport(path, "MSysRelationships");
  auto at = [&](const char* name) {
    return size_t(std::find(t.columns.begin(), t.columns.end(), name) - t.columns.begin());
  };
  std::vector<std::string> out;
  for (const auto& r : t.rows) {
    auto v = [&](const char* name) { return r.at(at(name)).value_or("NULL"); };
    out.push_back(v("szRelationship") + " " + v("grbit") + " " + v("ccolumn") + " " + v("icolumn") + " " +
                  v("szObject") + "." + v("szColumn") + " " + v("szReferencedObject") + "." +
                  v("szReferencedColumn"));
  }
  std::sort(out.begin(), out.end());
  return out;
}

jet::TableSpec table(const std::string& name, std::vector<jet::ColumnSpec> columns,
                     std::vector<jet::IndexSpec> indexes = {}) {
  jet::TableSpec s;
  s.name = name;
  s.columns = std::move(columns);
  s.indexes = std::move(indexes);
  return s;
}

TEST(Schema, AutoNumberStartsAtItsSeedAndFollowsTheLargestStoredValue) {
  ScratchDir dir;
  std::string path = dir.file("counter.mdb");
  jet::ColumnSpec id{"Id", ColumnType::Long};
  id.autoNumber = true;
  id.autoNumberSeed = 1000;
  jet::TableSpec s = table("Tickets", {id, {"Subject", ColumnType::Text, 40}}, {{"PrimaryKey", {"Id"}, {}, true}});
  jet::TableSpec empty = s;
  empty.name = "Empty";
  empty.indexes.clear();
  std::vector<std::vector<Value>> rows;
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    db->createTable(empty);
    db->insertRow("Tickets", {jet::Null{}, std::string("first")});  // takes the seed
    db->insertRow("Tickets", {int64_t(7), std::string("copied, below the seed")});
    db->insertRow("Tickets", {int64_t(5000), std::string("copied, above it")});
    db->insertRow("Tickets", {jet::Null{}, std::string("next")});
    rows = {{int64_t(1000), std::string("first")},
            {int64_t(7), std::string("copied, below the seed")},
            {int64_t(5000), std::string("copied, above it")},
            {int64_t(5001), std::string("next")}};
    EXPECT_EQ(db->tableSpec("Empty").columns[0].autoNumberSeed, 1000);
    expectCode([&] {
      jet::TableSpec bad = table("Bad", {id, id});
      bad.columns[1].name = "Other";
      db->createTable(bad);
    }, jet::Error::Code::InvalidDefinition);
  }
  {
    // The counter lives in the file: a reopened file goes on from it.
    auto db = jet::Database::open(path, true);
    EXPECT_EQ(db->tableSpec("Tickets").columns[0].autoNumberSeed, 5002);
    db->insertRow("Tickets", {jet::Null{}, std::string("reopened")});
    rows.push_back({int64_t(5002), std::string("reopened")});
  }
  EXPECT_TRUE(rb::fileMatches(path, {expected(s, rows), expected(empty, {})}));
  json dump = rb::mdbReaderDump(path);
  EXPECT_TRUE(rb::dumpTable(dump, "Tickets")["columns"][0].value("autoLong", false));
  EXPECT_TRUE(rb::dumpTable(dump, "Empty")["columns"][0].value("autoLong", false));
}

TEST(Schema, DefaultsAndDescriptionsAreStoredAsAccessProperties) {
  ScratchDir dir;
  std::string path = dir.file("props.mdb");
  const std::string note = "says \"hi\", it's\nÜber 日本";
  jet::ColumnSpec name{"Name", ColumnType::Text, 40};
  name.defaultValue = "\"an \"\"x\"\"\"";
  name.description = note;
  name.required = true;
  jet::ColumnSpec when{"When", ColumnType::DateTime};
  when.defaultValue = "Now()";
  jet::ColumnSpec count{"Count", ColumnType::Long};
  count.defaultValue = "-12";
  jet::TableSpec s = table("People", {{"Id", ColumnType::Long}, name, when, count});
  s.description = "everyone";
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    db->insertRow("People", {int64_t(1), std::string("a"), jet::Null{}, int64_t(3)});
    // Set after the rows, as a conversion does; empty text removes one.
    db->setDescription("People", "count", "how many");
    db->setDescription("people", "", "all people");
    db->setDescription("People", "Name", "");
    db->setDescription("People", "Name", note);
    expectCode([&] { db->setDescription("People", "nothing", "x"); }, jet::Error::Code::NoSuchColumn);
  }
  std::unique_ptr<jet::Database> db = jet::Database::open(path, false);
  jet::TableSpec back = db->tableSpec("People");
  EXPECT_EQ(back.description, "all people");
  EXPECT_EQ(back.columns[1].defaultValue, "\"an \"\"x\"\"\"");
  EXPECT_EQ(back.columns[1].description, note);
  EXPECT_TRUE(back.columns[1].required);
  EXPECT_EQ(back.columns[2].defaultValue, "Now()");
  EXPECT_EQ(back.columns[3].defaultValue, "-12");
  EXPECT_EQ(back.columns[3].description, "how many");
  EXPECT_TRUE(back.columns[0].defaultValue.empty() && back.columns[0].description.empty());

  std::string props = mdbProp(path, "People");
  for (const std::string line : {"Description: all people", "DefaultValue: \"an \"\"x\"\"\"",
                                  "DefaultValue: Now()", "DefaultValue: -12", "Description: how many",
                                  "Required: yes", "Description: says \"hi\", it's\nÜber 日本"})
    EXPECT_NE(props.find(line), std::string::npos) << line << " in\n" << props;
  EXPECT_TRUE(rb::fileMatches(path, {expected(s, {{int64_t(1), std::string("a"), jet::Null{}, int64_t(3)}})}));
  db.reset();

  // jetcheck parses every blob: one whose first chunk runs past its end is
  // reported.
  std::vector<uint8_t> bytes = readFile(path);
  const std::string marker("MR2\0", 4);
  std::u16string table16 = u"all people";
  std::string needle(reinterpret_cast<const char*>(table16.data()), table16.size() * 2);
  std::string image(bytes.begin(), bytes.end());
  size_t text = image.find(needle);
  ASSERT_NE(text, std::string::npos);
  size_t blob = image.rfind(marker, text);
  ASSERT_NE(blob, std::string::npos);
  bytes[blob + 6] = 0x7F;  // the names chunk's length
  writeFile(path, bytes);
  bool reported = false;
  for (const std::string& problem : rb::jetcheckProblems(path))
    reported |= problem.find("People: its LvProp blob does not hold together") != std::string::npos;
  EXPECT_TRUE(reported);
}

// A conversion describes every column right after making its table: the
// catalogue row is rewritten in place where its page has room, so the file
// does not grow with each description; where it has none the row moves.
TEST(Schema, ManyDescriptionsKeepTheFileSmall) {
  ScratchDir dir;
  auto build = [&](const std::string& name, bool describe) {
    std::string path = dir.file(name);
    auto db = jet::Database::create(path);
    for (int i = 0; i < 60; ++i) {
      jet::TableSpec s;
      s.name = "table" + std::to_string(i);
      for (int c = 0; c < 10; ++c) s.columns.push_back({"column" + std::to_string(c), ColumnType::Long});
      db->createTable(s);
      if (!describe) continue;
      db->setDescription(s.name, "", "table number " + std::to_string(i));
      for (int c = 0; c < 10; ++c) db->setDescription(s.name, "column" + std::to_string(c), "column " + std::to_string(c));
    }
    if (describe) {
      // Too long for the room left beside it: the first table's row moves.
      db->setDescription("table0", "column5", std::string(3000, 'x'));
      db->insertRow("table0", std::vector<Value>(10, int64_t(1)));
    }
    return path;
  };
  std::string plain = build("plain.mdb", false), described = build("described.mdb", true);
  EXPECT_LT(std::filesystem::file_size(described), std::filesystem::file_size(plain) + 128 * 1024);
  EXPECT_TRUE(rb::jetcheckProblems(described).empty());
  auto db = jet::Database::open(described, false);
  EXPECT_EQ(db->tableSpec("table0").columns[5].description, std::string(3000, 'x'));
  EXPECT_EQ(db->tableSpec("table59").columns[9].description, "column 9");
  EXPECT_EQ(db->tableSpec("table33").description, "table number 33");
  std::string props = mdbProp(described, "table0");
  EXPECT_NE(props.find("Description: " + std::string(3000, 'x')), std::string::npos);
  EXPECT_NE(props.find("Description: column 9"), std::string::npos);
  EXPECT_EQ(rb::mdbTables(described).size(), 60u);
  EXPECT_EQ(rb::mdbCount(described, "table0"), 1);
}

// Customers and orders with a composite key, a self-reference and a cycle.
class Relationships : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("rel.mdb");
    db_ = jet::Database::create(path_);
    db_->createTable(table("Customers", {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 20}},
                           {{"PrimaryKey", {"Id"}, {}, true}}));
    db_->createTable(table("Regions", {{"Code", ColumnType::Text, 2}, {"Num", ColumnType::Integer}},
                           {{"PrimaryKey", {"Code", "Num"}, {}, true}}));
    db_->createTable(table("Orders",
                           {{"Id", ColumnType::Long}, {"Customer", ColumnType::Long},
                            {"Region", ColumnType::Text, 2}, {"Num", ColumnType::Integer}},
                           {{"PrimaryKey", {"Id"}, {}, true}, {"ByCustomer", {"Customer"}, {}}}));
    db_->createTable(table("Staff", {{"Id", ColumnType::Long}, {"Boss", ColumnType::Long}},
                           {{"PrimaryKey", {"Id"}, {}, true}}));
    customers_ = {{int64_t(1), std::string("Ada")}, {int64_t(2), std::string("Bob")}};
    regions_ = {{std::string("DE"), int64_t(1)}, {std::string("FR"), int64_t(2)}};
    orders_ = {{int64_t(10), int64_t(1), std::string("DE"), int64_t(1)},
               {int64_t(11), jet::Null{}, std::string("FR"), jet::Null{}}};
    staff_ = {{int64_t(3), int64_t(2)}, {int64_t(2), int64_t(1)}, {int64_t(1), jet::Null{}}};
    for (const auto& r : customers_) db_->insertRow("Customers", r);
    for (const auto& r : regions_) db_->insertRow("Regions", r);
    for (const auto& r : orders_) db_->insertRow("Orders", r);
    for (const auto& r : staff_) db_->insertRow("Staff", r);
  }

  jet::RelationshipSpec rel(const std::string& name, const std::string& child, std::vector<std::string> columns,
                            const std::string& parent, std::vector<std::string> referenced) {
    jet::RelationshipSpec r;
    r.name = name;
    r.table = child;
    r.columns = std::move(columns);
    r.referencedTable = parent;
    r.referencedColumns = std::move(referenced);
    return r;
  }

  std::vector<rb::ExpectedTable> expectedTables() {
    return {expected(db_->tableSpec("Customers"), customers_), expected(db_->tableSpec("Regions"), regions_),
            expected(db_->tableSpec("Orders"), orders_), expected(db_->tableSpec("Staff"), staff_)};
  }

  ScratchDir dir_;
  std::string path_;
  std::unique_ptr<jet::Database> db_;
  std::vector<std::vector<Value>> customers_, regions_, orders_, staff_;
};

TEST_F(Relationships, EnforcedOnesAreRecordedInBothTablesAndRefuseOrphans) {
  jet::RelationshipSpec byCustomer = rel("OrderCustomer", "Orders", {"Customer"}, "Customers", {"Id"});
  byCustomer.cascadeDeletes = true;
  db_->createRelationship(byCustomer);
  // The pairs in another order than the parent's key.
  jet::RelationshipSpec byRegion = rel("OrderRegion", "Orders", {"Num", "Region"}, "Regions", {"Num", "Code"});
  byRegion.cascadeUpdates = true;
  db_->createRelationship(byRegion);
  db_->createRelationship(rel("Boss", "Staff", {"Boss"}, "Staff", {"Id"}));
  expectCode([&] { db_->createRelationship(rel("boss", "Staff", {"Boss"}, "Staff", {"Id"})); },
             jet::Error::Code::Exists);
  expectCode([&] { db_->dropTable("Customers"); }, jet::Error::Code::InvalidDefinition);

  auto refused = [&](const std::string& t, std::vector<Value> row) {
    expectCode([&] { db_->insertRow(t, row); }, jet::Error::Code::ForeignKey);
  };
  refused("Orders", {int64_t(12), int64_t(3), jet::Null{}, jet::Null{}});
  refused("Orders", {int64_t(12), jet::Null{}, std::string("DE"), int64_t(2)});
  refused("Staff", {int64_t(4), int64_t(99)});
  // NULL in any column of the key means no check; a row may be its own parent.
  for (std::vector<Value> r : {std::vector<Value>{int64_t(12), int64_t(2), std::string("de"), int64_t(1)},
                               std::vector<Value>{int64_t(13), jet::Null{}, std::string("XX"), jet::Null{}}}) {
    db_->insertRow("Orders", r);
    orders_.push_back(r);
  }
  db_->insertRow("Staff", {int64_t(7), int64_t(7)});
  staff_.push_back({int64_t(7), int64_t(7)});
  // Ordinary indexes are untouched: the foreign-key entries are not listed.
  EXPECT_EQ(db_->tableSpec("Orders").indexes.size(), 2u);
  db_.reset();

  // Reopened, the relationships are read back from the file and enforced.
  db_ = jet::Database::open(path_, true);
  expectCode([&] { db_->insertRow("Orders", {int64_t(20), int64_t(9), jet::Null{}, jet::Null{}}); },
             jet::Error::Code::ForeignKey);
  auto rels = db_->relationships();
  ASSERT_EQ(rels.size(), 3u);
  auto region = std::find_if(rels.begin(), rels.end(), [](const auto& r) { return r.name == "OrderRegion"; });
  ASSERT_NE(region, rels.end());
  EXPECT_EQ(region->columns, (std::vector<std::string>{"Num", "Region"}));
  EXPECT_EQ(region->referencedColumns, (std::vector<std::string>{"Num", "Code"}));
  EXPECT_TRUE(region->enforced && region->cascadeUpdates && !region->cascadeDeletes);

  EXPECT_EQ(relationshipRows(path_),
            (std::vector<std::string>{"Boss 0 1 0 Staff.Boss Staff.Id", "OrderCustomer 4096 1 0 Orders.Customer Customers.Id",
                                      "OrderRegion 256 2 0 Orders.Num Regions.Num",
                                      "OrderRegion 256 2 1 Orders.Region Regions.Code"}));
  std::string schema = rb::mdbSchema(path_, "mysql");
  EXPECT_NE(schema.find("FOREIGN KEY (`Customer`) REFERENCES `Customers`(`Id`) ON DELETE CASCADE"), std::string::npos)
      << schema;
  EXPECT_TRUE(rb::fileMatches(path_, expectedTables()));
}

TEST_F(Relationships, BrokenOnesAreRefusedWithTheirReasonAndMayBeRecordedOnly) {
  orders_.push_back({int64_t(12), int64_t(8), jet::Null{}, jet::Null{}});
  orders_.push_back({int64_t(13), int64_t(9), jet::Null{}, jet::Null{}});
  db_->insertRow("Orders", orders_[2]);
  db_->insertRow("Orders", orders_[3]);
  expectCode([&] { db_->createRelationship(rel("OrderCustomer", "Orders", {"Customer"}, "Customers", {"Id"})); },
             jet::Error::Code::ForeignKey,
             "Relationship 'OrderCustomer' cannot be enforced: 2 rows of 'Orders' have no matching row in 'Customers'");
  expectCode([&] { db_->createRelationship(rel("ByName", "Orders", {"Region"}, "Customers", {"Name"})); },
             jet::Error::Code::InvalidDefinition,
             "Relationship 'ByName' cannot be enforced: the referenced columns of 'Customers' have no unique index");
  expectCode([&] { db_->createRelationship(rel("Mixed", "Orders", {"Region"}, "Customers", {"Id"})); },
             jet::Error::Code::InvalidDefinition);
  expectCode([&] { db_->createRelationship(rel("Nowhere", "Orders", {"Gone"}, "Customers", {"Id"})); },
             jet::Error::Code::NoSuchColumn);
  auto before = db_->tableSpec("Orders");

  // Recorded only: rows, no index entries, no check on insert.
  jet::RelationshipSpec loose = rel("OrderCustomer", "Orders", {"Customer"}, "Customers", {"Id"});
  loose.enforced = false;
  loose.cascadeDeletes = true;
  db_->createRelationship(loose);
  // A parent of a loose relationship may be the child of an enforced one.
  db_->createRelationship(rel("CustomerIsStaff", "Customers", {"Id"}, "Staff", {"Id"}));
  orders_.push_back({int64_t(14), int64_t(77), jet::Null{}, jet::Null{}});
  db_->insertRow("Orders", orders_.back());
  EXPECT_EQ(db_->tableSpec("Orders").indexes.size(), before.indexes.size());
  auto tables = expectedTables();
  db_.reset();
  EXPECT_EQ(relationshipRows(path_), (std::vector<std::string>{"CustomerIsStaff 0 1 0 Customers.Id Staff.Id",
                                                               "OrderCustomer 2 1 0 Orders.Customer Customers.Id"}));
  EXPECT_TRUE(rb::fileMatches(path_, tables));
}

// jetcheck holds the index entries against MSysRelationships.
TEST_F(Relationships, JetcheckFindsIndexEntriesThatDisagree) {
  jet::RelationshipSpec r = rel("OrderCustomer", "Orders", {"Customer"}, "Customers", {"Id"});
  r.cascadeDeletes = true;
  db_->createRelationship(r);
  db_.reset();
  EXPECT_TRUE(rb::jetcheckProblems(path_).empty());
  std::vector<uint8_t> good = readFile(path_);
  // The logical index slots of the two halves: the TDEF marker, then the
  // related-table type at 12, the cascade bytes at 21 and 22, type 2 at 23.
  std::vector<size_t> halves;
  for (size_t p = 0; p + 28 <= good.size(); ++p)
    if (good[p] == 0x59 && good[p + 1] == 0x06 && good[p + 2] == 0 && good[p + 3] == 0 && good[p + 23] == 2 &&
        (good[p + 12] == 1 || good[p + 12] == 2))
      halves.push_back(p);
  ASSERT_EQ(halves.size(), 2u);
  auto problems = [&](std::vector<uint8_t> bytes) {
    writeFile(path_, bytes);
    auto found = rb::jetcheckProblems(path_);
    std::string all;
    for (const auto& f : found) all += f + "\n";
    return all;
  };
  std::vector<uint8_t> bad = good;
  bad[halves[0] + 22] = 0;  // one half forgets the cascade
  EXPECT_NE(problems(bad).find("cascade bytes"), std::string::npos);
  bad = good;
  bad[halves[1] + 23] = 0;  // one half is an ordinary index
  std::string found = problems(bad);
  EXPECT_NE(found.find("relationship OrderCustomer is enforced but"), std::string::npos) << found;
  EXPECT_NE(found.find("belongs to no enforced relationship"), std::string::npos) << found;
}

}  // namespace
