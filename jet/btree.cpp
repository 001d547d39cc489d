#include "jet/btree.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <typeinfo>

#include "jet/pager.h"

namespace jet {
namespace {

constexpr uint8_t kNodePage = 0x03;
constexpr uint8_t kLeafPage = 0x04;
constexpr size_t kFreeAt = 2;
constexpr size_t kTdefAt = 4;
constexpr size_t kPrevAt = 12;
constexpr size_t kNextAt = 16;
constexpr size_t kTailAt = 20;
constexpr size_t kPrefixAt = 24;
constexpr size_t kMaskAt = 27;
constexpr size_t kMaskBytes = 453;
constexpr size_t kEntriesAt = 480;
constexpr size_t kEntryArea = kPageSize - kEntriesAt;  // 3616
// A node entry is a leaf entry plus a 4-byte child page. Keeping every node
// entry within half a page means any overfull page splits into two that
// fit.
constexpr size_t kMaxLeafEntry = kEntryArea / 2 - 4;
constexpr int kMaxDepth = 32;

uint16_t get16(const Page& p, size_t at) { return uint16_t(p[at] | (p[at + 1] << 8)); }
uint32_t get32(const Page& p, size_t at) {
  return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 |
         uint32_t(p[at + 3]) << 24;
}
void put16(Page& p, size_t at, uint16_t v) {
  p[at] = uint8_t(v);
  p[at + 1] = uint8_t(v >> 8);
}
void put32(Page& p, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[at + i] = uint8_t(v >> (8 * i));
}

using ByteView = std::span<const uint8_t>;

int compareBytes(ByteView a, ByteView b) {
  const size_t n = std::min(a.size(), b.size());
  if (n) {
    const int c = std::memcmp(a.data(), b.data(), n);
    if (c) return c;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

[[noreturn]] void corrupt(uint32_t page, const std::string& what) {
  throw Error(Error::Code::Corrupt,
              "index page " + std::to_string(page) + ": " + what);
}

uint32_t childPage(ByteView nodeEntry) {
  const size_t n = nodeEntry.size();
  return uint32_t(nodeEntry[n - 4]) << 24 | uint32_t(nodeEntry[n - 3]) << 16 |
         uint32_t(nodeEntry[n - 2]) << 8 | uint32_t(nodeEntry[n - 1]);
}

ByteView keyPart(ByteView nodeEntry) { return nodeEntry.first(nodeEntry.size() - 4); }

bool isIndexPage(const Page& p) {
  return (p[0] == kLeafPage || p[0] == kNodePage) && p[1] == 0x01;
}

// An index page by number; a pointer that leads outside the file or to
// another kind of page means the index is damaged.
const Page& indexPage(PageStore& store, uint32_t number) {
  if (number == 0 || number >= store.pageCount())
    corrupt(number, "page number outside the file");
  const Page& p = store.page(number);
  if (!isIndexPage(p)) corrupt(number, "not an index page");
  return p;
}

// Calls visit(entry, start, end) for each entry in page order, the shared
// prefix restored; start and end are offsets in the entry area. Stops when
// visit returns false.
template <class Visit>
void forEachEntry(const Page& p, uint32_t number, Visit&& visit) {
  if (!isIndexPage(p)) corrupt(number, "not an index page");
  const size_t prefixLength = get16(p, kPrefixAt);
  const uint8_t* area = p.data() + kEntriesAt;
  KeyBytes joined;
  size_t start = 0;
  bool first = true;
  for (size_t byte = 0; byte < kMaskBytes; ++byte) {
    unsigned bits = p[kMaskAt + byte];
    while (bits) {
      const size_t end = byte * 8 + size_t(std::countr_zero(bits));
      bits &= bits - 1;
      if (end <= start || end > kEntryArea) corrupt(number, "bad entry mask");
      ByteView entry(area + start, end - start);
      if (first) {
        if (prefixLength > entry.size()) corrupt(number, "prefix longer than entry");
      } else if (prefixLength > 0) {
        joined.assign(area, area + prefixLength);
        joined.insert(joined.end(), area + start, area + end);
        entry = joined;
      }
      first = false;
      if (!visit(entry, start, end)) return;
      start = end;
    }
  }
}

struct IndexPage {
  bool leaf = true;
  uint32_t prev = 0;
  uint32_t next = 0;
  uint32_t tail = 0;
  std::vector<KeyBytes> entries;
};

IndexPage readPage(const Page& p, uint32_t number) {
  IndexPage page;
  page.leaf = p[0] == kLeafPage;
  page.prev = get32(p, kPrevAt);
  page.next = get32(p, kNextAt);
  page.tail = page.leaf ? 0 : get32(p, kTailAt);
  forEachEntry(p, number, [&](ByteView e, size_t, size_t) {
    page.entries.emplace_back(e.begin(), e.end());
    return true;
  });
  if (!page.leaf)
    for (const KeyBytes& e : page.entries)
      if (e.size() <= 4) corrupt(number, "node entry without a key");
  return page;
}

size_t entryBytes(const std::vector<KeyBytes>& entries, size_t from, size_t to) {
  size_t total = 0;
  for (size_t i = from; i < to; ++i) total += entries[i].size();
  return total;
}

// Writes the page without prefix compression.
void writePage(Page& p, const IndexPage& page, uint32_t tdefPage) {
  if (entryBytes(page.entries, 0, page.entries.size()) > kEntryArea)
    throw Error(Error::Code::Corrupt, "index page contents do not fit a page");
  p.fill(0);
  p[0] = page.leaf ? kLeafPage : kNodePage;
  p[1] = 0x01;
  put32(p, kTdefAt, tdefPage);
  put32(p, kPrevAt, page.prev);
  put32(p, kNextAt, page.next);
  put32(p, kTailAt, page.leaf ? 0 : page.tail);
  size_t end = 0;
  for (const KeyBytes& e : page.entries) {
    std::memcpy(p.data() + kEntriesAt + end, e.data(), e.size());
    end += e.size();
    p[kMaskAt + end / 8] |= uint8_t(1u << (end % 8));
  }
  put16(p, kFreeAt, uint16_t(kEntryArea - end));
}

// A child of a node page with the largest leaf entry below it. The last
// child of a node with two or more children is the tail pointer, which has
// no entry, so its largest entry is only known once looked up.
struct Child {
  std::optional<KeyBytes> max;
  uint32_t page = 0;
};

std::vector<Child> childrenOf(const IndexPage& node) {
  std::vector<Child> children;
  children.reserve(node.entries.size() + 1);
  for (const KeyBytes& e : node.entries) {
    const ByteView k = keyPart(e);
    children.push_back({KeyBytes(k.begin(), k.end()), childPage(e)});
  }
  if (node.tail) children.push_back({std::nullopt, node.tail});
  return children;
}

KeyBytes nodeEntry(const KeyBytes& max, uint32_t child) {
  KeyBytes e;
  e.reserve(max.size() + 4);
  e.assign(max.begin(), max.end());
  e.push_back(uint8_t(child >> 24));
  e.push_back(uint8_t(child >> 16));
  e.push_back(uint8_t(child >> 8));
  e.push_back(uint8_t(child));
  return e;
}

// The largest leaf entry under page: follow the last child down.
KeyBytes subtreeMax(PageStore& store, uint32_t page) {
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const Page& p = indexPage(store, page);
    std::optional<KeyBytes> last;
    forEachEntry(p, page, [&](ByteView e, size_t, size_t) {
      last = KeyBytes(e.begin(), e.end());
      return true;
    });
    if (p[0] == kLeafPage) {
      if (!last) corrupt(page, "empty leaf below a node");
      return *last;
    }
    const uint32_t tail = get32(p, kTailAt);
    if (tail) {
      page = tail;
    } else {
      if (!last || last->size() <= 4) corrupt(page, "node without a usable entry");
      page = childPage(*last);
    }
  }
  corrupt(page, "tree deeper than any index");
}

void setPrev(PageStore& store, uint32_t page, uint32_t prev) {
  if (!page) return;
  indexPage(store, page);
  put32(store.modify(page), kPrevAt, prev);
}

// Node page contents for the given children: one entry per child except a
// tail pointer for the last one when there are two or more.
IndexPage nodeFor(PageStore& store, std::vector<Child>& children) {
  IndexPage node;
  node.leaf = false;
  const size_t withEntry = children.size() >= 2 ? children.size() - 1 : children.size();
  for (size_t i = 0; i < withEntry; ++i) {
    Child& c = children[i];
    if (!c.max) c.max = subtreeMax(store, c.page);
    node.entries.push_back(nodeEntry(*c.max, c.page));
  }
  node.tail = children.size() >= 2 ? children.back().page : 0;
  return node;
}

// Where to cut a run of entries so that each piece fits a page. An append to
// the right end of the index leaves the full page as it is; otherwise the
// bytes are shared out evenly.
std::vector<size_t> cutPoints(const std::vector<KeyBytes>& entries, bool appendAtEnd) {
  const size_t total = entryBytes(entries, 0, entries.size());
  std::vector<size_t> cuts;
  if (appendAtEnd && entries.size() >= 2 &&
      total - entries.back().size() <= kEntryArea) {
    cuts.push_back(entries.size() - 1);
    return cuts;
  }
  size_t left = 0;
  size_t best = 0;
  size_t bestScore = SIZE_MAX;
  for (size_t k = 1; k < entries.size(); ++k) {
    left += entries[k - 1].size();
    const size_t right = total - left;
    if (left > kEntryArea) break;
    if (right > kEntryArea) continue;
    const size_t score = left > right ? left - right : right - left;
    if (score < bestScore) bestScore = score, best = k;
  }
  if (best) {
    cuts.push_back(best);
    return cuts;
  }
  // No two pages hold it: pages written by Access share a key prefix between
  // entries, and spelled out in full they may need several.
  size_t used = 0;
  for (size_t k = 0; k < entries.size(); ++k) {
    if (used > 0 && used + entries[k].size() > kEntryArea) {
      cuts.push_back(k);
      used = 0;
    }
    used += entries[k].size();
  }
  return cuts;
}

struct Piece {
  std::optional<KeyBytes> max;
  uint32_t page;
};

// Writes page contents that may be too large for one page, splitting into
// new pages to its right. Returns the pieces left to right; the first keeps
// the page number. For the root, every piece goes to a new page and the root
// becomes a node over them, so the root page never moves.
std::vector<Piece> writeSplitting(PageStore& store, uint32_t tdefPage, uint32_t number,
                                  IndexPage page, const std::vector<Child>* children,
                                  bool isRoot, bool appendAtEnd, BtreeChange& change) {
  if (entryBytes(page.entries, 0, page.entries.size()) <= kEntryArea) {
    writePage(store.modify(number), page, tdefPage);
    std::optional<KeyBytes> max;
    if (page.leaf && !page.entries.empty()) max = page.entries.back();
    if (!page.leaf && children && !children->empty()) max = children->back().max;
    return {{max, number}};
  }

  // Split. Leaves cut their entry list; nodes cut their child list, so each
  // piece gets its own tail pointer.
  std::vector<IndexPage> parts;
  std::vector<std::vector<Child>> partChildren;
  if (page.leaf) {
    const std::vector<size_t> cuts = cutPoints(page.entries, appendAtEnd);
    size_t from = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
      const size_t to = i < cuts.size() ? cuts[i] : page.entries.size();
      IndexPage part;
      part.leaf = true;
      part.entries.assign(std::make_move_iterator(page.entries.begin() + from),
                          std::make_move_iterator(page.entries.begin() + to));
      parts.push_back(std::move(part));
      from = to;
    }
  } else {
    // Cut by the entries each child would need as a non-last child.
    std::vector<Child> all = *children;
    for (Child& c : all)
      if (!c.max) c.max = subtreeMax(store, c.page);
    std::vector<KeyBytes> sized;
    for (const Child& c : all) sized.push_back(nodeEntry(*c.max, c.page));
    const std::vector<size_t> cuts = cutPoints(sized, appendAtEnd);
    size_t from = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
      const size_t to = i < cuts.size() ? cuts[i] : all.size();
      std::vector<Child> group(all.begin() + from, all.begin() + to);
      parts.push_back(nodeFor(store, group));
      partChildren.push_back(std::move(group));
      from = to;
    }
  }

