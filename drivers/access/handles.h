// The driver's ODBC handles and their diagnostics.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/access/database_cache.h"
#include "drivers/access/executor.h"
#include "drivers/access/parameters.h"

namespace tabulex::access {

// Prefix of every message: vendor and component in brackets, so that callers
// can strip the origin the way they do for other drivers.
inline constexpr const char* kMessagePrefix = "[Tabulex][Access Driver]";

struct DiagRecord {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;  // with the prefix
};

struct Diagnostics {
  std::vector<DiagRecord> records;
  SQLLEN rowCount = 0;          // for SQLGetDiagField header fields
  SQLRETURN returnCode = SQL_SUCCESS;
  size_t errorCursor = 0;       // SQLError walks and consumes the records

  void clear() {
    records.clear();
    errorCursor = 0;
  }
  void add(std::string_view state, std::string_view text, SQLINTEGER native = 0) {
    // Built in place: a statement's first record (the converter's query
    // timeout gets one on every row) costs one allocation for its text.
    DiagRecord& r = records.emplace_back();
    r.state = state;
    r.native = native;
    constexpr std::string_view prefix = kMessagePrefix;
    r.message.reserve(prefix.size() + 1 + text.size());
    r.message.append(prefix).append(1, ' ').append(text);
  }
};

enum class HandleKind : int { Env = 0x7ab1, Dbc, Stmt, Desc };

struct HandleBase {
  explicit HandleBase(HandleKind k) : kind(k) {}
  HandleKind kind;
  Diagnostics diag;
};

struct Env : HandleBase {
  Env() : HandleBase(HandleKind::Env) {}
  SQLINTEGER odbcVersion = SQL_OV_ODBC3;
};

struct Stmt;

struct Dbc : HandleBase {
  explicit Dbc(Env* e) : HandleBase(HandleKind::Dbc), env(e) {}
  Env* env;
  std::shared_ptr<SharedDatabase> database;
  std::string path;
  std::string dsn;
  std::vector<Stmt*> statements;
  SQLUINTEGER loginTimeout = 0;
  SQLUINTEGER accessMode = SQL_MODE_READ_WRITE;
  SQLUINTEGER autocommit = SQL_AUTOCOMMIT_ON;
  SQLUINTEGER txnIsolation = SQL_TXN_READ_UNCOMMITTED;
  bool connected() const { return database != nullptr; }
};

// The driver keeps its column bindings in the statement itself and hands
// out no descriptor handles; the kind exists so that a freed handle no
// longer passes as a live one.
struct Desc : HandleBase {
  Desc() : HandleBase(HandleKind::Desc) {}
};

struct Binding {
  SQLSMALLINT cType = SQL_C_DEFAULT;
  SQLPOINTER target = nullptr;
  SQLLEN bufferLength = 0;
  SQLLEN* indicator = nullptr;
};

struct Stmt : HandleBase {
  explicit Stmt(Dbc* d) : HandleBase(HandleKind::Stmt), dbc(d) {}
  Dbc* dbc;
  std::string prepared;
  bool isPrepared = false;
  std::unique_ptr<ResultSet> result;  // null: no open cursor
  SQLLEN rowCount = -1;
  // Cursor: index of the first row of the current rowset; -1 before the
  // first fetch; rows.size() after the last.
  long long position = -1;
  long long rowsetSize = 0;  // rows in the current rowset
  bool scrollable() const { return cursorType != SQL_CURSOR_FORWARD_ONLY; }
  // SQLGetData state for the current row.
  SQLUSMALLINT lastDataColumn = 0;
  size_t dataOffset = 0;
  bool dataDone = false;
  std::vector<Binding> bindings;  // index 0 unused (bookmarks are not offered)
  // Attributes.
  SQLULEN cursorType = SQL_CURSOR_FORWARD_ONLY;
  SQLULEN concurrency = SQL_CONCUR_READ_ONLY;
  SQLULEN rowArraySize = 1;
  SQLULEN extRowsetSize = 1;  // SQL_ROWSET_SIZE, used by SQLExtendedFetch
  SQLULEN rowBindType = SQL_BIND_BY_COLUMN;
  SQLULEN* rowsFetchedPtr = nullptr;
  SQLUSMALLINT* rowStatusPtr = nullptr;
  SQLLEN* bindOffsetPtr = nullptr;
  SQLULEN maxRows = 0;
  SQLULEN maxLength = 0;
  SQLULEN retrieveData = SQL_RD_ON;
  SQLULEN noscan = SQL_NOSCAN_OFF;
  // Parameters: bindings (index 0 unused) and the parameter array.
  std::vector<ParameterBinding> parameters;
  SQLULEN paramsetSize = 1;
  SQLULEN paramBindType = SQL_PARAM_BIND_BY_COLUMN;
  SQLLEN* paramBindOffsetPtr = nullptr;
  SQLULEN* paramsProcessedPtr = nullptr;
  SQLUSMALLINT* paramStatusPtr = nullptr;
  SQLUSMALLINT* paramOperationPtr = nullptr;
  std::vector<std::string> parameterText;  // room for the literals' text
  // Data at execution: the INSERT waiting for it, the parameters that give
  // it (in order), the one SQLPutData fills now (index into dataParameters,
  // -1 before the first SQLParamData) and what each has been given.
  std::string dataStatement;
  std::vector<SQLUSMALLINT> dataParameters;
  int dataIndex = -1;
  std::vector<std::string> putData;  // by parameter number
  std::vector<bool> putNull;
  // Room reused by every parameter set inserted on this statement.
  std::vector<jet::Value> insertRow;
};

}  // namespace tabulex::access
