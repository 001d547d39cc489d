#include "ui/folder_help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QUrl>

#include "ui/notices.h"

namespace ui {

bool PickFolder(QString& result, const QString& title, QWidget* owner) {
  QFileDialog dialog(owner, title, QDir::homePath());
  dialog.setObjectName("folderPicker");
  // Qt's own dialog: the same on every desktop, and it can carry the status text.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setFileMode(QFileDialog::Directory);
  auto* status = new QLabel(&dialog);
  status->setObjectName("status");
  status->setTextFormat(Qt::PlainText);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
  }
  QObject::connect(&dialog, &QFileDialog::currentChanged, status, [status](const QString& path) {
    // Entries without a place in the file system keep the previous text.
    if (!path.isEmpty()) status->setText(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
  });
  if (dialog.exec() != QDialog::Accepted) {
    result.clear();
    return false;
  }
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return false;
  result = QDir::toNativeSeparators(chosen.first());
  return true;
}

QString joinDestination(const QString& folder, const QString& name) {
  if (folder.endsWith('/')) return folder + name;
  return folder + '/' + name;
}

QString defaultDestination(const QString& databaseName) {
  return joinDestination(QDir::homePath(), databaseName);
}

QString helpFilePath() { return QCoreApplication::applicationDirPath() + "/help.chm"; }

void openHelp(QWidget* owner) {
  const QString path = helpFilePath();
  if (QFileInfo::exists(path)) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return;
  }
  messageBox(owner, "help.chm file not exist", "Pelunor Kestrune", BoxIcon::Stop);
}

}  // namespace ui
