#include "odbc/database.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// The one environment all connections share, and the count of connection
// handles allocated on it. The lock also guards every connection's list of
// result sets; it is never held across a call that waits for a server.
std::mutex environmentLock;
SQLHENV environment = SQL_NULL_HENV;
int connectionCount = 0;
// Disconnected connection handles kept for the next OpenEx: a program that
// connects once per statement would otherwise pay the driver manager's
// allocation of a connection (and of the environment) every time. Only
// handles that carry no attribute beyond the defaults are kept.
std::vector<SQLHDBC> idleConnections;
constexpr size_t kIdleConnectionsKept = 4;

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

const char* ownCodeText(short code) {
  switch (code) {
    case CDBException::kNoSnapshotSupport:
      return "The ODBC driver offers no static cursor, so no snapshot can be opened.";
    case CDBException::kApiConformance:
      return "The ODBC driver does not conform to ODBC API conformance level 1.";
    case CDBException::kSqlConformance:
      return "The ODBC driver does not conform to the minimum SQL grammar.";
    case CDBException::kNoDataFound:
      return "Attempt to move past the end of the result set.";
    case CDBException::kOdbcV2Required:
      return "The ODBC driver is older than ODBC 2.";
    case CDBException::kFieldNotFound:
      return "Column index out of range.";
    default:
      return "ODBC call failed.";
  }
}

CDBException ownException(short code) { return CDBException(code, std::string(ownCodeText(code)) + "\n"); }

// Builds an exception from the diagnostic records of the most specific handle given.
CDBException diagnosticsException(SQLRETURN rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  SQLSMALLINT type = SQL_HANDLE_STMT;
  SQLHANDLE handle = stmt;
  if (handle == SQL_NULL_HANDLE) {
    type = SQL_HANDLE_DBC;
    handle = dbc;
  }
  if (handle == SQL_NULL_HANDLE) {
    type = SQL_HANDLE_ENV;
    handle = env;
  }
  std::string error, states;
  if (handle != SQL_NULL_HANDLE) {
    for (SQLSMALLINT record = 1;; ++record) {
      SQLCHAR state[6] = {};
      SQLINTEGER native = 0;
      std::vector<SQLCHAR> message(512);
      SQLSMALLINT length = 0;
      SQLRETURN diag = SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
      if (!succeeded(diag)) break;
      if (length >= static_cast<SQLSMALLINT>(message.size())) {
        // Longer than the buffer: ask again with room for all of it.
        message.resize(static_cast<size_t>(length) + 1);
        diag = SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                             static_cast<SQLSMALLINT>(message.size()), &length);
        if (!succeeded(diag)) break;
      }
      std::string sqlState(reinterpret_cast<char*>(state));
      if (sqlState == "00000") break;
      std::string text(reinterpret_cast<char*>(message.data()),
                       std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1));
      text.resize(std::strlen(text.c_str()));
      // "[vendor][driver][server] message": the tags name the origin, the rest is for the user.
      std::string origin;
      while (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) break;
        origin += text.substr(0, close + 1);
        text.erase(0, close + 1);
        if (!text.empty() && text[0] == ' ') text.erase(0, 1);
      }
      states += "State:" + sqlState + ",Native:" + std::to_string(native) + ",Origin:" + origin + "\n";
      error += text + "\n";
    }
  }
  if (error.empty()) error = "ODBC call failed with return code " + std::to_string(rc) + ".\n";
  return CDBException(rc, std::move(error), std::move(states));
}

// Allocates the shared environment if there is none. Caller holds the lock.
void ensureEnvironment() {
  if (environment != SQL_NULL_HENV) return;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
    environment = SQL_NULL_HENV;
    throw CDBException(SQL_ERROR, "Out of memory: no ODBC environment.\n");
  }
  // ODBC 2 behaviour: dates, times and timestamps are described as 9, 10, 11.
  SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0);
}

// Frees the environment when no connection handle is left, idle ones
// included. Caller holds the lock.
void releaseEnvironmentIfUnused() {
  if (connectionCount == 0 && idleConnections.empty() && environment != SQL_NULL_HENV) {
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    environment = SQL_NULL_HENV;
  }
}

