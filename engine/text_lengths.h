// MySQL sizes text in characters, Access in UTF-16 units: a character
// beyond U+FFFF takes two, so a column's stored values can be longer in
// Access than its declared size. The values themselves decide.
#pragma once

#include <string>
#include <vector>

#include "engine/table_statement.h"

namespace engine {

// The query giving the longest stored value of each column, in UTF-16
// units, as one row (one column each, in the order given).
std::string longestValuesQuery(const std::string& table, const std::vector<std::string>& columns);

// Reads the longest stored values of the sized text columns through
// `connect` (one query for the whole table), sets accessTextSize where they
// need more room than the declared size, and notes each such column.
void sizeTextByStoredValues(const std::string& connect, TablePlan& plan);

}  // namespace engine
