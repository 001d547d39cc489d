// Connection strings and data-source look-ups.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabulex::access {

// Parses "KEY=value;KEY={va;lue}" into pairs (keys upper-cased, values
// trimmed; "}}" inside braces stands for "}").
std::vector<std::pair<std::string, std::string>> parseConnectString(const std::string& text);

// The database file of a connection: DBQ as given, or read from the data
// source's entry in odbc.ini; ".mdb" appended when missing.
std::string databasePathFor(const std::string& dsn, const std::string& dbq);

std::string trimBlanks(std::string_view s);

// Value for a connect string, braced when it holds characters that would
// end or confuse an unbraced value.
std::string connectValue(const std::string& value);
// The same, appended to out (a connect runs this for every part it echoes).
void appendConnectValue(std::string& out, std::string_view value);

}  // namespace tabulex::access