template <typename Call>
SQLRETURN whileStillExecuting(Call call) {
  SQLRETURN rc;
  do rc = call();
  while (rc == SQL_STILL_EXECUTING);
  return rc;
}

std::string infoText(SQLHDBC dbc, SQLUSMALLINT info) {
  char buffer[256] = {};
  SQLSMALLINT length = 0;
  if (!succeeded(SQLGetInfo(dbc, info, buffer, sizeof buffer, &length))) return {};
  return buffer;
}

template <typename T>
bool infoValue(SQLHDBC dbc, SQLUSMALLINT info, T& value) {
  return succeeded(SQLGetInfo(dbc, info, &value, sizeof value, nullptr));
}

bool isLongType(SQLSMALLINT type) {
  return type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY || type == SQL_WLONGVARCHAR;
}

bool isCharacterType(SQLSMALLINT type) {
  return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_WCHAR || type == SQL_WVARCHAR;
}

// Length of the first `characters` UTF-8 characters of text, in bytes.
size_t utf8Prefix(const std::string& text, size_t characters) {
  size_t i = 0;
  for (size_t n = 0; i < text.size() && n < characters; ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

struct DefaultType {
  SQLSMALLINT cType;
  uint32_t kind;
};

bool defaultTypeFor(SQLSMALLINT sqlType, DefaultType& out) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_VARCHAR:
    case SQL_BIGINT:
    case SQL_LONGVARCHAR:
      out = {SQL_C_CHAR, CDBVariant::DBVT_STRING};
      return true;
    case SQL_INTEGER:
      out = {SQL_C_SLONG, CDBVariant::DBVT_LONG};
      return true;
    case SQL_SMALLINT:
      out = {SQL_C_SSHORT, CDBVariant::DBVT_SHORT};
      return true;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      out = {SQL_C_DOUBLE, CDBVariant::DBVT_DOUBLE};
      return true;
    case SQL_REAL:
      out = {SQL_C_FLOAT, CDBVariant::DBVT_SINGLE};
      return true;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
      out = {SQL_C_TIMESTAMP, CDBVariant::DBVT_DATE};
      return true;
    case SQL_BIT:
      out = {SQL_C_BIT, CDBVariant::DBVT_BOOL};
      return true;
    case SQL_TINYINT:
      out = {SQL_C_UTINYINT, CDBVariant::DBVT_UCHAR};
      return true;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      out = {SQL_C_BINARY, CDBVariant::DBVT_BINARY};
      return true;
    default:
      return false;
  }
}

bool kindForCType(SQLSMALLINT cType, uint32_t& kind) {
  switch (cType) {
    case SQL_C_CHAR: kind = CDBVariant::DBVT_STRING; return true;
    case SQL_C_SLONG: kind = CDBVariant::DBVT_LONG; return true;
    case SQL_C_SSHORT: kind = CDBVariant::DBVT_SHORT; return true;
    case SQL_C_DOUBLE: kind = CDBVariant::DBVT_DOUBLE; return true;
    case SQL_C_FLOAT: kind = CDBVariant::DBVT_SINGLE; return true;
    case SQL_C_TIMESTAMP: kind = CDBVariant::DBVT_DATE; return true;
    case SQL_C_BIT: kind = CDBVariant::DBVT_BOOL; return true;
    case SQL_C_UTINYINT: kind = CDBVariant::DBVT_UCHAR; return true;
    case SQL_C_BINARY: kind = CDBVariant::DBVT_BINARY; return true;
    default: return false;
  }
}

}  // namespace

// ---------------------------------------------------------------- CDBException

CDBException::CDBException(short retCode, std::string error, std::string stateNativeOrigin)
    : m_nRetCode(retCode), m_strError(std::move(error)), m_strStateNativeOrigin(std::move(stateNativeOrigin)) {}

// ---------------------------------------------------------------- CDBVariant

CDBVariant::~CDBVariant() { Clear(); }

