// The destination folder picker and the help launcher of both pages.
#pragma once

#include <QString>

class QWidget;

namespace ui {

// Lets the user choose a folder. True with the folder's path in result when
// one was chosen; false with result emptied when the user cancelled.
bool PickFolder(QString& result, const QString& title, QWidget* owner);

// folder + "/" + name, without doubling a separator the folder already ends in.
QString joinDestination(const QString& folder, const QString& name);

// Where a freshly picked database is proposed to go.
QString defaultDestination(const QString& databaseName);

// Opens help.chm from the executable's folder, or tells the owner it is missing.
void openHelp(QWidget* owner);
QString helpFilePath();

}  // namespace ui
