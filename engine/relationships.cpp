#include "engine/relationships.h"

#include <regex>
#include <set>

namespace engine {

std::vector<RelationshipPlan> planRelationships(const std::vector<std::string>& tables,
                                                const std::map<std::string, SourceTableInfo>& infos,
                                                NameAllocator& names) {
  const std::set<std::string> inRun(tables.begin(), tables.end());
  std::vector<RelationshipPlan> plans;
  for (const std::string& child : tables) {
    auto info = infos.find(child);
    if (info == infos.end()) continue;
    for (const SourceForeignKey& key : info->second.foreignKeys) {
      if (!key.referencedDatabase.empty() || !inRun.count(key.referencedTable)) continue;
      plans.push_back({child, key.referencedTable, names.allocate(key.name), &key});
    }
  }
  return plans;
}

std::string relationshipStatement(const RelationshipPlan& relationship,
                                  const ConvertedTable& child, const ConvertedTable& parent,
                                  std::string& why) {
  const SourceForeignKey& key = *relationship.key;
  auto columnList = [&](const ConvertedTable& table, const std::vector<std::string>& columns,
                        const std::string& tableName) {
    std::string list;
    for (const std::string& column : columns) {
      auto found = table.accessColumns.find(column);
      if (found == table.accessColumns.end()) {
        why = "the table " + tableName + " has no column " + column + " in Access";
        return std::string();
      }
      if (!list.empty()) list += ", ";
      list += quoteAccess(found->second);
    }
    return list;
  };
  if (key.columns.empty() || key.columns.size() != key.referencedColumns.size()) {
    why = "its columns are not listed in pairs";
    return {};
  }
  const std::string childColumns = columnList(child, key.columns, relationship.child);
  if (childColumns.empty()) return {};
  const std::string parentColumns = columnList(parent, key.referencedColumns, relationship.parent);
  if (parentColumns.empty()) return {};
  std::string sql = "ALTER TABLE " + quoteAccess(child.destination) + " ADD CONSTRAINT " +
                    quoteAccess(relationship.name) + " FOREIGN KEY (" + childColumns +
                    ") REFERENCES " + quoteAccess(parent.destination) + " (" + parentColumns + ")";
  if (key.onUpdate == "CASCADE") sql += " ON UPDATE CASCADE";
  if (key.onDelete == "CASCADE") sql += " ON DELETE CASCADE";
  return sql;
}

std::string cascadeLoss(const SourceForeignKey& key) {
  std::string lost;
  for (const auto& [event, rule] : {std::pair{"UPDATE", key.onUpdate}, std::pair{"DELETE", key.onDelete}}) {
    if (rule != "SET NULL" && rule != "SET DEFAULT") continue;
    if (!lost.empty()) lost += " and ";
    lost += std::string("ON ") + event + " " + rule;
  }
  return lost;
}

std::string notEnforcedReason(const std::string& sqlState, const std::string& message,
                              const std::string& child, const std::string& parent) {
  if (sqlState == "23000" && message.find("cannot be enforced") != std::string::npos) {
    static const std::regex rows(R"((\d+) rows? of)");
    std::smatch m;
    if (std::regex_search(message, m, rows))
      return m[1].str() + (m[1].str() == "1" ? " row of " + child + " has" : " rows of " + child + " have") +
             " no matching row in " + parent;
    return "rows of " + child + " have no matching row in " + parent;
  }
  if (sqlState == "42000" && message.find("no unique index") != std::string::npos)
    return "the referenced columns of " + parent + " have no unique index in Access";
  return {};
}

}  // namespace engine
