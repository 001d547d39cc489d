// Public interface of the Jet 4 file library: create and open .mdb files,
// define tables and indexes, insert and read rows. Nothing here knows ODBC.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace jet {

// Column type codes as stored in the table definition.
enum class ColumnType : uint8_t {
  Boolean = 1,
  Byte = 2,      // unsigned 0..255
  Integer = 3,   // int16
  Long = 4,      // int32
  Currency = 5,  // int64, value x 10000
  Single = 6,
  Double = 7,
  DateTime = 8,  // OLE date: days since 1899-12-30
  Binary = 9,    // up to 255 bytes, variable
  Text = 10,     // up to 255 characters, variable
  OLE = 11,      // long binary
  Memo = 12,     // long text
  GUID = 15,
  Numeric = 16,  // Decimal(precision 1..28, scale 0..precision)
};

struct ColumnSpec {
  std::string name;  // UTF-8
  ColumnType type = ColumnType::Text;
  uint16_t length = 0;       // Text: characters (1..255); Binary: bytes (1..255)
  uint8_t precision = 18;    // Numeric only
  uint8_t scale = 0;         // Numeric only
  bool required = false;     // NOT NULL (stored as the Required property)
  bool autoNumber = false;   // Long only: AutoNumber
  bool compressedUnicode = true;  // Text and Memo: allow compressed storage
  // The Access expression of the DefaultValue property ("0", "\"text\"",
  // "#2020-01-01#", "Now()"); empty for none. Stored, never evaluated.
  std::string defaultValue{};
  std::string description{};  // the Description property; empty for none
  // AutoNumber only: the number the first row without one receives (the
  // table keeps the last number issued, so this sets it to seed - 1).
  int64_t autoNumberSeed = 1;
};

struct IndexSpec {
  std::string name;
  std::vector<std::string> columns;  // up to 10
  std::vector<bool> descending;      // empty, or one flag per column
  bool primaryKey = false;           // implies unique and required
  bool unique = false;
  bool ignoreNulls = false;
  bool required = false;             // no NULL in any key column (WITH DISALLOW NULL)
};

struct TableSpec {
  std::string name;  // UTF-8, up to 64 characters
  std::vector<ColumnSpec> columns;
  std::vector<IndexSpec> indexes;
  std::string description{};  // the table's Description property
};

// A relationship between a parent table's unique key and the columns of a
// child table that refer to it (a foreign key).
struct RelationshipSpec {
  std::string name;
  std::string table;  // the child, which holds the foreign key
  std::vector<std::string> columns;
  std::string referencedTable;  // the parent
  std::vector<std::string> referencedColumns;  // paired with columns
  // Enforced: a child row whose foreign key (NULL in none of its columns)
  // has no parent row is refused, and both tables' definitions carry the
  // relationship's index entries. Otherwise it is only recorded.
  bool enforced = true;
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
};

// Values. One per column, in column order.
struct Null {
  bool operator==(const Null&) const = default;
};
struct Currency {  // scaled by 10000
  int64_t scaled = 0;
  bool operator==(const Currency&) const = default;
};
struct DateTime {  // OLE date
  double days = 0;
  bool operator==(const DateTime&) const = default;
};
struct Numeric {  // unscaled magnitude; value = (negative ? -1 : 1) * magnitude / 10^scale
  bool negative = false;
  unsigned __int128 magnitude = 0;
  uint8_t scale = 0;
  bool operator==(const Numeric&) const = default;
};
struct Guid {  // in display order: {00112233-4455-6677-8899-AABBCCDDEEFF}
  std::array<uint8_t, 16> bytes{};
  bool operator==(const Guid&) const = default;
};
using Bytes = std::vector<uint8_t>;

// Boolean: bool. Byte/Integer/Long: int64_t (range-checked on insert).
// Single and Double: double (Single is range-checked and narrowed on insert,
// read back as the exact float value). Text/Memo: UTF-8 std::string.
// Binary/OLE: Bytes. Numeric: rescaled to the column's scale on insert.
using Value = std::variant<Null, bool, int64_t, double, std::string, Bytes,
                           Currency, DateTime, Numeric, Guid>;

