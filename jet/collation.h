// General (legacy) sort order: the text part of an index key, as Access
// 2000-2007 builds it for Jet 4 files.
#pragma once

#include <string>
#include <string_view>

#include "jet/index_key.h"

namespace jet::collation {

// Access indexes at most this many UTF-16 code units of a text value.
constexpr size_t kMaxIndexedUnits = 255;

// UTF-8 to UTF-16. Malformed input becomes U+FFFD; returns false when that
// happened.
bool toUtf16(std::string_view utf8, std::u16string& out);

// Appends the key bytes of a non-null text value (without the flag byte):
// the value is cut to 255 code units and trailing spaces are dropped first.
void appendTextKey(KeyBytes& out, std::u16string_view text, bool descending);

}  // namespace jet::collation
