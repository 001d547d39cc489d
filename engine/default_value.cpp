#include "engine/default_value.h"

#include <cctype>
#include <regex>

namespace engine {

namespace {

// Access keeps a default in a property of at most 255 characters.
constexpr std::size_t kDefaultValueLimit = 255;

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool isQuoted(const std::string& text) {
  return text.size() >= 2 && text.front() == '\'' && text.back() == '\'';
}

// The value of a quoted literal: '' is one quote, and a backslash escapes
// as in MySQL's string syntax (the catalogue writes a line break as \n and
// a backslash as \\).
std::string unquoted(const std::string& text) {
  std::string out;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    char c = text[i];
    if (c == '\'' && i + 2 < text.size() && text[i + 1] == '\'') {
      out += '\'';
      ++i;
    } else if (c == '\\' && i + 2 < text.size()) {
      char next = text[++i];
      switch (next) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 'b': out += '\b'; break;
        case 'Z': out += '\x1A'; break;
        default: out += next; break;
      }
    } else {
      out += c;
    }
  }
  return out;
}

bool isNumber(const std::string& text) {
  static const std::regex number(R"([-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?)");
  return std::regex_match(text, number);
}

// CURRENT_TIMESTAMP in any of its spellings and precisions.
bool isCurrentTimestamp(const std::string& expression) {
  static const std::regex now(
      R"((current_timestamp|now|localtimestamp|localtime)(\(\s*\d*\s*\))?)");
  return std::regex_match(lower(expression), now);
}

bool isCurrentDate(const std::string& expression) {
  static const std::regex today(R"((current_date|curdate)(\(\s*\))?)");
  return std::regex_match(lower(expression), today);
}

std::string accessText(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

AccessDefault carried(std::string literal) {
  if (literal.size() > kDefaultValueLimit)
    return {"", "Access holds a default of at most 255 characters"};
  return {std::move(literal), ""};
}

AccessDefault expressionLeftOut(const std::string& expression) {
  return {"", "Access has no equivalent of the expression " + expression};
}

// 'YYYY-MM-DD HH:MM:SS[.ffffff]' or 'YYYY-MM-DD' as an Access date literal.
AccessDefault dateLiteral(const std::string& value) {
  static const std::regex stamp(
      R"((\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2}):(\d{2})(?:\.(\d+))?)?)");
  std::smatch m;
  if (!std::regex_match(value, m, stamp)) return {"", "'" + value + "' is no date Access can hold"};
  const int year = std::stoi(m[1]), month = std::stoi(m[2]), day = std::stoi(m[3]);
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > 31)
    return {"", "Access cannot hold the date '" + value + "'"};
  if (m[7].matched && m[7].str().find_first_not_of('0') != std::string::npos)
    return {"", "Access keeps no fractions of a second ('" + value + "')"};
  std::string time = m[4].matched ? m[4].str() + ":" + m[5].str() + ":" + m[6].str() : "00:00:00";
  return carried("#" + m[1].str() + "-" + m[2].str() + "-" + m[3].str() + " " + time + "#");
}

}  // namespace

AccessDefault accessDefault(const SourceColumn& column,
                            const std::optional<std::string>& columnDefault) {
  if (!columnDefault) return {};
  const std::string& given = *columnDefault;
  const bool quoted = isQuoted(given);
  if (!quoted && lower(given) == "null") return {};
  const std::string value = quoted ? unquoted(given) : given;
  if (value.find('\0') != std::string::npos) return {"", "Access cannot hold a NUL character in a default"};

  const AccessColumnType type = mapColumnType(column);
  switch (type.style) {
    case ValueStyle::Number:
    case ValueStyle::Double:
    case ValueStyle::Single:
      if (isNumber(value)) return carried(value);
      return quoted ? AccessDefault{"", "'" + value + "' is no number"} : expressionLeftOut(given);
    case ValueStyle::Bit: {
      // MariaDB shows a BIT default as b'1'.
      std::string bits = value;
      if (!quoted && bits.size() >= 3 && (bits[0] == 'b' || bits[0] == 'B') && isQuoted(bits.substr(1)))
        bits = unquoted(bits.substr(1));
      const bool yesNo = lower(type.typeWord) == "bit";
      if (bits.find_first_not_of("01") != std::string::npos || bits.empty())
        return quoted ? AccessDefault{"", "'" + value + "' is no bit value"} : expressionLeftOut(given);
      const bool set = bits.find('1') != std::string::npos;
      return carried(set ? (yesNo ? "-1" : "1") : "0");
    }
    case ValueStyle::Timestamp:
      if (!quoted) {
        if (isCurrentTimestamp(value)) return carried("Now()");
        if (isCurrentDate(value)) return carried("Date()");
        return expressionLeftOut(given);
      }
      return dateLiteral(value);
    case ValueStyle::DateText:
    case ValueStyle::TimeText:
      if (!quoted) {
        if (isCurrentDate(value)) return carried("Date()");
        if (isCurrentTimestamp(value)) return carried("Now()");
        return expressionLeftOut(given);
      }
      return carried(accessText(value));
    case ValueStyle::NumberText:
      if (isNumber(value)) return carried(accessText(value));
      return quoted ? AccessDefault{"", "'" + value + "' is no number"} : expressionLeftOut(given);
    case ValueStyle::Binary:
      return {"", "Access keeps no default for an OLE Object column"};
    case ValueStyle::Text:
      if (!quoted) {
        // A number given bare (an older server's spelling) is still text.
        if (isNumber(value)) return carried(accessText(value));
        return expressionLeftOut(given);
      }
      return carried(accessText(value));
  }
  return {};
}

}  // namespace engine
