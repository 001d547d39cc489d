#include "odbc/carried_text.h"

#include <cstdio>

namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

bool hasControlCharacter(const std::string& text) {
  for (char c : text)
    if (isControl(static_cast<unsigned char>(c))) return true;
  return false;
}

bool fitsIniValue(const std::string& value) {
  if (hasControlCharacter(value)) return false;
  return value.empty() || (value.front() != ' ' && value.back() != ' ');
}

std::string escapedText(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!isControl(byte)) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      out += code;
    }
  }
  return out;
}
