#include "ui/notices.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

namespace ui {

const char* const kPageCaption = "Pelunor Database Converter(MySQL to MS Access )";

namespace {

constexpr Qt::WindowFlags kNoticeFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

QPushButton* pushButton(QDialog* dialog, const QString& text, const QRect& geometry, bool isDefault) {
  auto* button = new QPushButton(text, dialog);
  button->setGeometry(geometry);
  button->setDefault(isDefault);
  button->setAutoDefault(isDefault);
  return button;
}

const QColor kNoticeText(0, 64, 128);

}  // namespace

PaintedDialog::PaintedDialog(QWidget* parent, int widthUnits, int heightUnits, Background background)
    : QDialog(parent, kNoticeFlags), background_(background) {
  setFont(dialogFont());
  setFixedSize(dluX(widthUnits), dluY(heightUnits));
  // The whole client area is painted; nothing of the style's background shows.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaintedDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (isMinimized()) {
    const QPixmap icon = iconPixmap();
    painter.drawPixmap((width() - icon.width() + 1) / 2, (height() - icon.height() + 1) / 2, icon);
    return;
  }
  const QSize outer = outerSize(this);
  switch (background_) {
    case Background::Bands:
      BandedBackground(painter, outer);
      break;
    case Background::Rows:
      RowGradient(painter, outer);
      break;
    case Background::Flat:
      FlatBackground(painter, outer, QColor(200, 240, 240));
      break;
  }
  for (const auto& element : elements_) {
    if (const auto* label = std::get_if<LabelStrip>(&element)) {
      paintLabel(painter, *label);
    } else {
      paintFrame(painter, std::get<GroupFrame>(element));
    }
  }
}

Cmessage1::Cmessage1(QWidget* parent) : PaintedDialog(parent, 162, 67, Background::Rows) {
  setObjectName("Cmessage1");
  setWindowTitle(kPageCaption);
  elements_.push_back(LabelStrip{"Please Select a Table", FontKind::Notice, kNoticeText, QColor(212, 240, 240),
                                 122, 13, 10, 20});
  pushButton(this, "OK", dluRect(52, 39, 50, 14), true)->setObjectName("ok");
  connect(findChild<QPushButton*>("ok"), &QPushButton::clicked, this, &QDialog::accept);
}

Cmessage2::Cmessage2(QWidget* parent) : PaintedDialog(parent, 217, 65, Background::Rows) {
  setObjectName("Cmessage2");
  setWindowTitle(kPageCaption);
  elements_.push_back(LabelStrip{"Database Conversion Compleated Successfully", FontKind::Notice, kNoticeText,
                                 QColor(212, 240, 240), 270, 13, 10, 20});
  auto* ok = pushButton(this, "OK", dluRect(79, 36, 50, 14), true);
  ok->setObjectName("ok");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

CUpdateDriver::CUpdateDriver(QWidget* parent) : PaintedDialog(parent, 361, 73, Background::Flat) {
  setObjectName("CUpdateDriver");
  setWindowTitle("Login Name or Password Mismatch");
  const QColor ground(200, 240, 240);
  elements_.push_back(LabelStrip{
      "Login Name or Password Mismatch in MYSQL Server or Database driver needed updates.", FontKind::Notice,
      kNoticeText, ground, 509, 13, 10, 20});
  elements_.push_back(LabelStrip{
      "Please click on \"Download Button\" to download and update MYSQL Database Driver.", FontKind::Notice,
      kNoticeText, ground, 481, 13, 10, 40});
  auto* download = pushButton(this, "Download", dluRect(225, 49, 50, 14), true);
  download->setObjectName("download");
  auto* exit = pushButton(this, "Exit", dluRect(290, 49, 50, 14), false);
  exit->setObjectName("exit");
  connect(download, &QPushButton::clicked, this, &CUpdateDriver::accept);
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

QUrl CUpdateDriver::downloadAddress() {
  return QUrl("https://dev.mysql.com/downloads/mysql-connector-odbc-3.51.23-win32.msi");
}

void CUpdateDriver::accept() {
  // Whatever the desktop answers, the dialog closes: a failure to open the
  // address is not the user's problem to acknowledge here.
  QDesktopServices::openUrl(downloadAddress());
  QDialog::accept();
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent, kNoticeFlags) {
  setObjectName("CAboutDlg");
  setFont(dialogFont());
  setWindowTitle(QString(kPageCaption) + " ");
  setFixedSize(dluX(306), dluY(166));
  auto* icon = new QLabel(this);
  icon->setPixmap(iconPixmap());
  icon->setGeometry(dluRect(11, 17, 20, 20));
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const struct {
    int x, y;
    const char* text;
  } texts[] = {
      {56, 25, "Pelunor Database Converter MySQL to MS Access "},
      {73, 42, "Version 5.0.1"},
      {55, 72, "Pelunor It Solutions PVT. Ltd"},
      {74, 87, "E-Mail : support@pelunor.com"},
      {74, 108, "WebSite: www.pelunor.com"},
  };
  for (const auto& text : texts) {
    auto* label = new QLabel(text.text, this);
    label->setGeometry(dluRect(text.x, text.y, 187, 15));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  auto* ok = pushButton(this, "OK", dluRect(113, 145, 50, 14), true);
  ok->setObjectName("ok");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void showConversionProblems(QWidget* owner, const std::vector<engine::TableOutcome>& outcomes) {
  QString list, leftOut;
  int failed = 0;
  for (const engine::TableOutcome& outcome : outcomes) {
    const QString source = QString::fromStdString(outcome.source);
    if (outcome.ok) {
      if (outcome.schema.leftOut == 0) continue;
      for (const std::string& note : outcome.notes)
        leftOut += QString("%1: %2\n").arg(source, QString::fromStdString(note));
      continue;
    }
    ++failed;
    QString reason = QString::fromStdString(outcome.message).trimmed();
    if (reason.isEmpty()) reason = "no reason was reported";
    list += QString("%1: %2\n").arg(source, reason);
  }
  QString text;
  if (failed > 0)
    text = QString("Database Conversion Finished, but %1 of %2 tables were not converted:\n\n%3")
               .arg(failed)
               .arg(outcomes.size())
               .arg(list.trimmed());
  if (!leftOut.isEmpty()) {
    if (text.isEmpty())
      text = "Database Conversion Finished, but parts of the schema were left out:";
    else
      text += "\n\nParts of the schema were left out:";
    text += "\n\n" + leftOut.trimmed();
  }
  QMessageBox box(QMessageBox::Warning, kPageCaption, text, QMessageBox::Ok, owner);
  box.setObjectName("conversionProblems");
  // Driver messages may hold markup characters; show them as they are.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void messageBox(QWidget* owner, const QString& text, const QString& caption, BoxIcon icon) {
  QMessageBox box(icon == BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                  caption.isEmpty() ? applicationTitle() : caption, text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool askYesNo(QWidget* owner, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace ui

namespace ui {

QString refusedNameText(const QString& shownName) {
  return "The name \"" + shownName +
         "\" holds a line break, another control character or a blank at either end. It cannot be passed on "
         "to the drivers exactly, so it cannot be converted.";
}

}  // namespace ui
