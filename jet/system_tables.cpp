#include "jet/system_tables.h"

#include <algorithm>

#include "jet/bytes.h"

namespace jet {

namespace {

struct Col {
  const char* name;
  ColumnType type;
  uint16_t varIndex;
  uint8_t flags;
  uint16_t fixedOffset;
  uint16_t length;
};

// Index roots and map rows as the Jet engine places them in a blank file.
uint32_t mapRow(uint32_t row) { return makeRowPointer(kSystemMapPage, uint8_t(row)); }

TableDef build(uint32_t page, const std::vector<Col>& cols, uint32_t ownedRow) {
  TableDef d;
  d.page = page;
  d.kind = 0x53;
  d.ownedMap = mapRow(ownedRow);
  d.freeMap = mapRow(ownedRow + 1);
  for (uint16_t i = 0; i < cols.size(); ++i) {
    ColumnDef c;
    c.name = cols[i].name;
    c.type = cols[i].type;
    c.number = i;
    c.varIndex = cols[i].varIndex;
    c.flags = cols[i].flags;
    c.fixedOffset = cols[i].fixedOffset;
    c.length = cols[i].length;
    d.columns.push_back(c);
  }
  // The engine writes column descriptors in name order.
  for (uint16_t i = 0; i < cols.size(); ++i) d.descriptorOrder.push_back(i);
  std::sort(d.descriptorOrder.begin(), d.descriptorOrder.end(),
            [&](uint16_t a, uint16_t b) { return d.columns[a].name < d.columns[b].name; });
  return d;
}

RealIndexDef real(std::vector<uint16_t> cols, uint8_t flags, uint32_t root, uint32_t row) {
  RealIndexDef r;
  for (auto c : cols) r.columns.push_back({c, true});
  r.flags = flags;
  r.root = root;
  r.mapPointer = mapRow(row);
  return r;
}

void addLongValueMaps(TableDef& d, std::vector<std::pair<uint16_t, uint32_t>> columnRows) {
  std::vector<LongValueMaps> maps;
  for (auto [col, row] : columnRows) maps.push_back({col, mapRow(row), mapRow(row + 1)});
  // Written in the same (name) order as the descriptors.
  for (uint16_t n : d.descriptorOrder)
    for (auto& m : maps)
      if (m.column == n) d.longValueMaps.push_back(m);
}

}  // namespace

std::vector<TableDef> systemTableDefs() {
  using T = ColumnType;
  std::vector<TableDef> out;
  TableDef objects = build(kObjectsPage,
                           {{"Id", T::Long, 0, 0x13, 0, 4},
                            {"ParentId", T::Long, 0, 0x13, 4, 4},
                            {"Name", T::Text, 0, 0x12, 100, 510},
                            {"Type", T::Integer, 1, 0x13, 8, 2},
                            {"DateCreate", T::DateTime, 1, 0x13, 10, 8},
                            {"DateUpdate", T::DateTime, 1, 0x13, 18, 8},
                            {"Owner", T::Binary, 1, 0x32, 256, 510},
                            {"Flags", T::Long, 2, 0x13, 26, 4},
                            {"Database", T::Memo, 2, 0x12, 0, 0},
                            {"Connect", T::Memo, 3, 0x12, 0, 0},
                            {"ForeignName", T::Text, 4, 0x12, 68, 510},
                            {"RmtInfoShort", T::Binary, 5, 0x12, 106, 510},
                            {"RmtInfoLong", T::OLE, 6, 0x12, 0, 0},
                            {"Lv", T::OLE, 7, 0x12, 0, 0},
                            {"LvProp", T::OLE, 8, 0x12, 24832, 0},
                            {"LvModule", T::OLE, 9, 0x12, 65535, 0},
                            {"LvExtra", T::OLE, 10, 0x12, 1028, 0}},
                           0);
  objects.realIndexes = {real({1, 2}, 0x81, 7, 16), real({0}, 0x81, 8, 17)};
  objects.logicalIndexes = {{"Id", 1, 1, 1}, {"ParentIdName", 0, 0, 0}};
  addLongValueMaps(objects, {{8, 2}, {9, 4}, {12, 6}, {13, 8}, {14, 10}, {15, 12}, {16, 14}});
  out.push_back(objects);

  TableDef aces = build(kAcesPage,
                        {{"ObjectId", T::Long, 0, 0x13, 0, 4},
                         {"SID", T::Binary, 0, 0x32, 7, 510},
                         {"ACM", T::Long, 1, 0x13, 4, 4},
                         {"FInheritable", T::Boolean, 1, 0x13, 0, 1}},
                        18);
  aces.realIndexes = {real({0}, 0x88, 9, 20)};
  aces.logicalIndexes = {{"ObjectId", 0, 0, 0}};
  out.push_back(aces);

  TableDef queries = build(kQueriesPage,
                           {{"ObjectId", T::Long, 0, 0x13, 0, 4},
                            {"Attribute", T::Byte, 0, 0x13, 4, 1},
                            {"Order", T::Binary, 0, 0x12, 65024, 510},
                            {"Name1", T::Text, 1, 0x12, 65024, 510},
                            {"Name2", T::Text, 2, 0x12, 65024, 510},
                            {"Expression", T::Memo, 3, 0x12, 1024, 0},
                            {"Flag", T::Integer, 4, 0x13, 5, 2},
                            {"LvExtra", T::Long, 4, 0x13, 7, 4}},
                           21);
  queries.realIndexes = {real({0, 1, 2}, 0x81, 10, 25)};
  queries.logicalIndexes = {{"ObjectIdAttribute", 0, 0, 1}};
  addLongValueMaps(queries, {{5, 23}});
  out.push_back(queries);

  TableDef rels = build(kRelationshipsPage,
                        {{"szRelationship", T::Text, 0, 0x12, 0, 510},
                         {"grbit", T::Long, 1, 0x13, 0, 4},
                         {"ccolumn", T::Long, 1, 0x13, 4, 4},
                         {"icolumn", T::Long, 1, 0x13, 8, 4},
                         {"szObject", T::Text, 1, 0x12, 0, 510},
                         {"szColumn", T::Text, 2, 0x12, 0, 510},
                         {"szReferencedObject", T::Text, 3, 0x12, 0, 510},
                         {"szReferencedColumn", T::Text, 4, 0x12, 0, 510}},
                        26);
  rels.realIndexes = {real({0}, 0x82, 11, 28), real({4}, 0x82, 12, 29), real({6}, 0x82, 13, 30)};
  rels.logicalIndexes = {{"szObject", 1, 1, 0}, {"szReferencedObject", 2, 2, 0}, {"szRelationship", 0, 0, 0}};
  out.push_back(rels);
  return out;
}

const std::vector<AceRow>& blankAceRows() {
  static const std::vector<AceRow> rows = {
      {2, &kSidAdmin, 393216, false},
      {3, &kSidAdmin, 393216, false},
      {4, &kSidAdmin, 393216, false},
      {5, &kSidAdmin, 917504, false},
      {kTablesContainer, &kSidOwnerPlaceholder, 983294, true},
      {kTablesContainer, &kSidAdmin, 393217, false},
      {kRelationshipsContainer, &kSidOwnerPlaceholder, 983294, true},
      {kRelationshipsContainer, &kSidAdmin, 393217, false},
      {kDatabasesContainer, &kSidAdmin, 393216, false},
      {kMSysDbId, &kSidAdmin, 393230, false},
      {kMSysDbId, &kSidUsers, 14, false},
      {4, &kSidUsers, 20, false},
      {5, &kSidUsers, 20, false},
      {2, &kSidUsers, 20, false},
      {kTablesContainer, &kSidUsers, 1048319, true},
      {kRelationshipsContainer, &kSidUsers, 1048575, true},
  };
  return rows;
}

}  // namespace jet
