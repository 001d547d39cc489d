#include "support/ui_harness.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <optional>

#include "support/rig.h"
#include "ui/chrome.h"

namespace uitest {

namespace {

constexpr int kTick = 15;

// Receives what the wizard hands to the desktop instead of starting a viewer.
class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { openedUrls().push_back(url); }
};

// One QApplication per test program, offscreen unless told otherwise, with a
// private runtime folder and an ODBC configuration that never touches the
// machine's own: the rig's when it runs, else an empty one.
class UiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    runtime_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/tabulex-ui-XXXXXX");
    QFile::setPermissions(runtime_->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    setenv("XDG_RUNTIME_DIR", runtime_->path().toLocal8Bit().constData(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (tabulex::test::rigAvailable()) {
      odbc_.emplace();
    } else {
      const QString ini = runtime_->path() + "/odbc";
      QDir().mkpath(ini);
      setenv("ODBCSYSINI", ini.toLocal8Bit().constData(), 1);
      setenv("ODBCINI", (ini + "/user-odbc.ini").toLocal8Bit().constData(), 1);
    }
    static int argc = 1;
    static char name[] = "tabulex";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    ui::setUpApplication();
    QDesktopServices::setUrlHandler("file", &catcher_, "open");
    QDesktopServices::setUrlHandler("http", &catcher_, "open");
    QDesktopServices::setUrlHandler("https", &catcher_, "open");
  }
  void TearDown() override {
    QDesktopServices::unsetUrlHandler("file");
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
    app_.reset();
    odbc_.reset();
    runtime_.reset();
  }

 private:
  std::unique_ptr<QTemporaryDir> runtime_;
  std::optional<tabulex::test::PrivateOdbcConfig> odbc_;
  std::unique_ptr<QApplication> app_;
  UrlCatcher catcher_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

std::vector<QUrl>& openedUrls() {
  static std::vector<QUrl> urls;
  return urls;
}

Script::Script(int deadlineMs) : deadlineMs_(deadlineMs) {}
Script::~Script() = default;

Script& Script::then(std::function<void()> action, const char* what) {
  steps_.push_back(Step{nullptr, std::move(action), what, 0});
  return *this;
}

Script& Script::waitFor(std::function<bool()> condition, const char* what, int timeoutMs) {
  steps_.push_back(Step{std::move(condition), nullptr, what, timeoutMs});
  return *this;
}

Script& Script::waitForModal(const QString& name, int timeoutMs) {
  return waitFor([name] { return modalIs(name); }, "modal window", timeoutMs);
}

void Script::schedule(int delayMs) { QTimer::singleShot(delayMs, [this] { tick(); }); }

void Script::tick() {
  if (!running_ || timedOut_ || next_ >= steps_.size()) return;
  Step& step = steps_[next_];
  if (step.ready) {
    if (!step.ready()) {
      waited_ += kTick;
      if (waited_ > step.timeoutMs) {
        QWidget* top = modal();
        ADD_FAILURE() << "gave up waiting for " << step.what << " (step " << next_ << "); innermost window: "
                      << (top ? qPrintable(top->objectName() + " " + top->metaObject()->className()) : "none");
        timedOut_ = true;
        closeAll();
        return;
      }
      schedule(kTick);
      return;
    }
    waited_ = 0;
    ++next_;
    schedule(0);
    return;
  }
  ++next_;
  // The next tick is armed before the action: the action may enter a modal
  // run and the chain has to go on inside it.
  schedule(kTick);
  step.action();
}

void Script::watchdog() {
  if (!running_) return;
  if (!timedOut_) {
    ADD_FAILURE() << "watchdog: the script did not finish within " << deadlineMs_ << " ms (at step " << next_ << ")";
    timedOut_ = true;
  }
  closeAll();
  QTimer::singleShot(500, [this] { watchdog(); });
}

void Script::run(const std::function<void()>& body) {
  running_ = true;
  schedule(kTick);
  QTimer::singleShot(deadlineMs_, [this] { watchdog(); });
  body();
  // Steps left after the wizard ended (checks of the final state) still run.
  QElapsedTimer spent;
  spent.start();
  while (!finished() && !timedOut_ && spent.elapsed() < deadlineMs_) {
    QApplication::processEvents(QEventLoop::AllEvents, kTick);
  }
  EXPECT_TRUE(finished()) << "steps left: " << steps_.size() - next_;
  running_ = false;
  // Let the last closings settle before the next test builds its windows.
  QApplication::processEvents();
}

QWidget* modal() { return QApplication::activeModalWidget(); }

bool modalIs(const QString& name) {
  QWidget* top = modal();
  return top && top->isVisible() && (top->objectName() == name || name == top->metaObject()->className());
}

void click(const char* buttonName) {
  if (auto* button = child<QAbstractButton>(buttonName)) {
    QTest::mouseClick(button, Qt::LeftButton);
  }
}

void typeInto(const char* editName, const QString& text) {
  if (auto* edit = child<QLineEdit>(editName)) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }
}

void selectRow(const char* listName, const QString& text) {
  auto* list = child<QListWidget>(listName);
  if (!list) return;
  const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
  if (found.isEmpty()) {
    ADD_FAILURE() << "no entry " << qPrintable(text) << " in " << listName;
    return;
  }
  list->scrollToItem(found.first());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
}

QStringList listTexts(const char* listName) {
  QStringList texts;
  if (auto* list = child<QListWidget>(listName)) {
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  }
  return texts;
}

void answerMessageBox(const QString& buttonText) {
  auto* box = qobject_cast<QMessageBox*>(modal());
  if (!box) {
    ADD_FAILURE() << "no message box open";
    return;
  }
  for (QAbstractButton* button : box->buttons()) {
    if (button->text() == buttonText) {
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
  }
  ADD_FAILURE() << "no button " << qPrintable(buttonText) << " on " << qPrintable(box->text());
}

QString messageBoxText() {
  auto* box = qobject_cast<QMessageBox*>(modal());
  return box ? box->text() : QString();
}

void pressKey(int key) {
  if (QWidget* top = modal()) {
    QWidget* target = top->focusWidget() ? top->focusWidget() : top;
    QTest::keyClick(target, Qt::Key(key));
  }
}

void closeAll() {
  for (int guard = 0; guard < 1000; ++guard) {
    auto* top = qobject_cast<QDialog*>(modal());
    if (!top) return;
    top->done(QDialog::Rejected);
    // Each close unwinds one run; the next one shows up once it has.
    if (modal() == top) return;
  }
}

QImage grabWidget(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

TempDir::TempDir() {
  QTemporaryDir dir(QDir::tempPath() + "/tabulex-ui-test-XXXXXX");
  dir.setAutoRemove(false);
  path_ = dir.path();
}

TempDir::~TempDir() { QDir(path_).removeRecursively(); }

void resetSettings() { conversionSettings() = ConversionSettings{}; }

}  // namespace uitest

#include "ui_harness.moc"
