// A private unixODBC configuration that registers our Access driver from
// the build folder, and small helpers to talk to it through the driver
// manager, as every program does.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tabulex::test {

inline constexpr const char* kAccessDriver = "Microsoft Access Driver (*.mdb)";

// One per test program, made before its first ODBC call (the driver
// manager caches ini files per process): ODBCSYSINI and ODBCINI point into
// a fresh temporary folder whose odbcinst.ini registers the driver.
class AccessOdbcConfig {
 public:
  static AccessOdbcConfig& instance();
  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path userIni() const { return folder_ / "user-odbc.ini"; }
  // A fresh path inside the folder (no suffix added).
  std::filesystem::path path(const std::string& name) const { return folder_ / name; }
  static std::string driverLibrary();

 private:
  AccessOdbcConfig();
  std::filesystem::path folder_;
};

// SQLConfigDataSource with a list written as "KEY=value;KEY=value" (';'
// becomes the NUL separator). On failure, error receives the installer's
// message.
bool configDataSource(int request, const std::string& list, std::string* error = nullptr);

// A new, empty database made through the driver's setup entry ("CREATE_DB="),
// as the converter makes its file, in the private folder; returns the file's
// path. Throws std::runtime_error with the installer's message on failure.
std::string freshDatabase(const std::string& name);

struct Outcome {
  SQLRETURN rc = SQL_SUCCESS;
  std::string state;    // first diagnostic record
  std::string message;  // its text
  bool ok() const { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }
};

using Row = std::vector<std::optional<std::string>>;

// One connection with its own environment.
class Connection {
 public:
  explicit Connection(const std::string& connectString, SQLINTEGER odbcVersion = SQL_OV_ODBC3);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const Outcome& connectOutcome() const { return connect_; }
  bool connected() const { return connect_.ok(); }
  const std::string& completedString() const { return completed_; }
  SQLHDBC dbc() const { return dbc_; }

  Outcome exec(const std::string& sql);
  // Runs a query and reads every value as text (SQLGetData, SQL_C_CHAR).
  std::vector<Row> query(const std::string& sql, Outcome* outcome = nullptr);
  long count(const std::string& table);

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  Outcome connect_;
  std::string completed_;
};

Outcome diagnose(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc);

}  // namespace tabulex::test