  std::vector<uint32_t> numbers(parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i == 0 && !isRoot) {
      numbers[i] = number;
    } else {
      numbers[i] = store.allocate();
      change.newPages.push_back(numbers[i]);
    }
  }
  const uint32_t oldPrev = isRoot ? 0 : page.prev;
  const uint32_t oldNext = isRoot ? 0 : page.next;
  std::vector<Piece> pieces;
  for (size_t i = 0; i < parts.size(); ++i) {
    parts[i].prev = i == 0 ? oldPrev : numbers[i - 1];
    parts[i].next = i + 1 < parts.size() ? numbers[i + 1] : oldNext;
    writePage(store.modify(numbers[i]), parts[i], tdefPage);
    std::optional<KeyBytes> max;
    if (page.leaf)
      max = parts[i].entries.back();
    else
      max = partChildren[i].back().max;
    pieces.push_back({max, numbers[i]});
  }
  if (oldNext) setPrev(store, oldNext, numbers.back());

  if (isRoot) {
    std::vector<Child> rootChildren;
    for (const Piece& piece : pieces) rootChildren.push_back({piece.max, piece.page});
    IndexPage root = nodeFor(store, rootChildren);
    return writeSplitting(store, tdefPage, number, std::move(root), &rootChildren, true,
                  appendAtEnd, change);
  }
  return pieces;
}

