// Connecting to a database file and what a connection answers about itself.
#include <cstring>

#include "drivers/access/connection.h"
#include "drivers/access/describe.h"
#include "drivers/access/odbc_api.h"
#include "drivers/access/odbc_info.h"

namespace tabulex::access {
namespace {

void openDatabase(Dbc* d, const std::string& dsn, const std::string& dbq) {
  if (d->connected()) throw DriverError("08002", "The connection is already open.");
  std::string path = databasePathFor(dsn, dbq);
  d->database = acquireDatabase(path);
  d->path = std::move(path);
  d->dsn = trimBlanks(dsn);
}

}  // namespace

SQLRETURN connect(Dbc* d, SQLCHAR* dsn, SQLSMALLINT dsnLength) {
  return guarded(d, [&] {
    openDatabase(d, inText(dsn, dsnLength), "");
    return SQL_SUCCESS;
  });
}

SQLRETURN driverConnect(Dbc* d, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                        SQLSMALLINT outMax, SQLSMALLINT* outLength) {
  return guarded(d, [&] {
    std::string dsn, dbq, driver;
    std::vector<std::pair<std::string, std::string>> others;
    for (auto& [key, value] : parseConnectString(inText(in, inLength))) {
      if (key == "DSN") dsn = std::move(value);
      else if (key == "DBQ") dbq = std::move(value);
      else if (key == "DRIVER") driver = std::move(value);
      else if (key != "PWD" && key != "UID") others.emplace_back(std::move(key), std::move(value));
    }
    openDatabase(d, dsn, dbq);
    // Built in one buffer: this runs on every connect of the converter.
    std::string completed;
    completed.reserve(d->dsn.size() + d->path.size() + 64);
    if (!d->dsn.empty()) {
      completed += "DSN=";
      appendConnectValue(completed, d->dsn);
    } else {
      completed.append("DRIVER={").append(driver.empty() ? std::string_view(kDriverName) : driver);
      completed += '}';
    }
    completed += ";DBQ=";
    appendConnectValue(completed, d->path);
    completed += ';';
    for (auto& [key, value] : others) {
      completed.append(key).append(1, '=');
      appendConnectValue(completed, value);
      completed += ';';
    }
    if (!copyOut(completed, out, outMax, outLength) && out)
      d->diag.add("01004", "String data, right truncated: the completed connect string was cut.");
    return SQL_SUCCESS;
  });
}

void closeConnection(Dbc* d) {
  for (Stmt* s : d->statements) closeCursor(s);
  if (d->database) releaseDatabase(d->database);
  d->database.reset();
  d->path.clear();
  d->dsn.clear();
}

SQLRETURN disconnect(Dbc* d) {
  d->diag.clear();
  closeConnection(d);
  return SQL_SUCCESS;
}

SQLRETURN info(Dbc* d, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max,
               SQLSMALLINT* length) {
  return guarded(d, [&] { return getInfo(*d, type, value, max, length); });
}

SQLRETURN nativeSql(Dbc* d, SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                    SQLINTEGER outMax, SQLINTEGER* outLength) {
  return guarded(d, [&] {
    std::string text = inText(in, inLength);
    if (!copyOut(text, out, outMax, outLength) && out)
      d->diag.add("01004", "String data, right truncated.");
    return SQL_SUCCESS;
  });
}

}  // namespace tabulex::access
