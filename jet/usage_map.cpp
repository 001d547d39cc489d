#include "jet/usage_map.h"

#include <algorithm>
#include <cstring>

#include "jet/bytes.h"
#include "jet/data_page.h"
#include "jet/database.h"

namespace jet {

namespace {

constexpr uint32_t kInlineBits = (kMapRowSize - 5) * 8;  // 512
constexpr uint32_t kGlobalPage = 1;
constexpr uint32_t kGlobalSpareRow = kMapRowSize;  // row 1, always zero

uint32_t newBitmapPage(Pager& pager, uint8_t fill, bool markUsed) {
  uint32_t n = markUsed ? pager.allocate() : pager.allocateUnmarked();
  Page& p = pager.modify(n);
  p[0] = 0x05;
  p[1] = 0x01;
  std::memset(&p[4], fill, kPageSize - 4);
  return n;
}

void setBit(Pager& pager, uint32_t page, uint32_t byteAt, uint32_t bit, bool value) {
  const Page& p = pager.page(page);
  uint8_t mask = uint8_t(1u << (bit & 7));
  bool current = p[byteAt] & mask;
  if (current == value) return;
  uint8_t* w = pager.modifyRange(page, byteAt, 1);
  if (value)
    w[byteAt] |= mask;
  else
    w[byteAt] &= uint8_t(~mask);
}

// Rewrites page 1 with a new row 0 (row 1 stays all zero).
void writeGlobalPage(Pager& pager, const std::vector<uint8_t>& row0) {
  Page& p = pager.modify(kGlobalPage);
  initDataPage(p, 1);
  uint32_t start0 = kPageSize - uint32_t(row0.size());
  uint32_t start1 = start0 - kGlobalSpareRow;
  std::memcpy(&p[start0], row0.data(), row0.size());
  put16(&p[14], uint16_t(start0));
  put16(&p[16], uint16_t(start1));
  put16(&p[12], 2);
  put16(&p[2], uint16_t(kPageSize - kDataHeader - 4 - row0.size() - kGlobalSpareRow));
}

void referenceMarkUsed(Pager& pager, uint32_t rowStart, uint32_t rowLength, uint32_t page) {
  uint32_t k = page / kPagesPerMapPage;
  if (1 + 4 * (k + 1) > rowLength)
    throw Error(Error::Code::Io, "the database has outgrown its page map");
  uint32_t ptr = get32(&pager.page(kGlobalPage)[rowStart + 1 + 4 * k]);
  if (ptr == 0) {
    ptr = newBitmapPage(pager, 0xFF, false);
    uint8_t* w = pager.modifyRange(kGlobalPage, rowStart + 1 + 4 * k, 4);
    put32(w + rowStart + 1 + 4 * k, ptr);
    referenceMarkUsed(pager, rowStart, rowLength, ptr);
  }
  uint32_t bit = page % kPagesPerMapPage;
  setBit(pager, ptr, 4 + bit / 8, bit, false);
}

}  // namespace

std::vector<uint8_t> emptyMapRow() { return std::vector<uint8_t>(kMapRowSize, 0); }

void mapSet(Pager& pager, uint32_t mapPointer, uint32_t page, bool value) {
  uint32_t mapPage = mapPointer >> 8;
  const Page& p = pager.page(mapPage);
  RowSpan s = rowSpan(p, mapPointer & 0xFF);
  uint32_t length = s.end - s.start;
  if (length < 5) throw Error(Error::Code::Corrupt, "a usage map row is too short");
  if (p[s.start] == 0) {
    uint32_t first = get32(&p[s.start + 1]);
    uint32_t bits = (length - 5) * 8;
    if (page >= first && page - first < bits) {
      uint32_t bit = page - first;
      setBit(pager, mapPage, s.start + 5 + bit / 8, bit, value);
      return;
    }
    if (!value) return;
    // The page lies outside the inline window: move to a reference map.
    std::vector<uint32_t> owned;
    for (uint32_t b = 0; b < bits; ++b)
      if (p[s.start + 5 + b / 8] & (1u << (b & 7))) owned.push_back(first + b);
    uint8_t* w = pager.modifyRange(mapPage, s.start, length);
    std::memset(w + s.start, 0, length);
    w[s.start] = 1;
    for (uint32_t o : owned) mapSet(pager, mapPointer, o, true);
    mapSet(pager, mapPointer, page, true);
    return;
  }
  if (p[s.start] != 1) throw Error(Error::Code::Corrupt, "unknown usage map type");
  uint32_t k = page / kPagesPerMapPage;
  if (1 + 4 * (k + 1) > length) throw Error(Error::Code::Io, "a usage map cannot reach that page");
  uint32_t ptr = get32(&p[s.start + 1 + 4 * k]);
  if (ptr == 0) {
    if (!value) return;
    ptr = newBitmapPage(pager, 0x00, true);
    uint8_t* w = pager.modifyRange(mapPage, s.start + 1 + 4 * k, 4);
    put32(w + s.start + 1 + 4 * k, ptr);
  }
  uint32_t bit = page % kPagesPerMapPage;
  setBit(pager, ptr, 4 + bit / 8, bit, value);
}

std::vector<uint32_t> mapPages(PageStore& store, uint32_t mapPointer) {
  std::vector<uint32_t> out;
  const Page& p = store.page(mapPointer >> 8);
  RowSpan s = rowSpan(p, mapPointer & 0xFF);
  uint32_t length = s.end - s.start;
  if (length < 5) throw Error(Error::Code::Corrupt, "a usage map row is too short");
  if (p[s.start] == 0) {
    uint32_t first = get32(&p[s.start + 1]);
    for (uint32_t i = 0; i < length - 5; ++i) {
      uint8_t b = p[s.start + 5 + i];
      for (uint32_t k = 0; b; ++k, b >>= 1)
        if (b & 1) out.push_back(first + i * 8 + k);
    }
  } else if (p[s.start] == 1) {
    // Copy the pointers first: the row page reference stays valid, but keep
    // the loop independent of it.
    std::vector<uint32_t> ptrs;
    for (uint32_t k = 0; 1 + 4 * (k + 1) <= length; ++k) ptrs.push_back(get32(&p[s.start + 1 + 4 * k]));
    for (uint32_t k = 0; k < ptrs.size(); ++k) {
      if (ptrs[k] == 0) continue;
      const Page& m = store.page(ptrs[k]);
      if (m[0] != 0x05) throw Error(Error::Code::Corrupt, "a usage map points at a non-map page");
      for (uint32_t i = 0; i < kPageSize - 4; ++i) {
        uint8_t b = m[4 + i];
        for (uint32_t j = 0; b; ++j, b >>= 1)
          if (b & 1) out.push_back(k * kPagesPerMapPage + i * 8 + j);
      }
    }
  } else {
    throw Error(Error::Code::Corrupt, "unknown usage map type");
  }
  return out;
}

Page makeGlobalMapPage(uint32_t pageCount) {
  Page p;
  initDataPage(p, 1);
  std::vector<uint8_t> row0(kMapRowSize, 0);
  for (uint32_t b = pageCount; b < kInlineBits; ++b) row0[5 + b / 8] |= uint8_t(1u << (b & 7));
  uint32_t start0 = kPageSize - kMapRowSize;
  std::memcpy(&p[start0], row0.data(), row0.size());
  put16(&p[14], uint16_t(start0));
  put16(&p[16], uint16_t(start0 - kGlobalSpareRow));
  put16(&p[12], 2);
  put16(&p[2], uint16_t(kPageSize - kDataHeader - 4 - 2 * kMapRowSize));
  return p;
}

void globalMarkUsed(Pager& pager, uint32_t page) {
  const Page& p = pager.page(kGlobalPage);
  RowSpan s = rowSpan(p, 0);
  uint32_t length = s.end - s.start;
  if (p[s.start] == 1) {
    referenceMarkUsed(pager, s.start, length, page);
    return;
  }
  uint32_t bits = (length - 5) * 8;
  if (page < bits) {
    setBit(pager, kGlobalPage, s.start + 5 + page / 8, page, false);
    return;
  }
  // Grow the inline bitmap; bits past the file's end stay "free".
  std::vector<uint8_t> old(p.begin() + s.start, p.begin() + s.end);
  uint32_t need = (page + 1 + 7) / 8;
  uint32_t bytes = std::max<uint32_t>(((need + 3) / 4) * 4, (length - 5) + 64);
  uint32_t maxBytes = kPageSize - kDataHeader - 4 - kGlobalSpareRow - 5;
  if (bytes <= maxBytes) {
    std::vector<uint8_t> row(5 + bytes, 0xFF);
    std::memcpy(row.data(), old.data(), old.size());
    uint32_t b = page;
    row[5 + b / 8] &= uint8_t(~(1u << (b & 7)));
    writeGlobalPage(pager, row);
    return;
  }
  // Past the reach of one inline row: switch to bitmap pages.
  std::vector<uint8_t> row(kMapRowSize, 0);
  row[0] = 1;
  writeGlobalPage(pager, row);
  uint32_t rowStart = kPageSize - kMapRowSize;
  uint32_t count = pager.pageCount();
  for (uint32_t n = 0; n < count; ++n) {
    bool freeBefore = n < bits ? (old[5 + n / 8] >> (n & 7)) & 1 : false;
    if (n == page || !freeBefore) referenceMarkUsed(pager, rowStart, kMapRowSize, n);
  }
}

void globalMarkFree(Pager& pager, uint32_t page) {
  const Page& p = pager.page(kGlobalPage);
  RowSpan s = rowSpan(p, 0);
  uint32_t length = s.end - s.start;
  if (p[s.start] == 0) {
    if (page < (length - 5) * 8) setBit(pager, kGlobalPage, s.start + 5 + page / 8, page, true);
    return;
  }
  uint32_t k = page / kPagesPerMapPage;
  if (1 + 4 * (k + 1) > length) return;
  uint32_t ptr = get32(&p[s.start + 1 + 4 * k]);
  if (ptr == 0) return;
  uint32_t bit = page % kPagesPerMapPage;
  setBit(pager, ptr, 4 + bit / 8, bit, true);
}

bool globalIsUsed(PageStore& store, uint32_t page) {
  const Page& p = store.page(kGlobalPage);
  RowSpan s = rowSpan(p, 0);
  uint32_t length = s.end - s.start;
  if (p[s.start] == 0) {
    if (page >= (length - 5) * 8) return false;
    return !((p[s.start + 5 + page / 8] >> (page & 7)) & 1);
  }
  uint32_t k = page / kPagesPerMapPage;
  if (1 + 4 * (k + 1) > length) return false;
  uint32_t ptr = get32(&p[s.start + 1 + 4 * k]);
  if (ptr == 0) return false;
  uint32_t bit = page % kPagesPerMapPage;
  return !((store.page(ptr)[4 + bit / 8] >> (bit & 7)) & 1);
}

}  // namespace jet