// The entries of one page located from its mask, for binary search without
// copying. Entry i runs from start(i) to ends[i] in the entry area; when the
// page shares a prefix, entries after the first lack it.
// Compares an index entry stored at [start, end) of a page's entry area,
// after the page's shared prefix when it is not the first entry, less its
// last drop bytes (at most its length), with other.
[[gnu::always_inline]] inline int compareStoredEntry(const uint8_t* area, size_t prefix, size_t start,
                                                   size_t end, size_t drop, ByteView other) {
  size_t left = end - start + (start ? prefix : 0) - drop;
  size_t pos = 0;
  auto piece = [&](const uint8_t* data, size_t size) {
    size = std::min(size, left);
    const size_t n = std::min(size, other.size() - pos);
    if (n) {
      const int c = std::memcmp(data, other.data() + pos, n);
      if (c) return c;
    }
    if (n < size) return 1;  // other ran out
    pos += size;
    left -= size;
    return 0;
  };
  if (start && prefix) {
    if (const int c = piece(area, prefix)) return c;
  }
  if (const int c = piece(area + start, end - start)) return c;
  return pos < other.size() ? -1 : 0;
}

struct EntryTable {
  const Page& p;
  size_t prefix = 0;
  size_t count = 0;
  std::array<uint16_t, kEntryArea + 1> ends;

  EntryTable(const Page& page, uint32_t number) : p(page) {
    if (!isIndexPage(p)) corrupt(number, "not an index page");
    prefix = get16(p, kPrefixAt);
    size_t last = 0;
    // Eight mask bytes at a time: most of a page's mask is zero.
    for (size_t byte = 0; byte < kMaskBytes; byte += 8) {
      uint64_t bits = 0;
      const size_t n = std::min<size_t>(8, kMaskBytes - byte);
      for (size_t k = 0; k < n; ++k) bits |= uint64_t(p[kMaskAt + byte + k]) << (8 * k);
      while (bits) {
        const size_t end = byte * 8 + size_t(std::countr_zero(bits));
        bits &= bits - 1;
        if (end <= last || end > kEntryArea) corrupt(number, "bad entry mask");
        ends[count++] = uint16_t(end);
        last = end;
      }
    }
    if (count && prefix > ends[0]) corrupt(number, "prefix longer than entry");
  }
  size_t start(size_t i) const { return i ? ends[i - 1] : 0; }
  size_t used() const { return count ? ends[count - 1] : 0; }
  size_t length(size_t i) const {
    return ends[i] - start(i) + (i && prefix ? prefix : 0);
  }

  // Compares entry i, less its last drop bytes, with other.
  int compare(size_t i, ByteView other, size_t drop) const {
    if (length(i) < drop) return -1;
    return compareStoredEntry(p.data() + kEntriesAt, prefix, start(i), ends[i], drop, other);
  }

  // The first entry (less drop bytes) above other; throws on an equal one.
  size_t upperBound(ByteView other, size_t drop) const {
    size_t lo = 0, hi = count;
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      const int c = compare(mid, other, drop);
      if (c == 0) throw Error(Error::Code::Corrupt, "index entry is already present");
      if (c < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  }

  uint32_t child(size_t i) const {
    const uint8_t* e = p.data() + kEntriesAt + ends[i] - 4;
    return uint32_t(e[0]) << 24 | uint32_t(e[1]) << 16 | uint32_t(e[2]) << 8 | uint32_t(e[3]);
  }
};

// Entries of one page addressed by their offsets in the entry area, read
// straight from the mask: an entry starts at 0 or at the previous entry's
// end bit, and ends at the next set bit. A binary search then decodes only
// the entries it looks at.
struct MaskedEntries {
  const uint8_t* mask;
  const uint8_t* area;
  size_t prefix;
  size_t used = 0;  // the last entry's end; 0 for an empty page

  MaskedEntries(const Page& p, uint32_t number)
      : mask(p.data() + kMaskAt), area(p.data() + kEntriesAt), prefix(get16(p, kPrefixAt)) {
    if (!isIndexPage(p)) corrupt(number, "not an index page");
    // An end bit at 0 closes an empty entry; bits past the entry area
    // point outside the page.
    if ((mask[0] & 1) || (mask[kMaskBytes - 1] >> (kEntryArea % 8 + 1)))
      corrupt(number, "bad entry mask");
    used = lastBit(kEntryArea - std::min<size_t>(get16(p, kFreeAt), kEntryArea));
    if (used && prefix > endAfter(0)) corrupt(number, "prefix longer than entry");
  }

  // The highest set bit of the mask, 0 when none. The free-space field
  // names it on a sound page; the mask decides.
  size_t lastBit(size_t hint) const {
    static constexpr std::array<uint8_t, kMaskBytes> kZeros{};
    const size_t after = hint / 8 + 1;
    if ((hint == 0 || (mask[hint / 8] >> (hint % 8) & 1)) && !(mask[hint / 8] >> (hint % 8) >> 1) &&
        std::memcmp(mask + after, kZeros.data(), kMaskBytes - after) == 0)
      return hint;
    size_t byte = kMaskBytes;
    while (byte > 0 && mask[byte - 1] == 0) --byte;
    if (byte == 0) return 0;
    return (byte - 1) * 8 + size_t(31 - std::countl_zero(unsigned(mask[byte - 1])));
  }

  // The start of the entry holding offset at (at < used).
  [[gnu::always_inline]] size_t startAtOrBefore(size_t at) const {
    size_t byte = at / 8;
    unsigned bits = mask[byte] & ((2u << (at % 8)) - 1);
    while (!bits && byte > 0) bits = mask[--byte];
    return bits ? byte * 8 + size_t(31 - std::countl_zero(bits)) : 0;
  }
  // The end of the entry starting at start (start < used).
  [[gnu::always_inline]] size_t endAfter(size_t start) const {
    size_t byte = (start + 1) / 8;
    unsigned bits = mask[byte] & ~((1u << ((start + 1) % 8)) - 1);
    while (!bits) bits = mask[++byte];
    return byte * 8 + size_t(std::countr_zero(bits));
  }
  // An entry's length with the shared prefix restored.
  size_t length(size_t start, size_t end) const {
    return end - start + (start ? prefix : 0);
  }
  // Compares the entry from start to end, less its last drop bytes (at
  // most its length), with other.
  [[gnu::always_inline]] int compare(size_t start, size_t end, ByteView other, size_t drop) const {
    if (start == 0 || prefix == 0) {
      // No shared prefix to put in front: one comparison of short keys,
      // which a loop does faster than a library call.
      const uint8_t* a = area + start;
      const size_t size = end - start - drop;
      const size_t n = std::min(size, other.size());
      if (n <= 16) {
        for (size_t i = 0; i < n; ++i)
          if (a[i] != other[i]) return a[i] < other[i] ? -1 : 1;
      } else if (const int c = std::memcmp(a, other.data(), n)) {
        return c;
      }
      return size < other.size() ? -1 : (size > other.size() ? 1 : 0);
    }
    return compareStoredEntry(area, prefix, start, end, drop, other);
  }
  // The start of the first entry (less its last drop bytes) not below
  // other; used when there is none. Inserts mostly come in runs below or
  // above the entries already there, so the ends are tried first.
  // checkEntry sees each entry looked at before it is compared.
  template <class Check>
  size_t lowerBound(ByteView other, size_t drop, Check&& checkEntry) const {
    if (used == 0) return 0;
    auto below = [&](size_t start, size_t end) {
      checkEntry(start, end);
      return compare(start, end, other, drop) < 0;
    };
    size_t lo = 0, hi = used;
    const size_t firstEnd = endAfter(0);
    if (!below(0, firstEnd)) return 0;
    lo = firstEnd;
    if (lo == used) return used;
    const size_t lastStart = startAtOrBefore(used - 1);
    if (below(lastStart, used)) return used;
    hi = lastStart;
    while (lo < hi) {
      const size_t at = startAtOrBefore((lo + hi) / 2);
      const size_t end = endAfter(at);
      if (below(at, end))
        lo = end;
      else
        hi = at;
    }
    return lo;
  }

