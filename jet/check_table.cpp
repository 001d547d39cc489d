// Structural check of one table: its definition (TDEF), usage maps, data
// pages, rows and long values.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <unordered_set>

#include "jet/check_internal.h"
#include "jet/index_key.h"

namespace jet::check {

namespace {

constexpr uint32_t kTdefMagic = 1625;
constexpr uint32_t kRealIndexMagic = 1923;
constexpr size_t kColumnBlock = 25;
constexpr size_t kRealIndexCountBlock = 12;
constexpr size_t kRealIndexBlock = 52;
constexpr size_t kLogicalIndexBlock = 28;
constexpr size_t kMaxRowBytes = 4060;
constexpr size_t kMaxRowsPerPage = 255;
constexpr size_t kInlineLongValueLimit = 64;

// Bytes a fixed column of this type takes in the row (Boolean lives in the
// null mask only); 0 for types that are never fixed.
uint16_t fixedWidth(uint8_t type) {
  switch (type) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 4: return 4;
    case 5: return 8;
    case 6: return 4;
    case 7: return 8;
    case 8: return 8;
    case 15: return 16;
    case 16: return 17;
    default: return 0;  // 17 (fixed binary of any length) takes its declared length
  }
}

bool knownType(uint8_t type) {
  return (type >= 1 && type <= 12) || (type >= 15 && type <= 17);
}

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Reads a u16-length-prefixed UTF-16LE name; false when it runs past end.
bool readName(const std::vector<uint8_t>& buf, size_t& pos, std::string& out,
              size_t& byteLength) {
  if (pos + 2 > buf.size()) return false;
  byteLength = le16(&buf[pos]);
  pos += 2;
  if (pos + byteLength > buf.size()) return false;
  out = utf16ToUtf8({&buf[pos], byteLength});
  pos += byteLength;
  return true;
}

Numeric numericFromBytes(const uint8_t* p, uint8_t scale) {
  Numeric n;
  n.negative = (p[0] & 0x80) != 0;
  n.scale = scale;
  unsigned __int128 m = 0;
  for (int word = 0; word < 4; ++word) m = (m << 32) | le32(p + 1 + 4 * word);
  n.magnitude = m;
  return n;
}

}  // namespace

Value decodeFixedValue(const Column& column, std::span<const uint8_t> b) {
  switch (column.type) {
    case 2: return int64_t(b[0]);
    case 3: return int64_t(int16_t(le16(b.data())));
    case 4: return int64_t(int32_t(le32(b.data())));
    case 5: return Currency{int64_t(le64(b.data()))};
    case 6: {
      uint32_t bits = le32(b.data());
      float f;
      std::memcpy(&f, &bits, 4);
      return double(f);
    }
    case 7: {
      uint64_t bits = le64(b.data());
      double d;
      std::memcpy(&d, &bits, 8);
      return d;
    }
    case 8: {
      uint64_t bits = le64(b.data());
      double d;
      std::memcpy(&d, &bits, 8);
      return DateTime{d};
    }
    case 15: {
      Guid g;
      static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      for (int i = 0; i < 16; ++i) g.bytes[i] = b[order[i]];
      return g;
    }
    case 16: return numericFromBytes(b.data(), column.misc[1]);
    case 9:
    case 11: return Bytes(b.begin(), b.end());
    case 10:
    case 12: return storedTextToUtf8(b);
    default: return Null{};
  }
}

