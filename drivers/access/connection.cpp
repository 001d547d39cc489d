#include "drivers/access/connection.h"

#include <odbcinst.h>

#include <cctype>

#include "drivers/access/driver_error.h"

namespace tabulex::access {

std::string trimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::vector<std::pair<std::string, std::string>> parseConnectString(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
      // A piece without '=' carries nothing; skip it.
      if (semi == std::string::npos) break;
      i = semi + 1;
      continue;
    }
    std::string key = trimBlanks(text.substr(i, eq - i));
    for (auto& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    if (v < text.size() && text[v] == '{') {
      size_t p = v + 1;
      for (; p < text.size(); ++p) {
        if (text[p] == '}') {
          if (p + 1 < text.size() && text[p + 1] == '}') {
            value += '}';
            ++p;
            continue;
          }
          break;
        }
        value += text[p];
      }
      i = text.find(';', p);
      i = i == std::string::npos ? text.size() : i + 1;
    } else {
      size_t end = text.find(';', v);
      if (end == std::string::npos) end = text.size();
      value = trimBlanks(text.substr(v, end - v));
      i = end + 1;
    }
    if (!key.empty()) out.emplace_back(key, value);
  }
  return out;
}

std::string databasePathFor(const std::string& dsnIn, const std::string& dbqIn) {
  std::string path = trimBlanks(dbqIn);
  std::string dsn = trimBlanks(dsnIn);
  if (path.empty() && !dsn.empty()) {
    char buffer[4096];  // not cleared as a whole: this runs on every connect
    buffer[0] = '\0';
    SQLGetPrivateProfileString(dsn.c_str(), "DBQ", "", buffer, sizeof buffer, "odbc.ini");
    path = trimBlanks(buffer);
    if (path.empty())
      throw DriverError("08001", "The data source '" + dsn +
                                     "' names no database file (DBQ is missing).");
  }
  if (path.empty())
    throw DriverError("08001",
                      "No database file given: the connect string needs DSN=name or DBQ=path.");
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
    path = path.substr(1, path.size() - 2);
  auto endsWithMdb = [](const std::string& p) {
    if (p.size() < 4) return false;
    std::string tail = p.substr(p.size() - 4);
    for (auto& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".mdb";
  };
  if (!endsWithMdb(path)) path += ".mdb";
  return path;
}

void appendConnectValue(std::string& out, std::string_view value) {
  // One pass over the characters: find_first_of searches the whole set for
  // every character, and this runs on every connect.
  bool plain = !value.empty();
  for (char c : value) {
    if (c == ';' || c == '{' || c == '}' || c == '=' || c == ' ') {
      plain = false;
      break;
    }
  }
  if (plain) {
    out.append(value);
    return;
  }
  out += '{';
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
}

std::string connectValue(const std::string& value) {
  std::string out;
  appendConnectValue(out, value);
  return out;
}

}  // namespace tabulex::access