  // The child page in the last 4 bytes of a node entry (longer than 4).
  uint32_t child(size_t start, size_t end) const {
    uint8_t e[4];
    if (end - start >= 4 || !start || !prefix) {
      std::memcpy(e, area + end - 4, 4);
    } else {
      // A short entry whose page number begins in the shared prefix.
      const size_t total = length(start, end);
      for (size_t k = 0; k < 4; ++k) {
        const size_t j = total - 4 + k;
        e[k] = j < prefix ? area[j] : area[start + j - prefix];
      }
    }
    return uint32_t(e[0]) << 24 | uint32_t(e[1]) << 16 | uint32_t(e[2]) << 8 | uint32_t(e[3]);
  }
};

// The end of a page's entries and its last entry, read from the free-space
// field and checked against the mask, without walking the other entries.
// Returns false when the page does not allow the shortcut.
bool lastEntry(const Page& p, size_t& used, ByteView& last, KeyBytes& buffer) {
  const size_t free = get16(p, kFreeAt);
  if (free > kEntryArea) return false;
  used = kEntryArea - free;
  // The end bit must be set and nothing may follow it.
  if (used > 0 && !(p[kMaskAt + used / 8] >> (used % 8) & 1)) return false;
  if (p[kMaskAt + used / 8] >> (used % 8) >> 1) return false;
  static constexpr std::array<uint8_t, kMaskBytes> kZeros{};
  const size_t after = used / 8 + 1;
  if (std::memcmp(p.data() + kMaskAt + after, kZeros.data(), kMaskBytes - after) != 0)
    return false;
  if (used == 0) {
    last = {};
    return true;
  }
  size_t start = 0;  // the previous entry's end bit, if any
  {
    // The highest set bit below used, a mask byte at a time.
    size_t byte = used / 8;
    unsigned bits = p[kMaskAt + byte] & ((1u << (used % 8)) - 1);
    while (!bits && byte > 0) bits = p[kMaskAt + --byte];
    if (bits) start = byte * 8 + size_t(31 - std::countl_zero(bits));
  }
  const uint8_t* area = p.data() + kEntriesAt;
  const size_t prefix = get16(p, kPrefixAt);
  if (start == 0 || prefix == 0) {
    if (used - start < (start == 0 ? prefix : 0)) return false;
    last = ByteView(area + start, used - start);
  } else {
    buffer.assign(area, area + prefix);
    buffer.insert(buffer.end(), area + start, area + used);
    last = buffer;
  }
  return true;
}

// Descends to the leaf where entry belongs without copying pages. Returns
// false when a node has no tail and entry is past its last entry (the
// node's entry must then grow, which the general path handles).
bool findLeaf(PageStore& store, uint32_t root, ByteView entry, bool& rightEdge,
              uint32_t& leaf) {
  uint32_t page = root;
  rightEdge = true;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const Page& p = indexPage(store, page);
    if (p[0] == kLeafPage) {
      leaf = page;
      return true;
    }
    // Keys that grow go past the last entry to the tail: the search tries
    // the last entry first.
    const MaskedEntries entries(p, page);
    const auto keyed = [&](size_t start, size_t end) {
      if (entries.length(start, end) <= 4) corrupt(page, "node entry without a key");
    };
    const size_t at = entries.lowerBound(entry, 4, keyed);
    uint32_t child;
    if (at < entries.used) {
      const size_t end = entries.endAfter(at);
      if (entries.compare(at, end, entry, 4) == 0)
        throw Error(Error::Code::Corrupt, "index entry is already present");
      child = entries.child(at, end);
      rightEdge = false;
    } else {
      child = get32(p, kTailAt);
    }
    if (child == 0) return false;
    page = child;
  }
  corrupt(root, "tree deeper than any index");
}

// Whether two leaf entries hold the same key (row pointers aside).
bool sameKey(ByteView a, ByteView b) {
  return a.size() == b.size() && a.size() >= 4 &&
         std::memcmp(a.data(), b.data(), a.size() - 4) == 0;
}

