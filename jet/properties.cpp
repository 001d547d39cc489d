#include "jet/properties.h"

#include <cstring>

#include "jet/bytes.h"
#include "jet/text.h"

namespace jet {

namespace {

constexpr uint16_t kNamesChunk = 0x80;
constexpr uint16_t kObjectChunk = 0x00;
constexpr uint16_t kColumnChunk = 0x01;
constexpr uint8_t kBooleanType = 1;

void putUtf16(ByteWriter& w, const std::string& s) {
  auto u = utf8ToUtf16(s);
  w.u16(uint16_t(u.size() * 2));
  for (char16_t c : u) w.u16(uint16_t(c));
}

size_t beginChunk(ByteWriter& w, uint16_t type) {
  size_t at = w.size();
  w.u32(0);
  w.u16(type);
  return at;
}

void endChunk(ByteWriter& w, size_t at) { put32(&w.data[at], uint32_t(w.size() - at)); }

void chunkName(ByteWriter& w, const std::string& name) {
  auto u = utf8ToUtf16(name);
  w.u32(uint32_t(6 + u.size() * 2));
  w.u16(uint16_t(u.size() * 2));
  for (char16_t c : u) w.u16(uint16_t(c));
}

}  // namespace

std::vector<uint8_t> makePropertyBlob(const std::vector<std::string>& requiredColumns) {
  ByteWriter w;
  w.bytes("MR2", 4);
  size_t names = beginChunk(w, kNamesChunk);
  if (!requiredColumns.empty()) putUtf16(w, "Required");
  endChunk(w, names);
  size_t object = beginChunk(w, kObjectChunk);
  chunkName(w, "");
  endChunk(w, object);
  for (const auto& column : requiredColumns) {
    size_t chunk = beginChunk(w, kColumnChunk);
    chunkName(w, column);
    w.u16(9);  // this entry's length
    w.u8(0);   // not a DDL property
    w.u8(kBooleanType);
    w.u16(0);  // name index: "Required"
    w.u16(1);
    w.u8(0xFF);  // True
    endChunk(w, chunk);
  }
  return std::move(w.data);
}

std::set<std::string> requiredColumnsOf(const std::vector<uint8_t>& b) {
  std::set<std::string> out;
  if (b.size() < 4 || std::memcmp(b.data(), "MR2", 4) != 0) return out;
  auto str = [&](size_t at, size_t bytes) {
    std::u16string u(bytes / 2, u'\0');
    for (size_t i = 0; i < u.size(); ++i) u[i] = char16_t(get16(&b[at + 2 * i]));
    return utf16ToUtf8(u);
  };
  std::vector<std::string> names;
  for (size_t at = 4; at + 6 <= b.size();) {
    uint32_t len = get32(&b[at]);
    uint16_t type = get16(&b[at + 4]);
    if (len < 6 || at + len > b.size()) break;
    size_t end = at + len;
    if (type == kNamesChunk) {
      for (size_t p = at + 6; p + 2 <= end;) {
        uint16_t n = get16(&b[p]);
        if (p + 2 + n > end) break;
        names.push_back(str(p + 2, n));
        p += 2 + n;
      }
    } else if ((type == kColumnChunk || type == kObjectChunk) && at + 12 <= end) {
      uint32_t nameBlock = get32(&b[at + 6]);
      uint16_t nameLen = get16(&b[at + 10]);
      if (12 + size_t(nameLen) > len || nameBlock < 6) break;
      std::string column = str(at + 12, nameLen);
      for (size_t p = at + 6 + nameBlock; p + 8 <= end;) {
        uint16_t entry = get16(&b[p]);
        uint16_t nameIndex = get16(&b[p + 4]);
        uint16_t size = get16(&b[p + 6]);
        if (entry < 8 || p + entry > end || p + 8 + size > end) break;
        if (type == kColumnChunk && nameIndex < names.size() && names[nameIndex] == "Required" &&
            size >= 1 && b[p + 8] != 0)
          out.insert(column);
        p += entry;
      }
    }
    at = end;
  }
  return out;
}

}  // namespace jet
