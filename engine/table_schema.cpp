#include "engine/table_schema.h"

#include <algorithm>
#include <limits>
#include <map>

#include "engine/default_value.h"
#include "engine/identifiers.h"

namespace engine {

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string accessString(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// Why an AUTO_INCREMENT column cannot be an AutoNumber (a signed Long
// Integer); empty when it can.
std::string autoNumberRefusal(const SourceColumnExtra& extra) {
  const std::string type = lower(extra.columnType);
  if (type.find("unsigned") != std::string::npos)
    return "Access's AutoNumber is a signed Long Integer and the column is UNSIGNED";
  for (const char* word : {"tinyint", "smallint", "mediumint", "int"})
    if (type.rfind(word, 0) == 0) return {};
  return "Access's AutoNumber is a signed Long Integer and the column is " +
         type.substr(0, type.find('('));
}

void planColumns(TablePlan& plan, const SourceTableInfo& info, TableSchemaPlan& out) {
  std::map<std::string, const SourceColumnExtra*> extras;
  for (const SourceColumnExtra& extra : info.columns) extras[extra.name] = &extra;
  plan.columnSchema.assign(plan.columns.size(), ColumnSchema{});
  bool counterTaken = false;
  for (std::size_t i = 0; i < plan.columns.size(); ++i) {
    auto found = extras.find(plan.columns[i].name);
    if (found == extras.end()) continue;
    const SourceColumnExtra& extra = *found->second;
    const std::string& name = plan.columns[i].name;
    ColumnSchema& schema = plan.columnSchema[i];

    if (lower(extra.extra).find("auto_increment") != std::string::npos) {
      std::string refusal = autoNumberRefusal(extra);
      const uint64_t seed = std::max<uint64_t>(1, info.autoIncrement.value_or(1));
      if (refusal.empty() && seed > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        refusal = "its next value " + std::to_string(seed) + " is past Access's largest AutoNumber";
      if (refusal.empty() && counterTaken) refusal = "Access holds one AutoNumber a table";
      if (refusal.empty()) {
        schema.counterSeed = seed;
        counterTaken = true;
      } else {
        out.notes.push_back("column " + name + " stays a number, not an AutoNumber: " + refusal);
        ++out.leftOut;
      }
      continue;
    }

    AccessDefault converted = accessDefault(plan.columns[i], extra.defaultValue);
    if (!converted.literal.empty()) {
      schema.defaultLiteral = converted.literal;
      ++out.defaults;
    } else if (!converted.leftOut.empty()) {
      out.notes.push_back("default of column " + name + " left out: " + converted.leftOut);
      ++out.leftOut;
    }
  }
}

void planDescriptions(const TablePlan& plan, const SourceTableInfo& info, TableSchemaPlan& out) {
  if (!info.comment.empty())
    out.descriptions.push_back(
        {"description of the table", tableDescriptionStatement(plan.destinationName, info.comment)});
  std::map<std::string, const SourceColumnExtra*> extras;
  for (const SourceColumnExtra& extra : info.columns) extras[extra.name] = &extra;
  for (std::size_t i = 0; i < plan.columns.size(); ++i) {
    auto found = extras.find(plan.columns[i].name);
    if (found == extras.end() || found->second->comment.empty()) continue;
    out.descriptions.push_back(
        {"description of column " + plan.columns[i].name,
         columnDescriptionStatement(plan.destinationName, plan.accessColumnNames[i],
                                    found->second->comment)});
  }
}

// One index's columns in Access terms: folded name and direction, for
// telling repeated indexes apart.
using IndexShape = std::vector<std::pair<std::string, bool>>;

void planIndexes(const TablePlan& plan, const SourceTableInfo& info, int reservedIndexes,
                 TableSchemaPlan& out) {
  std::map<std::string, std::size_t> columnAt;
  for (std::size_t i = 0; i < plan.columns.size(); ++i) columnAt[plan.columns[i].name] = i;

  // The table statement names the primary key's index so.
  NameAllocator names;
  names.allocate("PrimaryKey");
  std::vector<std::pair<IndexShape, std::string>> made;  // shape, source name
  bool primaryKept = false;
  if (!plan.keyColumns.empty()) {
    IndexShape key;
    for (const std::string& column : plan.keyColumns) {
      auto at = columnAt.find(column);
      if (at != columnAt.end()) key.emplace_back(foldName(plan.accessColumnNames[at->second]), false);
    }
    made.emplace_back(key, "PRIMARY");
    primaryKept = true;
  }
  int used = (primaryKept ? 1 : 0) + reservedIndexes;

  for (const SourceIndex& index : info.indexes) {
    if (index.primary) continue;
    auto leaveOut = [&](const std::string& why) {
      out.notes.push_back("index " + index.name + " left out: " + why);
      ++out.leftOut;
    };
    if (index.type != "BTREE" && index.type != "HASH" && !index.type.empty()) {
      leaveOut("Access has no " + index.type + " index");
      continue;
    }
    IndexShape shape;
    std::string columns, problem;
    bool prefix = false;
    for (const SourceIndexColumn& column : index.columns) {
      auto at = columnAt.find(column.name);
      if (at == columnAt.end()) {
        problem = "it is built on an expression, not on columns";
        break;
      }
      const SourceColumn& source = plan.columns[at->second];
      if (!accessCanIndex(source)) {
        problem = "Access cannot index the " + unindexableTypeName(source) + " column " + column.name;
        break;
      }
      prefix = prefix || column.prefixLength > 0;
      const std::string& accessColumn = plan.accessColumnNames[at->second];
      shape.emplace_back(foldName(accessColumn), column.descending);
      if (!columns.empty()) columns += ", ";
      columns += quoteAccess(accessColumn) + (column.descending ? " DESC" : " ASC");
    }
    if (index.columns.empty()) problem = "it names no column";
    if (!problem.empty()) {
      leaveOut(problem);
      continue;
    }
    auto same = std::find_if(made.begin(), made.end(),
                             [&](const auto& earlier) { return earlier.first == shape; });
    if (same != made.end() && !index.unique) {
      leaveOut("it repeats index " + same->second);
      continue;
    }
    if (used >= kJetIndexLimit) {
      leaveOut("Access holds at most " + std::to_string(kJetIndexLimit) +
               " indexes on a table, relationships included");
      continue;
    }
    const std::string name = names.allocate(index.name);
    if (name != index.name) out.renames.push_back("index " + index.name + " -> " + name);
    if (prefix)
      out.notes.push_back("index " + index.name +
                          " covers whole columns: Access has no index on the start of a column");
    out.indexes.push_back({"index " + index.name, std::string("CREATE ") + (index.unique ? "UNIQUE " : "") +
                                           "INDEX " + quoteAccess(name) + " ON " +
                                           quoteAccess(plan.destinationName) + " (" + columns + ")"});
    made.emplace_back(shape, index.name);
    ++used;
  }
}

}  // namespace

std::string tableDescriptionStatement(const std::string& table, const std::string& text) {
  return "COMMENT ON TABLE " + quoteAccess(table) + " IS " + accessString(text);
}

std::string columnDescriptionStatement(const std::string& table, const std::string& column,
                                       const std::string& text) {
  return "COMMENT ON COLUMN " + quoteAccess(table) + "." + quoteAccess(column) + " IS " +
         accessString(text);
}

TableSchemaPlan planTableSchema(TablePlan& plan, const SourceTableInfo& info, int reservedIndexes) {
  TableSchemaPlan out;
  if (info.isView) return out;  // a view's rows, not its base tables' schema
  planColumns(plan, info, out);
  planDescriptions(plan, info, out);
  planIndexes(plan, info, reservedIndexes, out);
  return out;
}

}  // namespace engine
