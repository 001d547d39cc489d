// The table-selection page: the chosen database's tables, the tables to
// convert, and the conversion run's status line and progress bar.
#pragma once

#include <QProgressBar>
#include <QSet>
#include <QString>

#include "ui/backend.h"
#include "ui/wizard_page.h"

class QCheckBox;
class QTextEdit;

namespace ui {

class ImageButton;

// A progress bar that steps like the classic control: a step that would go
// past the upper bound starts again from the lower bound.
class SteppingProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  using QProgressBar::QProgressBar;
  void setStep(int step) { step_ = step; }
  void stepIt();

 private:
  int step_ = 10;
};

class CPelunor_Con : public WizardPage, private engine::ConversionObserver {
  Q_OBJECT
 public:
  explicit CPelunor_Con(QWidget* parent = nullptr);

 public slots:
  void OnAdd();
  void OnRem();
  void OnConvert();
  void OnHelp();
  // Prev and Enter: back to a fresh connection page.
  void accept() override;
  // Esc and the close box end the wizard.
  void reject() override;

 private:
  void move(SortedListBox& from, SortedListBox& to);

  void pleaseSelectTable() override;
  void startProgress(int lower, int upper) override;
  void setStatusText(const std::string& text) override;
  void stepProgress(int step) override;
  void setProgressPosition(int position) override;
  void redraw() override;
  void tableFinished(const engine::TableOutcome& outcome) override;
  void conversionFinished(const std::vector<engine::TableOutcome>& outcomes) override;

  SortedListBox* source_;
  SortedListBox* selected_;
  ImageButton* add_;
  ImageButton* rem_;
  QCheckBox* selectAll_;
  ImageButton* prev_;
  ImageButton* convert_;
  ImageButton* help_;
  QTextEdit* statusLine_ = nullptr;
  SteppingProgressBar* progressBar_ = nullptr;
  // Listed names holding control characters, as the lists show them.
  QSet<QString> refusedTables_;
};

}  // namespace ui