std::optional<TableDef> Checker::readTableDef(uint32_t tdefPage, const std::string& name) {
  const std::string who = "table " + name;
  auto fail = [&](const std::string& text) {
    problem(CheckFinding::TableDef, who + " (TDEF page " + std::to_string(tdefPage) + "): " + text);
  };
  TableDef t;
  t.name = name;
  t.page = tdefPage;

  // Gather the chain: the first page whole, each continuation after its
  // 8-byte header.
  std::vector<uint8_t> buf;
  std::set<uint32_t> seen;
  for (uint32_t pg = tdefPage; pg != 0;) {
    if (!seen.insert(pg).second) {
      fail("the TDEF page chain loops at page " + std::to_string(pg));
      return std::nullopt;
    }
    if (!claim(pg, who + " definition")) return std::nullopt;
    const uint8_t* p = page(pg);
    if (p[0] != kTdefPage || p[1] != 0x01) {
      problem(CheckFinding::PageType, who + ": TDEF page " + std::to_string(pg) +
                                          " has type " + std::to_string(p[0]));
      return std::nullopt;
    }
    t.pages.push_back(pg);
    if (buf.empty()) {
      buf.assign(p, p + kPageBytes);
    } else {
      buf.insert(buf.end(), p + 8, p + kPageBytes);
    }
    pg = le32(p + 4);
  }
  const uint8_t* h = buf.data();
  uint32_t tdefLen = le32(h + 8);
  if (le32(h + 12) != kTdefMagic)
    fail("word at 12 is " + std::to_string(le32(h + 12)) + ", expected 1625");
  t.rowCount = le32(h + 16);
  t.autoNumber = le32(h + 20);
  t.kind = h[40];
  if (t.kind != 0x4E && t.kind != 0x53)
    fail("table type byte " + std::to_string(t.kind) + ", expected 0x4E or 0x53");
  t.maxColumns = le16(h + 41);
  t.varColumns = le16(h + 43);
  t.columnCount = le16(h + 45);
  uint32_t logicalCount = le32(h + 47);
  uint32_t realCount = le32(h + 51);
  t.ownedMap = le32(h + 55);
  t.freeMap = le32(h + 59);
  if (t.columnCount == 0) fail("no columns");
  if (t.columnCount > t.maxColumns)
    fail(std::to_string(t.columnCount) + " columns but max_cols " + std::to_string(t.maxColumns));
  // Every real index serves at least one logical one, and Access allows
  // 32 indexes a table (foreign keys add logical ones): anything far past
  // that is damage, not a table to walk.
  if (realCount > logicalCount) {
    fail(std::to_string(realCount) + " real indexes but " + std::to_string(logicalCount) +
         " logical ones");
    return std::nullopt;
  }
  if (logicalCount > 64) {
    fail("implausible index count " + std::to_string(logicalCount));
    return std::nullopt;
  }

  size_t pos = 63;
  auto need = [&](size_t bytes) {
    if (pos + bytes > buf.size()) {
      fail("definition runs past its pages at offset " + std::to_string(pos));
      return false;
    }
    return true;
  };
  if (!need(kRealIndexCountBlock * realCount)) return std::nullopt;
  t.realIndexes.resize(realCount);
  for (uint32_t i = 0; i < realCount; ++i) {
    t.realIndexes[i].distinctKeys = le32(&buf[pos + 4]);
    pos += kRealIndexCountBlock;
  }
  if (!need(kColumnBlock * t.columnCount)) return std::nullopt;
  t.columns.resize(t.columnCount);
  for (Column& c : t.columns) {
    const uint8_t* d = &buf[pos];
    c.type = d[0];
    c.number = le16(d + 5);
    c.varIndex = le16(d + 7);
    std::memcpy(c.misc, d + 11, 4);
    c.flags = d[15];
    c.ext = d[16];
    c.fixedOffset = le16(d + 21);
    c.length = le16(d + 23);
    pos += kColumnBlock;
  }
  std::set<std::string> names;
  for (Column& c : t.columns) {
    size_t bytes = 0;
    if (!readName(buf, pos, c.name, bytes)) {
      fail("column names run past the definition");
      return std::nullopt;
    }
    if (bytes == 0 || bytes % 2 != 0 || bytes > 128)
      fail("column name of " + std::to_string(bytes) + " bytes");
    if (!names.insert(lowerAscii(c.name)).second) fail("two columns named " + c.name);
  }
  if (!need(kRealIndexBlock * realCount)) return std::nullopt;
  for (RealIndex& ri : t.realIndexes) {
    const uint8_t* d = &buf[pos];
    if (le32(d) != kRealIndexMagic)
      fail("real index block starts " + std::to_string(le32(d)) + ", expected 1923");
    bool ended = false;
    for (int k = 0; k < 10; ++k) {
      uint16_t col = le16(d + 4 + 3 * k);
      if (col == 0xFFFF) {
        ended = true;
        continue;
      }
      if (ended) fail("an index lists a column after an empty slot");
      ri.columns.emplace_back(col, d[4 + 3 * k + 2] != 0);
    }
    ri.mapPointer = le32(d + 34);
    ri.root = le32(d + 38);
    ri.flags = d[46];
    pos += kRealIndexBlock;
  }
  if (!need(kLogicalIndexBlock * logicalCount)) return std::nullopt;
  t.logicalIndexes.resize(logicalCount);
  for (LogicalIndex& li : t.logicalIndexes) {
    const uint8_t* d = &buf[pos];
    li.number = le32(d + 4);
    li.real = le32(d + 8);
    li.type = d[23];
    li.relatedType = d[12];
    li.relatedIndex = int32_t(le32(d + 13));
    li.relatedPage = le32(d + 17);
    li.cascadeUpdates = d[21];
    li.cascadeDeletes = d[22];
    pos += kLogicalIndexBlock;
  }
  for (LogicalIndex& li : t.logicalIndexes) {
    size_t bytes = 0;
    if (!readName(buf, pos, li.name, bytes)) {
      fail("index names run past the definition");
      return std::nullopt;
    }
    if (bytes == 0 || bytes % 2 != 0 || bytes > 128)
      fail("index name of " + std::to_string(bytes) + " bytes");
  }
  // Long-value column maps, closed by FF FF.
  for (;;) {
    if (!need(2)) return std::nullopt;
    uint16_t col = le16(&buf[pos]);
    pos += 2;
    if (col == 0xFFFF) break;
    if (!need(8)) return std::nullopt;
    t.longValueMaps.push_back({col, le32(&buf[pos]), le32(&buf[pos + 4])});
    pos += 8;
  }
  // tdef_len counts from the first page's start to just past FF FF.
  if (tdefLen != pos)
    fail("tdef_len is " + std::to_string(tdefLen) + " but the definition ends at " +
         std::to_string(pos));
  if (t.pages.size() == 1) {
    uint16_t freeBytes = le16(h + 2);
    if (pos <= kPageBytes - 8 && freeBytes != kPageBytes - 8 - pos)
      fail("free space field " + std::to_string(freeBytes) + ", expected " +
           std::to_string(kPageBytes - 8 - pos));
  }

  // Column descriptors against each other.
  std::set<uint16_t> numbers, varSlots;
  std::vector<std::pair<uint16_t, uint16_t>> fixedSpans;
  for (const Column& c : t.columns) {
    const std::string col = "column " + c.name;
    if (!knownType(c.type)) fail(col + " has unknown type " + std::to_string(c.type));
    if (c.number >= t.maxColumns)
      fail(col + " has number " + std::to_string(c.number) + ", max_cols is " +
           std::to_string(t.maxColumns));
    if (!numbers.insert(c.number).second)
      fail(col + " shares column number " + std::to_string(c.number));
    if (c.fixed()) {
      uint16_t width = c.type == 17 ? c.length : fixedWidth(c.type);
      if (c.type != 1 && c.type != 17 && (width == 0 || c.length != width))
        fail(col + " is fixed with length " + std::to_string(c.length) + " for type " +
             std::to_string(c.type));
      if (width > 0) fixedSpans.emplace_back(c.fixedOffset, uint16_t(c.fixedOffset + width));
    } else {
      if (c.varIndex >= t.varColumns)
        fail(col + " has variable slot " + std::to_string(c.varIndex) + " of " +
             std::to_string(t.varColumns));
      if (!varSlots.insert(c.varIndex).second)
        fail(col + " shares variable slot " + std::to_string(c.varIndex));
      if (c.type == 1) fail(col + " is a Yes/No column stored as variable");
      if (c.type == 10 && (c.length == 0 || c.length > 510 || c.length % 2 != 0))
        fail(col + " is text of " + std::to_string(c.length) + " bytes");
      if (c.type == 9 && (c.length == 0 || c.length > 510))
        fail(col + " is binary of " + std::to_string(c.length) + " bytes");
    }
    if (c.type == 16 && (c.misc[0] < 1 || c.misc[0] > 28 || c.misc[1] > c.misc[0]))
      fail(col + " is decimal with precision " + std::to_string(c.misc[0]) + " and scale " +
           std::to_string(c.misc[1]));
  }
  // Access leaves num_var_cols at its high-water mark when columns go, so
  // it may exceed the variable columns left, never fall short of them.
  if (varSlots.size() > t.varColumns)
    fail(std::to_string(t.varColumns) + " variable columns declared, " +
         std::to_string(varSlots.size()) + " found");
  std::sort(fixedSpans.begin(), fixedSpans.end());
  for (size_t i = 1; i < fixedSpans.size(); ++i)
    if (fixedSpans[i].first < fixedSpans[i - 1].second)
      fail("fixed columns overlap at offset " + std::to_string(fixedSpans[i].first));

  // Indexes against the columns.
  for (size_t i = 0; i < t.realIndexes.size(); ++i) {
    const RealIndex& ri = t.realIndexes[i];
    if (ri.columns.empty()) fail("real index " + std::to_string(i) + " has no columns");
    for (auto [col, asc] : ri.columns) {
      (void)asc;
      const Column* c = t.columnByNumber(col);
      if (!c)
        fail("real index " + std::to_string(i) + " names column number " + std::to_string(col) +
             ", which does not exist");
      else if (c->longValue())
        fail("real index " + std::to_string(i) + " indexes memo/OLE column " + c->name);
    }
  }
  std::set<uint32_t> logicalNumbers;
  std::set<std::string> indexNames;
  for (const LogicalIndex& li : t.logicalIndexes) {
    if (li.real >= t.realIndexes.size())
      fail("index " + li.name + " refers to real index " + std::to_string(li.real) + " of " +
           std::to_string(t.realIndexes.size()));
    if (li.number >= t.logicalIndexes.size() || !logicalNumbers.insert(li.number).second)
      fail("index " + li.name + " has number " + std::to_string(li.number));
    if (!indexNames.insert(lowerAscii(li.name)).second) fail("two indexes named " + li.name);
  }
  for (const LongValueMaps& lv : t.longValueMaps) {
    const Column* c = t.columnByNumber(lv.column);
    if (!c || !c->longValue())
      fail("long-value maps for column number " + std::to_string(lv.column) +
           ", which is not a memo or OLE column");
  }
  return t;
}

