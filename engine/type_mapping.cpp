#include "engine/type_mapping.h"

#include <algorithm>
#include <cctype>

#include "engine/identifiers.h"

namespace engine {

namespace {

bool isUnsigned(const std::string& typeName) {
  std::string upper = typeName;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper.find("UNSIGNED") != std::string::npos;
}

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

bool nullable(const SourceColumn& column) {
  std::string v = column.isNullable;
  std::transform(v.begin(), v.end(), v.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return v == "YES";
}

AccessColumnType sized(std::string word, int32_t size, ValueStyle style) {
  return {std::move(word), std::to_string(std::max<int32_t>(size, 1)), "NOT NULL", "NULL", style};
}

AccessColumnType unsized(std::string word, std::string keyNull, std::string nullableNull,
                         ValueStyle style) {
  return {std::move(word), std::nullopt, std::move(keyNull), std::move(nullableNull), style};
}

}  // namespace

bool isCharacterColumn(const SourceColumn& c) {
  return c.dataType == 12 || c.dataType == 1 || c.dataType == -9 || c.dataType == -8;
}

bool isSizedText(const SourceColumn& c) {
  return mapColumnType(c).size && isCharacterColumn(c);
}

AccessColumnType mapColumnType(const SourceColumn& c) {
  const int32_t textSize = std::max(c.columnSize, c.accessTextSize);
  switch (c.dataType) {
    case 12:  // varchar
    case 1:   // char
      if (textSize > kAccessTextLimit || c.memo)
        return unsized("Memo", "NOT NULL", "NULL", ValueStyle::Text);
      return sized(c.typeName, textSize, ValueStyle::Text);
    case -9:  // wide varchar
    case -8:  // wide char
      if (textSize > kAccessTextLimit || c.memo)
        return unsized("Memo", "NOT NULL", "NULL", ValueStyle::Text);
      return sized("VARCHAR", textSize, ValueStyle::Text);
    case -10:
      return unsized("MEMO", "NOT NULL", "NULL", ValueStyle::Text);
    case -1:
      return unsized("memo", "NOT NULL", "NULL", ValueStyle::Text);
    case -7:
      // A Yes/No column cannot hold NULL.
      if (nullable(c)) return unsized("BYTE", "NOT NULL", "NULL", ValueStyle::Bit);
      return unsized("bit", "NOT NULL", "NULL", ValueStyle::Bit);
    case -6:
      // Access's Byte is unsigned.
      if (isUnsigned(c.typeName)) return unsized("byte", "", "NULL", ValueStyle::Number);
      return unsized("SMALLINT", "", "NULL", ValueStyle::Number);
    case -5:
      // Jet 4 has no 64-bit integer.
      if (isUnsigned(c.typeName)) return {"DECIMAL", "20,0", "NOT NULL", "NULL", ValueStyle::Number};
      return {"DECIMAL", "19,0", "NOT NULL", "NULL", ValueStyle::Number};
    case -4:
    case -3:
    case -2:
      // The driver lists addresses and UUIDs as bytes; their values are
      // the text forms, at most this long.
      if (startsWithNoCase(c.typeName, "INET4") && c.typeName.size() == 5)
        return sized("VARCHAR", 15, ValueStyle::Text);
      if (startsWithNoCase(c.typeName, "INET6") && c.typeName.size() == 5)
        return sized("VARCHAR", 45, ValueStyle::Text);
      if (startsWithNoCase(c.typeName, "UUID") && c.typeName.size() == 4)
        return sized("VARCHAR", 36, ValueStyle::Text);
      return unsized("OLEObject", "", "NULL", ValueStyle::Binary);
    case 4:
      if (isUnsigned(c.typeName) && !startsWithNoCase(c.typeName, "MEDIUMINT"))
        return {"DECIMAL", "10,0", "", "NULL", ValueStyle::Number};
      return unsized("INTEGER", "", "NULL", ValueStyle::Number);
    case 5:
      return unsized("INTEGER", "NOT NULL", "NULL", ValueStyle::Number);
    case 8:
      return unsized("DOUBLE", "NOT NULL", "NULL", ValueStyle::Double);
    case 6:
      return unsized("DOUBLE", "NOT NULL", "NULL", ValueStyle::Double);
    case 7:
      return unsized("REAL", "NOT NULL", "NULL", ValueStyle::Single);
    case 3:
    case 2: {
      std::string nullableNull = c.dataType == 2 ? "" : "NULL";
      if (c.columnSize > kAccessDecimalDigits) {
        // Sign and decimal point besides the digits.
        return {"VARCHAR", std::to_string(c.columnSize + 2), "NOT NULL", nullableNull,
                ValueStyle::NumberText};
      }
      int precision = std::max<int32_t>(c.columnSize, 1);
      int scale = std::clamp<int>(c.decimalDigits, 0, precision);
      return {"DECIMAL", std::to_string(precision) + "," + std::to_string(scale), "NOT NULL",
              nullableNull, ValueStyle::Number};
    }
    case 93:
      return unsized(c.typeName, "NOT NULL", "NULL", ValueStyle::Timestamp);
    case 91:
      return unsized("VARCHAR(20)", "NOT NULL", "NULL", ValueStyle::DateText);
    case 92:
      return unsized("VARCHAR(20)", "NOT NULL", "NULL", ValueStyle::TimeText);
    default:
      return unsized("MEMO", "NOT NULL", "NULL", ValueStyle::Text);
  }
}

std::string unindexableTypeName(const SourceColumn& column) {
  std::string word = mapColumnType(column).typeWord;
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "memo") return "Memo";
  if (word == "oleobject") return "OLE Object";
  return {};
}

bool accessCanIndex(const SourceColumn& column) { return unindexableTypeName(column).empty(); }

std::string columnDefinition(const SourceColumn& column, const std::string& name, KeyRole role,
                             const ColumnSchema& schema) {
  AccessColumnType type = mapColumnType(column);
  if (schema.counterSeed) {
    // An AutoNumber is a Long Integer that never holds NULL.
    type = unsized("COUNTER(" + std::to_string(*schema.counterSeed) + ", 1)", "", "NOT NULL",
                   type.style);
  }
  std::string keyClause = role == KeyRole::SoleKey ? "PRIMARY KEY" : "";
  std::string nullClause;
  if (role != KeyRole::None)
    nullClause = type.keyNull;
  else
    nullClause = nullable(column) ? type.nullableNull : "NOT NULL";

  std::string out = quoteAccess(name) + " " + type.typeWord;
  if (type.size)
    out += "(" + *type.size + ")" + keyClause + " " + nullClause;
  else
    out += " " + keyClause + " " + nullClause;
  if (!schema.defaultLiteral.empty()) out += " DEFAULT " + schema.defaultLiteral;
  return out;
}

}  // namespace engine
