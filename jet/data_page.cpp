#include "jet/data_page.h"

#include <cstring>

#include "jet/bytes.h"
#include "jet/database.h"

namespace jet {

void initDataPage(Page& page, uint32_t tdefPage) {
  page.fill(0);
  page[0] = 0x01;
  page[1] = 0x01;
  put16(&page[2], uint16_t(kPageSize - kDataHeader));
  put32(&page[4], tdefPage);
}

void initNewDataPage(Pager& pager, uint32_t pageNumber, uint32_t tdefPage) {
  uint8_t* w = pager.modifyRange(pageNumber, 0, 8);
  w[0] = 0x01;
  w[1] = 0x01;
  put16(w + 2, uint16_t(kPageSize - kDataHeader));
  put32(w + 4, tdefPage);
}

void initLvalPage(Page& page) {
  initDataPage(page, 0);
  std::memcpy(&page[4], "LVAL", 4);
}

bool rowFits(const Page& page, size_t size) {
  return rowCountOf(page) < kMaxRowsPerPage && freeSpaceOf(page) >= size + 2;
}

uint8_t appendRow(Pager& pager, uint32_t pageNumber, std::span<const uint8_t> row) {
  const Page& p = pager.page(pageNumber);
  uint32_t count = rowCountOf(p);
  uint32_t top = count == 0 ? kPageSize : (get16(&p[kDataHeader + 2 * (count - 1)]) & kRowOffsetMask);
  uint32_t start = top - uint32_t(row.size());
  // Save for undo: the header with the offset table, and the bytes the row
  // covers (free space before, but the file must come back byte for byte).
  uint8_t* w = pager.modifyRange(pageNumber, 0, kDataHeader + 2 * (count + 1));
  pager.modifyRange(pageNumber, start, uint32_t(row.size()));
  std::memcpy(w + start, row.data(), row.size());
  put16(w + kDataHeader + 2 * count, uint16_t(start));
  put16(w + 2, uint16_t(get16(w + 2) - row.size() - 2));
  put16(w + 12, uint16_t(count + 1));
  return uint8_t(count);
}

bool replaceRow(Pager& pager, uint32_t pageNumber, uint32_t n, std::span<const uint8_t> row) {
  const Page& p = pager.page(pageNumber);
  const RowSpan s = rowSpan(p, n);
  if (s.deleted || s.overflow) return false;
  const uint32_t count = rowCountOf(p);
  // The rows after n must lie below it, each below the one before.
  uint32_t bottom = s.start;
  for (uint32_t k = n + 1; k < count; ++k) {
    uint32_t start = get16(&p[kDataHeader + 2 * k]) & kRowOffsetMask;
    if (start > bottom || start < kDataHeader + 2 * count) return false;
    bottom = start;
  }
  const int64_t delta = int64_t(row.size()) - int64_t(s.end - s.start);
  const uint32_t free = freeSpaceOf(p);
  if (delta > int64_t(free)) return false;
  uint8_t* w = pager.modifyRange(pageNumber, 0, kPageSize);
  const uint32_t moved = s.start - bottom;
  std::memmove(w + bottom - delta, w + bottom, moved);
  if (delta < 0) std::memset(w + bottom, 0, size_t(-delta));
  std::memcpy(w + s.start - delta, row.data(), row.size());
  for (uint32_t k = n; k < count; ++k) {
    uint16_t raw = get16(w + kDataHeader + 2 * k);
    put16(w + kDataHeader + 2 * k, uint16_t((raw & ~kRowOffsetMask) | ((raw & kRowOffsetMask) - delta)));
  }
  put16(w + 2, uint16_t(free - delta));
  return true;
}

RowSpan rowSpan(const Page& page, uint32_t n) {
  uint32_t count = rowCountOf(page);
  if (n >= count || kDataHeader + 2 * count > kPageSize)
    throw Error(Error::Code::Corrupt, "a row pointer names a row that does not exist");
  uint16_t raw = get16(&page[kDataHeader + 2 * n]);
  RowSpan s;
  s.start = raw & kRowOffsetMask;
  s.deleted = raw & kRowDeleted;
  s.overflow = raw & kRowOverflow;
  // A row ends where the row before it in the table begins.
  s.end = n == 0 ? kPageSize : (get16(&page[kDataHeader + 2 * (n - 1)]) & kRowOffsetMask);
  if (s.start < kDataHeader + 2 * count || s.start > s.end)
    throw Error(Error::Code::Corrupt, "a data page's row offsets do not hold together");
  return s;
}

}  // namespace jet
