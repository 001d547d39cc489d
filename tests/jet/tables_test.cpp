// Table definitions, names and indexes: what is accepted reads back the same
// everywhere, what Access refuses is refused, and unique indexes hold.
#include "jet_files.h"

namespace {

using namespace jettest;
using jet::ColumnType;
using jet::Value;

jet::TableSpec people() {
  jet::TableSpec s;
  s.name = "People";
  s.columns = {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 30}, {"Born", ColumnType::DateTime},
               {"Team", ColumnType::Integer}};
  s.columns[0].autoNumber = true;
  s.columns[1].required = true;
  s.indexes = {{"PrimaryKey", {"Id"}, {}, true}, {"ByName", {"Name"}, {}, false, true},
               {"ByTeam", {"Team", "Born"}, {false, true}}};
  return s;
}

TEST(Tables, ZeroOneAndManyRowsAcrossPages) {
  ScratchDir dir;
  std::string path = dir.file("counts.mdb");
  std::vector<tabulex::readback::ExpectedTable> want;
  {
    auto db = jet::Database::create(path);
    for (int count : {0, 1, 256, 1000}) {
      jet::TableSpec s;
      s.name = "T" + std::to_string(count);
      s.columns = {{"N", ColumnType::Long}, {"Pad", ColumnType::Text, 20}};
      s.indexes = {{"PrimaryKey", {"N"}, {}, true}};
      db->createTable(s);
      std::vector<std::vector<Value>> rows;
      for (int i = 0; i < count; ++i) rows.push_back({int64_t(count - i), std::string("r") + std::to_string(i)});
      for (const auto& r : rows) db->insertRow(s.name, r);
      EXPECT_EQ(db->rowCount(s.name), uint32_t(count));
      want.push_back(expected(s, rows));
    }
  }
  EXPECT_TRUE(tabulex::readback::fileMatches(path, want));
}

TEST(Tables, DefinitionsReadBackAfterReopening) {
  ScratchDir dir;
  std::string path = dir.file("definition.mdb");
  jet::TableSpec s = people();
  jet::TableSpec all;
  all.name = "All Types";
  all.columns = {{"B", ColumnType::Boolean}, {"Y", ColumnType::Byte}, {"I", ColumnType::Integer},
                 {"L", ColumnType::Long}, {"C", ColumnType::Currency}, {"F", ColumnType::Single},
                 {"D", ColumnType::Double}, {"T", ColumnType::DateTime}, {"Bin", ColumnType::Binary, 200},
                 {"Txt", ColumnType::Text, 255}, {"O", ColumnType::OLE}, {"M", ColumnType::Memo},
                 {"G", ColumnType::GUID}, {"N", ColumnType::Numeric, 0, 19, 7}};
  all.columns[9].compressedUnicode = false;
  all.indexes = {{"PrimaryKey", {"L", "Txt", "T"}, {false, true, false}, true}};
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    db->createTable(all);
  }
  auto db = jet::Database::open(path);
  EXPECT_EQ(db->tableNames(), (std::vector<std::string>{"People", "All Types"}));
  for (const auto* spec : {&s, &all}) {
    jet::TableSpec got = db->tableSpec(spec->name);
    ASSERT_EQ(got.columns.size(), spec->columns.size());
    for (size_t i = 0; i < got.columns.size(); ++i) {
      const auto &g = got.columns[i], &w = spec->columns[i];
      SCOPED_TRACE(w.name);
      EXPECT_EQ(g.name, w.name);
      EXPECT_EQ(g.type, w.type);
      if (w.type == ColumnType::Text || w.type == ColumnType::Binary) {
        EXPECT_EQ(g.length, w.length);
      }
      if (w.type == ColumnType::Numeric) {
        EXPECT_EQ(std::make_pair(g.precision, g.scale), std::make_pair(w.precision, w.scale));
      }
      bool inKey = false;
      for (const auto& ix : spec->indexes)
        for (const auto& c : ix.columns) inKey |= ix.primaryKey && c == w.name;
      EXPECT_EQ(g.required, w.required || w.autoNumber || inKey);
      EXPECT_EQ(g.autoNumber, w.autoNumber);
      if (w.type == ColumnType::Text) {
        EXPECT_EQ(g.compressedUnicode, w.compressedUnicode);
      }
    }
    ASSERT_EQ(got.indexes.size(), spec->indexes.size());
    for (size_t i = 0; i < got.indexes.size(); ++i) {
      const auto &g = got.indexes[i], &w = spec->indexes[i];
      EXPECT_EQ(g.name, w.name);
      EXPECT_EQ(g.columns, w.columns);
      EXPECT_EQ(g.primaryKey, w.primaryKey);
      EXPECT_EQ(g.unique, w.unique || w.primaryKey);
      std::vector<bool> desc = w.descending.empty() ? std::vector<bool>(w.columns.size(), false) : w.descending;
      EXPECT_EQ(g.descending, desc);
    }
  }
  // mdbtools reads the Required property from the property blob.
  std::string schema = tabulex::readback::mdbSchema(path);
  EXPECT_NE(schema.find("[Name]\t\t\tText (30) NOT NULL"), std::string::npos) << schema;
}

