// The wizard: runs the connection page and ends when the visible page is
// closed or a conversion is over.
#include <QApplication>

#include "ui/chrome.h"
#include "ui/wizard_page.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::setUpApplication();
  ui::runWizard();
  return 0;
}
