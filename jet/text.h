// Text as Jet 4 stores it: UCS-2 little-endian, optionally in the
// "compressed" form (FF FE prefix, single bytes, 0x00 toggling modes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

// Throws Error(InvalidValue) on malformed UTF-8 or characters outside the
// Basic Multilingual Plane are kept as surrogate pairs.
std::u16string utf8ToUtf16(const std::string& utf8);
std::string utf16ToUtf8(const std::u16string& utf16);

// Stored bytes of a text value. When compression is allowed and every
// character fits in one byte the short form is used. A value starting with
// U+FEFF would read back as compressed, so it always gets the compressed
// form with a switch to two-byte mode, and is refused (InvalidValue) where
// that is not allowed or cannot express it.
std::vector<uint8_t> encodeText(const std::u16string& text, bool allowCompression);
std::u16string decodeText(const uint8_t* data, size_t size);
// The same into out, whose room is reused.
void decodeText(const uint8_t* data, size_t size, std::u16string& out);

}  // namespace jet
