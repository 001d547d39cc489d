#include "engine/source_schema.h"

#include <algorithm>

namespace engine {

std::vector<std::string> chunkKeyColumns(const SourceTableInfo& info) {
  auto usable = [](const SourceIndex& index) {
    return std::all_of(index.columns.begin(), index.columns.end(),
                       [](const SourceIndexColumn& c) { return !c.nullable && c.prefixLength == 0; });
  };
  const SourceIndex* chosen = nullptr;
  for (const SourceIndex& index : info.indexes) {
    if (index.columns.empty() || !index.unique || !usable(index)) continue;
    if (index.primary) {
      chosen = &index;
      break;
    }
    if (!chosen) chosen = &index;
  }
  std::vector<std::string> columns;
  if (chosen)
    for (const SourceIndexColumn& c : chosen->columns) columns.push_back(c.name);
  return columns;
}

}  // namespace engine
