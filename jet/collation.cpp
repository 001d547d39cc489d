#include "jet/collation.h"

#include <cstdint>
#include <iterator>
#include <vector>

namespace jet::collation {
namespace {

// One word per UTF-16 code unit; the layout is described in
// scripts/gen-collation, which writes the table.
constexpr uint64_t kCodes[] = {
#include "jet/collation_table.inc"
};
static_assert(std::size(kCodes) == 0x10000);

enum Kind : unsigned {
  kIgnored = 0,     // leaves no trace in the key
  kSort = 1,        // sort bytes only
  kAccent = 2,      // sort bytes plus a byte in the accent section
  kPositional = 3,  // no sort bytes; recorded with its position at the end
  kModifier = 4,    // no sort bytes; adjusts the last accent byte
  kWidth2 = 5,      // like kAccent, plus a width weight of 2
  kWidth3 = 6,      // like kAccent, plus a width weight of 3
};

struct Code {
  explicit Code(char16_t unit) : word(kCodes[unit]) {}
  Kind kind() const { return static_cast<Kind>(word & 7); }
  unsigned sortLength() const { return (word >> 3) & 7; }
  unsigned extraLength() const { return (word >> 6) & 3; }
  uint8_t sortByte(unsigned i) const { return uint8_t(word >> (8 + 8 * i)); }
  uint8_t extraByte(unsigned i) const { return uint8_t(word >> (40 + 8 * i)); }
  uint64_t word;
};

// Accent section bytes that say "no accent on this character"; trailing ones
// are dropped because they carry no information.
constexpr uint8_t kNoAccent = 0x02;
constexpr uint8_t kSectionEnd = 0x01;
constexpr uint8_t kValueEnd = 0x00;

// Width weights packed three to a byte under this marker.
constexpr uint8_t kWidthMarker = 0x80;
constexpr uint8_t kWidthTrailer[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr uint8_t kWidthBeforePositional = 0xFF;
constexpr uint8_t kPositionalMidfix = 0x06;

}  // namespace

bool toUtf16(std::string_view utf8, std::u16string& out) {
  out.clear();
  out.reserve(utf8.size());
  bool clean = true;
  auto bad = [&] {
    out.push_back(u'\uFFFD');
    clean = false;
  };
  size_t i = 0;
  while (i < utf8.size()) {
    const uint8_t lead = uint8_t(utf8[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    unsigned extra;
    uint32_t cp;
    uint32_t min;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      bad();
      ++i;
      continue;
    }
    if (i + extra >= utf8.size()) {
      bad();
      ++i;
      continue;
    }
    bool ok = true;
    for (unsigned k = 1; k <= extra; ++k) {
      const uint8_t next = uint8_t(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      bad();
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    i += extra + 1;
  }
  return clean;
}

void appendTextKey(KeyBytes& out, std::u16string_view text, bool descending) {
  if (text.size() > kMaxIndexedUnits) text = text.substr(0, kMaxIndexedUnits);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  const size_t start = out.size();
  // The accent section has one slot per character that produced sort bytes,
  // up to the last accented one. accentSlots counts the slots it covers;
  // leadingModifiers counts modifier bytes that opened the section without a
  // slot of their own (they do not count as positions).
  KeyBytes accents;
  size_t accentSlots = 0;
  size_t leadingModifiers = 0;
  KeyBytes positional;
  std::vector<uint8_t> widths;
  size_t sorted = 0;  // characters that produced sort bytes so far

  auto padAccentsTo = [&](size_t slot) {
    if (accentSlots < slot) {
      accents.insert(accents.end(), slot - accentSlots, kNoAccent);
      accentSlots = slot;
    }
  };

  for (const char16_t unit : text) {
    const Code code(unit);
    const size_t position = sorted;
    for (unsigned i = 0; i < code.sortLength(); ++i)
      out.push_back(code.sortByte(i));
    if (code.sortLength() > 0) ++sorted;

    switch (code.kind()) {
      case kIgnored:
      case kSort:
        break;
      case kAccent:
      case kWidth2:
      case kWidth3:
        if (code.extraLength() > 0) {
          padAccentsTo(position);
          for (unsigned i = 0; i < code.extraLength(); ++i)
            accents.push_back(code.extraByte(i));
          ++accentSlots;
        }
        if (code.kind() != kAccent)
          widths.push_back(code.kind() == kWidth2 ? 2 : 3);
        break;
      case kModifier:
        padAccentsTo(position);
        if (accents.empty()) {
          accents.push_back(code.extraByte(0));
          leadingModifiers = 1;
        } else {
          accents.back() = uint8_t(accents.back() + code.extraByte(0));
        }
        break;
      case kPositional: {
        // The position counts accent bytes already written plus the
        // characters the accent section has not reached yet.
        const size_t slot =
            accents.size() - leadingModifiers + (position - accentSlots);
        const uint16_t mark = uint16_t(0x8000 | (7 + 4 * slot));
        positional.push_back(uint8_t(mark >> 8));
        positional.push_back(uint8_t(mark));
        positional.push_back(kPositionalMidfix);
        positional.push_back(code.extraByte(0));
        break;
      }
    }
  }
  out.push_back(kSectionEnd);

  while (!accents.empty() && accents.back() <= kNoAccent) accents.pop_back();
  out.insert(out.end(), accents.begin(), accents.end());
  if (!widths.empty() || !positional.empty()) {
    out.push_back(kSectionEnd);
    out.push_back(kSectionEnd);
    if (!widths.empty()) {
      while (!widths.empty() && widths.back() == 3) widths.pop_back();
      for (size_t i = 0; i < widths.size(); i += 3) {
        uint8_t packed = kWidthMarker;
        for (size_t k = 0; k < 3 && i + k < widths.size(); ++k)
          packed |= uint8_t(widths[i + k] << (4 - 2 * k));
        out.push_back(packed);
      }
      out.insert(out.end(), std::begin(kWidthTrailer), std::end(kWidthTrailer));
      if (!positional.empty()) out.push_back(kWidthBeforePositional);
    }
    if (!positional.empty()) {
      out.push_back(kSectionEnd);
      out.insert(out.end(), positional.begin(), positional.end());
    }
  }

  if (descending) {
    // Access inverts the value together with one terminator and then ends
    // it with a plain one.
    out.push_back(kValueEnd);
    for (size_t i = start; i < out.size(); ++i) out[i] = uint8_t(~out[i]);
  }
  out.push_back(kValueEnd);
}

}  // namespace jet::collation
