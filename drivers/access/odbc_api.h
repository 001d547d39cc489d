// What the driver's exported entry points (odbc_exports.cpp) forward to,
// one file per concern. None of these is exported: an exported SQL name
// called from inside the driver would bind to the driver manager's function
// of the same name.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/access/driver_error.h"
#include "drivers/access/handles.h"

namespace tabulex::access {

// ------------------------------------------------------------ common ground

template <typename T>
T* handleAs(void* h, HandleKind kind) {
  auto* base = static_cast<HandleBase*>(h);
  if (!base || base->kind != kind) return nullptr;
  return static_cast<T*>(base);
}
inline Env* asEnv(void* h) { return handleAs<Env>(h, HandleKind::Env); }
inline Dbc* asDbc(void* h) { return handleAs<Dbc>(h, HandleKind::Dbc); }
inline Stmt* asStmt(void* h) { return handleAs<Stmt>(h, HandleKind::Stmt); }
HandleBase* anyHandle(SQLSMALLINT type, void* h);

// Success, or success with information when warnings were recorded.
inline SQLRETURN finish(HandleBase* h, SQLRETURN rc = SQL_SUCCESS) {
  if (rc == SQL_SUCCESS && !h->diag.records.empty()) rc = SQL_SUCCESS_WITH_INFO;
  h->diag.returnCode = rc;
  return rc;
}

template <typename F>
SQLRETURN guarded(HandleBase* h, F&& body) {
  if (!h) return SQL_INVALID_HANDLE;
  h->diag.clear();
  try {
    return finish(h, body());
  } catch (const DriverError& e) {
    h->diag.add(e.sqlstate(), e.what());
  } catch (const jet::Error& e) {
    try {
      rethrowJetError(e);
    } catch (const DriverError& d) {
      h->diag.add(d.sqlstate(), d.what());
    }
  } catch (const std::bad_alloc&) {
    h->diag.add("HY001", "Memory allocation error.");
  } catch (const std::exception& e) {
    h->diag.add("HY000", e.what());
  }
  h->diag.returnCode = SQL_ERROR;
  return SQL_ERROR;
}

inline std::string_view inView(SQLCHAR* text, SQLINTEGER length) {
  if (!text) return {};
  if (length == SQL_NTS) return reinterpret_cast<const char*>(text);
  if (length < 0) return {};
  return std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

inline std::string inText(SQLCHAR* text, SQLINTEGER length) {
  return std::string(inView(text, length));
}

// The file of a connection; gone only when the process is exiting.
jet::Database& openDb(SharedDatabase& shared);
Dbc& connectedDbc(Stmt* s);

// ----------------------------------------------- handles (odbc_handles.cpp)

SQLRETURN allocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN freeHandle(SQLSMALLINT type, SQLHANDLE h);
SQLRETURN freeStmt(Stmt* s);
SQLRETURN freeStmtOption(Stmt* s, SQLUSMALLINT option);
SQLRETURN endTran(SQLSMALLINT type, SQLHANDLE h);
SQLRETURN transact(SQLHENV env, SQLHDBC dbc);

// ------------------------------------------- connecting (odbc_connect.cpp)

SQLRETURN connect(Dbc* d, SQLCHAR* dsn, SQLSMALLINT dsnLength);
SQLRETURN driverConnect(Dbc* d, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                        SQLSMALLINT outMax, SQLSMALLINT* outLength);
// Closes the connection's cursors and lets go of its file.
void closeConnection(Dbc* d);
SQLRETURN disconnect(Dbc* d);
SQLRETURN info(Dbc* d, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max,
               SQLSMALLINT* length);
SQLRETURN nativeSql(Dbc* d, SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                    SQLINTEGER outMax, SQLINTEGER* outLength);

// ------------------------------------------- attributes (odbc_attributes.cpp)

SQLRETURN setEnvAttr(Env* e, SQLINTEGER attr, SQLPOINTER value);
SQLRETURN getEnvAttr(Env* e, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER* length);
SQLRETURN setConnectAttr(Dbc* d, SQLINTEGER attr, SQLPOINTER value);
SQLRETURN getConnectAttr(Dbc* d, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufferLength,
                         SQLINTEGER* stringLength);
SQLRETURN setStmtAttr(Stmt* s, SQLINTEGER attr, SQLPOINTER value);
SQLRETURN getStmtAttr(Stmt* s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER* stringLength);
SQLRETURN setScrollOptions(Stmt* s, SQLUSMALLINT concurrency, SQLLEN keyset,
                           SQLUSMALLINT rowset);

// ------------------------------------------ statements (odbc_statements.cpp)

SQLRETURN execDirect(Stmt* s, std::string_view sql);
SQLRETURN prepare(Stmt* s, const std::string& sql);
SQLRETURN execute(Stmt* s);
SQLRETURN rowCount(Stmt* s, SQLLEN* count);
SQLRETURN cancel(Stmt* s);
std::string cursorName(Stmt* s);
SQLRETURN getCursorName(Stmt* s, SQLCHAR* name, SQLSMALLINT max, SQLSMALLINT* length);

// ------------------------------------------------- parameters (odbc_params.cpp)

SQLRETURN bindParameter(Stmt* s, SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT cType,
                        SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits,
                        SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN paramOptions(Stmt* s, SQLULEN sets, SQLULEN* processed);
SQLRETURN numParams(Stmt* s, SQLSMALLINT* count);
SQLRETURN describeParam(Stmt* s, SQLUSMALLINT number, SQLSMALLINT* sqlType, SQLULEN* size,
                        SQLSMALLINT* digits, SQLSMALLINT* nullable);
SQLRETURN paramData(Stmt* s, SQLPOINTER* token);
SQLRETURN putData(Stmt* s, SQLPOINTER data, SQLLEN length);
size_t parameterCount(const Insert& insert);
// Runs an INSERT with ? markers once for each set of the parameter array
// (throws as execute does, after storing the sets before the failing one).
// SQL_NEED_DATA when parameters are given at execution: the statement then
// waits for SQLParamData and SQLPutData.
SQLRETURN insertWithParameters(Stmt* s, const Insert& insert, std::string_view sql);

// ------------------------------------------------- catalogue (odbc_catalog.cpp)

SQLRETURN tables(Stmt* s, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema,
                 SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* type,
                 SQLSMALLINT typeLen);
SQLRETURN columns(Stmt* s, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                  SQLSMALLINT columnLen);
SQLRETURN primaryKeys(Stmt* s, SQLCHAR* table, SQLSMALLINT tableLen);
SQLRETURN statistics(Stmt* s, SQLCHAR* table, SQLSMALLINT tableLen);
SQLRETURN typeInfo(Stmt* s, SQLSMALLINT wanted);
SQLRETURN specialColumns(Stmt* s);
SQLRETURN foreignKeys(Stmt* s);

// ----------------------------------------------------- results (odbc_results.cpp)

void closeCursor(Stmt* s);
void setResult(Stmt* s, ResultSet rs);
SQLRETURN numResultCols(Stmt* s, SQLSMALLINT* count);
SQLRETURN describeCol(Stmt* s, SQLUSMALLINT number, SQLCHAR* name, SQLSMALLINT nameMax,
                      SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size,
                      SQLSMALLINT* digits, SQLSMALLINT* nullable);
SQLRETURN colAttribute(Stmt* s, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text,
                       SQLSMALLINT textMax, SQLSMALLINT* textLength, SQLLEN* numeric);
SQLRETURN bindCol(Stmt* s, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN fetch(Stmt* s);
SQLRETURN fetchScroll(Stmt* s, SQLSMALLINT orientation, SQLLEN offset);
SQLRETURN extendedFetch(Stmt* s, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                        SQLUSMALLINT* rowStatus);
SQLRETURN getData(Stmt* s, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN moreResults(Stmt* s);
SQLRETURN closeOpenCursor(Stmt* s);

// --------------------------------------------- diagnostics (odbc_diagnostics.cpp)

SQLRETURN getDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLCHAR* state,
                     SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT messageMax,
                     SQLSMALLINT* messageLength);
SQLRETURN getDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLSMALLINT field,
                       SQLPOINTER info, SQLSMALLINT infoMax, SQLSMALLINT* infoLength);
SQLRETURN error(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state, SQLINTEGER* native,
                SQLCHAR* message, SQLSMALLINT messageMax, SQLSMALLINT* messageLength);

// ------------------------------------------------------ wide text (odbc_wide.cpp)
//
// Each converts its text to UTF-8 and back around the function above of the
// same name.

SQLRETURN getDiagRecWide(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLWCHAR* state,
                         SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT max,
                         SQLSMALLINT* length);
SQLRETURN getDiagFieldWide(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                           SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT maxBytes,
                           SQLSMALLINT* lengthBytes);
SQLRETURN errorWide(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state,
                    SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT max,
                    SQLSMALLINT* length);
SQLRETURN connectWide(Dbc* d, SQLWCHAR* dsn, SQLSMALLINT dsnLength);
SQLRETURN driverConnectWide(Dbc* d, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out,
                            SQLSMALLINT outMax, SQLSMALLINT* outLength);
SQLRETURN execDirectWide(Stmt* s, SQLWCHAR* text, SQLINTEGER length);
SQLRETURN prepareWide(Stmt* s, SQLWCHAR* text, SQLINTEGER length);
SQLRETURN nativeSqlWide(Dbc* d, SQLWCHAR* in, SQLINTEGER inLength, SQLWCHAR* out,
                        SQLINTEGER outMax, SQLINTEGER* outLength);
SQLRETURN describeColWide(Stmt* s, SQLUSMALLINT number, SQLWCHAR* name, SQLSMALLINT nameMax,
                          SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size,
                          SQLSMALLINT* digits, SQLSMALLINT* nullable);
SQLRETURN colAttributeWide(Stmt* s, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text,
                           SQLSMALLINT textMaxBytes, SQLSMALLINT* textLengthBytes,
                           SQLLEN* numeric);
SQLRETURN infoWide(Dbc* d, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT maxBytes,
                   SQLSMALLINT* lengthBytes);
SQLRETURN getConnectAttrWide(Dbc* d, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER maxBytes,
                             SQLINTEGER* length);
SQLRETURN getCursorNameWide(Stmt* s, SQLWCHAR* name, SQLSMALLINT max, SQLSMALLINT* length);
SQLRETURN tablesWide(Stmt* s, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* schema,
                     SQLSMALLINT schemaLen, SQLWCHAR* table, SQLSMALLINT tableLen,
                     SQLWCHAR* type, SQLSMALLINT typeLen);
SQLRETURN columnsWide(Stmt* s, SQLWCHAR* table, SQLSMALLINT tableLen, SQLWCHAR* column,
                      SQLSMALLINT columnLen);
SQLRETURN primaryKeysWide(Stmt* s, SQLWCHAR* table, SQLSMALLINT tableLen);
SQLRETURN statisticsWide(Stmt* s, SQLWCHAR* table, SQLSMALLINT tableLen);

}  // namespace tabulex::access
