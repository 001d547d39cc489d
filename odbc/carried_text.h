// What text may go into an ini file or a connect string. Both are read back
// line by line and key by key, so a line break or another control character
// in a value would start a new entry: a database name could then plant
// settings (an INITSTMT the MySQL driver runs at every connect). Such text is
// refused, never cleaned up, since a changed name would reach another object.
#pragma once

#include <string>

// Whether text holds a NUL, a line break or any other control character.
bool hasControlCharacter(const std::string& text);

// Whether a value survives an ini file exactly: no control character and no
// blank at either end (the installer trims both ends of every value).
bool fitsIniValue(const std::string& value);

// The text as a message or a list shows it: control characters written as
// \n, \r, \t or \xNN, everything else as it is.
std::string escapedText(const std::string& text);