namespace {

struct LongValueResult {
  bool ok = true;
  std::vector<uint8_t> bytes;
};

}  // namespace

const RowKey* IndexKeys::find(uint32_t pointer) const {
  auto it = std::lower_bound(rows.begin(), rows.end(), pointer,
                             [](const RowKey& k, uint32_t p) { return k.pointer < p; });
  return it != rows.end() && it->pointer == pointer ? &*it : nullptr;
}

TableRows Checker::checkTableData(const TableDef& t, const std::vector<uint16_t>& kept) {
  // Columns decoded for every row: those the caller keeps, the index
  // columns, and AutoNumber columns (to hold the counter against them).
  std::vector<uint16_t> wanted = kept;
  auto want = [&](uint16_t number) {
    auto it = std::find(wanted.begin(), wanted.end(), number);
    if (it != wanted.end()) return size_t(it - wanted.begin());
    wanted.push_back(number);
    return wanted.size() - 1;
  };
  struct IndexPlan {
    std::vector<ColumnType> types;
    std::vector<bool> descending;
    std::vector<size_t> slots;
    bool usable = true;
  };
  std::vector<IndexPlan> plans(t.realIndexes.size());
  for (size_t i = 0; i < t.realIndexes.size(); ++i) {
    for (auto [col, asc] : t.realIndexes[i].columns) {
      const Column* c = t.columnByNumber(col);
      if (!c) {
        plans[i].usable = false;
        continue;
      }
      plans[i].types.push_back(ColumnType(c->type));
      plans[i].descending.push_back(!asc);
      plans[i].slots.push_back(want(col));
    }
  }
  std::vector<std::pair<uint16_t, size_t>> counters;
  for (const Column& c : t.columns)
    if (c.type == 4 && (c.flags & 0x04)) counters.emplace_back(c.number, want(c.number));
  std::map<uint16_t, int64_t> highest;
  TableRows out;
  out.columns = kept;
  out.keys.resize(t.realIndexes.size());
  const std::string who = "table " + t.name;
  auto rowProblem = [&](CheckFinding f, uint32_t pg, uint32_t row, const std::string& text) {
    problem(f, who + ", row " + std::to_string(row) + " of page " + std::to_string(pg) + ": " + text);
  };

  auto owned = readUsageMap(t.ownedMap, who + " owned-pages map");
  auto freeMap = readUsageMap(t.freeMap, who + " free-space map");
  std::vector<uint32_t> dataPages = owned ? *owned : std::vector<uint32_t>{};
  if (owned && freeMap) {
    std::unordered_set<uint32_t> ownedSet(owned->begin(), owned->end());
    for (uint32_t pg : *freeMap)
      if (!ownedSet.count(pg))
        problem(CheckFinding::UsageMap, who + ": free-space map lists page " +
                                            std::to_string(pg) + ", which the table does not own");
  }
  // A data page that names this table but is missing from its owned map
  // holds rows that every reader skips.
  {
    std::unordered_set<uint32_t> ownedSet(dataPages.begin(), dataPages.end());
    for (uint32_t pg : dataPagesNaming(t.page)) {
      if (!ownedSet.count(pg) && !globallyFree(pg))
        problem(CheckFinding::UsageMap, who + ": data page " + std::to_string(pg) +
                                            " belongs to the table but is not in its owned map");
    }
  }

  std::map<uint16_t, std::set<uint32_t>> lvalPagesByColumn;  // LVAL pages each column uses
  auto readLongValue = [&](uint32_t pg, uint32_t row, const Column& c,
                           std::span<const uint8_t> field) -> LongValueResult {
    LongValueResult r;
    auto lvFail = [&](const std::string& text) {
      rowProblem(CheckFinding::LongValue, pg, row, "column " + c.name + ": " + text);
      r.ok = false;
    };
    if (field.size() < 12) {
      lvFail("long-value header of " + std::to_string(field.size()) + " bytes");
      return r;
    }
    uint32_t word = le32(field.data());
    uint32_t length = word & 0x3FFFFFFF;
    uint32_t kind = word >> 30;
    uint32_t ptr = le32(field.data() + 4);
    auto lvalRow = [&](uint32_t p) -> std::optional<std::span<const uint8_t>> {
      std::string why;
      uint32_t lp = pointerPage(p);
      if (lp == 0 || lp >= pageCount()) {
        lvFail("long-value pointer to page " + std::to_string(lp) + " outside the file");
        return std::nullopt;
      }
      if (std::memcmp(page(lp) + 4, "LVAL", 4) != 0 || page(lp)[0] != kDataPage) {
        lvFail("long-value page " + std::to_string(lp) + " is not an LVAL page");
        return std::nullopt;
      }
      claim(lp, who + " long values");
      lvalPagesByColumn[c.number].insert(lp);
      bool deleted = false;
      auto bytes = rowBytes(lp, pointerRow(p), why, &deleted);
      if (!bytes) {
        lvFail(why);
        return std::nullopt;
      }
      if (deleted) lvFail("long value " + pointerText(p) + " is a deleted row");
      return bytes;
    };
    if (kind == 2) {  // 0x80: inline
      if (field.size() - 12 != length)
        lvFail("inline long value says " + std::to_string(length) + " bytes, holds " +
               std::to_string(field.size() - 12));
      else if (length > kInlineLongValueLimit)
        lvFail("inline long value of " + std::to_string(length) +
               " bytes, past the 64 Access reads inline");
      r.bytes.assign(field.begin() + 12, field.end());
    } else if (kind == 1) {  // 0x40: one LVAL row
      auto bytes = lvalRow(ptr);
      if (!bytes) return r;
      if (bytes->size() < length)
        lvFail("long value says " + std::to_string(length) + " bytes, its LVAL row holds " +
               std::to_string(bytes->size()));
      else
        r.bytes.assign(bytes->begin(), bytes->begin() + length);
    } else if (kind == 0) {  // a chain of LVAL rows
      std::set<uint32_t> visited;
      uint32_t next = ptr;
      while (next != 0) {
        if (!visited.insert(next).second) {
          lvFail("long-value chain loops at " + pointerText(next));
          return r;
        }
        auto bytes = lvalRow(next);
        if (!bytes) return r;
        if (bytes->size() < 4) {
          lvFail("chain row " + pointerText(next) + " is too short");
          return r;
        }
        next = le32(bytes->data());
        r.bytes.insert(r.bytes.end(), bytes->begin() + 4, bytes->end());
        if (r.bytes.size() > length) break;
      }
      if (r.bytes.size() != length) {
        lvFail("long-value chain holds " + std::to_string(r.bytes.size()) +
               (next != 0 ? "+" : "") + " bytes, header says " + std::to_string(length));
      }
    } else {
      lvFail("long-value header has both inline and single-row flags");
    }
    return r;
  };

  // Decodes one row; returns false when its layout is broken.
  auto decodeRow = [&](uint32_t pg, uint32_t row, std::span<const uint8_t> bytes,
                       std::vector<Value>* values) -> bool {
    const size_t len = bytes.size();
    if (len < 3) {
      rowProblem(CheckFinding::Row, pg, row, "only " + std::to_string(len) + " bytes");
      return false;
    }
    if (len > kMaxRowBytes)
      rowProblem(CheckFinding::Row, pg, row, std::to_string(len) + " bytes, past the 4060 limit");
    uint16_t ncols = le16(bytes.data());
    if (ncols == 0 || ncols > t.maxColumns) {
      rowProblem(CheckFinding::Row, pg, row,
                 "column count " + std::to_string(ncols) + ", table has " +
                     std::to_string(t.maxColumns));
      return false;
    }
    const size_t maskBytes = (size_t(ncols) + 7) / 8;
    if (len < 2 + maskBytes) {
      rowProblem(CheckFinding::Row, pg, row, "too short for its null mask");
      return false;
    }
    const uint8_t* mask = bytes.data() + len - maskBytes;
    if (ncols % 8 != 0 && (mask[maskBytes - 1] >> (ncols % 8)) != 0) {
      rowProblem(CheckFinding::Row, pg, row,
                 "null mask " + hexBytes({mask, maskBytes}) + " has bits past its " +
                     std::to_string(ncols) + " columns");
      return false;
    }
    auto present = [&](uint16_t number) {
      return number < ncols && (mask[number / 8] & (1 << (number % 8)));
    };
    size_t fixedEnd = len - maskBytes;  // where the fixed area must stop
    std::vector<uint16_t> offsets;     // var column starts, then the end of var data
    uint16_t nvar = 0;
    if (t.varColumns > 0) {
      if (len < 2 + maskBytes + 4) {
        rowProblem(CheckFinding::Row, pg, row, "too short for its variable-column table");
        return false;
      }
      nvar = le16(bytes.data() + len - maskBytes - 2);
      size_t tableStart = len - maskBytes - 4 - 2 * size_t(nvar);
      if (nvar > t.varColumns || len < maskBytes + 4 + 2 * size_t(nvar) + 2) {
        rowProblem(CheckFinding::Row, pg, row,
                   "variable-column count " + std::to_string(nvar) + ", table has " +
                       std::to_string(t.varColumns));
        return false;
      }
      for (size_t i = 0; i <= nvar; ++i)
        offsets.push_back(le16(bytes.data() + len - maskBytes - 4 - 2 * i));
      for (size_t i = 1; i < offsets.size(); ++i) {
        if (offsets[i] < offsets[i - 1]) {
          rowProblem(CheckFinding::Row, pg, row,
                     "variable offsets decrease at slot " + std::to_string(i));
          return false;
        }
      }
      if (offsets.back() > tableStart) {
        rowProblem(CheckFinding::Row, pg, row,
                   "variable data ends at " + std::to_string(offsets.back()) +
                       ", inside its offset table at " + std::to_string(tableStart));
        return false;
      }
      if (offsets.front() < 2) {
        rowProblem(CheckFinding::Row, pg, row, "variable data starts inside the column count");
        return false;
      }
      fixedEnd = offsets.front();
    }
    bool ok = true;
    for (const Column& c : t.columns) {
      bool isWanted = values && std::find(wanted.begin(), wanted.end(), c.number) != wanted.end();
      std::span<const uint8_t> field;
      bool has = present(c.number);
      if (c.type == 1) {
        if (isWanted) (*values)[std::find(wanted.begin(), wanted.end(), c.number) - wanted.begin()] = has;
        continue;
      }
      if (c.fixed()) {
        if (c.number >= ncols) has = false;
        size_t width = c.type == 17 ? c.length : fixedWidth(c.type);
        if (c.number < ncols && 2 + size_t(c.fixedOffset) + width > fixedEnd) {
          rowProblem(CheckFinding::Row, pg, row,
                     "fixed column " + c.name + " at " + std::to_string(2 + c.fixedOffset) +
                         " runs into the variable data at " + std::to_string(fixedEnd));
          ok = false;
          continue;
        }
        if (has) field = bytes.subspan(2 + c.fixedOffset, width);
      } else {
        if (c.varIndex < nvar) {
          field = bytes.subspan(offsets[c.varIndex], offsets[c.varIndex + 1] - offsets[c.varIndex]);
        } else {
          has = false;
        }
        if (!has && !field.empty()) {
          rowProblem(CheckFinding::Row, pg, row,
                     "column " + c.name + " is NULL but holds " + std::to_string(field.size()) +
                         " bytes");
          ok = false;
        }
        if (has) {
          if (c.type == 10) {
            bool compressed = field.size() >= 2 && field[0] == 0xFF && field[1] == 0xFE;
            if (!compressed && field.size() % 2 != 0) {
              rowProblem(CheckFinding::Row, pg, row,
                         "text column " + c.name + " holds an odd " +
                             std::to_string(field.size()) + " bytes");
              ok = false;
            }
            if (compressed && !(c.ext & 0x01))
              rowProblem(CheckFinding::Row, pg, row,
                         "text column " + c.name + " is compressed but does not allow it");
            if (!compressed && field.size() > c.length) {
              rowProblem(CheckFinding::Row, pg, row,
                         "text column " + c.name + " holds " + std::to_string(field.size()) +
                             " bytes, more than its " + std::to_string(c.length));
              ok = false;
            }
          } else if (c.type == 9 && field.size() > c.length) {
            rowProblem(CheckFinding::Row, pg, row,
                       "binary column " + c.name + " holds " + std::to_string(field.size()) +
                           " bytes, more than its " + std::to_string(c.length));
            ok = false;
          } else if (fixedWidth(c.type) > 0 && field.size() != fixedWidth(c.type)) {
            rowProblem(CheckFinding::Row, pg, row,
                       "column " + c.name + " holds " + std::to_string(field.size()) + " bytes");
            ok = false;
            continue;
          }
        }
      }
      if (has && c.type == 16 && (field[0] & 0x7F) != 0) {
        rowProblem(CheckFinding::Row, pg, row,
                   "decimal column " + c.name + " has sign byte " + hexBytes(field.first(1)));
        ok = false;
      }
      std::vector<uint8_t> longBytes;
      if (has && c.longValue()) {
        LongValueResult lv = readLongValue(pg, row, c, field);
        if (!lv.ok) ok = false;
        longBytes = std::move(lv.bytes);
        field = longBytes;
      }
      if (isWanted) {
        size_t slot = std::find(wanted.begin(), wanted.end(), c.number) - wanted.begin();
        (*values)[slot] = has ? decodeFixedValue(c, field) : Value{Null{}};
      }
    }
    return ok;
  };

  std::sort(dataPages.begin(), dataPages.end());
  for (uint32_t pg : dataPages) {
    if (!claim(pg, who + " data")) continue;
    const uint8_t* p = page(pg);
    if (p[0] != kDataPage || p[1] != 0x01 || std::memcmp(p + 4, "LVAL", 4) == 0) {
      problem(CheckFinding::PageType, who + ": owned page " + std::to_string(pg) +
                                          " is not a data page (type " + std::to_string(p[0]) + ")");
      continue;
    }
    if (le32(p + 4) != t.page) {
      problem(CheckFinding::UsageMap, who + ": owned page " + std::to_string(pg) +
                                          " belongs to TDEF page " + std::to_string(le32(p + 4)));
      continue;
    }
    uint16_t rows = le16(p + 12);
    if (rows > kMaxRowsPerPage || 14 + 2 * size_t(rows) > kPageBytes) {
      problem(CheckFinding::DataPage, who + ": data page " + std::to_string(pg) + " claims " +
                                          std::to_string(rows) + " rows");
      continue;
    }
    bool layoutOk = true;
    uint32_t prevStart = kPageBytes;
    for (uint32_t r = 0; r < rows; ++r) {
      uint32_t start = le16(p + 14 + 2 * r) & 0x1FFF;
      if (start > prevStart || start < 14 + 2 * uint32_t(rows)) {
        problem(CheckFinding::DataPage, who + ": data page " + std::to_string(pg) + " row " +
                                            std::to_string(r) + " starts at " +
                                            std::to_string(start) + ", outside " +
                                            std::to_string(14 + 2 * rows) + ".." +
                                            std::to_string(prevStart));
        layoutOk = false;
        break;
      }
      prevStart = start;
    }
    if (!layoutOk) continue;
    uint32_t expectedFree = prevStart - 14 - 2 * uint32_t(rows);
    if (le16(p + 2) != expectedFree)
      problem(CheckFinding::DataPage, who + ": data page " + std::to_string(pg) +
                                          " says " + std::to_string(le16(p + 2)) +
                                          " bytes free, its rows leave " +
                                          std::to_string(expectedFree));
    for (uint32_t r = 0; r < rows; ++r) {
      uint16_t raw = le16(p + 14 + 2 * r);
      if (raw & 0x8000) continue;  // deleted, or the target of an overflow pointer
      std::string why;
      auto bytes = rowBytes(pg, r, why);
      if (!bytes) {
        problem(CheckFinding::DataPage, who + ": " + why);
        continue;
      }
      uint32_t dataPage = pg, dataRow = r;
      if (raw & 0x4000) {
        // The row moved; the 4 bytes say where it lives now.
        if (bytes->size() < 4) {
          rowProblem(CheckFinding::Row, pg, r, "overflow row of " + std::to_string(bytes->size()) +
                                                   " bytes");
          continue;
        }
        uint32_t target = le32(bytes->data());
        dataPage = pointerPage(target);
        dataRow = pointerRow(target);
        bytes = rowBytes(dataPage, dataRow, why);
        if (!bytes) {
          rowProblem(CheckFinding::Row, pg, r, "overflow pointer: " + why);
          continue;
        }
        if (dataPage >= pageCount() || le32(page(dataPage) + 4) != t.page)
          rowProblem(CheckFinding::Row, pg, r, "overflow row points into another table's page");
      }
      std::vector<Value> values(wanted.size(), Value{Null{}});
      decodeRow(dataPage, dataRow, *bytes, &values);
      for (auto [number, slot] : counters) {
        if (const int64_t* v = std::get_if<int64_t>(&values[slot]))
          highest[number] = std::max(highest.count(number) ? highest[number] : *v, *v);
      }
      uint32_t ptr = rowPointer(pg, r);
      out.pointers.push_back(ptr);
      for (size_t i = 0; i < plans.size(); ++i) {
        if (!plans[i].usable) continue;
        IndexKeys& keys = out.keys[i];
        RowKey rk;
        rk.pointer = ptr;
        rk.offset = uint32_t(keys.bytes.size());
        std::vector<const Value*> keyValues;
        bool allNull = true;
        for (size_t slot : plans[i].slots) {
          keyValues.push_back(&values[slot]);
          if (std::holds_alternative<Null>(values[slot]))
            rk.flags |= RowKey::kAnyNull;
          else
            allNull = false;
        }
        if (allNull) rk.flags |= RowKey::kAllNull;
        try {
          KeyBytes key = encodeIndexKey(plans[i].types, keyValues, plans[i].descending);
          keys.bytes.insert(keys.bytes.end(), key.begin(), key.end());
          rk.length = uint16_t(key.size());
        } catch (const std::exception& e) {
          rk.flags |= RowKey::kUnencodable;
          if (keys.encodeError.empty()) keys.encodeError = pointerText(ptr) + ": " + e.what();
        }
        keys.rows.push_back(rk);
      }
      if (!kept.empty()) {
        values.resize(kept.size());
        out.values.emplace(ptr, std::move(values));
      }
      ++out.liveRows;
    }
  }
  std::sort(out.pointers.begin(), out.pointers.end());
  // A counter below a value already in the table would hand that value out
  // again on the next insert.
  for (const auto& [number, top] : highest)
    if (top > int64_t(int32_t(t.autoNumber)))
      problem(CheckFinding::TableDef, who + ": the AutoNumber counter is " +
                                          std::to_string(int32_t(t.autoNumber)) +
                                          " but column " + t.columnByNumber(number)->name +
                                          " already holds " + std::to_string(top));
  // Each memo/OLE column's own map lists the LVAL pages its values use.
  for (const LongValueMaps& lv : t.longValueMaps) {
    const Column* c = t.columnByNumber(lv.column);
    if (!c) continue;
    // A zero pointer means the column has no map of that kind.
    if (lv.free != 0) readUsageMap(lv.free, who + " long-value free map of column " + c->name);
    if (lv.owned == 0) continue;
    auto mapped = readUsageMap(lv.owned, who + " long-value map of column " + c->name);
    if (!mapped) continue;
    std::unordered_set<uint32_t> inMap(mapped->begin(), mapped->end());
    for (uint32_t lp : lvalPagesByColumn[lv.column])
      if (!inMap.count(lp))
        problem(CheckFinding::UsageMap, who + ": LVAL page " + std::to_string(lp) + " of column " +
                                            c->name + " is missing from the column's map");
  }
  ++totals().tables;
  totals().rows += out.liveRows;
  if (owned && out.liveRows != t.rowCount)
    problem(CheckFinding::RowCount, who + ": the definition says " + std::to_string(t.rowCount) +
                                        " rows, the data pages hold " +
                                        std::to_string(out.liveRows));
  return out;
}

}  // namespace jet::check
