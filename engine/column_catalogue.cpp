#include "engine/column_catalogue.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <map>

#include "odbc/connect_string.h"
#include "odbc/conversion_settings.h"
#include "odbc/data_source_registration.h"

namespace engine {

namespace {

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Frees a statement handle when the scope ends.
struct Statement {
  SQLHSTMT handle = SQL_NULL_HSTMT;
  ~Statement() {
    if (handle) SQLFreeHandle(SQL_HANDLE_STMT, handle);
  }
};

std::string boundText(const std::vector<char>& buffer, SQLLEN indicator) {
  if (indicator == SQL_NULL_DATA || indicator < 0) return {};
  std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(indicator), buffer.size() - 1);
  return std::string(buffer.data(), length);
}

// Names are up to 64 characters of up to 4 bytes; the buffer leaves room.
constexpr SQLLEN kNameBuffer = 1024;

}  // namespace

std::string diagnosticText(short handleType, void* handle) {
  std::string text;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {0};
    SQLCHAR message[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, message,
                                 sizeof message, &length);
    if (!succeeded(rc)) break;
    std::string line(reinterpret_cast<char*>(message));
    while (!line.empty() && line.front() == '[') {
      std::size_t close = line.find(']');
      if (close == std::string::npos) break;
      line.erase(0, close + 1);
      if (!line.empty() && line.front() == ' ') line.erase(0, 1);
    }
    if (!text.empty()) text += '\n';
    text += line;
  }
  return text.empty() ? std::string("unknown ODBC failure") : text;
}

std::string diagnosticState(short handleType, void* handle) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLCHAR message[8];
  SQLRETURN rc = SQLGetDiagRec(handleType, handle, 1, state, &native, message, sizeof message, &length);
  return succeeded(rc) ? std::string(reinterpret_cast<char*>(state)) : std::string();
}

std::string sourceConnectString(const ConversionSettings& settings, bool ownConnection) {
  // A server that stops answering fails the statement within a minute
  // instead of holding the run for ever; a refused connection fails at once.
  const char* options = ";CHARSET=utf8mb4;CONN_TIMEOUT=15;READ_TIMEOUT=60;WRITE_TIMEOUT=60";
  if (ownConnection) return mySqlDriverConnectString(settings, settings.databaseName) + options;
  return connectStringFor(kSourceDataSource, settings) + options;
}

ColumnCatalogue::ColumnCatalogue(const std::string& connect) {
  SQLHENV env = SQL_NULL_HENV;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
    throw CatalogueError("cannot allocate an ODBC environment");
  env_ = env;
  if (!succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    throw CatalogueError("cannot select ODBC 3 behaviour");
  }
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    throw CatalogueError("cannot allocate an ODBC connection");
  }
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr,
                                  reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())),
                                  SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!succeeded(rc)) {
    std::string why = diagnosticText(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    throw CatalogueError(why);
  }
  dbc_ = dbc;
  SQLCHAR escape[8] = {0};
  SQLSMALLINT length = 0;
  if (succeeded(SQLGetInfo(dbc, SQL_SEARCH_PATTERN_ESCAPE, escape, sizeof escape, &length)))
    escape_ = reinterpret_cast<char*>(escape);
}

ColumnCatalogue::~ColumnCatalogue() {
  if (dbc_) {
    SQLDisconnect(static_cast<SQLHDBC>(dbc_));
    SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
  }
  if (env_) SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(env_));
}

std::string ColumnCatalogue::escapePattern(const std::string& name) {
  if (escape_.empty()) return name;
  std::string out;
  for (char c : name) {
    if (c == '_' || c == '%' || escape_.find(c) != std::string::npos) out += escape_;
    out += c;
  }
  return out;
}

