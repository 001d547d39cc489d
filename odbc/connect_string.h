// Connect strings that carry the user's own login and password.
#pragma once

#include <string>

struct ConversionSettings;

// One connect-string value in braces, with every '}' doubled, so that any
// character (';', '=', blanks, braces) reaches the driver unchanged.
std::string bracedConnectValue(const std::string& value);

// "DSN=<dsn>;UID={<login>};PWD={<password>}".
std::string connectStringFor(const std::string& dsn, const std::string& login, const std::string& password);

// The same with the login and password stored in the settings.
std::string connectStringFor(const std::string& dsn, const ConversionSettings& settings);

// "DRIVER={MySQL ODBC 3.51 Driver};SERVER=..;DATABASE={..};UID={..};PWD={..}",
// with the server entries a registered data source would hold
// (mySqlServerAttributes of settings.server): a connection to the database
// that writes no odbc.ini, so runs side by side never meet. Throws
// std::invalid_argument naming the value (escaped) when one holds a control
// character, or the database name has a blank at an end (the driver would
// drop it and read another database).
std::string mySqlDriverConnectString(const ConversionSettings& settings, const std::string& database);

// "DRIVER={Microsoft Access Driver (*.mdb)};DBQ={<file>}" for the Access file
// itself (its whole name, ".mdb" included). Throws std::invalid_argument as above.
std::string accessDriverConnectString(const std::string& file);
