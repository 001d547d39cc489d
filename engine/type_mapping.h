// From one MySQL column (as the driver's column catalogue describes it) to
// the column definition of the Access table. Pure: no ODBC calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace engine {

// The catalogue fields the mapping needs (SQLColumns under ODBC 3).
struct SourceColumn {
  std::string name;          // COLUMN_NAME, whole
  int16_t dataType = 0;      // DATA_TYPE
  std::string typeName;      // TYPE_NAME, e.g. "INT UNSIGNED"
  int32_t columnSize = 0;    // COLUMN_SIZE (precision for decimals)
  int16_t decimalDigits = 0; // DECIMAL_DIGITS (scale for decimals)
  std::string isNullable;    // IS_NULLABLE: "YES", "NO" or empty
  // Decided by the table's plan, not the catalogue: the size of a text
  // column in UTF-16 units when the stored values need more than
  // COLUMN_SIZE (0: COLUMN_SIZE stands), and text made Memo so the row fits.
  int32_t accessTextSize = 0;
  bool memo = false;
};

// How the row copy renders a value of this column.
enum class ValueStyle {
  Text,       // quoted text
  Number,     // the driver's digits, bare
  NumberText, // the driver's digits, quoted (decimals too wide for Access)
  Bit,        // 0 or 1
  Binary,     // 0x hexadecimal
  Double,     // every digit of a double
  Single,     // every digit of a float
  Timestamp,  // 'D/M/YYYY H:MM:SS'
  DateText,   // quoted, zero dates NULL
  TimeText,   // quoted
};

struct AccessColumnType {
  std::string typeWord;           // "VARCHAR", "DECIMAL", "MEMO", ...
  std::optional<std::string> size; // "(...)" contents, when sized
  std::string keyNull;            // null clause when the column is in the key
  std::string nullableNull;       // null clause when IS_NULLABLE is YES
  ValueStyle style = ValueStyle::Text;
};

// Access holds at most 28 decimal digits; wider decimals become text.
inline constexpr int kAccessDecimalDigits = 28;
// Texts longer than this become Memo.
inline constexpr int kAccessTextLimit = 255;

// Whether the column maps to a sized Access text column (not Memo), and
// to any text column holding the source's own characters.
bool isSizedText(const SourceColumn& column);
bool isCharacterColumn(const SourceColumn& column);

// Every type code gets a type: codes the table does not know become Memo
// with their text quoted, so every source column has a destination column.
AccessColumnType mapColumnType(const SourceColumn& column);

enum class KeyRole { None, SoleKey, PartOfKey };

// What the full schema adds to a column's definition.
struct ColumnSchema {
  std::optional<uint64_t> counterSeed;  // an AutoNumber starting there
  std::string defaultLiteral;           // Access's DEFAULT literal; empty: none
};

// Access cannot index Memo and OLE Object columns.
bool accessCanIndex(const SourceColumn& column);
// "Memo" or "OLE Object": the Access type that cannot be indexed.
std::string unindexableTypeName(const SourceColumn& column);

// "[name] TYPE(size)PRIMARY KEY NOT NULL" and its siblings. `accessName` is
// the destination column name (valid for Access, see identifiers.h).
std::string columnDefinition(const SourceColumn& column, const std::string& accessName,
                             KeyRole role, const ColumnSchema& schema = {});

}  // namespace engine
