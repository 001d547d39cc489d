// The four system tables of a blank Jet 4 database, laid out exactly as the
// Jet engine lays them out, and the rows a blank catalogue starts with.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/tdef.h"

namespace jet {

constexpr uint32_t kObjectsPage = 2;  // MSysObjects
constexpr uint32_t kAcesPage = 3;     // MSysACEs
constexpr uint32_t kQueriesPage = 4;
constexpr uint32_t kRelationshipsPage = 5;
constexpr uint32_t kSystemMapPage = 6;
constexpr int32_t kRootContainer = 0x0F000000;
constexpr int32_t kTablesContainer = 0x0F000001;
constexpr int32_t kDatabasesContainer = 0x0F000002;
constexpr int32_t kRelationshipsContainer = 0x0F000003;
constexpr int32_t kMSysDbId = 0x10000000;
constexpr uint32_t kSystemObjectFlag = 0x80000000u;
constexpr uint32_t kSystemMapRows = 31;

// MSysObjects column numbers.
enum ObjectsColumn : uint16_t {
  kObjId = 0, kObjParentId = 1, kObjName = 2, kObjType = 3, kObjDateCreate = 4,
  kObjDateUpdate = 5, kObjOwner = 6, kObjFlags = 7, kObjLvProp = 14, kObjColumns = 17
};

// MSysRelationships column numbers: one row per column pair.
enum RelationshipsColumn : uint16_t {
  kRelName = 0, kRelGrbit = 1, kRelCount = 2, kRelIndex = 3, kRelObject = 4, kRelColumn = 5,
  kRelReferencedObject = 6, kRelReferencedColumn = 7
};
// MSysRelationships.grbit flags.
constexpr uint32_t kRelNoIntegrity = 0x2;
constexpr uint32_t kRelCascadeUpdates = 0x100;
constexpr uint32_t kRelCascadeDeletes = 0x1000;

// Definitions of the four tables; index roots are the pages 7..13 that a
// blank file allocates for them, map rows are on page 6.
std::vector<TableDef> systemTableDefs();

// Security ids before per-file encryption.
inline const std::vector<uint8_t> kSidEngine = {0x02, 0x03};
inline const std::vector<uint8_t> kSidAdmin = {0x03, 0x01};
inline const std::vector<uint8_t> kSidUsers = {0x02, 0x01};
inline const std::vector<uint8_t> kSidOwnerPlaceholder = {0x02, 0x04};

struct AceRow {
  int32_t objectId;
  const std::vector<uint8_t>* sid;
  int32_t acm;
  bool inheritable;
};
const std::vector<AceRow>& blankAceRows();

}  // namespace jet
