#include "odbc/connect_string.h"

#include <optional>
#include <stdexcept>

#include "odbc/carried_text.h"
#include "odbc/conversion_settings.h"
#include "odbc/data_source_registration.h"

namespace {

std::string carried(const std::string& what, const std::string& value, bool secret = false) {
  if (hasControlCharacter(value))
    throw std::invalid_argument(what + (secret ? std::string() : " \"" + escapedText(value) + "\"") +
                                " holds a control character and cannot be passed to the driver");
  return bracedConnectValue(value);
}

}  // namespace

std::string bracedConnectValue(const std::string& value) {
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  braced += '}';
  return braced;
}

std::string connectStringFor(const std::string& dsn, const std::string& login, const std::string& password) {
  return "DSN=" + dsn + ";UID=" + bracedConnectValue(login) + ";PWD=" + bracedConnectValue(password);
}

std::string connectStringFor(const std::string& dsn, const ConversionSettings& settings) {
  return connectStringFor(dsn, settings.loginName, settings.password);
}

std::string mySqlDriverConnectString(const ConversionSettings& settings, const std::string& database) {
  // The driver trims blanks off the ends even of a braced value, and " shop"
  // would read shop.
  if (!database.empty() && (database.front() == ' ' || database.back() == ' '))
    throw std::invalid_argument("the database name \"" + escapedText(database) +
                                "\" begins or ends with a blank, which the MySQL driver drops; it cannot be "
                                "converted exactly");
  // The same server entries a registered data source holds.
  std::optional<std::vector<std::string>> server = mySqlServerAttributes(settings.server);
  if (!server) throw std::invalid_argument("no ODBC data source is named " + settings.server.dataSource);
  std::string connect = "DRIVER=" + bracedConnectValue(kMySqlDriverName);
  for (const std::string& entry : *server) {
    const std::size_t eq = entry.find('=');
    connect += ";" + entry.substr(0, eq) + "=" + carried(entry.substr(0, eq), entry.substr(eq + 1));
  }
  return connect + ";DATABASE=" + carried("the database name", database) +
         ";UID=" + carried("the login name", settings.loginName) +
         ";PWD=" + carried("the password", settings.password, true);
}

std::string accessDriverConnectString(const std::string& file) {
  return "DRIVER=" + bracedConnectValue(kAccessDriverName) + ";DBQ=" + carried("the file name", file);
}
