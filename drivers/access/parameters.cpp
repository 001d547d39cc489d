#include "drivers/access/parameters.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "drivers/access/driver_error.h"
#include "drivers/access/values.h"

namespace tabulex::access {
namespace {

// The C type ODBC assigns to SQL_C_DEFAULT for a parameter's SQL type.
SQLSMALLINT defaultCTypeFor(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_TYPE_DATE:
    case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
    case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    default: return SQL_C_CHAR;
  }
}

template <typename T>
T load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void integerText(std::string& text, long long v) { text = std::to_string(v); }
void unsignedText(std::string& text, unsigned long long v) { text = std::to_string(v); }

// No literal spells NaN or an infinity.
void requireFinite(double v) {
  if (!std::isfinite(v))
    throw DriverError("22018", "Invalid character value for cast specification: " +
                                   std::string(std::isnan(v) ? "NaN" : "an infinite number") +
                                   " cannot be stored.");
}

// SQL_NUMERIC_STRUCT: a little-endian 128-bit magnitude, a sign and a scale.
void numericText(std::string& text, const SQL_NUMERIC_STRUCT& n) {
  unsigned __int128 m = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) m = (m << 8) | n.val[i];
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  int scale = n.scale;
  if (scale < 0) {
    digits.append(static_cast<size_t>(-scale), '0');
  } else if (scale > 0) {
    if (digits.size() <= static_cast<size_t>(scale))
      digits.insert(0, static_cast<size_t>(scale) - digits.size() + 1, '0');
    digits.insert(digits.size() - static_cast<size_t>(scale), ".");
  }
  text = n.sign == 0 && digits.find_first_not_of("0.") != std::string::npos ? "-" + digits
                                                                           : digits;
}

// Writes `value` in exactly `width` digits; false when it needs more or is
// negative, which the callers leave to snprintf's own forms.
bool fixedDigits(char* out, int value, int width) {
  if (value < 0) return false;
  for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
  return value == 0;
}

// By hand for the usual values: snprintf costs more than storing the row.
void dateText(std::string& text, int year, int month, int day) {
  char buffer[32] = "0000-00-00";
  if (fixedDigits(buffer, year, 4) && fixedDigits(buffer + 5, month, 2) && fixedDigits(buffer + 8, day, 2)) {
    text.assign(buffer, 10);
    return;
  }
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
  text = buffer;
}

void timeText(std::string& text, int hour, int minute, int second) {
  char buffer[32] = "00:00:00";
  if (fixedDigits(buffer, hour, 2) && fixedDigits(buffer + 3, minute, 2) && fixedDigits(buffer + 6, second, 2)) {
    text.append(buffer, 8);
    return;
  }
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", hour, minute, second);
  text += buffer;
}

// A timestamp's fraction of a second (in nanoseconds) as the digits after
// the seconds' point, trailing zeros left off: the literal
// '... 23:59:58.5' then stores what the parameter stores.
void fractionText(std::string& text, SQLUINTEGER nanoseconds) {
  if (nanoseconds == 0) return;
  if (nanoseconds > 999999999)
    throw DriverError("22008", "Datetime field overflow: a fraction of a second of " +
                                   std::to_string(nanoseconds) + " nanoseconds.");
  char digits[10] = {'.'};
  fixedDigits(digits + 1, static_cast<int>(nanoseconds), 9);
  std::size_t length = 10;
  while (digits[length - 1] == '0') --length;
  text.append(digits, length);
}

// Length of the data in bytes from the indicator, or -1 for NULL.
SQLLEN dataLength(const ParameterBinding& b, SQLSMALLINT cType, const char* value,
                  const SQLLEN* indicator) {
  SQLLEN n = indicator ? *indicator : (cType == SQL_C_BINARY ? b.bufferLength : SQL_NTS);
  if (n == SQL_NULL_DATA) return -1;
  if (n == SQL_DATA_AT_EXEC || n <= SQL_LEN_DATA_AT_EXEC_OFFSET)
    throw DriverError("HYC00", "Parameter data at execution is not supported.");
  if (n == SQL_NTS) {
    if (!value) return -1;
    if (cType == SQL_C_CHAR) return static_cast<SQLLEN>(std::strlen(value));
    if (cType == SQL_C_WCHAR) {
      SQLLEN k = 0;
      while (load<char16_t>(value + 2 * k) != 0) ++k;
      return 2 * k;
    }
    if (cType == SQL_C_BINARY)
      throw DriverError("HY090", "Invalid string or buffer length: binary data needs a length.");
    return 0;
  }
  if (n < 0) throw DriverError("HY090", "Invalid string or buffer length " + std::to_string(n) + ".");
  return n;
}

}  // namespace

