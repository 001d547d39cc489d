// The wizard driven through its widgets: the paths a user can take through
// both pages and their notices, with the catalogue and the run stood in for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "support/fake_backend.h"
#include "support/ui_harness.h"
#include "ui/folder_help.h"
#include "ui/notices.h"
#include "ui/pelunor_con.h"
#include "ui/wizard_page.h"

using uitest::click;
using uitest::modal;
using uitest::Script;

namespace {

QString editText(const char* name) {
  auto* edit = uitest::child<QLineEdit>(name);
  return edit ? edit->text() : QString();
}

bool enabled(const char* name) {
  auto* widget = uitest::child<QWidget>(name);
  return widget && widget->isEnabled();
}

class Pages : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::resetSettings();
    uitest::openedUrls().clear();
    fake.databases = {"shop", "Archive", "mysql"};
    fake.tables = {"b", "a", "C", "Zeta"};
  }
  uitest::FakeBackend fake;
  uitest::TempDir temp;
};

TEST_F(Pages, LoginAndPasswordAreBothRequiredAndTheListGrowsOncePerRefresh) {
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] { uitest::typeInto("login", "anna"); })
      .then([] { click("refresh"); })
      .waitFor([] { return qobject_cast<QMessageBox*>(modal()) != nullptr; }, "missing-password box")
      .then([] {
        auto* box = qobject_cast<QMessageBox*>(modal());
        EXPECT_EQ(box->text(), "Login Name or Password Missmatch");
        EXPECT_EQ(box->windowTitle(), QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        ASSERT_NE(box->parentWidget(), nullptr);
        EXPECT_EQ(box->parentWidget()->objectName(), "CTabulexDlg");
        uitest::answerMessageBox("OK");
      })
      .waitForModal("CTabulexDlg")
      .then([] {
        EXPECT_TRUE(enabled("refresh"));
        EXPECT_TRUE(uitest::listTexts("databases").isEmpty());
        uitest::typeInto("password", "secret");
        EXPECT_EQ(uitest::child<QLineEdit>("password")->echoMode(), QLineEdit::Password);
        click("refresh");
      })
      .then([] {
        // Sorted without regard to case; the button is spent.
        EXPECT_EQ(uitest::listTexts("databases"), QStringList({"Archive", "mysql", "shop"}));
        EXPECT_FALSE(enabled("refresh"));
        EXPECT_EQ(conversionSettings().loginName, "anna");
        EXPECT_EQ(conversionSettings().password, "secret");
        uitest::pressKey(Qt::Key_Escape);
      });
  script.run(ui::runWizard);
}

// The Server Name is read at Refresh: a malformed one lists nothing, a
// typed one is what the run will reach.
TEST_F(Pages, TheServerNameIsReadAtRefresh) {
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] {
        EXPECT_EQ(editText("server"), "localhost");
        uitest::typeInto("server", "db.example.org:99999");
        uitest::typeInto("login", "anna");
        uitest::typeInto("password", "secret");
        click("refresh");
      })
      .waitFor([] { return qobject_cast<QMessageBox*>(modal()) != nullptr; }, "bad server box")
      .then([] {
        EXPECT_TRUE(qobject_cast<QMessageBox*>(modal())->text().startsWith("The Server Name is not valid."));
        uitest::answerMessageBox("OK");
      })
      .waitForModal("CTabulexDlg")
      .then([] {
        EXPECT_TRUE(uitest::listTexts("databases").isEmpty());
        EXPECT_TRUE(conversionSettings().loginName.empty());
        uitest::typeInto("server", "  [::1]:3307 ");
        click("refresh");
      })
      .then([] {
        EXPECT_EQ(uitest::listTexts("databases"), QStringList({"Archive", "mysql", "shop"}));
        EXPECT_EQ(conversionSettings().server.host, "::1");
        EXPECT_EQ(conversionSettings().server.port, 3307);
        uitest::closeAll();
      });
  script.run(ui::runWizard);
}

