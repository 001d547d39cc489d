#include "drivers/access/values.h"

#include <array>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string_view>

namespace tabulex::access {
namespace {

using jet::ColumnType;

// Every double below this rounds to a finite float, the largest float's own
// shortest text ("3.4028235e+38", above FLT_MAX as a double) included.
constexpr double kSingleLimit = double(FLT_MAX) + 0x1p103;

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void typeError(const TypeName& t, const std::string& why) {
  throw DriverError("42000", "Syntax error in field definition near '" + t.original +
                                 "': " + why + ".");
}

int64_t arg(const TypeName& t, size_t i, int64_t fallback) {
  return i < t.args.size() ? t.args[i] : fallback;
}

void setText(const TypeName& t, jet::ColumnSpec& c, int64_t fallback) {
  int64_t n = arg(t, 0, fallback);
  if (n < 1) typeError(t, "a text size must be at least 1");
  if (n > 255) {
    c.type = ColumnType::Memo;
  } else {
    c.type = ColumnType::Text;
    c.length = static_cast<uint16_t>(n);
  }
}

void setBinary(const TypeName& t, jet::ColumnSpec& c) {
  int64_t n = arg(t, 0, 255);
  if (n < 1) typeError(t, "a binary size must be at least 1");
  if (n > 255) {
    c.type = ColumnType::OLE;
  } else {
    c.type = ColumnType::Binary;
    c.length = static_cast<uint16_t>(n);
  }
}

// A decimal number as digits and a power of ten: value = digits * 10^exp.
struct Decimal {
  bool negative = false;
  std::string digits;  // no leading zeros; empty means zero
  int exp = 0;
};

bool parseDecimal(std::string_view text, Decimal& out) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  size_t end = text.size();
  while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (i < end && (text[i] == '-' || text[i] == '+')) {
    out.negative = text[i] == '-';
    ++i;
  }
  bool any = false;
  std::string digits;
  int exp = 0;
  while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
    digits += text[i++];
    any = true;
  }
  if (i < end && text[i] == '.') {
    ++i;
    while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
      digits += text[i++];
      --exp;
      any = true;
    }
  }
  if (!any) return false;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < end && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
    if (i >= end || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    long e = 0;
    while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
      if (e < 100000) e = e * 10 + (text[i] - '0');
      ++i;
    }
    exp += static_cast<int>(neg ? -e : e);
  }
  if (i != end) return false;
  size_t nz = digits.find_first_not_of('0');
  digits = nz == std::string::npos ? "" : digits.substr(nz);
  // Trailing zeros move into the exponent so that huge exponents stay cheap.
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exp;
  }
  out.digits = digits;
  out.exp = digits.empty() ? 0 : exp;
  return true;
}

// 10^n for the 0 to 38 digits a Jet decimal can hold.
unsigned __int128 powerOfTen(int n) {
  static const auto kPowers = [] {
    std::array<unsigned __int128, 39> p{};
    p[0] = 1;
    for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
  }();
  if (n < static_cast<int>(kPowers.size())) return kPowers[static_cast<size_t>(n)];
  unsigned __int128 p = kPowers.back();  // wraps as repeated multiplication would
  for (int i = static_cast<int>(kPowers.size()) - 1; i < n; ++i) p *= 10;
  return p;
}

// Scales to an integer count of 10^-scale units, rounding half to even as Jet
// does. Returns false when the magnitude needs more than maxDigits digits.
bool scaleDecimal(const Decimal& d, int scale, int maxDigits, unsigned __int128& magnitude) {
  magnitude = 0;
  if (d.digits.empty()) return true;
  long shift = static_cast<long>(d.exp) + scale;
  long intDigits = static_cast<long>(d.digits.size()) + shift;
  if (intDigits > maxDigits) return false;
  std::string kept;
  bool roundUp = false;
  if (shift >= 0) {
    kept = d.digits + std::string(static_cast<size_t>(shift), '0');
  } else {
    long keep = static_cast<long>(d.digits.size()) + shift;
    if (keep > 0) kept = d.digits.substr(0, static_cast<size_t>(keep));
    std::string dropped = keep > 0 ? d.digits.substr(static_cast<size_t>(keep))
                                   : std::string(static_cast<size_t>(-keep), '0') + d.digits;
    char first = dropped[0];
    bool restNonZero = dropped.find_first_not_of('0', 1) != std::string::npos;
    bool lastOdd = !kept.empty() && ((kept.back() - '0') % 2 == 1);
    roundUp = first > '5' || (first == '5' && (restNonZero || lastOdd));
  }
  for (char c : kept) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  if (roundUp) ++magnitude;
  return magnitude < powerOfTen(maxDigits);
}

