// Entry points the driver manager looks up on every connect but the driver
// does not offer: the wide and "A" variants and the optional functions.
// They exist only so that each look-up succeeds at once (a failed look-up
// is what makes a connect slow). SQLGetFunctions reports the optional ones
// as unsupported, so the driver manager never calls them; an application
// that calls a wide function gets IM001.
//
// No ODBC header here: the stubs take the handle alone, which the calling
// convention allows whatever the real argument list is.

#include "drivers/access/exports.h"

namespace tabulex::access {
short reportUnsupported(void* handle, const char* function);
}

namespace {
constexpr short kNoData = 100;
}  // namespace

#define TABULEX_STUB(name)                                               \
  extern "C" short name(void* handle) {                                  \
    return tabulex::access::reportUnsupported(handle, #name);            \
  }                                                                      \
  TABULEX_LTX_ALIAS(name)

// Diagnostics functions whose first argument is no handle.
#define TABULEX_NODATA_STUB(name)                                        \
  extern "C" short name() { return kNoData; }                            \
  TABULEX_LTX_ALIAS(name)

#define TABULEX_STUB_W_A(name) \
  TABULEX_STUB(name##W)        \
  TABULEX_STUB(name##A)

// Optional functions.
TABULEX_STUB(SQLAllocHandleStd)
TABULEX_STUB(SQLBindParam)
TABULEX_STUB(SQLBindParameter)
TABULEX_STUB(SQLBrowseConnect)
TABULEX_STUB(SQLBulkOperations)
TABULEX_STUB(SQLColumnPrivileges)
TABULEX_STUB(SQLCopyDesc)
TABULEX_STUB(SQLDataSources)
TABULEX_STUB(SQLDescribeParam)
TABULEX_STUB(SQLDrivers)
TABULEX_STUB(SQLGetDescField)
TABULEX_STUB(SQLGetDescRec)
TABULEX_STUB(SQLParamData)
TABULEX_STUB(SQLParamOptions)
TABULEX_STUB(SQLProcedureColumns)
TABULEX_STUB(SQLProcedures)
TABULEX_STUB(SQLPutData)
TABULEX_STUB(SQLSetDescField)
TABULEX_STUB(SQLSetDescRec)
TABULEX_STUB(SQLSetParam)
TABULEX_STUB(SQLSetPos)
TABULEX_STUB(SQLTablePrivileges)
TABULEX_STUB(SQLCancelHandle)

// Wide and "A" variants.
TABULEX_STUB_W_A(SQLBrowseConnect)
TABULEX_STUB_W_A(SQLColAttribute)
TABULEX_STUB_W_A(SQLColAttributes)
TABULEX_STUB_W_A(SQLColumnPrivileges)
TABULEX_STUB_W_A(SQLColumns)
TABULEX_STUB_W_A(SQLConnect)
TABULEX_STUB_W_A(SQLDataSources)
TABULEX_STUB_W_A(SQLDescribeCol)
TABULEX_STUB_W_A(SQLDriverConnect)
TABULEX_STUB_W_A(SQLDrivers)
TABULEX_STUB_W_A(SQLExecDirect)
TABULEX_STUB_W_A(SQLForeignKeys)
TABULEX_STUB_W_A(SQLGetConnectAttr)
TABULEX_STUB_W_A(SQLGetConnectOption)
TABULEX_STUB_W_A(SQLGetCursorName)
TABULEX_STUB_W_A(SQLGetDescField)
TABULEX_STUB_W_A(SQLGetDescRec)
TABULEX_STUB_W_A(SQLGetInfo)
TABULEX_STUB_W_A(SQLGetStmtAttr)
TABULEX_STUB_W_A(SQLGetTypeInfo)
TABULEX_STUB_W_A(SQLNativeSql)
TABULEX_STUB_W_A(SQLPrepare)
TABULEX_STUB_W_A(SQLPrimaryKeys)
TABULEX_STUB_W_A(SQLProcedureColumns)
TABULEX_STUB_W_A(SQLProcedures)
TABULEX_STUB_W_A(SQLSetConnectAttr)
TABULEX_STUB_W_A(SQLSetConnectOption)
TABULEX_STUB_W_A(SQLSetCursorName)
TABULEX_STUB_W_A(SQLSetDescField)
TABULEX_STUB_W_A(SQLSetStmtAttr)
TABULEX_STUB_W_A(SQLSpecialColumns)
TABULEX_STUB_W_A(SQLStatistics)
TABULEX_STUB_W_A(SQLTablePrivileges)
TABULEX_STUB_W_A(SQLTables)
TABULEX_NODATA_STUB(SQLErrorW)
TABULEX_NODATA_STUB(SQLErrorA)
TABULEX_NODATA_STUB(SQLGetDiagFieldW)
TABULEX_NODATA_STUB(SQLGetDiagFieldA)
TABULEX_NODATA_STUB(SQLGetDiagRecW)
TABULEX_NODATA_STUB(SQLGetDiagRecA)

// Load and unload hooks the driver manager looks for; nothing to do.
extern "C" void SQLDriverLoad() {}
extern "C" void SQLDriverUnload() {}
TABULEX_LTX_ALIAS(SQLDriverLoad)
TABULEX_LTX_ALIAS(SQLDriverUnload)
