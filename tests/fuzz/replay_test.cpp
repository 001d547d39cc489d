// Every input that once made a fuzz target fail, and every seed, replayed
// through the target's body: none may crash or break a promise again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/fuzz_case.h"

namespace {

namespace fs = std::filesystem;
using Body = void (*)(const uint8_t*, size_t);

// Returns how many inputs were replayed.
size_t replayFolder(const fs::path& folder, Body body) {
  size_t count = 0;
  if (!fs::is_directory(folder)) return count;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    SCOPED_TRACE(entry.path().string());
    try {
      body(bytes.data(), bytes.size());
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    ++count;
  }
  return count;
}

// The seeds of a target are its own folder, or the folder named.
void replay(const std::string& target, Body body, fs::path seeds = {}) {
  fs::path here = fs::path(TABULEX_SOURCE_DIR) / "tests" / "fuzz";
  if (seeds.empty()) seeds = here / "seeds" / target;
  size_t count = replayFolder(here / "regressions" / target, body) + replayFolder(seeds, body);
  EXPECT_GT(count, 0u) << "no inputs for " << target;
}

TEST(FuzzRegressions, SqlText) { replay("sql_text", fuzzcase::sqlText); }

// The files made by Access are the seeds.
TEST(FuzzRegressions, DatabaseFile) {
  replay("database_file", fuzzcase::databaseFile,
         fs::path(TABULEX_SOURCE_DIR) / "tests" / "data" / "jet4");
}

TEST(FuzzRegressions, ValueFormat) { replay("value_format", fuzzcase::valueFormat); }

}  // namespace
