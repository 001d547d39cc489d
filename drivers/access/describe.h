// How result columns are described to ODBC callers and how their values
// reach the caller's buffers.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

#include "drivers/access/handles.h"

namespace tabulex::access {

struct ColumnInfo {
  SQLSMALLINT sqlType;     // ODBC 3 code (dates as 91/92/93)
  SQLULEN columnSize;
  SQLSMALLINT decimalDigits;
  SQLLEN displaySize;
  SQLLEN octetLength;
  const char* typeName;
  bool isUnsigned;
  bool fixedPrecScale;
  bool caseSensitive;
  SQLSMALLINT numPrecRadix;  // 0 when not numeric
};

ColumnInfo describeColumn(const jet::ColumnSpec& spec);

// The ODBC 2 date, time and timestamp codes for an environment that asked
// for ODBC 2 behaviour; other codes unchanged.
SQLSMALLINT typeForVersion(SQLSMALLINT odbc3Type, SQLINTEGER odbcVersion);

// The C type a column converts to for SQL_C_DEFAULT.
SQLSMALLINT defaultCType(const jet::ColumnSpec& spec);

// SQLGetData's offset once a value has been returned whole.
inline constexpr size_t kValueDone = static_cast<size_t>(-1);

// Converts one value into a caller's buffer. offset tracks how much of a
// character or binary value earlier calls returned (SQLGetData in parts);
// pass nullptr for bound columns, which always start from the beginning.
// Adds warnings and errors to diag; returns SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO, SQL_NO_DATA (value already returned whole) or
// SQL_ERROR.
SQLRETURN convertValue(const jet::Value& value, const jet::ColumnSpec& spec, SQLSMALLINT cType,
                       SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator,
                       size_t* offset, Diagnostics& diag);

// Size in bytes of a fixed-size C type; 0 for character and binary types.
SQLLEN fixedCTypeSize(SQLSMALLINT cType);

// Copies text into an ODBC output buffer (NUL-terminated, cut to fit).
// Returns false when it had to cut.
bool copyOut(std::string_view text, SQLCHAR* buffer, SQLLEN bufferLength, SQLSMALLINT* length);
bool copyOut(std::string_view text, SQLPOINTER buffer, SQLLEN bufferLength, SQLINTEGER* length);

}  // namespace tabulex::access
