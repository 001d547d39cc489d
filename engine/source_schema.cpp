#include "engine/source_schema.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>

#include "odbc/database.h"

namespace engine {

namespace {

using Row = std::vector<std::optional<std::string>>;

// A string literal the server reads the same under every sql_mode: the
// bytes as hexadecimal, in the character set of the catalogue's names.
std::string literal(const std::string& text) {
  static const char digits[] = "0123456789ABCDEF";
  if (text.empty()) return "_utf8mb4''";
  std::string out = "_utf8mb4 X'";
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out + "'";
}

// Matches one schema object's name: the plain comparison lets the server
// open only that table's entry; the binary one keeps names that differ
// only in letter case apart (the catalogue compares without case).
std::string nameIs(const std::string& column, const std::string& name) {
  return column + " = " + literal(name) + " AND BINARY " + column + " = BINARY " + literal(name);
}

std::vector<Row> rowsOf(CDatabase& database, const std::string& sql) {
  CRecordset set(&database);
  set.Open(CRecordset::forwardOnly, sql, CRecordset::readOnly | CRecordset::executeDirect);
  std::vector<Row> rows;
  const short count = set.GetODBCFieldCount();
  for (; !set.IsEOF(); set.MoveNext()) {
    Row row;
    for (short i = 0; i < count; ++i) {
      CDBVariant value;
      set.GetFieldValue(i, value, SQL_C_CHAR);
      if (value.m_dwType == CDBVariant::DBVT_STRING)
        row.emplace_back(*value.m_pstring);
      else
        row.emplace_back(std::nullopt);
    }
    rows.push_back(std::move(row));
  }
  set.Close();
  return rows;
}

std::string text(const Row& row, std::size_t i) { return row[i].value_or(std::string()); }

uint64_t number(const Row& row, std::size_t i) {
  const std::string digits = text(row, i);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  try {
    return std::stoull(digits);
  } catch (const std::out_of_range&) {
    return UINT64_MAX;
  }
}

std::string upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return text;
}

}  // namespace