CDBVariant::CDBVariant(const CDBVariant& other) { copyFrom(other); }

CDBVariant& CDBVariant::operator=(const CDBVariant& other) {
  if (this != &other) {
    Clear();
    copyFrom(other);
  }
  return *this;
}

CDBVariant::CDBVariant(CDBVariant&& other) noexcept { takeFrom(other); }

CDBVariant& CDBVariant::operator=(CDBVariant&& other) noexcept {
  if (this != &other) {
    Clear();
    takeFrom(other);
  }
  return *this;
}

void CDBVariant::Clear() {
  switch (m_dwType) {
    case DBVT_DATE: delete m_pdate; break;
    case DBVT_STRING: delete m_pstring; break;
    case DBVT_BINARY: delete m_pbinary; break;
    default: break;
  }
  m_dwType = DBVT_NULL;
  m_dblVal = 0;
}

void CDBVariant::copyFrom(const CDBVariant& other) {
  switch (other.m_dwType) {
    case DBVT_DATE: m_pdate = new TIMESTAMP_STRUCT(*other.m_pdate); break;
    case DBVT_STRING: m_pstring = new std::string(*other.m_pstring); break;
    case DBVT_BINARY: m_pbinary = new std::vector<unsigned char>(*other.m_pbinary); break;
    default: std::memcpy(static_cast<void*>(&m_dblVal), &other.m_dblVal, sizeof m_dblVal); break;
  }
  m_dwType = other.m_dwType;
}

void CDBVariant::takeFrom(CDBVariant& other) noexcept {
  m_dwType = other.m_dwType;
  std::memcpy(static_cast<void*>(&m_dblVal), &other.m_dblVal, std::max(sizeof m_dblVal, sizeof m_pstring));
  other.m_dwType = DBVT_NULL;
  other.m_dblVal = 0;
}

// ---------------------------------------------------------------- CDatabase

CDatabase::CDatabase() = default;

CDatabase::~CDatabase() {
  try {
    Close();
  } catch (...) {
  }
  std::lock_guard<std::mutex> guard(environmentLock);
  releaseEnvironmentIfUnused();
}

bool CDatabase::OpenEx(const std::string& connect, uint32_t options) {
  if (m_hdbc != SQL_NULL_HDBC) Close();
  m_strConnect = connect;
  m_bUpdatable = (options & openReadOnly) == 0;
  m_bReusableHandle = m_bUpdatable && (options & useCursorLib) == 0;

  {
    std::lock_guard<std::mutex> guard(environmentLock);
    ensureEnvironment();
    if (m_bReusableHandle && !idleConnections.empty()) {
      m_hdbc = idleConnections.back();
      idleConnections.pop_back();
    } else if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &m_hdbc))) {
      m_hdbc = SQL_NULL_HDBC;
      CDBException failure = diagnosticsException(SQL_ERROR, environment, SQL_NULL_HDBC, SQL_NULL_HSTMT);
      releaseEnvironmentIfUnused();
      throw failure;
    }
    ++connectionCount;
  }

  try {
    SQLSetConnectAttr(m_hdbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(uintptr_t{m_dwLoginTimeout}), 0);
    if (!m_bUpdatable)
      SQLSetConnectAttr(m_hdbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    if (options & useCursorLib)
      SQLSetConnectAttr(m_hdbc, SQL_ATTR_ODBC_CURSORS, reinterpret_cast<SQLPOINTER>(SQL_CUR_USE_ODBC), 0);

    // There is no window to own a driver dialog, so the driver is never asked
    // to prompt (a forced prompt has nothing to show either).
    std::vector<SQLCHAR> out(512);
    SQLSMALLINT outLength = 0;
    std::string in = connect;
    SQLRETURN rc = SQLDriverConnect(m_hdbc, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, out.data(),
                                    static_cast<SQLSMALLINT>(out.size()), &outLength, SQL_DRIVER_NOPROMPT);
    if (rc == SQL_NO_DATA) {
      releaseConnection();
      std::lock_guard<std::mutex> guard(environmentLock);
      releaseEnvironmentIfUnused();
      return false;
    }
    if (!succeeded(rc)) throwFromDiagnostics(rc, SQL_NULL_HSTMT);
    if (outLength >= static_cast<SQLSMALLINT>(out.size())) {
      // The completed string did not fit; the connection is made, so the
      // string as given stands in for it.
      m_strConnect = "ODBC;" + connect;
    } else {
      m_strConnect = "ODBC;" + std::string(reinterpret_cast<char*>(out.data()));
    }

    SQLSMALLINT apiConformance = 0;
    if (infoValue(m_hdbc, SQL_ODBC_API_CONFORMANCE, apiConformance) && apiConformance < SQL_OAC_LEVEL1)
      throw ownException(CDBException::kApiConformance);
    SQLSMALLINT sqlConformance = 0;
    if (infoValue(m_hdbc, SQL_ODBC_SQL_CONFORMANCE, sqlConformance) && sqlConformance < SQL_OSC_MINIMUM)
      throw ownException(CDBException::kSqlConformance);

    readConnectionFacts();
    return true;
  } catch (...) {
    releaseConnection();
    std::lock_guard<std::mutex> guard(environmentLock);
    releaseEnvironmentIfUnused();
    throw;
  }
}