// Inserts into a leaf in place when the entry fits and no node entry has to
// change. Returns false to leave the work to the general path.
// Sets newKey to whether no other entry has the entry's key. When only a
// neighbouring page could tell, leaves the insert to the general path.
bool insertInPlace(PageStore& store, uint32_t leaf, ByteView entry, bool rightEdge,
                   std::optional<bool>& newKey) {
  const Page& p = indexPage(store, leaf);
  if (get16(p, kPrefixAt) != 0) return false;
  size_t end;
  ByteView last;
  KeyBytes buffer;
  if (lastEntry(p, end, last, buffer) && end + entry.size() <= kEntryArea &&
      (end == 0 || compareBytes(last, entry) < 0)) {
    // A new largest entry changes what the parents record, unless every
    // parent reaches this leaf through its tail pointer.
    if (!rightEdge) return false;
    if (end > 0 && sameKey(last, entry))
      newKey = false;
    else if (end > 0 || get32(p, kPrevAt) == 0)
      newKey = true;
    else
      return false;
    const size_t newEnd = end + entry.size();
    const size_t maskByte = kMaskAt + newEnd / 8;
    const uint16_t free = uint16_t(kEntryArea - newEnd);
    if (typeid(store) == typeid(Pager)) {
      // Only the header up to the changed mask byte and the new entry's
      // bytes change: saving just them for undo is far cheaper than copying
      // the whole page into the journal on every row.
      Pager& pager = static_cast<Pager&>(store);
      uint8_t* w = pager.modifyRange(leaf, uint32_t(kEntriesAt + end), uint32_t(entry.size()));
      std::memcpy(w + kEntriesAt + end, entry.data(), entry.size());
      w = pager.modifyRange(leaf, uint32_t(kFreeAt), uint32_t(maskByte + 1 - kFreeAt));
      w[maskByte] |= uint8_t(1u << (newEnd % 8));
      w[kFreeAt] = uint8_t(free);
      w[kFreeAt + 1] = uint8_t(free >> 8);
      return true;
    }
    Page& w = store.modify(leaf);
    std::memcpy(w.data() + kEntriesAt + end, entry.data(), entry.size());
    w[maskByte] |= uint8_t(1u << (newEnd % 8));
    put16(w, kFreeAt, free);
    return true;
  }
  const EntryTable table(p, leaf);
  const size_t used = table.used();
  if (used + entry.size() > kEntryArea) return false;
  const size_t i = table.upperBound(entry, 0);
  if (i == table.count && !rightEdge) return false;
  const ByteView key = entry.first(entry.size() - 4);
  const auto holdsKey = [&](size_t k) { return table.compare(k, key, 4) == 0; };
  if ((i > 0 && holdsKey(i - 1)) || (i < table.count && holdsKey(i)))
    newKey = false;
  else if ((i > 0 || get32(p, kPrevAt) == 0) &&
           (i < table.count || get32(p, kNextAt) == 0))
    newKey = true;
  else
    return false;

  const size_t at = table.start(i);
  Page& w = store.modify(leaf);
  uint8_t* area = w.data() + kEntriesAt;
  std::memmove(area + at + entry.size(), area + at, used - at);
  std::memcpy(area + at, entry.data(), entry.size());
  for (size_t k = i; k < table.count; ++k) {
    const size_t end = table.ends[k];
    w[kMaskAt + end / 8] &= uint8_t(~(1u << (end % 8)));
  }
  for (size_t k = i; k < table.count; ++k) {
    const size_t moved = table.ends[k] + entry.size();
    w[kMaskAt + moved / 8] |= uint8_t(1u << (moved % 8));
  }
  const size_t newEnd = at + entry.size();
  w[kMaskAt + newEnd / 8] |= uint8_t(1u << (newEnd % 8));
  put16(w, kFreeAt, uint16_t(kEntryArea - used - entry.size()));
  return true;
}

struct GeneralStep {
  uint32_t page;
  IndexPage node;
  std::vector<Child> children;
  size_t pos;  // index of the child taken
};

void insertGeneral(PageStore& store, uint32_t tdefPage, uint32_t root,
                   ByteView entry, BtreeChange& change) {
  std::vector<GeneralStep> path;
  uint32_t page = root;
  IndexPage current;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) corrupt(root, "tree deeper than any index");
    current = readPage(indexPage(store, page), page);
    if (current.leaf) break;
    std::vector<Child> children = childrenOf(current);
    if (children.empty()) corrupt(page, "node without children");
    size_t pos = children.size() - 1;
    for (size_t i = 0; i < children.size(); ++i) {
      if (!children[i].max) continue;
      const int c = compareBytes(*children[i].max, entry);
      if (c == 0) throw Error(Error::Code::Corrupt, "index entry is already present");
      if (c > 0) {
        pos = i;
        break;
      }
    }
    const uint32_t child = children[pos].page;
    path.push_back({page, std::move(current), std::move(children), pos});
    page = child;
  }

  // Leaf.
  auto it = std::lower_bound(current.entries.begin(), current.entries.end(), entry,
                             [](const KeyBytes& a, ByteView b) { return compareBytes(a, b) < 0; });
  if (it != current.entries.end() && compareBytes(*it, entry) == 0)
    throw Error(Error::Code::Corrupt, "index entry is already present");
  const bool atEnd = it == current.entries.end();
  const bool atStart = it == current.entries.begin();
  if ((!atStart && sameKey(*(it - 1), entry)) || (!atEnd && sameKey(*it, entry)))
    change.newKey = false;
  else if ((!atStart || current.prev == 0) && (!atEnd || current.next == 0))
    change.newKey = true;
  else
    change.newKey = !btreeContainsKey(store, root, entry.first(entry.size() - 4));
  current.entries.insert(it, KeyBytes(entry.begin(), entry.end()));
  bool rightEdge = current.next == 0;
  std::vector<Piece> pieces = writeSplitting(store, tdefPage, page, std::move(current),
                                             nullptr, path.empty(), atEnd && rightEdge, change);
  bool maxChanged = atEnd;

  // Up the path: replace the child by its pieces and rewrite the node when
  // what it records changed.
  for (size_t level = path.size(); level-- > 0;) {
    GeneralStep& step = path[level];
    const bool wasLast = step.pos + 1 == step.children.size();
    // Whether the node holds an entry for the child (it does for every child
    // but a tail pointer).
    const bool recorded = !(wasLast && step.node.tail != 0);
    if (pieces.size() == 1 && (!maxChanged || !recorded)) {
      if (!maxChanged || !wasLast) return;
      // The tail grew: this node is unchanged, but its largest entry is new
      // and an ancestor may record it.
      pieces = {{KeyBytes(entry.begin(), entry.end()), step.page}};
      continue;
    }
    std::vector<Child> replacement;
    for (const Piece& piece : pieces) replacement.push_back({piece.max, piece.page});
    step.children.erase(step.children.begin() + step.pos);
    step.children.insert(step.children.begin() + step.pos, replacement.begin(),
                         replacement.end());
    IndexPage node = nodeFor(store, step.children);
    node.prev = step.node.prev;
    node.next = step.node.next;
    const bool isRoot = level == 0;
    rightEdge = rightEdge && node.next == 0;
    pieces = writeSplitting(store, tdefPage, step.page, std::move(node), &step.children,
                            isRoot, wasLast && maxChanged && rightEdge, change);
    maxChanged = maxChanged && wasLast;
  }
}

// Follows tail pointers from the root down to the rightmost leaf and notes
// what an append there needs. Notes no leaf when the right edge has a node
// without a tail or a leaf the append path does not take as it is (pages
// written by Access may share key prefixes); the next split looks again.
void learnTail(PageStore& store, uint32_t root, BtreeTail& tail) {
  tail.root = root;
  tail.leaf = 0;
  uint32_t page = root;
  uint32_t parent = 0;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const Page& p = indexPage(store, page);
    if (p[0] == kLeafPage) {
      if (get16(p, kPrefixAt) != 0 || get32(p, kNextAt) != 0) return;
      size_t used;
      ByteView last;
      KeyBytes buffer;
      if (!lastEntry(p, used, last, buffer)) return;
      tail.leaf = page;
      tail.parent = parent;
      tail.used = uint32_t(used);
      tail.last.assign(last.begin(), last.end());
      return;
    }
    const uint32_t next = get32(p, kTailAt);
    if (next == 0) return;
    parent = page;
    page = next;
  }
}

