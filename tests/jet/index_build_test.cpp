// Indexes created on tables that already hold rows are built in one pass
// from sorted keys: the trees must be sound at every size, agree with the
// rows, keep refusing duplicates afterwards, and let NULL keys repeat in a
// unique index as MySQL does.
#include "jet_files.h"

namespace {

using namespace jettest;
using jet::ColumnType;
using jet::Value;

void expectCode(const std::function<void()>& f, jet::Error::Code code) {
  try {
    f();
    ADD_FAILURE() << "no error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), code) << e.what();
  }
}

// From an empty table to one whose text index needs three levels, with
// keys arriving in no particular order.
TEST(IndexBuild, TreesOfEverySizeMatchTheirRows) {
  ScratchDir dir;
  std::string path = dir.file("sizes.mdb");
  std::vector<jet::TableSpec> specs;
  std::vector<tabulex::readback::ExpectedTable> want;
  {
    auto db = jet::Database::create(path);
    for (int count : {0, 1, 400, 12000}) {
      jet::TableSpec s;
      s.name = "T" + std::to_string(count);
      s.columns = {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 80}, {"When", ColumnType::DateTime}};
      db->createTable(s);
      std::vector<std::vector<Value>> rows;
      for (int i = 0; i < count; ++i) {
        int k = (i * 7919) % (count ? count : 1);
        rows.push_back({int64_t(k), "name " + std::to_string(k % 3000) + std::string(50, char('a' + k % 26)),
                        jet::toOleDate(2000 + k % 30, 1 + k % 12, 1 + k % 28)});
      }
      for (const auto& r : rows) db->insertRow(s.name, r);
      db->createIndex(s.name, {"PrimaryKey", {"Id"}, {}, true});
      db->createIndex(s.name, {"ByName", {"Name", "When"}, {false, true}});
      db->createIndex(s.name, {"ByWhen", {"When"}, {true}});
      // The trees take inserts at both ends and in the middle afterwards.
      for (int64_t id : {int64_t(-5), int64_t(count + 10), int64_t(count / 2) + 100000}) {
        rows.push_back({id, std::string("added"), jet::toOleDate(2015, 6, 1)});
        db->insertRow(s.name, rows.back());
      }
      if (count > 0) {
        expectCode([&] { db->insertRow(s.name, {int64_t(count / 2), std::string("x"), jet::Null{}}); },
                   jet::Error::Code::Duplicate);
      }
      EXPECT_EQ(db->tableSpec(s.name).indexes.size(), 3u);
      want.push_back(expected(s, rows));
    }
  }
  EXPECT_TRUE(tabulex::readback::fileMatches(path, want));
}

TEST(IndexBuild, UniqueKeysHoldingNullMayRepeat) {
  ScratchDir dir;
  std::string path = dir.file("nulls.mdb");
  jet::TableSpec s;
  s.name = "People";
  s.columns = {{"Id", ColumnType::Long}, {"Mail", ColumnType::Text, 40}, {"Team", ColumnType::Integer},
               {"Seat", ColumnType::Integer}};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 1000; ++i)
    rows.push_back({int64_t(i), i % 3 ? Value("m" + std::to_string(i)) : Value(jet::Null{}),
                    i % 4 ? Value(int64_t(i % 50)) : Value(jet::Null{}),
                    i % 4 ? Value(int64_t(i / 50)) : Value(int64_t(i % 2))});
  auto db = jet::Database::create(path);
  db->createTable(s);
  for (const auto& r : rows) db->insertRow(s.name, r);
  db->createIndex(s.name, {"ByMail", {"Mail"}, {}, false, true});
  // (Team, Seat) is unique where Team is set; rows without a Team share seats.
  db->createIndex(s.name, {"BySeat", {"Team", "Seat"}, {}, false, true});
  auto before = readFile(path);
  expectCode([&] { db->createIndex(s.name, {"BySeatOnly", {"Seat"}, {}, false, true}); },
             jet::Error::Code::Duplicate);
  expectCode([&] { db->createIndex(s.name, {"PrimaryKey", {"Mail"}, {}, true}); }, jet::Error::Code::RequiredNull);
  EXPECT_EQ(readFile(path), before);
  // The same rule on insert, against the built tree.
  rows.push_back({int64_t(2000), jet::Null{}, jet::Null{}, int64_t(1)});
  db->insertRow(s.name, rows.back());
  expectCode([&] { db->insertRow(s.name, {int64_t(2001), std::string("M1"), jet::Null{}, jet::Null{}}); },
             jet::Error::Code::Duplicate);
  expectCode([&] { db->insertRow(s.name, {int64_t(2001), jet::Null{}, int64_t(1), int64_t(0)}); },
             jet::Error::Code::Duplicate);
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