void CDatabase::readConnectionFacts() {
  infoValue(m_hdbc, SQL_TXN_CAPABLE, m_nTransactionCapable);
  infoValue(m_hdbc, SQL_CURSOR_COMMIT_BEHAVIOR, m_nCursorCommitBehavior);
  infoValue(m_hdbc, SQL_CURSOR_ROLLBACK_BEHAVIOR, m_nCursorRollbackBehavior);
  infoValue(m_hdbc, SQL_BOOKMARK_PERSISTENCE, m_dwBookmarkAttributes);
  infoValue(m_hdbc, SQL_GETDATA_EXTENSIONS, m_dwGetDataExtensions);
  m_strIdentifierQuoteChar = infoText(m_hdbc, SQL_IDENTIFIER_QUOTE_CHAR);
  m_strDbmsName = infoText(m_hdbc, SQL_DBMS_NAME);
  m_strDbmsVersion = infoText(m_hdbc, SQL_DBMS_VER);
  if (m_bUpdatable) {
    if (infoText(m_hdbc, SQL_DATA_SOURCE_READ_ONLY) == "Y") m_bUpdatable = false;
  } else {
    SQLSetConnectAttr(m_hdbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
  }
}

void CDatabase::setStatementOptions(SQLHSTMT stmt) {
  if (m_dwQueryTimeout == kQueryTimeoutNotSet) return;
  SQLRETURN rc =
      SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(uintptr_t{m_dwQueryTimeout}), 0);
  // A driver that refuses the timeout, or substitutes a value of its own
  // (01S02), does not get asked again on this connection.
  if (rc != SQL_SUCCESS) m_dwQueryTimeout = kQueryTimeoutNotSet;
}

CDBException statementFailure(SQLRETURN rc, SQLHSTMT stmt) {
  return diagnosticsException(rc, environment, SQL_NULL_HDBC, stmt);
}

void CDatabase::throwFromDiagnostics(SQLRETURN rc, SQLHSTMT stmt) const {
  throw diagnosticsException(rc, environment, m_hdbc, stmt);
}

