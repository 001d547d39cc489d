// Every name the driver exports, each forwarding to the function of its
// concern (declared in odbc_api.h). The names the driver exports without
// offering them are in odbc_stubs.cpp.
#include "drivers/access/exports.h"
#include "drivers/access/odbc_api.h"
#include "drivers/access/odbc_info.h"

using namespace tabulex::access;

extern "C" {

// ------------------------------------------------------------------ handles

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  return allocHandle(type, input, output);
}
SQLRETURN SQL_API SQLAllocEnv(SQLHENV* env) { return allocHandle(SQL_HANDLE_ENV, nullptr, env); }
SQLRETURN SQL_API SQLAllocConnect(SQLHENV env, SQLHDBC* dbc) {
  return allocHandle(SQL_HANDLE_DBC, env, dbc);
}
SQLRETURN SQL_API SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* stmt) {
  return allocHandle(SQL_HANDLE_STMT, dbc, stmt);
}
SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) { return freeHandle(type, h); }
SQLRETURN SQL_API SQLFreeEnv(SQLHENV env) { return freeHandle(SQL_HANDLE_ENV, env); }
SQLRETURN SQL_API SQLFreeConnect(SQLHDBC dbc) { return freeHandle(SQL_HANDLE_DBC, dbc); }

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return freeStmtOption(s, option);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Env* e = asEnv(h);
  if (!e) return SQL_INVALID_HANDLE;
  return setEnvAttr(e, attr, value);
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER,
                                SQLINTEGER* length) {
  Env* e = asEnv(h);
  if (!e) return SQL_INVALID_HANDLE;
  return getEnvAttr(e, attr, value, length);
}

// --------------------------------------------------------------- connecting

SQLRETURN SQL_API SQLConnect(SQLHDBC h, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR*,
                             SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return connect(d, dsn, dsnLength);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC h, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                   SQLUSMALLINT) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return driverConnect(d, in, inLength, out, outMax, outLength);
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return disconnect(d);
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max,
                             SQLSMALLINT* length) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return info(d, type, value, max, length);
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC h, SQLUSMALLINT function, SQLUSMALLINT* supported) {
  if (!asDbc(h)) return SQL_INVALID_HANDLE;
  return getFunctions(function, supported);
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return setConnectAttr(d, attr, value);
}

SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC h, SQLUSMALLINT option, SQLULEN value) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return setConnectAttr(d, option, reinterpret_cast<SQLPOINTER>(value));
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                    SQLINTEGER max, SQLINTEGER* length) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return getConnectAttr(d, attr, value, max, length);
}

SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC h, SQLUSMALLINT option, SQLPOINTER value) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return getConnectAttr(d, option, value, 512, nullptr);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT) {
  return endTran(type, h);
}

SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT) {
  return transact(env, dbc);
}

SQLRETURN SQL_API SQLNativeSql(SQLHDBC h, SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                               SQLINTEGER outMax, SQLINTEGER* outLength) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return nativeSql(d, in, inLength, out, outMax, outLength);
}

// --------------------------------------------------------------- statements

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return setStmtAttr(s, attr, value);
}

SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT h, SQLUSMALLINT option, SQLULEN value) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return setStmtAttr(s, option, reinterpret_cast<SQLPOINTER>(value));
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER,
                                 SQLINTEGER* length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return getStmtAttr(s, attr, value, length);
}

SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT h, SQLUSMALLINT option, SQLPOINTER value) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return getStmtAttr(s, option, value, nullptr);
}

SQLRETURN SQL_API SQLSetScrollOptions(SQLHSTMT h, SQLUSMALLINT concurrency, SQLLEN keyset,
                                      SQLUSMALLINT rowset) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return setScrollOptions(s, concurrency, keyset, rowset);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return execDirect(s, inView(text, length));
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return prepare(s, inText(text, length));
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return execute(s);
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return numParams(s, count);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT ioType,
                                   SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
                                   SQLSMALLINT digits, SQLPOINTER value, SQLLEN bufferLength,
                                   SQLLEN* indicator) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return bindParameter(s, number, ioType, cType, sqlType, columnSize, digits, value,
                       bufferLength, indicator);
}

SQLRETURN SQL_API SQLBindParam(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT cType,
                               SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits,
                               SQLPOINTER value, SQLLEN* indicator) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return bindParameter(s, number, SQL_PARAM_INPUT, cType, sqlType, columnSize, digits, value, 0,
                       indicator);
}

// The ODBC 1 name of the same call.
SQLRETURN SQL_API SQLSetParam(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT cType,
                              SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits,
                              SQLPOINTER value, SQLLEN* indicator) {
  return SQLBindParam(h, number, cType, sqlType, columnSize, digits, value, indicator);
}