[[noreturn]] void valueError(const std::string& state, const jet::ColumnSpec& c,
                             const std::string& why) {
  throw DriverError(state, why + " in column '" + c.name + "'.");
}

std::string literalKind(const Literal& l) {
  switch (l.kind) {
    case Literal::Kind::String: return "text";
    case Literal::Kind::Number: return "a number";
    case Literal::Kind::Hex: return "binary data";
    case Literal::Kind::Date: return "a date";
    case Literal::Kind::Boolean: return "a Yes/No value";
    case Literal::Kind::Parameter: return "an unbound parameter";
    default: return "NULL";
  }
}

[[noreturn]] void mismatch(const Literal& l, const jet::ColumnSpec& c, const char* wanted) {
  valueError("22018", c, "Data type mismatch: " + literalKind(l) + " where " + wanted +
                             " is expected");
}

// Plain whole numbers, the common case, without the decimal machinery:
// an optional minus and up to 18 digits, which cannot overflow.
bool plainInteger(std::string_view t, int64_t& out) {
  size_t i = !t.empty() && t[0] == '-' ? 1 : 0;
  if (t.size() == i || t.size() - i > 18) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    unsigned d = static_cast<unsigned char>(t[i]) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
  }
  out = t[0] == '-' ? -v : v;
  return true;
}

// Decimal numbers of up to 15 digits without an exponent, the usual
// prices and measures: digits and divisor are exact doubles, and one
// correctly rounded division gives what from_chars gives.
bool shortDecimal(std::string_view t, double& out) {
  static const double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = t.data();
  const char* end = p + t.size();
  bool negative = p < end && *p == '-';
  p += negative ? 1 : 0;
  // More than 19 digits wrap around, and are refused below anyway.
  uint64_t digits = 0;
  const char* first = p;
  while (p < end && static_cast<unsigned>(*p - '0') <= 9) digits = digits * 10 + (*p++ - '0');
  long count = p - first, fraction = 0;
  if (p < end && *p == '.') {
    const char* point = ++p;
    while (p < end && static_cast<unsigned>(*p - '0') <= 9) digits = digits * 10 + (*p++ - '0');
    fraction = p - point;
    count += fraction;
  }
  if (p != end || count == 0 || count > 15) return false;
  double v = static_cast<double>(digits) / kPowers[fraction];
  out = negative ? -v : v;
  return true;
}

int64_t toInteger(const Literal& l, const jet::ColumnSpec& c, int64_t lo, int64_t hi) {
  if (l.kind == Literal::Kind::Boolean) return l.boolean ? -1 : 0;
  int64_t fast;
  if (l.kind == Literal::Kind::Number && plainInteger(l.text, fast)) {
    if (fast < lo || fast > hi) valueError("22003", c, "Numeric value out of range (" + std::string(l.text) + ")");
    return fast;
  }
  Decimal d;
  if ((l.kind != Literal::Kind::Number && l.kind != Literal::Kind::String) ||
      !parseDecimal(l.text, d))
    mismatch(l, c, "a number");
  unsigned __int128 m;
  if (!scaleDecimal(d, 0, 19, m) || m > static_cast<unsigned __int128>(hi) + (d.negative ? 1 : 0))
    valueError("22003", c, "Numeric value out of range (" + std::string(l.text) + ")");
  int64_t v = d.negative ? -static_cast<int64_t>(m - 1) - 1 : static_cast<int64_t>(m);
  if (m == 0) v = 0;
  if (v < lo || v > hi) valueError("22003", c, "Numeric value out of range (" + std::string(l.text) + ")");
  return v;
}

double toDouble(const Literal& l, const jet::ColumnSpec& c) {
  if (l.kind == Literal::Kind::Boolean) return l.boolean ? -1.0 : 0.0;
  if (l.kind == Literal::Kind::Number) {
    double quick;
    if (shortDecimal(l.text, quick)) return quick;
  }
  if (l.kind == Literal::Kind::Number && !l.text.empty() && l.text[0] != '+') {
    // The lexer only lets decimal numbers through, so from_chars sees no
    // "inf" or "nan" here.
    double v = 0;
    auto r = std::from_chars(l.text.data(), l.text.data() + l.text.size(), v);
    if (r.ec == std::errc() && r.ptr == l.text.data() + l.text.size() && std::isfinite(v) &&
        (c.type != ColumnType::Single || std::fabs(v) < kSingleLimit))
      return v;
  }
  Decimal check;
  if ((l.kind != Literal::Kind::Number && l.kind != Literal::Kind::String) ||
      !parseDecimal(l.text, check))
    mismatch(l, c, "a number");
  std::string t(l.text);
  size_t b = t.find_first_not_of(" \t\r\n");
  size_t e = t.find_last_not_of(" \t\r\n");
  t = t.substr(b, e - b + 1);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  double v = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow is an error.
    if (check.exp < 0) return 0.0;
    valueError("22003", c, "Numeric value out of range (" + std::string(l.text) + ")");
  }
  if (r.ec != std::errc() || !std::isfinite(v))
    valueError("22003", c, "Numeric value out of range (" + std::string(l.text) + ")");
  if (c.type == ColumnType::Single && !(std::fabs(v) < kSingleLimit))
    valueError("22003", c, "Numeric value out of range (" + std::string(l.text) + ")");
  return v;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