TEST_F(Pages, AFailureInsideTheListingIsReportedAndThePageStays) {
  fake.listingFailure = "Lost connection to server during query";
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] {
        uitest::typeInto("login", "anna");
        uitest::typeInto("password", "secret");
        click("refresh");
      })
      .waitFor([] { return qobject_cast<QMessageBox*>(modal()) != nullptr; }, "error box")
      .then([] {
        auto* box = qobject_cast<QMessageBox*>(modal());
        EXPECT_EQ(box->text(), "Lost connection to server during query");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        uitest::answerMessageBox("OK");
      })
      .waitForModal("CTabulexDlg")
      .then([] {
        // What was listed before the failure stays; Refresh can be tried again.
        EXPECT_EQ(uitest::listTexts("databases"), QStringList({"shop"}));
        EXPECT_TRUE(enabled("refresh"));
        uitest::closeAll();
      });
  script.run(ui::runWizard);
}

TEST_F(Pages, AWrongLoginOffersTheDriverDownloadAndEnterActsAsDownload) {
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] {
        uitest::typeInto("login", "anna");
        uitest::typeInto("password", "wrong");
        click("refresh");
      })
      .waitForModal("CUpdateDriver")
      .then([] {
        EXPECT_EQ(modal()->windowTitle(), "Login Name or Password Mismatch");
        uitest::pressKey(Qt::Key_Return);
      })
      .waitForModal("CTabulexDlg")
      .then([] {
        ASSERT_EQ(uitest::openedUrls().size(), 1u);
        EXPECT_TRUE(uitest::openedUrls()[0].path().endsWith("/downloads/mysql-connector-odbc-3.51.23-win32.msi"));
        EXPECT_TRUE(enabled("refresh"));
        // Exit opens nothing.
        click("refresh");
      })
      .waitForModal("CUpdateDriver")
      .then([] { click("exit"); })
      .waitForModal("CTabulexDlg")
      .then([] {
        EXPECT_EQ(uitest::openedUrls().size(), 1u);
        uitest::closeAll();
      });
  script.run(ui::runWizard);
}

TEST_F(Pages, NextChecksTheDestinationAndAsksBeforeOverwriting) {
  const QString destination = temp.file("old");
  {
    QFile existing(destination + ".mdb");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("not a database");
  }
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] { click("next"); })
      .waitFor([] { return uitest::messageBoxText() == "Please Select A Database"; }, "empty destination box")
      .then([] { uitest::answerMessageBox("OK"); })
      .waitForModal("CTabulexDlg")
      .then([destination] {
        uitest::typeInto("destination", destination);
        click("next");
      })
      .waitFor([] { return qobject_cast<QMessageBox*>(modal()) != nullptr; }, "overwrite prompt")
      .then([destination] {
        auto* box = qobject_cast<QMessageBox*>(modal());
        EXPECT_EQ(box->windowTitle(), "Pelunor Database Converter (MSSQL Server To MS Access)");
        EXPECT_EQ(box->text(), "File Named " + destination +
                                   " is Already Exist.., \n\nDo You Want to Overwrite Database....\n\n If No then "
                                   "Please Choose Another Database");
        uitest::answerMessageBox("&No");
      })
      .waitForModal("CTabulexDlg")
      .then([destination] {
        EXPECT_TRUE(QFile::exists(destination + ".mdb"));
        EXPECT_EQ(modal()->focusWidget(), uitest::child<QWidget>("destination"));
        EXPECT_TRUE(conversionSettings().destinationPath.empty());
        click("next");
      })
      .waitFor([] { return qobject_cast<QMessageBox*>(modal()) != nullptr; }, "overwrite prompt again")
      .then([] { uitest::answerMessageBox("&Yes"); })
      .waitForModal("CPelunor_Con")
      .then([this, destination] {
        // Yes only marks the file: it goes when Convert starts the new one.
        EXPECT_TRUE(QFile::exists(destination + ".mdb"));
        EXPECT_TRUE(conversionSettings().replaceDestination);
        EXPECT_EQ(conversionSettings().destinationPath, destination.toStdString());
        // The table page listed the tables of the settings' database (none chosen).
        EXPECT_EQ(fake.listedTablesOf, std::vector<std::string>{""});
        uitest::pressKey(Qt::Key_Escape);
      });
  script.run(ui::runWizard);
  EXPECT_FALSE(script.timedOut());
  // Leaving the table page keeps the old file.
  EXPECT_TRUE(QFile::exists(destination + ".mdb"));
}