TEST(Tables, NamesAccessAllowsAndRefuses) {
  ScratchDir dir;
  auto db = jet::Database::create(dir.file("names.mdb"));
  auto table = [](const std::string& name, const std::string& column = "C") {
    jet::TableSpec s;
    s.name = name;
    s.columns = {{column, ColumnType::Long}};
    return s;
  };
  std::string longest;
  for (int i = 0; i < 64; ++i) longest += "\xC3\xA9";  // 64 characters, 128 bytes
  for (const std::string& ok : {longest, std::string("Gr\xC3\xB6\xC3\x9F" "e und Ma\xC3\x9F"),
                                std::string("\xE8\xA1\xA8 table"), std::string("with space, comma & (parens)"),
                                std::string("x")})
    EXPECT_NO_THROW(db->createTable(table(ok))) << ok;
  for (const std::string& bad : {longest + "e", std::string(""), std::string(" lead"), std::string("a.b"),
                                 std::string("a!b"), std::string("a`b"), std::string("a[b"), std::string("a]b"),
                                 std::string("tab\there"), std::string("bad\xC3")}) {
    try {
      db->createTable(table(bad));
      ADD_FAILURE() << "accepted table name '" << bad << "'";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), jet::Error::Code::InvalidName) << bad;
    }
    try {
      db->createTable(table("fine", bad));
      ADD_FAILURE() << "accepted column name '" << bad << "'";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), jet::Error::Code::InvalidName) << bad;
    }
  }
  for (const std::string& taken : {std::string("X"), std::string("GR\xC3\x96\xC3\x9F" "E UND MA\xC3\x9F"),
                                   std::string("MSysObjects")}) {
    try {
      db->createTable(table(taken));
      ADD_FAILURE() << "accepted a second table named '" << taken << "'";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), jet::Error::Code::Exists) << taken;
    }
  }
  jet::TableSpec dup = table("Dup");
  dup.columns.push_back({"c", ColumnType::Text, 5});
  EXPECT_THROW(db->createTable(dup), jet::Error);
  jet::TableSpec noColumn = table("NoColumn");
  noColumn.indexes = {{"ix", {"missing"}, {}}};
  EXPECT_THROW(db->createTable(noColumn), jet::Error);
  EXPECT_EQ(db->tableNames().size(), 5u);
  EXPECT_TRUE(db->hasTable("x"));
  db.reset();
  EXPECT_EQ(tabulex::readback::jetcheckProblems(dir.file("names.mdb")), std::vector<std::string>{});
  auto listed = tabulex::readback::mdbTables(dir.file("names.mdb"));
  EXPECT_NE(std::find(listed.begin(), listed.end(), longest), listed.end());
}

