// Driving the wizard as a person would, from inside its own modal runs.
//
// The pages run nested QDialog::exec() loops, so a test cannot simply call a
// handler and look afterwards. A Script is a chain of single-shot timers: each
// step runs once the previous one has returned or entered a modal run of its
// own (a repeating timer would not fire again inside a nested exec). A
// watchdog closes every dialog still open after a deadline, so a wrong turn
// fails the test instead of hanging it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QString>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "odbc/conversion_settings.h"

namespace uitest {

class Script {
 public:
  explicit Script(int deadlineMs = 60000);
  ~Script();
  // An action; it may open a modal run and not return until that ends.
  Script& then(std::function<void()> action, const char* what = "step");
  // Waits (polling) until the condition holds; fails the test after a while.
  Script& waitFor(std::function<bool()> condition, const char* what, int timeoutMs = 20000);
  // Waits until the innermost modal window has the object name (or class name).
  Script& waitForModal(const QString& name, int timeoutMs = 20000);
  // Starts the chain, then runs body (normally ui::runWizard()) and returns
  // once body returned and every step ran or the watchdog gave up.
  void run(const std::function<void()>& body);
  bool finished() const { return next_ >= steps_.size(); }
  bool timedOut() const { return timedOut_; }

 private:
  struct Step {
    std::function<bool()> ready;  // null: run at once
    std::function<void()> action;
    std::string what;
    int timeoutMs = 0;
  };
  void schedule(int delayMs);
  void tick();
  void watchdog();

  std::vector<Step> steps_;
  size_t next_ = 0;
  int waited_ = 0;
  int deadlineMs_;
  bool timedOut_ = false;
  bool running_ = false;
};

// The innermost modal window, or null.
QWidget* modal();
bool modalIs(const QString& name);
// A child of the innermost modal window by object name (fails the test when absent).
template <typename T>
T* child(const char* name) {
  QWidget* top = modal();
  T* found = top ? top->findChild<T*>(name) : nullptr;
  if (!found) {
    ADD_FAILURE_AT(__FILE__, __LINE__) << "no " << name << " in " << (top ? qPrintable(top->objectName()) : "nothing");
  }
  return found;
}
void click(const char* buttonName);
void typeInto(const char* editName, const QString& text);
void selectRow(const char* listName, const QString& text);
QStringList listTexts(const char* listName);
// Presses the button of the innermost message box that has this text ("&Yes", "OK"...).
void answerMessageBox(const QString& buttonText);
QString messageBoxText();
void pressKey(int key);
// Closes every modal window from the innermost out.
void closeAll();

// Every address or file the wizard asked the desktop to open.
std::vector<QUrl>& openedUrls();

// The whole client area as painted, including children.
QImage grabWidget(QWidget* widget);

// A temporary folder for one test, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  QString path() const { return path_; }
  QString file(const QString& name) const { return path_ + "/" + name; }

 private:
  QString path_;
};

// Starts every test with the settings the process starts with.
void resetSettings();

}  // namespace uitest