TEST(IndexBuild, TablesHoldThirtyTwoIndexesAtMost) {
  ScratchDir dir;
  std::string path = dir.file("limit.mdb");
  auto db = jet::Database::create(path);
  jet::TableSpec s;
  s.name = "Wide";
  for (int i = 0; i < 33; ++i) s.columns.push_back({"C" + std::to_string(i), ColumnType::Long});
  jet::TableSpec tooMany = s;
  tooMany.name = "TooMany";
  for (int i = 0; i < 33; ++i) tooMany.indexes.push_back({"I" + std::to_string(i), {"C" + std::to_string(i)}, {}});
  expectCode([&] { db->createTable(tooMany); }, jet::Error::Code::InvalidDefinition);
  db->createTable(s);
  db->insertRow(s.name, std::vector<Value>(33, int64_t(7)));
  for (int i = 0; i < 32; ++i) db->createIndex(s.name, {"I" + std::to_string(i), {"C" + std::to_string(i)}, {}});
  try {
    db->createIndex(s.name, {"I32", {"C32"}, {}});
    ADD_FAILURE() << "a 33rd index was made";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), jet::Error::Code::InvalidDefinition);
    EXPECT_NE(std::string(e.what()).find("32 indexes"), std::string::npos) << e.what();
  }
  db.reset();
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
}

}  // namespace

namespace {

// Short keys that begin one another, repeat, and differ only past the
// first bytes: the sorted build must order them as the tree does, which
// the structural check walks and the readers read.
TEST(IndexBuild, ShortKeysThatBeginOneAnotherKeepTheTreesOrder) {
  ScratchDir dir;
  std::string path = dir.file("short.mdb");
  jet::TableSpec s;
  s.name = "Short";
  s.columns = {{"Id", ColumnType::Long}, {"Word", ColumnType::Text, 40}, {"Small", ColumnType::Byte}};
  const std::vector<std::string> words = {"", "a", "A", "ab", "abc", "ab c", "b", "a\xC3\xA9", "abcdefghijklmnop",
                                          "abcdefghijklmnopq", "abcdefghijklmnopqr", "zz"};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 3000; ++i) {
    int k = (i * 7919) % 3000;
    Value word = k % 13 == 12 ? Value(jet::Null{}) : Value(words[size_t(k % 13) % words.size()]);
    rows.push_back({int64_t(k), word, int64_t(k % 7)});
  }
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    for (const auto& r : rows) db->insertRow(s.name, r);
    db->createIndex(s.name, {"ByWord", {"Word"}});
    db->createIndex(s.name, {"ByWordDown", {"Word", "Small"}, {true, false}});
    db->createIndex(s.name, {"BySmall", {"Small", "Word"}});
    expectCode([&] { db->createIndex(s.name, {"OneWord", {"Word", "Small"}, {}, false, true}); },
               jet::Error::Code::Duplicate);
  }
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

// Text keys are read straight from the stored rows when an index is built,
// not through the values an insert gets: every storage form of text (one
// byte a character, two, and switches between them) and every part of a
// key (accents, widths, characters kept by position, descending) must come
// out as the insert path and the structural check make them.
TEST(IndexBuild, TextKeysOfEveryStoredFormMatchTheirRows) {
  ScratchDir dir;
  std::string path = dir.file("text.mdb");
  jet::TableSpec s;
  s.name = "Words";
  s.columns = {{"Id", ColumnType::Long}, {"Word", ColumnType::Text, 60}, {"Note", ColumnType::Text, 60}};
  const std::vector<std::string> words = {
      "plain", "\xC3\x89mile", "stra\xC3\x9F" "e", "\xCE\xA9mega", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
      "abc\xE6\x97\xA5\xE6\x9C\xAC" "def", "\xEF\xBD\x86\xEF\xBD\x95\xEF\xBD\x8C\xEF\xBD\x8C", "a\xCC\x81",
      "co-op", "O'Brien", "trailing  ", "", "\xF0\x9F\x98\x80 smile", "Z\xC3\xBCrich-Nord"};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 2000; ++i) {
    int k = (i * 7919) % 2000;
    Value word = k % 17 == 16 ? Value(jet::Null{}) : Value(words[size_t(k % 17) % words.size()]);
    rows.push_back({int64_t(k), word, words[size_t(k) % words.size()] + std::to_string(k)});
  }
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
    for (const auto& r : rows) db->insertRow(s.name, r);
    db->createIndex(s.name, {"ByWord", {"Word", "Id"}});
    db->createIndex(s.name, {"ByWordDown", {"Word"}, {true}});
    db->createIndex(s.name, {"ByNote", {"Note"}, {}, false, true});
    // The same keys arrive through the insert path afterwards.
    for (int k = 2000; k < 2100; ++k) {
      rows.push_back({int64_t(k), words[size_t(k) % words.size()], "added " + std::to_string(k)});
      db->insertRow(s.name, rows.back());
    }
    expectCode([&] { db->insertRow(s.name, {int64_t(5000), std::string("x"), rows[7][2]}); },
               jet::Error::Code::Duplicate);
  }
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(s, rows)}));
}

}  // namespace
