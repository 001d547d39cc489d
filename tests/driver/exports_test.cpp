// Every name the driver manager looks up on a connect must be found at the
// first try: a failed look-up costs a formatted error message each time, and
// the converter connects once per row.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/access_odbc.h"
#include "support/readback.h"

namespace tabulex::test {
namespace {

// The names unixODBC 2.3 looks up for every connection.
const std::vector<std::string> kPlain = {
    "SQLAllocConnect", "SQLAllocEnv", "SQLAllocHandle", "SQLAllocStmt", "SQLAllocHandleStd",
    "SQLBindCol", "SQLBindParam", "SQLBindParameter", "SQLBrowseConnect", "SQLBulkOperations",
    "SQLCancel", "SQLCloseCursor", "SQLColAttribute", "SQLColAttributes", "SQLColumnPrivileges",
    "SQLColumns", "SQLConnect", "SQLCopyDesc", "SQLDataSources", "SQLDescribeCol",
    "SQLDescribeParam", "SQLDisconnect", "SQLDriverConnect", "SQLDrivers", "SQLEndTran",
    "SQLError", "SQLExecDirect", "SQLExecute", "SQLExtendedFetch", "SQLFetch", "SQLFetchScroll",
    "SQLForeignKeys", "SQLFreeEnv", "SQLFreeHandle", "SQLFreeStmt", "SQLFreeConnect",
    "SQLGetConnectAttr", "SQLGetConnectOption", "SQLGetCursorName", "SQLGetData",
    "SQLGetDescField", "SQLGetDescRec", "SQLGetDiagField", "SQLGetEnvAttr", "SQLGetFunctions",
    "SQLGetInfo", "SQLGetStmtAttr", "SQLGetStmtOption", "SQLGetTypeInfo", "SQLMoreResults",
    "SQLNativeSql", "SQLNumParams", "SQLNumResultCols", "SQLParamData", "SQLParamOptions",
    "SQLPrepare", "SQLPrimaryKeys", "SQLProcedureColumns", "SQLProcedures", "SQLPutData",
    "SQLRowCount", "SQLSetConnectAttr", "SQLSetConnectOption", "SQLSetCursorName",
    "SQLSetDescField", "SQLSetDescRec", "SQLSetEnvAttr", "SQLSetParam", "SQLSetPos",
    "SQLSetScrollOptions", "SQLSetStmtAttr", "SQLSetStmtOption", "SQLSpecialColumns",
    "SQLStatistics", "SQLTablePrivileges", "SQLTables", "SQLTransact", "SQLGetDiagRec",
    "SQLCancelHandle", "SQLDriverLoad", "SQLDriverUnload"};

// Those also looked up with a W and an A suffix.
const std::vector<std::string> kWide = {
    "SQLBrowseConnect", "SQLColAttribute", "SQLColAttributes", "SQLColumnPrivileges",
    "SQLColumns", "SQLConnect", "SQLDataSources", "SQLDescribeCol", "SQLDriverConnect",
    "SQLDrivers", "SQLError", "SQLExecDirect", "SQLForeignKeys", "SQLGetConnectAttr",
    "SQLGetConnectOption", "SQLGetCursorName", "SQLGetDescField", "SQLGetDescRec",
    "SQLGetDiagField", "SQLGetInfo", "SQLGetStmtAttr", "SQLGetTypeInfo", "SQLNativeSql",
    "SQLPrepare", "SQLPrimaryKeys", "SQLProcedureColumns", "SQLProcedures",
    "SQLSetConnectAttr", "SQLSetConnectOption", "SQLSetCursorName", "SQLSetDescField",
    "SQLSetStmtAttr", "SQLSpecialColumns", "SQLStatistics", "SQLTablePrivileges", "SQLTables",
    "SQLGetDiagRec"};

TEST(Exports, EveryLookedUpNameIsFoundAtTheFirstTry) {
  std::string library = AccessOdbcConfig::driverLibrary();
  // The loader's prefix comes from the file name, so there is no version suffix.
  EXPECT_EQ(std::filesystem::path(library).filename(), "libtabulexaccess.so");
  void* handle = dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  std::vector<std::string> names = kPlain;
  for (const auto& n : kWide) {
    names.push_back(n + "W");
    names.push_back(n + "A");
  }
  names.push_back("ConfigDSN");
  for (const auto& n : names) {
    EXPECT_NE(dlsym(handle, n.c_str()), nullptr) << n;
    EXPECT_NE(dlsym(handle, ("libtabulexaccess_LTX_" + n).c_str()), nullptr) << n;
  }
  // Nothing else is exported: the library's own code cannot clash with the
  // program's or the driver manager's.
  auto nm = readback::runCommand({"nm", "-D", "--defined-only", library});
  ASSERT_EQ(nm.status, 0) << nm.err;
  std::istringstream lines(nm.out);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    std::string symbol = line.substr(line.find_last_of(' ') + 1);
    if (symbol.empty() || line.find(" A ") != std::string::npos) continue;  // version nodes
    ++count;
    EXPECT_TRUE(symbol.rfind("SQL", 0) == 0 || symbol.rfind("libtabulexaccess_LTX_", 0) == 0 ||
                symbol == "ConfigDSN")
        << symbol;
  }
  EXPECT_GE(count, 2 * static_cast<int>(names.size()));
  dlclose(handle);
}

}  // namespace
}  // namespace tabulex::test
