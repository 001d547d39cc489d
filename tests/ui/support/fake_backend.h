// A stand-in for the catalogue and the engine, for driving the pages without
// a server: fixed database and table names, and a run that reports to the
// page the way a conversion does, with chosen tables failing.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "ui/backend.h"

namespace uitest {

class FakeBackend : public ui::Backend {
 public:
  FakeBackend();
  ~FakeBackend() override;

  std::vector<std::string> databases;
  std::vector<std::string> tables;
  std::string refusedPassword = "wrong";
  std::set<std::string> failingTables;
  // Tables that convert with a part of their schema left out, or only changed.
  std::set<std::string> leavingOut;
  std::set<std::string> changing;
  // When set, the name query fails part-way with this driver message.
  std::string listingFailure;

  // What the pages asked for.
  std::vector<std::string> listedTablesOf;  // databaseName at each table listing
  std::vector<std::vector<std::string>> runs;
  // Whether the destination file (destinationPath + ".mdb") existed as each run began.
  std::vector<bool> destinationExisted;

  void listDatabases(const std::string& login, const std::string& password, ui::DatabaseListPage& page) override;
  void listTables(const ConversionSettings& settings,
                  const std::function<void(const std::string&)>& deliver) override;
  std::vector<engine::TableOutcome> convert(const std::vector<std::string>& tables,
                                            const ConversionSettings& settings,
                                            engine::ConversionObserver& observer) override;
};

}  // namespace uitest