// The path the run will write is the one tested: a destination typed with
// its ".mdb" gets the question too, a folder without a file name is refused
// as a missing database, and Convert removes a marked file just before the
// run, unless another program is using it.
TEST_F(Pages, TheDestinationTestedIsTheFileTheRunWritesAndItGoesOnlyAtConvert) {
  conversionSettings().databaseName = "shop";
  const QString destination = temp.file("old");
  {
    QFile existing(destination + ".mdb");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("not a database");
  }
  int held = -1;
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([this] {
        uitest::typeInto("destination", temp.path() + "/");
        click("next");
      })
      .waitFor([] { return uitest::messageBoxText() == "Please Select A Database"; }, "folder without a name")
      .then([] { uitest::answerMessageBox("OK"); })
      .waitForModal("CTabulexDlg")
      .then([this] {
        uitest::typeInto("destination", temp.file("quo\"te"));
        click("next");
      })
      .waitFor([] { return uitest::messageBoxText() == ui::kDestinationRefusedText; }, "double quote refused")
      .then([] { uitest::answerMessageBox("OK"); })
      .waitForModal("CTabulexDlg")
      .then([destination] {
        uitest::typeInto("destination", destination + ".mdb");
        click("next");
      })
      .waitFor([] { return qobject_cast<QMessageBox*>(modal()) != nullptr; }, "overwrite prompt for x.mdb")
      .then([] { uitest::answerMessageBox("&Yes"); })
      .waitForModal("CPelunor_Con")
      .then([destination, &held] {
        EXPECT_EQ(conversionSettings().destinationPath, destination.toStdString());
        // Another program holds the file: Convert refuses and keeps it.
        held = ::open((destination + ".mdb").toLocal8Bit().constData(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        ASSERT_EQ(fcntl(held, F_OFD_SETLK, &lock), 0);
        uitest::selectRow("source", "Zeta");
      })
      .then([] { click("add"); })
      .then([] { click("convert"); })
      .waitFor([] { return uitest::messageBoxText().contains("is already in use by another program."); },
               "in-use notice")
      .then([destination, &held] {
        EXPECT_EQ(uitest::messageBoxText(),
                  "The file '" + destination + ".mdb' is already in use by another program.");
        ::close(held);
        uitest::answerMessageBox("OK");
      })
      .waitForModal("CPelunor_Con")
      .then([this, destination] {
        EXPECT_TRUE(fake.runs.empty());
        EXPECT_TRUE(QFile::exists(destination + ".mdb"));
        click("convert");
      })
      .waitForModal("Cmessage2")
      .then([] { uitest::pressKey(Qt::Key_Escape); });
  script.run(ui::runWizard);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(fake.destinationExisted, std::vector<bool>{false});
  EXPECT_FALSE(conversionSettings().replaceDestination);
}

// Names that would plant settings in odbc.ini are shown escaped, never as
// two harmless-looking entries, and refused with a notice.
TEST_F(Pages, NamesNoDataSourceCanCarryAreShownEscapedAndRefused) {
  fake.databases = {"shop", "d\nINITSTMT=create database x"};
  fake.tables = {"a", "t\rx"};
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] {
        uitest::typeInto("login", "anna");
        uitest::typeInto("password", "secret");
        click("refresh");
      })
      .then([] {
        EXPECT_EQ(uitest::listTexts("databases"), QStringList({"d\\nINITSTMT=create database x", "shop"}));
        uitest::selectRow("databases", "d\\nINITSTMT=create database x");
      })
      .waitFor([] { return uitest::messageBoxText().startsWith("The name \"d\\nINITSTMT"); }, "refused database")
      .then([] { uitest::answerMessageBox("OK"); })
      .waitForModal("CTabulexDlg")
      .then([] {
        EXPECT_EQ(conversionSettings().databaseName, "");
        EXPECT_TRUE(editText("destination").isEmpty());
        uitest::selectRow("databases", "shop");
      })
      .then([] { click("next"); })
      .waitForModal("CPelunor_Con")
      .then([] {
        EXPECT_EQ(uitest::listTexts("source"), QStringList({"a", "t\\rx"}));
        uitest::selectRow("source", "t\\rx");
      })
      .then([] { click("add"); })
      .then([] { click("convert"); })
      .waitFor([] { return uitest::messageBoxText().startsWith("The name \"t\\rx\""); }, "refused table")
      .then([] { uitest::answerMessageBox("OK"); })
      .waitForModal("CPelunor_Con")
      .then([] { uitest::closeAll(); });
  script.run(ui::runWizard);
  EXPECT_TRUE(fake.runs.empty());
}

