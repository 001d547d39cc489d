#include "odbc/source_catalogue.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <vector>

#include "odbc/connect_string.h"
#include "odbc/data_source_lock.h"
#include "odbc/data_source_registration.h"
#include "odbc/database.h"

namespace {

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// One raw catalogue connection: environment, connection and statement,
// released in the reverse order however the owner leaves.
class RawConnection {
public:
  RawConnection() = default;
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  ~RawConnection() {
    if (stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (connected) SQLDisconnect(dbc);
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  // Environment (ODBC 3) and connection handle.
  bool allocate() {
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
      env = SQL_NULL_HENV;
      return false;
    }
    if (!succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
      return false;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
      dbc = SQL_NULL_HDBC;
      return false;
    }
    return true;
  }

  // Logins and passwords of any length are passed whole.
  bool connect(const std::string& dataSource, const std::string& login, const std::string& password) {
    std::string name = dataSource, user = login, secret = password;
    connected = succeeded(SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(name.data()), SQL_NTS,
                                     reinterpret_cast<SQLCHAR*>(user.data()), SQL_NTS,
                                     reinterpret_cast<SQLCHAR*>(secret.data()), SQL_NTS));
    return connected;
  }

  // A connect string carries the login and password braced, whatever they hold.
  bool driverConnect(const std::string& connect) {
    std::string text = connect;
    connected = succeeded(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                           nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    return connected;
  }

  bool allocateStatement() {
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
      stmt = SQL_NULL_HSTMT;
      return false;
    }
    return true;
  }

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  bool connected = false;
};

// A bound SQL_C_CHAR column. Large enough for any MySQL identifier in UTF-8.
struct TextColumn {
  std::vector<char> buffer = std::vector<char>(1024);
  SQLLEN indicator = 0;

  bool bind(SQLHSTMT stmt, SQLUSMALLINT column) {
    return succeeded(SQLBindCol(stmt, column, SQL_C_CHAR, buffer.data(), static_cast<SQLLEN>(buffer.size()),
                                &indicator));
  }
  std::string text() const {
    if (indicator == SQL_NULL_DATA || indicator < 0) return {};
    return std::string(buffer.data(), std::min(static_cast<size_t>(indicator), buffer.size() - 1));
  }
};

// Reads the names through the access layer under the user's own login.
// Returns false when the connection gave nothing to read from.
bool listNames(const std::string& login, const std::string& password, CatalogueUi& ui) {
  CDatabase database;
  if (!database.OpenEx(connectStringFor(kCatalogueDataSource, login, password), 0)) return false;
  CRecordset names(&database);
  names.Open(CRecordset::kDefaultType, "SELECT schema_name from schemata", CRecordset::readOnly);
  const short columns = names.GetODBCFieldCount();
  while (!names.IsEOF()) {
    for (short i = 0; i < columns; ++i) {
      CODBCFieldInfo info;
      names.GetODBCFieldInfo(i, info);
      if (info.m_nSQLType == SQL_VARCHAR) {
        std::string name;
        names.GetFieldValue(i, name);
        ui.addDatabaseName(name);
      }
    }
    names.MoveNext();
  }
  ui.disableRefresh();
  names.Close();
  database.Close();
  return true;
}

// Looks for a SCHEMA_NAME column among the catalogue's columns and lists the
// names once when it is there.
bool scanColumns(const std::string& login, const std::string& password, CatalogueUi& ui) {
  RawConnection b;
  if (!b.allocate()) return false;
  if (!b.connect(kCatalogueDataSource, login, password)) return false;
  if (!b.allocateStatement()) return false;
  if (!succeeded(SQLColumns(b.stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0))) return false;
  TextColumn columnName;
  if (!columnName.bind(b.stmt, 4)) return false;
  while (SQLFetch(b.stmt) == SQL_SUCCESS) {
    // Several tables have a SCHEMA_NAME column; the names are wanted once.
    if (columnName.text() == "SCHEMA_NAME") return listNames(login, password, ui);
  }
  return false;
}

}  // namespace

ListDatabasesOutcome ListDatabases(const std::string& login, const std::string& password, CatalogueUi& ui) {
  if (login.empty() || password.empty()) {
    ui.showMessage(kLoginMissingText);
    return ListDatabasesOutcome::rejected;
  }
  ConversionSettings& settings = conversionSettings();
  settings.loginName = login;
  settings.password = password;

  // Another wizard's run reads odbc.ini while it converts; writing it now
  // could let that run read a half-written file.
  DataSourceLock lock;
  AddMySqlDataSource("information_schema", kCatalogueDataSource, "");

  RawConnection a;
  if (!a.allocate()) return ListDatabasesOutcome::listed;
  if (!a.connect(kCatalogueDataSource, login, password)) {
    ui.showDriverProblem();
    return ListDatabasesOutcome::refused;
  }
  if (!a.allocateStatement()) return ListDatabasesOutcome::listed;
  if (!succeeded(SQLTables(a.stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)))
    return ListDatabasesOutcome::listed;
  TextColumn tableName;
  if (!tableName.bind(a.stmt, 3)) return ListDatabasesOutcome::listed;
  while (succeeded(SQLFetch(a.stmt))) {
    if (tableName.text() == "SCHEMATA" && scanColumns(login, password, ui)) break;
  }
  return ListDatabasesOutcome::listed;
}

void ListTables(const ConversionSettings& settings, const std::function<void(const std::string&)>& deliver) {
  // "dsnms" is re-pointed here; a run of another wizard may be reading it.
  DataSourceLock lock;
  if (!AddMySqlDataSource(settings.databaseName, kSourceDataSource, "", settings.server)) return;
  ListTablesThrough(connectStringFor(kSourceDataSource, settings), settings.databaseName, deliver);
}

void ListTablesThrough(const std::string& connect, const std::string& database,
                       const std::function<void(const std::string&)>& deliver) {
  RawConnection c;
  if (!c.allocate()) return;
  if (!c.driverConnect(connect)) return;
  if (!c.allocateStatement()) return;
  // Naming the catalogue keeps other databases' tables out of the list.
  std::string catalogue = database;
  if (!succeeded(SQLTables(c.stmt, reinterpret_cast<SQLCHAR*>(catalogue.data()),
                           static_cast<SQLSMALLINT>(catalogue.size()), nullptr, 0, nullptr, 0, nullptr, 0)))
    return;
  TextColumn tableName, tableType;
  if (!tableName.bind(c.stmt, 3) || !tableType.bind(c.stmt, 4)) return;
  while (succeeded(SQLFetch(c.stmt))) {
    if (tableType.text() == "TABLE") deliver(tableName.text());
  }
}
