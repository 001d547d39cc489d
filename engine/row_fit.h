// Whether the rows of a planned table fit in a Jet row, and the plan that
// makes them fit: a row that cannot be stored would end the table's copy,
// so the plan decides before any row is read.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/table_statement.h"

namespace engine {

// The most bytes Jet stores in one row.
inline constexpr std::size_t kJetRowLimit = 4060;

// The bytes the largest possible row of these columns takes in Jet: text at
// two bytes a UTF-16 unit, Memo and OLE fields at their header and the part
// kept in the row, fixed columns at their size, and the row's own counts,
// offsets and null mask.
std::size_t worstCaseRowBytes(const std::vector<SourceColumn>& columns);

// Makes the widest text columns that are in no index Memo, one after the
// other, until the worst-case row fits, and notes each. Throws
// std::runtime_error with the reason when no such plan fits.
void fitRowIntoJet(TablePlan& plan, const std::vector<std::string>& indexedColumns);

// The same, keeping the key and every other indexed column out of Memo when
// the row can fit so; when it cannot, only the key is kept and the indexes
// over columns made Memo are left to be dropped (the rows matter more).
void fitRowKeepingIndexes(TablePlan& plan, const std::vector<std::string>& indexedColumns);

}  // namespace engine
