#include "engine/text_lengths.h"

#include <cstdlib>

#include "engine/identifiers.h"
#include "odbc/database.h"

namespace engine {

std::string longestValuesQuery(const std::string& table, const std::vector<std::string>& columns) {
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += "MAX(LENGTH(CONVERT(" + quoteMySql(columns[i]) + " USING utf16))) DIV 2";
  }
  return sql + " FROM " + quoteMySql(table);
}

void sizeTextByStoredValues(const std::string& connect, TablePlan& plan) {
  std::vector<SourceColumn>& columns = plan.columns;
  std::vector<std::size_t> measured;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (!isSizedText(columns[i])) continue;
    measured.push_back(i);
    names.push_back(columns[i].name);
  }
  if (measured.empty()) return;
  CDatabase source;
  source.OpenEx(connect, 0);
  CRecordset row(&source);
  row.Open(CRecordset::kDefaultType, longestValuesQuery(plan.sourceName, names), CRecordset::readOnly);
  if (!row.IsEOF()) {
    for (std::size_t k = 0; k < measured.size(); ++k) {
      std::string value;
      row.GetFieldValue(static_cast<short>(k), value);
      const long units = std::strtol(value.c_str(), nullptr, 10);  // empty (NULL): no rows
      SourceColumn& column = columns[measured[k]];
      if (units <= column.columnSize) continue;
      column.accessTextSize = static_cast<int32_t>(units);
      const std::string count = std::to_string(units) + " UTF-16 units";
      plan.notes.push_back(
          units > kAccessTextLimit
              ? "column " + column.name + " made Memo: its longest value needs " + count
              : "column " + column.name + " sized " + std::to_string(units) +
                    ": its longest value needs " + count);
    }
  }
  row.Close();
  source.Close();
}

}  // namespace engine
