// Data-source registration: the exact attribute lists, and what reaches
// odbc.ini through the installer and the MySQL setup library.
#include <gtest/gtest.h>

#include <odbcinst.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

#include "odbc/data_source_lock.h"
#include "odbc/data_source_registration.h"
#include "support/rig.h"

using tabulex::test::PrivateOdbcConfig;
using tabulex::test::readTextFile;

namespace {

using namespace std::string_literals;

// Both drivers' Setup= point at our setup library, so that what the Access
// operations hand the installer lands in odbc.ini where it can be read.
PrivateOdbcConfig& config() {
  static PrivateOdbcConfig instance;
  static const bool rewritten = [] {
    std::string drivers = readTextFile(instance.driverIni());
    drivers = std::regex_replace(drivers, std::regex("Setup=.*"), "Setup=" TABULEX_MYSQL_SETUP_LIBRARY);
    std::ofstream(instance.driverIni()) << drivers;
    return true;
  }();
  (void)rewritten;
  return instance;
}

// The [name] section of an ini file, keys and values as written.
std::string section(const std::string& ini, const std::string& name) {
  size_t start = ini.find("[" + name + "]");
  if (start == std::string::npos) return "<absent>";
  size_t end = ini.find("\n[", start + 1);
  std::string text = ini.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

class Recorder : public RegistrationUi {
public:
  void showMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

TEST(AttributeLists, AreExactBytes) {
  EXPECT_EQ(*mySqlAttributeList("shop", "dsnms"), "DSN=dsnms\0SERVER=localhost\0DATABASE=shop\0\0"s);
  EXPECT_EQ(*accessAttributeList("/tmp/out dir/shop", "dsna", ""),
            "DSN=dsna \0DESCRIPTION= \0DBQ=/tmp/out dir/shop\0\0"s);
  EXPECT_EQ(*createDatabaseAttributeList("/tmp/out dir/shop"), "CREATE_DB=\"/tmp/out dir/shop\"\0\0"s);
  // No credentials in a data source, whatever the user typed.
  EXPECT_EQ(mySqlAttributeList("information_schema", "refDB")->find("UID"), std::string::npos);
  EXPECT_EQ(mySqlAttributeList("information_schema", "refDB")->find("PWD"), std::string::npos);
}

TEST(AttributeLists, NameTheServerItsPortAndTls) {
  MySqlServer server;
  server.host = "db.example.org";
  server.port = 3307;
  EXPECT_EQ(*mySqlAttributeList("shop", "dsnms", server),
            "DSN=dsnms\0SERVER=db.example.org\0PORT=3307\0DATABASE=shop\0\0"s);
  server.requireTls = true;
  server.certificateAuthority = "certs/ca.pem";
  EXPECT_EQ(*mySqlAttributeList("shop", "dsnms", server),
            "DSN=dsnms\0SERVER=db.example.org\0PORT=3307\0FORCETLS=1\0SSLVERIFY=1\0SSLCA=certs/ca.pem\0"
            "DATABASE=shop\0\0"s);
  // A data source that does not exist names no server at all.
  server.dataSource = "no such data source";
  EXPECT_FALSE(mySqlAttributeList("shop", "dsnms", server));
}

TEST(AttributeLists, AnyLengthIsCarriedWholeAndWhatCannotComeBackExactlyIsRefused) {
  // As long as a path may be: no buffer cuts or refuses a list.
  const std::string longPath = "/" + std::string(4000, 'p');
  EXPECT_EQ(*createDatabaseAttributeList(longPath), "CREATE_DB=\"" + longPath + "\"\0\0"s);
  EXPECT_EQ(*accessAttributeList(longPath, "dsna", ""), "DSN=dsna \0DESCRIPTION= \0DBQ="s + longPath + "\0\0"s);
  EXPECT_EQ(mySqlAttributeList(std::string(300, 'd'), "x")->size(), 334u);
  // A line break would add a line, and a setting, of its own; a NUL would
  // end the entry; the installer trims blanks at the ends; the driver reads
  // the create path up to the next quote.
  for (const std::string& database : {"d\nINITSTMT=create database x"s, "a\0b"s, "tab\there"s, " shop"s, "shop "s})
    EXPECT_FALSE(mySqlAttributeList(database, "x")) << database;
  EXPECT_FALSE(accessAttributeList("/tmp/a\rb", "dsna", ""));
  EXPECT_FALSE(createDatabaseAttributeList("/tmp/quo\"te"));
  EXPECT_FALSE(createDatabaseAttributeList("/tmp/precious "));
  EXPECT_FALSE(AddMySqlDataSource("d\nINITSTMT=x", "toolong", ""));
}

TEST(MySqlDataSource, ANameThatWouldPlantSettingsLeavesOdbcIniAsItWas) {
  TABULEX_REQUIRE_RIG();
  PrivateOdbcConfig& odbc = config();
  ASSERT_TRUE(AddMySqlDataSource("first_db", "planted", ""));
  const std::string before = readTextFile(odbc.userIni());
  EXPECT_FALSE(AddMySqlDataSource("d\nINITSTMT=create database x", "planted", ""));
  EXPECT_FALSE(AddMySqlDataSource(" first_db", "planted", ""));
  // The setup library refuses such a list from any caller.
  EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kMySqlDriverName,
                                   "DSN=planted\0DATABASE=d\nINITSTMT=create database x\0\0"));
  EXPECT_EQ(readTextFile(odbc.userIni()), before);
  EXPECT_EQ(readTextFile(odbc.userIni()).find("INITSTMT"), std::string::npos);
  EXPECT_TRUE(RemoveMySqlDataSource("first_db", "planted", ""));
}

// The lock beside the user's odbc.ini: a second holder waits, says so once,
// and goes ahead when the first lets go.
TEST(DataSourceLock, ASecondRunWaitsAndSaysSo) {
  TABULEX_REQUIRE_RIG();
  config();
  EXPECT_EQ(dataSourceLockPath(), std::string(std::getenv("ODBCINI")) + ".lock");
  auto first = std::make_unique<DataSourceLock>();
  std::atomic<int> waited{0};
  std::atomic<bool> acquired{false};
  std::thread second([&] {
    DataSourceLock lock([&] { ++waited; });
    acquired = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(acquired);
  first.reset();
  second.join();
  EXPECT_TRUE(acquired);
  EXPECT_EQ(waited, 1);
  int said = 0;
  { DataSourceLock free([&] { ++said; }); }
  EXPECT_EQ(said, 0);
}

TEST(MySqlDataSource, RoundTripThroughTheInstaller) {
  TABULEX_REQUIRE_RIG();
  PrivateOdbcConfig& odbc = config();
  ASSERT_TRUE(AddMySqlDataSource("first_db", "dsnms", "ignored")) << readTextFile(odbc.userIni());
  ASSERT_TRUE(AddMySqlDataSource("second_db", "dsnms", ""));
  // Re-adding replaces the section whole; nothing lands in the system file.
  EXPECT_EQ(section(readTextFile(odbc.userIni()), "dsnms"),
            "[dsnms]\nDriver=MySQL ODBC 3.51 Driver\nSERVER=localhost\nDATABASE=second_db");
  EXPECT_EQ(readTextFile(odbc.systemIni()), "");

  ASSERT_TRUE(AddMySqlDataSource("information_schema", "refDB", ""));
  EXPECT_TRUE(RemoveMySqlDataSource("second_db", "dsnms", ""));
  std::string ini = readTextFile(odbc.userIni());
  EXPECT_EQ(section(ini, "dsnms"), "<absent>");
  EXPECT_NE(section(ini, "refDB"), "<absent>");
  // Removing a name that is not registered fails quietly.
  EXPECT_FALSE(RemoveMySqlDataSource("second_db", "dsnms", ""));
  EXPECT_FALSE(RemoveMySqlDataSource("shop", "dsns", ""));
  EXPECT_TRUE(RemoveMySqlDataSource("information_schema", "refDB", ""));
}

// A user's own data source lends its server and options, never its login,
// password or database; the TLS options asked for come on top.
TEST(MySqlDataSource, TakesTheServerOfTheUsersDataSource) {
  TABULEX_REQUIRE_RIG();
  PrivateOdbcConfig& odbc = config();
  std::ofstream(odbc.systemIni()) << "[office]\nDriver=MariaDB\nDescription=the office server\nSERVER=db.office\n"
                                     "PORT=3310\nSSLCA=/etc/office-ca.pem\nUID=anna\nPASSWORD=secret\n"
                                     "DATABASE=crm\nCHARSET=utf8mb4\n";
  MySqlServer server;
  server.dataSource = "office";
  server.requireTls = true;
  EXPECT_TRUE(dataSourceExists("office"));
  EXPECT_FALSE(dataSourceExists("offic"));
  ASSERT_TRUE(AddMySqlDataSource("shop", "dsnms", "", server));
  EXPECT_EQ(section(readTextFile(odbc.userIni()), "dsnms"),
            "[dsnms]\nDriver=MySQL ODBC 3.51 Driver\nSERVER=db.office\nPORT=3310\nSSLCA=/etc/office-ca.pem\n"
            "CHARSET=utf8mb4\nFORCETLS=1\nSSLVERIFY=1\nDATABASE=shop");
  EXPECT_TRUE(RemoveMySqlDataSource("shop", "dsnms", ""));
  std::ofstream(odbc.systemIni()).flush();
}

TEST(MySqlSetup, TrimsBlanksAndRefusesMalformedLists) {
  TABULEX_REQUIRE_RIG();
  PrivateOdbcConfig& odbc = config();
  ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kMySqlDriverName,
                                  "DSN = blanks \0 SERVER =  localhost \0DATABASE= shop\0\0"));
  EXPECT_EQ(section(readTextFile(odbc.userIni()), "blanks"),
            "[blanks]\nDriver=MySQL ODBC 3.51 Driver\nSERVER=localhost\nDATABASE=shop");
  EXPECT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_DSN, kMySqlDriverName, "DSN=blanks \0\0"));
  EXPECT_EQ(readTextFile(odbc.userIni()).find("blanks"), std::string::npos);

  EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kMySqlDriverName, "DSN=x\0SERVER\0\0"));
  EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kMySqlDriverName, "SERVER=localhost\0\0"));
  EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kMySqlDriverName, "=x\0DSN=y\0\0"));
  EXPECT_EQ(readTextFile(odbc.userIni()).find("[x]"), std::string::npos);
}