// The leaf full and the entry going after all others: the general path
// would keep the leaf's entries where they are, put the entry alone on a new
// page to its right, and give the parent an entry for the old leaf with the
// new page as its tail. Done here without taking the leaf apart. Returns
// false, with nothing changed, when the parent would have to split.
bool splitAtTail(PageStore& store, uint32_t tdefPage, ByteView entry, BtreeTail& tail,
                 BtreeChange& change) {
  if (tail.parent == 0 || tail.used == 0) return false;
  IndexPage node = readPage(indexPage(store, tail.parent), tail.parent);
  if (node.leaf || node.tail != tail.leaf) return false;
  KeyBytes recorded = nodeEntry(tail.last, tail.leaf);
  if (entryBytes(node.entries, 0, node.entries.size()) + recorded.size() > kEntryArea)
    return false;
  // The leaf as the general path would write it back: its entries and their
  // end bits, every other byte cleared.
  const Page& p = store.page(tail.leaf);
  const EntryTable table(p, tail.leaf);
  if (table.used() != tail.used) return false;
  Page rewritten{};
  rewritten[0] = kLeafPage;
  rewritten[1] = 0x01;
  put32(rewritten, kTdefAt, tdefPage);
  put32(rewritten, kPrevAt, get32(p, kPrevAt));
  std::memcpy(rewritten.data() + kEntriesAt, p.data() + kEntriesAt, tail.used);
  for (size_t i = 0; i < table.count; ++i)
    rewritten[kMaskAt + table.ends[i] / 8] |= uint8_t(1u << (table.ends[i] % 8));
  put16(rewritten, kFreeAt, uint16_t(kEntryArea - tail.used));

  const uint32_t fresh = store.allocate();
  change.newPages.push_back(fresh);
  put32(rewritten, kNextAt, fresh);
  store.modify(tail.leaf) = rewritten;
  IndexPage right;
  right.prev = tail.leaf;
  right.entries.emplace_back(entry.begin(), entry.end());
  writePage(store.modify(fresh), right, tdefPage);
  node.entries.push_back(std::move(recorded));
  node.tail = fresh;
  writePage(store.modify(tail.parent), node, tdefPage);

  tail.leaf = fresh;
  tail.used = uint32_t(entry.size());
  tail.last.assign(entry.begin(), entry.end());
  return true;
}

// Appends an entry above every other one to the rightmost leaf that tail
// describes. Returns false, with nothing changed, when tail no longer
// matches the leaf or the entry does not sort last.
bool appendAtTail(PageStore& store, uint32_t tdefPage, ByteView entry, BtreeTail& tail,
                  BtreeChange& change) {
  // Something else changed the leaf: learn the right end again next time.
  const auto stale = [&] {
    tail.root = 0;
    return false;
  };
  if (tail.leaf == 0) return false;
  if (tail.leaf >= store.pageCount()) return stale();
  const Page& p = store.page(tail.leaf);
  const size_t used = tail.used;
  if (p[0] != kLeafPage || p[1] != 0x01 || get16(p, kFreeAt) != kEntryArea - used ||
      get16(p, kPrefixAt) != 0 || get32(p, kNextAt) != 0)
    return stale();
  if (used > 0) {
    if (!(p[kMaskAt + used / 8] >> (used % 8) & 1)) return stale();
    if (compareBytes(tail.last, entry) >= 0) return false;
    change.newKey = !sameKey(tail.last, entry);
  } else {
    // An empty leaf with a left neighbour cannot tell whether the key is new.
    if (get32(p, kPrevAt) != 0) return false;
    change.newKey = true;
  }
  const size_t newEnd = used + entry.size();
  if (newEnd > kEntryArea) return splitAtTail(store, tdefPage, entry, tail, change);
  const size_t maskByte = kMaskAt + newEnd / 8;
  const uint16_t free = uint16_t(kEntryArea - newEnd);
  if (typeid(store) == typeid(Pager)) {
    // Only the header up to the changed mask byte and the new entry's bytes
    // change; saving just them for undo spares copying the whole page.
    Pager& pager = static_cast<Pager&>(store);
    uint8_t* w = pager.modifyRange(tail.leaf, uint32_t(kEntriesAt + used), uint32_t(entry.size()));
    std::memcpy(w + kEntriesAt + used, entry.data(), entry.size());
    w = pager.modifyRange(tail.leaf, uint32_t(kFreeAt), uint32_t(maskByte + 1 - kFreeAt));
    w[maskByte] |= uint8_t(1u << (newEnd % 8));
    w[kFreeAt] = uint8_t(free);
    w[kFreeAt + 1] = uint8_t(free >> 8);
  } else {
    Page& w = store.modify(tail.leaf);
    std::memcpy(w.data() + kEntriesAt + used, entry.data(), entry.size());
    w[maskByte] |= uint8_t(1u << (newEnd % 8));
    put16(w, kFreeAt, free);
  }
  tail.used = uint32_t(newEnd);
  tail.last.assign(entry.begin(), entry.end());
  return true;
}

void collect(PageStore& store, uint32_t page, int depth, std::vector<KeyBytes>& out) {
  if (depth >= kMaxDepth) corrupt(page, "tree deeper than any index");
  const IndexPage p = readPage(indexPage(store, page), page);
  if (p.leaf) {
    out.insert(out.end(), p.entries.begin(), p.entries.end());
    return;
  }
  for (const KeyBytes& e : p.entries) collect(store, childPage(e), depth + 1, out);
  if (p.tail) collect(store, p.tail, depth + 1, out);
}

}  // namespace

uint32_t btreeCreateRoot(PageStore& store, uint32_t tdefPage) {
  const uint32_t number = store.allocate();
  writePage(store.modify(number), IndexPage{}, tdefPage);
  return number;
}

namespace {

void checkEntrySize(std::span<const uint8_t> leafEntry) {
  if (leafEntry.size() < 5)
    throw Error(Error::Code::InvalidValue, "index entry too short");
  if (leafEntry.size() > kMaxLeafEntry)
    throw Error(Error::Code::InvalidValue,
                "index key too long (" + std::to_string(leafEntry.size() - 4) +
                    " bytes; at most " + std::to_string(kMaxLeafEntry - 4) + ")");
}

}  // namespace

BtreeChange btreeInsert(PageStore& store, uint32_t tdefPage, uint32_t root,
                        std::span<const uint8_t> leafEntry) {
  checkEntrySize(leafEntry);
  BtreeChange change;
  change.root = root;
  uint32_t leaf = 0;
  bool rightEdge = true;
  std::optional<bool> newKey;
  if (findLeaf(store, root, leafEntry, rightEdge, leaf) &&
      insertInPlace(store, leaf, leafEntry, rightEdge, newKey)) {
    change.newKey = *newKey;
    return change;
  }
  insertGeneral(store, tdefPage, root, leafEntry, change);
  return change;
}

