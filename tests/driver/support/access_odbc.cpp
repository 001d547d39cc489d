#include "support/access_odbc.h"

#include <odbcinst.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace tabulex::test {

std::string AccessOdbcConfig::driverLibrary() {
  return std::string(TABULEX_BINARY_DIR) + "/drivers/access/libtabulexaccess.so";
}

AccessOdbcConfig& AccessOdbcConfig::instance() {
  static AccessOdbcConfig config;
  return config;
}

AccessOdbcConfig::AccessOdbcConfig() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tabulex-driver-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  folder_ = pattern;
  std::ofstream(folder_ / "odbcinst.ini")
      << "[" << kAccessDriver << "]\n"
      << "Description=Tabulex Access driver\n"
      << "Driver=" << driverLibrary() << "\n"
      << "Setup=" << driverLibrary() << "\n"
      << "DontDLClose=1\n"
      << "FileUsage=1\n";
  std::ofstream(folder_ / "odbc.ini") << "";
  std::ofstream(userIni()) << "";
  setenv("ODBCSYSINI", folder_.c_str(), 1);
  setenv("ODBCINI", userIni().c_str(), 1);
}

bool configDataSource(int request, const std::string& list, std::string* error) {
  std::string attrs = list;
  for (auto& c : attrs)
    if (c == ';') c = '\0';
  attrs.push_back('\0');
  attrs.push_back('\0');
  BOOL ok = SQLConfigDataSource(nullptr, static_cast<WORD>(request), kAccessDriver, attrs.c_str());
  if (!ok && error) {
    error->clear();
    DWORD code = 0;
    char message[1024];
    WORD length = 0;
    for (WORD i = 1; i <= 8; ++i) {
      if (SQLInstallerError(i, &code, message, sizeof message, &length) != SQL_SUCCESS) break;
      *error += message;
      *error += "\n";
    }
  }
  return ok;
}

std::string freshDatabase(const std::string& name) {
  const std::filesystem::path base = AccessOdbcConfig::instance().path(name);
  std::string error;
  if (!configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base.string() + "\"", &error))
    throw std::runtime_error("CREATE_DB=" + base.string() + " failed: " + error);
  return base.string() + ".mdb";
}

Outcome diagnose(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc) {
  Outcome o;
  o.rc = rc;
  SQLCHAR state[6] = {0};
  SQLCHAR message[2048] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (rc != SQL_SUCCESS && rc != SQL_NO_DATA &&
      SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message,
                                  &length))) {
    o.state = reinterpret_cast<char*>(state);
    o.message = reinterpret_cast<char*>(message);
  }
  return o;
}

Connection::Connection(const std::string& connectString, SQLINTEGER odbcVersion) {
  AccessOdbcConfig::instance();
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(odbcVersion)), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  SQLCHAR out[1024] = {0};
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = SQLDriverConnect(dbc_, nullptr,
                                  reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectString.c_str())),
                                  SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
  connect_ = diagnose(SQL_HANDLE_DBC, dbc_, rc);
  completed_ = reinterpret_cast<char*>(out);
}

Connection::~Connection() {
  if (connected()) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

Outcome Connection::exec(const std::string& sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
  SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                               SQL_NTS);
  Outcome o = diagnose(SQL_HANDLE_STMT, stmt, rc);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return o;
}

std::vector<Row> Connection::query(const std::string& sql, Outcome* outcome) {
  std::vector<Row> rows;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
  SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                               SQL_NTS);
  Outcome o = diagnose(SQL_HANDLE_STMT, stmt, rc);
  if (o.ok()) {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
      Row row;
      for (SQLUSMALLINT c = 1; c <= columns; ++c) {
        std::string value;
        char buffer[4096];
        SQLLEN indicator = 0;
        bool isNull = false;
        for (;;) {
          SQLRETURN r = SQLGetData(stmt, c, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
          if (r == SQL_NO_DATA) break;
          if (!SQL_SUCCEEDED(r)) {
            o = diagnose(SQL_HANDLE_STMT, stmt, r);
            break;
          }
          if (indicator == SQL_NULL_DATA) {
            isNull = true;
            break;
          }
          value += buffer;
          if (r == SQL_SUCCESS) break;
        }
        row.push_back(isNull ? std::nullopt : std::optional<std::string>(value));
      }
      rows.push_back(std::move(row));
    }
    if (rc != SQL_NO_DATA && o.ok()) o = diagnose(SQL_HANDLE_STMT, stmt, rc);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  if (outcome) *outcome = o;
  return rows;
}

long Connection::count(const std::string& table) {
  Outcome o;
  auto rows = query("SELECT COUNT(*) FROM [" + table + "]", &o);
  if (!o.ok() || rows.size() != 1 || !rows[0][0]) return -1;
  return std::stol(*rows[0][0]);
}

}  // namespace tabulex::test
