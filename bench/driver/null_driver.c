// A driver that answers every call at once and stores nothing. The driver
// benchmark runs the converter's per-row sequence against it to show what
// the driver manager alone costs on the machine at hand: the floor under any
// real driver's per-row figure.
#include <sql.h>
#include <sqlext.h>
#include <string.h>

#define NULL_DRIVER_ALIAS(name) \
  extern __typeof__(name) libtabulexnulldriver_LTX_##name __attribute__((alias(#name)));

static char handles[3][8];

// Calls between exported names would bind to the driver manager's, hence
// one internal helper.
static SQLRETURN allocate(SQLSMALLINT type, SQLHANDLE* output) {
  *output = handles[type == SQL_HANDLE_ENV ? 0 : type == SQL_HANDLE_DBC ? 1 : 2];
  return SQL_SUCCESS;
}
SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  (void)input;
  return allocate(type, output);
}
SQLRETURN SQLAllocEnv(SQLHENV* output) { return allocate(SQL_HANDLE_ENV, output); }
SQLRETURN SQLAllocConnect(SQLHENV env, SQLHDBC* output) {
  (void)env;
  return allocate(SQL_HANDLE_DBC, output);
}
SQLRETURN SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* output) {
  (void)dbc;
  return allocate(SQL_HANDLE_STMT, output);
}

SQLRETURN SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                           SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
  (void)dbc, (void)window, (void)completion;
  size_t length = inLength == SQL_NTS ? strlen((const char*)in) : (size_t)inLength;
  if (out && outMax > 0) {
    size_t copied = length < (size_t)outMax - 1 ? length : (size_t)outMax - 1;
    memcpy(out, in, copied);
    out[copied] = 0;
  }
  if (outLength) *outLength = (SQLSMALLINT)length;
  return SQL_SUCCESS;
}

// Numbers the connection layer checks get answers it accepts; every other
// question gets an empty string or a zero.
SQLRETURN SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* length) {
  (void)dbc;
  if (!value) return SQL_SUCCESS;
  switch (type) {
    case SQL_ODBC_API_CONFORMANCE: *(SQLSMALLINT*)value = SQL_OAC_LEVEL2; break;
    case SQL_ODBC_SQL_CONFORMANCE: *(SQLSMALLINT*)value = SQL_OSC_CORE; break;
    case SQL_DRIVER_ODBC_VER:
    case SQL_ODBC_VER:
      if (max >= 6) memcpy(value, "03.51", 6);
      if (length) *length = 5;
      break;
    default:
      if (max > 0) memset(value, 0, max < 8 ? (size_t)max : 8);
      if (length) *length = 0;
  }
  return SQL_SUCCESS;
}

SQLRETURN SQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT function, SQLUSMALLINT* supported) {
  (void)dbc;
  if (function == SQL_API_ODBC3_ALL_FUNCTIONS) memset(supported, 0xff, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 2);
  else if (function == SQL_API_ALL_FUNCTIONS) for (int i = 0; i < 100; ++i) supported[i] = SQL_TRUE;
  else *supported = SQL_TRUE;
  return SQL_SUCCESS;
}

// The driver manager reads the ODBC version back after setting it.
static SQLINTEGER odbcVersion = SQL_OV_ODBC3;
SQLRETURN SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  (void)env, (void)length;
  if (attribute == SQL_ATTR_ODBC_VERSION) odbcVersion = (SQLINTEGER)(SQLLEN)value;
  return SQL_SUCCESS;
}
SQLRETURN SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER max,
                        SQLINTEGER* length) {
  (void)env, (void)max;
  SQLINTEGER answer = attribute == SQL_ATTR_ODBC_VERSION ? odbcVersion
                      : attribute == SQL_ATTR_OUTPUT_NTS ? SQL_TRUE
                                                         : 0;
  if (value) *(SQLINTEGER*)value = answer;
  if (length) *length = sizeof odbcVersion;
  return SQL_SUCCESS;
}