BtreeChange btreeInsert(PageStore& store, uint32_t tdefPage, uint32_t root,
                        std::span<const uint8_t> leafEntry, BtreeTail& tail) {
  checkEntrySize(leafEntry);
  if (tail.root != root) {
    try {
      learnTail(store, root, tail);
    } catch (const Error&) {
      // A damaged right edge: the descent below reports it if the entry
      // goes that way.
      tail.leaf = 0;
    }
  }
  if (tail.root == root) {
    BtreeChange change;
    change.root = root;
    if (appendAtTail(store, tdefPage, leafEntry, tail, change)) return change;
  }
  BtreeChange change = btreeInsert(store, tdefPage, root, leafEntry);
  // Pages that split, or a new entry on the rightmost leaf, leave tail
  // stale; it is learnt again on the next insert.
  if (!change.newPages.empty() ||
      (tail.root == root && tail.leaf != 0 && tail.leaf < store.pageCount() &&
       get16(store.page(tail.leaf), kFreeAt) != kEntryArea - tail.used))
    tail.root = 0;
  return change;
}

namespace {

// Pages of one level of a bulk build, written left to right with their
// prev/next links; each page's entries are [from, to) of the level's list.
void writeLevel(PageStore& store, uint32_t tdefPage, bool leaf,
                const std::vector<KeyBytes>* nodeEntries, const BtreeEntryAt* leafEntries,
                const std::vector<std::pair<size_t, size_t>>& groups,
                const std::vector<uint32_t>& tails, std::vector<uint32_t>& numbers,
                BtreeBuilt& built) {
  numbers.clear();
  for (size_t g = 0; g < groups.size(); ++g) {
    numbers.push_back(store.allocate());
    built.pages.push_back(numbers.back());
  }
  // Runs of consecutive pages are stored together.
  std::vector<Page> run;
  run.reserve(std::min<size_t>(groups.size(), 64));
  uint32_t runFirst = 0;
  auto flush = [&] {
    if (!run.empty()) store.writeNew(runFirst, run.data(), run.size());
    run.clear();
  };
  for (size_t g = 0; g < groups.size(); ++g) {
    if (!run.empty() && (run.size() == 64 || numbers[g] != runFirst + run.size())) flush();
    if (run.empty()) runFirst = numbers[g];
    Page& p = run.emplace_back();
    p.fill(0);
    p[0] = leaf ? kLeafPage : kNodePage;
    p[1] = 0x01;
    put32(p, kTdefAt, tdefPage);
    put32(p, kPrevAt, g ? numbers[g - 1] : 0);
    put32(p, kNextAt, g + 1 < groups.size() ? numbers[g + 1] : 0);
    put32(p, kTailAt, leaf ? 0 : tails[g]);
    size_t end = 0;
    for (size_t i = groups[g].first; i < groups[g].second; ++i) {
      const ByteView e = leaf ? (*leafEntries)(i) : ByteView((*nodeEntries)[i]);
      std::memcpy(p.data() + kEntriesAt + end, e.data(), e.size());
      end += e.size();
      p[kMaskAt + end / 8] |= uint8_t(1u << (end % 8));
    }
    put16(p, kFreeAt, uint16_t(kEntryArea - end));
  }
  flush();
}

}  // namespace

BtreeBuilt btreeBuild(PageStore& store, uint32_t tdefPage,
                      std::span<const std::span<const uint8_t>> sortedEntries) {
  return btreeBuild(store, tdefPage, sortedEntries.size(), [&](size_t i) { return sortedEntries[i]; });
}

BtreeBuilt btreeBuild(PageStore& store, uint32_t tdefPage, size_t count, const BtreeEntryAt& entryAt) {
  BtreeBuilt built;
  if (count == 0) {
    built.root = btreeCreateRoot(store, tdefPage);
    built.pages.push_back(built.root);
    return built;
  }
  // Leaves, each as full as the entries allow.
  std::vector<std::pair<size_t, size_t>> groups;
  size_t from = 0, used = 0;
  for (size_t i = 0; i < count; ++i) {
    const ByteView e = entryAt(i);
    checkEntrySize(e);
    if (used + e.size() > kEntryArea) {
      groups.emplace_back(from, i);
      from = i;
      used = 0;
    }
    used += e.size();
  }
  groups.emplace_back(from, count);
  std::vector<uint32_t> numbers;
  writeLevel(store, tdefPage, true, nullptr, &entryAt, groups, {}, numbers, built);
  // What each page of the level below holds last, and its number.
  std::vector<Child> level;
  for (size_t g = 0; g < groups.size(); ++g) {
    const ByteView last = entryAt(groups[g].second - 1);
    level.push_back({KeyBytes(last.begin(), last.end()), numbers[g]});
  }
  while (level.size() > 1) {
    // A node gives every child but its last an entry; the last is its tail
    // pointer (a lone child gets an entry and no tail), as inserts do.
    std::vector<KeyBytes> entries;
    std::vector<std::pair<size_t, size_t>> nodeGroups;
    std::vector<uint32_t> tails;
    std::vector<Child> above;
    size_t first = 0;
    used = 0;
    auto close = [&](size_t end) {
      // Children [first, end): entries for all but the last.
      const size_t withEntry = end - first >= 2 ? end - 1 : end;
      const size_t begin = entries.size();
      for (size_t c = first; c < withEntry; ++c) entries.push_back(nodeEntry(*level[c].max, level[c].page));
      nodeGroups.emplace_back(begin, entries.size());
      tails.push_back(end - first >= 2 ? level[end - 1].page : 0);
      above.push_back({level[end - 1].max, 0});
      first = end;
      used = 0;
    };
    for (size_t c = first; c < level.size(); ++c) {
      // Taking child c means its predecessor in the node needs an entry.
      if (c > first) {
        const size_t need = level[c - 1].max->size() + 4;
        if (used + need > kEntryArea) {
          close(c);
          continue;
        }
        used += need;
      }
    }
    close(level.size());
    writeLevel(store, tdefPage, false, &entries, nullptr, nodeGroups, tails, numbers, built);
    for (size_t g = 0; g < above.size(); ++g) above[g].page = numbers[g];
    level = std::move(above);
  }
  built.root = level.front().page;
  return built;
}

