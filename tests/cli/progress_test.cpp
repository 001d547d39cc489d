// The progress line: what it says, and that it reaches a terminal only,
// never a pipe or a file, and not with --quiet.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/terminal_progress.h"
#include "support/readback.h"
#include "support/rig.h"

namespace rb = tabulex::readback;

namespace {

TEST(ProgressLine, SaysWhereTheRunIsAndWhatIsLeft) {
  cli::ProgressState state{2, 5, "items", 0, 60000, 0};
  EXPECT_EQ(cli::progressLine(state), "table 2 of 5, items: 0 of 60000 rows");
  state.rows = 1200;
  state.seconds = 0.5;
  EXPECT_EQ(cli::progressLine(state), "table 2 of 5, items: 1200 of 60000 rows, 2400 rows/s, 0:25 left");
  state.rows = 30000;
  state.seconds = 4000;  // a slow server: the time left grows hours
  EXPECT_EQ(cli::progressLine(state), "table 2 of 5, items: 30000 of 60000 rows, 8 rows/s, 1:06:40 left");
  // An estimate the copy has passed (InnoDB's are rough) or none at all.
  state = {1, 1, "log", 70000, 60000, 10};
  EXPECT_EQ(cli::progressLine(state), "table 1 of 1, log: 70000 rows, 7000 rows/s");
  state.estimate = 0;
  EXPECT_EQ(cli::progressLine(state), "table 1 of 1, log: 70000 rows, 7000 rows/s");

  EXPECT_EQ(cli::fittedToWidth("table 1 of 1, caf\xC3\xA9s: 3 rows", 18), "table 1 of 1, caf");
  EXPECT_EQ(cli::fittedToWidth("table 1 of 1, caf\xC3\xA9s: 3 rows", 19), "table 1 of 1, caf\xC3\xA9");
  EXPECT_EQ(cli::fittedToWidth("short", 0), "short");  // width unknown
}

struct Terminal {
  int status = -1;
  std::string text;  // everything the program wrote to the terminal
};

// Runs argv on a pseudo-terminal (standard output and error both) to the end.
Terminal onTerminal(const std::vector<std::string>& argv, const std::string& password) {
  int master = -1;
  winsize size{};
  size.ws_col = 200;
  size.ws_row = 24;
  pid_t child = forkpty(&master, nullptr, nullptr, &size);
  if (child == 0) {
    setenv("TABULEX_PASSWORD", password.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  Terminal result;
  if (child < 0) return result;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 120000) <= 0) break;
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program has ended
    result.text.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class Progress : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!tabulex::test::rigAvailable()) return;
    config_ = new tabulex::test::PrivateOdbcConfig();
    tabulex::test::rigSql("DROP DATABASE IF EXISTS progress; CREATE DATABASE progress;"
                          "CREATE TABLE progress.items (id INT PRIMARY KEY, name VARCHAR(20));"
                          "INSERT INTO progress.items SELECT seq, CONCAT('item ', seq) FROM progress.seq_1_to_30000;"
                          "ANALYZE TABLE progress.items;"
                          "CREATE TABLE progress.tiny (id INT); INSERT INTO progress.tiny VALUES (1);");
  }
  static void TearDownTestSuite() {
    delete config_;
    config_ = nullptr;
  }
  void SetUp() override {
    TABULEX_REQUIRE_RIG();
    if (!rb::jetcheckMissing().empty()) GTEST_SKIP() << rb::jetcheckMissing();
  }
  std::vector<std::string> command(const std::string& name, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv{std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert", "--database",
                                  "progress", "--user", tabulex::test::rigEnvironment()->user, "--output",
                                  (config_->folder() / name).string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
  }
  static tabulex::test::PrivateOdbcConfig* config_;
};

tabulex::test::PrivateOdbcConfig* Progress::config_ = nullptr;

TEST_F(Progress, OnATerminalOnlyAndNotWithQuiet) {
  const std::string password = tabulex::test::rigEnvironment()->password;
  // One connection a row keeps the copy long enough for a redraw.
  Terminal shown = onTerminal(command("shown", {"--connect-per-row"}), password);
  ASSERT_EQ(shown.status, 0) << shown.text;
  EXPECT_NE(shown.text.find("\r\033[Ktable 1 of 2, items: 0 of "), std::string::npos) << shown.text;
  EXPECT_NE(shown.text.find("rows/s"), std::string::npos) << shown.text;
  EXPECT_NE(shown.text.find("items: 30000 rows, ok"), std::string::npos) << shown.text;
  EXPECT_NE(shown.text.find("table 2 of 2, tiny: 0 of 1 rows"), std::string::npos) << shown.text;

  Terminal quiet = onTerminal(command("quiet", {"--quiet"}), password);
  ASSERT_EQ(quiet.status, 0) << quiet.text;
  EXPECT_EQ(quiet.text.find("rows/s"), std::string::npos) << quiet.text;
  EXPECT_EQ(quiet.text.find("\033[K"), std::string::npos) << quiet.text;

  rb::CommandResult piped = rb::runCommand(command("piped"), {{"TABULEX_PASSWORD", password}});
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  // The report is the same wherever the line went (file names aside).
  EXPECT_NE(piped.out.find("items"), std::string::npos);
  EXPECT_NE(quiet.text.find("items"), std::string::npos);
  EXPECT_TRUE(rb::jetcheckProblems((config_->folder() / "piped.mdb").string()).empty());
  EXPECT_EQ(rb::mdbCount((config_->folder() / "shown.mdb").string(), "items"), 30000);
}

}  // namespace