SQLRETURN SQL_API SQLParamOptions(SQLHSTMT h, SQLULEN sets, SQLULEN* processed) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return paramOptions(s, sets, processed);
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT h, SQLPOINTER* token) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return paramData(s, token);
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return putData(s, data, length);
}

SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT* sqlType,
                                   SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return describeParam(s, number, sqlType, size, digits, nullable);
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return numResultCols(s, count);
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT number, SQLCHAR* name,
                                 SQLSMALLINT nameMax, SQLSMALLINT* nameLength, SQLSMALLINT* type,
                                 SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return describeCol(s, number, name, nameMax, nameLength, type, size, digits, nullable);
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT number, SQLUSMALLINT field,
                                  SQLPOINTER text, SQLSMALLINT textMax, SQLSMALLINT* textLength,
                                  SQLLEN* numeric) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return colAttribute(s, number, field, text, textMax, textLength, numeric);
}

SQLRETURN SQL_API SQLColAttributes(SQLHSTMT h, SQLUSMALLINT number, SQLUSMALLINT field,
                                   SQLPOINTER text, SQLSMALLINT textMax, SQLSMALLINT* textLength,
                                   SQLLEN* numeric) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return colAttribute(s, number, field, text, textMax, textLength, numeric);
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT cType,
                             SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return bindCol(s, number, cType, target, bufferLength, indicator);
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return fetch(s);
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return fetchScroll(s, orientation, offset);
}

SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT h, SQLUSMALLINT orientation, SQLLEN offset,
                                   SQLULEN* rowCount, SQLUSMALLINT* rowStatus) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return extendedFetch(s, orientation, offset, rowCount, rowStatus);
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT cType,
                             SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return getData(s, number, cType, target, bufferLength, indicator);
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return moreResults(s);
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return rowCount(s, count);
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT h) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return cancel(s);
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT h) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return closeOpenCursor(s);
}

SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT h, SQLCHAR* name, SQLSMALLINT max,
                                   SQLSMALLINT* length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return getCursorName(s, name, max, length);
}

SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT h, SQLCHAR*, SQLSMALLINT) {
  return asStmt(h) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
}

// ---------------------------------------------------------------- catalogue

SQLRETURN SQL_API SQLTables(SQLHSTMT h, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema,
                            SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen,
                            SQLCHAR* type, SQLSMALLINT typeLen) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return tables(s, cat, catLen, schema, schemaLen, table, tableLen, type, typeLen);
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                             SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                             SQLSMALLINT columnLen) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return columns(s, table, tableLen, column, columnLen);
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                 SQLCHAR* table, SQLSMALLINT tableLen) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return primaryKeys(s, table, tableLen);
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                SQLCHAR* table, SQLSMALLINT tableLen, SQLUSMALLINT,
                                SQLUSMALLINT) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return statistics(s, table, tableLen);
}

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT h, SQLSMALLINT type) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return typeInfo(s, type);
}

SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT h, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                    SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLUSMALLINT,
                                    SQLUSMALLINT) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return specialColumns(s);
}

SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                 SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                 SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return foreignKeys(s);
}

// -------------------------------------------------------------- diagnostics

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                SQLSMALLINT max, SQLSMALLINT* length) {
  return getDiagRec(type, h, record, state, native, message, max, length);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                  SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT max,
                                  SQLSMALLINT* length) {
  return getDiagField(type, h, record, field, info, max, length);
}

SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state,
                           SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT max,
                           SQLSMALLINT* length) {
  return error(env, dbc, stmt, state, native, message, max, length);
}

}  // extern "C"

