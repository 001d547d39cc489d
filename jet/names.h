// Object names as Access accepts and compares them.
#pragma once

#include <string>

namespace jet {

// Throws Error(InvalidName) for names Access refuses: empty, over 64
// characters, a leading blank, control characters, or . ! ` [ ]
void checkName(const std::string& name, const char* what);

// Key for case-insensitive comparison (Latin, Greek and Cyrillic letters).
std::u16string foldName(const std::string& name);

}  // namespace jet
