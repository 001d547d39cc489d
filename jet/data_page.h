// Data pages (type 0x01): a row-offset table growing from the header and
// rows packed downward from the end of the page. Table rows, usage-map rows,
// catalogue rows and long-value (LVAL) rows all live on such pages.
#pragma once

#include <cstdint>
#include <span>

#include "jet/pager.h"

namespace jet {

constexpr uint32_t kMaxRowsPerPage = 255;
constexpr uint32_t kDataHeader = 14;
constexpr uint16_t kRowDeleted = 0x8000;
constexpr uint16_t kRowOverflow = 0x4000;
constexpr uint16_t kRowOffsetMask = 0x1FFF;

// Fills a fresh page as an empty data page owned by tdefPage (or, for
// long-value pages, marked "LVAL").
void initDataPage(Page& page, uint32_t tdefPage);
void initLvalPage(Page& page);
// The same for a page allocate() has just added, which is still all zero:
// only the header is written.
void initNewDataPage(Pager& pager, uint32_t pageNumber, uint32_t tdefPage);

inline uint32_t rowCountOf(const Page& p) { return uint32_t(p[12] | (p[13] << 8)); }
inline uint32_t freeSpaceOf(const Page& p) { return uint32_t(p[2] | (p[3] << 8)); }
inline bool isDataPage(const Page& p) { return p[0] == 0x01 && p[1] == 0x01; }
inline uint32_t dataPageOwner(const Page& p) {
  return uint32_t(p[4]) | (uint32_t(p[5]) << 8) | (uint32_t(p[6]) << 16) | (uint32_t(p[7]) << 24);
}

// True when a row of size bytes still fits.
bool rowFits(const Page& page, size_t size);

// Appends a row; the caller has checked rowFits. Returns the row number.
uint8_t appendRow(Pager& pager, uint32_t pageNumber, std::span<const uint8_t> row);

// Stores row in place of row n, moving the rows packed below it so that its
// number, and every row pointer to it, stay. False, with the page untouched,
// when the page lacks the room or its rows are not packed in order.
bool replaceRow(Pager& pager, uint32_t pageNumber, uint32_t n, std::span<const uint8_t> row);

struct RowSpan {
  uint32_t start = 0;
  uint32_t end = 0;
  bool deleted = false;
  bool overflow = false;
};
// Bounds of row n; throws Corrupt when the offsets do not hold together.
RowSpan rowSpan(const Page& page, uint32_t n);

}  // namespace jet