TABULEX_LTX_ALIAS(SQLAllocHandle)
TABULEX_LTX_ALIAS(SQLAllocEnv)
TABULEX_LTX_ALIAS(SQLAllocConnect)
TABULEX_LTX_ALIAS(SQLAllocStmt)
TABULEX_LTX_ALIAS(SQLFreeHandle)
TABULEX_LTX_ALIAS(SQLFreeEnv)
TABULEX_LTX_ALIAS(SQLFreeConnect)
TABULEX_LTX_ALIAS(SQLFreeStmt)
TABULEX_LTX_ALIAS(SQLSetEnvAttr)
TABULEX_LTX_ALIAS(SQLGetEnvAttr)
TABULEX_LTX_ALIAS(SQLConnect)
TABULEX_LTX_ALIAS(SQLDriverConnect)
TABULEX_LTX_ALIAS(SQLDisconnect)
TABULEX_LTX_ALIAS(SQLGetInfo)
TABULEX_LTX_ALIAS(SQLGetFunctions)
TABULEX_LTX_ALIAS(SQLSetConnectAttr)
TABULEX_LTX_ALIAS(SQLSetConnectOption)
TABULEX_LTX_ALIAS(SQLGetConnectAttr)
TABULEX_LTX_ALIAS(SQLGetConnectOption)
TABULEX_LTX_ALIAS(SQLEndTran)
TABULEX_LTX_ALIAS(SQLTransact)
TABULEX_LTX_ALIAS(SQLNativeSql)
TABULEX_LTX_ALIAS(SQLSetStmtAttr)
TABULEX_LTX_ALIAS(SQLSetStmtOption)
TABULEX_LTX_ALIAS(SQLGetStmtAttr)
TABULEX_LTX_ALIAS(SQLGetStmtOption)
TABULEX_LTX_ALIAS(SQLSetScrollOptions)
TABULEX_LTX_ALIAS(SQLExecDirect)
TABULEX_LTX_ALIAS(SQLPrepare)
TABULEX_LTX_ALIAS(SQLExecute)
TABULEX_LTX_ALIAS(SQLNumParams)
TABULEX_LTX_ALIAS(SQLBindParameter)
TABULEX_LTX_ALIAS(SQLBindParam)
TABULEX_LTX_ALIAS(SQLSetParam)
TABULEX_LTX_ALIAS(SQLParamOptions)
TABULEX_LTX_ALIAS(SQLDescribeParam)
TABULEX_LTX_ALIAS(SQLParamData)
TABULEX_LTX_ALIAS(SQLPutData)
TABULEX_LTX_ALIAS(SQLNumResultCols)
TABULEX_LTX_ALIAS(SQLDescribeCol)
TABULEX_LTX_ALIAS(SQLColAttribute)
TABULEX_LTX_ALIAS(SQLColAttributes)
TABULEX_LTX_ALIAS(SQLBindCol)
TABULEX_LTX_ALIAS(SQLFetch)
TABULEX_LTX_ALIAS(SQLFetchScroll)
TABULEX_LTX_ALIAS(SQLExtendedFetch)
TABULEX_LTX_ALIAS(SQLGetData)
TABULEX_LTX_ALIAS(SQLMoreResults)
TABULEX_LTX_ALIAS(SQLRowCount)
TABULEX_LTX_ALIAS(SQLCancel)
TABULEX_LTX_ALIAS(SQLCloseCursor)
TABULEX_LTX_ALIAS(SQLGetCursorName)
TABULEX_LTX_ALIAS(SQLSetCursorName)
TABULEX_LTX_ALIAS(SQLTables)
TABULEX_LTX_ALIAS(SQLColumns)
TABULEX_LTX_ALIAS(SQLPrimaryKeys)
TABULEX_LTX_ALIAS(SQLStatistics)
TABULEX_LTX_ALIAS(SQLGetTypeInfo)
TABULEX_LTX_ALIAS(SQLSpecialColumns)
TABULEX_LTX_ALIAS(SQLForeignKeys)
TABULEX_LTX_ALIAS(SQLGetDiagRec)
TABULEX_LTX_ALIAS(SQLGetDiagField)
TABULEX_LTX_ALIAS(SQLError)

// --------------------------------------------------------------- wide text

extern "C" {

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                 SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* message,
                                 SQLSMALLINT max, SQLSMALLINT* length) {
  return getDiagRecWide(type, h, record, state, native, message, max, length);
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                   SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT maxBytes,
                                   SQLSMALLINT* lengthBytes) {
  return getDiagFieldWide(type, h, record, field, info, maxBytes, lengthBytes);
}

SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state,
                            SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT max,
                            SQLSMALLINT* length) {
  return errorWide(env, dbc, stmt, state, native, message, max, length);
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC h, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR*,
                              SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return connectWide(d, dsn, dsnLength);
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC h, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLength,
                                    SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                    SQLUSMALLINT) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return driverConnectWide(d, in, inLength, out, outMax, outLength);
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return execDirectWide(s, text, length);
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return prepareWide(s, text, length);
}

SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC h, SQLWCHAR* in, SQLINTEGER inLength, SQLWCHAR* out,
                                SQLINTEGER outMax, SQLINTEGER* outLength) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return nativeSqlWide(d, in, inLength, out, outMax, outLength);
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT number, SQLWCHAR* name,
                                  SQLSMALLINT nameMax, SQLSMALLINT* nameLength, SQLSMALLINT* type,
                                  SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return describeColWide(s, number, name, nameMax, nameLength, type, size, digits,
                         nullable);
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT h, SQLUSMALLINT number, SQLUSMALLINT field,
                                   SQLPOINTER text, SQLSMALLINT textMax, SQLSMALLINT* textLength,
                                   SQLLEN* numeric) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return colAttributeWide(s, number, field, text, textMax, textLength, numeric);
}

