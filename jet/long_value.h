// Memo and OLE values: a 12-byte field header in the row, the data either
// inline (up to 64 bytes), in one LVAL row, or in a chain of LVAL rows.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jet/pager.h"

namespace jet {

constexpr uint32_t kLongValueInlineMax = 64;
constexpr uint32_t kLongValueRowMax = 4076;
constexpr uint32_t kLongValueChunk = 4072;
constexpr uint32_t kLongValueHeader = 12;

// The pages of one memo/OLE column.
struct LongValueColumn {
  uint32_t ownedMap = 0;
  uint32_t freeMap = 0;
  uint32_t currentPage = 0;  // LVAL page with room for small values, 0 if none
};

// Size the field takes in the row for a value of n bytes.
inline uint32_t longValueFieldSize(size_t n) {
  return kLongValueHeader + (n <= kLongValueInlineMax ? uint32_t(n) : 0);
}

// Stores data (on LVAL pages when it does not go inline) and appends the
// row field to out.
void writeLongValue(Pager& pager, LongValueColumn& column, std::span<const uint8_t> data,
                    std::vector<uint8_t>& out);

// Reads the value a row field describes.
std::vector<uint8_t> readLongValue(PageStore& store, const uint8_t* field, size_t size);

}  // namespace jet
