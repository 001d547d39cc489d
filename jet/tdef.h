// Table definitions (TDEF pages, type 0x02): columns, indexes and the
// pointers to a table's usage maps, kept in memory as TableDef.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/pager.h"

namespace jet {

constexpr uint32_t kTdefMagic = 1625;
constexpr uint32_t kRealIndexMagic = 1923;
constexpr uint8_t kColFixed = 0x01;
constexpr uint8_t kColUpdatable = 0x02;
constexpr uint8_t kColAutoLong = 0x04;
constexpr uint8_t kColAutoGuid = 0x40;
constexpr uint8_t kColCompressedUnicode = 0x01;  // in the ext byte
constexpr uint8_t kIdxUnique = 0x01;
constexpr uint8_t kIdxIgnoreNulls = 0x02;
constexpr uint8_t kIdxRequired = 0x08;
constexpr uint8_t kIdxAlways = 0x80;

struct ColumnDef {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t number = 0;
  uint16_t varIndex = 0;
  uint16_t position = 0;  // stored beside the number; Access repeats it
  std::array<uint8_t, 4> misc{0x09, 0x04, 0x00, 0x00};
  uint8_t flags = kColUpdatable;
  uint8_t ext = 0;
  uint16_t fixedOffset = 0;
  uint16_t length = 0;  // bytes
  bool required = false;  // from the property blob, not the TDEF

  bool fixed() const { return flags & kColFixed; }
  bool longValue() const { return type == ColumnType::Memo || type == ColumnType::OLE; }
};

struct RealIndexDef {
  std::vector<std::pair<uint16_t, bool>> columns;  // column number, ascending
  uint32_t mapPointer = 0;
  uint32_t root = 0;
  uint8_t flags = kIdxAlways;
  uint32_t distinctKeys = 0;
};

constexpr uint8_t kIndexPrimary = 1;
constexpr uint8_t kIndexForeign = 2;  // one half of an enforced relationship
constexpr uint8_t kRelatedIsParent = 1;  // relatedType of the parent's half
constexpr uint8_t kRelatedIsChild = 2;

struct LogicalIndexDef {
  std::string name;
  uint32_t number = 0;
  uint32_t realIndex = 0;
  uint8_t type = 0;  // 1 primary key, 2 foreign key
  // Foreign-key halves only: which side this is, the other half's logical
  // index number and table (TDEF page), and the cascade flags.
  uint8_t relatedType = 0;
  int32_t relatedIndex = -1;
  uint32_t relatedPage = 0;
  uint8_t cascadeUpdates = 0;
  uint8_t cascadeDeletes = 0;
};

struct LongValueMaps {
  uint16_t column = 0;
  uint32_t owned = 0;
  uint32_t free = 0;
};

struct TableDef {
  uint32_t page = 0;  // first TDEF page (also the table's object id)
  std::vector<uint32_t> extraPages;  // continuation pages
  uint8_t kind = 0x4E;  // 0x4E user, 0x53 system
  uint32_t rowCount = 0;
  uint32_t autoNumber = 0;
  uint32_t ownedMap = 0;
  uint32_t freeMap = 0;
  // Columns sorted by number. Numbers may have gaps where Access deleted a
  // column, so vectors of per-column data are indexed by position here.
  std::vector<ColumnDef> columns;
  std::vector<uint16_t> descriptorOrder;  // positions, in the order written
  uint16_t maxColumns = 0;                // column count a row records
  std::vector<RealIndexDef> realIndexes;
  std::vector<LogicalIndexDef> logicalIndexes;  // as written
  std::vector<LongValueMaps> longValueMaps;     // as written
  // Where counters live in the serialized definition (filled by serialize).
  std::vector<uint32_t> distinctAt;
  std::vector<uint32_t> rootAt;

  // Position of the column with this number; throws Corrupt when absent.
  size_t position(uint16_t number) const;
};

// The definition's bytes as one stream (first page from byte 0; the
// 8-byte headers of continuation pages are not part of it).
std::vector<uint8_t> serializeTdef(TableDef& def);
TableDef parseTdef(PageStore& store, uint32_t page);

// Writes def to its pages (allocating continuation pages when it grew).
void writeTdef(Pager& pager, TableDef& def);
// Page and offset of a byte of the serialized stream.
std::pair<uint32_t, uint32_t> tdefLocate(const TableDef& def, uint32_t streamOffset);
// In-place updates of the counters an insert changes.
void writeRowCounters(Pager& pager, const TableDef& def);
void writeIndexCounters(Pager& pager, const TableDef& def, size_t realIndex);

}  // namespace jet