SQLRETURN SQL_API SQLColAttributesW(SQLHSTMT h, SQLUSMALLINT number, SQLUSMALLINT field,
                                    SQLPOINTER text, SQLSMALLINT textMax, SQLSMALLINT* textLength,
                                    SQLLEN* numeric) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return colAttributeWide(s, number, field, text, textMax, textLength, numeric);
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT maxBytes,
                              SQLSMALLINT* lengthBytes) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return infoWide(d, type, value, maxBytes, lengthBytes);
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return setConnectAttr(d, attr, value);
}

SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC h, SQLUSMALLINT option, SQLULEN value) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return setConnectAttr(d, option, reinterpret_cast<SQLPOINTER>(value));
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                     SQLINTEGER maxBytes, SQLINTEGER* length) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return getConnectAttrWide(d, attr, value, maxBytes, length);
}

SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC h, SQLUSMALLINT option, SQLPOINTER value) {
  Dbc* d = asDbc(h);
  if (!d) return SQL_INVALID_HANDLE;
  return getConnectAttrWide(d, option, value, 512, nullptr);
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return setStmtAttr(s, attr, value);
}

SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER,
                                  SQLINTEGER* length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return getStmtAttr(s, attr, value, length);
}

SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT h, SQLWCHAR* name, SQLSMALLINT max,
                                    SQLSMALLINT* length) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return getCursorNameWide(s, name, max, length);
}

SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT) {
  return asStmt(h) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* schema,
                             SQLSMALLINT schemaLen, SQLWCHAR* table, SQLSMALLINT tableLen,
                             SQLWCHAR* type, SQLSMALLINT typeLen) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return tablesWide(s, cat, catLen, schema, schemaLen, table, tableLen, type, typeLen);
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                              SQLWCHAR* table, SQLSMALLINT tableLen, SQLWCHAR* column,
                              SQLSMALLINT columnLen) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return columnsWide(s, table, tableLen, column, columnLen);
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                  SQLWCHAR* table, SQLSMALLINT tableLen) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return primaryKeysWide(s, table, tableLen);
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                 SQLWCHAR* table, SQLSMALLINT tableLen, SQLUSMALLINT,
                                 SQLUSMALLINT) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return statisticsWide(s, table, tableLen);
}

SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT h, SQLSMALLINT type) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return typeInfo(s, type);
}

SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT h, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                     SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                     SQLUSMALLINT, SQLUSMALLINT) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return specialColumns(s);
}

SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                  SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                  SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
  Stmt* s = asStmt(h);
  if (!s) return SQL_INVALID_HANDLE;
  return foreignKeys(s);
}

}  // extern "C"

TABULEX_LTX_ALIAS(SQLGetDiagRecW)
TABULEX_LTX_ALIAS(SQLGetDiagFieldW)
TABULEX_LTX_ALIAS(SQLErrorW)
TABULEX_LTX_ALIAS(SQLConnectW)
TABULEX_LTX_ALIAS(SQLDriverConnectW)
TABULEX_LTX_ALIAS(SQLExecDirectW)
TABULEX_LTX_ALIAS(SQLPrepareW)
TABULEX_LTX_ALIAS(SQLNativeSqlW)
TABULEX_LTX_ALIAS(SQLDescribeColW)
TABULEX_LTX_ALIAS(SQLColAttributeW)
TABULEX_LTX_ALIAS(SQLColAttributesW)
TABULEX_LTX_ALIAS(SQLGetInfoW)
TABULEX_LTX_ALIAS(SQLSetConnectAttrW)
TABULEX_LTX_ALIAS(SQLSetConnectOptionW)
TABULEX_LTX_ALIAS(SQLGetConnectAttrW)
TABULEX_LTX_ALIAS(SQLGetConnectOptionW)
TABULEX_LTX_ALIAS(SQLSetStmtAttrW)
TABULEX_LTX_ALIAS(SQLGetStmtAttrW)
TABULEX_LTX_ALIAS(SQLGetCursorNameW)
TABULEX_LTX_ALIAS(SQLSetCursorNameW)
TABULEX_LTX_ALIAS(SQLTablesW)
TABULEX_LTX_ALIAS(SQLColumnsW)
TABULEX_LTX_ALIAS(SQLPrimaryKeysW)
TABULEX_LTX_ALIAS(SQLStatisticsW)
TABULEX_LTX_ALIAS(SQLGetTypeInfoW)
TABULEX_LTX_ALIAS(SQLSpecialColumnsW)
TABULEX_LTX_ALIAS(SQLForeignKeysW)
