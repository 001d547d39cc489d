#include "jet/tdef.h"

#include <algorithm>
#include <cstring>

#include "jet/bytes.h"
#include "jet/text.h"

namespace jet {

namespace {

constexpr uint32_t kFirstPageBytes = kPageSize;
constexpr uint32_t kMoreBytes = kPageSize - 8;
constexpr uint32_t kRealIndexesAt = 63;

void putName(ByteWriter& w, const std::string& name) {
  auto u = utf8ToUtf16(name);
  w.u16(uint16_t(u.size() * 2));
  for (char16_t c : u) w.u16(uint16_t(c));
}

[[noreturn]] void corrupt(uint32_t page, const char* what) {
  throw Error(Error::Code::Corrupt,
              "the table definition on page " + std::to_string(page) + " is damaged: " + what);
}

}  // namespace

std::vector<uint8_t> serializeTdef(TableDef& def) {
  ByteWriter w;
  uint16_t numVar = 0;
  for (const auto& c : def.columns)
    if (!c.fixed()) ++numVar;
  w.u8(0x02);
  w.u8(0x01);
  w.u16(0);  // free space, set per page
  w.u32(0);  // next page, set per page
  w.u32(0);  // length, set below
  w.u32(kTdefMagic);
  w.u32(def.rowCount);
  w.u32(def.autoNumber);
  w.u8(0x01);
  w.zeros(15);
  w.u8(def.kind);
  for (const auto& c : def.columns) def.maxColumns = std::max<uint16_t>(def.maxColumns, uint16_t(c.number + 1));
  w.u16(def.maxColumns);
  w.u16(numVar);
  w.u16(uint16_t(def.columns.size()));
  w.u32(uint32_t(def.logicalIndexes.size()));
  w.u32(uint32_t(def.realIndexes.size()));
  w.u32(def.ownedMap);
  w.u32(def.freeMap);
  def.distinctAt.clear();
  for (const auto& r : def.realIndexes) {
    w.u32(0);
    def.distinctAt.push_back(uint32_t(w.size()));
    w.u32(r.distinctKeys);
    w.u32(0);
  }
  for (uint16_t n : def.descriptorOrder) {
    const ColumnDef& c = def.columns.at(n);
    w.u8(uint8_t(c.type));
    w.u32(kTdefMagic);
    w.u16(c.number);
    w.u16(c.varIndex);
    w.u16(c.position);
    w.bytes(c.misc.data(), 4);
    w.u8(c.flags);
    w.u8(c.ext);
    w.u32(0);
    w.u16(c.fixedOffset);
    w.u16(c.length);
  }
  for (uint16_t n : def.descriptorOrder) putName(w, def.columns.at(n).name);
  def.rootAt.clear();
  for (const auto& r : def.realIndexes) {
    w.u32(kRealIndexMagic);
    for (size_t i = 0; i < 10; ++i) {
      if (i < r.columns.size()) {
        w.u16(r.columns[i].first);
        w.u8(r.columns[i].second ? 1 : 0);
      } else {
        w.u16(0xFFFF);
        w.u8(0);
      }
    }
    w.u32(r.mapPointer);
    def.rootAt.push_back(uint32_t(w.size()));
    w.u32(r.root);
    w.u32(0);
    w.u8(r.flags);
    w.zeros(5);
  }
  for (const auto& l : def.logicalIndexes) {
    w.u32(kTdefMagic);
    w.u32(l.number);
    w.u32(l.realIndex);
    if (l.type == kIndexForeign) {
      w.u8(l.relatedType);
      w.u32(uint32_t(l.relatedIndex));
      w.u32(l.relatedPage);
      w.u8(l.cascadeUpdates);
      w.u8(l.cascadeDeletes);
    } else {
      w.u8(0);
      w.u32(0xFFFFFFFF);
      w.u32(0);
      // The Jet engine and Access write 04 04 here on every other index.
      w.u8(0x04);
      w.u8(0x04);
    }
    w.u8(l.type);
    w.u32(0);
  }
  for (const auto& l : def.logicalIndexes) putName(w, l.name);
  for (const auto& m : def.longValueMaps) {
    w.u16(m.column);
    w.u32(m.owned);
    w.u32(m.free);
  }
  w.u16(0xFFFF);
  put32(&w.data[8], uint32_t(w.size()));
  return std::move(w.data);
}

size_t TableDef::position(uint16_t number) const {
  auto it = std::lower_bound(columns.begin(), columns.end(), number,
                             [](const ColumnDef& c, uint16_t n) { return c.number < n; });
  if (it == columns.end() || it->number != number)
    throw Error(Error::Code::Corrupt, "the table definition on page " + std::to_string(page) +
                                          " names a column that does not exist");
  return size_t(it - columns.begin());
}

std::pair<uint32_t, uint32_t> tdefLocate(const TableDef& def, uint32_t at) {
  if (at < kFirstPageBytes) return {def.page, at};
  uint32_t k = (at - kFirstPageBytes) / kMoreBytes;
  return {def.extraPages.at(k), 8 + (at - kFirstPageBytes) % kMoreBytes};
}

void writeTdef(Pager& pager, TableDef& def) {
  std::vector<uint8_t> s = serializeTdef(def);
  size_t pagesNeeded = 1;
  if (s.size() > kFirstPageBytes) pagesNeeded += (s.size() - kFirstPageBytes + kMoreBytes - 1) / kMoreBytes;
  while (def.extraPages.size() + 1 < pagesNeeded) def.extraPages.push_back(pager.allocate());
  // A definition that shrank keeps its spare pages chained but empty; that
  // never happens today since definitions only grow.
  size_t at = 0;
  for (size_t k = 0; k < pagesNeeded; ++k) {
    uint32_t number = k == 0 ? def.page : def.extraPages[k - 1];
    Page& p = pager.modify(number);
    p.fill(0);
    size_t begin = k == 0 ? 0 : 8;
    size_t take = std::min(s.size() - at, kPageSize - begin);
    std::memcpy(&p[begin], &s[at], take);
    at += take;
    p[0] = 0x02;
    p[1] = 0x01;
    put16(&p[2], uint16_t(kPageSize - begin - take - (k == 0 ? 8 : 0)));
    put32(&p[4], k + 1 < pagesNeeded ? def.extraPages[k] : 0);
  }
}

void writeRowCounters(Pager& pager, const TableDef& def) {
  uint8_t* w = pager.modifyRange(def.page, 16, 8);
  put32(w + 16, def.rowCount);
  put32(w + 20, def.autoNumber);
}

void writeIndexCounters(Pager& pager, const TableDef& def, size_t i) {
  auto [page, off] = tdefLocate(def, def.distinctAt.at(i));
  uint8_t* w = pager.modifyRange(page, off, 4);
  put32(w + off, def.realIndexes[i].distinctKeys);
  auto [rpage, roff] = tdefLocate(def, def.rootAt.at(i));
  w = pager.modifyRange(rpage, roff, 4);
  put32(w + roff, def.realIndexes[i].root);
}

TableDef parseTdef(PageStore& store, uint32_t first) {
  TableDef def;
  def.page = first;
  std::vector<uint8_t> s;
  uint32_t number = first;
  for (size_t k = 0;; ++k) {
    if (number >= store.pageCount() || k > 64) corrupt(first, "broken page chain");
    const Page& p = store.page(number);
    if (p[0] != 0x02) corrupt(first, "not a table definition page");
    if (k == 0)
      s.insert(s.end(), p.begin(), p.end());
    else {
      s.insert(s.end(), p.begin() + 8, p.end());
      def.extraPages.push_back(number);
    }
    number = get32(&p[4]);
    if (number == 0) break;
  }
  auto need = [&](size_t end) {
    if (end > s.size()) corrupt(first, "fields run past its end");
  };
  auto name = [&](size_t& at) {
    need(at + 2);
    uint16_t len = get16(&s[at]);
    need(at + 2 + len);
    std::u16string u(len / 2, u'\0');
    for (size_t i = 0; i < u.size(); ++i) u[i] = char16_t(get16(&s[at + 2 + 2 * i]));
    at += 2 + len;
    return utf16ToUtf8(u);
  };
  def.rowCount = get32(&s[16]);
  def.autoNumber = get32(&s[20]);
  def.kind = s[40];
  uint16_t numCols = get16(&s[45]);
  uint32_t numLogical = get32(&s[47]);
  uint32_t numReal = get32(&s[51]);
  if (numCols == 0 || numCols > 255 || numReal > 64 || numLogical > 64)
    corrupt(first, "implausible counts");
  def.ownedMap = get32(&s[55]);
  def.freeMap = get32(&s[59]);
  size_t at = kRealIndexesAt;
  need(at + 12 * numReal + 25 * numCols);
  def.realIndexes.resize(numReal);
  for (uint32_t i = 0; i < numReal; ++i) {
    def.distinctAt.push_back(uint32_t(at + 4));
    def.realIndexes[i].distinctKeys = get32(&s[at + 4]);
    at += 12;
  }
  def.maxColumns = get16(&s[41]);
  std::vector<ColumnDef> written(numCols);
  for (uint16_t i = 0; i < numCols; ++i, at += 25) {
    ColumnDef& c = written[i];
    c.type = ColumnType(s[at]);
    c.number = get16(&s[at + 5]);
    c.varIndex = get16(&s[at + 7]);
    c.position = get16(&s[at + 9]);
    std::memcpy(c.misc.data(), &s[at + 11], 4);
    c.flags = s[at + 15];
    c.ext = s[at + 16];
    c.fixedOffset = get16(&s[at + 21]);
    c.length = get16(&s[at + 23]);
    if (!c.fixed() && c.varIndex > 255) corrupt(first, "bad variable column index");
  }
  for (auto& c : written) c.name = name(at);
  std::vector<uint16_t> order(numCols);
  for (uint16_t i = 0; i < numCols; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint16_t a, uint16_t b) { return written[a].number < written[b].number; });
  def.descriptorOrder.assign(numCols, 0);
  for (uint16_t k = 0; k < numCols; ++k) {
    if (k > 0 && written[order[k]].number == written[order[k - 1]].number) corrupt(first, "bad column numbers");
    def.columns.push_back(written[order[k]]);
    def.descriptorOrder[order[k]] = k;
  }
  def.maxColumns = std::max<uint16_t>(def.maxColumns, uint16_t(def.columns.back().number + 1));
  for (uint32_t i = 0; i < numReal; ++i, at += 52) {
    need(at + 52);
    RealIndexDef& r = def.realIndexes[i];
    for (size_t k = 0; k < 10; ++k) {
      uint16_t col = get16(&s[at + 4 + 3 * k]);
      if (col == 0xFFFF) continue;
      def.position(col);  // throws when there is no such column
      r.columns.push_back({col, s[at + 6 + 3 * k] != 0});
    }
    r.mapPointer = get32(&s[at + 34]);
    def.rootAt.push_back(uint32_t(at + 38));
    r.root = get32(&s[at + 38]);
    r.flags = s[at + 46];
  }
  need(at + 28 * size_t(numLogical));
  for (uint32_t i = 0; i < numLogical; ++i, at += 28) {
    LogicalIndexDef l;
    l.number = get32(&s[at + 4]);
    l.realIndex = get32(&s[at + 8]);
    l.type = s[at + 23];
    if (l.type == kIndexForeign) {
      l.relatedType = s[at + 12];
      l.relatedIndex = int32_t(get32(&s[at + 13]));
      l.relatedPage = get32(&s[at + 17]);
      l.cascadeUpdates = s[at + 21];
      l.cascadeDeletes = s[at + 22];
    }
    if (l.realIndex >= numReal) corrupt(first, "a logical index names a missing real index");
    def.logicalIndexes.push_back(l);
  }
  for (auto& l : def.logicalIndexes) l.name = name(at);
  for (;;) {
    need(at + 2);
    uint16_t col = get16(&s[at]);
    if (col == 0xFFFF) break;
    need(at + 10);
    def.position(col);
    def.longValueMaps.push_back({col, get32(&s[at + 2]), get32(&s[at + 6])});
    at += 10;
  }
  // Fixed columns must lie inside a row of at most one page.
  for (const auto& c : def.columns)
    if (c.fixed() && c.type != ColumnType::Boolean && uint32_t(c.fixedOffset) + c.length > kPageSize)
      corrupt(first, "a fixed column lies outside any row");
  return def;
}

}  // namespace jet
