#include "ui/pelunor_con.h"

#include <unistd.h>

#include <QCheckBox>
#include <QTextEdit>
#include <cerrno>

#include "odbc/carried_text.h"
#include "odbc/destination_file.h"
#include "ui/notices.h"

#include "ui/folder_help.h"
#include "ui/image_button.h"
#include "ui/tabulex_dlg.h"

namespace ui {

namespace {

ImageButton* imageButton(QWidget* parent, const char* name, const QRect& geometry, int normal, int pressed) {
  auto* button = new ImageButton(parent, geometry);
  button->setObjectName(name);
  button->loadBitmaps(normal, pressed);
  return button;
}

const QColor kBlack(0, 0, 0);

}  // namespace

void SteppingProgressBar::stepIt() {
  int position = value() + step_;
  if (position > maximum()) position = minimum();
  setValue(position);
}

CPelunor_Con::CPelunor_Con(QWidget* parent) : WizardPage(parent, 472, 326, Qt::WindowStaysOnTopHint) {
  setObjectName("CPelunor_Con");
  source_ = new SortedListBox(this, dluRect(61, 107, 125, 101));
  source_->setObjectName("source");
  selected_ = new SortedListBox(this, dluRect(291, 107, 125, 101));
  selected_->setObjectName("selected");
  add_ = imageButton(this, "add", dluRect(223, 116, 28, 22), 132, 131);
  rem_ = imageButton(this, "rem", dluRect(225, 162, 25, 20), 134, 133);
  selectAll_ = new QCheckBox(this);
  selectAll_->setObjectName("selectAll");
  selectAll_->setGeometry(dluRect(61, 213, 8, 8));
  prev_ = imageButton(this, "prev", dluRect(277, 274, 59, 16), 135, 136);
  convert_ = imageButton(this, "convert", dluRect(350, 274, 59, 16), 144, 145);
  help_ = imageButton(this, "help", dluRect(351, 19, 61, 17), 137, 138);
  QWidget* order[] = {source_, selected_, add_, rem_, selectAll_, prev_, convert_, help_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  const QColor strip(199, 240, 240);
  elements_ = {
      LabelStrip{"Pelunor MYSQL to MS Access Database Converter", FontKind::Title, QColor(220, 28, 34),
                 QColor(220, 240, 240), 580, 33, 50, 70},
      GroupFrame{{{47, 374}, {310, 374}},
                 {{47, 374}, {47, 155}},
                 {{310, 374}, {310, 155}},
                 {{204, 155}, {311, 155}},
                 {{47, 155}, {66, 155}}},
      LabelStrip{"MYSQL Database (Source)", FontKind::Label, kBlack, strip, 150, 13, 68, 148},
      GroupFrame{{{395, 374}, {650, 374}},
                 {{650, 374}, {650, 155}},
                 {{395, 155}, {395, 374}},
                 {{614, 155}, {651, 155}},
                 {{396, 155}, {415, 155}}},
      LabelStrip{"MS Access Database (Destination)", FontKind::Label, kBlack, strip, 195, 13, 416, 148},
      LabelStrip{"Select All Tables", FontKind::Label, kBlack, QColor(156, 240, 240), 94, 13, 110, 345},
  };

  connect(add_, &QAbstractButton::clicked, this, &CPelunor_Con::OnAdd);
  connect(rem_, &QAbstractButton::clicked, this, &CPelunor_Con::OnRem);
  connect(convert_, &QAbstractButton::clicked, this, [this] { guarded([this] { OnConvert(); }); });
  connect(help_, &QAbstractButton::clicked, this, &CPelunor_Con::OnHelp);
  connect(prev_, &QAbstractButton::clicked, this, &CPelunor_Con::accept);

  // A listing that fails part-way leaves the list as far as it was filled.
  guarded([this] {
    backend().listTables(conversionSettings(), [this](const std::string& name) {
      const QString shown = QString::fromStdString(escapedText(name));
      if (hasControlCharacter(name)) refusedTables_.insert(shown);
      source_->addString(shown);
    });
  });
}

void CPelunor_Con::move(SortedListBox& from, SortedListBox& to) {
  const int count = from.count();
  if (selectAll_->isChecked()) {
    for (int i = 0; i < count; ++i) {
      to.addString(from.text(0));
      from.deleteString(0);
    }
    return;
  }
  const int index = from.selectedIndex();
  if (index < 0) {
    pleaseSelectTable();
    return;
  }
  to.addString(from.text(index));
  from.deleteString(index);
}

void CPelunor_Con::OnAdd() { move(*source_, *selected_); }
void CPelunor_Con::OnRem() { move(*selected_, *source_); }
void CPelunor_Con::OnHelp() { openHelp(this); }

void CPelunor_Con::OnConvert() {
  std::vector<std::string> tables;
  for (const QString& name : selected_->texts()) {
    if (refusedTables_.contains(name)) {
      messageBox(this, refusedNameText(name));
      return;
    }
    tables.push_back(name.toStdString());
  }
  ConversionSettings& settings = conversionSettings();
  if (!tables.empty() && settings.replaceDestination) {
    // The file the user agreed to replace goes now, as the new one starts,
    // unless another program is using it.
    const std::string file = settings.destinationPath + ".mdb";
    {
      FileHold hold(file);
      if (!hold.held()) {
        messageBox(this, QString::fromStdString(fileInUseMessage(file)));
        return;
      }
      if (::unlink(file.c_str()) != 0 && errno != ENOENT)
        qCDebug(lcTabulex).noquote() << QString::fromStdString("File " + file + " cannot be removed\n");
    }
    settings.replaceDestination = false;
  }
  backend().convert(tables, settings, *this);
  // With nothing selected the run only showed its notice; the page stays.
  if (!tables.empty()) done(QDialog::Accepted);
}

void CPelunor_Con::accept() {
  done(QDialog::Accepted);
  CTabulexDlg page;
  page.exec();
}

void CPelunor_Con::reject() { done(QDialog::Accepted); }

void CPelunor_Con::pleaseSelectTable() {
  // Owned by the page: a window without an owner would open beneath this
  // page, which stays above the others.
  Cmessage1 notice(this);
  notice.exec();
}

void CPelunor_Con::startProgress(int lower, int upper) {
  if (!statusLine_) {
    statusLine_ = new QTextEdit(this);
    statusLine_->setObjectName("statusLine");
    statusLine_->setGeometry(QRect(QPoint(40, 390), QPoint(499, 417)));
    statusLine_->setReadOnly(true);
    statusLine_->setFrameStyle(QFrame::NoFrame);
    statusLine_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    statusLine_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    statusLine_->setFocusPolicy(Qt::NoFocus);
    QPalette palette = statusLine_->palette();
    palette.setColor(QPalette::Base, QColor(142, 240, 240));
    statusLine_->setPalette(palette);
    statusLine_->show();
  }
  if (!progressBar_) {
    progressBar_ = new SteppingProgressBar(this);
    progressBar_->setObjectName("progressBar");
    progressBar_->setGeometry(QRect(QPoint(40, 420), QPoint(649, 429)));
    progressBar_->setTextVisible(false);
    QPalette palette = progressBar_->palette();
    palette.setColor(QPalette::Base, QColor(240, 240, 240));
    palette.setColor(QPalette::Window, QColor(240, 240, 240));
    progressBar_->setPalette(palette);
    progressBar_->show();
  }
  progressBar_->setRange(lower, upper);
  progressBar_->setValue(lower);
  redraw();
}

void CPelunor_Con::setStatusText(const std::string& text) {
  if (!statusLine_) return;
  // Table names are shown as they are, never read as markup.
  statusLine_->setPlainText(QString::fromStdString(text));
  statusLine_->repaint();
}

void CPelunor_Con::stepProgress(int step) {
  if (!progressBar_) return;
  progressBar_->setStep(step);
  progressBar_->stepIt();
  progressBar_->repaint();
}

void CPelunor_Con::setProgressPosition(int position) {
  if (!progressBar_) return;
  progressBar_->setValue(position);
  progressBar_->repaint();
}

// The run holds the event loop; only explicit redraws reach the screen.
void CPelunor_Con::redraw() { repaint(); }

void CPelunor_Con::tableFinished(const engine::TableOutcome& outcome) {
  qCDebug(lcTabulex).noquote() << QString::fromStdString(outcome.source) << (outcome.ok ? "converted" : "failed:")
                               << QString::fromStdString(outcome.message);
}

void CPelunor_Con::conversionFinished(const std::vector<engine::TableOutcome>& outcomes) {
  for (const engine::TableOutcome& outcome : outcomes) {
    if (!outcome.ok || outcome.schema.leftOut > 0) {
      showConversionProblems(this, outcomes);
      return;
    }
  }
  Cmessage2 notice(this);
  notice.exec();
}

}  // namespace ui
