// tabulex-convert as a user, a careless script and an attacker would run it:
// runs side by side, replaced files, odd paths, killed and interrupted runs,
// hostile database names. Every file it leaves must read back whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "odbc/data_source_lock.h"
#include "support/child_run.h"
#include "support/readback.h"
#include "support/rig.h"

using nlohmann::json;
namespace rb = tabulex::readback;
namespace fs = std::filesystem;
using clitest::ChildRun;
using clitest::temporaryFiles;
using clitest::waitUntil;

namespace {

std::string accessDriverMissing() {
  if (fs::exists(std::string(TABULEX_BINARY_DIR) + "/drivers/access/libtabulexaccess.so")) return {};
  return "the Access driver is not built (target tabulexaccess)";
}

std::string fileBytes(const fs::path& file) { return tabulex::test::readTextFile(file); }

class RunSafety : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!tabulex::test::rigAvailable()) return;
    config_ = new tabulex::test::PrivateOdbcConfig();
    // Two databases with the same table names and different rows, and one
    // large enough that a run can be caught in the middle of it.
    std::string sql = "SET sql_mode = '';";
    for (const char* database : {"safety_a", "safety_b"}) {
      sql += std::string("DROP DATABASE IF EXISTS ") + database + "; CREATE DATABASE " + database +
             " CHARACTER SET utf8mb4; USE " + database + ";";
      for (const char* table : {"items", "notes", "zz"})
        sql += std::string("CREATE TABLE ") + table + " (id INT PRIMARY KEY, owner VARCHAR(20));" +
               "INSERT INTO " + table + " VALUES (1, '" + database + "'), (2, '" + database + "');";
    }
    sql += "DROP DATABASE IF EXISTS safety_big; CREATE DATABASE safety_big; USE safety_big;"
           "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(40));"
           "SET SESSION max_recursive_iterations = 1000000;"
           "INSERT INTO big WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
           "SELECT i, CONCAT('value ', i) FROM n;"
           "CREATE TABLE later (id INT PRIMARY KEY); INSERT INTO later VALUES (1);";
    tabulex::test::rigSql(sql);
  }
  static void TearDownTestSuite() {
    delete config_;
    config_ = nullptr;
  }
  void SetUp() override {
    TABULEX_REQUIRE_RIG();
    for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing(),
                                       accessDriverMissing()})
      if (!missing.empty()) GTEST_SKIP() << missing;
    folder_ = config_->folder() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(folder_);
  }

  static std::vector<std::string> arguments(const std::string& database, const fs::path& output,
                                            std::vector<std::string> more = {}) {
    std::vector<std::string> all{"--database", database, "--user", tabulex::test::rigEnvironment()->user,
                                 "--output", output.string(), "--report", "json"};
    all.insert(all.end(), more.begin(), more.end());
    return all;
  }
  static rb::CommandResult convert(const std::vector<std::string>& arguments, std::string password = {}) {
    std::vector<std::string> argv{clitest::converter()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (password.empty()) password = tabulex::test::rigEnvironment()->password;
    return rb::runCommand(argv, {{"TABULEX_PASSWORD", password}});
  }
  static std::vector<std::pair<std::string, std::string>> passwordEnvironment() {
    return {{"TABULEX_PASSWORD", tabulex::test::rigEnvironment()->password}};
  }
  static std::vector<rb::ExpectedTable> ownRows(const std::string& database) {
    std::vector<rb::ExpectedTable> tables;
    for (const char* table : {"items", "notes", "zz"})
      tables.push_back({table, {"id", "owner"}, {json::array({1, database}), json::array({2, database})}, true});
    return tables;
  }

  fs::path folder_;
  static tabulex::test::PrivateOdbcConfig* config_;
};

tabulex::test::PrivateOdbcConfig* RunSafety::config_ = nullptr;

