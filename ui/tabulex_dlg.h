// The connection page: login, the server's databases, the destination.
#pragma once

#include <QSet>
#include <QString>

#include "ui/backend.h"
#include "ui/wizard_page.h"

class QLineEdit;

namespace ui {

class ImageButton;

class CTabulexDlg : public WizardPage, private DatabaseListPage {
  Q_OBJECT
 public:
  explicit CTabulexDlg(QWidget* parent = nullptr);

 public slots:
  void OnRefreshDB();
  void OnSelchangeDatabase();
  void OnBrowse();
  void OnHelp();
  void OnNext();

 private:
  void showMessage(const std::string& text) override;
  void showDriverProblem() override;
  void addDatabaseName(const std::string& name) override;
  void disableRefresh() override;

  ImageButton* next_;
  QLineEdit* server_;
  QLineEdit* login_;
  QLineEdit* password_;
  QLineEdit* destination_;
  SortedListBox* databases_;
  ImageButton* refresh_;
  ImageButton* help_;
  ImageButton* browse_;
  // Listed names that odbc.ini cannot carry, as the list shows them.
  QSet<QString> refusedDatabases_;
};

}  // namespace ui
