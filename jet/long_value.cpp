#include "jet/long_value.h"

#include <algorithm>
#include <cstring>

#include "jet/bytes.h"
#include "jet/data_page.h"
#include "jet/database.h"
#include "jet/usage_map.h"

namespace jet {

namespace {

uint32_t newLvalPage(Pager& pager, LongValueColumn& column) {
  uint32_t n = pager.allocate();
  initLvalPage(pager.modify(n));
  mapSet(pager, column.ownedMap, n, true);
  return n;
}

void header(std::vector<uint8_t>& out, uint32_t lengthAndFlags, uint32_t pointer) {
  size_t at = out.size();
  out.resize(at + kLongValueHeader, 0);
  put32(&out[at], lengthAndFlags);
  put32(&out[at + 4], pointer);
}

}  // namespace

void writeLongValue(Pager& pager, LongValueColumn& column, std::span<const uint8_t> data,
                    std::vector<uint8_t>& out) {
  size_t n = data.size();
  if (n >= 0x3FFFFFFF) throw Error(Error::Code::StringTooLong, "a long value is over 1 GB");
  if (n <= kLongValueInlineMax) {
    // Sized once: short memos go inline on nearly every row.
    const size_t at = out.size();
    out.resize(at + kLongValueHeader + n);
    put32(&out[at], uint32_t(n) | 0x80000000u);
    if (n) std::memcpy(&out[at + kLongValueHeader], data.data(), n);
    return;
  }
  if (n <= kLongValueRowMax) {
    if (column.currentPage == 0 || !rowFits(pager.page(column.currentPage), n))
      column.currentPage = newLvalPage(pager, column);
    uint8_t row = appendRow(pager, column.currentPage, data);
    header(out, uint32_t(n) | 0x40000000u, makeRowPointer(column.currentPage, row));
    return;
  }
  // A chain: every piece fills a page of its own, linked front to back.
  size_t pieces = (n + kLongValueChunk - 1) / kLongValueChunk;
  std::vector<uint32_t> pages(pieces);
  for (auto& p : pages) p = newLvalPage(pager, column);
  std::vector<uint8_t> row;
  for (size_t i = 0; i < pieces; ++i) {
    size_t at = i * kLongValueChunk;
    size_t take = std::min<size_t>(kLongValueChunk, n - at);
    row.assign(4 + take, 0);
    if (i + 1 < pieces) put32(row.data(), makeRowPointer(pages[i + 1], 0));
    std::memcpy(row.data() + 4, data.data() + at, take);
    appendRow(pager, pages[i], row);
  }
  column.currentPage = pages.back();
  header(out, uint32_t(n), makeRowPointer(pages.front(), 0));
}

std::vector<uint8_t> readLongValue(PageStore& store, const uint8_t* field, size_t size) {
  if (size < kLongValueHeader)
    throw Error(Error::Code::Corrupt, "a memo or OLE field is shorter than its header");
  uint32_t word = get32(field);
  uint32_t length = word & 0x3FFFFFFF;
  uint32_t kind = word >> 30;
  std::vector<uint8_t> out;
  if (kind == 2) {
    if (size - kLongValueHeader < length)
      throw Error(Error::Code::Corrupt, "an inline memo or OLE value is cut short");
    out.assign(field + kLongValueHeader, field + kLongValueHeader + length);
    return out;
  }
  uint32_t row = field[4];
  uint32_t page = get24(field + 5);
  if (kind == 1) {
    const Page& p = store.page(page);
    RowSpan s = rowSpan(p, row);
    if (s.end - s.start < length)
      throw Error(Error::Code::Corrupt, "a long-value row is shorter than its value");
    out.assign(p.begin() + s.start, p.begin() + s.start + length);
    return out;
  }
  if (kind != 0) throw Error(Error::Code::Corrupt, "unknown memo or OLE storage");
  // A damaged header may claim up to 1 GB; reserve only what the file can hold.
  out.reserve(std::min<size_t>(length, size_t(store.pageCount()) * kLongValueChunk));
  for (size_t hops = 0; out.size() < length; ++hops) {
    if (page == 0 || hops > store.pageCount())
      throw Error(Error::Code::Corrupt, "a long-value chain ends early");
    const Page& p = store.page(page);
    RowSpan s = rowSpan(p, row);
    if (s.end - s.start < 4) throw Error(Error::Code::Corrupt, "a long-value row is too short");
    uint32_t next = get32(&p[s.start]);
    size_t take = std::min<size_t>(s.end - s.start - 4, length - out.size());
    out.insert(out.end(), p.begin() + s.start + 4, p.begin() + s.start + 4 + take);
    row = next & 0xFF;
    page = next >> 8;
  }
  return out;
}

}  // namespace jet