void CDatabase::ExecuteSQL(const std::string& sql) {
  if (m_hdbc == SQL_NULL_HDBC) throw CDBException(SQL_INVALID_HANDLE, "The connection is not open.\n");
  SQLRETURN rc = SQL_SUCCESS;
  if (m_hstmtExecute == SQL_NULL_HSTMT) {
    rc = SQLAllocHandle(SQL_HANDLE_STMT, m_hdbc, &m_hstmtExecute);
    if (!succeeded(rc)) {
      m_hstmtExecute = SQL_NULL_HSTMT;
      throwFromDiagnostics(rc, SQL_NULL_HSTMT);
    }
    m_dwExecuteTimeout = kQueryTimeoutNotSet;
  }
  SQLHSTMT stmt = m_hstmtExecute;
  try {
    if (m_dwExecuteTimeout != m_dwQueryTimeout) {
      setStatementOptions(stmt);
      m_dwExecuteTimeout = m_dwQueryTimeout;
    }
    // Drivers only read the text; the cast spares a copy of every statement.
    auto* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str()));
    // The length, not SQL_NTS: a text literal may hold a NUL character.
    const auto length = static_cast<SQLINTEGER>(sql.size());
    rc = whileStillExecuting([&] { return SQLExecDirect(stmt, text, length); });
    if (!succeeded(rc) && rc != SQL_NO_DATA) throwFromDiagnostics(rc, stmt);
    if (rc != SQL_NO_DATA) {
      // Rows a statement returns are of no interest, but must be read off;
      // the last SQLMoreResults leaves the statement ready for the next text.
      for (;;) {
        SQLSMALLINT columns = 0;
        if (!succeeded(SQLNumResultCols(stmt, &columns))) break;
        if (columns > 0) {
          while (succeeded(whileStillExecuting([&] { return SQLFetch(stmt); }))) {
          }
        }
        if (!succeeded(whileStillExecuting([&] { return SQLMoreResults(stmt); }))) break;
      }
    }
  } catch (...) {
    // A statement that failed part-way is not trusted with the next one.
    SQLCancel(stmt);
    freeExecuteStatement();
    throw;
  }
}

void CDatabase::freeExecuteStatement() {
  if (m_hstmtExecute == SQL_NULL_HSTMT) return;
  SQLFreeHandle(SQL_HANDLE_STMT, m_hstmtExecute);
  m_hstmtExecute = SQL_NULL_HSTMT;
}

void CDatabase::Close() {
  std::list<CRecordset*> sets;
  {
    std::lock_guard<std::mutex> guard(environmentLock);
    sets = m_listRecordsets;
  }
  for (CRecordset* set : sets) {
    set->Close();
    set->m_pDatabase = nullptr;
  }
  freeExecuteStatement();
  if (m_hdbc != SQL_NULL_HDBC) {
    if (succeeded(SQLDisconnect(m_hdbc)) && m_bReusableHandle) parkConnection();
    else releaseConnection();
  }
}

void CDatabase::parkConnection() {
  {
    std::lock_guard<std::mutex> guard(environmentLock);
    if (idleConnections.size() < kIdleConnectionsKept) {
      idleConnections.push_back(m_hdbc);
      m_hdbc = SQL_NULL_HDBC;
      --connectionCount;
      return;
    }
  }
  releaseConnection();
}

void CDatabase::releaseConnection() {
  if (m_hdbc == SQL_NULL_HDBC) return;
  SQLFreeHandle(SQL_HANDLE_DBC, m_hdbc);
  m_hdbc = SQL_NULL_HDBC;
  std::lock_guard<std::mutex> guard(environmentLock);
  --connectionCount;
}

void CDatabase::attach(CRecordset* set) {
  std::lock_guard<std::mutex> guard(environmentLock);
  m_listRecordsets.push_back(set);
}

void CDatabase::detach(CRecordset* set) {
  std::lock_guard<std::mutex> guard(environmentLock);
  m_listRecordsets.remove(set);
}

// ---------------------------------------------------------------- CRecordset

CRecordset::CRecordset(CDatabase* database) : m_pDatabase(database) {
  if (m_pDatabase != nullptr && m_pDatabase->m_hdbc != SQL_NULL_HDBC) allocateStatement();
}

CRecordset::~CRecordset() {
  try {
    Close();
  } catch (...) {
  }
}

void CRecordset::allocateStatement() {
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, m_pDatabase->m_hdbc, &m_hstmt);
  if (!succeeded(rc)) {
    m_hstmt = SQL_NULL_HSTMT;
    m_pDatabase->throwFromDiagnostics(rc, SQL_NULL_HSTMT);
  }
  m_pDatabase->attach(this);
}

void CRecordset::freeStatement() {
  if (m_hstmt == SQL_NULL_HSTMT) return;
  SQLFreeHandle(SQL_HANDLE_STMT, m_hstmt);
  m_hstmt = SQL_NULL_HSTMT;
  if (m_pDatabase != nullptr) m_pDatabase->detach(this);
}