TEST(AccessDataSource, RegistersAndRemovesAUserDataSource) {
  TABULEX_REQUIRE_RIG();
  PrivateOdbcConfig& odbc = config();
  Recorder ui;
  setRegistrationUi(&ui);
  ASSERT_TRUE(AddAccessDataSource("/tmp/out dir/shop", "dsna", ""));
  EXPECT_EQ(section(readTextFile(odbc.userIni()), "dsna"),
            "[dsna]\nDriver=Microsoft Access Driver (*.mdb)\nDESCRIPTION=\nDBQ=/tmp/out dir/shop");
  EXPECT_TRUE(RemoveAccessDataSource("/tmp/out dir/shop", "dsna", ""));
  EXPECT_EQ(section(readTextFile(odbc.userIni()), "dsna"), "<absent>");

  // A failed registration tells the user.
  EXPECT_FALSE(AddAccessDataSource("/tmp/shop", "bad[name", ""));
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Failed to add Data Source\nBe sure you are logged on as an Administrator"});
  setRegistrationUi(nullptr);
}

TEST(AccessDataSource, ASystemDataSourceOfTheNameIsLeftAlone) {
  TABULEX_REQUIRE_RIG();
  PrivateOdbcConfig& odbc = config();
  ASSERT_TRUE(AddAccessDataSource("/tmp/mine", "sysdsn", ""));
  std::ofstream(odbc.systemIni()) << "[sysdsn]\nDriver=Microsoft Access Driver (*.mdb)\nDBQ=/tmp/system\n";
  // The user's own registration of the name is removed, and nothing is added.
  Recorder ui;
  setRegistrationUi(&ui);
  EXPECT_FALSE(AddAccessDataSource("/tmp/mine", "sysdsn", ""));
  setRegistrationUi(nullptr);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(section(readTextFile(odbc.userIni()), "sysdsn"), "<absent>");
  EXPECT_NE(section(readTextFile(odbc.systemIni()), "sysdsn"), "<absent>");
}

}  // namespace
