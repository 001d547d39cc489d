#include "odbc/data_source_registration.h"

#include <odbcinst.h>

#include <cctype>
#include <vector>

#include "odbc/carried_text.h"
#include "odbc/conversion_settings.h"

namespace {

RegistrationUi silentUi;
RegistrationUi* currentUi = &silentUi;

// Joins entries into an installer attribute list, as long as the system
// accepts; nothing when an entry holds a control character (a NUL would end
// it early, a line break would add an ini line of its own).
std::optional<std::string> attributeList(const std::vector<std::string>& entries) {
  std::string list;
  for (const std::string& entry : entries) {
    if (hasControlCharacter(entry)) return std::nullopt;
    list += entry;
    list += '\0';
  }
  list += '\0';
  return list;
}

bool configure(WORD request, const char* driver, const std::optional<std::string>& list) {
  if (!list) return false;
  return SQLConfigDataSource(nullptr, request, driver, list->c_str()) != 0;
}

// The NUL-separated names the installer lists: the sections of odbc.ini
// (section empty) or the keys of one section, in the given config mode.
std::vector<std::string> profileNames(UWORD mode, const char* section) {
  UWORD oldMode = ODBC_BOTH_DSN;
  SQLGetConfigMode(&oldMode);
  SQLSetConfigMode(mode);
  std::vector<char> buffer(65536);
  int length = SQLGetPrivateProfileString(section, nullptr, "", buffer.data(), static_cast<int>(buffer.size()),
                                          "odbc.ini");
  SQLSetConfigMode(oldMode);
  std::vector<std::string> names;
  for (int i = 0; i < length && buffer[i] != '\0';) {
    names.emplace_back(&buffer[i]);
    i += static_cast<int>(names.back().size()) + 1;
  }
  return names;
}

bool listed(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& entry : names)
    if (entry == name) return true;
  return false;
}

// Whether the system odbc.ini (not the user's) has a section of this name.
bool systemDataSourceExists(const std::string& name) { return listed(profileNames(ODBC_SYSTEM_DSN, nullptr), name); }

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Entries of a user's data source that our data sources set themselves or
// must never store.
bool ownedByUs(const std::string& key) {
  static const char* const kKeys[] = {"DSN", "DRIVER", "DATABASE", "DB", "DESCRIPTION", "UID", "USER", "PWD",
                                      "PASSWORD", "SAVEFILE", "FILEDSN"};
  const std::string wanted = upper(key);
  for (const char* owned : kKeys)
    if (wanted == owned) return true;
  return false;
}

// The entries of the user's data source, as the installer reads them.
std::optional<std::vector<std::string>> copiedDataSource(const std::string& name) {
  if (!dataSourceExists(name)) return std::nullopt;
  std::vector<std::string> entries;
  for (const std::string& key : profileNames(ODBC_BOTH_DSN, name.c_str())) {
    if (ownedByUs(key)) continue;
    std::vector<char> value(4096);
    SQLGetPrivateProfileString(name.c_str(), key.c_str(), "", value.data(), static_cast<int>(value.size()),
                               "odbc.ini");
    entries.push_back(key + "=" + value.data());
  }
  return entries;
}

}  // namespace

void RegistrationUi::showMessage(const std::string&) {}

void setRegistrationUi(RegistrationUi* ui) { currentUi = ui != nullptr ? ui : &silentUi; }

bool dataSourceExists(const std::string& name) { return listed(profileNames(ODBC_BOTH_DSN, nullptr), name); }

std::optional<std::vector<std::string>> mySqlServerAttributes(const MySqlServer& server) {
  std::vector<std::string> entries;
  if (!server.dataSource.empty()) {
    std::optional<std::vector<std::string>> copied = copiedDataSource(server.dataSource);
    if (!copied) return std::nullopt;
    entries = std::move(*copied);
  } else {
    entries.push_back("SERVER=" + server.host);
    if (server.port != 0) entries.push_back("PORT=" + std::to_string(server.port));
  }
  if (server.requireTls) {
    entries.push_back("FORCETLS=1");
    entries.push_back("SSLVERIFY=1");
  }
  if (!server.certificateAuthority.empty()) entries.push_back("SSLCA=" + server.certificateAuthority);
  return entries;
}

std::optional<std::string> mySqlAttributeList(const std::string& database, const std::string& name,
                                              const MySqlServer& server) {
  std::optional<std::vector<std::string>> serverEntries = mySqlServerAttributes(server);
  if (!serverEntries) return std::nullopt;
  if (!fitsIniValue(name) || !fitsIniValue(database)) return std::nullopt;
  std::vector<std::string> entries{"DSN=" + name};
  entries.insert(entries.end(), serverEntries->begin(), serverEntries->end());
  entries.push_back("DATABASE=" + database);
  return attributeList(entries);
}

std::optional<std::string> accessAttributeList(const std::string& path, const std::string& name,
                                               const std::string& description) {
  if (!fitsIniValue(name) || !fitsIniValue(path)) return std::nullopt;
  return attributeList({"DSN=" + name + " ", "DESCRIPTION=" + description + " ", "DBQ=" + path});
}

std::optional<std::string> createDatabaseAttributeList(const std::string& destinationPath) {
  // The driver reads the path up to the next quote and trims its ends.
  if (!fitsIniValue(destinationPath) || destinationPath.find('"') != std::string::npos) return std::nullopt;
  return attributeList({"CREATE_DB=\"" + destinationPath + "\""});
}

bool AddMySqlDataSource(const std::string& database, const std::string& name, const std::string& description) {
  return AddMySqlDataSource(database, name, description, conversionSettings().server);
}

bool AddMySqlDataSource(const std::string& database, const std::string& name, const std::string&,
                        const MySqlServer& server) {
  return configure(ODBC_ADD_DSN, kMySqlDriverName, mySqlAttributeList(database, name, server));
}

bool RemoveMySqlDataSource(const std::string& database, const std::string& name, const std::string&) {
  // Removal goes by the name alone; the server part stays plain so that a
  // user's data source removed meanwhile does not keep ours registered.
  return configure(ODBC_REMOVE_DSN, kMySqlDriverName, mySqlAttributeList(database, name));
}

bool CreateAccessDatabaseFile(const std::string& destinationPath) {
  return configure(ODBC_ADD_DSN, kAccessDriverName, createDatabaseAttributeList(destinationPath));
}

bool AddAccessDataSource(const std::string& path, const std::string& name, const std::string& description) {
  if (systemDataSourceExists(name)) {
    RemoveAccessDataSource(path, name, "");
    return false;
  }
  if (configure(ODBC_ADD_DSN, kAccessDriverName, accessAttributeList(path, name, description))) return true;
  currentUi->showMessage(kAddAccessDataSourceFailedText);
  return false;
}

bool RemoveAccessDataSource(const std::string& path, const std::string& name, const std::string& description) {
  return configure(ODBC_REMOVE_DSN, kAccessDriverName, accessAttributeList(path, name, description));
}
