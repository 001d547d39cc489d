// The whole wizard against the rig's MariaDB server and the real drivers:
// typed login, Refresh, a database picked, tables moved, Convert, and the
// .mdb file read back by mdbtools.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QMessageBox>
#include <QTest>
#include <algorithm>
#include <unistd.h>

#include "support/readback.h"
#include "support/rig.h"
#include "support/ui_harness.h"
#include "ui/backend.h"
#include "ui/wizard_page.h"

using uitest::click;
using uitest::modal;
using uitest::Script;

namespace {

// Names and credentials longer than any fixed buffer of the listing code.
struct Fixture {
  std::string database = "uiwiz_" + std::to_string(getpid());
  std::string other = "uiwiz_other_" + std::to_string(getpid());
  std::string login = "ui_login_longer_than_twenty_" + std::to_string(getpid() % 1000);
  std::string password = std::string(60, 'p') + "}{;=" + std::string(60, 'q');

  Fixture() {
    tabulex::test::rigSql(
        "DROP DATABASE IF EXISTS " + database + "; DROP DATABASE IF EXISTS " + other + ";" +
        "CREATE DATABASE " + database + "; CREATE DATABASE " + other + ";" +
        "CREATE TABLE " + database + ".customers (id INT PRIMARY KEY, name VARCHAR(40), born DATE);" +
        "INSERT INTO " + database + ".customers VALUES (1,'Anna','1980-02-03'),(2,'Ben O''Neil',NULL),(3,NULL,'2001-12-31');" +
        "CREATE TABLE " + database + ".Orders (id INT, amount DECIMAL(10,2));" +
        "INSERT INTO " + database + ".Orders VALUES (10, 12.50), (11, 0.99);" +
        "CREATE VIEW " + database + ".named AS SELECT name FROM " + database + ".customers;" +
        "CREATE TABLE " + other + ".elsewhere (id INT);" +
        "DROP USER IF EXISTS '" + login + "'@'localhost'; DROP USER IF EXISTS '" + login + "'@'127.0.0.1';" +
        "CREATE USER '" + login + "'@'localhost' IDENTIFIED BY '" + password + "';" +
        "CREATE USER '" + login + "'@'127.0.0.1' IDENTIFIED BY '" + password + "';" +
        "GRANT ALL ON *.* TO '" + login + "'@'localhost'; GRANT ALL ON *.* TO '" + login + "'@'127.0.0.1';");
  }
  ~Fixture() {
    try {
      tabulex::test::rigSql("DROP DATABASE IF EXISTS " + database + "; DROP DATABASE IF EXISTS " + other +
                            "; DROP USER IF EXISTS '" + login + "'@'localhost'; DROP USER IF EXISTS '" + login +
                            "'@'127.0.0.1';");
    } catch (...) {
    }
  }
};

TEST(WizardOnTheRig, ConvertsTheChosenTablesOfTheChosenDatabase) {
  TABULEX_REQUIRE_RIG();
  if (!ui::conversionAvailable()) GTEST_SKIP() << "this build has no conversion engine";
  const std::string mdbtools = tabulex::readback::mdbtoolsMissing();
  Fixture fixture;
  uitest::resetSettings();
  uitest::TempDir temp;
  const QString destination = temp.file("converted");
  const QString database = QString::fromStdString(fixture.database);
  QString outcome;

  Script script(240000);
  script.waitForModal("CTabulexDlg")
      .then([&] {
        uitest::typeInto("login", QString::fromStdString(fixture.login));
        uitest::typeInto("password", QString::fromStdString(fixture.password));
        click("refresh");
      })
      .then([&] {
        const QStringList names = uitest::listTexts("databases");
        EXPECT_EQ(names.count(database), 1) << qPrintable(names.join(","));
        EXPECT_TRUE(names.contains("information_schema"));
        EXPECT_FALSE(uitest::child<QWidget>("refresh")->isEnabled());
        uitest::selectRow("databases", database);
      })
      .then([&] {
        EXPECT_EQ(conversionSettings().databaseName, fixture.database);
        // Not the home folder: the test writes into its own.
        uitest::typeInto("destination", destination);
        click("next");
      })
      .waitForModal("CPelunor_Con")
      .then([] {
        // Base tables of this database only: no view, nothing of the other one.
        EXPECT_EQ(uitest::listTexts("source"), QStringList({"customers", "Orders"}));
        QTest::mouseClick(uitest::child<QCheckBox>("selectAll"), Qt::LeftButton);
        click("add");
      })
      .then([] {
        EXPECT_EQ(uitest::listTexts("selected"), QStringList({"customers", "Orders"}));
        click("convert");
      })
      .waitFor([] { return uitest::modalIs("Cmessage2") || uitest::modalIs("conversionProblems"); },
               "end of the conversion", 180000)
      .then([&] {
        outcome = modal()->objectName();
        if (auto* box = qobject_cast<QMessageBox*>(modal())) outcome += ": " + box->text();
        uitest::pressKey(Qt::Key_Return);
      });
  script.run(ui::runWizard);
  EXPECT_EQ(outcome, "Cmessage2");
  EXPECT_EQ(conversionSettings().destinationPath, destination.toStdString());

  if (!mdbtools.empty()) GTEST_SKIP() << mdbtools;
  const std::string file = (destination + ".mdb").toStdString();
  std::vector<std::string> tables = tabulex::readback::mdbTables(file);
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (std::vector<std::string>{"Orders", "customers"}));
  EXPECT_EQ(tabulex::readback::mdbCount(file, "customers"), 3);
  EXPECT_EQ(tabulex::readback::mdbCount(file, "Orders"), 2);
  const auto exported = tabulex::readback::mdbExport(file, "customers");
  ASSERT_EQ(exported.rows.size(), 3u);
  EXPECT_EQ(exported.rows[1][1], std::optional<std::string>("Ben O'Neil"));
  EXPECT_EQ(exported.rows[2][1], std::nullopt);
}

