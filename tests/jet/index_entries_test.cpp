// The sort behind bulk index builds against a plain comparison sort: keys
// that tie on their first sixteen bytes, keys that begin one another, zero
// bytes at the end, repeated keys, and groups of every size.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "jet/index_entries.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes entryOf(const Bytes& key, uint32_t page, uint8_t row) {
  Bytes e = key;
  e.insert(e.end(), {uint8_t(page >> 16), uint8_t(page >> 8), uint8_t(page), row});
  return e;
}

TEST(IndexEntries, SortAsAComparisonSortWould) {
  std::mt19937 random(7);
  for (size_t count : {size_t(0), size_t(1), size_t(63), size_t(64), size_t(5000), size_t(60000)}) {
    // Few byte values and a shared start make ties, prefixes and deep
    // radix passes common.
    std::vector<std::tuple<Bytes, uint32_t, bool>> rows;
    for (size_t i = 0; i < count; ++i) {
      Bytes key(random() % 3 ? 14 : 0, 0x7F);
      const size_t extra = random() % 8;
      for (size_t k = 0; k < extra; ++k) key.push_back(uint8_t(random() % 3));
      rows.emplace_back(key, uint32_t(i), random() % 5 == 0);
    }
    jet::IndexEntries entries(count);
    for (const auto& [key, pointer, withNull] : rows)
      entries.add(key, pointer >> 8, uint8_t(pointer), withNull);
    entries.sortByKey();

    auto byKey = rows;
    std::sort(byKey.begin(), byKey.end(), [](const auto& a, const auto& b) {
      return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    ASSERT_EQ(entries.size(), count);
    for (size_t k = 0; k < count; ++k) {
      const auto& [key, pointer, withNull] = byKey[k];
      const auto e = entries.entry(k);
      ASSERT_EQ(Bytes(e.begin(), e.end()), entryOf(key, pointer >> 8, uint8_t(pointer))) << count << " at " << k;
      EXPECT_EQ(entries.withNull(k), withNull);
      EXPECT_EQ(entries.newKey(k), k == 0 || std::get<0>(byKey[k - 1]) != key);
    }

    entries.sortWhole();
    std::vector<Bytes> whole;
    for (const auto& [key, pointer, withNull] : rows) whole.push_back(entryOf(key, pointer >> 8, uint8_t(pointer)));
    std::sort(whole.begin(), whole.end());
    for (size_t k = 0; k < count; ++k) {
      const auto e = entries.entry(k);
      ASSERT_EQ(Bytes(e.begin(), e.end()), whole[k]) << count << " at " << k;
    }
  }
}

}  // namespace
