// The leaf entries of an index being built in bulk: collected row by row,
// then put in the tree's order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jet/index_key.h"

namespace jet {

class IndexEntries {
 public:
  // Room for about this many entries, judged from the first ones added.
  explicit IndexEntries(size_t expected);

  // Entries must come in ascending row pointer order (a table scan's).
  void add(const KeyBytes& key, uint32_t page, uint8_t row, bool withNull);
  size_t size() const { return sortable_.size(); }

  // Key order, row pointers breaking ties, so that equal keys sit side by
  // side; then, where one key begins another, the order of whole entries,
  // which is the tree's.
  void sortByKey();
  // After sortByKey: entry k's key differs from entry k-1's (true for 0).
  bool newKey(size_t k) const { return k == 0 || keyCompare(sortable_[k - 1], sortable_[k]) != 0; }
  bool withNull(size_t k) const { return sortable_[k].packed & 1; }
  // Puts entries in the tree's order where it differs from key order.
  void sortWhole();
  // Entry k (key and row pointer), valid until the next call.
  std::span<const uint8_t> entry(size_t k) { return entryOf(sortable_[k], scratch_); }

 private:
  // An entry as the sort sees it: its key's first sixteen bytes as two
  // numbers, and a word packing the offset of the rest of the entry in the
  // block, its key's length and whether the key holds a NULL. Most
  // comparisons then stay in this array; offsets grow with the row pointers
  // and break ties. The block holds only what the numbers do not: the key
  // past its sixteenth byte, and the row pointer.
  struct Sortable {
    uint64_t high, low, packed;
    uint64_t offset() const { return packed >> 24; }
    uint32_t size() const { return uint32_t(packed >> 1) & 0x7FFFFF; }
    uint32_t restSize() const { return size() > 16 ? size() - 16 : 0; }
  };
  // The key past its sixteenth byte; then the row pointer.
  std::span<const uint8_t> restOf(const Sortable& e) const { return {bytes_.data() + e.offset(), e.restSize()}; }
  // The whole entry, put together in out.
  std::span<const uint8_t> entryOf(const Sortable& e, KeyBytes& out) const;
  int keyCompare(const Sortable& a, const Sortable& b) const;
  bool less(const Sortable& a, const Sortable& b) const;
  void radixSort(Sortable* first, size_t n, unsigned digit);

  size_t expected_;
  std::vector<uint8_t> bytes_;  // what the numbers do not hold, entry after entry
  std::vector<Sortable> sortable_;
  KeyBytes scratch_;
};

}  // namespace jet
