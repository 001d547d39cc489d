#include "engine/table_statement.h"

#include <algorithm>
#include <cctype>

#include "engine/identifiers.h"

namespace engine {

std::string preferredTableName(const std::string& sourceName) {
  return sourceName == "counter" ? std::string("countr") : sourceName;
}

bool accessSystemName(std::string_view name) {
  return foldName(name.substr(0, 4)) == "msys";
}

void nameTable(TablePlan& plan, NameAllocator& tableNames) {
  std::string preferred = preferredTableName(plan.sourceName);
  // Access keeps every name beginning with MSys for its own tables, whatever
  // the letter case: such a table would collide with them or be hidden.
  std::string wanted = accessName(preferred);
  if (accessSystemName(wanted)) wanted.insert(0, "_");
  plan.destinationName = tableNames.allocate(wanted);
  if (plan.destinationName != preferred)
    plan.renames.push_back("table " + plan.sourceName + " -> " + plan.destinationName);
  nameColumns(plan);
}

void nameColumns(TablePlan& plan) {
  NameAllocator columnNames;
  plan.accessColumnNames.clear();
  for (const SourceColumn& column : plan.columns) {
    std::string name = columnNames.allocate(column.name);
    if (name != column.name)
      plan.renames.push_back("column " + column.name + " -> " + name);
    plan.accessColumnNames.push_back(std::move(name));
  }
}

void dropKeyAccessCannotHold(TablePlan& plan) {
  for (const SourceColumn& column : plan.columns) {
    if (std::find(plan.keyColumns.begin(), plan.keyColumns.end(), column.name) ==
        plan.keyColumns.end())
      continue;
    if (!accessCanIndex(column)) {
      plan.note = "primary key not kept: Access cannot index the " + unindexableTypeName(column) +
                  " column " + column.name;
      plan.keyColumns.clear();
      return;
    }
  }
}

std::string createTableStatement(const TablePlan& plan) {
  // Only key columns the table really has count (the catalogue and the key
  // lookup are separate reads).
  std::vector<std::string> keyAccessNames;
  for (const std::string& keyColumn : plan.keyColumns) {
    for (std::size_t i = 0; i < plan.columns.size(); ++i)
      if (plan.columns[i].name == keyColumn) keyAccessNames.push_back(plan.accessColumnNames[i]);
  }
  const bool composite = keyAccessNames.size() > 1;
  std::string out = "Create Table " + quoteAccess(plan.destinationName) + "(";
  for (std::size_t i = 0; i < plan.columns.size(); ++i) {
    const SourceColumn& column = plan.columns[i];
    KeyRole role = KeyRole::None;
    if (std::find(keyAccessNames.begin(), keyAccessNames.end(), plan.accessColumnNames[i]) !=
        keyAccessNames.end())
      role = composite ? KeyRole::PartOfKey : KeyRole::SoleKey;
    if (i > 0) out += ", ";
    out += columnDefinition(column, plan.accessColumnNames[i], role,
                            i < plan.columnSchema.size() ? plan.columnSchema[i] : ColumnSchema{});
  }
  if (composite) {
    out += ", CONSTRAINT [PrimaryKey] PRIMARY KEY (";
    for (std::size_t i = 0; i < keyAccessNames.size(); ++i) {
      if (i > 0) out += ", ";
      out += quoteAccess(keyAccessNames[i]);
    }
    out += ")";
  }
  out += ")";
  return out;
}

std::string sourceQuery(const std::string& sourceName) {
  return "Select * from " + quoteMySql(sourceName);
}

std::string insertStatement(const std::string& destinationName,
                            const std::vector<std::string>& valueTexts) {
  std::string out = "INSERT INTO " + quoteAccess(destinationName) + " values(";
  for (std::size_t i = 0; i < valueTexts.size(); ++i) {
    out += valueTexts[i];
    out += i + 1 < valueTexts.size() ? ", " : " )";
  }
  return out;
}

}  // namespace engine
