#include "drivers/access/odbc_info.h"

#include <array>
#include <cstring>

#include "drivers/access/describe.h"

namespace tabulex::access {
namespace {

// Functions with a real implementation; everything else the library
// exports only so that the driver manager's look-ups succeed.
constexpr SQLUSMALLINT kSupported[] = {
    SQL_API_SQLALLOCCONNECT,    SQL_API_SQLALLOCENV,        SQL_API_SQLALLOCHANDLE,
    SQL_API_SQLALLOCSTMT,       SQL_API_SQLBINDCOL,         SQL_API_SQLCANCEL,
    SQL_API_SQLCLOSECURSOR,     SQL_API_SQLCOLATTRIBUTE,    SQL_API_SQLCOLATTRIBUTES,
    SQL_API_SQLCOLUMNS,         SQL_API_SQLCONNECT,         SQL_API_SQLDESCRIBECOL,
    SQL_API_SQLDISCONNECT,      SQL_API_SQLDRIVERCONNECT,   SQL_API_SQLENDTRAN,
    SQL_API_SQLERROR,           SQL_API_SQLEXECDIRECT,      SQL_API_SQLEXECUTE,
    SQL_API_SQLEXTENDEDFETCH,   SQL_API_SQLFETCH,           SQL_API_SQLFETCHSCROLL,
    SQL_API_SQLFOREIGNKEYS,     SQL_API_SQLFREECONNECT,     SQL_API_SQLFREEENV,
    SQL_API_SQLFREEHANDLE,      SQL_API_SQLFREESTMT,        SQL_API_SQLGETCONNECTATTR,
    SQL_API_SQLGETCONNECTOPTION, SQL_API_SQLGETCURSORNAME,  SQL_API_SQLGETDATA,
    SQL_API_SQLGETDIAGFIELD,    SQL_API_SQLGETDIAGREC,      SQL_API_SQLGETENVATTR,
    SQL_API_SQLGETFUNCTIONS,    SQL_API_SQLGETINFO,         SQL_API_SQLGETSTMTATTR,
    SQL_API_SQLGETSTMTOPTION,   SQL_API_SQLGETTYPEINFO,     SQL_API_SQLMORERESULTS,
    SQL_API_SQLNATIVESQL,       SQL_API_SQLNUMPARAMS,       SQL_API_SQLNUMRESULTCOLS,
    SQL_API_SQLPREPARE,         SQL_API_SQLPRIMARYKEYS,     SQL_API_SQLROWCOUNT,
    SQL_API_SQLSETCONNECTATTR,  SQL_API_SQLSETCONNECTOPTION, SQL_API_SQLSETCURSORNAME,
    SQL_API_SQLSETENVATTR,      SQL_API_SQLSETSCROLLOPTIONS, SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLSETSTMTOPTION,   SQL_API_SQLSPECIALCOLUMNS,  SQL_API_SQLSTATISTICS,
    SQL_API_SQLTABLES,          SQL_API_SQLTRANSACT,        SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLBINDPARAM,       SQL_API_SQLSETPARAM,        SQL_API_SQLPARAMOPTIONS,
    SQL_API_SQLDESCRIBEPARAM,   SQL_API_SQLPARAMDATA,       SQL_API_SQLPUTDATA,
};

struct FunctionMaps {
  std::array<SQLUSMALLINT, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE> odbc3{};
  std::array<SQLUSMALLINT, 100> odbc2{};
  FunctionMaps() {
    for (SQLUSMALLINT f : kSupported) {
      odbc3[f >> 4] |= static_cast<SQLUSMALLINT>(1u << (f & 15));
      if (f < 100) odbc2[f] = SQL_TRUE;
    }
  }
};

const FunctionMaps& maps() {
  static const FunctionMaps m;
  return m;
}

}  // namespace

SQLRETURN getFunctions(SQLUSMALLINT function, SQLUSMALLINT* supported) {
  if (!supported) return SQL_SUCCESS;
  const FunctionMaps& m = maps();
  if (function == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::memcpy(supported, m.odbc3.data(), sizeof m.odbc3);
  } else if (function == SQL_API_ALL_FUNCTIONS) {
    std::memcpy(supported, m.odbc2.data(), sizeof m.odbc2);
  } else {
    *supported = function < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16 &&
                         (m.odbc3[function >> 4] & (1u << (function & 15)))
                     ? SQL_TRUE
                     : SQL_FALSE;
  }
  return SQL_SUCCESS;
}

SQLRETURN getInfo(Dbc& dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max,
                  SQLSMALLINT* length, bool* isText) {
  if (isText) *isText = false;
  auto text = [&](std::string_view s) -> SQLRETURN {
    if (isText) *isText = true;
    if (!copyOut(s, static_cast<SQLCHAR*>(value), max, length) && value)
      dbc.diag.add("01004", "String data, right truncated.");
    return SQL_SUCCESS;
  };
  auto u16 = [&](SQLUSMALLINT v) -> SQLRETURN {
    if (value) std::memcpy(value, &v, sizeof v);
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
  };
  auto u32 = [&](SQLUINTEGER v) -> SQLRETURN {
    if (value) std::memcpy(value, &v, sizeof v);
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
  };
  switch (type) {
    // Text answers.
    case SQL_ACCESSIBLE_PROCEDURES: return text("N");
    case SQL_ACCESSIBLE_TABLES: return text("Y");
    case SQL_CATALOG_NAME: return text("N");
    case SQL_CATALOG_NAME_SEPARATOR: return text("");
    case SQL_CATALOG_TERM: return text("");
    case SQL_COLLATION_SEQ: return text("General");
    case SQL_COLUMN_ALIAS: return text("N");
    case SQL_DATA_SOURCE_NAME: return text(dbc.dsn);
    case SQL_DATA_SOURCE_READ_ONLY: return text(dbc.accessMode == SQL_MODE_READ_ONLY ? "Y" : "N");
    case SQL_DATABASE_NAME:
      return text(dbc.path.size() > 4
                      ? std::string_view(dbc.path).substr(0, dbc.path.size() - 4)
                      : std::string_view());
    case SQL_DBMS_NAME: return text("ACCESS");
    case SQL_DBMS_VER: return text("04.00.0000");
    case SQL_DESCRIBE_PARAMETER: return text("N");
    case SQL_DRIVER_NAME: return text("libtabulexaccess.so");
    case SQL_DRIVER_ODBC_VER: return text("03.00");
    case SQL_DRIVER_VER: return text("01.00.0000");
    case SQL_EXPRESSIONS_IN_ORDERBY: return text("N");
    case SQL_IDENTIFIER_QUOTE_CHAR: return text("`");
    case SQL_INTEGRITY: return text("N");
    case SQL_KEYWORDS: return text("");
    case SQL_LIKE_ESCAPE_CLAUSE: return text("N");
    case SQL_MAX_ROW_SIZE_INCLUDES_LONG: return text("N");
    case SQL_MULT_RESULT_SETS: return text("N");
    case SQL_MULTIPLE_ACTIVE_TXN: return text("Y");
    case SQL_NEED_LONG_DATA_LEN: return text("N");
    case SQL_ODBC_VER: return text("03.00");
    case SQL_ORDER_BY_COLUMNS_IN_SELECT: return text("N");
    case SQL_OUTER_JOINS: return text("N");
    case SQL_PROCEDURE_TERM: return text("");
    case SQL_PROCEDURES: return text("N");
    case SQL_ROW_UPDATES: return text("N");
    case SQL_SCHEMA_TERM: return text("");
    case SQL_SEARCH_PATTERN_ESCAPE: return text("\\");
    case SQL_SERVER_NAME: return text("ACCESS");
    case SQL_SPECIAL_CHARACTERS: return text("~@#$%^&*_-+=\\}{\"';:?/><,.![]|");
    case SQL_TABLE_TERM: return text("table");
    case SQL_USER_NAME: return text("admin");
    case SQL_XOPEN_CLI_YEAR: return text("1995");

    // 16-bit answers.
    case SQL_MAX_DRIVER_CONNECTIONS: return u16(0);
    case SQL_MAX_CONCURRENT_ACTIVITIES: return u16(0);
    case SQL_ACTIVE_ENVIRONMENTS: return u16(0);
    case SQL_CATALOG_LOCATION: return u16(0);
    case SQL_CONCAT_NULL_BEHAVIOR: return u16(SQL_CB_NON_NULL);
    case SQL_CORRELATION_NAME: return u16(SQL_CN_NONE);
    case SQL_CURSOR_COMMIT_BEHAVIOR: return u16(SQL_CB_PRESERVE);
    case SQL_CURSOR_ROLLBACK_BEHAVIOR: return u16(SQL_CB_PRESERVE);
    case SQL_FILE_USAGE: return u16(SQL_FILE_CATALOG);
    case SQL_GROUP_BY: return u16(SQL_GB_NOT_SUPPORTED);
    case SQL_IDENTIFIER_CASE: return u16(SQL_IC_MIXED);
    case SQL_MAX_CATALOG_NAME_LEN: return u16(0);
    case SQL_MAX_COLUMN_NAME_LEN: return u16(64);
    case SQL_MAX_COLUMNS_IN_GROUP_BY: return u16(0);
    case SQL_MAX_COLUMNS_IN_INDEX: return u16(10);
    case SQL_MAX_COLUMNS_IN_ORDER_BY: return u16(10);
    case SQL_MAX_COLUMNS_IN_SELECT: return u16(255);
    case SQL_MAX_COLUMNS_IN_TABLE: return u16(255);
    case SQL_MAX_CURSOR_NAME_LEN: return u16(64);
    case SQL_MAX_IDENTIFIER_LEN: return u16(64);
    case SQL_MAX_PROCEDURE_NAME_LEN: return u16(0);
    case SQL_MAX_SCHEMA_NAME_LEN: return u16(0);
    case SQL_MAX_TABLE_NAME_LEN: return u16(64);
    case SQL_MAX_TABLES_IN_SELECT: return u16(1);
    case SQL_MAX_USER_NAME_LEN: return u16(0);
    case SQL_NON_NULLABLE_COLUMNS: return u16(SQL_NNC_NON_NULL);
    case SQL_NULL_COLLATION: return u16(SQL_NC_LOW);
    case SQL_ODBC_API_CONFORMANCE: return u16(SQL_OAC_LEVEL1);
    case SQL_ODBC_SAG_CLI_CONFORMANCE: return u16(SQL_OSCC_COMPLIANT);
    case SQL_ODBC_SQL_CONFORMANCE: return u16(SQL_OSC_MINIMUM);
    case SQL_QUOTED_IDENTIFIER_CASE: return u16(SQL_IC_MIXED);
    case SQL_TXN_CAPABLE: return u16(SQL_TC_NONE);

    // 32-bit answers.
    case SQL_AGGREGATE_FUNCTIONS: return u32(SQL_AF_COUNT);
    case SQL_ALTER_DOMAIN:
    case SQL_ALTER_TABLE:
    case SQL_ASYNC_MODE:
    case SQL_BATCH_ROW_COUNT:
    case SQL_BATCH_SUPPORT:
    case SQL_BOOKMARK_PERSISTENCE:
    case SQL_CATALOG_USAGE:
    case SQL_CONVERT_BIGINT:
    case SQL_CONVERT_BINARY:
    case SQL_CONVERT_BIT:
    case SQL_CONVERT_CHAR:
    case SQL_CONVERT_DATE:
    case SQL_CONVERT_DECIMAL:
    case SQL_CONVERT_DOUBLE:
    case SQL_CONVERT_FLOAT:
    case SQL_CONVERT_INTEGER:
    case SQL_CONVERT_LONGVARBINARY:
    case SQL_CONVERT_LONGVARCHAR:
    case SQL_CONVERT_NUMERIC:
    case SQL_CONVERT_REAL:
    case SQL_CONVERT_SMALLINT:
    case SQL_CONVERT_TIME:
    case SQL_CONVERT_TIMESTAMP:
    case SQL_CONVERT_TINYINT:
    case SQL_CONVERT_VARBINARY:
    case SQL_CONVERT_VARCHAR:
    case SQL_CONVERT_FUNCTIONS:
    case SQL_CREATE_ASSERTION:
    case SQL_CREATE_CHARACTER_SET:
    case SQL_CREATE_COLLATION:
    case SQL_CREATE_DOMAIN:
    case SQL_CREATE_SCHEMA:
    case SQL_CREATE_TRANSLATION:
    case SQL_CREATE_VIEW:
    case SQL_DATETIME_LITERALS:
    case SQL_DEFAULT_TXN_ISOLATION:
    case SQL_DROP_ASSERTION:
    case SQL_DROP_CHARACTER_SET:
    case SQL_DROP_COLLATION:
    case SQL_DROP_DOMAIN:
    case SQL_DROP_SCHEMA:
    case SQL_DROP_TRANSLATION:
    case SQL_DROP_VIEW:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
    case SQL_INFO_SCHEMA_VIEWS:
    case SQL_KEYSET_CURSOR_ATTRIBUTES1:
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
    case SQL_LOCK_TYPES:
    case SQL_MAX_BINARY_LITERAL_LEN:
    case SQL_MAX_CHAR_LITERAL_LEN:
    case SQL_MAX_STATEMENT_LEN:
    case SQL_NUMERIC_FUNCTIONS:
    case SQL_OJ_CAPABILITIES:
    case SQL_POS_OPERATIONS:
    case SQL_POSITIONED_STATEMENTS:
    case SQL_SCHEMA_USAGE:
    case SQL_SQL92_DATETIME_FUNCTIONS:
    case SQL_SQL92_FOREIGN_KEY_DELETE_RULE:
    case SQL_SQL92_FOREIGN_KEY_UPDATE_RULE:
    case SQL_SQL92_GRANT:
    case SQL_SQL92_NUMERIC_VALUE_FUNCTIONS:
    case SQL_SQL92_PREDICATES:
    case SQL_SQL92_RELATIONAL_JOIN_OPERATORS:
    case SQL_SQL92_REVOKE:
    case SQL_SQL92_ROW_VALUE_CONSTRUCTOR:
    case SQL_SQL92_STRING_FUNCTIONS:
    case SQL_SQL92_VALUE_EXPRESSIONS:
    case SQL_STANDARD_CLI_CONFORMANCE:
    case SQL_STATIC_SENSITIVITY:
    case SQL_STRING_FUNCTIONS:
    case SQL_SUBQUERIES:
    case SQL_SYSTEM_FUNCTIONS:
    case SQL_TIMEDATE_ADD_INTERVALS:
    case SQL_TIMEDATE_DIFF_INTERVALS:
    case SQL_TIMEDATE_FUNCTIONS:
    case SQL_TXN_ISOLATION_OPTION:
    case SQL_UNION:
    case SQL_MAX_ASYNC_CONCURRENT_STATEMENTS:
    case SQL_ASYNC_DBC_FUNCTIONS:
      return u32(0);
    case SQL_CREATE_TABLE:
      return u32(SQL_CT_CREATE_TABLE | SQL_CT_COLUMN_CONSTRAINT | SQL_CT_TABLE_CONSTRAINT |
                 SQL_CT_CONSTRAINT_NAME_DEFINITION);
    case SQL_DDL_INDEX: return u32(SQL_DI_CREATE_INDEX);
    case SQL_DROP_TABLE: return u32(SQL_DT_DROP_TABLE);
    case SQL_CURSOR_SENSITIVITY: return u32(SQL_INSENSITIVE);
    case SQL_FETCH_DIRECTION:
      return u32(SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST | SQL_FD_FETCH_PRIOR |
                 SQL_FD_FETCH_ABSOLUTE | SQL_FD_FETCH_RELATIVE);
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1: return u32(SQL_CA1_NEXT);
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2: return u32(SQL_CA2_READ_ONLY_CONCURRENCY);
    case SQL_STATIC_CURSOR_ATTRIBUTES1:
      return u32(SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE);
    case SQL_STATIC_CURSOR_ATTRIBUTES2: return u32(SQL_CA2_READ_ONLY_CONCURRENCY);
    case SQL_GETDATA_EXTENSIONS:
      return u32(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BLOCK | SQL_GD_BOUND);
    case SQL_INDEX_KEYWORDS: return u32(SQL_IK_ALL);
    case SQL_INSERT_STATEMENT: return u32(SQL_IS_INSERT_LITERALS);
    case SQL_MAX_INDEX_SIZE: return u32(255);
    case SQL_MAX_ROW_SIZE: return u32(4060);
    case SQL_ODBC_INTERFACE_CONFORMANCE: return u32(SQL_OIC_CORE);
    case SQL_PARAM_ARRAY_ROW_COUNTS: return u32(SQL_PARC_NO_BATCH);
    case SQL_PARAM_ARRAY_SELECTS: return u32(SQL_PAS_NO_SELECT);
    case SQL_SCROLL_CONCURRENCY: return u32(SQL_SCCO_READ_ONLY);
    case SQL_SCROLL_OPTIONS: return u32(SQL_SO_FORWARD_ONLY | SQL_SO_STATIC);
    case SQL_SQL_CONFORMANCE: return u32(SQL_SC_SQL92_ENTRY);
    default:
      throw DriverError("HY096", "Information type " + std::to_string(type) +
                                     " is out of range.");
  }
}

}  // namespace tabulex::access
