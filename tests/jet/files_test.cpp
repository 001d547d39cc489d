// Opening files: every Access-made Jet 4 file reads, and can take new
// tables; anything else is refused with a clear error and left untouched;
// a file open for writing is locked; other processes' changes are noticed.
#include <sys/wait.h>

#include <cstring>

#include "jet_files.h"

namespace {

using namespace jettest;
using jet::ColumnType;
using jet::Value;

const char* kAccessSamples[] = {
    "jackcess-adox_jet4.mdb",          "jackcess-bigIndexTestV2000.mdb",  "jackcess-compIndexTestV2000.mdb",
    "jackcess-empty2000.mdb",          "jackcess-empty2003.mdb",          "jackcess-fixedNumericTestV2000.mdb",
    "jackcess-indexTestV2000.mdb",     "jackcess-overflowTestV2000.mdb",  "jackcess-test2V2000.mdb",
    "jackcess-test2V2003.mdb",         "jackcess-testUnicodeCompV2003.mdb", "mdbreader-V2000-numeric.mdb"};

TEST(Files, AccessMadeFilesReadLikeMdbtoolsReadsThem) {
  for (const char* name : kAccessSamples) {
    SCOPED_TRACE(name);
    std::string path = sample(name);
    auto before = readFile(path);
    auto db = jet::Database::open(path, false);
    auto names = db->tableNames();
    auto theirs = tabulex::readback::mdbTables(path);
    std::sort(names.begin(), names.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(names, theirs);
    for (const auto& t : names) {
      size_t rows = allRows(*db, t).size();
      EXPECT_EQ(rows, size_t(tabulex::readback::mdbCount(path, t))) << t;
      db->tableSpec(t);
    }
    db.reset();
    EXPECT_EQ(readFile(path), before);
  }
}

TEST(Files, NewTablesGoIntoAccessMadeFiles) {
  ScratchDir dir;
  for (const char* name : {"jackcess-test2V2000.mdb", "jackcess-indexTestV2000.mdb", "jackcess-empty2003.mdb"}) {
    SCOPED_TRACE(name);
    std::string path = dir.file(name);
    writeFile(path, readFile(sample(name)));
    auto oldTables = jet::Database::open(path, false)->tableNames();
    jet::TableSpec s;
    s.name = "Added";
    s.columns = {{"Id", ColumnType::Long}, {"Text", ColumnType::Text, 20}, {"Memo", ColumnType::Memo}};
    s.indexes = {{"PrimaryKey", {"Id"}, {}, true}};
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 300; ++i)
      rows.push_back({int64_t(i), "row " + std::to_string(i), std::string(size_t(i) * 3, 'm')});
    {
      auto db = jet::Database::open(path);
      db->createTable(s);
      for (const auto& r : rows) db->insertRow(s.name, r);
    }
    auto db = jet::Database::open(path, false);
    EXPECT_EQ(db->tableNames().size(), oldTables.size() + 1);
    EXPECT_EQ(allRows(*db, s.name), rows);
    EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
    EXPECT_TRUE(tabulex::readback::mdbtoolsMatches(path, expected(s, rows)));
    EXPECT_TRUE(tabulex::readback::mdbReaderMatches(path, expected(s, rows)));
  }
}

TEST(Files, ForeignAndDamagedFilesAreRefusedAndLeftAlone) {
  ScratchDir dir;
  std::string good = dir.file("good.mdb");
  {
    auto db = jet::Database::create(good);
    jet::TableSpec s;
    s.name = "T";
    s.columns = {{"N", ColumnType::Long}};
    db->createTable(s);
    for (int i = 0; i < 10; ++i) db->insertRow("T", {int64_t(i)});
  }
  auto bytes = readFile(good);
  using Code = jet::Error::Code;
  struct Case {
    const char* name;
    std::vector<uint8_t> content;
    std::vector<Code> codes;
  };
  auto patched = [&](size_t at, std::vector<uint8_t> with) {
    auto b = bytes;
    std::memcpy(&b[at], with.data(), with.size());
    return b;
  };
  // The masked header region starts at 0x18 and its mask begins b5 6f 03 62
  // 61 08 c2 55 ...; a byte at offset k is stored XOR mask[k - 0x18].
  auto masked = [&](size_t at, uint8_t plainXor) {
    auto b = bytes;
    b[at] ^= plainXor;
    return b;
  };
  std::vector<uint8_t> random(64 * 1024);
  uint32_t x = 12345;
  for (auto& c : random) c = uint8_t((x = x * 1103515245 + 12345) >> 16);
  std::vector<Case> cases = {
      {"empty", {}, {Code::NotJet4}},
      {"random", random, {Code::NotJet4}},
      {"jet3", patched(0x14, {0x00}), {Code::NotJet4}},
      {"accdb", patched(4, {'S', 't', 'a', 'n', 'd', 'a', 'r', 'd', ' ', 'A', 'C', 'E', ' ', 'D', 'B'}),
       {Code::NotJet4}},
      {"newer", patched(0x14, {0x02}), {Code::NotJet4}},
      {"encrypted", masked(0x3E, 0x5A), {Code::Encrypted}},
      {"password", masked(0x42, 0x41), {Code::Encrypted}},
      {"truncated to one page", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4096), {Code::NotJet4}},
      {"truncated mid-page", std::vector<uint8_t>(bytes.begin(), bytes.end() - 100), {Code::Corrupt}},
      {"truncated to five pages", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 5 * 4096), {Code::Corrupt}},
      {"catalogue wiped", patched(2 * 4096, std::vector<uint8_t>(4096, 0)), {Code::Corrupt}},
      {"catalogue scrambled", patched(2 * 4096 + 40, std::vector<uint8_t>(600, 0xEE)), {Code::Corrupt}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.file(std::string(c.name) + ".mdb");
    writeFile(path, c.content);
    for (bool writable : {false, true}) {
      try {
        auto db = jet::Database::open(path, writable);
        for (const auto& t : db->tableNames()) allRows(*db, t);
        ADD_FAILURE() << "opened";
      } catch (const jet::Error& e) {
        EXPECT_NE(std::find(c.codes.begin(), c.codes.end(), e.code()), c.codes.end()) << e.what();
        EXPECT_GT(std::strlen(e.what()), 10u);
      }
      EXPECT_EQ(readFile(path), c.content);
    }
  }
  try {
    jet::Database::open(dir.file("missing.mdb"));
    ADD_FAILURE() << "opened a missing file";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), Code::Io);
  }
}