// Calendar helpers for DateTime values (proleptic Gregorian, Access's rules
// for dates before 1899-12-30). Fractions of a second are kept as far as
// the double holds them.
DateTime toOleDate(int year, int month, int day, int hour = 0, int minute = 0,
                   double second = 0);
// Whether the value lies within Access's dates, 1 January 100 (the whole
// day) to 31 December 9999.
bool inAccessDateRange(double days);
struct CivilTime {
  int year, month, day, hour, minute, second;
};
CivilTime fromOleDate(DateTime value);  // rounded to the nearest second

class Error : public std::runtime_error {
 public:
  enum class Code {
    Io,             // the operating system refused a read, write or open
    NotJet4,        // not a Jet 4 database (other version, .accdb, random)
    Encrypted,      // encrypted or password-protected
    Corrupt,        // structure does not hold together
    Locked,         // another process holds the file
    Exists,         // file or table already exists
    NoSuchTable,
    NoSuchColumn,
    InvalidName,    // a name Access does not allow
    InvalidDefinition,
    StringTooLong,  // text or binary longer than the column
    OutOfRange,     // number outside the column type
    InvalidValue,   // a value of the wrong kind for the column
    Duplicate,      // unique index violated
    RequiredNull,   // NULL into a required column
    RowTooLarge,    // row over 4060 bytes
    Unsupported,
    ForeignKey,     // a child row without its parent row
  };
  Error(Code code, const std::string& message, std::string column = {})
      : std::runtime_error(message), code_(code), column_(std::move(column)) {}
  Code code() const { return code_; }
  const std::string& column() const { return column_; }

 private:
  Code code_;
  std::string column_;
};

// Rolls back a change a killed writer left unfinished in the file at path
// (the same repair any open does). True when there was one to undo; false
// when there was none or the file cannot be opened (the caller's own open
// then says why).
bool rollBackInterruptedWrite(const std::string& path);

class Database {
 public:
  // Creates a blank database; fails with Exists when the path is taken.
  static std::unique_ptr<Database> create(const std::string& path);
  // Opens an existing Jet 4 file. Writable opens take an exclusive lock.
  static std::unique_ptr<Database> open(const std::string& path,
                                        bool writable = true);
  virtual ~Database() = default;

  virtual const std::string& path() const = 0;
  // The open found a change that a writer killed mid-operation left
  // unfinished, and rolled it back.
  virtual bool rolledBackOnOpen() const { return false; }

  // User tables, in catalogue order. Names compare as Access compares them
  // (case-insensitive).
  virtual std::vector<std::string> tableNames() const = 0;
  virtual bool hasTable(const std::string& name) const = 0;
  virtual TableSpec tableSpec(const std::string& name) const = 0;
  virtual uint32_t rowCount(const std::string& table) const = 0;

  // Each operation is atomic: on failure the file is as it was before.
  virtual void createTable(const TableSpec& spec) = 0;
  virtual void createIndex(const std::string& table, const IndexSpec& spec) = 0;
  // Fails with InvalidDefinition for a table in a relationship.
  virtual void dropTable(const std::string& name) = 0;
  // Sets the Description of a table (column empty) or of one of its
  // columns; empty text removes it.
  virtual void setDescription(const std::string& table, const std::string& column,
                              const std::string& text) = 0;
  // Adds a relationship. An enforced one needs a unique index over the
  // referenced columns (InvalidDefinition otherwise) and fails with
  // ForeignKey when rows of the child break it; both messages are the ones
  // Access users know.
  virtual void createRelationship(const RelationshipSpec& spec) = 0;
  virtual std::vector<RelationshipSpec> relationships() const = 0;
  // Null into an AutoNumber column takes the next counter value.
  virtual void insertRow(const std::string& table,
                         const std::vector<Value>& values) = 0;

  // Calls visit for every row in storage order until it returns false.
  virtual void scanRows(
      const std::string& table,
      const std::function<bool(const std::vector<Value>&)>& visit) const = 0;

  // True when another program changed the file since this object last
  // read or wrote it; reload() then re-reads the catalogue.
  virtual bool changedOnDisk() const = 0;
  virtual void reload() = 0;
};

}  // namespace jet
