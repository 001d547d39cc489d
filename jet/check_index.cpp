// Structural check of a table's indexes: B-tree pages, entry order, page
// links, row pointers, and keys re-encoded from the rows they point at.
#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "jet/check_internal.h"
#include "jet/index_key.h"

namespace jet::check {

namespace {

constexpr size_t kMaskStart = 27;
constexpr size_t kEntriesStart = 480;
constexpr size_t kMaxDepth = 16;

using Entry = std::vector<uint8_t>;

bool entryLess(const Entry& a, const Entry& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

struct IndexPage {
  bool leaf = true;
  uint32_t prev = 0, next = 0, tail = 0;
  std::vector<Entry> entries;  // whole entries, prefix restored
};

struct Walk {
  std::vector<Entry> leafEntries;  // key + 3-byte page + row, in tree order
  std::vector<uint32_t> leaves;    // leaf pages in tree order
  std::vector<std::pair<uint32_t, IndexPage>> leafPages;
  std::vector<uint32_t> pages;     // every page of the tree
  std::set<uint32_t> visited;
};

}  // namespace

void Checker::checkIndexes(const TableDef& t, const TableRows& rows) {
  for (size_t ix = 0; ix < t.realIndexes.size(); ++ix) {
    const RealIndex& ri = t.realIndexes[ix];
    std::string label = "index " + std::to_string(ix);
    for (const LogicalIndex& li : t.logicalIndexes)
      if (li.real == ix) {
        label = "index " + li.name;
        break;
      }
    const std::string who = "table " + t.name + ", " + label;
    auto fail = [&](CheckFinding f, const std::string& text) { problem(f, who + ": " + text); };

    // Reads one page of the tree; nullopt when it cannot be used.
    auto readPage = [&](uint32_t pg) -> std::optional<IndexPage> {
      if (!claim(pg, who)) return std::nullopt;
      const uint8_t* p = page(pg);
      if ((p[0] != kIndexNode && p[0] != kIndexLeaf) || p[1] != 0x01) {
        problem(CheckFinding::PageType,
                who + ": page " + std::to_string(pg) + " is not an index page (type " +
                    std::to_string(p[0]) + ")");
        return std::nullopt;
      }
      if (le32(p + 4) != t.page)
        fail(CheckFinding::Index, "page " + std::to_string(pg) + " names TDEF page " +
                                      std::to_string(le32(p + 4)));
      IndexPage ip;
      ip.leaf = p[0] == kIndexLeaf;
      ip.prev = le32(p + 12);
      ip.next = le32(p + 16);
      ip.tail = le32(p + 20);
      uint16_t prefix = le16(p + 24);
      size_t start = kEntriesStart, lastEnd = kEntriesStart;
      for (size_t bit = 0; bit < (kEntriesStart - kMaskStart) * 8; ++bit) {
        if (!(p[kMaskStart + bit / 8] & (1 << (bit % 8)))) continue;
        size_t end = kEntriesStart + bit;
        if (end <= start) {
          fail(CheckFinding::Index, "page " + std::to_string(pg) + " has an empty entry at " +
                                        std::to_string(end));
          return std::nullopt;
        }
        Entry e(p + start, p + end);
        if (!ip.entries.empty() && prefix > 0) {
          const Entry& first = ip.entries.front();
          if (prefix > first.size()) {
            fail(CheckFinding::Index, "page " + std::to_string(pg) + " shares a prefix of " +
                                          std::to_string(prefix) + " bytes, longer than its first entry");
            return std::nullopt;
          }
          e.insert(e.begin(), first.begin(), first.begin() + prefix);
        }
        ip.entries.push_back(std::move(e));
        start = lastEnd = end;
      }
      uint32_t claimedEnd = kPageBytes - le16(p + 2);
      if (claimedEnd != lastEnd) {
        if (claimedEnd > lastEnd)
          fail(CheckFinding::Index,
               "page " + std::to_string(pg) + ": entries run to " + std::to_string(claimedEnd) +
                   " by its free space, but the entry mask ends at " + std::to_string(lastEnd) +
                   " (missing end bit after the last entry?)");
        else
          fail(CheckFinding::Index, "page " + std::to_string(pg) + " says " +
                                        std::to_string(le16(p + 2)) + " bytes free, entries end at " +
                                        std::to_string(lastEnd));
      }
      size_t minimum = ip.leaf ? 5 : 9;
      for (const Entry& e : ip.entries)
        if (e.size() < minimum) {
          fail(CheckFinding::Index, "page " + std::to_string(pg) + " holds an entry of only " +
                                        std::to_string(e.size()) + " bytes");
          return std::nullopt;
        }
      if (ip.leaf && ip.tail != 0)
        fail(CheckFinding::Index, "leaf page " + std::to_string(pg) + " has a child pointer");
      return ip;
    };

    Walk walk;
    // Returns the last leaf entry under pg, or nullopt.
    std::function<std::optional<Entry>(uint32_t, size_t)> descend =
        [&](uint32_t pg, size_t depth) -> std::optional<Entry> {
      if (depth > kMaxDepth || !walk.visited.insert(pg).second) {
        fail(CheckFinding::Index, "the tree loops back to page " + std::to_string(pg));
        return std::nullopt;
      }
      auto ip = readPage(pg);
      if (!ip) return std::nullopt;
      walk.pages.push_back(pg);
      if (ip->leaf) {
        walk.leaves.push_back(pg);
        for (const Entry& e : ip->entries) walk.leafEntries.push_back(e);
        std::optional<Entry> last;
        if (!ip->entries.empty()) last = ip->entries.back();
        walk.leafPages.emplace_back(pg, std::move(*ip));
        return last;
      }
      if (ip->entries.empty() && ip->tail == 0) {
        fail(CheckFinding::Index, "node page " + std::to_string(pg) + " has no children");
        return std::nullopt;
      }
      std::optional<Entry> last;
      for (const Entry& e : ip->entries) {
        uint32_t child = be32(&e[e.size() - 4]);
        Entry proper(e.begin(), e.end() - 4);
        auto childLast = descend(child, depth + 1);
        if (childLast && *childLast != proper)
          fail(CheckFinding::Index, "node page " + std::to_string(pg) + " entry for child " +
                                        std::to_string(child) + " is " + hexBytes(proper) +
                                        ", the child's last entry is " + hexBytes(*childLast));
        last = proper;
      }
      if (ip->tail != 0) {
        auto tailLast = descend(ip->tail, depth + 1);
        if (tailLast) last = tailLast;
      }
      return last;
    };
    if (ri.root == 0 || ri.root >= pageCount()) {
      fail(CheckFinding::Index, "root page " + std::to_string(ri.root) + " is outside the file");
      continue;
    }
    descend(ri.root, 0);

    // The usage map of the index holds its pages.
    if (auto mapped = readUsageMap(ri.mapPointer, who + " usage map")) {
      std::unordered_set<uint32_t> inMap(mapped->begin(), mapped->end());
      for (uint32_t pg : walk.pages)
        if (!inMap.count(pg))
          problem(CheckFinding::UsageMap,
                  who + ": page " + std::to_string(pg) + " of the tree is missing from its usage map");
    }

    // Leaf pages form one chain in tree order.
    for (size_t i = 0; i < walk.leafPages.size(); ++i) {
      const auto& [pg, ip] = walk.leafPages[i];
      uint32_t wantPrev = i == 0 ? 0 : walk.leafPages[i - 1].first;
      uint32_t wantNext = i + 1 == walk.leafPages.size() ? 0 : walk.leafPages[i + 1].first;
      if (ip.prev != wantPrev || ip.next != wantNext)
        fail(CheckFinding::Index, "leaf page " + std::to_string(pg) + " links prev " +
                                      std::to_string(ip.prev) + " next " + std::to_string(ip.next) +
                                      ", tree order gives " + std::to_string(wantPrev) + " and " +
                                      std::to_string(wantNext));
    }

    // Entries strictly ascending over the whole tree.
    for (size_t i = 1; i < walk.leafEntries.size(); ++i)
      if (!entryLess(walk.leafEntries[i - 1], walk.leafEntries[i])) {
        fail(CheckFinding::Index, "entry " + std::to_string(i) + " (" +
                                      hexBytes(walk.leafEntries[i]) + ") is not above the one before (" +
                                      hexBytes(walk.leafEntries[i - 1]) + ")");
        break;
      }

    // Row pointers, keys, and the rows each index must hold.
    std::vector<ColumnType> types;
    std::vector<bool> descending;
    std::vector<size_t> slots;  // where each index column's value sits in rows.values
    bool columnsKnown = true;
    for (auto [col, asc] : ri.columns) {
      const Column* c = t.columnByNumber(col);
      auto at = std::find(rows.columns.begin(), rows.columns.end(), col);
      if (!c || at == rows.columns.end()) {
        columnsKnown = false;
        break;
      }
      types.push_back(ColumnType(c->type));
      descending.push_back(!asc);
      slots.push_back(size_t(at - rows.columns.begin()));
    }
    const bool ignoreNulls = ri.flags & 0x02;
    const bool unique = ri.flags & 0x01;
    std::unordered_set<uint32_t> indexed;
    size_t distinct = 0;
    size_t reportedKeys = 0;
    for (size_t i = 0; i < walk.leafEntries.size(); ++i) {
      const Entry& e = walk.leafEntries[i];
      uint32_t ptr = rowPointer(be24(&e[e.size() - 4]), e[e.size() - 1]);
      Entry key(e.begin(), e.end() - 4);
      bool newKey = i == 0 || !std::equal(key.begin(), key.end(), walk.leafEntries[i - 1].begin(),
                                          walk.leafEntries[i - 1].end() - 4) ||
                    walk.leafEntries[i - 1].size() != e.size();
      if (newKey) ++distinct;
      if (!std::binary_search(rows.pointers.begin(), rows.pointers.end(), ptr)) {
        fail(CheckFinding::Index, "entry " + std::to_string(i) + " points at " + pointerText(ptr) +
                                      ", which is not a live row of the table");
        continue;
      }
      if (!indexed.insert(ptr).second) {
        fail(CheckFinding::Index, "two entries point at " + pointerText(ptr));
        continue;
      }
      if (!columnsKnown) continue;
      auto it = rows.values.find(ptr);
      if (it == rows.values.end()) continue;
      std::vector<const Value*> values;
      bool anyNull = false;
      for (size_t s : slots) {
        values.push_back(&it->second[s]);
        if (std::holds_alternative<Null>(it->second[s])) anyNull = true;
      }
      if (unique && !newKey && !anyNull)
        fail(CheckFinding::Index, "unique index holds key " + hexBytes(key) + " twice (" +
                                      pointerText(ptr) + ")");
      KeyBytes expected;
      try {
        expected = encodeIndexKey(types, values, descending);
      } catch (const std::exception& ex) {
        fail(CheckFinding::IndexKey, "cannot encode the key of " + pointerText(ptr) + ": " + ex.what());
        continue;
      }
      if (expected != key && reportedKeys++ < 5)
        fail(CheckFinding::IndexKey, "entry for " + pointerText(ptr) + " has key " + hexBytes(key) +
                                         ", the row's values give " + hexBytes(expected));
    }
    // Every live row is in the index, except all-NULL keys of an index that
    // ignores NULLs.
    size_t missing = 0;
    for (uint32_t ptr : rows.pointers) {
      if (indexed.count(ptr)) continue;
      if (ignoreNulls && columnsKnown) {
        auto it = rows.values.find(ptr);
        bool allNull = it != rows.values.end();
        if (allNull)
          for (size_t s : slots)
            if (!std::holds_alternative<Null>(it->second[s])) allNull = false;
        if (allNull) continue;
      }
      if (missing++ < 5)
        fail(CheckFinding::Index, pointerText(ptr) + " is missing from the index");
    }
    if (missing > 5) fail(CheckFinding::Index, std::to_string(missing) + " rows in all are missing");
    // The distinct-key count in the definition is a statistic Access lets
    // go stale (its own files disagree with their indexes), so it is not
    // held against a file.
    (void)distinct;
  }
}

}  // namespace jet::check
