#include "jet/index_entries.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace jet {
namespace {

int compareBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return c ? c : (a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0));
}

// Makes a block's pages present in one call, as large pages where the
// system grants them on request: faulting them in one at a time as the
// block fills costs more than filling it, above all in a virtual machine.
// Either call may be refused; the block then fills as usual.
void prefault(const void* data, size_t bytes) {
  const uintptr_t begin = (uintptr_t(data) + 4095) & ~uintptr_t(4095);
  const uintptr_t end = (uintptr_t(data) + bytes) & ~uintptr_t(4095);
  if (end <= begin) return;
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

}  // namespace

IndexEntries::IndexEntries(size_t expected) : expected_(expected) {
  sortable_.reserve(expected);
  prefault(sortable_.data(), sortable_.capacity() * sizeof(Sortable));
}

void IndexEntries::add(const KeyBytes& key, uint32_t page, uint8_t row, bool withNull) {
  // Room for every entry at once, judged from the first thousand, spares
  // the copies of a growing block.
  if (sortable_.size() == 1024 && expected_ > 1024) {
    bytes_.reserve(bytes_.size() / 1024 * (expected_ + 1) * 9 / 8);
    prefault(bytes_.data() + bytes_.size(), bytes_.capacity() - bytes_.size());
  }
  if (key.size() > 0x7FFFFF) throw Error(Error::Code::InvalidValue, "index key too long");
  uint8_t prefix[16] = {};
  if (!key.empty()) std::memcpy(prefix, key.data(), std::min(key.size(), sizeof prefix));
  uint64_t high, low;
  std::memcpy(&high, prefix, 8);
  std::memcpy(&low, prefix + 8, 8);
  sortable_.push_back({__builtin_bswap64(high), __builtin_bswap64(low),
                       uint64_t(bytes_.size()) << 24 | uint64_t(key.size()) << 1 | uint64_t(withNull)});
  if (key.size() > 16) bytes_.insert(bytes_.end(), key.begin() + 16, key.end());
  bytes_.insert(bytes_.end(), {uint8_t(page >> 16), uint8_t(page >> 8), uint8_t(page), row});
}

std::span<const uint8_t> IndexEntries::entryOf(const Sortable& e, KeyBytes& out) const {
  out.resize(e.size() + 4);
  uint8_t prefix[16];
  const uint64_t high = __builtin_bswap64(e.high), low = __builtin_bswap64(e.low);
  std::memcpy(prefix, &high, 8);
  std::memcpy(prefix + 8, &low, 8);
  const size_t inPrefix = std::min<size_t>(e.size(), 16);
  std::memcpy(out.data(), prefix, inPrefix);
  std::memcpy(out.data() + inPrefix, bytes_.data() + e.offset(), e.restSize() + 4);
  return out;
}

// Zero padding makes "ab" and "ab\0" tie on the numbers: keys no longer
// than them are then ordered by length, as a byte comparison would. Past
// a tie on the numbers, a key of sixteen bytes or fewer begins the other.
int IndexEntries::keyCompare(const Sortable& a, const Sortable& b) const {
  if (a.high != b.high) return a.high < b.high ? -1 : 1;
  if (a.low != b.low) return a.low < b.low ? -1 : 1;
  if (a.size() <= 16 && b.size() <= 16) return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
  return compareBytes(restOf(a), restOf(b));
}

bool IndexEntries::less(const Sortable& a, const Sortable& b) const {
  const int c = keyCompare(a, b);
  return c ? c < 0 : a.packed < b.packed;
}

void IndexEntries::sortByKey() { radixSort(sortable_.data(), sortable_.size(), 0); }

// Most significant byte first and in place (American flag sort) over the
// sixteen bytes the numbers hold: a pass or two splits a million keys into
// groups small enough for a comparison sort, which also settles the groups
// that tie on all sixteen.
void IndexEntries::radixSort(Sortable* first, size_t n, unsigned digit) {
  auto byteOf = [](const Sortable& e, unsigned d) {
    return unsigned(d < 8 ? e.high >> (56 - 8 * d) : e.low >> (56 - 8 * (d - 8))) & 0xFF;
  };
  if (n >= 64 && digit < 16) {
    // Bytes the whole group shares are found in one pass, not a counting
    // pass each (text keys often share their first several).
    uint64_t high = 0, low = 0;
    for (size_t i = 1; i < n; ++i) {
      high |= first[i].high ^ first[0].high;
      low |= first[i].low ^ first[0].low;
    }
    const unsigned shared = high ? unsigned(__builtin_clzll(high)) / 8 : low ? 8 + unsigned(__builtin_clzll(low)) / 8 : 16;
    digit = std::max(digit, shared);
  }
  for (;; ++digit) {
    if (n < 64 || digit == 16) {
      std::sort(first, first + n, [this](const Sortable& a, const Sortable& b) { return less(a, b); });
      return;
    }
    size_t count[256] = {};
    for (size_t i = 0; i < n; ++i) ++count[byteOf(first[i], digit)];
    if (count[byteOf(first[0], digit)] == n) continue;
    size_t start[256], next[256];
    size_t at = 0;
    for (unsigned b = 0; b < 256; ++b) {
      start[b] = next[b] = at;
      at += count[b];
    }
    for (unsigned b = 0; b < 256; ++b) {
      const size_t end = start[b] + count[b];
      while (next[b] < end) {
        Sortable e = first[next[b]];
        for (unsigned d = byteOf(e, digit); d != b; d = byteOf(e, digit)) std::swap(e, first[next[d]++]);
        first[next[b]++] = e;
      }
    }
    for (unsigned b = 0; b < 256; ++b)
      if (count[b] > 1) radixSort(first + start[b], count[b], digit + 1);
    return;
  }
}

// Whole entries can only come in another order where one key begins the
// next: only then is the second sort needed.
void IndexEntries::sortWhole() {
  bool entryOrder = true;
  KeyBytes other;
  for (size_t k = 1; k < sortable_.size() && entryOrder; ++k) {
    const Sortable& a = sortable_[k - 1];
    const Sortable& b = sortable_[k];
    if (a.size() >= b.size() || keyCompare(a, b) == 0) continue;
    const auto ea = entryOf(a, scratch_), eb = entryOf(b, other);
    if (std::memcmp(ea.data(), eb.data(), a.size()) == 0 && compareBytes(ea, eb) >= 0) entryOrder = false;
  }
  if (!entryOrder)
    std::sort(sortable_.begin(), sortable_.end(), [this, &other](const Sortable& a, const Sortable& b) {
      return compareBytes(entryOf(a, scratch_), entryOf(b, other)) < 0;
    });
}

}  // namespace jet
