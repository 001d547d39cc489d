// The Jet SQL dialect the driver accepts: table and index definitions,
// single-row inserts and simple reads. The parser only builds a statement
// tree; checking names and values against the file is the executor's job.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "drivers/access/driver_error.h"

namespace tabulex::access {

// A type as written in a column definition, before it is mapped to a Jet
// column type: the upper-cased words ("INT UNSIGNED", "DOUBLE PRECISION")
// and up to two numeric arguments.
struct TypeName {
  std::string words;
  std::vector<int64_t> args;
  std::string original;  // as written, for messages
};

struct ColumnDef {
  std::string name;
  TypeName type;
  bool primaryKey = false;
  bool unique = false;
  bool notNull = false;
  // DEFAULT literal as the Access expression stored in DefaultValue ('text'
  // becomes "text" with "" for a quote); empty for none.
  std::string defaultValue;
};

struct ConstraintDef {
  enum class Kind { PrimaryKey, Unique, ForeignKey };
  std::string name;  // empty when not named
  Kind kind = Kind::Unique;
  bool primaryKey = false;  // kind == PrimaryKey
  std::vector<std::string> columns;
  // FOREIGN KEY (columns) REFERENCES referencedTable (referencedColumns)
  std::string referencedTable;
  std::vector<std::string> referencedColumns;
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
  bool enforced = true;  // NOT ENFORCED, our extension, records it only
};

struct CreateTable {
  std::string table;
  std::vector<ColumnDef> columns;
  std::vector<ConstraintDef> constraints;
};

struct CreateIndex {
  std::string name;
  std::string table;
  bool unique = false;
  bool primary = false;      // WITH PRIMARY
  bool disallowNull = false; // WITH DISALLOW NULL
  bool ignoreNull = false;   // WITH IGNORE NULL
  std::vector<std::string> columns;
  std::vector<bool> descending;
};

struct DropTable {
  std::string table;
};

// ALTER TABLE table ADD CONSTRAINT ...
struct AlterTable {
  std::string table;
  ConstraintDef constraint;
};

// COMMENT ON TABLE t IS 'text' / COMMENT ON COLUMN t.c IS 'text' (our
// extension: Access SQL has no statement for descriptions).
struct Comment {
  std::string table;
  std::string column;  // empty for the table's own
  std::string text;
};

// One value of an INSERT, as the literal was written. The text is a view:
// into the statement, into decoded text the parse kept, or into the
// Insert's own copy (see Insert::storage).
struct Literal {
  // Parameter: a ? marker, whose value a bound parameter gives at execution.
  enum class Kind { Null, String, Number, Hex, Date, Boolean, Parameter };
  Kind kind = Kind::Null;
  std::string_view text;  // string contents (quotes undone), number text, hex digits, date text
  bool boolean = false;
  size_t position = 0;  // byte offset in the statement
  // A parameter given as a double (or float): Double and Single columns
  // take it as it is, every other column its shortest digits, which is
  // what a literal of those digits gives; `text` is then empty.
  bool exactDouble = false;
  double number = 0;
};

struct Insert {
  std::string table;
  std::vector<std::string> columns;  // empty: every column in table order
  std::vector<Literal> values;
  // The literals' text when the Insert came from parseStatement, which
  // lets it outlive the statement's text; shared so that copies stay valid.
  std::shared_ptr<const std::string> storage;
};

struct OrderTerm {
  std::string column;
  bool descending = false;
};

struct Select {
  std::string table;
  bool countAll = false;              // SELECT COUNT(*)
  std::vector<std::string> columns;   // empty with !countAll: SELECT *
  std::vector<OrderTerm> orderBy;
};

using Statement =
    std::variant<CreateTable, CreateIndex, DropTable, Insert, Select, AlterTable, Comment>;

// Throws DriverError (42000, naming the offending token) on a syntax error.
Statement parseStatement(std::string_view sql);

// The row inserts a conversion sends, read without the general parser:
// INSERT INTO name VALUES (literals) with plain spacing, no comments and no
// column list. Fills `out` (its vectors reused from call to call) and
// returns true for exactly such text, reading it as parseStatement would;
// anything else, errors included, returns false and is left to
// parseStatement. The literals view `sql` and `decoded` (quoted text with
// doubled quotes undone), so both must outlive the use of `out`.
bool parsePlainInsert(std::string_view sql, Insert& out, std::string& decoded);

}  // namespace tabulex::access