TEST(Tables, UniqueIndexesRefuseDuplicatesAndLeaveTheFileAlone) {
  ScratchDir dir;
  std::string path = dir.file("unique.mdb");
  auto db = jet::Database::create(path);
  jet::TableSpec s;
  s.name = "Codes";
  s.columns = {{"A", ColumnType::Long}, {"B", ColumnType::Text, 10}, {"Code", ColumnType::Text, 10},
               {"Note", ColumnType::Memo}};
  s.indexes = {{"PrimaryKey", {"A", "B"}, {}, true}, {"UniqueCode", {"Code"}, {}, false, true}};
  db->createTable(s);
  std::vector<std::vector<Value>> rows = {{int64_t(1), std::string("x"), std::string("abc"), std::string(9000, 'n')},
                                          {int64_t(1), std::string("y"), std::string("abd"), jet::Null{}},
                                          {int64_t(2), std::string("x"), jet::Null{}, jet::Null{}},
                                          {int64_t(3), std::string("x"), jet::Null{}, jet::Null{}}};
  for (const auto& r : rows) db->insertRow(s.name, r);
  auto before = readFile(path);
  // Text keys compare as Access compares them: case and trailing blanks do not count.
  for (const auto& dup : std::vector<std::vector<Value>>{
           {int64_t(1), std::string("X"), jet::Null{}, std::string(9000, 'm')},
           {int64_t(9), std::string("z"), std::string("ABC"), jet::Null{}},
           {int64_t(9), std::string("z"), std::string("abd  "), std::string(100000, 'q')}}) {
    try {
      db->insertRow(s.name, dup);
      ADD_FAILURE() << "a duplicate key was accepted";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), jet::Error::Code::Duplicate) << e.what();
    }
  }
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(db->rowCount(s.name), rows.size());
  try {
    db->insertRow(s.name, {jet::Null{}, std::string("q"), jet::Null{}, jet::Null{}});
    ADD_FAILURE() << "a primary key column took NULL";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), jet::Error::Code::RequiredNull);
  }
  rows.push_back({int64_t(4), std::string("x"), std::string("abe"), jet::Null{}});
  db->insertRow(s.name, rows.back());
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

// A reopened file, an index added to a filled table: inserts above the
// largest key skip the lookup, so the largest key must be the real one.
TEST(Tables, UniqueIndexesHoldAfterReopening) {
  ScratchDir dir;
  std::string path = dir.file("reopened.mdb");
  jet::TableSpec s;
  s.name = "Names";
  s.columns = {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 30}, {"Code", ColumnType::Long}};
  s.indexes = {{"PrimaryKey", {"Id"}, {}, true}, {"ByName", {"Name"}, {true}, false, true}};
  std::vector<std::vector<Value>> rows;
  for (int i = 1; i <= 600; ++i)
    rows.push_back({int64_t(i), "name " + std::to_string(i), int64_t(i * 2)});
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    for (const auto& r : rows) db->insertRow(s.name, r);
  }
  auto db = jet::Database::open(path);
  auto refused = [&](const std::vector<Value>& row) {
    try {
      db->insertRow(s.name, row);
      ADD_FAILURE() << "a duplicate key was accepted";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), jet::Error::Code::Duplicate) << e.what();
    }
  };
  refused({int64_t(600), std::string("new"), jet::Null{}});
  refused({int64_t(300), std::string("new"), jet::Null{}});
  refused({int64_t(601), std::string("NAME 599"), jet::Null{}});
  refused({int64_t(601), std::string("name 1"), jet::Null{}});
  // Names that begin or extend existing ones are other names.
  for (const char* name : {"name 599x", "nam", "name 6000", "name"}) {
    rows.push_back({int64_t(601 + rows.size() - 600), std::string(name), jet::Null{}});
    db->insertRow(s.name, rows.back());
  }
  refused({int64_t(604), std::string("other"), jet::Null{}});
  refused({int64_t(700), std::string("name 6000"), jet::Null{}});
  db->createIndex(s.name, {"ByCode", {"Code"}, {}, false, true});
  refused({int64_t(700), std::string("other"), int64_t(1200)});
  rows.push_back({int64_t(700), std::string("other"), int64_t(1202)});
  db->insertRow(s.name, rows.back());
  refused({int64_t(701), std::string("other 2"), int64_t(1202)});
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

