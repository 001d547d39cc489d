#include "drivers/access/describe.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "drivers/access/values.h"

namespace tabulex::access {
namespace {

using jet::ColumnType;

constexpr SQLULEN kLongSize = 1073741823;

// A value seen as a number, for the numeric C types.
struct Number {
  bool ok = false;
  long double approx = 0;
  __int128 whole = 0;       // truncated toward zero
  bool fractional = false;  // a fraction was dropped in `whole`
};

Number asNumber(const jet::Value& v) {
  Number n;
  n.ok = true;
  if (auto* b = std::get_if<bool>(&v)) {
    n.whole = *b ? 1 : 0;
    n.approx = static_cast<long double>(n.whole);
  } else if (auto* i = std::get_if<int64_t>(&v)) {
    n.whole = *i;
    n.approx = static_cast<long double>(*i);
  } else if (auto* d = std::get_if<double>(&v)) {
    n.approx = *d;
    long double t = std::trunc(static_cast<long double>(*d));
    n.fractional = t != *d;
    if (std::fabs(t) < 1.7e38L) n.whole = static_cast<__int128>(t);
    else n.whole = t < 0 ? std::numeric_limits<__int128>::min() : std::numeric_limits<__int128>::max();
  } else if (auto* c = std::get_if<jet::Currency>(&v)) {
    n.whole = c->scaled / 10000;
    n.fractional = c->scaled % 10000 != 0;
    n.approx = static_cast<long double>(c->scaled) / 10000.0L;
  } else if (auto* num = std::get_if<jet::Numeric>(&v)) {
    unsigned __int128 div = 1;
    for (int k = 0; k < num->scale; ++k) div *= 10;
    unsigned __int128 w = num->magnitude / div;
    n.fractional = num->magnitude % div != 0;
    n.whole = num->negative ? -static_cast<__int128>(w) : static_cast<__int128>(w);
    n.approx = static_cast<long double>(num->magnitude) / static_cast<long double>(div);
    if (num->negative) n.approx = -n.approx;
  } else if (auto* dt = std::get_if<jet::DateTime>(&v)) {
    n.approx = dt->days;
    long double t = std::trunc(static_cast<long double>(dt->days));
    n.whole = static_cast<__int128>(t);
    n.fractional = t != dt->days;
  } else if (auto* s = std::get_if<std::string>(&v)) {
    char* end = nullptr;
    std::string t = *s;
    n.approx = std::strtold(t.c_str(), &end);
    while (end && *end == ' ') ++end;
    if (t.empty() || !end || *end != '\0' || !std::isfinite(n.approx)) {
      n.ok = false;
    } else {
      long double w = std::trunc(n.approx);
      n.fractional = w != n.approx;
      if (std::fabs(w) < 1.7e38L) n.whole = static_cast<__int128>(w);
      else n.ok = false;
    }
  } else {
    n.ok = false;
  }
  return n;
}

bool dateOf(const jet::Value& v, jet::CivilTime& out) {
  if (auto* dt = std::get_if<jet::DateTime>(&v)) {
    out = jet::fromOleDate(*dt);
    return true;
  }
  if (auto* s = std::get_if<std::string>(&v)) {
    ParsedDate p;
    if (parseDateText(*s, false, p) != DateParse::Ok) return false;
    out = {p.year, p.month, p.day, p.hour, p.minute, p.second};
    return true;
  }
  return false;
}

// Character and binary data, possibly over several calls.
SQLRETURN copyPieces(const char* data, size_t size, size_t unit, bool terminate, SQLPOINTER target,
                     SQLLEN bufferLength, SQLLEN* indicator, size_t* offset, Diagnostics& diag) {
  if (offset && *offset == kValueDone) return SQL_NO_DATA;
  size_t start = offset ? *offset : 0;
  size_t remaining = size - start;
  if (indicator) *indicator = static_cast<SQLLEN>(remaining);
  size_t room = bufferLength > 0 ? static_cast<size_t>(bufferLength) : 0;
  if (terminate) room = room >= unit ? room - unit : 0;
  room -= room % unit;
  size_t n = target ? std::min(room, remaining) : 0;
  if (n) std::memcpy(target, data + start, n);
  if (target && terminate && bufferLength >= static_cast<SQLLEN>(unit))
    std::memset(static_cast<char*>(target) + n, 0, unit);
  if (n < remaining) {
    if (offset) *offset = start + n;
    diag.add("01004", "String data, right truncated.");
    return SQL_SUCCESS_WITH_INFO;
  }
  if (offset) *offset = kValueDone;
  return SQL_SUCCESS;
}

template <typename T>
SQLRETURN storeInteger(const Number& n, SQLPOINTER target, SQLLEN* indicator, Diagnostics& diag) {
  if (n.whole < static_cast<__int128>(std::numeric_limits<T>::min()) ||
      n.whole > static_cast<__int128>(std::numeric_limits<T>::max())) {
    diag.add("22003", "Numeric value out of range.");
    return SQL_ERROR;
  }
  if (target) {
    T v = static_cast<T>(n.whole);
    std::memcpy(target, &v, sizeof v);
  }
  if (indicator) *indicator = sizeof(T);
  if (n.fractional) {
    diag.add("01S07", "Fractional truncation.");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

}  // namespace

ColumnInfo describeColumn(const jet::ColumnSpec& s) {
  switch (s.type) {
    case ColumnType::Boolean:
      return {SQL_BIT, 1, 0, 1, 1, "BIT", false, false, false, 0};
    case ColumnType::Byte:
      return {SQL_TINYINT, 3, 0, 3, 1, "BYTE", true, false, false, 10};
    case ColumnType::Integer:
      return {SQL_SMALLINT, 5, 0, 6, 2, "SMALLINT", false, false, false, 10};
    case ColumnType::Long:
      return {SQL_INTEGER, 10, 0, 11, 4, s.autoNumber ? "COUNTER" : "INTEGER", false, false,
              false, 10};
    case ColumnType::Currency:
      return {SQL_NUMERIC, 19, 4, 21, 21, "CURRENCY", false, true, false, 10};
    case ColumnType::Single:
      return {SQL_REAL, 7, 0, 14, 4, "REAL", false, false, false, 10};
    case ColumnType::Double:
      return {SQL_DOUBLE, 15, 0, 24, 8, "DOUBLE", false, false, false, 10};
    case ColumnType::DateTime:
      return {SQL_TYPE_TIMESTAMP, 19, 0, 19, 16, "DATETIME", false, false, false, 0};
    case ColumnType::Binary:
      return {SQL_VARBINARY, s.length, 0, 2 * static_cast<SQLLEN>(s.length), s.length,
              "VARBINARY", false, false, false, 0};
    case ColumnType::Text:
      return {SQL_VARCHAR, s.length, 0, s.length, 4 * static_cast<SQLLEN>(s.length), "VARCHAR",
              false, false, false, 0};
    case ColumnType::OLE:
      return {SQL_LONGVARBINARY, kLongSize, 0, static_cast<SQLLEN>(kLongSize),
              static_cast<SQLLEN>(kLongSize), "LONGBINARY", false, false, false, 0};
    case ColumnType::Memo:
      return {SQL_LONGVARCHAR, kLongSize, 0, static_cast<SQLLEN>(kLongSize),
              static_cast<SQLLEN>(kLongSize), "LONGCHAR", false, false, false, 0};
    case ColumnType::GUID:
      return {SQL_GUID, 36, 0, 38, 16, "GUID", false, false, false, 0};
    case ColumnType::Numeric:
      return {SQL_NUMERIC, s.precision, s.scale, s.precision + 2, s.precision + 2, "DECIMAL",
              false, false, false, 10};
  }
  return {SQL_VARCHAR, 255, 0, 255, 255, "VARCHAR", false, false, false, 0};
}

SQLSMALLINT typeForVersion(SQLSMALLINT t, SQLINTEGER version) {
  if (version != SQL_OV_ODBC2) return t;
  switch (t) {
    case SQL_TYPE_DATE: return SQL_DATE;
    case SQL_TYPE_TIME: return SQL_TIME;
    case SQL_TYPE_TIMESTAMP: return SQL_TIMESTAMP;
    default: return t;
  }
}

SQLSMALLINT defaultCType(const jet::ColumnSpec& s) {
  switch (s.type) {
    case ColumnType::Boolean: return SQL_C_BIT;
    case ColumnType::Byte: return SQL_C_UTINYINT;
    case ColumnType::Integer: return SQL_C_SSHORT;
    case ColumnType::Long: return SQL_C_SLONG;
    case ColumnType::Single: return SQL_C_FLOAT;
    case ColumnType::Double: return SQL_C_DOUBLE;
    case ColumnType::DateTime: return SQL_C_TYPE_TIMESTAMP;
    case ColumnType::Binary:
    case ColumnType::OLE: return SQL_C_BINARY;
    case ColumnType::GUID: return SQL_C_GUID;
    default: return SQL_C_CHAR;
  }
}

SQLLEN fixedCTypeSize(SQLSMALLINT t) {
  switch (t) {
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: return 1;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return 2;
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_FLOAT: return 4;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE: return 8;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_GUID: return sizeof(SQLGUID);
    default: return 0;
  }
}

SQLRETURN convertValue(const jet::Value& value, const jet::ColumnSpec& spec, SQLSMALLINT cType,
                       SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator, size_t* offset,
                       Diagnostics& diag) {
  if (std::holds_alternative<jet::Null>(value)) {
    if (offset) {
      if (*offset == kValueDone) return SQL_NO_DATA;
      *offset = kValueDone;
    }
    if (!indicator) {
      diag.add("22002", "Indicator variable required but not supplied.");
      return SQL_ERROR;
    }
    *indicator = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  if (cType == SQL_C_DEFAULT) cType = defaultCType(spec);
  // Fixed-size values are returned once; a second SQLGetData gets SQL_NO_DATA.
  if (offset && fixedCTypeSize(cType) > 0) {
    if (*offset == kValueDone) return SQL_NO_DATA;
    *offset = kValueDone;
  }
  switch (cType) {
    case SQL_C_CHAR: {
      std::string text = valueToText(value, spec);
      return copyPieces(text.data(), text.size(), 1, true, target, bufferLength, indicator, offset,
                        diag);
    }
    case SQL_C_WCHAR: {
      std::u16string text = utf8ToUtf16(valueToText(value, spec));
      return copyPieces(reinterpret_cast<const char*>(text.data()), text.size() * 2, 2, true,
                        target, bufferLength, indicator, offset, diag);
    }
    case SQL_C_BINARY: {
      if (auto* b = std::get_if<jet::Bytes>(&value))
        return copyPieces(reinterpret_cast<const char*>(b->data()), b->size(), 1, false, target,
                          bufferLength, indicator, offset, diag);
      if (auto* g = std::get_if<jet::Guid>(&value)) {
        SQLGUID out;
        out.Data1 = (uint32_t(g->bytes[0]) << 24) | (uint32_t(g->bytes[1]) << 16) |
                    (uint32_t(g->bytes[2]) << 8) | g->bytes[3];
        out.Data2 = static_cast<uint16_t>((g->bytes[4] << 8) | g->bytes[5]);
        out.Data3 = static_cast<uint16_t>((g->bytes[6] << 8) | g->bytes[7]);
        std::memcpy(out.Data4, &g->bytes[8], 8);
        return copyPieces(reinterpret_cast<const char*>(&out), sizeof out, 1, false, target,
                          bufferLength, indicator, offset, diag);
      }
      std::string text = valueToText(value, spec);
      return copyPieces(text.data(), text.size(), 1, false, target, bufferLength, indicator,
                        offset, diag);
    }
    case SQL_C_BIT: {
      Number n = asNumber(value);
      if (!n.ok) break;
      if (n.approx < 0 && !std::holds_alternative<bool>(value) &&
          !std::holds_alternative<int64_t>(value)) {
        diag.add("22003", "Numeric value out of range.");
        return SQL_ERROR;
      }
      unsigned char b = n.approx != 0 ? 1 : 0;
      if (target) *static_cast<unsigned char*>(target) = b;
      if (indicator) *indicator = 1;
      return SQL_SUCCESS;
    }
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      Number n = asNumber(value);
      if (!n.ok) break;
      switch (cType) {
        case SQL_C_TINYINT:
        case SQL_C_STINYINT: return storeInteger<int8_t>(n, target, indicator, diag);
        case SQL_C_UTINYINT: return storeInteger<uint8_t>(n, target, indicator, diag);
        case SQL_C_SHORT:
        case SQL_C_SSHORT: return storeInteger<int16_t>(n, target, indicator, diag);
        case SQL_C_USHORT: return storeInteger<uint16_t>(n, target, indicator, diag);
        case SQL_C_LONG:
        case SQL_C_SLONG: return storeInteger<int32_t>(n, target, indicator, diag);
        case SQL_C_ULONG: return storeInteger<uint32_t>(n, target, indicator, diag);
        case SQL_C_SBIGINT: return storeInteger<int64_t>(n, target, indicator, diag);
        default: return storeInteger<uint64_t>(n, target, indicator, diag);
      }
    }
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: {
      Number n = asNumber(value);
      if (!n.ok) break;
      if (cType == SQL_C_FLOAT) {
        if (std::fabs(n.approx) > std::numeric_limits<float>::max()) {
          diag.add("22003", "Numeric value out of range.");
          return SQL_ERROR;
        }
        float f = static_cast<float>(n.approx);
        if (target) std::memcpy(target, &f, sizeof f);
        if (indicator) *indicator = sizeof f;
      } else {
        double d = std::holds_alternative<double>(value) ? std::get<double>(value)
                                                         : static_cast<double>(n.approx);
        if (target) std::memcpy(target, &d, sizeof d);
        if (indicator) *indicator = sizeof d;
      }
      return SQL_SUCCESS;
    }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT out{};
      unsigned __int128 m = 0;
      int scale = 0;
      bool negative = false;
      if (auto* num = std::get_if<jet::Numeric>(&value)) {
        m = num->magnitude;
        scale = num->scale;
        negative = num->negative;
      } else if (auto* c = std::get_if<jet::Currency>(&value)) {
        negative = c->scaled < 0;
        m = negative ? static_cast<unsigned __int128>(-(c->scaled + 1)) + 1
                     : static_cast<unsigned __int128>(c->scaled);
        scale = 4;
      } else {
        Number n = asNumber(value);
        if (!n.ok) break;
        negative = n.whole < 0;
        m = static_cast<unsigned __int128>(negative ? -n.whole : n.whole);
      }
      out.precision = 38;
      out.scale = static_cast<SQLSCHAR>(scale);
      out.sign = negative ? 0 : 1;
      for (int k = 0; k < SQL_MAX_NUMERIC_LEN; ++k) {
        out.val[k] = static_cast<SQLCHAR>(m & 0xFF);
        m >>= 8;
      }
      if (target) std::memcpy(target, &out, sizeof out);
      if (indicator) *indicator = sizeof out;
      return SQL_SUCCESS;
    }
    case SQL_C_GUID: {
      auto* g = std::get_if<jet::Guid>(&value);
      if (!g) break;
      SQLGUID out;
      out.Data1 = (uint32_t(g->bytes[0]) << 24) | (uint32_t(g->bytes[1]) << 16) |
                  (uint32_t(g->bytes[2]) << 8) | g->bytes[3];
      out.Data2 = static_cast<uint16_t>((g->bytes[4] << 8) | g->bytes[5]);
      out.Data3 = static_cast<uint16_t>((g->bytes[6] << 8) | g->bytes[7]);
      std::memcpy(out.Data4, &g->bytes[8], 8);
      if (target) std::memcpy(target, &out, sizeof out);
      if (indicator) *indicator = sizeof out;
      return SQL_SUCCESS;
    }
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
      jet::CivilTime t;
      if (!dateOf(value, t)) {
        if (std::holds_alternative<std::string>(value)) {
          diag.add("22018", "Invalid character value for cast specification.");
          return SQL_ERROR;
        }
        break;
      }
      if (cType == SQL_C_DATE || cType == SQL_C_TYPE_DATE) {
        SQL_DATE_STRUCT d{static_cast<SQLSMALLINT>(t.year), static_cast<SQLUSMALLINT>(t.month),
                          static_cast<SQLUSMALLINT>(t.day)};
        if (target) std::memcpy(target, &d, sizeof d);
        if (indicator) *indicator = sizeof d;
        if (t.hour || t.minute || t.second) {
          diag.add("01S07", "Fractional truncation: the time of day was dropped.");
          return SQL_SUCCESS_WITH_INFO;
        }
      } else if (cType == SQL_C_TIME || cType == SQL_C_TYPE_TIME) {
        SQL_TIME_STRUCT d{static_cast<SQLUSMALLINT>(t.hour), static_cast<SQLUSMALLINT>(t.minute),
                          static_cast<SQLUSMALLINT>(t.second)};
        if (target) std::memcpy(target, &d, sizeof d);
        if (indicator) *indicator = sizeof d;
      } else {
        SQL_TIMESTAMP_STRUCT d{static_cast<SQLSMALLINT>(t.year),
                               static_cast<SQLUSMALLINT>(t.month),
                               static_cast<SQLUSMALLINT>(t.day),
                               static_cast<SQLUSMALLINT>(t.hour),
                               static_cast<SQLUSMALLINT>(t.minute),
                               static_cast<SQLUSMALLINT>(t.second),
                               0};
        if (target) std::memcpy(target, &d, sizeof d);
        if (indicator) *indicator = sizeof d;
      }
      return SQL_SUCCESS;
    }
    default:
      diag.add("HY003", "The C data type " + std::to_string(cType) + " is not supported.");
      return SQL_ERROR;
  }
  diag.add("07006", "Restricted data type attribute violation: a " +
                        std::string(describeColumn(spec).typeName) +
                        " value cannot be converted to C type " + std::to_string(cType) + ".");
  return SQL_ERROR;
}

bool copyOut(std::string_view text, SQLCHAR* buffer, SQLLEN bufferLength, SQLSMALLINT* length) {
  if (length) *length = static_cast<SQLSMALLINT>(std::min<size_t>(text.size(), 32767));
  if (!buffer || bufferLength <= 0) return text.empty();
  size_t n = std::min(text.size(), static_cast<size_t>(bufferLength - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return n == text.size();
}

bool copyOut(std::string_view text, SQLPOINTER buffer, SQLLEN bufferLength, SQLINTEGER* length) {
  if (length) *length = static_cast<SQLINTEGER>(text.size());
  if (!buffer || bufferLength <= 0) return text.empty();
  size_t n = std::min(text.size(), static_cast<size_t>(bufferLength - 1));
  std::memcpy(buffer, text.data(), n);
  static_cast<char*>(buffer)[n] = 0;
  return n == text.size();
}

}  // namespace tabulex::access
