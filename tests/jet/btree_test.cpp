// Index B-trees: many inserts in every order keep a sound tree with all
// entries; trees written by Access pass the same structural check and take
// new entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "jet/btree.h"
#include "jet/index_key.h"

namespace {

using jet::KeyBytes;
using jet::Page;

class MemoryStore : public jet::PageStore {
 public:
  MemoryStore() : pages_(3) {}  // header, usage map, a table definition
  explicit MemoryStore(const std::vector<uint8_t>& file)
      : pages_(file.size() / jet::kPageSize) {
    for (size_t i = 0; i < pages_.size(); ++i)
      std::copy_n(file.begin() + i * jet::kPageSize, jet::kPageSize, pages_[i].begin());
  }
  uint32_t pageCount() const override { return uint32_t(pages_.size()); }
  const Page& page(uint32_t n) override { return pages_.at(n); }
  Page& modify(uint32_t n) override {
    ++modified;
    return pages_.at(n);
  }
  uint32_t allocate() override {
    pages_.emplace_back();
    pages_.back().fill(0);
    return uint32_t(pages_.size() - 1);
  }
  size_t modified = 0;

 private:
  std::vector<Page> pages_;
};

constexpr uint32_t kTdef = 2;

KeyBytes longKey(int64_t v) {
  KeyBytes k;
  jet::appendIndexKey(k, jet::ColumnType::Long, v, false);
  return k;
}

KeyBytes textKey(const std::string& s) {
  KeyBytes k;
  jet::appendIndexKey(k, jet::ColumnType::Text, s, false);
  return k;
}

std::string hex(const KeyBytes& bytes) {
  std::string out;
  for (uint8_t b : bytes) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
  return out;
}

int depthOf(jet::PageStore& store, uint32_t root) {
  int depth = 1;
  uint32_t page = root;
  while (store.page(page)[0] == 0x03) {
    const Page& p = store.page(page);
    page = uint32_t(p[20] | p[21] << 8 | p[22] << 16 | p[23] << 24);
    ++depth;
  }
  return depth;
}

struct Tree {
  MemoryStore store;
  uint32_t root = jet::btreeCreateRoot(store, kTdef);
  std::set<KeyBytes> expected;
  std::set<uint32_t> pages{root};

  std::set<KeyBytes> keys;

