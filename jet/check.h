// Structural check of a Jet 4 (.mdb) file. It reads the pages itself,
// independently of the code that writes them, so a writer's mistake is not
// hidden by a reader that shares it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace jet {

// The kind of fault a problem describes, so callers can tell problems apart
// without matching message text.
enum class CheckFinding {
  FileSize,   // not a whole number of pages
  Header,     // signature, version, mask, code page, encryption key, sort order
  GlobalMap,  // a page in use is marked free, or lies outside the map
  PageType,   // a page is not what the structure that refers to it needs
  SharedPage, // one page claimed by two structures
  Catalogue,  // MSysObjects rows that do not lead to a table definition
  TableDef,   // TDEF header, counts, length, column and index blocks, names
  UsageMap,   // table, index and long-value usage maps
  DataPage,   // data page header, free space, row offset table
  Row,        // row layout: column count, fixed area, variable offsets, null mask
  LongValue,  // memo and OLE headers, LVAL rows and chains
  Index,      // B-tree pages: entry mask, order, page links, row pointers
  IndexKey,   // a stored key differs from the key the row's values give
  RowCount,   // a count in the TDEF differs from what the pages hold
  Relationship, // MSysRelationships rows and the foreign-key index entries disagree
  Properties, // a property blob in MSysObjects.LvProp does not hold together
};

const char* findingName(CheckFinding finding);

struct CheckReport {
  // False when the bytes are not a Jet 4 database at all (too short, another
  // format or version, encrypted): nothing else was checked.
  bool readable = true;
  std::vector<std::string> problems;
  std::vector<CheckFinding> findings;  // one per problem, same order
  size_t suppressed = 0;               // problems past the reporting cap

  // What was walked, so a caller can see the check covered the file.
  struct Totals {
    size_t pages = 0;         // pages in the file
    size_t tables = 0;        // table definitions read, system tables included
    size_t rows = 0;          // live rows found
    size_t indexes = 0;       // real indexes walked
    size_t indexEntries = 0;  // leaf entries checked
  } totals;

  bool ok() const { return readable && problems.empty(); }
  bool has(CheckFinding finding) const;
};

CheckReport checkFile(const std::string& path);
CheckReport checkImage(std::span<const uint8_t> image);

}  // namespace jet
