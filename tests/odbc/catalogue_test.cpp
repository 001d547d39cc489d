// Listing the server's databases and a database's tables, logged in as
// accounts other than root.
#include <gtest/gtest.h>

#include <algorithm>

#include "odbc/data_source_registration.h"
#include "odbc/source_catalogue.h"
#include "support/rig.h"

using tabulex::test::PrivateOdbcConfig;
using tabulex::test::readTextFile;
using tabulex::test::rigEnvironment;
using tabulex::test::rigSql;

namespace {

// Longer than any fixed credential buffer would hold, with characters a
// connect string must escape.
const std::string kLongLogin = "catalogue_reader_with_a_long_login";
const std::string kLongPassword = std::string(150, 'p') + "};=x";

class Recorder : public CatalogueUi {
public:
  void showMessage(const std::string& text) override { events.push_back("message:" + text); }
  void showDriverProblem() override { events.push_back("driver problem"); }
  void addDatabaseName(const std::string& name) override { names.push_back(name); }
  void disableRefresh() override { events.push_back("refresh disabled"); }
  std::vector<std::string> events;
  std::vector<std::string> names;
};

class Catalogue : public testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!tabulex::test::rigAvailable()) return;
    odbc = new PrivateOdbcConfig();
    rigSql(
        "DROP DATABASE IF EXISTS cat_a; DROP DATABASE IF EXISTS cat_b;"
        "CREATE DATABASE cat_a; CREATE DATABASE cat_b;"
        "CREATE TABLE cat_a.t1 (id INT); CREATE TABLE cat_a.`Two Words` (id INT);"
        "CREATE VIEW cat_a.v1 AS SELECT id FROM cat_a.t1;"
        "CREATE TABLE cat_b.other (id INT);"
        "DROP USER IF EXISTS '" + kLongLogin + "'@'localhost';"
        "CREATE USER '" + kLongLogin + "'@'localhost' IDENTIFIED BY '" + kLongPassword + "';"
        "GRANT SELECT ON cat_a.* TO '" + kLongLogin + "'@'localhost';");
  }
  static void TearDownTestSuite() {
    delete odbc;
    odbc = nullptr;
  }
  void SetUp() override { TABULEX_REQUIRE_RIG(); }

  static std::vector<std::string> tables(const std::string& database, const std::string& login,
                                         const std::string& password) {
    ConversionSettings settings{database, login, password, "", {}};
    std::vector<std::string> names;
    ListTables(settings, [&](const std::string& name) { names.push_back(name); });
    std::sort(names.begin(), names.end());
    return names;
  }

  static PrivateOdbcConfig* odbc;
};
PrivateOdbcConfig* Catalogue::odbc = nullptr;

TEST_F(Catalogue, MissingOrWrongCredentials) {
  conversionSettings() = ConversionSettings{"keep", "old", "old", "", {}};
  for (auto [login, password] : {std::pair{"", "x"}, std::pair{"x", ""}}) {
    Recorder ui;
    EXPECT_EQ(ListDatabases(login, password, ui), ListDatabasesOutcome::rejected);
    EXPECT_EQ(ui.events, std::vector<std::string>{"message:Login Name or Password Missmatch"});
    EXPECT_EQ(conversionSettings().loginName, "old");
  }

  auto rig = rigEnvironment();
  Recorder ui;
  EXPECT_EQ(ListDatabases(rig->user, "wrong", ui), ListDatabasesOutcome::refused);
  EXPECT_EQ(ui.events, std::vector<std::string>{"driver problem"});
  EXPECT_TRUE(ui.names.empty());
  EXPECT_EQ(conversionSettings().loginName, rig->user);
  EXPECT_EQ(conversionSettings().password, "wrong");
  EXPECT_EQ(conversionSettings().databaseName, "keep");
}

