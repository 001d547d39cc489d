// The MySQL server stops in the middle of a conversion: the table that
// notices fails with the driver's message, the tables after it fail at once
// with a clear one, the file stays valid, and the exit status says a table
// failed. The server is a private one, started from the rig's prepared data
// and stopped by the rig's own command, so other tests keep theirs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "support/child_run.h"
#include "support/readback.h"
#include "support/rig.h"

using nlohmann::json;
namespace rb = tabulex::readback;
namespace fs = std::filesystem;

namespace {

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int shell(const std::string& command) { return std::system(command.c_str()); }

// A second server made from the rig's prepared data directory.
class PrivateServer {
 public:
  PrivateServer(const fs::path& rigState, const fs::path& state) : state_(state) {
    fs::create_directories(state_);
    fs::copy(rigState / "template", state_ / "template", fs::copy_options::recursive);
    fs::copy_file(rigState / "template.env", state_ / "template.env");
    started_ = shell(rig() + " start " + shellQuote(state_.string()) + " " +
                     shellQuote(TABULEX_BINARY_DIR) + " >/dev/null 2>&1") == 0;
    if (!started_) return;
    std::string env = tabulex::test::readTextFile(state_ / "env.sh");
    std::smatch match;
    if (std::regex_search(env, match, std::regex("MYSQL_TCP_PORT=([0-9]+)"))) port_ = match[1];
    if (std::regex_search(env, match, std::regex("TABULEX_MYSQL_SOCKET=(\\S+)"))) socket_ = match[1];
  }
  ~PrivateServer() {
    stop();
    std::error_code ignored;
    fs::remove_all(state_, ignored);
  }
  bool started() const { return started_ && !port_.empty() && !socket_.empty(); }
  void stop() {
    if (started_) shell(rig() + " stop " + shellQuote(state_.string()) + " >/dev/null 2>&1");
    started_ = false;
  }
  void sql(const std::string& statements) const {
    fs::path script = state_ / "fixture.sql";
    std::ofstream(script) << statements;
    ASSERT_EQ(shell("mariadb --no-defaults -uroot --socket=" + shellQuote(socket_) + " -p" +
                    shellQuote(tabulex::test::rigEnvironment()->rootPassword) + " < " +
                    shellQuote(script.string())),
              0);
  }
  // What makes the converter reach this server instead of the rig's.
  std::vector<std::pair<std::string, std::string>> environment() const {
    return {{"MYSQL_TCP_PORT", port_}, {"MYSQL_UNIX_PORT", socket_}};
  }

 private:
  static std::string rig() { return shellQuote(std::string(TABULEX_SOURCE_DIR) + "/scripts/rig"); }
  fs::path state_;
  bool started_ = false;
  std::string port_, socket_;
};

TEST(ServerLoss, TheTableThatNoticesFailsAndTheOthersFailAtOnce) {
  TABULEX_REQUIRE_RIG();
  for (const std::string& missing : {rb::mdbtoolsMissing(), rb::jetcheckMissing()})
    if (!missing.empty()) GTEST_SKIP() << missing;
  // The rig keeps its prepared data beside its ODBC folder.
  const fs::path rigState = tabulex::test::rigEnvironment()->odbcSysIni.parent_path();
  tabulex::test::PrivateOdbcConfig odbc;
  PrivateServer server(rigState, odbc.folder() / "server");
  ASSERT_TRUE(server.started());
  server.sql(
      "CREATE DATABASE lost; USE lost;"
      "CREATE TABLE a_big (id INT PRIMARY KEY, v VARCHAR(40));"
      "SET SESSION max_recursive_iterations = 1000000;"
      "INSERT INTO a_big WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
      "SELECT i, CONCAT('value ', i) FROM n;"
      "CREATE TABLE b (id INT); CREATE TABLE c (id INT); CREATE TABLE d (id INT);"
      "INSERT INTO b VALUES (1); INSERT INTO c VALUES (1); INSERT INTO d VALUES (1);");

  const fs::path folder = odbc.folder() / "out";
  fs::create_directories(folder);
  const fs::path output = folder / "lost.mdb";
  auto environment = server.environment();
  environment.emplace_back("TABULEX_PASSWORD", tabulex::test::rigEnvironment()->password);
  clitest::ChildRun run({"--database", "lost", "--user", tabulex::test::rigEnvironment()->user, "--output",
                         output.string(), "--report", "json", "--connect-per-row"},
                        folder / "run", environment);
  ASSERT_TRUE(clitest::waitUntil([&] { return clitest::aTemporaryFileHasGrown(folder, 100 * 1024); },
                                 std::chrono::seconds(60)))
      << run.err();
  server.stop();
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_EQ(run.wait(), 1) << run.out() << run.err();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(30));

  json report = json::parse(run.out());
  ASSERT_EQ(report["tables"].size(), 4u);
  // The first table may have been read whole before the server went; the
  // first one that needed it fails with the driver's words, the rest at once.
  std::size_t first = 0;
  while (first < 4 && report["tables"][first]["status"] == "ok") ++first;
  ASSERT_LT(first, 3u) << report.dump(2);
  const std::string noticed = report["tables"][first]["message"];
  EXPECT_EQ(noticed.find("not converted"), std::string::npos) << noticed;
  for (std::size_t i = first + 1; i < 4; ++i)
    EXPECT_EQ(report["tables"][i]["message"],
              "not converted: the MySQL server was lost during the table " +
                  report["tables"][first]["source"].get<std::string>());

  EXPECT_TRUE(rb::jetcheckProblems(output.string()).empty());
  EXPECT_EQ(rb::mdbCount(output.string(), "a_big"), report["tables"][0]["rows_written"].get<long>());
  EXPECT_TRUE(clitest::temporaryFiles(folder).empty());
}

}  // namespace