TEST_F(Pages, PrevAndNextNestThePagesAndClosingTheVisibleOneEndsTheWizard) {
  Script script;
  script.waitForModal("CTabulexDlg");
  for (int trip = 0; trip < 3; ++trip) {
    script
        .then([] {
          uitest::typeInto("login", "anna");
          uitest::typeInto("password", "secret");
          click("refresh");
        })
        .then([] { uitest::selectRow("databases", "shop"); })
        .then([] {
          EXPECT_EQ(editText("destination"), QDir::homePath() + "/shop");
          EXPECT_EQ(conversionSettings().databaseName, "shop");
          click("next");
        })
        .waitForModal("CPelunor_Con")
        .then([] {
          EXPECT_EQ(uitest::listTexts("source"), QStringList({"a", "b", "C", "Zeta"}));
          click("prev");
        })
        .waitForModal("CTabulexDlg")
        .then([] {
          // A fresh page: nothing carried over but the settings.
          EXPECT_TRUE(editText("destination").isEmpty());
          EXPECT_TRUE(editText("login").isEmpty());
          EXPECT_EQ(editText("server"), "localhost");
          EXPECT_TRUE(uitest::listTexts("databases").isEmpty());
          EXPECT_TRUE(enabled("refresh"));
          EXPECT_EQ(conversionSettings().databaseName, "shop");
        });
  }
  script.then([] { click("next"); })
      .waitFor([] { return uitest::messageBoxText() == "Please Select A Database"; }, "empty destination after Prev")
      .then([] { uitest::answerMessageBox("OK"); })
      .waitForModal("CTabulexDlg")
      .then([] {
        // Six hidden pages lie below this one; closing it unwinds them all.
        int hidden = 0;
        for (QWidget* window : QApplication::topLevelWidgets()) {
          if (qobject_cast<ui::WizardPage*>(window) && !window->isVisible()) ++hidden;
        }
        EXPECT_EQ(hidden, 6);
        modal()->close();
      });
  script.run(ui::runWizard);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(fake.listedTablesOf.size(), 3u);
}