TEST(Tables, AutoNumberCountsOnAndSurvivesReopening) {
  ScratchDir dir;
  std::string path = dir.file("auto.mdb");
  auto s = people();
  std::vector<std::vector<Value>> want;
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    db->insertRow(s.name, {jet::Null{}, std::string("a"), jet::Null{}, int64_t(1)});
    db->insertRow(s.name, {int64_t(10), std::string("b"), jet::Null{}, int64_t(1)});
    db->insertRow(s.name, {jet::Null{}, std::string("c"), jet::Null{}, jet::Null{}});
  }
  auto db = jet::Database::open(path);
  db->insertRow(s.name, {jet::Null{}, std::string("d"), jet::toOleDate(2001, 2, 3), int64_t(2)});
  want = {{int64_t(1), std::string("a"), jet::Null{}, int64_t(1)},
          {int64_t(10), std::string("b"), jet::Null{}, int64_t(1)},
          {int64_t(11), std::string("c"), jet::Null{}, jet::Null{}},
          {int64_t(12), std::string("d"), jet::toOleDate(2001, 2, 3), int64_t(2)}};
  EXPECT_EQ(allRows(*db, s.name), want);
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, want)}));
}

// Enough rows that every index needs more than one level and every usage
// map outgrows its inline window of 512 pages.
TEST(Tables, LargeTablesGrowIndexesAndMaps) {
  ScratchDir dir;
  std::string path = dir.file("large.mdb");
  jet::TableSpec s;
  s.name = "Large";
  s.columns = {{"Id", ColumnType::Long}, {"Key", ColumnType::Text, 60}, {"Body", ColumnType::Text, 200},
               {"Doc", ColumnType::OLE}};
  s.indexes = {{"PrimaryKey", {"Id"}, {true}, true}, {"ByKey", {"Key"}, {}, false, true}};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 12000; ++i) {
    std::string key = "key " + std::to_string((i * 7919) % 12000) + " " + std::string(30, char('a' + i % 26));
    rows.push_back({int64_t(i), key, std::string(150, char('A' + i % 26)),
                    i % 50 == 0 ? Value(jet::Bytes(5000, uint8_t(i))) : Value(jet::Null{})});
  }
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    for (const auto& r : rows) db->insertRow(s.name, r);
  }
  EXPECT_GT(readFile(path).size(), 512u * 4096u);
  auto db = jet::Database::open(path);
  EXPECT_EQ(allRows(*db, s.name), rows);
  EXPECT_THROW(db->insertRow(s.name, {int64_t(5), std::string("new"), jet::Null{}, jet::Null{}}), jet::Error);
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

TEST(Tables, IndexesAddedToFilledTables) {
  ScratchDir dir;
  std::string path = dir.file("added.mdb");
  jet::TableSpec s;
  s.name = "Items";
  s.columns = {{"Id", ColumnType::Long}, {"Code", ColumnType::Text, 12}, {"Group", ColumnType::Integer}};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 900; ++i)
    rows.push_back({int64_t(i), "code " + std::to_string(i), i % 5 ? Value(int64_t(i % 7)) : Value(jet::Null{})});
  auto db = jet::Database::create(path);
  db->createTable(s);
  for (const auto& r : rows) db->insertRow(s.name, r);
  auto before = readFile(path);
  try {
    db->createIndex(s.name, {"UniqueGroup", {"Group"}, {}, false, true});
    ADD_FAILURE() << "a unique index over duplicate values was created";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), jet::Error::Code::Duplicate);
  }
  EXPECT_EQ(readFile(path), before);
  db->createIndex(s.name, {"PrimaryKey", {"Id"}, {}, true});
  db->createIndex(s.name, {"ByCode", {"Code"}, {true}, false, true});
  db->createIndex(s.name, {"ByGroup", {"Group", "Id"}, {}, false, false, true});
  EXPECT_THROW(db->insertRow(s.name, {int64_t(1), std::string("new"), jet::Null{}}), jet::Error);
  EXPECT_THROW(db->insertRow(s.name, {int64_t(1000), std::string("CODE 5"), jet::Null{}}), jet::Error);
  rows.push_back({int64_t(1000), std::string("code new"), int64_t(3)});
  db->insertRow(s.name, rows.back());
  db.reset();
  db = jet::Database::open(path);
  auto spec = db->tableSpec(s.name);
  ASSERT_EQ(spec.indexes.size(), 3u);
  EXPECT_TRUE(spec.indexes[0].primaryKey);
  EXPECT_TRUE(spec.columns[0].required);
  EXPECT_EQ(spec.indexes[2].columns, (std::vector<std::string>{"Group", "Id"}));
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