jet::Guid toGuid(const Literal& l, const jet::ColumnSpec& c) {
  if (l.kind != Literal::Kind::String) mismatch(l, c, "a GUID");
  std::string t(l.text);
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  jet::Guid g;
  static const int kDashes[] = {8, 13, 18, 23};
  bool ok = t.size() == 36;
  size_t n = 0;
  for (size_t i = 0; ok && i < t.size(); ++i) {
    bool dash = false;
    for (int d : kDashes) dash = dash || static_cast<int>(i) == d;
    if (dash) {
      ok = t[i] == '-';
      continue;
    }
    int hi = hexValue(t[i]);
    int lo = i + 1 < t.size() ? hexValue(t[i + 1]) : -1;
    if (hi < 0 || lo < 0) {
      ok = false;
      break;
    }
    g.bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
    ++i;
  }
  if (!ok || n != 16) valueError("22018", c, "Invalid GUID '" + std::string(l.text) + "'");
  return g;
}

// Access counts a text's characters in UTF-16 units: a character beyond
// U+FFFF takes two. A text no longer in bytes than the limit cannot be
// longer in units; most values are, and skip the count.
void checkTextLength(std::string_view text, const jet::ColumnSpec& c) {
  if (c.type == ColumnType::Text && text.size() > c.length && utf16Length(text) > c.length)
    valueError("22001", c,
               "String data, right truncated: " + std::to_string(utf16Length(text)) +
                   " characters where at most " + std::to_string(c.length) + " fit");
}