TEST_F(Pages, TablesMoveOneAtATimeOrAllAtOnceAndNeedASelection) {
  conversionSettings().databaseName = "shop";
  auto noticeShown = [] { return uitest::modalIs("Cmessage1"); };
  Script script;
  script.waitForModal("CPelunor_Con")
      .then([] { click("add"); })
      .waitFor(noticeShown, "please-select notice for Add")
      .then([] { click("ok"); })
      .waitForModal("CPelunor_Con")
      .then([] { uitest::selectRow("source", "b"); })
      .then([] { click("add"); })
      .then([] { uitest::selectRow("source", "a"); })
      .then([] { click("add"); })
      .then([] { uitest::selectRow("source", "C"); })
      .then([] { click("add"); })
      .then([] {
        EXPECT_EQ(uitest::listTexts("selected"), QStringList({"a", "b", "C"}));
        EXPECT_EQ(uitest::listTexts("source"), QStringList({"Zeta"}));
        // No new selection: the notice again, and nothing moves.
        click("add");
      })
      .waitFor(noticeShown, "please-select notice after a move")
      .then([] { uitest::pressKey(Qt::Key_Escape); })
      .waitForModal("CPelunor_Con")
      .then([] {
        EXPECT_EQ(uitest::listTexts("source"), QStringList({"Zeta"}));
        // Select all moves every entry, whatever is highlighted.
        uitest::selectRow("selected", "b");
        QTest::mouseClick(uitest::child<QCheckBox>("selectAll"), Qt::LeftButton);
        click("rem");
      })
      .then([] {
        EXPECT_EQ(uitest::listTexts("source"), QStringList({"a", "b", "C", "Zeta"}));
        EXPECT_TRUE(uitest::listTexts("selected").isEmpty());
        EXPECT_TRUE(uitest::child<QCheckBox>("selectAll")->isChecked());
        // With the box checked an empty list moves nothing and says nothing.
        click("rem");
      })
      .then([] {
        EXPECT_TRUE(uitest::modalIs("CPelunor_Con"));
        click("convert");
      })
      .waitFor(noticeShown, "please-select notice for Convert")
      .then([] { click("ok"); })
      .waitForModal("CPelunor_Con")
      .then([this] {
        EXPECT_TRUE(fake.runs.empty());
        EXPECT_EQ(modal()->findChild<QWidget*>("statusLine"), nullptr) << "Convert with nothing chosen made the status line";
        uitest::closeAll();
      });
  script.run([] {
    ui::CPelunor_Con page;
    page.exec();
  });
}

TEST_F(Pages, AConversionShowsItsProgressAndNamesTheTablesThatFailed) {
  conversionSettings().databaseName = "shop";
  fake.failingTables = {"b"};
  fake.leavingOut = {"C"};
  Script script;
  script.waitForModal("CPelunor_Con")
      .then([] {
        QTest::mouseClick(uitest::child<QCheckBox>("selectAll"), Qt::LeftButton);
        click("add");
      })
      .then([] { click("convert"); })
      .waitForModal("conversionProblems")
      .then([] {
        const QString text = uitest::messageBoxText();
        EXPECT_TRUE(text.contains("1 of 4 tables")) << qPrintable(text);
        EXPECT_TRUE(text.contains("b: Table 'b' already <exists>")) << qPrintable(text);
        EXPECT_FALSE(text.contains("a:"));
        EXPECT_TRUE(text.contains("C: index ft left out: Access has no FULLTEXT index")) << qPrintable(text);
        auto* page = qobject_cast<QWidget*>(modal()->parent());
        ASSERT_NE(page, nullptr);
        auto* bar = page->findChild<QProgressBar*>("progressBar");
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->value(), 650);
        EXPECT_EQ(bar->minimum(), 40);
        auto* status = page->findChild<QTextEdit*>("statusLine");
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->toPlainText(), "Converting....Tables   Zeta");
        uitest::answerMessageBox("OK");
      });
  QTextEdit* status = nullptr;
  script.run([&] {
    ui::CPelunor_Con page;
    page.exec();
    status = page.findChild<QTextEdit*>("statusLine");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->toPlainText(), "Database Conversion Compleated");
  });
  ASSERT_EQ(fake.runs.size(), 1u);
  EXPECT_EQ(fake.runs[0], (std::vector<std::string>{"a", "b", "C", "Zeta"}));
}

