#include "engine/identifiers.h"

namespace engine {

std::string quoteMySql(std::string_view name) {
  std::string out = "`";
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  out += '`';
  return out;
}

std::string quoteAccess(std::string_view name) {
  std::string out = "[";
  out.append(name);
  out += ']';
  return out;
}

namespace {

// Length of the UTF-8 sequence that starts with byte b (1 for stray bytes,
// so broken input still advances).
std::size_t sequenceLength(unsigned char b) {
  if (b >= 0xF0 && b < 0xF8) return 4;
  if (b >= 0xE0) return b < 0xF0 ? 3 : 1;
  if (b >= 0xC0) return 2;
  return 1;
}

bool forbidden(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '.' || c == '!' || c == '`' || c == '[' || c == ']';
}

// Cuts to `limit` characters without splitting a sequence.
std::string cutToCharacters(std::string_view s, std::size_t limit) {
  std::size_t pos = 0, count = 0;
  while (pos < s.size() && count < limit) {
    pos += sequenceLength(static_cast<unsigned char>(s[pos]));
    ++count;
  }
  return std::string(s.substr(0, std::min(pos, s.size())));
}

std::size_t characterCount(std::string_view s) {
  std::size_t pos = 0, count = 0;
  while (pos < s.size()) {
    pos += sequenceLength(static_cast<unsigned char>(s[pos]));
    ++count;
  }
  return count;
}

}  // namespace

std::string accessName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) out += forbidden(static_cast<unsigned char>(c)) ? '_' : c;
  std::size_t first = out.find_first_not_of(' ');
  out = first == std::string::npos ? std::string() : out.substr(first);
  out = cutToCharacters(out, kAccessNameLimit);
  if (out.empty()) out = "_";
  return out;
}

std::string foldName(std::string_view name) {
  std::string out(name);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      // Latin-1 capitals U+00C0..U+00DE (except the multiplication sign)
      // are 0xC3 0x80..0x9E; their small letters are 0x20 higher.
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
      ++i;
    }
  }
  return out;
}

std::string NameAllocator::allocate(std::string_view wanted) {
  std::string base = accessName(wanted);
  if (taken_.insert(foldName(base)).second) return base;
  for (int n = 1;; ++n) {
    std::string suffix = "_" + std::to_string(n);
    std::string head = cutToCharacters(base, kAccessNameLimit - suffix.size());
    std::string candidate = head + suffix;
    if (characterCount(candidate) <= kAccessNameLimit && taken_.insert(foldName(candidate)).second)
      return candidate;
  }
}

}  // namespace engine