bool btreeContainsKey(PageStore& store, uint32_t root, std::span<const uint8_t> key) {
  // Find the first entry not below key, then look through the entries that
  // start with it for one that is exactly key plus a row pointer.
  uint32_t page = root;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) corrupt(root, "tree deeper than any index");
    const Page& p = indexPage(store, page);
    if (p[0] == kLeafPage) break;
    const MaskedEntries entries(p, page);
    if (entries.used == 0) {
      const uint32_t tail = get32(p, kTailAt);
      if (!tail) return false;
      page = tail;
      continue;
    }
    // Node entries record their child's largest leaf entry, so their keys
    // ascend like the leaves below them.
    const auto keyed = [&](size_t start, size_t end) {
      if (entries.length(start, end) <= 4) corrupt(page, "node entry without a key");
    };
    const size_t lo = entries.lowerBound(key, 4, keyed);
    uint32_t child;
    if (lo < entries.used) {
      child = entries.child(lo, entries.endAfter(lo));
    } else {
      child = get32(p, kTailAt);
      if (!child) {
        const size_t last = entries.startAtOrBefore(entries.used - 1);
        if (entries.length(last, entries.used) <= 4) corrupt(page, "node entry without a key");
        child = entries.child(last, entries.used);
      }
    }
    page = child;
  }
  for (int hops = 0; page != 0; ++hops) {
    if (hops > int(store.pageCount())) corrupt(page, "leaf chain does not end");
    const Page& p = indexPage(store, page);
    if (p[0] != kLeafPage) corrupt(page, "not an index leaf");
    const MaskedEntries entries(p, page);
    const size_t lo = entries.lowerBound(key, 0, [](size_t, size_t) {});
    // Entries that start with key sort together from here, and may go on
    // to the next leaf.
    for (size_t at = lo; at < entries.used;) {
      const size_t end = entries.endAfter(at);
      const size_t length = entries.length(at, end);
      if (length < key.size() || entries.compare(at, end, key, length - key.size()) != 0)
        return false;
      if (length == key.size() + 4) return true;
      at = end;
    }
    page = get32(p, kNextAt);
  }
  return false;
}

bool btreeLastEntry(PageStore& store, uint32_t root, KeyBytes& entry) {
  uint32_t page = root;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) corrupt(root, "tree deeper than any index");
    const Page& p = indexPage(store, page);
    const bool leaf = p[0] == kLeafPage;
    if (!leaf && get32(p, kTailAt)) {
      page = get32(p, kTailAt);
      continue;
    }
    // A leaf with a right neighbour is not the right edge.
    if (leaf && get32(p, kNextAt)) corrupt(page, "rightmost leaf has a next page");
    const MaskedEntries entries(p, page);
    if (entries.used == 0) {
      if (page != root) corrupt(page, "empty page below a node");
      entry.clear();
      return false;
    }
    const size_t start = entries.startAtOrBefore(entries.used - 1);
    const size_t length = entries.length(start, entries.used);
    if (leaf) {
      entry.clear();
      if (start && entries.prefix) entry.assign(entries.area, entries.area + entries.prefix);
      entry.insert(entry.end(), entries.area + start, entries.area + entries.used);
      return true;
    }
    if (length <= 4) corrupt(page, "node entry without a key");
    page = entries.child(start, entries.used);
  }
}

std::vector<KeyBytes> btreeLeafEntries(PageStore& store, uint32_t root) {
  std::vector<KeyBytes> out;
  collect(store, root, 0, out);
  return out;
}

namespace {

struct Checker {
  PageStore& store;
  uint32_t tdefPage;
  std::vector<std::string> problems;
  std::set<uint32_t> seen;
  std::map<int, std::vector<uint32_t>> levels;
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> links;  // page -> prev, next
  int leafDepth = -1;
  std::optional<KeyBytes> lastLeafEntry;

  void problem(uint32_t page, const std::string& what) {
    problems.push_back("index page " + std::to_string(page) + ": " + what);
  }

  // Returns the largest leaf entry under page, if it could be read.
  std::optional<KeyBytes> visit(uint32_t page, int depth) {
    if (depth >= kMaxDepth) {
      problem(page, "tree deeper than any index");
      return std::nullopt;
    }
    if (page == 0 || page >= store.pageCount()) {
      problem(page, "page number outside the file");
      return std::nullopt;
    }
    if (!seen.insert(page).second) {
      problem(page, "reached twice");
      return std::nullopt;
    }
    const Page& p = store.page(page);
    if (!isIndexPage(p)) {
      problem(page, "not an index page");
      return std::nullopt;
    }
    if (get32(p, kTdefAt) != tdefPage)
      problem(page, "owned by table " + std::to_string(get32(p, kTdefAt)));
    IndexPage content;
    size_t storedEnd = 0;
    try {
      content = readPage(p, page);
      forEachEntry(p, page, [&](ByteView, size_t, size_t end) {
        storedEnd = end;
        return true;
      });
    } catch (const Error& e) {
      problems.push_back(e.what());
      return std::nullopt;
    }
    if (get16(p, kFreeAt) != kEntryArea - storedEnd)
      problem(page, "free space " + std::to_string(get16(p, kFreeAt)) +
                        " but entries end at " + std::to_string(storedEnd));
    for (size_t i = 1; i < content.entries.size(); ++i)
      if (compareBytes(content.entries[i - 1], content.entries[i]) >= 0)
        problem(page, "entries out of order at " + std::to_string(i));
    levels[depth].push_back(page);
    links[page] = {content.prev, content.next};

    if (content.leaf) {
      if (get32(p, kTailAt) != 0) problem(page, "leaf with a tail pointer");
      if (leafDepth < 0) leafDepth = depth;
      if (leafDepth != depth) problem(page, "leaves at different depths");
      if (content.entries.empty()) {
        if (depth > 0) problem(page, "empty leaf below a node");
        return std::nullopt;
      }
      if (lastLeafEntry && compareBytes(*lastLeafEntry, content.entries.front()) >= 0)
        problem(page, "first entry not above the previous leaf's last");
      lastLeafEntry = content.entries.back();
      return content.entries.back();
    }

    if (content.entries.empty()) problem(page, "node without entries");
    std::optional<KeyBytes> max;
    for (const KeyBytes& e : content.entries) {
      max = visit(childPage(e), depth + 1);
      const ByteView k = keyPart(e);
      if (max && compareBytes(*max, k) != 0)
        problem(page, "entry for child " + std::to_string(childPage(e)) +
                          " differs from the child's last entry");
      max = KeyBytes(k.begin(), k.end());
    }
    if (content.tail) max = visit(content.tail, depth + 1);
    return max;
  }

  void checkLinks() {
    for (const auto& [depth, pages] : levels) {
      for (size_t i = 0; i < pages.size(); ++i) {
        const auto [prev, next] = links[pages[i]];
        const uint32_t wantPrev = i ? pages[i - 1] : 0;
        const uint32_t wantNext = i + 1 < pages.size() ? pages[i + 1] : 0;
        if (prev != wantPrev)
          problem(pages[i], "prev is " + std::to_string(prev) + ", expected " +
                                std::to_string(wantPrev));
        if (next != wantNext)
          problem(pages[i], "next is " + std::to_string(next) + ", expected " +
                                std::to_string(wantNext));
      }
    }
  }
};

}  // namespace

std::vector<std::string> btreeCheck(PageStore& store, uint32_t root, uint32_t tdefPage) {
  Checker checker{store, tdefPage, {}, {}, {}, {}, -1, std::nullopt};
  checker.visit(root, 0);
  checker.checkLinks();
  return checker.problems;
}

}  // namespace jet
