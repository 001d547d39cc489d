// The source's foreign keys as Access relationships: planned once for the
// whole file before any table is made (their indexes count against each
// table's index limit), sent after every table's rows are in.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/identifiers.h"
#include "engine/source_schema.h"

namespace engine {

// A foreign key between two tables of the run, with its Access name.
struct RelationshipPlan {
  std::string child;   // source table names
  std::string parent;
  std::string name;    // Access name, unique in the file
  const SourceForeignKey* key = nullptr;
};

// The relationships among `tables` (source names, with their catalogue
// entries in `infos`), in table and key order. Foreign keys to tables
// outside the run are not among them.
std::vector<RelationshipPlan> planRelationships(const std::vector<std::string>& tables,
                                                const std::map<std::string, SourceTableInfo>& infos,
                                                NameAllocator& names);

// A converted table as a relationship sees it: its Access name and the
// Access name of each source column.
struct ConvertedTable {
  std::string destination;
  std::map<std::string, std::string> accessColumns;
};

// ALTER TABLE [child] ADD CONSTRAINT [name] FOREIGN KEY ([c], ...)
// REFERENCES [parent] ([p], ...) [ON UPDATE CASCADE] [ON DELETE CASCADE];
// empty when a column is not in the converted table (`why` says which).
std::string relationshipStatement(const RelationshipPlan& relationship,
                                  const ConvertedTable& child, const ConvertedTable& parent,
                                  std::string& why);

// What the rule the source gives for ON UPDATE / ON DELETE loses in
// Access (SET NULL, SET DEFAULT); empty when nothing.
std::string cascadeLoss(const SourceForeignKey& key);

// The Access driver refuses to enforce a relationship the data breaks
// (23000) or whose parent columns have no unique index (42000); then the
// relationship is made without enforcement. Returns the note for such a
// refusal, or empty for any other failure.
std::string notEnforcedReason(const std::string& sqlState, const std::string& message,
                              const std::string& child, const std::string& parent);

}  // namespace engine
