// Walks through every page and notice of the wizard and saves what a user
// sees as PNG files (run by scripts/screenshots under Xvfb). The catalogue
// and the run are stood in for, so no server is needed.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <cstdlib>

#include "support/fake_backend.h"
#include "support/ui_harness.h"
#include "ui/folder_help.h"
#include "ui/notices.h"
#include "ui/wizard_page.h"

using uitest::click;
using uitest::modal;

namespace {

QString outputFolder() {
  const char* folder = std::getenv("TABULEX_SCREENSHOTS_DIR");
  return folder ? QString::fromLocal8Bit(folder) : QDir::currentPath() + "/screenshots";
}

void shoot(const QString& name) {
  QApplication::processEvents();
  QImage image;
  if (QGuiApplication::platformName() == "xcb") {
    image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  } else if (QWidget* top = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : modal()) {
    image = top->grab().toImage();
  }
  const QString file = outputFolder() + "/" + name + ".png";
  EXPECT_TRUE(!image.isNull() && image.save(file)) << qPrintable(file);
}

TEST(Screenshots, EveryPageAndNotice) {
  QDir().mkpath(outputFolder());
  uitest::resetSettings();
  uitest::FakeBackend fake;
  fake.databases = {"shop", "Archive", "information_schema", "mysql"};
  fake.tables = {"customers", "orders", "Products", "suppliers", "counter"};
  fake.failingTables = {"suppliers"};
  uitest::TempDir temp;
  const QString destination = temp.file("shop");
  QFile(destination + ".mdb").open(QIODevice::WriteOnly);
  QFile::remove(ui::helpFilePath());

  uitest::Script script(120000);
  script.waitForModal("CTabulexDlg")
      .then([] { shoot("01-connection-page"); })
      .then([] {
        uitest::typeInto("login", "anna");
        click("refresh");
      })
      .waitFor([] { return !uitest::messageBoxText().isEmpty(); }, "login box")
      .then([] { shoot("02-login-missing"); uitest::answerMessageBox("OK"); })
      .waitForModal("CTabulexDlg")
      .then([] {
        uitest::typeInto("password", "wrong");
        click("refresh");
      })
      .waitForModal("CUpdateDriver")
      .then([] { shoot("03-driver-problem"); click("exit"); })
      .waitForModal("CTabulexDlg")
      .then([] {
        uitest::typeInto("password", "secret");
        click("refresh");
      })
      .then([] { uitest::selectRow("databases", "shop"); })
      .then([] { shoot("04-database-chosen"); })
      .then([] {
        QWidget* page = modal();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(300, 150), page->mapToGlobal(QPoint(300, 150)));
        QApplication::sendEvent(page, &event);
      })
      .then([] {
        shoot("05-page-menu");
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        menu->setActiveAction(menu->actions().last());
        QTest::keyClick(menu, Qt::Key_Return);
      })
      .waitForModal("CAboutDlg")
      .then([] { shoot("06-about"); click("ok"); })
      .waitForModal("CTabulexDlg")
      .then([] { click("browse"); })
      .waitForModal("folderPicker")
      .then([] { QTest::qWait(300); shoot("07-folder-picker"); qobject_cast<QDialog*>(modal())->reject(); })
      .waitForModal("CTabulexDlg")
      .then([] { click("help"); })
      .waitFor([] { return !uitest::messageBoxText().isEmpty(); }, "help box")
      .then([] { shoot("08-help-missing"); uitest::answerMessageBox("OK"); })
      .waitForModal("CTabulexDlg")
      .then([destination] {
        uitest::typeInto("destination", destination);
        click("next");
      })
      .waitFor([] { return !uitest::messageBoxText().isEmpty(); }, "overwrite prompt")
      .then([] { shoot("09-overwrite-prompt"); uitest::answerMessageBox("&Yes"); })
      .waitForModal("CPelunor_Con")
      .then([] { shoot("10-table-page"); click("add"); })
      .waitForModal("Cmessage1")
      .then([] { shoot("11-please-select"); click("ok"); })
      .waitForModal("CPelunor_Con")
      .then([] { uitest::selectRow("source", "orders"); })
      .then([] { click("add"); })
      .then([] { uitest::selectRow("source", "customers"); })
      .then([] { shoot("12-tables-moving"); })
      .then([] {
        QTest::mouseClick(uitest::child<QCheckBox>("selectAll"), Qt::LeftButton);
        click("add");
      })
      .then([] { shoot("13-tables-chosen"); click("convert"); })
      .waitForModal("conversionProblems")
      .then([] { shoot("14-conversion-problems"); uitest::answerMessageBox("OK"); });
  script.run(ui::runWizard);

  uitest::Script last(20000);
  last.waitForModal("Cmessage2").then([] { shoot("15-conversion-complete"); click("ok"); });
  last.run([] {
    ui::Cmessage2 notice;
    notice.exec();
  });
}

}  // namespace
