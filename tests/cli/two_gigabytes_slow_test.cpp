// A conversion that fills the Access file to its 2 GB ceiling: the table
// that reaches it stops with a message that says so, the rows stored
// before it stay, the table converted before it is whole, and every reader
// opens the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "jet/database.h"
#include "support/readback.h"
#include "support/rig.h"

using nlohmann::json;
namespace rb = tabulex::readback;
namespace fs = std::filesystem;

namespace {

constexpr int kBlobBytes = 1 << 20;

// A folder in memory when the machine has one with room: two gigabytes are
// written and read several times.
fs::path scratchFolder() {
  std::error_code error;
  auto shm = fs::space("/dev/shm", error);
  fs::path base = !error && shm.available > (uint64_t(5) << 30) ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string folder = (base / "tabulex-2gb-XXXXXX").string();
  if (!mkdtemp(folder.data())) throw std::runtime_error("no scratch folder");
  return folder;
}

TEST(TwoGigabytes, TheTableThatReachesTheCeilingStopsAndKeepsItsRows) {
  TABULEX_REQUIRE_RIG();
  if (!fs::exists(std::string(TABULEX_BINARY_DIR) + "/drivers/access/libtabulexaccess.so"))
    GTEST_SKIP() << "the Access driver is not built (target tabulexaccess)";
  for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing()})
    if (!missing.empty()) GTEST_SKIP() << missing;
  tabulex::test::PrivateOdbcConfig config;

  // 2,200 documents of a megabyte each, made by the server as they are
  // read, so the source takes no disk.
  tabulex::test::rigSql(
      "DROP DATABASE IF EXISTS big_file; CREATE DATABASE big_file; USE big_file;"
      "CREATE TABLE digits (d INT NOT NULL PRIMARY KEY);"
      "INSERT INTO digits VALUES (0),(1),(2),(3),(4),(5),(6),(7),(8),(9);"
      "CREATE TABLE a_first (id INT NOT NULL PRIMARY KEY, name VARCHAR(20));"
      "INSERT INTO a_first VALUES (1, 'one'), (2, 'two'), (3, NULL);"
      "CREATE VIEW documents AS SELECT a.d * 1000 + b.d * 100 + c.d * 10 + e.d AS id,"
      " CAST(REPEAT(CHAR(65 + (a.d * 1000 + b.d * 100 + c.d * 10 + e.d) % 26), " +
      std::to_string(kBlobBytes) +
      ") AS BINARY) AS doc FROM digits a, digits b, digits c, digits e"
      " WHERE a.d * 1000 + b.d * 100 + c.d * 10 + e.d < 2200;");

  const fs::path folder = scratchFolder();
  const std::string path = (folder / "full.mdb").string();
  auto rig = tabulex::test::rigEnvironment();
  rb::CommandResult result = rb::runCommand(
      {std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert", "--database", "big_file", "--user", rig->user,
       "--output", path, "--views", "--tables", "a_first,documents", "--report", "json", "--quiet"},
      {{"TABULEX_PASSWORD", rig->password}});
  EXPECT_EQ(result.status, 1) << "a failed table is an exit status of 1\n" << result.err;
  json documents, first;
  const json report = json::parse(result.out);
  for (const json& entry : report["tables"]) {
    if (entry["source"] == "documents") documents = entry;
    if (entry["source"] == "a_first") first = entry;
  }
  ASSERT_TRUE(documents.is_object()) << result.out;
  EXPECT_EQ(first["status"], "ok") << first.dump();
  EXPECT_EQ(documents["status"], "failed") << documents.dump();
  EXPECT_NE(documents["message"].get<std::string>().find("the Access file would exceed 2 GB"), std::string::npos)
      << documents.dump();
  const int64_t written = documents["rows_written"].get<int64_t>();
  EXPECT_GT(written, 1900) << "the file should be nearly full";
  EXPECT_LT(written, 2200);

  EXPECT_LE(fs::file_size(path), uint64_t(1) << 31);
  EXPECT_FALSE(fs::exists(path + "-journal"));
  EXPECT_EQ(rb::jetcheckProblems(path), std::vector<std::string>{});
  EXPECT_EQ(rb::mdbCount(path, "documents"), written);
  rb::ExpectedTable expectedFirst{"a_first", {"id", "name"}, {json::array({1, "one"}), json::array({2, "two"}),
                                                              json::array({3, nullptr})}};
  EXPECT_TRUE(rb::mdbtoolsMatches(path, expectedFirst));
  EXPECT_TRUE(rb::mdbReaderMatches(path, expectedFirst));

  // Every stored document is whole: a megabyte of the one letter it began
  // with (the view's rows come in no particular order).
  auto db = jet::Database::open(path, false);
  int64_t seen = 0;
  db->scanRows("documents", [&](const std::vector<jet::Value>& row) {
    const auto* bytes = std::get_if<jet::Bytes>(&row[1]);
    EXPECT_TRUE(bytes && bytes->size() == size_t(kBlobBytes) && bytes->front() >= 'A' && bytes->front() <= 'Z' &&
                std::all_of(bytes->begin(), bytes->end(), [&](uint8_t b) { return b == bytes->front(); }))
        << "row " << seen;
    ++seen;
    return !HasFailure();
  });
  EXPECT_EQ(seen, written);
  db.reset();
  fs::remove_all(folder);
  tabulex::test::rigSql("DROP DATABASE big_file;");
}

}  // namespace
