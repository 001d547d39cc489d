// Structural check of a table's indexes: B-tree pages, entry order, page
// links, row pointers, and keys re-encoded from the rows they point at.
#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "jet/check_internal.h"

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

struct LevelPage {
  uint32_t page, prev, next;
};

struct Walk {
  std::vector<std::vector<LevelPage>> levels;  // pages of each depth, in tree order
  std::set<size_t> leafDepths;
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

    // Leaf entries are checked as the walk meets them, in tree order, so a
    // large index is never held in memory: strictly ascending, each pointing
    // at a live row once, with the key that row's values give.
    const IndexKeys& expectedKeys = rows.keys[ix];
    const bool ignoreNulls = ri.flags & 0x02;
    const bool unique = ri.flags & 0x01;
    if (!expectedKeys.encodeError.empty())
      fail(CheckFinding::IndexKey, "cannot encode the key of " + expectedKeys.encodeError);
    std::vector<bool> indexed(rows.pointers.size());
    // Keys were recorded for every live row in pointer order, unless the
    // index names a column the table lacks.
    auto keyOf = [&](size_t position) -> const RowKey* {
      if (expectedKeys.rows.size() == rows.pointers.size()) return &expectedKeys.rows[position];
      return expectedKeys.find(rows.pointers[position]);
    };
    Entry previous;
    size_t entryCount = 0, distinct = 0, reportedKeys = 0;
    bool orderReported = false;
    ++totals().indexes;
    auto visitLeafEntry = [&](const Entry& e) {
      const size_t i = entryCount++;
      ++totals().indexEntries;
      if (i > 0 && !orderReported && !entryLess(previous, e)) {
        fail(CheckFinding::Index, "entry " + std::to_string(i) + " (" + hexBytes(e) +
                                      ") is not above the one before (" + hexBytes(previous) + ")");
        orderReported = true;
      }
      const bool newKey = i == 0 || previous.size() != e.size() ||
                          !std::equal(e.begin(), e.end() - 4, previous.begin());
      previous = e;
      if (newKey) ++distinct;
      std::span<const uint8_t> key(e.data(), e.size() - 4);
      uint32_t ptr = rowPointer(be24(&e[e.size() - 4]), e[e.size() - 1]);
      auto at = std::lower_bound(rows.pointers.begin(), rows.pointers.end(), ptr);
      if (at == rows.pointers.end() || *at != ptr) {
        fail(CheckFinding::Index, "entry " + std::to_string(i) + " points at " + pointerText(ptr) +
                                      ", which is not a live row of the table");
        return;
      }
      const size_t position = size_t(at - rows.pointers.begin());
      auto seen = indexed[position];
      if (seen) {
        fail(CheckFinding::Index, "two entries point at " + pointerText(ptr));
        return;
      }
      seen = true;
      const RowKey* expected = keyOf(position);
      if (!expected || (expected->flags & RowKey::kUnencodable)) return;
      if (unique && !newKey && !(expected->flags & RowKey::kAnyNull))
        fail(CheckFinding::Index, "unique index holds key " + hexBytes(key) + " twice (" +
                                      pointerText(ptr) + ")");
      std::span<const uint8_t> want(expectedKeys.bytes.data() + expected->offset, expected->length);
      if (!std::equal(want.begin(), want.end(), key.begin(), key.end()) && reportedKeys++ < 5)
        fail(CheckFinding::IndexKey, "entry for " + pointerText(ptr) + " has key " + hexBytes(key) +
                                         ", the row's values give " + hexBytes(want));
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
      if (walk.levels.size() <= depth) walk.levels.resize(depth + 1);
      walk.levels[depth].push_back({pg, ip->prev, ip->next});
      if (ip->leaf) {
        walk.leafDepths.insert(depth);
        for (const Entry& e : ip->entries) visitLeafEntry(e);
        std::optional<Entry> last;
        if (!ip->entries.empty()) last = ip->entries.back();
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
      for (uint32_t pg : *mapped)
        if (!walk.visited.count(pg))
          problem(CheckFinding::UsageMap,
                  who + ": its usage map lists page " + std::to_string(pg) + ", which is not in the tree");
    }

    // All leaves sit at one depth, and the pages of each level form one
    // chain in tree order.
    if (walk.leafDepths.size() > 1)
      fail(CheckFinding::Index, "leaves at " + std::to_string(walk.leafDepths.size()) +
                                    " different depths");
    for (const auto& level : walk.levels) {
      for (size_t i = 0; i < level.size(); ++i) {
        const LevelPage& lp = level[i];
        uint32_t wantPrev = i == 0 ? 0 : level[i - 1].page;
        uint32_t wantNext = i + 1 == level.size() ? 0 : level[i + 1].page;
        if (lp.prev != wantPrev || lp.next != wantNext)
          fail(CheckFinding::Index,
               std::string(page(lp.page)[0] == kIndexLeaf ? "leaf" : "node") + " page " +
                   std::to_string(lp.page) + " links prev " + std::to_string(lp.prev) + " next " +
                   std::to_string(lp.next) + ", tree order gives " + std::to_string(wantPrev) +
                   " and " + std::to_string(wantNext));
      }
    }

    // Every live row is in the index, except all-NULL keys of an index that
    // ignores NULLs.
    size_t missing = 0;
    for (size_t r = 0; r < rows.pointers.size(); ++r) {
      if (indexed[r]) continue;
      uint32_t ptr = rows.pointers[r];
      const RowKey* expected = keyOf(r);
      if (ignoreNulls && expected && (expected->flags & RowKey::kAllNull)) continue;
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