int daysIn(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

bool readInt(std::string_view s, size_t& i, int maxDigits, int& out, int& digits) {
  out = 0;
  digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (digits == maxDigits) return false;
    out = out * 10 + (s[i] - '0');
    ++digits;
    ++i;
  }
  return digits > 0;
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char b = s[i];
    char32_t c = b;
    size_t n = 1;
    if (b >= 0xF0 && i + 3 < s.size()) {
      c = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
          (s[i + 3] & 0x3F);
      n = 4;
    } else if (b >= 0xE0 && i + 2 < s.size()) {
      c = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      n = 3;
    } else if (b >= 0xC0 && i + 1 < s.size()) {
      c = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
      n = 2;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

std::string utf16ToUtf8(const char16_t* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

size_t utf8Length(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

size_t utf16Length(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += ((c & 0xC0) != 0x80) + (c >= 0xF0);
  return n;
}

void applyTypeName(const TypeName& t, jet::ColumnSpec& c) {
  const std::string& w = t.words;
  auto is = [&](std::initializer_list<const char*> names) {
    for (const char* n : names)
      if (w == n) return true;
    return false;
  };
  c.length = 0;
  c.autoNumber = false;
  if (is({"TEXT", "VARCHAR", "CHAR", "CHARACTER", "NCHAR", "NVARCHAR", "VARCHAR2",
          "STRING", "ALPHANUMERIC", "CHARACTER VARYING", "CHAR VARYING",
          "NATIONAL CHAR", "NATIONAL CHARACTER", "NATIONAL VARCHAR",
          "NATIONAL CHARACTER VARYING", "NATIONAL CHAR VARYING"})) {
    setText(t, c, 255);
  } else if (is({"TINYTEXT"})) {
    c.type = ColumnType::Text;
    c.length = 255;
  } else if (is({"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT", "MEDIUMTEXT",
                 "LONG VARCHAR", "CLOB", "JSON"})) {
    c.type = ColumnType::Memo;
  } else if (is({"BYTE", "TINYINT", "INTEGER1", "TINYINT UNSIGNED"})) {
    c.type = ColumnType::Byte;
  } else if (is({"SMALLINT", "SHORT", "INTEGER2", "YEAR", "SMALLINT SIGNED",
                 "TINYINT SIGNED"})) {
    c.type = ColumnType::Integer;
  } else if (is({"SMALLINT UNSIGNED", "INTEGER", "INT", "INTEGER4", "LONG", "MEDIUMINT",
                 "MEDIUMINT UNSIGNED", "MEDIUMINT SIGNED", "INT SIGNED", "INTEGER SIGNED"})) {
    c.type = ColumnType::Long;
  } else if (is({"INT UNSIGNED", "INTEGER UNSIGNED"})) {
    c.type = ColumnType::Numeric;
    c.precision = 10;
    c.scale = 0;
  } else if (is({"BIGINT", "BIGINT SIGNED"})) {
    c.type = ColumnType::Numeric;
    c.precision = 19;
    c.scale = 0;
  } else if (is({"BIGINT UNSIGNED"})) {
    c.type = ColumnType::Numeric;
    c.precision = 20;
    c.scale = 0;
  } else if (is({"REAL", "SINGLE", "FLOAT4", "IEEESINGLE"})) {
    c.type = ColumnType::Single;
  } else if (is({"FLOAT", "DOUBLE", "DOUBLE PRECISION", "FLOAT8", "IEEEDOUBLE", "NUMBER",
                 "DOUBLE UNSIGNED", "FLOAT UNSIGNED"})) {
    c.type = ColumnType::Double;
  } else if (is({"MONEY", "CURRENCY", "SMALLMONEY"})) {
    c.type = ColumnType::Currency;
  } else if (is({"DECIMAL", "NUMERIC", "DEC", "DECIMAL UNSIGNED", "NUMERIC UNSIGNED"})) {
    int64_t p = arg(t, 0, 18);
    int64_t s = arg(t, 1, 0);
    if (t.args.size() > 2 || p < 1 || p > 28 || s < 0 || s > p)
      typeError(t, "a decimal needs a precision of 1 to 28 and a scale of 0 to the precision");
    c.type = ColumnType::Numeric;
    c.precision = static_cast<uint8_t>(p);
    c.scale = static_cast<uint8_t>(s);
  } else if (is({"DATETIME", "DATE", "TIME", "TIMESTAMP", "SMALLDATETIME"})) {
    c.type = ColumnType::DateTime;
  } else if (is({"BIT", "YESNO", "LOGICAL", "LOGICAL1", "BOOLEAN", "BOOL"})) {
    c.type = ColumnType::Boolean;
  } else if (is({"BINARY", "VARBINARY", "BINARY VARYING"})) {
    setBinary(t, c);
  } else if (is({"OLEOBJECT", "LONGBINARY", "IMAGE", "GENERAL", "BLOB", "LONGBLOB",
                 "MEDIUMBLOB", "TINYBLOB", "LONG VARBINARY", "LONG BINARY"})) {
    c.type = ColumnType::OLE;
  } else if (is({"GUID", "UNIQUEIDENTIFIER"})) {
    c.type = ColumnType::GUID;
  } else if (is({"COUNTER", "AUTOINCREMENT", "AUTONUMBER", "IDENTITY"})) {
    c.type = ColumnType::Long;
    c.autoNumber = true;
    // COUNTER(seed, increment): a Jet table keeps only the last number it
    // gave out, so the seed is kept and any increment but 1 is refused.
    if (t.args.size() == 1 || t.args.size() > 2) typeError(t, "COUNTER takes a seed and an increment");
    if (t.args.size() == 2) {
      if (t.args[1] != 1) typeError(t, "a Jet AutoNumber counts up by 1; the increment " + std::to_string(t.args[1]) + " cannot be kept");
      if (t.args[0] < 1 || t.args[0] > 2147483647) typeError(t, "the AutoNumber seed must be 1 to 2147483647");
      c.autoNumberSeed = t.args[0];
    }
    return;
  } else {
    typeError(t, "unknown type '" + t.original + "'");
  }
  bool sized = c.type == ColumnType::Text || c.type == ColumnType::Binary ||
               c.type == ColumnType::Numeric || is({"TEXT", "VARCHAR", "CHAR", "BINARY",
                                                    "VARBINARY"});
  // MySQL display widths such as INT(11) and FLOAT(7,4) carry no meaning here.
  bool displayWidth = c.type == ColumnType::Byte || c.type == ColumnType::Integer ||
                      c.type == ColumnType::Long || c.type == ColumnType::Double ||
                      c.type == ColumnType::Single || c.type == ColumnType::DateTime ||
                      c.type == ColumnType::Boolean;
  if (!sized && !displayWidth && !t.args.empty())
    typeError(t, "the type '" + w + "' takes no size");
}

namespace {

// 'D/M/YYYY', with ' H:MM' or ' H:MM:SS' after it, as conversions write
// dates: read straight off the digits. Anything else takes the general way.
// The digit at q as 0-9, or more than 9 for no digit (or the end).
inline unsigned digitAt(const char* q, const char* end) {
  return q < end ? static_cast<unsigned>(static_cast<unsigned char>(*q) - '0') : 10u;
}

inline bool upToTwoDigits(const char*& q, const char* end, int& out) {
  unsigned d = digitAt(q, end);
  if (d > 9) return false;
  ++q;
  if (unsigned e = digitAt(q, end); e <= 9) {
    d = d * 10 + e;
    ++q;
  }
  out = static_cast<int>(d);
  return digitAt(q, end) > 9;
}

inline bool exactDigits(const char*& q, const char* end, int count, int& out) {
  unsigned v = 0;
  for (int k = 0; k < count; ++k, ++q) {
    unsigned d = digitAt(q, end);
    if (d > 9) return false;
    v = v * 10 + d;
  }
  out = static_cast<int>(v);
  return digitAt(q, end) > 9;
}

inline bool separator(const char*& q, const char* end, char c) {
  if (q == end || *q != c) return false;
  ++q;
  return true;
}

// Digits after the decimal point of the seconds; at least one.
inline bool fractionDigits(const char*& q, const char* end, double& out) {
  const char* first = q;
  while (digitAt(q, end) <= 9) ++q;
  if (q == first) return false;
  double value = 0;
  for (const char* d = q; d-- > first;) value = (value + (*d - '0')) / 10;
  out = value;
  return true;
}

bool plainDate(std::string_view s, bool monthFirst, ParsedDate& p) {
  const char* q = s.data();
  const char* end = q + s.size();
  int a, b;
  if (!upToTwoDigits(q, end, a) || !separator(q, end, '/') || !upToTwoDigits(q, end, b) ||
      !separator(q, end, '/') || !exactDigits(q, end, 4, p.year))
    return false;
  p.day = monthFirst ? b : a;
  p.month = monthFirst ? a : b;
  if (q == end) return true;
  if (!separator(q, end, ' ') || !upToTwoDigits(q, end, p.hour) || !separator(q, end, ':') ||
      !exactDigits(q, end, 2, p.minute))
    return false;
  if (q == end) return true;
  if (!separator(q, end, ':') || !exactDigits(q, end, 2, p.second)) return false;
  if (q == end) return true;
  return separator(q, end, '.') && fractionDigits(q, end, p.fraction) && q == end;
}

}  // namespace

DateParse parseDateText(std::string_view raw, bool monthFirst, ParsedDate& out) {
  ParsedDate quick;
  if (plainDate(raw, monthFirst, quick)) {
    if (quick.month < 1 || quick.month > 12 || quick.day < 1 ||
        quick.day > daysIn(quick.year, quick.month) || quick.hour > 23 || quick.minute > 59 ||
        quick.second > 59 || quick.year < 100)
      return DateParse::Impossible;
    out = quick;
    return DateParse::Ok;
  }
  std::string_view s = raw;
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return DateParse::NotADate;
  s = s.substr(b, s.find_last_not_of(" \t") - b + 1);
  size_t i = 0;
  int a, bb, c, da, db, dc;
  ParsedDate p;
  bool haveDate = false;
  // Date part: three numbers separated by '/', '-' or '.'.
  size_t save = i;
  if (readInt(s, i, 4, a, da) && i < s.size() && (s[i] == '/' || s[i] == '-' || s[i] == '.')) {
    char sep = s[i++];
    if (readInt(s, i, 4, bb, db) && i < s.size() && s[i] == sep && (++i, readInt(s, i, 4, c, dc))) {
      haveDate = true;
      if (da >= 3) {  // year first
        p.year = a;
        p.month = bb;
        p.day = c;
        if (db > 2 || dc > 2) return DateParse::NotADate;
      } else {
        p.year = c;
        if (dc <= 2) p.year += c < 30 ? 2000 : 1900;
        p.day = monthFirst ? bb : a;
        p.month = monthFirst ? a : bb;
        if (db > 2) return DateParse::NotADate;
      }
    } else {
      return DateParse::NotADate;
    }
  } else {
    i = save;
  }
  // Time part.
  if (haveDate && i < s.size()) {
    if (s[i] != ' ' && s[i] != 'T') return DateParse::NotADate;
    while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
  }
  if (i < s.size()) {
    int h, m, sec = 0, dh, dm, ds;
    if (!readInt(s, i, 2, h, dh) || i >= s.size() || s[i] != ':') return DateParse::NotADate;
    ++i;
    if (!readInt(s, i, 2, m, dm) || dm != 2) return DateParse::NotADate;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!readInt(s, i, 2, sec, ds) || ds != 2) return DateParse::NotADate;
      if (i < s.size() && s[i] == '.') {
        ++i;
        const char* q = s.data() + i;
        if (!fractionDigits(q, s.data() + s.size(), p.fraction)) return DateParse::NotADate;
        i = static_cast<size_t>(q - s.data());
      }
    }
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size()) {
      std::string ampm = upper(std::string(s.substr(i)));
      if (ampm != "AM" && ampm != "PM") return DateParse::NotADate;
      if (h < 1 || h > 12) return DateParse::Impossible;
      if (ampm == "AM" && h == 12) h = 0;
      if (ampm == "PM" && h != 12) h += 12;
    }
    p.hour = h;
    p.minute = m;
    p.second = sec;
  } else if (!haveDate) {
    return DateParse::NotADate;
  }
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > daysIn(p.year, p.month) || p.hour > 23 || p.minute > 59 || p.second > 59)
    return DateParse::Impossible;
  out = p;
  return DateParse::Ok;
}

