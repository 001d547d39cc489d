// Shared pieces of the structural check (check.cpp, check_table.cpp,
// check_index.cpp, check_schema.cpp): the file image, the record of which
// structure uses which page, and the table definition as the check reads it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"

namespace jet::check {

constexpr uint32_t kPageBytes = 4096;
constexpr size_t kMaskedLength = 128;

// RC4 keystream that masks header bytes 0x18..0x97.
std::array<uint8_t, kMaskedLength> headerKeystream();

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t le24(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}
inline uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
         (uint32_t(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) {
  return uint64_t(le32(p)) | (uint64_t(le32(p + 4)) << 32);
}
inline uint32_t be24(const uint8_t* p) {
  return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
}
inline uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
         uint32_t(p[3]);
}

// Row pointers (usage maps, long values, index entries): row number in the
// low byte, page above it.
inline uint32_t rowPointer(uint32_t page, uint32_t row) { return (page << 8) | (row & 0xFF); }
inline uint32_t pointerPage(uint32_t ptr) { return ptr >> 8; }
inline uint32_t pointerRow(uint32_t ptr) { return ptr & 0xFF; }
std::string pointerText(uint32_t ptr);

std::string hexBytes(std::span<const uint8_t> bytes, size_t limit = 48);
std::string utf16ToUtf8(std::span<const uint8_t> bytes);
// Text as stored in a row: UCS-2LE, or compressed ("FF FE" then runs of
// one-byte and two-byte characters).
std::string storedTextToUtf8(std::span<const uint8_t> bytes);

enum PageKind : uint8_t {
  kHeaderPage = 0x00,
  kDataPage = 0x01,
  kTdefPage = 0x02,
  kIndexNode = 0x03,
  kIndexLeaf = 0x04,
  kMapPage = 0x05,
};

struct Column {
  uint8_t type = 0;
  uint16_t number = 0;     // position of the column's null-mask bit
  uint16_t varIndex = 0;   // slot in the variable offset table
  uint8_t misc[4] = {};    // numeric: precision, scale
  uint8_t flags = 0;
  uint8_t ext = 0;
  uint16_t fixedOffset = 0;
  uint16_t length = 0;
  std::string name;
  bool fixed() const { return flags & 0x01; }
  bool longValue() const { return type == 11 || type == 12; }
};

struct RealIndex {
  uint32_t distinctKeys = 0;
  std::vector<std::pair<uint16_t, bool>> columns;  // column number, ascending
  uint32_t mapPointer = 0;
  uint32_t root = 0;
  uint8_t flags = 0;
};

struct LogicalIndex {
  uint32_t number = 0;
  uint32_t real = 0;
  uint8_t type = 0;  // 2: one half of an enforced relationship
  // Relationship halves: 1 parent side, 2 child side; the other half's
  // logical index number and table; the cascade bytes.
  uint8_t relatedType = 0;
  int32_t relatedIndex = -1;
  uint32_t relatedPage = 0;
  uint8_t cascadeUpdates = 0;
  uint8_t cascadeDeletes = 0;
  std::string name;
};

struct LongValueMaps {
  uint16_t column = 0;
  uint32_t owned = 0;
  uint32_t free = 0;
};

struct TableDef {
  std::string name;
  uint32_t page = 0;
  std::vector<uint32_t> pages;  // the TDEF chain
  uint32_t rowCount = 0;
  uint32_t autoNumber = 0;
  uint8_t kind = 0;
  uint16_t maxColumns = 0;
  uint16_t varColumns = 0;
  uint16_t columnCount = 0;
  uint32_t ownedMap = 0;
  uint32_t freeMap = 0;
  std::vector<Column> columns;  // in descriptor order
  std::vector<RealIndex> realIndexes;
  std::vector<LogicalIndex> logicalIndexes;
  std::vector<LongValueMaps> longValueMaps;
  const Column* columnByNumber(uint16_t number) const;
  const Column* columnByName(const std::string& name) const;
};

// The key each live row should have in one index, re-encoded from the
// row's values while the rows are scanned (so no row values are kept).
struct RowKey {
  enum : uint8_t { kAnyNull = 1, kAllNull = 2, kUnencodable = 4 };
  uint32_t pointer = 0;
  uint32_t offset = 0;  // into IndexKeys::bytes
  uint16_t length = 0;
  uint8_t flags = 0;
};
struct IndexKeys {
  std::vector<uint8_t> bytes;
  std::vector<RowKey> rows;  // ascending by pointer
  std::string encodeError;   // the first failure to encode a key
  const RowKey* find(uint32_t pointer) const;
};

// Every live row of a table: its pointer, the keys it should have in each
// real index and, for the columns asked for, its values.
struct TableRows {
  std::vector<uint16_t> columns;   // numbers of the columns whose values are kept
  std::vector<uint32_t> pointers;  // ascending
  std::unordered_map<uint32_t, std::vector<Value>> values;  // by row pointer, as columns
  std::vector<IndexKeys> keys;     // one per real index
  uint32_t liveRows = 0;
};

class Checker {
 public:
  Checker(std::span<const uint8_t> image, CheckReport& report);
  void run();

