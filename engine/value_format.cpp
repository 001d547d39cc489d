#include "engine/value_format.h"

#include <charconv>
#include <cmath>

namespace engine {

std::string sqlText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string sqlBinary(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 + bytes.size() * 2);
  out += "0x";
  for (char c : bytes) {
    unsigned char b = static_cast<unsigned char>(c);
    out += digits[b >> 4];
    out += digits[b & 0xF];
  }
  return out;
}

namespace {
template <typename T>
std::string shortest(T value) {
  if (!std::isfinite(value)) return kSqlNull;
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}
}  // namespace

std::string sqlDouble(double value) { return shortest(value); }
std::string sqlSingle(float value) { return shortest(value); }

namespace {
// [+-]digits[.digits][e[+-]digits], at least one digit before the exponent:
// the only text that may stand bare in a statement.
bool plainNumber(std::string_view text) {
  size_t i = 0, digits = 0;
  auto skipDigits = [&] {
    size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  digits += skipDigits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits += skipDigits();
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (skipDigits() == 0) return false;
  }
  return i == text.size();
}
}  // namespace

std::string sqlNumber(std::string_view digits) {
  if (digits.empty()) return kSqlNull;
  // Anything else a driver might hand over goes quoted, so that it can only
  // ever be one value the destination accepts or refuses, never SQL.
  if (!plainNumber(digits)) return sqlText(digits);
  return std::string(digits);
}

namespace {
bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned daysInMonth(int year, unsigned month) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && leapYear(year)) return 29;
  return days[month - 1];
}
}  // namespace

std::string sqlTimestamp(int year, unsigned month, unsigned day, unsigned hour,
                         unsigned minute, unsigned second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > daysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
    return kSqlNull;
  // Written digit by digit: printf would cost more than the rest of the
  // row's rendering together, and every row of a table with a DATETIME
  // column takes this way.
  std::string out;
  out.reserve(24);
  auto put = [&](unsigned value, char after) {
    char digits[12];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    out += after;
  };
  auto putTwo = [&](unsigned value, char after) {
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
    out += after;
  };
  out += '\'';
  put(day, '/');
  put(month, '/');
  put(static_cast<unsigned>(year), ' ');
  put(hour, ':');
  putTwo(minute, ':');
  putTwo(second, '\'');
  return out;
}

namespace {
// Exactly `count` digits at `at`.
bool digitsAt(std::string_view text, std::size_t at, std::size_t count, unsigned& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}
}  // namespace

std::string sqlTimestampText(std::string_view text) {
  unsigned year, month, day, hour, minute, second;
  // "YYYY-MM-DD HH:MM:SS": every field at a fixed place.
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
      text[13] != ':' || text[16] != ':' || !digitsAt(text, 0, 4, year) ||
      !digitsAt(text, 5, 2, month) || !digitsAt(text, 8, 2, day) || !digitsAt(text, 11, 2, hour) ||
      !digitsAt(text, 14, 2, minute) || !digitsAt(text, 17, 2, second))
    return kSqlNull;
  std::string_view fraction;
  if (text.size() > 19) {
    if (text[19] != '.' || text.size() == 20) return kSqlNull;
    fraction = text.substr(20);
    if (fraction.find_first_not_of("0123456789") != std::string_view::npos) return kSqlNull;
    fraction = fraction.substr(0, fraction.find_last_not_of('0') + 1);
  }
  std::string out = sqlTimestamp(static_cast<int>(year), month, day, hour, minute, second);
  if (out == kSqlNull || fraction.empty()) return out;
  out.pop_back();  // the closing quote
  out += '.';
  out += fraction;
  out += '\'';
  return out;
}

std::string sqlDateText(std::string_view text) {
  if (text.empty()) return kSqlNull;
  return sqlText(text);
}

std::string sqlBit(bool value) { return value ? "1" : "0"; }

}  // namespace engine