// Notes of what merely changed keep the completion notice; a part of the
// schema left out brings the problem notice with its note.
TEST_F(Pages, ACleanConversionEndsWithTheCompletionNoticeAndTheWizard) {
  conversionSettings().databaseName = "shop";
  fake.changing = {"Zeta"};
  fake.leavingOut = {"a"};
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([this] {
        uitest::typeInto("destination", temp.file("out"));
        click("next");
      })
      .waitForModal("CPelunor_Con")
      .then([] { uitest::selectRow("source", "Zeta"); })
      .then([] { click("add"); })
      .then([] { click("convert"); })
      .waitForModal("Cmessage2")
      .then([] { uitest::pressKey(Qt::Key_Escape); });
  script.run(ui::runWizard);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(fake.runs, (std::vector<std::vector<std::string>>{{"Zeta"}}));

  Script partly;
  partly.waitForModal("CPelunor_Con")
      .then([] { uitest::selectRow("source", "a"); })
      .then([] { click("add"); })
      .then([] { click("convert"); })
      .waitForModal("conversionProblems")
      .then([] {
        const QString text = uitest::messageBoxText();
        EXPECT_TRUE(text.contains("parts of the schema were left out")) << qPrintable(text);
        EXPECT_TRUE(text.contains("a: index ft left out")) << qPrintable(text);
        EXPECT_FALSE(text.contains("not converted")) << qPrintable(text);
        uitest::answerMessageBox("OK");
      });
  partly.run([] {
    ui::CPelunor_Con page;
    page.exec();
  });
}

TEST_F(Pages, EnterIsNextOnTheTablePageAndEndsTheWizardOnTheConnectionPage) {
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] {
        // The templates' tab order.
        QStringList chain;
        QWidget* page = modal();
        QWidget* widget = page->findChild<QWidget*>("next");
        for (int i = 0; i < 9 && widget; ++i, widget = widget->nextInFocusChain()) {
          while (widget && widget->focusPolicy() == Qt::NoFocus) widget = widget->nextInFocusChain();
          if (widget) chain << widget->objectName();
        }
        EXPECT_EQ(chain, QStringList({"next", "server", "login", "password", "destination", "databases", "refresh",
                                      "help", "browse"}));
        uitest::typeInto("destination", "/nonexistent-folder/out");
        click("next");
      })
      .waitForModal("CPelunor_Con")
      .then([] {
        uitest::child<QWidget>("source")->setFocus();
        uitest::pressKey(Qt::Key_Return);
      })
      .waitForModal("CTabulexDlg")
      .then([] {
        uitest::typeInto("login", "anna");
        uitest::pressKey(Qt::Key_Return);
      });
  script.run(ui::runWizard);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(uitest::modal(), nullptr);
}

TEST(ProgressBar, AStepPastTheUpperBoundStartsAgainFromTheLowerBound) {
  ui::SteppingProgressBar bar;
  bar.setRange(40, 650);
  bar.setValue(40);
  bar.setStep(216);
  std::vector<int> seen;
  for (int i = 0; i < 3; ++i) {
    bar.stepIt();
    seen.push_back(bar.value());
  }
  EXPECT_EQ(seen, (std::vector<int>{256, 472, 40}));
  bar.setValue(40);
  bar.setStep(650);
  bar.stepIt();
  EXPECT_EQ(bar.value(), 40);
}

TEST_F(Pages, HelpOpensTheFileBesideTheProgramOrSaysItIsMissing) {
  const QString help = ui::helpFilePath();
  ASSERT_EQ(QFileInfo(help).absolutePath(), QCoreApplication::applicationDirPath());
  QFile::remove(help);
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] { click("help"); })
      .waitFor([] { return qobject_cast<QMessageBox*>(modal()) != nullptr; }, "missing help box")
      .then([] {
        auto* box = qobject_cast<QMessageBox*>(modal());
        EXPECT_EQ(box->text(), "help.chm file not exist");
        EXPECT_EQ(box->windowTitle(), "Pelunor Kestrune");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        uitest::answerMessageBox("OK");
      })
      .waitForModal("CTabulexDlg")
      .then([help] {
        EXPECT_TRUE(uitest::openedUrls().empty());
        QFile file(help);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        // From somewhere else: only the program's folder counts.
        QDir::setCurrent(QDir::tempPath());
        click("help");
      })
      .then([help] {
        EXPECT_TRUE(uitest::modalIs("CTabulexDlg"));
        ASSERT_EQ(uitest::openedUrls().size(), 1u);
        EXPECT_EQ(uitest::openedUrls()[0], QUrl::fromLocalFile(help));
        QFile::remove(help);
        uitest::closeAll();
      });
  script.run(ui::runWizard);
}

