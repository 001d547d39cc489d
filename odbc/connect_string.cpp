#include "odbc/connect_string.h"

#include "odbc/conversion_settings.h"

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
