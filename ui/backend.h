// What the pages ask of the rest of the program: the database and table
// listings and the conversion itself. The wizard uses the real catalogue and
// engine; tests of the pages alone can put a stand-in here.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/conversion_observer.h"
#include "odbc/conversion_settings.h"
#include "odbc/source_catalogue.h"

namespace ui {

// The connection page as the database listing sees it.
using DatabaseListPage = CatalogueUi;

class Backend {
 public:
  virtual ~Backend() = default;
  virtual void listDatabases(const std::string& login, const std::string& password, DatabaseListPage& page) = 0;
  virtual void listTables(const ConversionSettings& settings,
                          const std::function<void(const std::string&)>& deliver) = 0;
  virtual std::vector<engine::TableOutcome> convert(const std::vector<std::string>& tables,
                                                    const ConversionSettings& settings,
                                                    engine::ConversionObserver& observer) = 0;
};

// Whether this build carries the conversion engine.
bool conversionAvailable();

// The backend the pages use; the real one unless a test put another in.
Backend& backend();
void setBackend(Backend* replacement);  // nullptr restores the real one

}  // namespace ui
