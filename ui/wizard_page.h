// What both wizard pages share: the painted dialog with its key handling
// and About menu, the sorted list boxes, and the wizard's start.
#pragma once

#include <QListWidget>
#include <functional>
#include <string>

#include "ui/notices.h"

namespace ui {

// A single-selection list that keeps its entries in case-insensitive
// alphabetical order, whatever order they are added in.
class SortedListBox : public QListWidget {
  Q_OBJECT
 public:
  SortedListBox(QWidget* parent, const QRect& geometry);
  void addString(const QString& text);
  QString text(int index) const;
  void deleteString(int index);
  // -1 when nothing is selected.
  int selectedIndex() const;
  QStringList texts() const;
};

class WizardPage : public PaintedDialog {
  Q_OBJECT
 public:
  WizardPage(QWidget* parent, int widthUnits, int heightUnits, Qt::WindowFlags extraFlags);

 protected:
  // Enter presses the focused image button, or else is the page's OK;
  // F1 opens the help as the Help button does.
  void keyPressEvent(QKeyEvent* event) override;
  // X11 and Wayland give a window no system menu; its About item lives here.
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showAbout();
  // An exception that leaves a handler is reported and the page stays.
  void guarded(const std::function<void()>& handler);
};

// The application's start: runs the connection page and returns when the
// visible page of the wizard is closed.
void runWizard();

}  // namespace ui
