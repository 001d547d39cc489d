#include "ui/backend.h"

#include <QApplication>
#include <QWidget>

#include "odbc/data_source_registration.h"
#include "ui/notices.h"

#if TABULEX_UI_HAS_ENGINE
#include "engine/conversion_run.h"
#endif

namespace ui {

namespace {

class RealBackend : public Backend {
 public:
  void listDatabases(const std::string& login, const std::string& password, DatabaseListPage& page) override {
    ListDatabases(login, password, page);
  }
  void listTables(const ConversionSettings& settings,
                  const std::function<void(const std::string&)>& deliver) override {
    ListTables(settings, deliver);
  }
  std::vector<engine::TableOutcome> convert(const std::vector<std::string>& tables,
                                            const ConversionSettings& settings,
                                            engine::ConversionObserver& observer) override {
#if TABULEX_UI_HAS_ENGINE
    return engine::ConversionRun(tables, settings, observer);
#else
    if (tables.empty()) {
      observer.pleaseSelectTable();
      return {};
    }
    throw std::runtime_error("This build has no conversion engine.");
#endif
  }
};

// The "Failed to add Data Source" box, owned by whichever page is running.
class RegistrationBox : public RegistrationUi {
 public:
  void showMessage(const std::string& text) override {
    messageBox(QApplication::activeModalWidget(), QString::fromStdString(text));
  }
};

RealBackend realBackend;
RegistrationBox registrationBox;
Backend* current = nullptr;

}  // namespace

Backend& backend() {
  static const bool registered = [] {
    setRegistrationUi(&registrationBox);
    return true;
  }();
  (void)registered;
  return current ? *current : realBackend;
}

bool conversionAvailable() {
#if TABULEX_UI_HAS_ENGINE
  return true;
#else
  return false;
#endif
}

void setBackend(Backend* replacement) { current = replacement; }

}  // namespace ui
