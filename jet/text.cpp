#include "jet/text.h"

#include "jet/database.h"

namespace jet {

std::u16string utf8ToUtf16(const std::string& utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
  size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    uint32_t c = s[i];
    int extra;
    uint32_t min;
    if (c < 0x80) { extra = 0; min = 0; }
    else if ((c & 0xE0) == 0xC0) { c &= 0x1F; extra = 1; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { c &= 0x0F; extra = 2; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { c &= 0x07; extra = 3; min = 0x10000; }
    else throw Error(Error::Code::InvalidValue, "text is not valid UTF-8");
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= n || (s[i + k] & 0xC0) != 0x80)
        throw Error(Error::Code::InvalidValue, "text is not valid UTF-8");
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
      throw Error(Error::Code::InvalidValue, "text is not valid UTF-8");
    i += size_t(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(char16_t(0xD800 + (c >> 10)));
      out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(char16_t(c));
    }
  }
  return out;
}

std::string utf16ToUtf8(const std::u16string& in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t c = in[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate cannot be written as UTF-8
    }
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(char(0xE0 | (c >> 12)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (c >> 18)));
      out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

namespace {

bool fitsOneByte(char16_t c) { return c >= 0x01 && c <= 0xFF; }
// Readers split compressed text at every zero byte, so a character in a
// two-byte run must have no zero byte.
bool fitsTwoByteRun(char16_t c) { return (c & 0xFF) != 0 && (c >> 8) != 0; }

bool compress(const std::u16string& text, std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(text.size() + 4);
  out.push_back(0xFF);
  out.push_back(0xFE);
  bool oneByte = true;
  for (char16_t c : text) {
    if (fitsOneByte(c)) {
      if (!oneByte) { out.push_back(0); oneByte = true; }
      out.push_back(uint8_t(c));
    } else if (fitsTwoByteRun(c)) {
      if (oneByte) { out.push_back(0); oneByte = false; }
      out.push_back(uint8_t(c));
      out.push_back(uint8_t(c >> 8));
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<uint8_t> encodeText(const std::u16string& text, bool allowCompression) {
  std::vector<uint8_t> out;
  if (!text.empty() && text[0] == 0xFEFF) {
    if (!allowCompression)
      throw Error(Error::Code::InvalidValue,
                  "text that starts with U+FEFF can only be stored in a column that allows "
                  "compressed text");
    if (!compress(text, out))
      throw Error(Error::Code::InvalidValue,
                  "text that starts with U+FEFF and holds a character ending in a "
                  "zero byte cannot be stored");
    return out;
  }
  if (allowCompression && text.size() >= 3) {
    bool all = true;
    for (char16_t c : text)
      if (!fitsOneByte(c)) { all = false; break; }
    if (all && compress(text, out)) return out;
  }
  out.resize(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = uint8_t(text[i]);
    out[2 * i + 1] = uint8_t(text[i] >> 8);
  }
  return out;
}

std::u16string decodeText(const uint8_t* data, size_t size) {
  std::u16string out;
  decodeText(data, size, out);
  return out;
}

void decodeText(const uint8_t* data, size_t size, std::u16string& out) {
  out.clear();
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    bool oneByte = true;
    size_t start = 2;
    auto flush = [&](size_t end) {
      if (oneByte) {
        for (size_t i = start; i < end; ++i) out.push_back(char16_t(data[i]));
      } else {
        for (size_t i = start; i + 1 < end; i += 2)
          out.push_back(char16_t(data[i] | (data[i + 1] << 8)));
      }
    };
    for (size_t i = 2; i < size; ++i) {
      if (data[i] == 0) {
        flush(i);
        oneByte = !oneByte;
        start = i + 1;
      }
    }
    flush(size);
    return;
  }
  out.resize(size / 2);
  for (size_t i = 0; i < size / 2; ++i) out[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
}

}  // namespace jet