// Runs started together never read each other's database, never need the
// wizard's data sources (held here by a wizard's lock the whole time) and
// leave the user's odbc.ini as they found it.
TEST_F(RunSafety, RunsSideBySideEachHoldExactlyTheirOwnRows) {
  DataSourceLock wizardRun;
  std::vector<std::unique_ptr<ChildRun>> runs;
  for (int i = 0; i < 6; ++i) {
    std::string database = i % 2 ? "safety_b" : "safety_a";
    runs.push_back(std::make_unique<ChildRun>(arguments(database, folder_ / ("run" + std::to_string(i))),
                                              folder_ / ("log" + std::to_string(i)), passwordEnvironment()));
  }
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE("run " + std::to_string(i));
    ASSERT_EQ(runs[i]->wait(), 0) << runs[i]->out() << runs[i]->err();
    EXPECT_TRUE(rb::fileMatches((folder_ / ("run" + std::to_string(i) + ".mdb")).string(),
                                ownRows(i % 2 ? "safety_b" : "safety_a")));
  }
  EXPECT_EQ(tabulex::test::readTextFile(config_->userIni()), "");
  EXPECT_TRUE(temporaryFiles(folder_).empty());
}

// The old file stays until the new one is complete: a run that cannot
// start, or that finds the file in another program's hands, leaves it as it
// was. A folder or a link where the file should be is never replaced.
TEST_F(RunSafety, ReplacingKeepsTheOldFileUntilTheNewOneIsComplete) {
  const fs::path output = folder_ / "kept.mdb";
  ASSERT_EQ(convert(arguments("safety_a", output)).status, 0);
  const std::string before = fileBytes(output);

  rb::CommandResult wrongPassword = convert(arguments("safety_b", output, {"--overwrite"}), "wrong");
  EXPECT_EQ(wrongPassword.status, 2) << wrongPassword.err;
  rb::CommandResult unknownTable = convert(arguments("safety_b", output, {"--overwrite", "--tables", "nope"}));
  EXPECT_EQ(unknownTable.status, 2) << unknownTable.err;
  EXPECT_EQ(fileBytes(output), before);

  {
    // What a second connection of the Access driver takes.
    int fd = ::open(output.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);
    rb::CommandResult inUse = convert(arguments("safety_b", output, {"--overwrite"}));
    ::close(fd);
    EXPECT_EQ(inUse.status, 2);
    EXPECT_NE(inUse.err.find("The file '" + output.string() + "' is already in use by another program."),
              std::string::npos) << inUse.err;
  }
  EXPECT_EQ(fileBytes(output), before);
  EXPECT_TRUE(rb::fileMatches(output.string(), ownRows("safety_a")));

  rb::CommandResult replaced = convert(arguments("safety_b", output, {"--overwrite"}));
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_TRUE(rb::fileMatches(output.string(), ownRows("safety_b")));

  fs::create_directories(folder_ / "folder.mdb" / "inside");
  rb::CommandResult folder = convert(arguments("safety_a", folder_ / "folder", {"--overwrite"}));
  EXPECT_EQ(folder.status, 2);
  EXPECT_NE(folder.err.find("not a regular file"), std::string::npos) << folder.err;
  EXPECT_TRUE(fs::is_directory(folder_ / "folder.mdb" / "inside"));
  fs::create_symlink(output, folder_ / "link.mdb");
  EXPECT_EQ(convert(arguments("safety_a", folder_ / "link.mdb", {"--overwrite"})).status, 2);
  EXPECT_TRUE(fs::is_symlink(folder_ / "link.mdb"));
  EXPECT_TRUE(temporaryFiles(folder_).empty());
}