namespace {
void convertLiteral(const Literal& l, const jet::ColumnSpec& c, jet::Value& out);
}  // namespace

void assignLiteral(const Literal& l, const jet::ColumnSpec& c, jet::Value& out) {
  if (l.exactDouble) {
    // The shortest digits read back as the same double, so the double
    // itself is what the digits would give these columns.
    if (c.type == ColumnType::Double || (c.type == ColumnType::Single && std::fabs(l.number) < kSingleLimit)) {
      out = l.number;
      return;
    }
    char digits[32];
    auto r = std::to_chars(digits, digits + sizeof digits, l.number);
    Literal spelled = l;
    spelled.exactDouble = false;
    spelled.text = std::string_view(digits, static_cast<size_t>(r.ptr - digits));
    assignLiteral(spelled, c, out);
    return;
  }
  if ((c.type == ColumnType::Text || c.type == ColumnType::Memo) &&
      l.kind == Literal::Kind::String) {
    checkTextLength(l.text, c);
    if (auto* text = std::get_if<std::string>(&out))
      text->assign(l.text);
    else
      out.emplace<std::string>(l.text);
    return;
  }
  if (l.kind == Literal::Kind::Number) {
    // Plain numbers for number columns, the bulk of a conversion's values;
    // anything out of range or unusual takes the general way below.
    int64_t whole;
    double fraction;
    switch (c.type) {
      case ColumnType::Long:
        if (plainInteger(l.text, whole) && whole >= std::numeric_limits<int32_t>::min() &&
            whole <= std::numeric_limits<int32_t>::max()) {
          out = whole;
          return;
        }
        break;
      case ColumnType::Double:
      case ColumnType::Single:
        if (shortDecimal(l.text, fraction)) {
          out = fraction;
          return;
        }
        break;
      case ColumnType::Boolean:
        if (plainInteger(l.text, whole)) {
          out = whole != 0;
          return;
        }
        break;
      default:
        break;
    }
  } else if (c.type == ColumnType::DateTime && l.kind == Literal::Kind::String) {
    ParsedDate p;
    if (parseDateText(l.text, false, p) == DateParse::Ok) {
      out = p.value();
      return;
    }
  }
  convertLiteral(l, c, out);
}

