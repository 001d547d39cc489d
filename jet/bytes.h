// Little-endian field access on page buffers.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace jet {

inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get24(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}
inline uint32_t get32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint64_t get64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void put24(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
}
inline void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Appending writer for building variable-length structures.
class ByteWriter {
 public:
  std::vector<uint8_t> data;
  void u8(uint8_t v) { data.push_back(v); }
  void u16(uint16_t v) { data.push_back(uint8_t(v)); data.push_back(uint8_t(v >> 8)); }
  void u32(uint32_t v) { for (int i = 0; i < 4; ++i) data.push_back(uint8_t(v >> (8 * i))); }
  void bytes(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    data.insert(data.end(), b, b + n);
  }
  void zeros(size_t n) { data.insert(data.end(), n, 0); }
  size_t size() const { return data.size(); }
};

// Row pointer as stored in maps and long values: row byte + 3-byte page.
inline uint32_t makeRowPointer(uint32_t page, uint8_t row) { return (page << 8) | row; }

}  // namespace jet