// The path given is the path used: a trailing blank is part of the name, a
// long path works, and what the driver cannot be given is refused first.
TEST_F(RunSafety, PathsAreUsedByteForByteAndRefusedWhenTheyCannotBe) {
  const fs::path precious = folder_ / "precious.mdb";
  ASSERT_EQ(convert(arguments("safety_a", precious)).status, 0);
  const std::string before = fileBytes(precious);
  rb::CommandResult blank = convert(arguments("safety_b", folder_ / "precious "));
  ASSERT_EQ(blank.status, 0) << blank.err;
  EXPECT_EQ(fileBytes(precious), before);
  EXPECT_TRUE(rb::fileMatches((folder_ / "precious .mdb").string(), ownRows("safety_b")));

  fs::path deep = folder_;
  while (deep.string().size() < 230) deep /= "a_rather_long_folder_name";
  fs::create_directories(deep);
  const fs::path longPath = deep / (std::string(250 - deep.string().size(), 'n') + ".mdb");
  ASSERT_GE(longPath.string().size(), 250u);
  rb::CommandResult longRun = convert(arguments("safety_a", longPath));
  ASSERT_EQ(longRun.status, 0) << longRun.out << longRun.err;
  EXPECT_TRUE(rb::fileMatches(longPath.string(), ownRows("safety_a")));

  // A file name as long as the system allows still gets a temporary name.
  const fs::path longName = folder_ / (std::string(251, 'm') + ".mdb");
  rb::CommandResult longNameRun = convert(arguments("safety_b", longName, {"--tables", "zz"}));
  ASSERT_EQ(longNameRun.status, 0) << longNameRun.err;

  const std::vector<std::pair<fs::path, std::string>> refused = {
      {folder_ / "quo\"te", "double quote"},
      {folder_.string() + "/", "names a folder"},
      {folder_ / ".mdb", "names a folder"},
      {folder_ / "line\nbreak", "control character"},
  };
  for (const auto& [path, why] : refused) {
    rb::CommandResult result = convert(arguments("safety_a", path));
    EXPECT_EQ(result.status, 2) << path;
    EXPECT_NE(result.err.find(why), std::string::npos) << result.err;
  }
  EXPECT_FALSE(fs::exists(folder_ / ".mdb"));

  // A password file must be a readable file: no empty password is tried.
  fs::create_directories(folder_ / "secret");
  rb::CommandResult passwordFolder = convert(arguments("safety_a", folder_ / "p1", {"--password-file",
                                                                                    (folder_ / "secret").string()}));
  EXPECT_EQ(passwordFolder.status, 2);
  EXPECT_NE(passwordFolder.err.find("is a folder"), std::string::npos) << passwordFolder.err;
  rb::CommandResult passwordMissing = convert(arguments("safety_a", folder_ / "p2", {"--password-file",
                                                                                     (folder_ / "none").string()}));
  EXPECT_EQ(passwordMissing.status, 2);
  EXPECT_NE(passwordMissing.err.find("cannot read the password file"), std::string::npos) << passwordMissing.err;

  rb::CommandResult spaced = convert(arguments("safety_a", folder_ / "spaced", {"--tables", "zz , items"}));
  ASSERT_EQ(spaced.status, 0) << spaced.err;
  EXPECT_EQ(json::parse(spaced.out)["tables"].size(), 2u);
  EXPECT_TRUE(temporaryFiles(folder_).empty());
}

// A killed run leaves the destination as it was, and the next run beside it
// clears what the killed one left.
TEST_F(RunSafety, AKilledRunLeavesTheDestinationUntouched) {
  const fs::path output = folder_ / "target.mdb";
  ASSERT_EQ(convert(arguments("safety_a", output)).status, 0);
  const std::string before = fileBytes(output);
  {
    ChildRun run(arguments("safety_big", output, {"--overwrite", "--tables", "big", "--connect-per-row"}), folder_ / "killed",
                 passwordEnvironment());
    ASSERT_TRUE(waitUntil([&] { return clitest::aTemporaryFileHasGrown(folder_, 200 * 1024); },
                          std::chrono::seconds(60)));
    run.signal(SIGKILL);
    EXPECT_EQ(run.wait(), -SIGKILL);
  }
  EXPECT_EQ(fileBytes(output), before);
  ASSERT_FALSE(temporaryFiles(folder_).empty());

  ASSERT_EQ(convert(arguments("safety_b", folder_ / "other", {"--tables", "zz"})).status, 0);
  EXPECT_TRUE(temporaryFiles(folder_).empty());
  EXPECT_EQ(fileBytes(output), before);
}