  // -- shared services --
  uint32_t pageCount() const { return pageCount_; }
  const uint8_t* page(uint32_t number) const { return image_.data() + size_t(number) * kPageBytes; }
  void problem(CheckFinding finding, const std::string& text);
  CheckReport::Totals& totals() { return report_.totals; }
  // True when the global usage map marks the page free (released pages may
  // keep stale contents).
  bool globallyFree(uint32_t pageNumber) const {
    return pageNumber < globalFree_.size() && globalFree_[pageNumber];
  }
  // Records that owner uses the page; a second, different owner is a fault.
  // False when the page lies outside the file.
  bool claim(uint32_t pageNumber, const std::string& owner);
  // The bytes of one row of a data page, or nullopt with the reason.
  std::optional<std::span<const uint8_t>> rowBytes(uint32_t pageNumber, uint32_t row,
                                                   std::string& why,
                                                   bool* deleted = nullptr) const;
  // Data pages (not LVAL) holding rows whose header names this TDEF page.
  const std::vector<uint32_t>& dataPagesNaming(uint32_t tdefPage);
  // Pages a usage map names (bits set), claiming reference-map pages.
  std::optional<std::vector<uint32_t>> readUsageMap(uint32_t pointer, const std::string& what);

  // -- table checks (check_table.cpp) --
  std::optional<TableDef> readTableDef(uint32_t tdefPage, const std::string& name);
  // Checks data pages, rows and long values; returns the rows with the
  // values of the columns whose numbers are in wanted, and their index keys.
  TableRows checkTableData(const TableDef& table, const std::vector<uint16_t>& wanted);

  // -- index checks (check_index.cpp) --
  void checkIndexes(const TableDef& table, const TableRows& rows);

  // -- relationships and properties (check_schema.cpp) --
  // One MSysRelationships row: relationship, grbit, ccolumn, icolumn,
  // szObject, szColumn, szReferencedObject, szReferencedColumn.
  struct RelationshipRow {
    std::string name;
    int64_t grbit = 0, count = 0, index = 0;
    std::string table, column, referencedTable, referencedColumn;
  };
  // The rows agree with each other and with the foreign-key halves in both
  // tables' definitions, every half belongs to an enforced relationship,
  // and each relationship is a catalogue object (objects: lower-case names
  // of the type-8 rows of MSysObjects).
  void checkRelationships(const std::vector<TableDef>& tables, const std::vector<RelationshipRow>& rows,
                          const std::set<std::string>& objects);
  // A table's MSysObjects.LvProp holds together and names its columns.
  void checkProperties(const TableDef& table, const std::vector<uint8_t>& blob);

 private:
  void checkHeader();
  void readGlobalMap();
  void checkCatalogue();
  void checkGlobalCoverage();

  std::span<const uint8_t> image_;
  CheckReport& report_;
  uint32_t pageCount_ = 0;
  std::vector<std::string> owners_;  // per page, empty when unused
  uint32_t globalCovered_ = 0;       // pages [0, covered) described by the global map
  std::vector<bool> globalFree_;     // per page: marked free
  std::vector<std::pair<uint32_t, uint32_t>> globalRanges_;  // covered ranges
  bool globalKnown_ = false;
  std::optional<std::unordered_map<uint32_t, std::vector<uint32_t>>> dataPagesByTdef_;
};

// The stored value of one column as the library's Value, for re-encoding
// index keys. Text and memo come out as UTF-8.
Value decodeFixedValue(const Column& column, std::span<const uint8_t> bytes);

}  // namespace jet::check