void CRecordset::throwFromDiagnostics(SQLRETURN rc) const {
  throw diagnosticsException(rc, environment, m_pDatabase != nullptr ? m_pDatabase->m_hdbc : SQL_NULL_HDBC,
                             m_hstmt);
}

bool CRecordset::Open(int openType, const std::string& sql, uint32_t options) {
  if (m_pDatabase == nullptr || m_pDatabase->m_hdbc == SQL_NULL_HDBC)
    throw CDBException(SQL_INVALID_HANDLE, "The connection is not open.\n");
  if (m_nResultCols >= 0) Close();
  m_nOpenType = openType == kDefaultType ? snapshot : openType;
  m_dwOptions = options;
  m_strSQL = sql;
  m_bReadOnly = (options & readOnly) != 0 || !m_pDatabase->m_bUpdatable;
  m_bScrollable = false;

  try {
    if (m_hstmt == SQL_NULL_HSTMT) allocateStatement();
    m_pDatabase->setStatementOptions(m_hstmt);

    if (m_nOpenType != forwardOnly) {
      SQLUSMALLINT extendedFetch = SQL_FALSE;
      SQLGetFunctions(m_pDatabase->m_hdbc, SQL_API_SQLEXTENDEDFETCH, &extendedFetch);
      if (extendedFetch != SQL_TRUE) {
        m_nOpenType = forwardOnly;
        m_bReadOnly = true;
      } else {
        std::string version = infoText(m_pDatabase->m_hdbc, SQL_ODBC_VER);
        if (version.size() < 2 || version.compare(0, 2, "02") < 0) throw ownException(CDBException::kOdbcV2Required);
        SQLUINTEGER scrollOptions = 0;
        infoValue(m_pDatabase->m_hdbc, SQL_SCROLL_OPTIONS, scrollOptions);
        if (m_nOpenType == snapshot && (scrollOptions & SQL_SO_STATIC) == 0)
          throw ownException(CDBException::kNoSnapshotSupport);
        if (m_bReadOnly)
          SQLSetStmtAttr(m_hstmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
        if (m_nOpenType == snapshot)
          SQLSetStmtAttr(m_hstmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
        SQLULEN concurrency = SQL_CONCUR_READ_ONLY;
        if (succeeded(SQLGetStmtAttr(m_hstmt, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr)) &&
            concurrency == SQL_CONCUR_READ_ONLY)
          m_bReadOnly = true;
        m_bScrollable = true;
      }
    }

    std::string text = sql;
    SQLRETURN rc;
    if (options & executeDirect) {
      rc = whileStillExecuting(
          [&] { return SQLExecDirect(m_hstmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS); });
    } else {
      rc = whileStillExecuting(
          [&] { return SQLPrepare(m_hstmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS); });
      if (!succeeded(rc)) throwFromDiagnostics(rc);
      rc = whileStillExecuting([&] { return SQLExecute(m_hstmt); });
    }
    if (!succeeded(rc)) throwFromDiagnostics(rc);

    SQLSMALLINT columns = 0;
    rc = SQLNumResultCols(m_hstmt, &columns);
    if (!succeeded(rc)) throwFromDiagnostics(rc);
    m_fields.assign(static_cast<size_t>(columns), CODBCFieldInfo{});
    for (SQLSMALLINT i = 0; i < columns; ++i) {
      SQLCHAR name[256] = {};
      SQLSMALLINT nameLength = 0;
      CODBCFieldInfo& field = m_fields[static_cast<size_t>(i)];
      rc = SQLDescribeCol(m_hstmt, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLength,
                          &field.m_nSQLType, &field.m_nPrecision, &field.m_nScale, &field.m_nNullability);
      if (!succeeded(rc)) throwFromDiagnostics(rc);
      field.m_strName = reinterpret_cast<char*>(name);
    }
    m_nResultCols = columns;

    m_bEOF = false;
    fetchNext();
    m_bBOF = m_bEOF;
  } catch (...) {
    Close();
    throw;
  }
  return true;
}

void CRecordset::fetchNext() {
  SQLRETURN rc;
  if (m_bScrollable) {
    SQLULEN rows = 0;
    SQLUSMALLINT status[1] = {};
    rc = whileStillExecuting([&] { return SQLExtendedFetch(m_hstmt, SQL_FETCH_NEXT, 0, &rows, status); });
  } else {
    rc = whileStillExecuting([&] { return SQLFetch(m_hstmt); });
  }
  if (rc == SQL_NO_DATA) {
    m_bEOF = true;
    return;
  }
  if (!succeeded(rc)) throwFromDiagnostics(rc);
}

void CRecordset::MoveNext() {
  if (m_nResultCols < 0 || m_bEOF) throw ownException(CDBException::kNoDataFound);
  m_bBOF = false;
  fetchNext();
}

void CRecordset::Close() {
  freeStatement();
  m_nResultCols = -1;
  m_fields.clear();
  m_bEOF = true;
  m_bBOF = true;
}

void CRecordset::checkIndex(short index) const {
  if (index < 0 || index >= m_nResultCols) throw ownException(CDBException::kFieldNotFound);
}

void CRecordset::GetODBCFieldInfo(short index, CODBCFieldInfo& info) const {
  checkIndex(index);
  info = m_fields[static_cast<size_t>(index)];
}

SQLLEN CRecordset::textBufferLength(const CODBCFieldInfo& info) const {
  SQLULEN precision = info.m_nPrecision;
  switch (info.m_nSQLType) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return static_cast<SQLLEN>(precision + 3);
    case SQL_LONGVARCHAR:
    case SQL_LONGVARBINARY:
    case SQL_WLONGVARCHAR:
      return 1;
    default:
      // Character columns count their size in characters, and a character
      // can take four bytes in UTF-8.
      if (isCharacterType(info.m_nSQLType)) return static_cast<SQLLEN>(precision * 4 + 1);
      // A number's or a time's size counts its digits only: the sign, a
      // decimal point, an exponent or MySQL's negative and long times
      // ("-838:59:59" in a column of size 8) need room beyond it, or
      // -128 in a tinyint would read back as "-12".
      return static_cast<SQLLEN>(precision + 32);
  }
}

bool CRecordset::readData(short index, SQLSMALLINT cType, std::string& bytes, SQLLEN bufferLength) {
  const CODBCFieldInfo& field = m_fields[static_cast<size_t>(index)];
  const bool whole = isLongType(field.m_nSQLType);
  const SQLLEN terminator = cType == SQL_C_CHAR ? 1 : 0;
  if (bufferLength < 1) bufferLength = 1;
  std::vector<char> buffer(static_cast<size_t>(bufferLength));
  SQLLEN indicator = 0;
  const auto column = static_cast<SQLUSMALLINT>(index + 1);
  SQLRETURN rc = whileStillExecuting(
      [&] { return SQLGetData(m_hstmt, column, cType, buffer.data(), bufferLength, &indicator); });
  if (!succeeded(rc)) throwFromDiagnostics(rc);  // SQL_NO_DATA too: the value was read already
  bytes.clear();
  if (indicator == SQL_NULL_DATA) return false;

  auto piece = [&](SQLRETURN result, SQLLEN length, SQLLEN capacity) {
    SQLLEN usable = capacity - terminator;
    if (result == SQL_SUCCESS_WITH_INFO && (length == SQL_NO_TOTAL || length > usable)) return usable;
    return std::min(length, usable);
  };
  SQLLEN got = piece(rc, indicator, bufferLength);
  bytes.append(buffer.data(), static_cast<size_t>(std::max<SQLLEN>(got, 0)));
  bool truncated = rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator > got);
  if (!truncated) return true;

  if (!whole) {
    // A value longer than its column's size is cut to that size, and never
    // in the middle of a character.
    if (cType == SQL_C_CHAR && isCharacterType(field.m_nSQLType))
      bytes.resize(utf8Prefix(bytes, static_cast<size_t>(field.m_nPrecision)));
    return true;
  }

  // Long values arrive whole, in as many pieces as the driver needs.
  while (truncated) {
    SQLLEN capacity = indicator != SQL_NO_TOTAL ? indicator - got + terminator : SQLLEN{1} << 20;
    if (capacity <= terminator) capacity = SQLLEN{1} << 16;
    buffer.assign(static_cast<size_t>(capacity), 0);
    rc = whileStillExecuting(
        [&] { return SQLGetData(m_hstmt, column, cType, buffer.data(), capacity, &indicator); });
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) throwFromDiagnostics(rc);
    got = piece(rc, indicator, capacity);
    bytes.append(buffer.data(), static_cast<size_t>(std::max<SQLLEN>(got, 0)));
    truncated = rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator > got);
  }
  return true;
}