namespace {

// Every literal for every column type; kept apart from the plain cases
// above, whose calls then need none of its stack frame.
[[gnu::noinline]] void convertLiteral(const Literal& l, const jet::ColumnSpec& c,
                                      jet::Value& out) {
  if (l.kind == Literal::Kind::Null) { out = jet::Null{}; return; }
  switch (c.type) {
    case ColumnType::Boolean: {
      if (l.kind == Literal::Kind::Boolean) { out = l.boolean; return; }
      if (l.kind == Literal::Kind::String) {
        std::string u = upper(std::string(l.text));
        if (u == "TRUE" || u == "YES" || u == "ON") { out = true; return; }
        if (u == "FALSE" || u == "NO" || u == "OFF") { out = false; return; }
      }
      Decimal d;
      if ((l.kind != Literal::Kind::Number && l.kind != Literal::Kind::String) ||
          !parseDecimal(l.text, d))
        mismatch(l, c, "a Yes/No value");
      out = !d.digits.empty();
      return;
    }
    case ColumnType::Byte:
      out = toInteger(l, c, 0, 255);
      return;
    case ColumnType::Integer:
      out = toInteger(l, c, -32768, 32767);
      return;
    case ColumnType::Long:
      out = toInteger(l, c, std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max());
      return;
    case ColumnType::Single:
    case ColumnType::Double:
      out = toDouble(l, c);
      return;
    case ColumnType::Currency:
    case ColumnType::Numeric: {
      if (l.kind == Literal::Kind::Boolean) {
        if (c.type == ColumnType::Currency) { out = jet::Currency{l.boolean ? -10000 : 0}; return; }
        out = jet::Numeric{l.boolean, l.boolean ? 1u : 0u, 0};
        return;
      }
      int scale = c.type == ColumnType::Currency ? 4 : c.scale;
      int maxDigits = c.type == ColumnType::Currency ? 19 : c.precision;
      int64_t whole;
      if (l.kind == Literal::Kind::Number && scale <= 18 && plainInteger(l.text, whole)) {
        // Whole numbers, the usual key and count columns, skip the digit
        // strings: |whole| * 10^scale stays below 10^36, well inside 128 bits.
        unsigned __int128 m = whole < 0 ? static_cast<unsigned __int128>(-(whole + 1)) + 1
                                        : static_cast<unsigned __int128>(whole);
        m *= powerOfTen(scale);
        if (m < powerOfTen(maxDigits)) {
          if (c.type == ColumnType::Numeric) { out = jet::Numeric{whole < 0, m, c.scale}; return; }
          if (m <= static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max())) {
            out = jet::Currency{whole < 0 ? -static_cast<int64_t>(m) : static_cast<int64_t>(m)};
            return;
          }
        }
        // Out of range: the general path below words the error.
      }
      Decimal d;
      if ((l.kind != Literal::Kind::Number && l.kind != Literal::Kind::String) ||
          !parseDecimal(l.text, d))
        mismatch(l, c, "a number");
      unsigned __int128 m;
      if (c.type == ColumnType::Currency) {
        if (!scaleDecimal(d, 4, 19, m) ||
            m > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) +
                    (d.negative ? 1 : 0))
          valueError("22003", c, "Numeric value out of range (" + std::string(l.text) + ")");
        int64_t v = m == 0 ? 0
                    : d.negative ? -static_cast<int64_t>(m - 1) - 1
                                 : static_cast<int64_t>(m);
        out = jet::Currency{v};
        return;
      }
      if (!scaleDecimal(d, c.scale, c.precision, m))
        valueError("22003", c,
                   "Numeric value out of range (" + std::string(l.text) + " does not fit DECIMAL(" +
                       std::to_string(c.precision) + "," + std::to_string(c.scale) + "))");
      out = jet::Numeric{d.negative && m != 0, m, c.scale};
      return;
    }
    case ColumnType::DateTime: {
      if (l.kind == Literal::Kind::Number) {
        double days = toDouble(l, c);
        if (!jet::inAccessDateRange(days))
          valueError("22007", c, "Invalid date value (" + std::string(l.text) + ")");
        out = jet::DateTime{days};
        return;
      }
      if (l.kind != Literal::Kind::String && l.kind != Literal::Kind::Date)
        mismatch(l, c, "a date");
      ParsedDate p;
      DateParse r = parseDateText(l.text, l.kind == Literal::Kind::Date, p);
      if (r != DateParse::Ok)
        valueError("22007", c,
                   std::string(r == DateParse::Impossible ? "Invalid date or time"
                                                          : "Invalid date format") +
                       " ('" + std::string(l.text) + "')");
      out = p.value();
      return;
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
      std::string text;
      if (l.kind == Literal::Kind::Boolean) {
        text = l.boolean ? "-1" : "0";
      } else if (l.kind == Literal::Kind::Hex) {
        mismatch(l, c, "text");
      } else {
        text = l.text;
        if (l.kind == Literal::Kind::Number && !text.empty() && text[0] == '+') text.erase(0, 1);
      }
      checkTextLength(text, c);
      out = std::move(text);
      return;
    }
    case ColumnType::Binary:
    case ColumnType::OLE: {
      jet::Bytes bytes;
      if (l.kind == Literal::Kind::Hex) {
        std::string h(l.text);
        if (h.size() % 2) h.insert(h.begin(), '0');
        bytes.reserve(h.size() / 2);
        for (size_t i = 0; i < h.size(); i += 2)
          bytes.push_back(static_cast<uint8_t>(hexValue(h[i]) * 16 + hexValue(h[i + 1])));
      } else if (l.kind == Literal::Kind::String) {
        bytes.assign(l.text.begin(), l.text.end());
      } else {
        mismatch(l, c, "binary data");
      }
      if (c.type == ColumnType::Binary && bytes.size() > c.length)
        valueError("22001", c,
                   "Binary data, right truncated: " + std::to_string(bytes.size()) +
                       " bytes where at most " + std::to_string(c.length) + " fit");
      out = std::move(bytes);
      return;
    }
    case ColumnType::GUID:
      out = toGuid(l, c);
      return;
  }
  mismatch(l, c, "a value");
}

}  // namespace