SQLLEN parameterElementSize(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
    case SQL_C_DEFAULT: return 0;
    case SQL_C_BIT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_TINYINT: return 1;
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_SHORT: return 2;
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_LONG:
    case SQL_C_FLOAT: return 4;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE: return 8;
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    default: return 0;
  }
}

void parameterLiteral(const ParameterBinding& b, const char* value, const SQLLEN* indicator,
                      Literal& lit, std::string& text) {
  SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? defaultCTypeFor(b.sqlType) : b.cType;
  SQLLEN length = dataLength(b, cType, value, indicator);
  lit = Literal{};
  if (length < 0 || !value) {
    lit.kind = Literal::Kind::Null;
    return;
  }
  lit.kind = Literal::Kind::Number;
  switch (cType) {
    case SQL_C_CHAR:
      // The application's buffer stays put while the statement runs.
      lit.kind = Literal::Kind::String;
      lit.text = std::string_view(value, static_cast<size_t>(length));
      return;
    case SQL_C_WCHAR:
      lit.kind = Literal::Kind::String;
      text = utf16ToUtf8(reinterpret_cast<const char16_t*>(value), static_cast<size_t>(length) / 2);
      break;
    case SQL_C_BINARY: {
      static const char kDigits[] = "0123456789ABCDEF";
      lit.kind = Literal::Kind::Hex;
      text.resize(static_cast<size_t>(length) * 2);
      for (SQLLEN i = 0; i < length; ++i) {
        auto byte = static_cast<unsigned char>(value[i]);
        text[2 * i] = kDigits[byte >> 4];
        text[2 * i + 1] = kDigits[byte & 15];
      }
      break;
    }
    case SQL_C_BIT:
      lit.kind = Literal::Kind::Boolean;
      lit.boolean = load<unsigned char>(value) != 0;
      text.clear();
      break;
    case SQL_C_STINYINT:
    case SQL_C_TINYINT: integerText(text, load<signed char>(value)); break;
    case SQL_C_UTINYINT: unsignedText(text, load<unsigned char>(value)); break;
    case SQL_C_SSHORT:
    case SQL_C_SHORT: integerText(text, load<short>(value)); break;
    case SQL_C_USHORT: unsignedText(text, load<unsigned short>(value)); break;
    case SQL_C_SLONG:
    case SQL_C_LONG: integerText(text, load<int32_t>(value)); break;
    case SQL_C_ULONG: unsignedText(text, load<uint32_t>(value)); break;
    case SQL_C_SBIGINT: integerText(text, load<int64_t>(value)); break;
    case SQL_C_UBIGINT: unsignedText(text, load<uint64_t>(value)); break;
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: {
      // Spelled only if the column wants digits: printing a double costs
      // more than storing it.
      double v = cType == SQL_C_DOUBLE ? load<double>(value) : load<float>(value);
      requireFinite(v);
      lit.exactDouble = true;
      lit.number = v;
      lit.text = {};
      return;
    }
    case SQL_C_NUMERIC: numericText(text, load<SQL_NUMERIC_STRUCT>(value)); break;
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: {
      auto d = load<SQL_DATE_STRUCT>(value);
      lit.kind = Literal::Kind::String;
      dateText(text, d.year, d.month, d.day);
      break;
    }
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: {
      auto t = load<SQL_TIME_STRUCT>(value);
      lit.kind = Literal::Kind::String;
      text.clear();
      timeText(text, t.hour, t.minute, t.second);
      break;
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
      auto t = load<SQL_TIMESTAMP_STRUCT>(value);
      lit.kind = Literal::Kind::String;
      dateText(text, t.year, t.month, t.day);
      text += ' ';
      timeText(text, t.hour, t.minute, t.second);
      fractionText(text, t.fraction);
      break;
    }
    default:
      throw DriverError("HY003", "Invalid application buffer type " + std::to_string(cType) +
                                     " for a parameter.");
  }
  lit.text = text;
}

}  // namespace tabulex::access
