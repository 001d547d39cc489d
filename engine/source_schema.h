// What the server's catalogue (information_schema) says about one source
// table beyond its columns: storage engine, row estimate, AUTO_INCREMENT,
// comments and defaults, indexes and foreign keys. Read once per table and
// shared by the schema statements (indexes, relationships, defaults,
// descriptions), the column plan (which columns are indexed) and the
// chunked row read (which key orders the chunks).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine {

struct SourceIndexColumn {
  std::string name;      // source column name
  int prefixLength = 0;  // SUB_PART: characters of a prefix index, 0 for the whole column
  bool descending = false;
  bool nullable = true;  // the column may hold NULL
};

struct SourceIndex {
  std::string name;  // "PRIMARY" for the primary key
  bool primary = false;
  bool unique = false;
  std::string type;  // INDEX_TYPE: "BTREE", "HASH", "FULLTEXT", "SPATIAL"
  std::vector<SourceIndexColumn> columns;  // in key order
};

struct SourceForeignKey {
  std::string name;              // CONSTRAINT_NAME
  std::string referencedTable;
  // Empty when the referenced table is in the same database; otherwise the
  // other database's name (such a table is never converted with this one).
  std::string referencedDatabase;
  std::vector<std::string> columns;            // child columns, key order
  std::vector<std::string> referencedColumns;  // parent columns, same order
  std::string onUpdate;  // "CASCADE", "SET NULL", "SET DEFAULT", "RESTRICT", "NO ACTION"
  std::string onDelete;
};

struct SourceColumnExtra {
  std::string name;
  std::optional<std::string> defaultValue;  // COLUMN_DEFAULT as the server gives it
  std::string extra;                        // EXTRA: "auto_increment", "DEFAULT_GENERATED", ...
  std::string comment;                      // COLUMN_COMMENT
  std::string columnType;                   // COLUMN_TYPE, e.g. "int(10) unsigned"
};

struct SourceTableInfo {
  std::string engine;         // "InnoDB", "MyISAM", ...; empty for a view
  bool isView = false;
  uint64_t rowEstimate = 0;   // TABLE_ROWS (an estimate for InnoDB)
  std::optional<uint64_t> autoIncrement;  // the table's next AUTO_INCREMENT value
  std::string comment;        // TABLE_COMMENT
  std::vector<SourceColumnExtra> columns;  // in ordinal order
  std::vector<SourceIndex> indexes;        // the primary key first, then by name
  std::vector<SourceForeignKey> foreignKeys;

  // Whether the storage engine has transactions (a consistent snapshot
  // covers it) or needs a read lock for one moment of the table.
  bool transactional() const { return engine == "InnoDB"; }
};

// Reads the table's entry from information_schema through `connect` (the
// source connect string of the run). Throws std::runtime_error on a failure
// of the server or the connection.
SourceTableInfo readSourceTableInfo(const std::string& connect, const std::string& database,
                                    const std::string& table);

// The database's views, by name in byte order. Throws as readSourceTableInfo.
std::vector<std::string> listViews(const std::string& connect, const std::string& database);

// The key that orders chunked reads: the primary key, else the first unique
// index whose columns are all NOT NULL and whole (no prefix). Empty when the
// table has neither.
std::vector<std::string> chunkKeyColumns(const SourceTableInfo& info);

// Every column some index Access could carry or some foreign key of the
// table names, each once, in the order first met.
std::vector<std::string> indexedColumns(const SourceTableInfo& info);

}  // namespace engine
