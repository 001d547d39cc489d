// The setup entry of the driver: creates blank database files
// (CREATE_DB="path") and adds, changes and removes data sources.
#include <odbcinst.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "drivers/access/connection.h"
#include "drivers/access/database_cache.h"
#include "drivers/access/exports.h"
#include "drivers/access/odbc_info.h"
#include "jet/database.h"

namespace tabulex::access {
namespace {

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

BOOL fail(DWORD code, const std::string& message) {
  SQLPostInstallerError(code, message.c_str());
  return kFalse;
}

// Splits "KEY=value\0KEY=value\0\0"; false for an entry without '='.
bool parseAttributes(const char* list, std::vector<std::pair<std::string, std::string>>& out) {
  for (const char* p = list; *p; p += std::strlen(p) + 1) {
    std::string entry = p;
    size_t eq = entry.find('=');
    if (eq == std::string::npos) {
      if (trimBlanks(entry).empty()) continue;
      return false;
    }
    std::string key = upper(trimBlanks(entry.substr(0, eq)));
    if (key.empty()) return false;
    out.emplace_back(key, trimBlanks(entry.substr(eq + 1)));
  }
  return true;
}

std::string parentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

BOOL createDatabase(std::string path) {
  if (path.size() >= 2 && path.front() == '"') {
    size_t close = path.find('"', 1);
    // CREATE_DB="path" may be followed by a sort order word; only the path counts.
    path = close == std::string::npos ? path.substr(1) : path.substr(1, close - 1);
  }
  path = trimBlanks(path);
  if (path.empty()) return fail(ODBC_ERROR_INVALID_PATH, "CREATE_DB names no file.");
  if (path.size() < 4 || upper(path.substr(path.size() - 4)) != ".MDB") path += ".mdb";

  struct stat st;
  if (::stat(path.c_str(), &st) == 0)
    return fail(ODBC_ERROR_CREATE_DSN_FAILED,
                "Cannot create '" + path + "': a file of that name already exists.");
  std::string folder = parentFolder(path);
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return fail(ODBC_ERROR_INVALID_PATH,
                "Cannot create '" + path + "': the folder '" + folder + "' does not exist.");
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return fail(ODBC_ERROR_INVALID_PATH, "Cannot create '" + path + "': the folder '" + folder +
                                             "' is not writable (" + std::strerror(errno) + ").");
  try {
    jet::Database::create(path);
  } catch (const jet::Error& e) {
    if (e.code() == jet::Error::Code::Exists)
      return fail(ODBC_ERROR_CREATE_DSN_FAILED,
                  "Cannot create '" + path + "': a file of that name already exists.");
    return fail(ODBC_ERROR_CREATE_DSN_FAILED,
                "Cannot create '" + path + "': " + std::string(e.what()));
  } catch (const std::exception& e) {
    return fail(ODBC_ERROR_CREATE_DSN_FAILED,
                "Cannot create '" + path + "': " + std::string(e.what()));
  }
  return kTrue;
}

bool isRegistered(const std::string& dsn) {
  char buffer[1024] = {0};
  SQLGetPrivateProfileString(dsn.c_str(), "Driver", "", buffer, sizeof buffer, "odbc.ini");
  return buffer[0] != '\0';
}

}  // namespace
}  // namespace tabulex::access

using namespace tabulex::access;

extern "C" BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver, LPCSTR attributes) {
  try {
    if (!attributes) return fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "No attributes were given.");
    std::vector<std::pair<std::string, std::string>> attrs;
    if (!parseAttributes(attributes, attrs))
      return fail(ODBC_ERROR_INVALID_KEYWORD_VALUE,
                  "Malformed attribute list: every entry must read KEY=value.");
    std::string dsn, createDb;
    bool haveCreate = false;
    for (auto& [key, value] : attrs) {
      if (key == "DSN") dsn = value;
      if (key == "CREATE_DB") {
        createDb = value;
        haveCreate = true;
      }
    }
    switch (request) {
      case ODBC_ADD_DSN:
      case ODBC_CONFIG_DSN: {
        if (haveCreate) {
          if (!createDatabase(createDb)) return kFalse;
          if (dsn.empty()) return kTrue;
        }
        if (dsn.empty())
          return fail(ODBC_ERROR_INVALID_DSN, "The attribute list names no data source (DSN=).");
        std::string driverName = driver && *driver ? driver : kDriverName;
        if (request == ODBC_ADD_DSN || !isRegistered(dsn)) {
          // Replaces an existing section whole.
          if (!SQLWriteDSNToIni(dsn.c_str(), driverName.c_str()))
            return fail(ODBC_ERROR_REQUEST_FAILED, "Cannot register the data source '" + dsn + "'.");
        }
        for (auto& [key, value] : attrs) {
          if (key == "DSN" || key == "DRIVER" || key == "CREATE_DB") continue;
          if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), "odbc.ini"))
            return fail(ODBC_ERROR_REQUEST_FAILED,
                        "Cannot write " + key + " of the data source '" + dsn + "'.");
        }
        return kTrue;
      }
      case ODBC_REMOVE_DSN: {
        if (dsn.empty())
          return fail(ODBC_ERROR_INVALID_DSN, "The attribute list names no data source (DSN=).");
        if (!isRegistered(dsn))
          return fail(ODBC_ERROR_INVALID_DSN, "The data source '" + dsn + "' is not registered.");
        if (!SQLRemoveDSNFromIni(dsn.c_str()))
          return fail(ODBC_ERROR_REMOVE_DSN_FAILED, "Cannot remove the data source '" + dsn + "'.");
        // Also drops the installer's cached copy of odbc.ini.
        SQLWritePrivateProfileString(dsn.c_str(), nullptr, nullptr, "odbc.ini");
        return kTrue;
      }
      default:
        return fail(ODBC_ERROR_INVALID_REQUEST_TYPE,
                    "Request " + std::to_string(request) + " is not supported.");
    }
  } catch (const std::exception& e) {
    return fail(ODBC_ERROR_GENERAL_ERR, e.what());
  }
}

TABULEX_LTX_ALIAS(ConfigDSN)
