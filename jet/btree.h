// B-tree index pages (leaf 0x04 and node 0x03) kept current on insert.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "jet/index_key.h"
#include "jet/page_store.h"

namespace jet {

struct BtreeChange {
  uint32_t root = 0;                  // root page after the insert
  std::vector<uint32_t> newPages;     // pages allocated (for the index's usage map)
  bool newKey = true;                 // no other entry had this key (distinct-key count)
};

// What the last insert learnt about the right end of an index, kept by the
// caller from one insert to the next: an entry above every other one then
// goes straight to the rightmost leaf, without a descent from the root. It
// is checked against the leaf before use and dropped when it does not match.
struct BtreeTail {
  uint32_t root = 0;    // the index it describes; 0 when nothing is known
  uint32_t leaf = 0;    // the rightmost leaf
  uint32_t parent = 0;  // the node above the leaf (0 when the leaf is the root)
  uint32_t used = 0;    // bytes of entries on the leaf
  KeyBytes last;        // the leaf's last entry (empty when it has none)
};

// Writes an empty leaf that serves as the root of a new index.
uint32_t btreeCreateRoot(PageStore& store, uint32_t tdefPage);

// Inserts one leaf entry (key + page + row), splitting pages as needed.
// The root keeps its page number: when it splits, its contents move to new
// pages below it. Pages written by Access (shared key prefixes included)
// are accepted. Throws Error::Corrupt for damaged pages or an entry that is
// already there, and Error::InvalidValue for an entry longer than 1804
// bytes (half a page, so that any page can split in two).
BtreeChange btreeInsert(PageStore& store, uint32_t tdefPage, uint32_t root,
                        std::span<const uint8_t> leafEntry);
// The same, using and updating what tail knows about the index's right end.
BtreeChange btreeInsert(PageStore& store, uint32_t tdefPage, uint32_t root,
                        std::span<const uint8_t> leafEntry, BtreeTail& tail);

// A new index holding the given leaf entries, which must be strictly
// ascending: leaves are filled left to right and node levels built above
// them until one page is left, the root. No entry is inserted twice and no
// page is read back, which makes it far cheaper than one insert per entry.
// Throws as btreeInsert does for an entry of the wrong size.
struct BtreeBuilt {
  uint32_t root = 0;
  std::vector<uint32_t> pages;  // every page written, the root included
};
BtreeBuilt btreeBuild(PageStore& store, uint32_t tdefPage,
                      std::span<const std::span<const uint8_t>> sortedEntries);
// The same with entry i given by entryAt(i), for callers that hold the
// entries in another form; it may be asked for the same entry more than once.
using BtreeEntryAt = std::function<std::span<const uint8_t>(size_t)>;
BtreeBuilt btreeBuild(PageStore& store, uint32_t tdefPage, size_t count, const BtreeEntryAt& entryAt);

// True when some entry's key equals key (the row pointer is not compared).
bool btreeContainsKey(PageStore& store, uint32_t root,
                      std::span<const uint8_t> key);

// The index's largest leaf entry, found by one descent along its right
// edge; false when the index has no entries. Throws Error::Corrupt when the
// right edge is damaged.
bool btreeLastEntry(PageStore& store, uint32_t root, KeyBytes& entry);

// Every leaf entry in order (for checks and tests).
std::vector<KeyBytes> btreeLeafEntries(PageStore& store, uint32_t root);

// What is structurally wrong with the index under root; empty when sound.
// Checks page types and owner, entry masks against free space, strictly
// ascending entries, node entries against their child's last entry, tail
// pointers, equal leaf depth, and prev/next links on every level.
std::vector<std::string> btreeCheck(PageStore& store, uint32_t root,
                                    uint32_t tdefPage);

}  // namespace jet
