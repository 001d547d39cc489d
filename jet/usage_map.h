// Usage maps: bitmaps of pages. A table keeps its maps as 69-byte rows on a
// map page: inline (type 0: start page + 512-page bitmap) or, once a page
// falls outside that window, reference (type 1: pointers to 0x05 bitmap
// pages, each covering 32736 pages). A set bit means "owned" (or "has free
// space" in a free-space map). The global map (page 1, row 0) is the
// opposite: a set bit means free, and it always covers every page.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/pager.h"

namespace jet {

constexpr uint32_t kMapRowSize = 69;
constexpr uint32_t kPagesPerMapPage = (kPageSize - 4) * 8;  // 32736

// An empty inline map row.
std::vector<uint8_t> emptyMapRow();

// Row pointer = page << 8 | row.
void mapSet(Pager& pager, uint32_t mapPointer, uint32_t page, bool value);
std::vector<uint32_t> mapPages(PageStore& store, uint32_t mapPointer);

// Global map: page 1 row 0 (and an all-zero row 1).
Page makeGlobalMapPage(uint32_t pageCount);
// Marks page used (it was just added at the end of the file), growing the
// map row or turning it into a reference map when needed.
void globalMarkUsed(Pager& pager, uint32_t page);
// Marks pages free again (dropped tables).
void globalMarkFree(Pager& pager, uint32_t page);
// True when the global map says page is in use.
bool globalIsUsed(PageStore& store, uint32_t page);

}  // namespace jet