bool defaultValueOf(const jet::ColumnSpec& c, jet::Value& out) {
  std::string_view e = c.defaultValue;
  while (!e.empty() && (e.front() == ' ' || e.front() == '=')) e.remove_prefix(1);
  while (!e.empty() && e.back() == ' ') e.remove_suffix(1);
  if (e.empty()) return false;
  auto word = [&](const char* w) {
    if (e.size() != std::strlen(w)) return false;
    for (size_t i = 0; i < e.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(e[i])) != w[i]) return false;
    return true;
  };
  if (word("NOW()") || word("DATE()")) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    bool withTime = word("NOW()");
    jet::DateTime d = jet::toOleDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                     withTime ? local.tm_hour : 0, withTime ? local.tm_min : 0,
                                     withTime ? local.tm_sec : 0);
    if (c.type == jet::ColumnType::DateTime) {
      out = d;
      return true;
    }
    return false;
  }
  Literal l;
  std::string text;
  if (word("TRUE") || word("YES") || word("FALSE") || word("NO")) {
    l.kind = Literal::Kind::Boolean;
    l.boolean = word("TRUE") || word("YES");
  } else if (e.size() >= 2 && e.front() == '"' && e.back() == '"') {
    std::string_view inner = e.substr(1, e.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] == '"') {
        if (i + 1 >= inner.size() || inner[i + 1] != '"') return false;
        ++i;
      }
      text += inner[i];
    }
    l.kind = Literal::Kind::String;
    l.text = text;
  } else if (e.size() >= 2 && e.front() == '#' && e.back() == '#') {
    l.kind = Literal::Kind::Date;
    l.text = e.substr(1, e.size() - 2);
  } else {
    // A number as the lexer reads one: sign, digits, fraction, exponent.
    size_t k = e.front() == '-' || e.front() == '+' ? 1 : 0;
    auto digits = [&] {
      size_t from = k;
      while (k < e.size() && e[k] >= '0' && e[k] <= '9') ++k;
      return k - from;
    };
    size_t whole = digits(), fraction = 0;
    if (k < e.size() && e[k] == '.') {
      ++k;
      fraction = digits();
    }
    if (whole + fraction == 0) return false;
    if (k < e.size() && (e[k] == 'e' || e[k] == 'E')) {
      ++k;
      if (k < e.size() && (e[k] == '+' || e[k] == '-')) ++k;
      if (digits() == 0) return false;
    }
    if (k != e.size()) return false;
    text = std::string(e.front() == '+' ? e.substr(1) : e);
    l.kind = Literal::Kind::Number;
    l.text = text;
  }
  out = literalToValue(l, c);
  return true;
}