  void insert(const KeyBytes& entry) {
    const jet::BtreeChange change = jet::btreeInsert(store, kTdef, root, entry);
    EXPECT_EQ(change.root, root);
    EXPECT_EQ(change.newKey, keys.insert(KeyBytes(entry.begin(), entry.end() - 4)).second);
    for (uint32_t p : change.newPages) EXPECT_TRUE(pages.insert(p).second);
    expected.insert(entry);
  }
  void verify() {
    const std::vector<std::string> problems = jet::btreeCheck(store, root, kTdef);
    for (const std::string& p : problems) ADD_FAILURE() << p;
    const std::vector<KeyBytes> got = jet::btreeLeafEntries(store, root);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
    // Every index page is reported as new (for the index's usage map).
    for (uint32_t p = 3; p < store.pageCount(); ++p) {
      if (store.page(p)[0] == 0x03 || store.page(p)[0] == 0x04) {
        EXPECT_TRUE(pages.count(p)) << p;
      }
    }
  }
};

// Random, ascending and descending orders, with equal keys told apart by
// the row pointer, up to three levels.
TEST(Btree, InsertOrdersKeepASoundTree) {
  std::mt19937 rng(42);
  {
    Tree t;  // random Long keys, several rows per key
    for (int i = 0; i < 20000; ++i)
      t.insert(jet::makeLeafEntry(longKey(int64_t(rng() % 5000)), 100 + rng() % 10000,
                                  uint8_t(rng())));
    t.verify();
    EXPECT_EQ(depthOf(t.store, t.root), 2);
  }
  {
    Tree t;  // descending
    for (int i = 30000; i > 0; --i) t.insert(jet::makeLeafEntry(longKey(i), 7, uint8_t(i)));
    t.verify();
  }
  {
    Tree t;  // long text keys reach three levels quickly
    std::vector<int> order(3000);
    for (int i = 0; i < 3000; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (int i : order) {
      const std::string s = std::string(120, 'k') + std::to_string(i * 7919 % 3001);
      t.insert(jet::makeLeafEntry(textKey(s), uint32_t(i + 10), 0));
      if (i % 500 == 0) t.verify();
    }
    t.verify();
    EXPECT_EQ(depthOf(t.store, t.root), 3);
  }
  {
    Tree t;  // interleaved runs: appends at both ends and in the middle
    for (int i = 0; i < 6000; ++i) {
      const int64_t v = (i % 3 == 0) ? i : (i % 3 == 1 ? -i : (i * 37) % 6000);
      t.insert(jet::makeLeafEntry(longKey(v), uint32_t(i + 1), uint8_t(i % 3)));
    }
    t.verify();
  }
}

// The common primary key: ascending Long values append to the last leaf,
// so leaves fill up completely and an insert touches one page.
TEST(Btree, AscendingKeysFillPagesAndStayCheap) {
  Tree t;
  const int n = 200000;
  std::vector<KeyBytes> entries;
  entries.reserve(n);
  for (int i = 1; i <= n; ++i) entries.push_back(jet::makeLeafEntry(longKey(i), uint32_t(i / 50 + 10), uint8_t(i % 50)));
  const size_t modifiedBefore = t.store.modified;
  const std::clock_t start = std::clock();
  for (const KeyBytes& e : entries) jet::btreeInsert(t.store, kTdef, t.root, e);
  const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
  std::printf("ascending Long inserts: %.3f us CPU each\n", seconds * 1e6 / n);
  for (const KeyBytes& e : entries) t.expected.insert(e);
  for (uint32_t p = 3; p < t.store.pageCount(); ++p) t.pages.insert(p);
  t.verify();
  // About one page written per insert, and leaves as full as they go.
  EXPECT_LT(t.store.modified - modifiedBefore, size_t(n) * 11 / 10);
  const size_t leaves = (size_t(n) * 9 + 3615) / 3616;
  EXPECT_LE(t.store.pageCount() - 3, leaves + leaves / 50 + 3);
  EXPECT_EQ(depthOf(t.store, t.root), 3);
}

// A tail kept by the caller must write exactly the pages the descent from
// the root writes, through leaf and node splits, equal keys, keys that do
// not sort last, and inserts made behind its back.
TEST(Btree, KeptTailWritesWhatTheDescentWrites) {
  Tree plain;
  MemoryStore store;
  const uint32_t root = jet::btreeCreateRoot(store, kTdef);
  ASSERT_EQ(root, plain.root);
  jet::BtreeTail tail;
  std::mt19937 rng(7);
  for (int i = 0; i < 2500; ++i) {
    // Long text keys reach three levels; every fifth repeats the key before
    // it and every thirteenth goes somewhere in the middle.
    const int k = i % 13 == 12 ? int(rng() % uint32_t(i)) : i - (i % 5 == 4 ? 1 : 0);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08d", k);
    const KeyBytes entry =
        jet::makeLeafEntry(textKey(std::string(90, 'r') + digits), uint32_t(i + 10), uint8_t(i));
    const bool fresh = plain.keys.count(KeyBytes(entry.begin(), entry.end() - 4)) == 0;
    plain.insert(entry);
    if (i % 401 == 400) {
      // Another writer appends without the tail; the tail must notice.
      ASSERT_NO_THROW(jet::btreeInsert(store, kTdef, root, entry)) << i;
      continue;
    }
    jet::BtreeChange change;
    ASSERT_NO_THROW(change = jet::btreeInsert(store, kTdef, root, entry, tail)) << i;
    ASSERT_EQ(change.newKey, fresh) << i;
    ASSERT_EQ(store.pageCount(), plain.store.pageCount()) << i;
    for (uint32_t p = 3; p < store.pageCount(); ++p)
      ASSERT_EQ(store.page(p), plain.store.page(p)) << "page " << p << " after insert " << i;
  }
  plain.verify();
  EXPECT_EQ(depthOf(store, root), 3);
}

TEST(Btree, ContainsKeyIgnoresTheRowPointer) {
  Tree t;
  const Page& empty = t.store.page(t.root);  // an empty leaf: no entries, all free
  EXPECT_EQ(hex(KeyBytes(empty.begin(), empty.begin() + 8)), "0401200e02000000");
  EXPECT_TRUE(std::all_of(empty.begin() + 8, empty.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_FALSE(jet::btreeContainsKey(t.store, t.root, longKey(0)));
  for (int i = 0; i < 3000; i += 2) t.insert(jet::makeLeafEntry(longKey(i), 99, uint8_t(i)));
  for (const char* s : {"Smith", "smithers", "SMITH JR", "b", "\xC3\xA9t\xC3\xA9"})
    t.insert(jet::makeLeafEntry(textKey(s), 12, 3));
  for (int i = 0; i < 3000; ++i)
    EXPECT_EQ(jet::btreeContainsKey(t.store, t.root, longKey(i)), i % 2 == 0) << i;
  // Text keys fold case, so a unique index sees these as present...
  EXPECT_TRUE(jet::btreeContainsKey(t.store, t.root, textKey("SMITH")));
  EXPECT_TRUE(jet::btreeContainsKey(t.store, t.root, textKey("Smith Jr  ")));
  EXPECT_TRUE(jet::btreeContainsKey(t.store, t.root, textKey("\xC3\x89T\xC3\x89")));
  // ...but a key that merely starts another is not.
  EXPECT_FALSE(jet::btreeContainsKey(t.store, t.root, textKey("smit")));
  EXPECT_FALSE(jet::btreeContainsKey(t.store, t.root, textKey("ete")));
  t.verify();
}

// The lookup against the plain answer: some entry is exactly key plus a
// row pointer.
void expectContainsAgrees(jet::PageStore& store, uint32_t root, const std::vector<KeyBytes>& probes,
                          const std::string& what) {
  const std::vector<KeyBytes> entries = jet::btreeLeafEntries(store, root);
  std::set<KeyBytes> keys;
  for (const KeyBytes& e : entries) keys.insert(KeyBytes(e.begin(), e.end() - 4));
  for (const KeyBytes& k : probes)
    ASSERT_EQ(jet::btreeContainsKey(store, root, k), keys.count(k) > 0) << what << ": " << hex(k);
}

// Keys next to every entry: the same, one byte more or less at the end,
// cut short, and run on.
std::vector<KeyBytes> probesAround(const std::vector<KeyBytes>& entries) {
  std::vector<KeyBytes> probes;
  for (const KeyBytes& e : entries) {
    KeyBytes k(e.begin(), e.end() - 4);
    probes.push_back(k);
    KeyBytes up = k, down = k;
    ++up.back(), --down.back();
    probes.push_back(up);
    probes.push_back(down);
    if (k.size() > 1) probes.push_back(KeyBytes(k.begin(), k.end() - 1));
    k.push_back(e[e.size() - 4]);
    probes.push_back(k);
  }
  probes.push_back({});
  probes.push_back({0x00});
  probes.push_back({0xFF, 0xFF});
  return probes;
}

// Keys at the first and last entry of every leaf and node, runs of one key
// over several leaves, keys that begin other keys, descending columns and
// folded text.
TEST(Btree, ContainsKeyFindsWhatAFullListFinds) {
  {
    Tree t;  // three levels of ascending numbers with gaps, padded
    for (int i = 0; i < 36000; i += 3) {
      KeyBytes k = longKey(i);
      k.insert(k.end(), 30, 0x41);
      t.insert(jet::makeLeafEntry(k, 10 + uint32_t(i / 256), uint8_t(i)));
    }
    ASSERT_EQ(depthOf(t.store, t.root), 3);
    expectContainsAgrees(t.store, t.root, probesAround(jet::btreeLeafEntries(t.store, t.root)), "numbers");
  }
  {
    // One key on far more rows than a leaf holds, then keys that start with
    // it and sort before it through their row pointer; the one exact entry
    // comes leaves later.
    Tree t;
    const KeyBytes run = textKey("run");
    for (int i = 0; i < 1500; ++i) t.insert(jet::makeLeafEntry(run, 0x100 + uint32_t(i), uint8_t(i)));
    KeyBytes longer = textKey("long");
    for (int i = 0; i < 1500; ++i) {
      KeyBytes k = longer;
      k.insert(k.end(), {0x00, uint8_t(i >> 8), uint8_t(i)});
      t.insert(jet::makeLeafEntry(k, 0x10000, 1));
    }
    EXPECT_FALSE(jet::btreeContainsKey(t.store, t.root, longer));
    t.insert(jet::makeLeafEntry(longer, 0x20000, 1));
    EXPECT_TRUE(jet::btreeContainsKey(t.store, t.root, longer));
    std::vector<KeyBytes> probes = {run, longer, textKey("lon"), textKey("ru"), textKey("runs")};
    for (int i = 0; i < 1500; i += 7) {
      KeyBytes k = longer;
      k.insert(k.end(), {0x00, uint8_t(i >> 8)});
      probes.push_back(k);
      k.push_back(uint8_t(i));
      probes.push_back(k);
    }
    expectContainsAgrees(t.store, t.root, probes, "runs");
    t.verify();
  }
  {
    // Descending columns and text keys of random case and length, in
    // random order, so that pages split in the middle.
    Tree t;
    std::mt19937 rng(11);
    std::vector<KeyBytes> probes;
    for (int i = 0; i < 6000; ++i) {
      std::string s(1 + rng() % 12, 'a');
      for (char& c : s) c = char((rng() % 2 ? 'a' : 'A') + rng() % 5);
      KeyBytes k;
      jet::appendIndexKey(k, jet::ColumnType::Text, s, i % 2 == 0);
      jet::appendIndexKey(k, jet::ColumnType::Long, int64_t(rng() % 50), true);
      if (i % 3) t.insert(jet::makeLeafEntry(k, 10 + uint32_t(i), uint8_t(i)));
      probes.push_back(k);
      KeyBytes upper;
      for (char& c : s) c = char(std::toupper(c));
      jet::appendIndexKey(upper, jet::ColumnType::Text, s, i % 2 == 0);
      probes.push_back(upper);
    }
    expectContainsAgrees(t.store, t.root, probes, "text");
    const std::vector<KeyBytes> around = probesAround(jet::btreeLeafEntries(t.store, t.root));
    expectContainsAgrees(t.store, t.root, around, "text");
  }
}

TEST(Btree, RefusesWhatItCannotStore) {
  Tree t;
  const KeyBytes e = jet::makeLeafEntry(longKey(5), 10, 1);
  t.insert(e);
  EXPECT_THROW(jet::btreeInsert(t.store, kTdef, t.root, e), jet::Error);
  KeyBytes huge(2000, 0x41);
  EXPECT_THROW(jet::btreeInsert(t.store, kTdef, t.root, huge), jet::Error);
  t.verify();
}

// The check must notice the damage it claims to find.
TEST(Btree, CheckFindsDamage) {
  auto build = [] {
    auto t = std::make_unique<Tree>();
    for (int i = 0; i < 2000; ++i) t->insert(jet::makeLeafEntry(longKey(i * 3), 20, uint8_t(i)));
    return t;
  };
  auto leafAfterRoot = [](Tree& t) {
    const Page& r = t.store.page(t.root);
    return uint32_t(r[480 + 9] << 24 | r[480 + 10] << 16 | r[480 + 11] << 8 | r[480 + 12]);
  };
  struct Damage {
    const char* what;
    void (*apply)(Tree&, uint32_t leaf);
  };
  const Damage damages[] = {
      {"end bit after the last entry cleared",
       [](Tree& t, uint32_t leaf) {
         Page& p = t.store.modify(leaf);
         const size_t used = 3616 - (p[2] | p[3] << 8);
         p[27 + used / 8] &= uint8_t(~(1u << (used % 8)));
       }},
      {"two entries swapped",
       [](Tree& t, uint32_t leaf) {
         Page& p = t.store.modify(leaf);
         std::swap_ranges(p.begin() + 480, p.begin() + 489, p.begin() + 489);
       }},
      {"broken next link",
       [](Tree& t, uint32_t leaf) { t.store.modify(leaf)[16] ^= 1; }},
      {"node entry not the child's last",
       [](Tree& t, uint32_t) { t.store.modify(t.root)[480 + 4] ^= 1; }},
      {"wrong free space",
       [](Tree& t, uint32_t leaf) { t.store.modify(leaf)[2] ^= 4; }},
      {"other table's page",
       [](Tree& t, uint32_t leaf) { t.store.modify(leaf)[4] = 9; }},
  };
  for (const Damage& d : damages) {
    auto t = build();
    ASSERT_TRUE(jet::btreeCheck(t->store, t->root, kTdef).empty());
    d.apply(*t, leafAfterRoot(*t));
    EXPECT_FALSE(jet::btreeCheck(t->store, t->root, kTdef).empty()) << d.what;
  }
}

// Access shares a key prefix between the entries of a page; spelled out in
// full, one such page may need several.
TEST(Btree, PrefixCompressedPageSplitsIntoSeveral) {
  MemoryStore store;
  const uint32_t root = store.allocate();
  Page& p = store.modify(root);
  p[0] = 0x04, p[1] = 0x01, p[4] = kTdef, p[24] = 30;
  std::set<KeyBytes> expected;
  size_t end = 0;
  for (int i = 0; i < 300; ++i) {
    KeyBytes e(30, 0x41);
    for (int k = 0; k < 6; ++k) e.push_back(uint8_t(k < 4 ? 0x42 : i >> (8 * (5 - k))));
    e.insert(e.end(), {0, 0, 9, uint8_t(i)});
    const size_t skip = i ? 30 : 0;
    std::copy(e.begin() + skip, e.end(), p.begin() + 480 + end);
    end += e.size() - skip;
    p[27 + end / 8] |= uint8_t(1u << (end % 8));
    expected.insert(e);
  }
  p[2] = uint8_t((3616 - end) & 0xFF), p[3] = uint8_t((3616 - end) >> 8);
  for (const std::string& problem : jet::btreeCheck(store, root, kTdef)) ADD_FAILURE() << problem;
  const KeyBytes added = jet::makeLeafEntry(textKey("zz"), 9, 1);
  const jet::BtreeChange change = jet::btreeInsert(store, kTdef, root, added);
  expected.insert(added);
  EXPECT_GE(change.newPages.size(), 4u);
  for (const std::string& problem : jet::btreeCheck(store, root, kTdef)) ADD_FAILURE() << problem;
  const std::vector<KeyBytes> got = jet::btreeLeafEntries(store, root);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), expected.end()));
}

// Damaged index pages (from a bad disk or another program) must give
// jet::Error, never a crash or a read outside the page.
TEST(Btree, DamagedPagesGiveErrorsNotCrashes) {
  Tree base;
  std::mt19937 rng(5);
  for (int i = 0; i < 3000; ++i)
    base.insert(jet::makeLeafEntry(textKey(std::string(1 + rng() % 40, char('a' + rng() % 26))),
                                   uint32_t(10 + i), uint8_t(i)));
  ASSERT_EQ(depthOf(base.store, base.root), 2);
  int errors = 0;
  for (int round = 0; round < 400; ++round) {
    MemoryStore store = base.store;
    const int flips = 1 + int(rng() % 6);
    for (int f = 0; f < flips; ++f) {
      const uint32_t page = base.root + uint32_t(rng() % (store.pageCount() - base.root));
      // Mostly the header and the mask, where a bad value steers the reader.
      const size_t at = rng() % 4 ? rng() % 480 : 480 + rng() % 3616;
      store.modify(page)[at] ^= uint8_t(1u << (rng() % 8));
    }
    try {
      (void)jet::btreeCheck(store, base.root, kTdef);
      (void)jet::btreeLeafEntries(store, base.root);
      (void)jet::btreeContainsKey(store, base.root, textKey("m"));
      for (int k = 0; k < 20; ++k)
        jet::btreeInsert(store, kTdef, base.root,
                         jet::makeLeafEntry(textKey(std::to_string(rng())), 5000, uint8_t(k)));
    } catch (const jet::Error&) {
      ++errors;
    }
  }
  EXPECT_GT(errors, 20);
}

std::vector<uint8_t> readFile(const std::string& name) {
  std::ifstream in(std::string(TABULEX_SOURCE_DIR "/tests/data/jet4/") + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t u32At(const Page& p, size_t at) {
  return uint32_t(p[at] | p[at + 1] << 8 | p[at + 2] << 16 | p[at + 3] << 24);
}

// Child pages of a node page (entries end in a big-endian page number; the
// first entry's first bytes are shared by the others).
std::vector<uint32_t> nodeChildren(const Page& p) {
  std::vector<uint32_t> out;
  for (size_t bit = 0; bit < 453 * 8; ++bit) {
    if (!(p[27 + bit / 8] >> (bit % 8) & 1)) continue;
    // The page number is the entry's last 4 bytes; the shared prefix never
    // reaches it.
    const uint8_t* last4 = p.data() + 480 + bit - 4;
    out.push_back(uint32_t(last4[0] << 24 | last4[1] << 16 | last4[2] << 8 | last4[3]));
  }
  if (u32At(p, 20)) out.push_back(u32At(p, 20));
  return out;
}

// Index roots: index pages that no node points to.
std::vector<uint32_t> indexRoots(MemoryStore& store) {
  std::set<uint32_t> children;
  std::vector<uint32_t> pages;
  for (uint32_t n = 1; n < store.pageCount(); ++n) {
    const Page& p = store.page(n);
    if ((p[0] != 0x03 && p[0] != 0x04) || p[1] != 0x01) continue;
    pages.push_back(n);
    if (p[0] == 0x03)
      for (uint32_t c : nodeChildren(p)) children.insert(c);
  }
  std::vector<uint32_t> roots;
  for (uint32_t n : pages)
    if (!children.count(n)) roots.push_back(n);
  return roots;
}

TEST(Btree, AccessMadeIndexesPassTheCheckAndTakeInserts) {
  int trees = 0;
  int multiLevel = 0;
  for (const char* name :
       {"jackcess-compIndexTestV2000.mdb", "jackcess-bigIndexTestV2000.mdb",
        "jackcess-indexTestV2000.mdb", "jackcess-test2V2000.mdb",
        "jackcess-testUnicodeCompV2003.mdb", "jackcess-adox_jet4.mdb"}) {
    const std::vector<uint8_t> file = readFile(name);
    ASSERT_GT(file.size(), 4096u * 8) << name;
    MemoryStore store(file);
    MemoryStore viaTail(file);  // the same inserts through a kept tail
    for (uint32_t root : indexRoots(store)) {
      const Page& p = store.page(root);
      const uint32_t tdef = u32At(p, 4);
      ++trees;
      for (const std::string& problem : jet::btreeCheck(store, root, tdef))
        ADD_FAILURE() << name << ": " << problem;
      if (p[0] == 0x03) ++multiLevel;

      // Their pages share key prefixes; lookups see through them.
      std::vector<KeyBytes> before = jet::btreeLeafEntries(store, root);
      expectContainsAgrees(store, root, probesAround(before), name);

      // Add entries around and between the existing ones; everything stays
      // sound and ordered.
      std::set<KeyBytes> expected(before.begin(), before.end());
      std::vector<KeyBytes> added;
      for (const KeyBytes& e : before) {
        KeyBytes copy = e;
        copy.back() ^= 0x80;  // same key, another row
        if (!expected.count(copy)) added.push_back(copy);
      }
      added.push_back(jet::makeLeafEntry(longKey(-5), 3000, 1));
      added.push_back(jet::makeLeafEntry(textKey("zzzz"), 3000, 2));
      // Then a run above every key, as ascending primary keys append.
      for (int k = 0; k < 600; ++k)
        added.push_back(jet::makeLeafEntry(KeyBytes{0xFF, 0xFE, uint8_t(k >> 8), uint8_t(k)},
                                           3001 + k / 100, uint8_t(k)));
      jet::BtreeTail tail;
      for (const KeyBytes& e : added) {
        jet::btreeInsert(store, tdef, root, e);
        jet::btreeInsert(viaTail, tdef, root, e, tail);
        expected.insert(e);
      }
      ASSERT_EQ(viaTail.pageCount(), store.pageCount()) << name;
      for (uint32_t n = 0; n < store.pageCount(); ++n)
        ASSERT_EQ(viaTail.page(n), store.page(n)) << name << ": page " << n;
      for (const std::string& problem : jet::btreeCheck(store, root, tdef))
        ADD_FAILURE() << name << " after inserts: " << problem;
      const std::vector<KeyBytes> after = jet::btreeLeafEntries(store, root);
      EXPECT_TRUE(std::equal(after.begin(), after.end(), expected.begin(), expected.end())) << name;
    }
  }
  EXPECT_GT(trees, 20);
  EXPECT_GE(multiLevel, 1);
}

}  // namespace
