// Bound parameter values (the application's C buffers) read as literals.
//
// A value given through a ? marker becomes the literal that would stand in
// its place in the statement text, and then takes the literal's way into
// the column: the same value gives the same stored value either way.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "drivers/access/sql_parser.h"

namespace tabulex::access {

struct ParameterBinding {
  SQLSMALLINT cType = SQL_C_DEFAULT;
  SQLSMALLINT sqlType = SQL_VARCHAR;
  SQLULEN columnSize = 0;
  SQLSMALLINT digits = 0;
  SQLPOINTER value = nullptr;
  SQLLEN bufferLength = 0;
  SQLLEN* indicator = nullptr;
  bool bound() const { return value != nullptr || indicator != nullptr; }
};

// Size of one element of a column-wise array of this C type; 0 for the
// variable-length types, whose elements are bufferLength bytes apart.
SQLLEN parameterElementSize(SQLSMALLINT cType);

// Reads one value: `value` and `indicator` already point at the row's
// element. `text` holds the literal's text and must outlive its use; text
// given as SQL_C_CHAR is read where it lies, in the application's buffer.
// Throws DriverError: HY090 bad length, HY003 unknown C type, 22018 a value
// no literal can express, 22008 a fraction of a second past 999,999,999
// nanoseconds, HYC00 data at execution.
void parameterLiteral(const ParameterBinding& binding, const char* value, const SQLLEN* indicator,
                      Literal& literal, std::string& text);

}  // namespace tabulex::access
