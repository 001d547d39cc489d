#include "ui/wizard_page.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <exception>

#include "ui/folder_help.h"
#include "ui/image_button.h"
#include "ui/tabulex_dlg.h"

namespace ui {

namespace {

class SortedItem : public QListWidgetItem {
 public:
  explicit SortedItem(const QString& text) : QListWidgetItem(text) {}
  bool operator<(const QListWidgetItem& other) const override {
    const int order = text().compare(other.text(), Qt::CaseInsensitive);
    return order != 0 ? order < 0 : text() < other.text();
  }
};

}  // namespace

SortedListBox::SortedListBox(QWidget* parent, const QRect& geometry) : QListWidget(parent) {
  setGeometry(geometry);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setSortingEnabled(true);
}

void SortedListBox::addString(const QString& text) {
  addItem(new SortedItem(text));
  sortItems();
}

QString SortedListBox::text(int index) const {
  const QListWidgetItem* entry = item(index);
  return entry ? entry->text() : QString();
}

void SortedListBox::deleteString(int index) {
  const bool wasSelected = item(index) && item(index)->isSelected();
  delete takeItem(index);
  // The list moved from ends up with no selection, so a second click without
  // choosing again is noticed rather than moving a neighbour.
  if (wasSelected) {
    clearSelection();
    setCurrentRow(-1, QItemSelectionModel::NoUpdate);
  }
}

int SortedListBox::selectedIndex() const {
  const QList<QListWidgetItem*> chosen = selectedItems();
  return chosen.isEmpty() ? -1 : row(chosen.first());
}

QStringList SortedListBox::texts() const {
  QStringList all;
  for (int i = 0; i < count(); ++i) all << item(i)->text();
  return all;
}

WizardPage::WizardPage(QWidget* parent, int widthUnits, int heightUnits, Qt::WindowFlags extraFlags)
    : PaintedDialog(parent, widthUnits, heightUnits, Background::Bands) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | extraFlags);
  setWindowTitle(kPageCaption);
  setWindowIcon(QIcon(iconPixmap()));
}

void WizardPage::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    openHelp(this);
    return;
  }
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      if (auto* button = qobject_cast<ImageButton*>(focusWidget())) {
        button->click();
      } else {
        accept();
      }
      return;
    }
  }
  PaintedDialog::keyPressEvent(event);
}

void WizardPage::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.setObjectName("pageMenu");
  menu.addSeparator();
  QAction* about = menu.addAction("&About Pelunor Tabulex...");
  if (menu.exec(event->globalPos()) == about) showAbout();
}

void WizardPage::showAbout() {
  CAboutDlg about(this);
  about.exec();
}

void WizardPage::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    messageBox(this, QString::fromStdString(error.what()), {}, BoxIcon::Stop);
  }
}

void runWizard() {
  CTabulexDlg page;
  page.exec();
}

}  // namespace ui
