#include "odbc/data_source_registration.h"

#include <odbcinst.h>

#include <initializer_list>
#include <vector>

namespace {

constexpr size_t kDataSourceListBuffer = 256;
constexpr size_t kCreateFileListBuffer = 200;

RegistrationUi silentUi;
RegistrationUi* currentUi = &silentUi;

// Joins entries into an installer attribute list, or nothing when a value
// holds a NUL (it would end the entry early) or the list exceeds capacity.
std::optional<std::string> attributeList(std::initializer_list<std::string> entries, size_t capacity) {
  std::string list;
  for (const std::string& entry : entries) {
    if (entry.find('\0') != std::string::npos) return std::nullopt;
    list += entry;
    list += '\0';
  }
  list += '\0';
  if (list.size() > capacity) return std::nullopt;
  return list;
}

bool configure(WORD request, const char* driver, const std::optional<std::string>& list) {
  if (!list) return false;
  return SQLConfigDataSource(nullptr, request, driver, list->c_str()) != 0;
}

// Whether the system odbc.ini (not the user's) has a section of this name.
bool systemDataSourceExists(const std::string& name) {
  UWORD oldMode = ODBC_BOTH_DSN;
  SQLGetConfigMode(&oldMode);
  SQLSetConfigMode(ODBC_SYSTEM_DSN);
  std::vector<char> sections(65536);
  int length = SQLGetPrivateProfileString(nullptr, nullptr, "", sections.data(),
                                          static_cast<int>(sections.size()), "odbc.ini");
  SQLSetConfigMode(oldMode);
  for (int i = 0; i < length && sections[i] != '\0';) {
    std::string section(&sections[i]);
    if (section == name) return true;
    i += static_cast<int>(section.size()) + 1;
  }
  return false;
}

}  // namespace

void RegistrationUi::showMessage(const std::string&) {}

void setRegistrationUi(RegistrationUi* ui) { currentUi = ui != nullptr ? ui : &silentUi; }

std::optional<std::string> mySqlAttributeList(const std::string& database, const std::string& name) {
  return attributeList({"DSN=" + name, "SERVER=localhost", "DATABASE=" + database}, kDataSourceListBuffer);
}

std::optional<std::string> accessAttributeList(const std::string& path, const std::string& name,
                                               const std::string& description) {
  return attributeList({"DSN=" + name + " ", "DESCRIPTION=" + description + " ", "DBQ=" + path},
                       kDataSourceListBuffer);
}

std::optional<std::string> createDatabaseAttributeList(const std::string& destinationPath) {
  return attributeList({"CREATE_DB=\"" + destinationPath + "\""}, kCreateFileListBuffer);
}

bool AddMySqlDataSource(const std::string& database, const std::string& name, const std::string&) {
  return configure(ODBC_ADD_DSN, kMySqlDriverName, mySqlAttributeList(database, name));
}

bool RemoveMySqlDataSource(const std::string& database, const std::string& name, const std::string&) {
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
