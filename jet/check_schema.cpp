// Relationships and property blobs: what MSysRelationships says must be
// what the two tables' definitions carry, and every LvProp blob must parse.
#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "jet/check_internal.h"
#include "jet/properties.h"

namespace jet::check {

namespace {

constexpr int64_t kNoIntegrity = 0x2;
constexpr int64_t kCascadeUpdates = 0x100;
constexpr int64_t kCascadeDeletes = 0x1000;
constexpr int64_t kCascadeNulls = 0x2000;
constexpr uint8_t kForeignKeyIndex = 2;
constexpr uint8_t kParentSide = 1;
constexpr uint8_t kChildSide = 2;

// Jet names compare without regard to case.
bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

const TableDef* tableNamed(const std::vector<TableDef>& tables, const std::string& name) {
  for (const TableDef& t : tables)
    if (sameName(t.name, name)) return &t;
  return nullptr;
}

const LogicalIndex* logicalNumbered(const TableDef& t, int64_t number) {
  for (const LogicalIndex& l : t.logicalIndexes)
    if (int64_t(l.number) == number) return &l;
  return nullptr;
}

// The names of a real index's columns, in key order; empty when one is
// missing.
std::vector<std::string> indexColumns(const TableDef& t, uint32_t real) {
  std::vector<std::string> names;
  if (real >= t.realIndexes.size()) return names;
  for (auto [number, asc] : t.realIndexes[real].columns) {
    const Column* c = t.columnByNumber(number);
    if (!c) return {};
    names.push_back(c->name);
  }
  return names;
}

struct Relationship {
  std::string name;
  int64_t grbit = 0;
  std::string child, parent;
  std::vector<std::pair<std::string, std::string>> pairs;  // child column, parent column
};

}  // namespace

void Checker::checkRelationships(const std::vector<TableDef>& tables,
                                 const std::vector<RelationshipRow>& rows, const std::set<std::string>& objects) {
  // Gather the rows of each relationship and hold them against each other.
  std::map<std::string, std::vector<const RelationshipRow*>> byName;
  for (const RelationshipRow& r : rows) byName[r.name].push_back(&r);
  std::vector<Relationship> relationships;
  for (auto& [name, parts] : byName) {
    const std::string who = "relationship " + name;
    const RelationshipRow& first = *parts.front();
    bool sound = true;
    auto bad = [&](const std::string& text) {
      problem(CheckFinding::Relationship, who + ": " + text);
      sound = false;
    };
    std::string lower = name;
    for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    if (!objects.count(lower)) problem(CheckFinding::Relationship, who + ": MSysObjects has no row of type 8 for it");
    if (first.count != int64_t(parts.size()))
      bad("ccolumn is " + std::to_string(first.count) + " but it has " + std::to_string(parts.size()) + " rows");
    std::set<int64_t> seen;
    Relationship rel{name, first.grbit, first.table, first.referencedTable, {}};
    rel.pairs.resize(parts.size());
    for (const RelationshipRow* p : parts) {
      if (p->grbit != first.grbit || p->count != first.count || !sameName(p->table, first.table) ||
          !sameName(p->referencedTable, first.referencedTable))
        bad("its rows differ in grbit, ccolumn or tables");
      if (p->index < 0 || p->index >= int64_t(parts.size()) || !seen.insert(p->index).second) {
        bad("icolumn " + std::to_string(p->index) + " is out of range or repeated");
        continue;
      }
      rel.pairs[size_t(p->index)] = {p->column, p->referencedColumn};
    }
    if (!sound) continue;
    const TableDef* child = tableNamed(tables, rel.child);
    const TableDef* parent = tableNamed(tables, rel.parent);
    if (!child || !parent) {
      bad("names a table that does not exist (" + rel.child + " or " + rel.parent + ")");
      continue;
    }
    for (const auto& [c, p] : rel.pairs) {
      if (!child->columnByName(c)) bad("table " + child->name + " has no column " + c);
      if (!parent->columnByName(p)) bad("table " + parent->name + " has no column " + p);
    }
    if (sound) relationships.push_back(std::move(rel));
  }

  // Each enforced relationship owns one child half and one parent half,
  // pointing at each other; a not-enforced one owns none.
  std::set<std::pair<uint32_t, uint32_t>> owned;  // (TDEF page, logical number)
  for (const Relationship& rel : relationships) {
    if (rel.grbit & kNoIntegrity) continue;
    const std::string who = "relationship " + rel.name;
    const TableDef& child = *tableNamed(tables, rel.child);
    const TableDef& parent = *tableNamed(tables, rel.parent);
    const uint8_t wantUpdates = (rel.grbit & kCascadeUpdates) ? 1 : 0;
    const uint8_t wantDeletes = (rel.grbit & kCascadeDeletes) ? 1 : (rel.grbit & kCascadeNulls) ? 2 : 0;
    // The halves' key columns, position by position, must be the pairs.
    auto pairsMatch = [&](const LogicalIndex& c, const LogicalIndex& p) {
      std::vector<std::string> cc = indexColumns(child, c.real), pc = indexColumns(parent, p.real);
      if (cc.size() != rel.pairs.size() || pc.size() != rel.pairs.size()) return false;
      for (size_t k = 0; k < cc.size(); ++k) {
        bool found = false;
        for (const auto& [a, b] : rel.pairs) found |= sameName(a, cc[k]) && sameName(b, pc[k]);
        if (!found) return false;
      }
      return true;
    };
    bool matched = false;
    for (const LogicalIndex& c : child.logicalIndexes) {
      if (c.type != kForeignKeyIndex || c.relatedType != kChildSide || c.relatedPage != parent.page) continue;
      if (owned.count({child.page, c.number})) continue;
      const LogicalIndex* p = logicalNumbered(parent, c.relatedIndex);
      if (!p || p->type != kForeignKeyIndex || p->relatedType != kParentSide || p->relatedPage != child.page ||
          int64_t(p->relatedIndex) != int64_t(c.number) || owned.count({parent.page, p->number}))
        continue;
      if (!pairsMatch(c, *p)) continue;
      matched = true;
      owned.insert({child.page, c.number});
      owned.insert({parent.page, p->number});
      if (c.cascadeUpdates != wantUpdates || c.cascadeDeletes != wantDeletes || p->cascadeUpdates != wantUpdates ||
          p->cascadeDeletes != wantDeletes)
        problem(CheckFinding::Relationship, who + ": the cascade bytes of its index entries (" + c.name + ", " +
                                                p->name + ") differ from grbit " + std::to_string(rel.grbit));
      if (p->real < parent.realIndexes.size() && !(parent.realIndexes[p->real].flags & 0x01))
        problem(CheckFinding::Relationship,
                who + ": its index entry " + p->name + " in " + parent.name + " is not over a unique index");
      break;
    }
    if (!matched)
      problem(CheckFinding::Relationship, who + " is enforced but " + child.name + " and " + parent.name +
                                              " lack the pair of foreign-key index entries that point at each other");
  }
  for (const TableDef& t : tables)
    for (const LogicalIndex& l : t.logicalIndexes)
      if (l.type == kForeignKeyIndex && !owned.count({t.page, l.number}))
        problem(CheckFinding::Relationship, "table " + t.name + ": foreign-key index entry " + l.name +
                                                " belongs to no enforced relationship in MSysRelationships");
}

void Checker::checkProperties(const TableDef& table, const std::vector<uint8_t>& blob) {
  std::optional<ObjectProperties> props = readPropertyBlob(blob);
  if (!props) {
    problem(CheckFinding::Properties, "table " + table.name + ": its LvProp blob does not hold together");
    return;
  }
  for (const ColumnProperties& c : props->columns)
    if (!table.columnByName(c.name))
      problem(CheckFinding::Properties, "table " + table.name + ": LvProp gives properties to column " + c.name +
                                            ", which the table does not have");
}

}  // namespace jet::check