jet::Value literalToValue(const Literal& l, const jet::ColumnSpec& c) {
  jet::Value v;
  assignLiteral(l, c, v);
  return v;
}

std::string valueToText(const jet::Value& value, const jet::ColumnSpec& column) {
  struct Visitor {
    const jet::ColumnSpec& c;
    std::string operator()(const jet::Null&) const { return {}; }
    std::string operator()(bool b) const { return b ? "1" : "0"; }
    std::string operator()(int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const {
      char buf[64];
      std::to_chars_result r;
      if (c.type == ColumnType::Single) {
        r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
      } else {
        r = std::to_chars(buf, buf + sizeof buf, v);
      }
      return std::string(buf, r.ptr);
    }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const jet::Bytes& b) const {
      static const char kHex[] = "0123456789ABCDEF";
      std::string out;
      out.reserve(b.size() * 2);
      for (uint8_t x : b) {
        out += kHex[x >> 4];
        out += kHex[x & 15];
      }
      return out;
    }
    std::string operator()(const jet::Currency& cur) const {
      return (*this)(jet::Numeric{cur.scaled < 0,
                                  cur.scaled < 0 ? static_cast<unsigned __int128>(
                                                       -(cur.scaled + 1)) + 1
                                                 : static_cast<unsigned __int128>(cur.scaled),
                                  4});
    }
    std::string operator()(const jet::DateTime& d) const {
      jet::CivilTime t = jet::fromOleDate(d);
      char buf[48];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                    t.hour, t.minute, t.second);
      return buf;
    }
    std::string operator()(const jet::Numeric& n) const {
      std::string digits;
      unsigned __int128 m = n.magnitude;
      do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
      } while (m);
      if (n.scale > 0) {
        if (digits.size() <= n.scale) digits.insert(0, n.scale + 1 - digits.size(), '0');
        digits.insert(digits.size() - n.scale, ".");
      }
      return (n.negative && n.magnitude != 0 ? "-" : "") + digits;
    }
    std::string operator()(const jet::Guid& g) const {
      static const char kHex[] = "0123456789ABCDEF";
      std::string out = "{";
      for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kHex[g.bytes[i] >> 4];
        out += kHex[g.bytes[i] & 15];
      }
      return out + "}";
    }
  };
  return std::visit(Visitor{column}, value);
}

}  // namespace tabulex::access
