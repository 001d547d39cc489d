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
