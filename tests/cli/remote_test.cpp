// tabulex-convert reaching a server by address, through an encrypted
// connection that verifies the server's certificate, and through a data
// source the user already has. The driver's own default port is made useless
// in every run here, so only what the options name can reach the rig.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/readback.h"
#include "support/rig.h"

namespace rb = tabulex::readback;
namespace fs = std::filesystem;

namespace {

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class Remote : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!tabulex::test::rigAvailable()) return;
    config_ = new tabulex::test::PrivateOdbcConfig();
    // An account the server lets in only over TLS: its success proves the
    // connection was encrypted.
    tabulex::test::rigSql("DROP DATABASE IF EXISTS " + database() + "; CREATE DATABASE " + database() + ";" +
                          "CREATE TABLE " + database() + ".items (id INT PRIMARY KEY, name VARCHAR(20));" +
                          "INSERT INTO " + database() + ".items VALUES (1, 'one'), (2, 'two'), (3, NULL);" +
                          "DROP USER IF EXISTS '" + login() + "'@'%';" + "CREATE USER '" + login() +
                          "'@'%' IDENTIFIED BY 'tls-only' REQUIRE SSL;" + "GRANT ALL ON " + database() +
                          ".* TO '" + login() + "'@'%';");
  }
  static void TearDownTestSuite() {
    if (config_ == nullptr) return;
    try {
      tabulex::test::rigSql("DROP DATABASE IF EXISTS " + database() + "; DROP USER IF EXISTS '" + login() + "'@'%';");
    } catch (...) {
    }
    delete config_;
    config_ = nullptr;
  }
  void SetUp() override {
    TABULEX_REQUIRE_RIG();
    for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing()})
      if (!missing.empty()) GTEST_SKIP() << missing;
  }

  static std::string database() { return "remote_" + std::to_string(getpid()); }
  static std::string login() { return "tls_" + std::to_string(getpid()); }
  static std::string port() { return std::to_string(tabulex::test::rigEnvironment()->port); }

  // Converts the test database as the TLS-only account; the file is fresh.
  rb::CommandResult convert(const std::string& name, std::vector<std::string> arguments) {
    output_ = (config_->folder() / name).string() + ".mdb";
    std::vector<std::string> argv{std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert", "--database",
                                  database(), "--user", login(), "--output", output_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return rb::runCommand(argv, {{"TABULEX_PASSWORD", "tls-only"}, {"MYSQL_TCP_PORT", "1"}});
  }

  void expectConverted(const rb::CommandResult& result) {
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_TRUE(rb::jetcheckProblems(output_).empty());
    using nlohmann::json;
    rb::ExpectedTable items{"items",
                            {"id", "name"},
                            {json::array({1, "one"}), json::array({2, "two"}), json::array({3, nullptr})}};
    EXPECT_TRUE(rb::fileMatches(output_, {items}));
  }

  void expectRefused(const rb::CommandResult& result, const std::string& why) {
    EXPECT_EQ(result.status, 2) << result.out << result.err;
    EXPECT_NE(result.err.find(why), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(output_));
  }

  static std::string tlsMissing() {
    return variable("TABULEX_MYSQL_TLS_CA").empty() ? "the rig offers no TLS (scripts/rig start ... --tls)" : "";
  }

  static tabulex::test::PrivateOdbcConfig* config_;
  std::string output_;
};

tabulex::test::PrivateOdbcConfig* Remote::config_ = nullptr;

TEST_F(Remote, TlsWithTheServersAuthorityConvertsAndAnyOtherIsRefused) {
  if (!tlsMissing().empty()) GTEST_SKIP() << tlsMissing();
  const std::string ca = variable("TABULEX_MYSQL_TLS_CA");
  expectConverted(convert("verified", {"--host", "127.0.0.1", "--port", port(), "--ssl", "--ssl-ca", ca}));
  // "localhost:port" is a TCP connection too, and the certificate names it.
  expectConverted(convert("named", {"--host", "localhost:" + port(), "--ssl-ca", ca}));

  // A certificate another authority vouches for, or none the system knows.
  expectRefused(convert("other", {"--host", "127.0.0.1", "--port", port(), "--ssl", "--ssl-ca",
                                  variable("TABULEX_MYSQL_TLS_OTHER_CA")}),
                "certificate");
  expectRefused(convert("system", {"--host", "127.0.0.1", "--port", port(), "--ssl"}), "certificate");
  // Without encryption the account is not let in at all.
  expectRefused(convert("plain", {"--host", "127.0.0.1", "--port", port()}), "cannot connect");
}

TEST_F(Remote, AUsersDataSourceBringsItsServerAndTls) {
  if (!tlsMissing().empty()) GTEST_SKIP() << tlsMissing();
  std::ofstream(config_->userIni(), std::ios::app)
      << "[office]\nDriver=MySQL ODBC 3.51 Driver\nSERVER=127.0.0.1\nPORT=" << port()
      << "\nFORCETLS=1\nSSLVERIFY=1\nSSLCA=" << variable("TABULEX_MYSQL_TLS_CA") << "\nDATABASE=mysql\n";
  expectConverted(convert("office", {"--source-dsn", "office"}));
  EXPECT_EQ(tabulex::test::readTextFile(config_->userIni()).find("tls-only"), std::string::npos);
  expectRefused(convert("absent", {"--source-dsn", "nowhere"}), "no ODBC data source is named nowhere");
}

}  // namespace
