// Asks the MySQL server which databases it holds and which tables the chosen
// database holds. No user interface here: the wizard implements CatalogueUi.
#pragma once

#include <functional>
#include <string>

#include "odbc/conversion_settings.h"

// What the database listing shows the user.
class CatalogueUi {
public:
  virtual ~CatalogueUi() = default;
  virtual void showMessage(const std::string& text) = 0;
  // The server could not be reached with this login (or the driver is missing).
  virtual void showDriverProblem() = 0;
  virtual void addDatabaseName(const std::string& name) = 0;
  // Called once the names have been listed.
  virtual void disableRefresh() = 0;
};

enum class ListDatabasesOutcome {
  rejected,  // login or password empty; nothing else happened
  refused,   // the first connection failed; showDriverProblem was called
  listed,    // zero or more names were added
};

inline constexpr const char* kLoginMissingText = "Login Name or Password Missmatch";

// Checks that both login and password were typed, stores them in
// conversionSettings(), registers "refDB" for the settings' server and adds every database name the
// server reports, once each. A failure of the name query itself arrives as
// CDBException (the caller shows its text).
ListDatabasesOutcome ListDatabases(const std::string& login, const std::string& password, CatalogueUi& ui);

// Registers "dsnms" for settings.databaseName on settings.server and delivers the name of every
// base table of that database, logging in as settings.loginName. Any failure
// (a database name odbc.ini cannot carry among them) ends the listing quietly.
// Holds the data-source lock throughout, as ListDatabases does.
void ListTables(const ConversionSettings& settings, const std::function<void(const std::string&)>& deliver);

// The same through a connect string of the caller's, registering nothing.
void ListTablesThrough(const std::string& connect, const std::string& database,
                       const std::function<void(const std::string&)>& deliver);