// Ctrl-C or SIGTERM stops after the current row: the file takes its name
// with what was done, closed properly, and the report says so.
TEST_F(RunSafety, AnInterruptedRunEndsWithAValidFileAndSaysSo) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
    const fs::path output = folder_ / ("stopped" + std::to_string(signal) + ".mdb");
    ChildRun run(arguments("safety_big", output, {"--tables", "big,later", "--connect-per-row"}), folder_ / "stopped",
                 passwordEnvironment());
    ASSERT_TRUE(waitUntil([&] { return clitest::aTemporaryFileHasGrown(folder_, 200 * 1024); },
                          std::chrono::seconds(60)));
    run.signal(signal);
    ASSERT_EQ(run.wait(), 128 + signal) << run.err();
    json report = json::parse(run.out());
    EXPECT_EQ(report["interrupted"], true);
    ASSERT_EQ(report["tables"].size(), 1u) << "the table not begun is left out";
    const json& big = report["tables"][0];
    EXPECT_EQ(big["status"], "failed");
    EXPECT_NE(big["message"].get<std::string>().find("interrupted"), std::string::npos);
    const long written = big["rows_written"];
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 20000);
    EXPECT_FALSE(fs::exists(output.string() + "-journal"));
    EXPECT_TRUE(rb::jetcheckProblems(output.string()).empty());
    EXPECT_EQ(rb::mdbCount(output.string(), "big"), written);
    EXPECT_TRUE(temporaryFiles(folder_).empty());
  }
}

// A database name that would plant settings in odbc.ini, or that the driver
// would change into another's by dropping a blank, is refused, naming it.
TEST_F(RunSafety, HostileDatabaseNamesAreRefusedOrCarriedExactly) {
  tabulex::test::rigSql(
      "DROP DATABASE IF EXISTS `d\nINITSTMT=create database safety_planted`;"
      "DROP DATABASE IF EXISTS safety_planted;"
      "CREATE DATABASE `d\nINITSTMT=create database safety_planted`;"
      "CREATE TABLE `d\nINITSTMT=create database safety_planted`.t (id INT);"
      "DROP DATABASE IF EXISTS ` safety_a`; CREATE DATABASE ` safety_a`;"
      "CREATE TABLE ` safety_a`.items (id INT PRIMARY KEY, owner VARCHAR(20));"
      "INSERT INTO ` safety_a`.items VALUES (7, 'blank');");
  rb::CommandResult planted = convert(arguments("d\nINITSTMT=create database safety_planted", folder_ / "planted"));
  EXPECT_EQ(planted.status, 2);
  EXPECT_NE(planted.err.find("d\\nINITSTMT=create database safety_planted"), std::string::npos) << planted.err;
  EXPECT_EQ(tabulex::test::rigSql("SHOW DATABASES LIKE 'safety_planted'"), "");
  EXPECT_EQ(tabulex::test::readTextFile(config_->userIni()), "");
  EXPECT_FALSE(fs::exists(folder_ / "planted.mdb"));

  // The MySQL driver trims the name and would read safety_a.
  rb::CommandResult blank = convert(arguments(" safety_a", folder_ / "blank", {"--tables", "items"}));
  EXPECT_EQ(blank.status, 2);
  EXPECT_NE(blank.err.find("\" safety_a\" begins or ends with a blank"), std::string::npos) << blank.err;
  EXPECT_FALSE(fs::exists(folder_ / "blank.mdb"));
  tabulex::test::rigSql("DROP DATABASE ` safety_a`; DROP DATABASE `d\nINITSTMT=create database safety_planted`;");
}

}  // namespace