SQLRETURN SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns) {
  (void)stmt;
  *columns = 0;
  return SQL_SUCCESS;
}
SQLRETURN SQLRowCount(SQLHSTMT stmt, SQLLEN* rows) {
  (void)stmt;
  *rows = 1;
  return SQL_SUCCESS;
}
// Functions answered with one value whatever they are asked. Their header
// prototypes would clash with these empty ones, hence the assembler names.
#define NULL_DRIVER_ANSWER(name, answer)                   \
  SQLRETURN name##_null(void) __asm__(#name);              \
  SQLRETURN name##_null(void) { return answer; }           \
  extern __typeof__(name##_null) libtabulexnulldriver_LTX_##name __attribute__((alias(#name)));

NULL_DRIVER_ANSWER(SQLMoreResults, SQL_NO_DATA)
NULL_DRIVER_ANSWER(SQLFetch, SQL_NO_DATA)
NULL_DRIVER_ANSWER(SQLGetDiagRec, SQL_NO_DATA)
NULL_DRIVER_ANSWER(SQLGetDiagField, SQL_NO_DATA)
NULL_DRIVER_ANSWER(SQLError, SQL_NO_DATA)
// No descriptor handles, as the real driver: spares the manager a wrapper each.
NULL_DRIVER_ANSWER(SQLGetStmtAttr, SQL_ERROR)
NULL_DRIVER_ANSWER(SQLGetConnectAttr, SQL_ERROR)

NULL_DRIVER_ALIAS(SQLAllocHandle)
NULL_DRIVER_ALIAS(SQLAllocEnv)
NULL_DRIVER_ALIAS(SQLAllocConnect)
NULL_DRIVER_ALIAS(SQLAllocStmt)
NULL_DRIVER_ALIAS(SQLDriverConnect)
NULL_DRIVER_ALIAS(SQLGetInfo)
NULL_DRIVER_ALIAS(SQLGetFunctions)
NULL_DRIVER_ALIAS(SQLNumResultCols)
NULL_DRIVER_ALIAS(SQLRowCount)
NULL_DRIVER_ALIAS(SQLSetEnvAttr)
NULL_DRIVER_ALIAS(SQLGetEnvAttr)

// Every other name the driver manager looks up: success, nothing done.
#define NULL_DRIVER_SUCCESS(name) NULL_DRIVER_ANSWER(name, SQL_SUCCESS)
NULL_DRIVER_SUCCESS(SQLAllocHandleStd)
NULL_DRIVER_SUCCESS(SQLBindCol)
NULL_DRIVER_SUCCESS(SQLBindParam)
NULL_DRIVER_SUCCESS(SQLBindParameter)
NULL_DRIVER_SUCCESS(SQLBrowseConnect)
NULL_DRIVER_SUCCESS(SQLBrowseConnectA)
NULL_DRIVER_SUCCESS(SQLBrowseConnectW)
NULL_DRIVER_SUCCESS(SQLBulkOperations)
NULL_DRIVER_SUCCESS(SQLCancel)
NULL_DRIVER_SUCCESS(SQLCancelHandle)
NULL_DRIVER_SUCCESS(SQLCloseCursor)
NULL_DRIVER_SUCCESS(SQLColAttribute)
NULL_DRIVER_SUCCESS(SQLColAttributeA)
NULL_DRIVER_SUCCESS(SQLColAttributeW)
NULL_DRIVER_SUCCESS(SQLColAttributes)
NULL_DRIVER_SUCCESS(SQLColAttributesA)
NULL_DRIVER_SUCCESS(SQLColAttributesW)
NULL_DRIVER_SUCCESS(SQLColumnPrivileges)
NULL_DRIVER_SUCCESS(SQLColumnPrivilegesA)
NULL_DRIVER_SUCCESS(SQLColumnPrivilegesW)
NULL_DRIVER_SUCCESS(SQLColumns)
NULL_DRIVER_SUCCESS(SQLColumnsA)
NULL_DRIVER_SUCCESS(SQLColumnsW)
NULL_DRIVER_SUCCESS(SQLConnect)
NULL_DRIVER_SUCCESS(SQLConnectA)
NULL_DRIVER_SUCCESS(SQLConnectW)
NULL_DRIVER_SUCCESS(SQLCopyDesc)
NULL_DRIVER_SUCCESS(SQLDataSources)
NULL_DRIVER_SUCCESS(SQLDataSourcesA)
NULL_DRIVER_SUCCESS(SQLDataSourcesW)
NULL_DRIVER_SUCCESS(SQLDescribeCol)
NULL_DRIVER_SUCCESS(SQLDescribeColA)
NULL_DRIVER_SUCCESS(SQLDescribeColW)
NULL_DRIVER_SUCCESS(SQLDescribeParam)
NULL_DRIVER_SUCCESS(SQLDisconnect)
NULL_DRIVER_SUCCESS(SQLDriverConnectA)
NULL_DRIVER_SUCCESS(SQLDriverConnectW)
NULL_DRIVER_SUCCESS(SQLDriverLoad)
NULL_DRIVER_SUCCESS(SQLDriverUnload)
NULL_DRIVER_SUCCESS(SQLDrivers)
NULL_DRIVER_SUCCESS(SQLDriversA)
NULL_DRIVER_SUCCESS(SQLDriversW)
NULL_DRIVER_SUCCESS(SQLEndTran)
NULL_DRIVER_SUCCESS(SQLErrorA)
NULL_DRIVER_SUCCESS(SQLErrorW)
NULL_DRIVER_SUCCESS(SQLExecDirect)
NULL_DRIVER_SUCCESS(SQLExecDirectA)
NULL_DRIVER_SUCCESS(SQLExecDirectW)
NULL_DRIVER_SUCCESS(SQLExecute)
NULL_DRIVER_SUCCESS(SQLExtendedFetch)
NULL_DRIVER_SUCCESS(SQLFetchScroll)
NULL_DRIVER_SUCCESS(SQLForeignKeys)
NULL_DRIVER_SUCCESS(SQLForeignKeysA)
NULL_DRIVER_SUCCESS(SQLForeignKeysW)
NULL_DRIVER_SUCCESS(SQLFreeConnect)
NULL_DRIVER_SUCCESS(SQLFreeEnv)
NULL_DRIVER_SUCCESS(SQLFreeHandle)
NULL_DRIVER_SUCCESS(SQLFreeStmt)
NULL_DRIVER_SUCCESS(SQLGetConnectAttrA)
NULL_DRIVER_SUCCESS(SQLGetConnectAttrW)
NULL_DRIVER_SUCCESS(SQLGetConnectOption)
NULL_DRIVER_SUCCESS(SQLGetConnectOptionA)
NULL_DRIVER_SUCCESS(SQLGetConnectOptionW)
NULL_DRIVER_SUCCESS(SQLGetCursorName)
NULL_DRIVER_SUCCESS(SQLGetCursorNameA)
NULL_DRIVER_SUCCESS(SQLGetCursorNameW)
NULL_DRIVER_SUCCESS(SQLGetData)
NULL_DRIVER_SUCCESS(SQLGetDescField)
NULL_DRIVER_SUCCESS(SQLGetDescFieldA)
NULL_DRIVER_SUCCESS(SQLGetDescFieldW)
NULL_DRIVER_SUCCESS(SQLGetDescRec)
NULL_DRIVER_SUCCESS(SQLGetDescRecA)
NULL_DRIVER_SUCCESS(SQLGetDescRecW)
NULL_DRIVER_SUCCESS(SQLGetDiagFieldA)
NULL_DRIVER_SUCCESS(SQLGetDiagFieldW)
NULL_DRIVER_SUCCESS(SQLGetDiagRecA)
NULL_DRIVER_SUCCESS(SQLGetDiagRecW)
NULL_DRIVER_SUCCESS(SQLGetInfoA)
NULL_DRIVER_SUCCESS(SQLGetInfoW)
NULL_DRIVER_SUCCESS(SQLGetStmtAttrA)
NULL_DRIVER_SUCCESS(SQLGetStmtAttrW)
NULL_DRIVER_SUCCESS(SQLGetStmtOption)
NULL_DRIVER_SUCCESS(SQLGetTypeInfo)
NULL_DRIVER_SUCCESS(SQLGetTypeInfoA)
NULL_DRIVER_SUCCESS(SQLGetTypeInfoW)
NULL_DRIVER_SUCCESS(SQLNativeSql)
NULL_DRIVER_SUCCESS(SQLNativeSqlA)
NULL_DRIVER_SUCCESS(SQLNativeSqlW)
NULL_DRIVER_SUCCESS(SQLNumParams)
NULL_DRIVER_SUCCESS(SQLParamData)
NULL_DRIVER_SUCCESS(SQLParamOptions)
NULL_DRIVER_SUCCESS(SQLPrepare)
NULL_DRIVER_SUCCESS(SQLPrepareA)
NULL_DRIVER_SUCCESS(SQLPrepareW)
NULL_DRIVER_SUCCESS(SQLPrimaryKeys)
NULL_DRIVER_SUCCESS(SQLPrimaryKeysA)
NULL_DRIVER_SUCCESS(SQLPrimaryKeysW)
NULL_DRIVER_SUCCESS(SQLProcedureColumns)
NULL_DRIVER_SUCCESS(SQLProcedureColumnsA)
NULL_DRIVER_SUCCESS(SQLProcedureColumnsW)
NULL_DRIVER_SUCCESS(SQLProcedures)
NULL_DRIVER_SUCCESS(SQLProceduresA)
NULL_DRIVER_SUCCESS(SQLProceduresW)
NULL_DRIVER_SUCCESS(SQLPutData)
NULL_DRIVER_SUCCESS(SQLSetConnectAttr)
NULL_DRIVER_SUCCESS(SQLSetConnectAttrA)
NULL_DRIVER_SUCCESS(SQLSetConnectAttrW)
NULL_DRIVER_SUCCESS(SQLSetConnectOption)
NULL_DRIVER_SUCCESS(SQLSetConnectOptionA)
NULL_DRIVER_SUCCESS(SQLSetConnectOptionW)
NULL_DRIVER_SUCCESS(SQLSetCursorName)
NULL_DRIVER_SUCCESS(SQLSetCursorNameA)
NULL_DRIVER_SUCCESS(SQLSetCursorNameW)
NULL_DRIVER_SUCCESS(SQLSetDescField)
NULL_DRIVER_SUCCESS(SQLSetDescFieldA)
NULL_DRIVER_SUCCESS(SQLSetDescFieldW)
NULL_DRIVER_SUCCESS(SQLSetDescRec)
NULL_DRIVER_SUCCESS(SQLSetParam)
NULL_DRIVER_SUCCESS(SQLSetPos)
NULL_DRIVER_SUCCESS(SQLSetScrollOptions)
NULL_DRIVER_SUCCESS(SQLSetStmtAttr)
NULL_DRIVER_SUCCESS(SQLSetStmtAttrA)
NULL_DRIVER_SUCCESS(SQLSetStmtAttrW)
NULL_DRIVER_SUCCESS(SQLSetStmtOption)
NULL_DRIVER_SUCCESS(SQLSpecialColumns)
NULL_DRIVER_SUCCESS(SQLSpecialColumnsA)
NULL_DRIVER_SUCCESS(SQLSpecialColumnsW)
NULL_DRIVER_SUCCESS(SQLStatistics)
NULL_DRIVER_SUCCESS(SQLStatisticsA)
NULL_DRIVER_SUCCESS(SQLStatisticsW)
NULL_DRIVER_SUCCESS(SQLTablePrivileges)
NULL_DRIVER_SUCCESS(SQLTablePrivilegesA)
NULL_DRIVER_SUCCESS(SQLTablePrivilegesW)
NULL_DRIVER_SUCCESS(SQLTables)
NULL_DRIVER_SUCCESS(SQLTablesA)
NULL_DRIVER_SUCCESS(SQLTablesW)
NULL_DRIVER_SUCCESS(SQLTransact)