TEST(Tables, DroppedTablesLeaveTheCatalogueSound) {
  ScratchDir dir;
  std::string path = dir.file("drop.mdb");
  auto make = [](const std::string& name) {
    jet::TableSpec s;
    s.name = name;
    s.columns = {{"Id", ColumnType::Long}, {"Doc", ColumnType::Memo}};
    s.indexes = {{"PrimaryKey", {"Id"}, {}, true}};
    return s;
  };
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 300; ++i) rows.push_back({int64_t(i), std::string(size_t(i) * 20, 'd')});
  {
    auto db = jet::Database::create(path);
    for (const char* n : {"Keep", "Drop", "Also"}) {
      db->createTable(make(n));
      for (const auto& r : rows) db->insertRow(n, r);
    }
    db->dropTable("drop");
    EXPECT_EQ(db->tableNames(), (std::vector<std::string>{"Keep", "Also"}));
    EXPECT_THROW(db->dropTable("Drop"), jet::Error);
    db->createTable(make("Drop"));
    db->insertRow("Drop", rows[0]);
  }
  auto db = jet::Database::open(path);
  EXPECT_EQ(db->tableNames(), (std::vector<std::string>{"Keep", "Also", "Drop"}));
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(
      path, {expected(make("Keep"), rows), expected(make("Also"), rows), expected(make("Drop"), {rows[0]})}));
}

// 255 columns with long names need a definition spread over several pages.
TEST(Tables, DefinitionsSpanningSeveralPages) {
  ScratchDir dir;
  std::string path = dir.file("wide.mdb");
  jet::TableSpec s;
  s.name = "Very Wide";
  for (int i = 0; i < 255; ++i) {
    std::string name = "column " + std::to_string(i) + " " + std::string(50, char('a' + i % 26));
    ColumnType type = i % 3 == 0 ? ColumnType::Long : i % 3 == 1 ? ColumnType::Text : ColumnType::Double;
    s.columns.push_back({name, type, uint16_t(type == ColumnType::Text ? 10 : 0)});
  }
  s.indexes = {{"PrimaryKey", {s.columns[0].name}, {}, true}, {"Second", {s.columns[1].name, s.columns[2].name}, {}}};
  std::vector<std::vector<Value>> rows;
  for (int r = 0; r < 20; ++r) {
    std::vector<Value> row(255);
    for (size_t i = 0; i < 255; ++i) {
      if (i % 3 == 0) row[i] = int64_t(r * 1000) + int64_t(i);
      else if (i % 3 == 2) row[i] = double(r) + double(i) / 4.0;
      else if (i % 2) row[i] = "t" + std::to_string(r);
    }
    rows.push_back(row);
  }
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    for (const auto& r : rows) db->insertRow(s.name, r);
  }
  auto db = jet::Database::open(path);
  EXPECT_EQ(db->tableSpec(s.name).columns.size(), 255u);
  EXPECT_EQ(allRows(*db, s.name), rows);
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

}  // namespace