TEST_F(Pages, BrowsePutsThePickedFolderBeforeTheDatabaseName) {
  conversionSettings().databaseName = "shop";
  const QString folder = temp.path();
  QDir(folder).mkdir("Data");
  auto picker = [] { return qobject_cast<QFileDialog*>(modal()); };
  auto press = [picker](QDialogButtonBox::StandardButton which) {
    auto* buttons = picker()->findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_NE(buttons, nullptr);
    ASSERT_TRUE(buttons->button(which)->isEnabled());
    QTest::mouseClick(buttons->button(which), Qt::LeftButton);
  };
  // The folder's entry in the dialog's list, once the folder has been read.
  auto entry = [picker](const QString& name) -> std::pair<QListView*, QModelIndex> {
    auto* view = picker() ? picker()->findChild<QListView*>("listView") : nullptr;
    if (!view) return {nullptr, {}};
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
      const QModelIndex index = view->model()->index(row, 0, root);
      if (index.data().toString() == name) return {view, index};
    }
    return {view, {}};
  };
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] {
        uitest::typeInto("destination", "typed");
        click("browse");
      })
      .waitForModal("folderPicker")
      .then([picker, press] {
        EXPECT_EQ(picker()->windowTitle(), "Sample of  getting folder.");
        EXPECT_TRUE(picker()->testOption(QFileDialog::DontUseNativeDialog));
        press(QDialogButtonBox::Cancel);
      })
      .waitForModal("CTabulexDlg")
      .then([] {
        EXPECT_EQ(editText("destination"), "typed");
        click("browse");
      })
      .waitForModal("folderPicker")
      .then([picker, folder] { picker()->setDirectory(folder); })
      .waitFor([entry] { return entry("Data").second.isValid(); }, "folder listed")
      .then([entry] {
        auto [view, index] = entry("Data");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
      })
      .waitFor([folder] { return uitest::child<QLabel>("status")->text() == folder + "/Data"; }, "status text")
      .then([press] { press(QDialogButtonBox::Open); })
      .waitForModal("CTabulexDlg")
      .then([folder] {
        EXPECT_EQ(editText("destination"), folder + "/Data/shop");
        EXPECT_EQ(conversionSettings().destinationPath, "") << "only Next stores the destination";
        // Picking a database afterwards replaces the browsed destination.
        uitest::typeInto("login", "anna");
        uitest::typeInto("password", "secret");
        click("refresh");
      })
      .then([] { uitest::selectRow("databases", "Archive"); })
      .then([] {
        EXPECT_EQ(editText("destination"), QDir::homePath() + "/Archive");
        uitest::closeAll();
      });
  script.run(ui::runWizard);
  EXPECT_EQ(ui::joinDestination("/", "shop"), "/shop");
  EXPECT_EQ(ui::joinDestination("/srv/data", "shop"), "/srv/data/shop");
}

TEST_F(Pages, TheAboutBoxIsOnThePagesContextMenu) {
  Script script;
  script.waitForModal("CTabulexDlg")
      .then([] {
        QWidget* page = modal();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), page->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(page, &event);
      })
      .then([] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* about = nullptr;
        for (QAction* action : menu->actions()) {
          if (action->text() == "&About Pelunor Tabulex...") about = action;
        }
        ASSERT_NE(about, nullptr);
        menu->setActiveAction(about);
        QTest::keyClick(menu, Qt::Key_Return);
      })
      .waitForModal("CAboutDlg")
      .then([] {
        EXPECT_EQ(modal()->windowTitle(), "Pelunor Database Converter(MySQL to MS Access ) ");
        click("ok");
      })
      .waitForModal("CTabulexDlg")
      .then([] { uitest::closeAll(); });
  script.run(ui::runWizard);
}

}  // namespace