TEST_F(Catalogue, ListsEveryDatabaseOnceUnderTheUsersLogin) {
  auto rig = rigEnvironment();
  Recorder ui;
  ASSERT_EQ(ListDatabases(rig->user, rig->password, ui), ListDatabasesOutcome::listed);
  EXPECT_EQ(ui.events, std::vector<std::string>{"refresh disabled"});
  for (const char* name : {"information_schema", "mysql", "cat_a", "cat_b"})
    EXPECT_EQ(std::count(ui.names.begin(), ui.names.end(), name), 1) << name;

  // No credentials are stored in the data source.
  std::string ini = readTextFile(odbc->userIni());
  EXPECT_NE(ini.find("[refDB]"), std::string::npos);
  EXPECT_EQ(ini.find("UID"), std::string::npos);
  EXPECT_EQ(ini.find("PWD"), std::string::npos);
  EXPECT_EQ(ini.find(rig->password), std::string::npos);

  // An account that may see one database sees only that one: the names are
  // read under the login typed, not any account of the data source's.
  Recorder limited;
  ASSERT_EQ(ListDatabases(kLongLogin, kLongPassword, limited), ListDatabasesOutcome::listed);
  std::sort(limited.names.begin(), limited.names.end());
  EXPECT_EQ(limited.names, (std::vector<std::string>{"cat_a", "information_schema"}));
  EXPECT_EQ(conversionSettings().password, kLongPassword);
}

TEST_F(Catalogue, ListsOnlyTheChosenDatabasesBaseTables) {
  auto rig = rigEnvironment();
  EXPECT_EQ(tables("cat_a", rig->user, rig->password), (std::vector<std::string>{"Two Words", "t1"}));
  // Re-pointing the data source at another database within one process.
  EXPECT_EQ(tables("cat_b", rig->user, rig->password), std::vector<std::string>{"other"});
  EXPECT_EQ(tables("cat_a", kLongLogin, kLongPassword), (std::vector<std::string>{"Two Words", "t1"}));
  EXPECT_TRUE(tables("cat_a", rig->user, "wrong").empty());
  EXPECT_NE(readTextFile(odbc->userIni()).find("DATABASE=cat_a"), std::string::npos);
}

}  // namespace

namespace {

// The server typed on the connection page is the one listed and read, never
// the local default: the driver's own default port is made useless here.
TEST_F(Catalogue, ReachesTheServerNamedInTheSettings) {
  auto rig = rigEnvironment();
  setenv("MYSQL_TCP_PORT", "1", 1);
  const MySqlServer before = conversionSettings().server;

  conversionSettings().server = *parseServerName(" 127.0.0.1:" + std::to_string(rig->port) + " ");
  Recorder ui;
  ASSERT_EQ(ListDatabases(rig->user, rig->password, ui), ListDatabasesOutcome::listed) << ui.events.front();
  EXPECT_EQ(std::count(ui.names.begin(), ui.names.end(), "cat_a"), 1);
  EXPECT_NE(readTextFile(odbc->userIni()).find("SERVER=127.0.0.1\nPORT=" + std::to_string(rig->port) + "\n"),
            std::string::npos);

  ConversionSettings settings{"cat_b", rig->user, rig->password, "", conversionSettings().server};
  std::vector<std::string> names;
  ListTables(settings, [&](const std::string& name) { names.push_back(name); });
  EXPECT_EQ(names, std::vector<std::string>{"other"});

  // A server nobody listens on is refused, not replaced by another.
  conversionSettings().server = *parseServerName("127.0.0.1:" + std::to_string(rig->port == 1 ? 2 : 1));
  Recorder refused;
  EXPECT_EQ(ListDatabases(rig->user, rig->password, refused), ListDatabasesOutcome::refused);
  EXPECT_TRUE(refused.names.empty());
  settings.server = conversionSettings().server;
  names.clear();
  ListTables(settings, [&](const std::string& name) { names.push_back(name); });
  EXPECT_TRUE(names.empty());

  conversionSettings().server = before;
}

}  // namespace
