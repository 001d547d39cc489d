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
constexpr uint8_t kTextType = 10;
constexpr uint8_t kMemoType = 12;

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

// Access writes DefaultValue as a Memo with the DDL flag set; Description
// as a Memo without it (it is not part of a table's design language).
void textEntry(ByteWriter& w, uint16_t nameIndex, const std::string& value, bool ddl) {
  auto u = utf8ToUtf16(value);
  w.u16(uint16_t(8 + 2 * u.size()));
  w.u8(ddl ? 1 : 0);
  w.u8(kMemoType);
  w.u16(nameIndex);
  w.u16(uint16_t(2 * u.size()));
  for (char16_t c : u) w.u16(uint16_t(c));
}

}  // namespace

std::vector<uint8_t> makePropertyBlob(const ObjectProperties& p) {
  // Names are written once each, in the order first used.
  std::vector<std::string> names;
  auto nameIndex = [&](const char* name) {
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return uint16_t(i);
    names.push_back(name);
    return uint16_t(names.size() - 1);
  };
  uint16_t description = 0, required = 0, defaultValue = 0;
  if (!p.description.empty()) description = nameIndex("Description");
  for (const auto& c : p.columns) {
    if (c.required) required = nameIndex("Required");
    if (!c.defaultValue.empty()) defaultValue = nameIndex("DefaultValue");
    if (!c.description.empty()) description = nameIndex("Description");
  }
  ByteWriter w;
  w.bytes("MR2", 4);
  size_t chunk = beginChunk(w, kNamesChunk);
  for (const auto& n : names) putUtf16(w, n);
  endChunk(w, chunk);
  chunk = beginChunk(w, kObjectChunk);
  chunkName(w, "");
  if (!p.description.empty()) textEntry(w, description, p.description, false);
  endChunk(w, chunk);
  for (const auto& c : p.columns) {
    if (c.empty()) continue;
    chunk = beginChunk(w, kColumnChunk);
    chunkName(w, c.name);
    if (c.required) {
      w.u16(9);  // this entry's length
      w.u8(0);   // not a DDL property
      w.u8(kBooleanType);
      w.u16(required);
      w.u16(1);
      w.u8(0xFF);  // True
    }
    if (!c.defaultValue.empty()) textEntry(w, defaultValue, c.defaultValue, true);
    if (!c.description.empty()) textEntry(w, description, c.description, false);
    endChunk(w, chunk);
  }
  return std::move(w.data);
}

std::optional<ObjectProperties> readPropertyBlob(const std::vector<uint8_t>& b) {
  ObjectProperties out;
  if (b.empty()) return out;
  if (b.size() < 4 || std::memcmp(b.data(), "MR2", 4) != 0) return std::nullopt;
  auto str = [&](size_t at, size_t bytes) {
    std::u16string u(bytes / 2, u'\0');
    for (size_t i = 0; i < u.size(); ++i) u[i] = char16_t(get16(&b[at + 2 * i]));
    return utf16ToUtf8(u);
  };
  std::vector<std::string> names;
  size_t at = 4;
  while (at < b.size()) {
    if (at + 6 > b.size()) return std::nullopt;
    uint32_t len = get32(&b[at]);
    uint16_t type = get16(&b[at + 4]);
    if (len < 6 || len > b.size() - at) return std::nullopt;
    size_t end = at + len;
    if (type == kNamesChunk) {
      for (size_t p = at + 6; p < end;) {
        if (p + 2 > end) return std::nullopt;
        uint16_t n = get16(&b[p]);
        if (p + 2 + n > end) return std::nullopt;
        names.push_back(str(p + 2, n));
        p += 2 + n;
      }
    } else if (type == kColumnChunk || type == kObjectChunk) {
      if (at + 12 > end) return std::nullopt;
      uint32_t nameBlock = get32(&b[at + 6]);
      uint16_t nameLen = get16(&b[at + 10]);
      if (nameBlock < 6 || 6 + size_t(nameBlock) > len || 6 + size_t(nameLen) > nameBlock)
        return std::nullopt;
      ColumnProperties props;
      props.name = str(at + 12, nameLen);
      for (size_t p = at + 6 + nameBlock; p < end;) {
        if (p + 8 > end) return std::nullopt;
        uint16_t entry = get16(&b[p]);
        uint8_t valueType = b[p + 3];
        uint16_t nameIndex = get16(&b[p + 4]);
        uint16_t size = get16(&b[p + 6]);
        if (entry < 8 || p + entry > end || 8 + size_t(size) > entry) return std::nullopt;
        if (nameIndex >= names.size()) return std::nullopt;
        const std::string& name = names[nameIndex];
        bool text = valueType == kTextType || valueType == kMemoType;
        if (name == "Required" && size >= 1)
          props.required = b[p + 8] != 0;
        else if (name == "DefaultValue" && text)
          props.defaultValue = str(p + 8, size);
        else if (name == "Description" && text)
          props.description = str(p + 8, size);
        p += entry;
      }
      if (type == kObjectChunk)
        out.description = props.description;
      else if (!props.empty())
        out.columns.push_back(std::move(props));
    }
    at = end;
  }
  return out;
}

}  // namespace jet
