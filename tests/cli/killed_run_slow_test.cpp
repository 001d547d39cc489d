// The converter killed at any instant: whatever file it leaves opens in
// every program of ours (which undoes the half-done insert), passes the
// structural check and holds exactly the first rows of the table, at least
// as many as the progress line had shown before the kill.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "jet/database.h"
#include "support/readback.h"
#include "support/rig.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 60000;

struct Killed {
  uint64_t shown = 0;  // the largest row count the progress line showed
  bool exited = false; // the run ended by itself before the kill
};

// The progress line counts "N rows" or "N of M rows" (and a rate in
// "rows/s"); the largest N seen is what the user was told had been copied.
uint64_t largestShown(const std::string& terminal) {
  static const std::regex count(R"((\d+)(?: of \d+)? rows(?!/))");
  uint64_t largest = 0;
  for (auto it = std::sregex_iterator(terminal.begin(), terminal.end(), count);
       it != std::sregex_iterator(); ++it)
    largest = std::max<uint64_t>(largest, std::stoull((*it)[1]));
  return largest;
}

// Runs the converter on a pseudo-terminal (so it shows its progress) and
// kills it after `delay`.
Killed runAndKill(const std::vector<std::string>& args, const std::string& password,
                  std::chrono::milliseconds delay) {
  int master = -1;
  pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child == 0) {
    setenv("TABULEX_PASSWORD", password.c_str(), 1);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Killed result;
  std::string terminal;
  auto deadline = std::chrono::steady_clock::now() + delay;
  int status = 0;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, int(left.count())) > 0) {
      char buffer[4096];
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      terminal.append(buffer, size_t(n));
    }
    if (waitpid(child, &status, WNOHANG) == child) {
      result.exited = true;
      break;
    }
  }
  if (!result.exited) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  close(master);
  result.shown = largestShown(terminal);
  return result;
}

// The database files in the folder: every regular file but journals and a
// blank file the kill caught half built (".new-", never published). Each
// must open.
std::vector<std::string> databasesIn(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.ends_with("-journal") ||
        name.find(".new-") != std::string::npos)
      continue;
    try {
      jet::Database::open(entry.path().string(), false);
      found.push_back(entry.path().string());
    } catch (const jet::Error& e) {
      ADD_FAILURE() << name << " does not open: " << e.what();
    }
  }
  return found;
}

TEST(KilledRun, EveryFileLeftHoldsTheRowsShownAndNothingHalfDone) {
  TABULEX_REQUIRE_RIG();
  auto rig = tabulex::test::rigEnvironment();
  tabulex::test::PrivateOdbcConfig config;
  tabulex::test::rigSql(
      "DROP DATABASE IF EXISTS killed; CREATE DATABASE killed; USE killed;"
      "CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(40), note TEXT) ENGINE=InnoDB;"
      "INSERT INTO t SELECT seq, CONCAT('name ', seq), IF(seq % 50 = 0, REPEAT('x', 3000), NULL)"
      " FROM seq_1_to_" + std::to_string(kRows) + ";");

  std::mt19937 random(20261209);
  int killedMidway = 0;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fs::path folder = fs::temp_directory_path() / ("tabulex-killed-" + std::to_string(getpid()) +
                                                   "-" + std::to_string(round));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<std::string> args{std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert",
                                  "--database", "killed", "--user", rig->user,
                                  "--output", (folder / "out.mdb").string()};
    args.push_back(round % 2 ? "--bulk" : "--connect-per-row");
    Killed run = runAndKill(args, rig->password, std::chrono::milliseconds(400 + random() % 2500));
    killedMidway += !run.exited;

    for (const std::string& file : databasesIn(folder)) {
      SCOPED_TRACE(file);
      EXPECT_EQ(tabulex::readback::jetcheckProblems(file), std::vector<std::string>{});
      auto db = jet::Database::open(file, false);
      if (!db->hasTable("t")) continue;  // killed before the table was made
      uint64_t count = db->rowCount("t");
      EXPECT_GE(count, run.shown) << "rows shown as copied are missing";
      int64_t expected = 1;
      bool exact = true;
      db->scanRows("t", [&](const std::vector<jet::Value>& row) {
        exact = row[0] == jet::Value(expected) &&
                row[1] == jet::Value("name " + std::to_string(expected));
        EXPECT_TRUE(exact) << "row " << expected;
        ++expected;
        return exact;
      });
      EXPECT_EQ(uint64_t(expected - 1), count);
    }
    fs::remove_all(folder);
  }
  EXPECT_GT(killedMidway, 2) << "the runs ended before the kills: make the table larger";
}

}  // namespace
