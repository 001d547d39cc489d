// The small modal dialogs the pages open: the two notices, the
// driver-problem dialog, the About box, and the report of tables that could
// not be converted.
#pragma once

#include <QDialog>
#include <QUrl>
#include <variant>
#include <vector>

#include "engine/conversion_observer.h"
#include "ui/chrome.h"

class QPushButton;

namespace ui {

extern const char* const kPageCaption;

// A dialog whose background and text are painted, not made of controls.
class PaintedDialog : public QDialog {
  Q_OBJECT
 public:
  enum class Background { Bands, Rows, Flat };
  PaintedDialog(QWidget* parent, int widthUnits, int heightUnits, Background background);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Painted after the background, in order; later ones cover earlier ones.
  std::vector<std::variant<LabelStrip, GroupFrame>> elements_;

 private:
  Background background_;
};

// "Please Select a Table".
class Cmessage1 : public PaintedDialog {
  Q_OBJECT
 public:
  explicit Cmessage1(QWidget* parent = nullptr);
};

// "Database Conversion Compleated Successfully".
class Cmessage2 : public PaintedDialog {
  Q_OBJECT
 public:
  explicit Cmessage2(QWidget* parent = nullptr);
};

// Offered when the server refuses the listing connection.
class CUpdateDriver : public PaintedDialog {
  Q_OBJECT
 public:
  explicit CUpdateDriver(QWidget* parent = nullptr);
  static QUrl downloadAddress();

 public slots:
  void accept() override;  // Download, and Enter
};

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

// Names the tables of a run that did not convert, with the reason of each,
// and the notes of tables whose schema was carried only in part. Returns
// after the user closed it.
void showConversionProblems(QWidget* owner, const std::vector<engine::TableOutcome>& outcomes);

// Message boxes owned by a page. An empty caption gives the application title.
enum class BoxIcon { None, Stop };
void messageBox(QWidget* owner, const QString& text, const QString& caption = {}, BoxIcon icon = BoxIcon::None);
bool askYesNo(QWidget* owner, const QString& text, const QString& caption);

// A database or table name no data source or connect string can carry
// exactly, as the list shows it (escaped).
QString refusedNameText(const QString& shownName);

// A destination the installer's attribute list cannot carry.
inline constexpr const char* kDestinationRefusedText =
    "The destination cannot hold a double quote, a line break or another control character, nor begin "
    "with a blank. Please Choose Another Name";

}  // namespace ui
