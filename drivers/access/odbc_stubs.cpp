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

// Optional functions.
TABULEX_STUB(SQLAllocHandleStd)
TABULEX_STUB(SQLBrowseConnect)
TABULEX_STUB(SQLBulkOperations)
TABULEX_STUB(SQLColumnPrivileges)
TABULEX_STUB(SQLCopyDesc)
TABULEX_STUB(SQLDataSources)
TABULEX_STUB(SQLDrivers)
TABULEX_STUB(SQLGetDescField)
TABULEX_STUB(SQLGetDescRec)
TABULEX_STUB(SQLProcedureColumns)
TABULEX_STUB(SQLProcedures)
TABULEX_STUB(SQLSetDescField)
TABULEX_STUB(SQLSetDescRec)
TABULEX_STUB(SQLSetPos)
TABULEX_STUB(SQLTablePrivileges)
TABULEX_STUB(SQLCancelHandle)

// Wide variants the driver does not offer (the others are real, in odbc_exports.cpp).
TABULEX_STUB(SQLBrowseConnectW)
TABULEX_STUB(SQLColumnPrivilegesW)
TABULEX_STUB(SQLDataSourcesW)
TABULEX_STUB(SQLDriversW)
TABULEX_STUB(SQLGetDescFieldW)
TABULEX_STUB(SQLGetDescRecW)
TABULEX_STUB(SQLProcedureColumnsW)
TABULEX_STUB(SQLProceduresW)
TABULEX_STUB(SQLSetDescFieldW)
TABULEX_STUB(SQLTablePrivilegesW)

// "A" variants: the driver manager looks them up but calls the plain names.
TABULEX_STUB(SQLBrowseConnectA)
TABULEX_STUB(SQLColAttributeA)
TABULEX_STUB(SQLColAttributesA)
TABULEX_STUB(SQLColumnPrivilegesA)
TABULEX_STUB(SQLColumnsA)
TABULEX_STUB(SQLConnectA)
TABULEX_STUB(SQLDataSourcesA)
TABULEX_STUB(SQLDescribeColA)
TABULEX_STUB(SQLDriverConnectA)
TABULEX_STUB(SQLDriversA)
TABULEX_NODATA_STUB(SQLErrorA)
TABULEX_STUB(SQLExecDirectA)
TABULEX_STUB(SQLForeignKeysA)
TABULEX_STUB(SQLGetConnectAttrA)
TABULEX_STUB(SQLGetConnectOptionA)
TABULEX_STUB(SQLGetCursorNameA)
TABULEX_STUB(SQLGetDescFieldA)
TABULEX_STUB(SQLGetDescRecA)
TABULEX_NODATA_STUB(SQLGetDiagFieldA)
TABULEX_NODATA_STUB(SQLGetDiagRecA)
TABULEX_STUB(SQLGetInfoA)
TABULEX_STUB(SQLGetStmtAttrA)
TABULEX_STUB(SQLGetTypeInfoA)
TABULEX_STUB(SQLNativeSqlA)
TABULEX_STUB(SQLPrepareA)
TABULEX_STUB(SQLPrimaryKeysA)
TABULEX_STUB(SQLProcedureColumnsA)
TABULEX_STUB(SQLProceduresA)
TABULEX_STUB(SQLSetConnectAttrA)
TABULEX_STUB(SQLSetConnectOptionA)
TABULEX_STUB(SQLSetCursorNameA)
TABULEX_STUB(SQLSetDescFieldA)
TABULEX_STUB(SQLSetStmtAttrA)
TABULEX_STUB(SQLSpecialColumnsA)
TABULEX_STUB(SQLStatisticsA)
TABULEX_STUB(SQLTablePrivilegesA)
TABULEX_STUB(SQLTablesA)

// Load and unload hooks the driver manager looks for; nothing to do.
extern "C" void SQLDriverLoad() {}
extern "C" void SQLDriverUnload() {}
TABULEX_LTX_ALIAS(SQLDriverLoad)
TABULEX_LTX_ALIAS(SQLDriverUnload)
