// A file past 128 MB: the global usage map outgrows the page that holds it
// and the table maps point at bitmap pages; everything still reads back.
#include <sys/stat.h>

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

// Jet files end at 2 GB. The insert that would cross the line fails on its
// own with a message that says so; everything stored before it stays, and
// the file is whole.
TEST(BigFile, TheTwoGigabyteCeilingEndsInsertsCleanly) {
  // Two gigabytes are written and read twice: in memory when the machine
  // has a memory file system with room, which spares minutes of disk time.
  std::error_code error;
  auto shm = std::filesystem::space("/dev/shm", error);
  ScratchDir dir(!error && shm.available > (uint64_t(3) << 30) ? std::filesystem::path("/dev/shm")
                                                                : std::filesystem::temp_directory_path());
  std::string path = dir.file("full.mdb");
  jet::TableSpec big;
  big.name = "Big";
  big.columns = {{"Id", ColumnType::Long}, {"Doc", ColumnType::OLE}};
  big.indexes = {{"PrimaryKey", {"Id"}, {}, true}};
  const jet::Bytes blob(4 << 20, 0x5A);
  int64_t stored = 0;
  std::string message;
  {
    auto db = jet::Database::create(path);
    db->createTable(big);
    try {
      for (;; ++stored) db->insertRow("Big", {stored, blob});
    } catch (const jet::Error& e) {
      message = e.what();
    }
    EXPECT_EQ(message, "the Access file would exceed 2 GB");
    EXPECT_GT(stored, 500);
    EXPECT_EQ(db->rowCount("Big"), uint32_t(stored));
    // The next one fails the same way and leaves the file as it was.
    try {
      db->insertRow("Big", {stored, blob});
      ADD_FAILURE() << "an insert past 2 GB went through";
    } catch (const jet::Error& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_LE(uint64_t(st.st_size), uint64_t(1) << 31);
  EXPECT_NE(lstat((path + "-journal").c_str(), &st), 0) << "a journal was left behind";
  auto db = jet::Database::open(path, false);
  EXPECT_EQ(db->rowCount("Big"), uint32_t(stored));
  int64_t seen = 0;
  db->scanRows("Big", [&](const std::vector<Value>& r) {
    EXPECT_EQ(r[0], Value(seen));
    if (seen % 97 == 0) {
      EXPECT_TRUE(r[1] == Value(blob)) << "row " << seen;
    }
    ++seen;
    return true;
  });
  EXPECT_EQ(seen, stored);
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
}

}  // namespace