void CRecordset::GetFieldValue(short index, std::string& value) {
  checkIndex(index);
  readData(index, SQL_C_CHAR, value, textBufferLength(m_fields[static_cast<size_t>(index)]));
}

void CRecordset::GetFieldValue(short index, CDBVariant& value, short fieldType) {
  value.Clear();
  checkIndex(index);
  const CODBCFieldInfo& field = m_fields[static_cast<size_t>(index)];
  DefaultType type{};
  if (fieldType == kDefaultFieldType) {
    if (!defaultTypeFor(field.m_nSQLType, type))
      throw CDBException(SQL_ERROR, "Column " + field.m_strName + " has SQL type " +
                                        std::to_string(field.m_nSQLType) + ", which has no default value type.\n");
  } else {
    type.cType = fieldType;
    if (!kindForCType(fieldType, type.kind))
      throw CDBException(SQL_ERROR, "Unsupported value type " + std::to_string(fieldType) + ".\n");
  }

  const auto column = static_cast<SQLUSMALLINT>(index + 1);
  SQLLEN indicator = 0;
  auto fixed = [&](void* target, SQLLEN size) {
    SQLRETURN rc =
        whileStillExecuting([&] { return SQLGetData(m_hstmt, column, type.cType, target, size, &indicator); });
    if (!succeeded(rc)) throwFromDiagnostics(rc);
    return indicator != SQL_NULL_DATA;
  };

  switch (type.kind) {
    case CDBVariant::DBVT_STRING:
    case CDBVariant::DBVT_BINARY: {
      std::string bytes;
      if (!readData(index, type.cType, bytes, textBufferLength(field))) return;
      if (type.kind == CDBVariant::DBVT_STRING) {
        value.m_pstring = new std::string(std::move(bytes));
      } else {
        value.m_pbinary = new std::vector<unsigned char>(bytes.begin(), bytes.end());
      }
      value.m_dwType = type.kind;
      return;
    }
    case CDBVariant::DBVT_DATE: {
      TIMESTAMP_STRUCT stamp{};
      if (!fixed(&stamp, sizeof stamp)) return;
      value.m_pdate = new TIMESTAMP_STRUCT(stamp);
      value.m_dwType = type.kind;
      return;
    }
    case CDBVariant::DBVT_BOOL: {
      unsigned char bit = 0;
      if (!fixed(&bit, sizeof bit)) return;
      value.m_boolVal = bit != 0;
      break;
    }
    case CDBVariant::DBVT_UCHAR:
      if (!fixed(&value.m_chVal, sizeof value.m_chVal)) return;
      break;
    case CDBVariant::DBVT_SHORT:
      if (!fixed(&value.m_iVal, sizeof value.m_iVal)) return;
      break;
    case CDBVariant::DBVT_LONG:
      if (!fixed(&value.m_lVal, sizeof value.m_lVal)) return;
      break;
    case CDBVariant::DBVT_SINGLE:
      if (!fixed(&value.m_fltVal, sizeof value.m_fltVal)) return;
      break;
    case CDBVariant::DBVT_DOUBLE:
      if (!fixed(&value.m_dblVal, sizeof value.m_dblVal)) return;
      break;
  }
  value.m_dwType = type.kind;
}