SourceTableInfo readSourceTableInfo(const std::string& connect, const std::string& database,
                                    const std::string& table) {
  CDatabase source;
  source.OpenEx(connect, 0);
  const std::string schemaIs = nameIs("TABLE_SCHEMA", database);
  const std::string tableIs = schemaIs + " AND " + nameIs("TABLE_NAME", table);
  SourceTableInfo info;

  for (const Row& row : rowsOf(source,
           "SELECT ENGINE, TABLE_TYPE, TABLE_ROWS, AUTO_INCREMENT, TABLE_COMMENT "
           "FROM information_schema.TABLES WHERE " + tableIs)) {
    info.engine = text(row, 0);
    info.isView = upper(text(row, 1)) == "VIEW";
    info.rowEstimate = number(row, 2);
    if (row[3] && !row[3]->empty()) info.autoIncrement = number(row, 3);
    // A view's comment is the word VIEW, not the user's.
    if (!info.isView) info.comment = text(row, 4);
  }

  std::map<std::string, bool> nullable;
  for (const Row& row : rowsOf(source,
           "SELECT COLUMN_NAME, COLUMN_DEFAULT, EXTRA, COLUMN_COMMENT, COLUMN_TYPE, IS_NULLABLE "
           "FROM information_schema.COLUMNS WHERE " + tableIs + " ORDER BY ORDINAL_POSITION")) {
    SourceColumnExtra column;
    column.name = text(row, 0);
    column.defaultValue = row[1];
    column.extra = text(row, 2);
    column.comment = text(row, 3);
    column.columnType = text(row, 4);
    nullable[column.name] = upper(text(row, 5)) == "YES";
    info.columns.push_back(std::move(column));
  }

  std::map<std::string, SourceIndex> byName;
  for (const Row& row : rowsOf(source,
           "SELECT INDEX_NAME, NON_UNIQUE, COLUMN_NAME, SUB_PART, COLLATION, NULLABLE, INDEX_TYPE "
           "FROM information_schema.STATISTICS WHERE " + tableIs +
           " ORDER BY INDEX_NAME, SEQ_IN_INDEX")) {
    const std::string name = text(row, 0);
    SourceIndex& index = byName[name];
    index.name = name;
    index.primary = name == "PRIMARY";
    index.unique = text(row, 1) == "0";
    index.type = upper(text(row, 6));
    SourceIndexColumn column;
    column.name = text(row, 2);
    column.prefixLength = static_cast<int>(std::min<uint64_t>(number(row, 3), INT32_MAX));
    column.descending = upper(text(row, 4)) == "D";
    // STATISTICS says YES or nothing; the column's own entry is the sure one.
    auto known = nullable.find(column.name);
    column.nullable = known != nullable.end() ? known->second : upper(text(row, 5)) == "YES";
    index.columns.push_back(std::move(column));
  }
  auto primary = byName.find("PRIMARY");
  if (primary != byName.end()) {
    info.indexes.push_back(std::move(primary->second));
    byName.erase(primary);
  }
  for (auto& [name, index] : byName) info.indexes.push_back(std::move(index));

  std::map<std::string, std::pair<std::string, std::string>> rules;
  for (const Row& row : rowsOf(source,
           "SELECT CONSTRAINT_NAME, UPDATE_RULE, DELETE_RULE "
           "FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE " +
           nameIs("CONSTRAINT_SCHEMA", database) + " AND " + nameIs("TABLE_NAME", table)))
    rules[text(row, 0)] = {upper(text(row, 1)), upper(text(row, 2))};

  std::map<std::string, SourceForeignKey> keys;
  std::vector<std::string> keyOrder;
  for (const Row& row : rowsOf(source,
           "SELECT CONSTRAINT_NAME, COLUMN_NAME, REFERENCED_TABLE_SCHEMA, REFERENCED_TABLE_NAME, "
           "REFERENCED_COLUMN_NAME FROM information_schema.KEY_COLUMN_USAGE WHERE " + tableIs +
           " AND REFERENCED_TABLE_NAME IS NOT NULL ORDER BY CONSTRAINT_NAME, ORDINAL_POSITION")) {
    const std::string name = text(row, 0);
    auto [entry, fresh] = keys.try_emplace(name);
    SourceForeignKey& key = entry->second;
    if (fresh) {
      keyOrder.push_back(name);
      key.name = name;
      const std::string referencedSchema = text(row, 2);
      if (referencedSchema != database) key.referencedDatabase = referencedSchema;
      key.referencedTable = text(row, 3);
      auto rule = rules.find(name);
      key.onUpdate = rule != rules.end() ? rule->second.first : "RESTRICT";
      key.onDelete = rule != rules.end() ? rule->second.second : "RESTRICT";
    }
    key.columns.push_back(text(row, 1));
    key.referencedColumns.push_back(text(row, 4));
  }
  for (const std::string& name : keyOrder) info.foreignKeys.push_back(std::move(keys[name]));
  source.Close();
  return info;
}


std::vector<std::string> listViews(const std::string& connect, const std::string& database) {
  CDatabase source;
  source.OpenEx(connect, 0);
  std::vector<std::string> views;
  for (const Row& row : rowsOf(source, "SELECT TABLE_NAME FROM information_schema.VIEWS WHERE " +
                                           nameIs("TABLE_SCHEMA", database) +
                                           " ORDER BY BINARY TABLE_NAME"))
    views.push_back(text(row, 0));
  source.Close();
  return views;
}

std::vector<std::string> chunkKeyColumns(const SourceTableInfo& info) {
  auto usable = [](const SourceIndex& index) {
    return std::all_of(index.columns.begin(), index.columns.end(),
                       [](const SourceIndexColumn& c) { return !c.nullable && c.prefixLength == 0; });
  };
  const SourceIndex* chosen = nullptr;
  for (const SourceIndex& index : info.indexes) {
    if (index.columns.empty() || !index.unique || !usable(index)) continue;
    if (index.primary) {
      chosen = &index;
      break;
    }
    if (!chosen) chosen = &index;
  }
  std::vector<std::string> columns;
  if (chosen)
    for (const SourceIndexColumn& c : chosen->columns) columns.push_back(c.name);
  return columns;
}

std::vector<std::string> indexedColumns(const SourceTableInfo& info) {
  std::vector<std::string> columns;
  auto add = [&](const std::string& name) {
    if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
  };
  for (const SourceIndex& index : info.indexes)
    if (index.type.empty() || index.type == "BTREE" || index.type == "HASH")
      for (const SourceIndexColumn& c : index.columns) add(c.name);
  for (const SourceForeignKey& key : info.foreignKeys)
    for (const std::string& c : key.columns) add(c);
  return columns;
}

}  // namespace engine