// Damage deep inside a table must give an error, never a crash.
TEST(Files, DamagedPagesNeverCrashTheReader) {
  ScratchDir dir;
  std::string good = dir.file("good.mdb");
  {
    auto db = jet::Database::create(good);
    jet::TableSpec s;
    s.name = "T";
    s.columns = {{"N", ColumnType::Long}, {"S", ColumnType::Text, 50}, {"M", ColumnType::Memo}};
    db->createTable(s);
    for (int i = 0; i < 200; ++i) db->insertRow("T", {int64_t(i), std::string(40, 's'), std::string(size_t(i * 30), 'm')});
  }
  auto bytes = readFile(good);
  uint32_t x = 99;
  for (int trial = 0; trial < 200; ++trial) {
    auto b = bytes;
    for (int k = 0; k < 8; ++k) {
      x = x * 1103515245 + 12345;
      size_t at = 4096 + (x >> 8) % (b.size() - 4096);
      b[at] = uint8_t(x >> 3);
    }
    std::string path = dir.file("damaged.mdb");
    writeFile(path, b);
    try {
      auto db = jet::Database::open(path, false);
      for (const auto& t : db->tableNames()) {
        allRows(*db, t);
        db->tableSpec(t);
      }
    } catch (const jet::Error&) {
    }
  }
}

TEST(Files, WritersLockTheFile) {
  ScratchDir dir;
  std::string path = dir.file("locked.mdb");
  auto writer = jet::Database::create(path);
  for (bool writable : {true, false}) {
    try {
      jet::Database::open(path, writable);
      ADD_FAILURE() << "a second open succeeded while a writer holds the file";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), jet::Error::Code::Locked);
      EXPECT_NE(std::string(e.what()).find("locked.mdb"), std::string::npos);
    }
  }
  // Another process is refused too.
  pid_t child = fork();
  if (child == 0) {
    try {
      jet::Database::open(path, true);
      _exit(1);
    } catch (const jet::Error& e) {
      _exit(e.code() == jet::Error::Code::Locked ? 0 : 2);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  writer.reset();
  EXPECT_NO_THROW(jet::Database::open(path, true));
}

TEST(Files, ChangesByAnotherWriterAreNoticed) {
  ScratchDir dir;
  std::string path = dir.file("shared.mdb");
  jet::TableSpec s;
  s.name = "T";
  s.columns = {{"N", ColumnType::Long}};
  {
    auto db = jet::Database::create(path);
    db->createTable(s);
  }
  auto run = [&](int rows, bool newTable) {
    auto w = jet::Database::open(path, true);
    if (newTable) {
      auto t = s;
      t.name = "U";
      w->createTable(t);
    }
    for (int i = 0; i < rows; ++i) w->insertRow("T", {int64_t(i)});
  };
  {
    auto writer = jet::Database::open(path, true);
    EXPECT_FALSE(writer->changedOnDisk());
    writer->insertRow("T", {int64_t(1)});
    EXPECT_FALSE(writer->changedOnDisk());
  }
  // A reader is shut out while a writer works, so changes happen between
  // its look-ups; a fresh reader sees them, a cached one notices.
  std::unique_ptr<jet::Database> cached = jet::Database::open(path, true);
  EXPECT_EQ(cached->rowCount("T"), 1u);
  cached.reset();
  cached = jet::Database::open(path, false);
  cached.reset();
  run(5, false);
  cached = jet::Database::open(path, false);
  EXPECT_EQ(cached->rowCount("T"), 6u);
  EXPECT_FALSE(cached->changedOnDisk());
  cached.reset();

  // The file replaced by a new one: noticed, and reload() reads the new file.
  auto holder = jet::Database::open(path, true);
  EXPECT_FALSE(holder->changedOnDisk());
  std::string other = dir.file("other.mdb");
  {
    auto db = jet::Database::create(other);
    auto t = s;
    t.name = "Other";
    db->createTable(t);
  }
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  EXPECT_TRUE(holder->changedOnDisk());
  holder->reload();
  EXPECT_EQ(holder->tableNames(), std::vector<std::string>{"Other"});
  EXPECT_FALSE(holder->changedOnDisk());
}

}  // namespace