std::vector<SourceColumn> ColumnCatalogue::columns(const std::string& table) {
  Statement stmt;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(dbc_), &stmt.handle)))
    throw CatalogueError(diagnosticText(SQL_HANDLE_DBC, dbc_));
  std::string pattern = escapePattern(table);
  SQLRETURN rc = SQLColumns(stmt.handle, nullptr, 0, nullptr, 0,
                            reinterpret_cast<SQLCHAR*>(pattern.data()), SQL_NTS, nullptr, 0);
  if (!succeeded(rc)) throw CatalogueError(diagnosticText(SQL_HANDLE_STMT, stmt.handle));

  std::vector<char> tableName(kNameBuffer), columnName(kNameBuffer), typeName(256), isNullable(16);
  SQLSMALLINT dataType = 0, decimalDigits = 0;
  SQLINTEGER columnSize = 0, ordinal = 0;
  SQLLEN tableInd = 0, columnInd = 0, typeInd = 0, nullableInd = 0, dataTypeInd = 0,
         sizeInd = 0, digitsInd = 0, ordinalInd = 0;
  SQLBindCol(stmt.handle, 3, SQL_C_CHAR, tableName.data(), kNameBuffer, &tableInd);
  SQLBindCol(stmt.handle, 4, SQL_C_CHAR, columnName.data(), kNameBuffer, &columnInd);
  SQLBindCol(stmt.handle, 5, SQL_C_SSHORT, &dataType, 0, &dataTypeInd);
  SQLBindCol(stmt.handle, 6, SQL_C_CHAR, typeName.data(), 256, &typeInd);
  SQLBindCol(stmt.handle, 7, SQL_C_SLONG, &columnSize, 0, &sizeInd);
  SQLBindCol(stmt.handle, 9, SQL_C_SSHORT, &decimalDigits, 0, &digitsInd);
  SQLBindCol(stmt.handle, 17, SQL_C_SLONG, &ordinal, 0, &ordinalInd);
  SQLBindCol(stmt.handle, 18, SQL_C_CHAR, isNullable.data(), 16, &nullableInd);

  std::vector<std::pair<SQLINTEGER, SourceColumn>> rows;
  for (;;) {
    columnSize = 0;
    decimalDigits = 0;
    rc = SQLFetch(stmt.handle);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) throw CatalogueError(diagnosticText(SQL_HANDLE_STMT, stmt.handle));
    if (boundText(tableName, tableInd) != table) continue;
    SourceColumn column;
    column.name = boundText(columnName, columnInd);
    column.dataType = dataType;
    column.typeName = boundText(typeName, typeInd);
    column.columnSize = sizeInd == SQL_NULL_DATA ? 0 : columnSize;
    column.decimalDigits = digitsInd == SQL_NULL_DATA ? 0 : decimalDigits;
    column.isNullable = boundText(isNullable, nullableInd);
    rows.emplace_back(ordinalInd == SQL_NULL_DATA ? 0 : ordinal, std::move(column));
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<SourceColumn> result;
  for (auto& row : rows) result.push_back(std::move(row.second));
  return result;
}

std::vector<std::string> ColumnCatalogue::primaryKey(const std::string& table) {
  Statement stmt;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(dbc_), &stmt.handle)))
    throw CatalogueError(diagnosticText(SQL_HANDLE_DBC, dbc_));
  std::string name = table;
  SQLRETURN rc = SQLPrimaryKeys(stmt.handle, nullptr, 0, nullptr, 0,
                                reinterpret_cast<SQLCHAR*>(name.data()), SQL_NTS);
  if (!succeeded(rc)) throw CatalogueError(diagnosticText(SQL_HANDLE_STMT, stmt.handle));
  std::vector<char> tableName(kNameBuffer), columnName(kNameBuffer);
  SQLSMALLINT sequence = 0;
  SQLLEN tableInd = 0, columnInd = 0, sequenceInd = 0;
  SQLBindCol(stmt.handle, 3, SQL_C_CHAR, tableName.data(), kNameBuffer, &tableInd);
  SQLBindCol(stmt.handle, 4, SQL_C_CHAR, columnName.data(), kNameBuffer, &columnInd);
  SQLBindCol(stmt.handle, 5, SQL_C_SSHORT, &sequence, 0, &sequenceInd);
  std::map<int, std::string> key;
  int fallback = 1000;
  for (;;) {
    rc = SQLFetch(stmt.handle);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) throw CatalogueError(diagnosticText(SQL_HANDLE_STMT, stmt.handle));
    if (boundText(tableName, tableInd) != table) continue;
    key[sequenceInd == SQL_NULL_DATA ? fallback++ : sequence] = boundText(columnName, columnInd);
  }
  std::vector<std::string> result;
  for (auto& [sequenceNumber, column] : key) result.push_back(column);
  return result;
}

}  // namespace engine