// The rig listens on 127.0.0.1 at a port of its own; the driver's default
// port is made useless, so only the typed Server Name can reach it.
TEST(WizardOnTheRig, TheTypedServerIsListedAndConverted) {
  TABULEX_REQUIRE_RIG();
  if (!ui::conversionAvailable()) GTEST_SKIP() << "this build has no conversion engine";
  const std::string mdbtools = tabulex::readback::mdbtoolsMissing();
  Fixture fixture;
  uitest::resetSettings();
  setenv("MYSQL_TCP_PORT", "1", 1);
  uitest::TempDir temp;
  const QString destination = temp.file("remote");
  const QString server = "127.0.0.1:" + QString::number(tabulex::test::rigEnvironment()->port);
  QString outcome;

  Script script(240000);
  script.waitForModal("CTabulexDlg")
      .then([&] {
        uitest::typeInto("server", server);
        uitest::typeInto("login", QString::fromStdString(fixture.login));
        uitest::typeInto("password", QString::fromStdString(fixture.password));
        click("refresh");
      })
      .then([&] {
        ASSERT_TRUE(uitest::listTexts("databases").contains(QString::fromStdString(fixture.database)));
        uitest::selectRow("databases", QString::fromStdString(fixture.database));
      })
      .then([&] {
        uitest::typeInto("destination", destination);
        click("next");
      })
      .waitForModal("CPelunor_Con")
      .then([] {
        EXPECT_EQ(uitest::listTexts("source"), QStringList({"customers", "Orders"}));
        QTest::mouseClick(uitest::child<QCheckBox>("selectAll"), Qt::LeftButton);
        click("add");
      })
      .then([] { click("convert"); })
      .waitFor([] { return uitest::modalIs("Cmessage2") || uitest::modalIs("conversionProblems"); },
               "end of the conversion", 180000)
      .then([&] {
        outcome = modal()->objectName();
        uitest::pressKey(Qt::Key_Return);
      });
  script.run(ui::runWizard);
  EXPECT_EQ(outcome, "Cmessage2");
  if (!mdbtools.empty()) GTEST_SKIP() << mdbtools;
  const std::string file = (destination + ".mdb").toStdString();
  EXPECT_TRUE(tabulex::readback::jetcheckProblems(file).empty());
  EXPECT_EQ(tabulex::readback::mdbCount(file, "Orders"), 2);
  const auto exported = tabulex::readback::mdbExport(file, "customers");
  ASSERT_EQ(exported.rows.size(), 3u);
  EXPECT_EQ(exported.rows[1][1], std::optional<std::string>("Ben O'Neil"));
  if (tabulex::readback::mdbReaderMissing().empty()) {
    const auto table = tabulex::readback::mdbReaderTable(file, "customers");
    ASSERT_EQ(table["rows"].size(), 3u);
    EXPECT_EQ(table["rows"][1][1], "Ben O'Neil");
  }
}

TEST(WizardOnTheRig, AWrongPasswordOffersTheDriverAndListsNothing) {
  TABULEX_REQUIRE_RIG();
  Fixture fixture;
  uitest::resetSettings();
  Script script(60000);
  script.waitForModal("CTabulexDlg")
      .then([&] {
        uitest::typeInto("login", QString::fromStdString(fixture.login));
        uitest::typeInto("password", "not the password");
        click("refresh");
      })
      .waitForModal("CUpdateDriver")
      .then([] { click("exit"); })
      .waitForModal("CTabulexDlg")
      .then([] {
        EXPECT_TRUE(uitest::listTexts("databases").isEmpty());
        EXPECT_TRUE(uitest::child<QWidget>("refresh")->isEnabled());
        uitest::closeAll();
      });
  script.run(ui::runWizard);
}

}  // namespace
