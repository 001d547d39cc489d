// ConfigDSN for MariaDB Connector/ODBC: the installer's SQLConfigDataSource
// loads this library and calls it to add or remove a data source. The
// installer has already chosen the user or system odbc.ini (config mode), so
// the profile calls below write wherever it points.
#include <odbcinst.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Entry = std::pair<std::string, std::string>;

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

bool hasControlCharacter(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

// Splits "KEY=value\0KEY=value\0\0". False when an entry has no '=' or no
// key, or holds a line break or another control character: written into
// odbc.ini it would become a line, and a setting, of its own.
bool parseAttributes(const char* attributes, std::vector<Entry>& entries) {
  if (attributes == nullptr) return false;
  for (const char* p = attributes; *p != '\0';) {
    std::string entry(p);
    p += entry.size() + 1;
    if (hasControlCharacter(entry)) return false;
    size_t eq = entry.find('=');
    if (eq == std::string::npos) return false;
    std::string key = trimmed(entry.substr(0, eq));
    if (key.empty()) return false;
    entries.emplace_back(std::move(key), trimmed(entry.substr(eq + 1)));
  }
  return true;
}

bool sectionExists(const std::string& name) {
  // Section names come back NUL-separated; the list is small.
  std::vector<char> sections(65536);
  int length = SQLGetPrivateProfileString(nullptr, nullptr, "", sections.data(),
                                          static_cast<int>(sections.size()), "odbc.ini");
  if (length <= 0) return false;
  for (const char* p = sections.data(); p < sections.data() + length && *p != '\0'; p += std::string(p).size() + 1)
    if (std::string(p) == name) return true;
  return false;
}

bool fail(DWORD code, const char* message) {
  SQLPostInstallerError(code, message);
  return false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver,
                                                                         LPCSTR attributes) {
  std::vector<Entry> entries;
  if (!parseAttributes(attributes, entries))
    return fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "malformed attribute list");

  std::string name;
  for (const auto& [key, value] : entries)
    if (equalsIgnoringCase(key, "DSN")) name = value;
  if (name.empty()) return fail(ODBC_ERROR_INVALID_DSN, "the attribute list names no data source");

  switch (request) {
    case ODBC_ADD_DSN:
    case ODBC_CONFIG_DSN: {
      if (driver == nullptr || *driver == '\0') return fail(ODBC_ERROR_INVALID_NAME, "no driver description");
      if (!SQLValidDSN(name.c_str())) return fail(ODBC_ERROR_INVALID_DSN, "invalid data-source name");
      // Writes the section afresh with its Driver= key, replacing any old one whole.
      if (!SQLWriteDSNToIni(name.c_str(), driver)) return false;
      for (const auto& [key, value] : entries) {
        if (equalsIgnoringCase(key, "DSN") || equalsIgnoringCase(key, "DRIVER")) continue;
        if (!SQLWritePrivateProfileString(name.c_str(), key.c_str(), value.c_str(), "odbc.ini")) return false;
      }
      return true;
    }
    case ODBC_REMOVE_DSN: {
      if (!sectionExists(name)) return fail(ODBC_ERROR_INVALID_DSN, "no such data source");
      if (!SQLRemoveDSNFromIni(name.c_str())) return false;
      // The installer caches odbc.ini; rewriting the section drops the cached copy.
      SQLWritePrivateProfileString(name.c_str(), nullptr, nullptr, "odbc.ini");
      return true;
    }
    default:
      return fail(ODBC_ERROR_INVALID_REQUEST_TYPE, "unsupported request");
  }
}
