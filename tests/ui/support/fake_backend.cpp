#include "support/fake_backend.h"

#include <filesystem>

#include "odbc/database.h"

namespace uitest {

FakeBackend::FakeBackend() { ui::setBackend(this); }
FakeBackend::~FakeBackend() { ui::setBackend(nullptr); }

void FakeBackend::listDatabases(const std::string& login, const std::string& password,
                                ui::DatabaseListPage& page) {
  if (login.empty() || password.empty()) {
    page.showMessage(kLoginMissingText);
    return;
  }
  conversionSettings().loginName = login;
  conversionSettings().password = password;
  if (password == refusedPassword) {
    page.showDriverProblem();
    return;
  }
  for (const std::string& name : databases) {
    page.addDatabaseName(name);
    if (!listingFailure.empty()) throw CDBException(-1, listingFailure);
  }
  page.disableRefresh();
}

void FakeBackend::listTables(const ConversionSettings& settings,
                             const std::function<void(const std::string&)>& deliver) {
  listedTablesOf.push_back(settings.databaseName);
  for (const std::string& name : tables) deliver(name);
}

std::vector<engine::TableOutcome> FakeBackend::convert(const std::vector<std::string>& chosen,
                                                       const ConversionSettings& settings,
                                                       engine::ConversionObserver& observer) {
  if (chosen.empty()) {
    observer.pleaseSelectTable();
    return {};
  }
  runs.push_back(chosen);
  destinationExisted.push_back(std::filesystem::exists(settings.destinationPath + ".mdb"));
  observer.startProgress(40, 650);
  observer.setStatusText("Converting Database...");
  std::vector<engine::TableOutcome> outcomes;
  for (const std::string& table : chosen) {
    observer.redraw();
    observer.setStatusText("Converting....Tables   " + table);
    engine::TableOutcome outcome;
    outcome.source = outcome.destination = table;
    outcome.ok = failingTables.count(table) == 0;
    if (!outcome.ok) outcome.message = "Table '" + table + "' already <exists>";
    if (changing.count(table)) outcome.notes.push_back("index i covers whole columns");
    if (leavingOut.count(table)) {
      outcome.notes.push_back("index ft left out: Access has no FULLTEXT index");
      outcome.schema.leftOut = 1;
    }
    observer.stepProgress(650 / static_cast<int>(chosen.size()));
    observer.tableFinished(outcome);
    outcomes.push_back(outcome);
  }
  observer.setProgressPosition(650);
  observer.conversionFinished(outcomes);
  observer.setStatusText("Database Conversion Compleated");
  return outcomes;
}

}  // namespace uitest
