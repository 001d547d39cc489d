// A file past 128 MB: the global usage map outgrows the page that holds it
// and the table maps point at bitmap pages; everything still reads back.
#include "jet/data_page.h"
#include "jet_files.h"

namespace {

using namespace jettest;
using jet::ColumnType;
using jet::Value;

TEST(BigFile, PastOneHundredTwentyEightMegabytes) {
  ScratchDir dir;
  std::string path = dir.file("big.mdb");
  jet::TableSpec big;
  big.name = "Big";
  big.columns = {{"Id", ColumnType::Long}, {"Doc", ColumnType::OLE}};
  big.indexes = {{"PrimaryKey", {"Id"}, {}, true}};
  jet::TableSpec small;
  small.name = "Small";
  small.columns = {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 50}, {"Note", ColumnType::Memo}};
  small.indexes = {{"PrimaryKey", {"Id"}, {}, true}};
  auto blob = [](int i) {
    jet::Bytes b(1 << 20);
    for (size_t k = 0; k < b.size(); k += 97) b[k] = uint8_t(i + k);
    return b;
  };
  std::vector<std::vector<Value>> smallRows;
  for (int i = 0; i < 3000; ++i)
    smallRows.push_back({int64_t(i), "name " + std::to_string(i), i % 10 ? Value(jet::Null{}) : Value(std::string(5000, 'n'))});
  {
    auto db = jet::Database::create(path);
    db->createTable(big);
    db->createTable(small);
    for (int i = 0; i < 136; ++i) {
      db->insertRow("Big", {int64_t(i), blob(i)});
      if (i % 10 == 0) db->insertRow("Small", smallRows[size_t(i / 10)]);
    }
    for (size_t i = 14; i < smallRows.size(); ++i) db->insertRow("Small", smallRows[i]);
  }
  {
    auto bytes = readFile(path);
    EXPECT_GT(bytes.size(), 128u << 20);
    const auto& globalMap = *reinterpret_cast<const jet::Page*>(bytes.data() + jet::kPageSize);
    EXPECT_EQ(globalMap[jet::rowSpan(globalMap, 0).start], 1) << "the global map should point at bitmap pages";
  }
  {
    auto db = jet::Database::open(path, false);
    int i = 0;
    db->scanRows("Big", [&](const std::vector<Value>& r) {
      EXPECT_EQ(r[0], Value(int64_t(i)));
      EXPECT_TRUE(r[1] == Value(blob(i))) << "row " << i;
      ++i;
      return true;
    });
    EXPECT_EQ(i, 136);
    EXPECT_EQ(allRows(*db, "Small"), smallRows);
  }
  // More rows after reopening extend the reference maps.
  {
    auto db = jet::Database::open(path, true);
    for (int i = 3000; i < 3100; ++i) {
      smallRows.push_back({int64_t(i), "late " + std::to_string(i), jet::Null{}});
      db->insertRow("Small", smallRows.back());
    }
  }
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
  EXPECT_EQ(tabulex::readback::mdbCount(path, "Big"), 136);
  EXPECT_TRUE(tabulex::readback::mdbtoolsMatches(path, expected(small, smallRows)));
  EXPECT_TRUE(tabulex::readback::mdbReaderMatches(path, expected(small, smallRows)));
}

}  // namespace
