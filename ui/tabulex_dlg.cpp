#include "ui/tabulex_dlg.h"

#include <QFileInfo>
#include <QLineEdit>
#include <optional>

#include "odbc/carried_text.h"
#include "odbc/destination_file.h"

#include "ui/folder_help.h"
#include "ui/image_button.h"
#include "ui/pelunor_con.h"

namespace ui {

namespace {

QLineEdit* edit(QWidget* parent, const char* name, const QRect& geometry) {
  auto* line = new QLineEdit(parent);
  line->setObjectName(name);
  line->setGeometry(geometry);
  return line;
}

ImageButton* imageButton(QWidget* parent, const char* name, const QRect& geometry, int normal, int pressed) {
  auto* button = new ImageButton(parent, geometry);
  button->setObjectName(name);
  button->loadBitmaps(normal, pressed);
  return button;
}

const QColor kBlack(0, 0, 0);

constexpr const char* kServerNameInvalidText =
    "The Server Name is not valid.\nType a host name, or host:port (an IPv6 address in brackets: [::1]:3306).";

}  // namespace

CTabulexDlg::CTabulexDlg(QWidget* parent) : WizardPage(parent, 471, 324, {}) {
  setObjectName("CTabulexDlg");
  // Controls in their tab order.
  next_ = imageButton(this, "next", dluRect(329, 288, 59, 16), 129, 139);
  server_ = edit(this, "server", dluRect(168, 105, 215, 16));
  login_ = edit(this, "login", dluRect(168, 131, 215, 16));
  password_ = edit(this, "password", dluRect(168, 157, 215, 16));
  password_->setEchoMode(QLineEdit::Password);
  destination_ = edit(this, "destination", dluRect(168, 253, 215, 16));
  databases_ = new SortedListBox(this, dluRect(168, 186, 218, 21));
  databases_->setObjectName("databases");
  refresh_ = imageButton(this, "refresh", dluRect(70, 188, 59, 16), 150, 142);
  help_ = imageButton(this, "help", dluRect(340, 18, 60, 18), 137, 138);
  browse_ = imageButton(this, "browse", dluRect(88, 252, 60, 16), 140, 141);
  QWidget* order[] = {next_, server_, login_, password_, destination_, databases_, refresh_, help_, browse_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  server_->setText("localhost");

  const QColor title(220, 28, 34);
  elements_ = {
      LabelStrip{"Pelunor MYSQL to MS Access Database Converter", FontKind::Title, title, QColor(220, 240, 240), 580,
                 33, 50, 70},
      LabelStrip{"Server Name", FontKind::Label, kBlack, QColor(200, 240, 240), 76, 13, 70, 170},
      LabelStrip{"Login Name", FontKind::Label, kBlack, QColor(179, 240, 240), 67, 13, 70, 215},
      LabelStrip{"Password", FontKind::Label, kBlack, QColor(178, 240, 240), 54, 13, 70, 255},
      GroupFrame{{{49, 354}, {620, 354}},
                 {{49, 354}, {49, 135}},
                 {{620, 354}, {620, 135}},
                 {{205, 135}, {620, 135}},
                 {{49, 135}, {67, 135}}},
      LabelStrip{"MYSQL Database (Source)", FontKind::Label, kBlack, QColor(210, 240, 240), 150, 13, 68, 128},
      GroupFrame{{{49, 450}, {620, 450}},
                 {{620, 450}, {620, 390}},
                 {{49, 450}, {49, 390}},
                 {{300, 390}, {620, 390}},
                 {{49, 390}, {99, 390}}},
      LabelStrip{"MS Access Database (Destination)", FontKind::Label, kBlack, QColor(150, 240, 240), 195, 13, 100,
                 380},
  };

  connect(refresh_, &QAbstractButton::clicked, this, [this] { guarded([this] { OnRefreshDB(); }); });
  connect(databases_, &QListWidget::itemSelectionChanged, this, &CTabulexDlg::OnSelchangeDatabase);
  connect(browse_, &QAbstractButton::clicked, this, &CTabulexDlg::OnBrowse);
  connect(help_, &QAbstractButton::clicked, this, &CTabulexDlg::OnHelp);
  connect(next_, &QAbstractButton::clicked, this, &CTabulexDlg::OnNext);
}

void CTabulexDlg::OnRefreshDB() {
  // The listing and the run that follows both reach the server named here.
  std::optional<MySqlServer> server = parseServerName(server_->text().toStdString());
  if (!server) {
    messageBox(this, kServerNameInvalidText);
    server_->setFocus();
    return;
  }
  conversionSettings().server.host = server->host;
  conversionSettings().server.port = server->port;
  backend().listDatabases(login_->text().toStdString(), password_->text().toStdString(), *this);
}

void CTabulexDlg::showMessage(const std::string& text) { messageBox(this, QString::fromStdString(text)); }

void CTabulexDlg::showDriverProblem() {
  CUpdateDriver dialog(this);
  dialog.exec();
}

void CTabulexDlg::addDatabaseName(const std::string& name) {
  // A line break would show one name as two harmless-looking entries.
  const QString shown = QString::fromStdString(escapedText(name));
  if (!fitsIniValue(name)) refusedDatabases_.insert(shown);
  databases_->addString(shown);
}

void CTabulexDlg::disableRefresh() { refresh_->setEnabled(false); }

void CTabulexDlg::OnSelchangeDatabase() {
  const int index = databases_->selectedIndex();
  if (index < 0) return;
  if (refusedDatabases_.contains(databases_->text(index))) {
    messageBox(this, refusedNameText(databases_->text(index)));
    return;
  }
  ConversionSettings& settings = conversionSettings();
  settings.databaseName = databases_->text(index).toStdString();
  // Whatever was typed or browsed before gives way to the proposal.
  const QString destination = defaultDestination(databases_->text(index));
  settings.destinationPath = destination.toStdString();
  destination_->setText(destination);
}

void CTabulexDlg::OnBrowse() {
  QString folder;
  if (!PickFolder(folder, "Sample of  getting folder.", this) || folder.isEmpty()) return;
  destination_->setText(joinDestination(folder, QString::fromStdString(conversionSettings().databaseName)));
}

void CTabulexDlg::OnHelp() { openHelp(this); }

void CTabulexDlg::OnNext() {
  const QString destination = destination_->text();
  // The run writes one ".mdb", added only when missing; "folder/" names no file.
  const QString base = QString::fromStdString(destinationWithoutSuffix(destination.toStdString()));
  if (destination.isEmpty() || base.isEmpty() || base.endsWith('/')) {
    messageBox(this, "Please Select A Database");
    return;
  }
  const std::string path = base.toStdString();
  if (!fitsIniValue(path + ".mdb") || path.find('"') != std::string::npos) {
    messageBox(this, kDestinationRefusedText);
    destination_->setFocus();
    return;
  }
  const QString fileName = base + ".mdb";
  ConversionSettings& settings = conversionSettings();
  settings.replaceDestination = false;
  if (QFileInfo(fileName).exists() || QFileInfo(fileName).isSymLink()) {
    const QString prompt = "File Named " + destination +
                           " is Already Exist.., \n\nDo You Want to Overwrite Database....\n\n If No then Please "
                           "Choose Another Database";
    if (!askYesNo(this, prompt, "Pelunor Database Converter (MSSQL Server To MS Access)")) {
      destination_->setFocus();
      return;
    }
    // Only marked: the old file stays until Convert starts the new one, so
    // leaving the table page keeps it.
    settings.replaceDestination = true;
  }
  settings.destinationPath = path;

  // Hand over: this page's run ends (and the page hides) before the table
  // page runs inside this handler; closing that page unwinds both runs.
  done(QDialog::Accepted);
  CPelunor_Con tables;
  tables.exec();
}

}  // namespace ui
