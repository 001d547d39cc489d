#include "engine/row_fit.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace engine {

namespace {

// What a long value (Memo, OLE Object) leaves in the row: its 12-byte
// header and at most 64 bytes kept inline.
constexpr std::size_t kLongValueInRow = 12 + 64;

struct Storage {
  std::size_t fixed = 0;     // bytes in the fixed area
  std::size_t variable = 0;  // most bytes in the variable area
  bool isVariable = false;
};

Storage storageOf(const SourceColumn& column) {
  AccessColumnType type = mapColumnType(column);
  std::string word = type.typeWord;
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "memo" || word == "oleobject") return {0, kLongValueInRow, true};
  if (word == "bit") return {0, 0, false};  // held in the null mask
  if (word == "byte") return {1, 0, false};
  if (word == "smallint") return {2, 0, false};
  if (word == "integer" || word == "real") return {4, 0, false};
  if (word == "double" || word == "datetime" || word == "timestamp") return {8, 0, false};
  if (word == "decimal") return {17, 0, false};
  // Text: sized, or with its size in the word ("VARCHAR(20)").
  std::size_t units = 0;
  if (type.size) {
    units = static_cast<std::size_t>(std::stoul(*type.size));
  } else if (std::size_t open = word.find('('); open != std::string::npos) {
    units = static_cast<std::size_t>(std::stoul(word.substr(open + 1)));
  } else {
    units = kAccessTextLimit;  // a word the table above does not know: the widest text
  }
  return {0, 2 * units, true};
}

bool listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::size_t worstCaseRowBytes(const std::vector<SourceColumn>& columns) {
  // Column count, null mask; with variable columns also their offsets, the
  // count of them and the end offset, two bytes each.
  std::size_t fixed = 0, variable = 0, variableColumns = 0;
  for (const SourceColumn& column : columns) {
    Storage s = storageOf(column);
    fixed += s.fixed;
    variable += s.variable;
    variableColumns += s.isVariable;
  }
  std::size_t bytes = 2 + fixed + (columns.size() + 7) / 8 + variable;
  if (variableColumns > 0) bytes += 2 * (variableColumns + 2);
  return bytes;
}

void fitRowIntoJet(TablePlan& plan, const std::vector<std::string>& indexedColumns) {
  std::size_t bytes = worstCaseRowBytes(plan.columns);
  if (bytes <= kJetRowLimit) return;
  // Widest first; the first in the table among equals.
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < plan.columns.size(); ++i)
    if (isSizedText(plan.columns[i]) && !listed(indexedColumns, plan.columns[i].name))
      candidates.push_back(i);
  std::stable_sort(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) {
    return storageOf(plan.columns[a]).variable > storageOf(plan.columns[b]).variable;
  });
  for (std::size_t i : candidates) {
    plan.columns[i].memo = true;
    plan.notes.push_back("column " + plan.columns[i].name +
                         " made Memo: a row could need more than the " +
                         std::to_string(kJetRowLimit) + " bytes Access keeps in one row");
    bytes = worstCaseRowBytes(plan.columns);
    if (bytes <= kJetRowLimit) return;
  }
  throw std::runtime_error(
      "a row could need " + std::to_string(bytes) + " bytes even with every text column outside "
      "an index made Memo; Access keeps at most " + std::to_string(kJetRowLimit) +
      " bytes in one row");
}

void fitRowKeepingIndexes(TablePlan& plan, const std::vector<std::string>& indexedColumns) {
  std::vector<std::string> kept = plan.keyColumns;
  for (const std::string& column : indexedColumns)
    if (!listed(kept, column)) kept.push_back(column);
  if (kept.size() == plan.keyColumns.size()) return fitRowIntoJet(plan, kept);
  const std::vector<SourceColumn> columns = plan.columns;
  const std::vector<std::string> notes = plan.notes;
  try {
    fitRowIntoJet(plan, kept);
  } catch (const std::runtime_error&) {
    plan.columns = columns;
    plan.notes = notes;
    fitRowIntoJet(plan, plan.keyColumns);
  }
}

}  // namespace engine
