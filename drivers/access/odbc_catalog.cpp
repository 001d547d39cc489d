// Catalogue functions: result sets the driver builds from the file's
// catalogue rather than from a statement.
#include <cctype>

#include "drivers/access/describe.h"
#include "drivers/access/odbc_api.h"

namespace tabulex::access {

namespace {

// Columns of a result set made by the driver itself (catalogue functions).
ResultColumn textColumn(const char* name, uint16_t length = 128) {
  ResultColumn c;
  c.name = name;
  c.spec.name = name;
  c.spec.type = jet::ColumnType::Text;
  c.spec.length = length;
  return c;
}
ResultColumn shortColumn(const char* name, bool required = false) {
  ResultColumn c;
  c.name = name;
  c.spec.name = name;
  c.spec.type = jet::ColumnType::Integer;
  c.spec.required = required;
  return c;
}
ResultColumn longColumn(const char* name) {
  ResultColumn c;
  c.name = name;
  c.spec.name = name;
  c.spec.type = jet::ColumnType::Long;
  return c;
}

// Case-blind LIKE with % and _, and \ as the escape character.
bool likeMatch(const std::string& pattern, const std::string& text, size_t p = 0, size_t t = 0) {
  while (p < pattern.size()) {
    char c = pattern[p];
    if (c == '%') {
      for (size_t k = t; k <= text.size(); ++k)
        if (likeMatch(pattern, text, p + 1, k)) return true;
      return false;
    }
    if (t >= text.size()) return false;
    if (c == '\\' && p + 1 < pattern.size()) {
      c = pattern[++p];
      if (std::tolower(static_cast<unsigned char>(c)) !=
          std::tolower(static_cast<unsigned char>(text[t])))
        return false;
    } else if (c != '_' && std::tolower(static_cast<unsigned char>(c)) !=
                               std::tolower(static_cast<unsigned char>(text[t]))) {
      return false;
    }
    ++p;
    ++t;
  }
  return t == text.size();
}

bool nameMatches(SQLCHAR* pattern, SQLSMALLINT length, const std::string& name) {
  if (!pattern) return true;
  std::string p = inText(pattern, length);
  if (p.empty() || p == "%") return true;
  return likeMatch(p, name);
}

std::string catalogName(const Dbc& d) {
  std::string p = d.path;
  if (p.size() > 4) p.resize(p.size() - 4);
  return p;
}

}  // namespace

SQLRETURN tables(Stmt* s, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema,
                 SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* type,
                 SQLSMALLINT typeLen) {
  return guarded(s, [&] {
    Dbc& d = connectedDbc(s);
    ResultSet rs;
    rs.columns = {textColumn("TABLE_CAT"), textColumn("TABLE_SCHEM"), textColumn("TABLE_NAME"),
                  textColumn("TABLE_TYPE"), textColumn("REMARKS", 254)};
    std::string c = inText(cat, catLen), sc = inText(schema, schemaLen),
                t = inText(table, tableLen), ty = inText(type, typeLen);
    if (c == "%" && sc.empty() && t.empty()) {
      rs.rows.push_back({catalogName(d), jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}});
    } else if (sc == "%" && c.empty() && t.empty()) {
      // No schemas: an empty list.
    } else if (ty == "%" && c.empty() && sc.empty() && t.empty()) {
      rs.rows.push_back({jet::Null{}, jet::Null{}, jet::Null{}, std::string("TABLE"),
                         jet::Null{}});
    } else {
      bool wantTables = ty.empty();
      if (!wantTables) {
        std::string upper = ty;
        for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        // A list such as 'TABLE','VIEW' or TABLE, SYSTEM TABLE.
        size_t pos = 0;
        while ((pos = upper.find("TABLE", pos)) != std::string::npos) {
          bool system = pos >= 7 && upper.compare(pos - 7, 7, "SYSTEM ") == 0;
          bool global = pos >= 7 && upper.compare(pos - 7, 7, "GLOBAL ") == 0;
          bool local = pos >= 6 && upper.compare(pos - 6, 6, "LOCAL ") == 0;
          if (!system && !global && !local) wantTables = true;
          pos += 5;
        }
      }
      if (wantTables) {
        SharedDatabase& shared = *d.database;
        std::lock_guard<std::mutex> lock(shared.mutex);
        for (const auto& name : openDb(shared).tableNames())
          if (nameMatches(table, tableLen, name))
            rs.rows.push_back({catalogName(d), jet::Null{}, name, std::string("TABLE"),
                               jet::Null{}});
      }
    }
    setResult(s, std::move(rs));
    return SQL_SUCCESS;
  });
}

SQLRETURN columns(Stmt* s, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                  SQLSMALLINT columnLen) {
  return guarded(s, [&] {
    Dbc& d = connectedDbc(s);
    ResultSet rs;
    rs.columns = {textColumn("TABLE_CAT"),        textColumn("TABLE_SCHEM"),
                  textColumn("TABLE_NAME"),       textColumn("COLUMN_NAME"),
                  shortColumn("DATA_TYPE", true), textColumn("TYPE_NAME"),
                  longColumn("COLUMN_SIZE"),      longColumn("BUFFER_LENGTH"),
                  shortColumn("DECIMAL_DIGITS"),  shortColumn("NUM_PREC_RADIX"),
                  shortColumn("NULLABLE", true),  textColumn("REMARKS", 254),
                  textColumn("COLUMN_DEF", 254),  shortColumn("SQL_DATA_TYPE", true),
                  shortColumn("SQL_DATETIME_SUB"), longColumn("CHAR_OCTET_LENGTH"),
                  longColumn("ORDINAL_POSITION"), textColumn("IS_NULLABLE", 254)};
    SharedDatabase& shared = *d.database;
    std::lock_guard<std::mutex> lock(shared.mutex);
    for (const auto& name : openDb(shared).tableNames()) {
      if (!nameMatches(table, tableLen, name)) continue;
      const jet::TableSpec& spec = shared.specs.get(openDb(shared), name);
      int ordinal = 0;
      for (const auto& col : spec.columns) {
        ++ordinal;
        if (!nameMatches(column, columnLen, col.name)) continue;
        ColumnInfo info = describeColumn(col);
        SQLSMALLINT type = typeForVersion(info.sqlType, d.env->odbcVersion);
        bool isDate = col.type == jet::ColumnType::DateTime;
        bool isChar = col.type == jet::ColumnType::Text || col.type == jet::ColumnType::Memo ||
                      col.type == jet::ColumnType::Binary || col.type == jet::ColumnType::OLE;
        std::vector<jet::Value> row = {
            catalogName(d),
            jet::Null{},
            spec.name,
            col.name,
            int64_t{type},
            std::string(info.typeName),
            static_cast<int64_t>(info.columnSize),
            static_cast<int64_t>(info.octetLength),
            info.numPrecRadix ? jet::Value(int64_t{info.decimalDigits}) : jet::Value(jet::Null{}),
            info.numPrecRadix ? jet::Value(int64_t{info.numPrecRadix}) : jet::Value(jet::Null{}),
            int64_t{col.required ? SQL_NO_NULLS : SQL_NULLABLE},
            jet::Null{},
            jet::Null{},
            int64_t{isDate ? SQL_DATETIME : info.sqlType},
            isDate ? jet::Value(int64_t{SQL_CODE_TIMESTAMP}) : jet::Value(jet::Null{}),
            isChar ? jet::Value(static_cast<int64_t>(info.octetLength)) : jet::Value(jet::Null{}),
            int64_t{ordinal},
            std::string(col.required ? "NO" : "YES")};
        rs.rows.push_back(std::move(row));
      }
    }
    setResult(s, std::move(rs));
    return SQL_SUCCESS;
  });
}

SQLRETURN primaryKeys(Stmt* s, SQLCHAR* table, SQLSMALLINT tableLen) {
  return guarded(s, [&] {
    Dbc& d = connectedDbc(s);
    ResultSet rs;
    rs.columns = {textColumn("TABLE_CAT"),  textColumn("TABLE_SCHEM"),
                  textColumn("TABLE_NAME"), textColumn("COLUMN_NAME"),
                  shortColumn("KEY_SEQ", true), textColumn("PK_NAME")};
    std::string name = inText(table, tableLen);
    SharedDatabase& shared = *d.database;
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (openDb(shared).hasTable(name)) {
      const jet::TableSpec& spec = shared.specs.get(openDb(shared), name);
      for (const auto& ix : spec.indexes) {
        if (!ix.primaryKey) continue;
        int seq = 0;
        for (const auto& col : ix.columns)
          rs.rows.push_back({catalogName(d), jet::Null{}, spec.name, col, int64_t{++seq},
                             ix.name});
      }
    }
    setResult(s, std::move(rs));
    return SQL_SUCCESS;
  });
}

SQLRETURN statistics(Stmt* s, SQLCHAR* table, SQLSMALLINT tableLen) {
  return guarded(s, [&] {
    Dbc& d = connectedDbc(s);
    ResultSet rs;
    rs.columns = {textColumn("TABLE_CAT"),       textColumn("TABLE_SCHEM"),
                  textColumn("TABLE_NAME"),      shortColumn("NON_UNIQUE"),
                  textColumn("INDEX_QUALIFIER"), textColumn("INDEX_NAME"),
                  shortColumn("TYPE", true),     shortColumn("ORDINAL_POSITION"),
                  textColumn("COLUMN_NAME"),     textColumn("ASC_OR_DESC", 1),
                  longColumn("CARDINALITY"),     longColumn("PAGES"),
                  textColumn("FILTER_CONDITION")};
    std::string name = inText(table, tableLen);
    SharedDatabase& shared = *d.database;
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (openDb(shared).hasTable(name)) {
      const jet::TableSpec& spec = shared.specs.get(openDb(shared), name);
      rs.rows.push_back({catalogName(d), jet::Null{}, spec.name, jet::Null{}, jet::Null{},
                         jet::Null{}, int64_t{SQL_TABLE_STAT}, jet::Null{}, jet::Null{},
                         jet::Null{}, static_cast<int64_t>(openDb(shared).rowCount(spec.name)),
                         jet::Null{}, jet::Null{}});
      for (const auto& ix : spec.indexes) {
        for (size_t k = 0; k < ix.columns.size(); ++k) {
          bool desc = k < ix.descending.size() && ix.descending[k];
          rs.rows.push_back({catalogName(d), jet::Null{}, spec.name,
                             int64_t{ix.unique || ix.primaryKey ? SQL_FALSE : SQL_TRUE},
                             jet::Null{}, ix.name, int64_t{SQL_INDEX_OTHER},
                             static_cast<int64_t>(k + 1), ix.columns[k],
                             std::string(desc ? "D" : "A"), jet::Null{}, jet::Null{},
                             jet::Null{}});
        }
      }
    }
    setResult(s, std::move(rs));
    return SQL_SUCCESS;
  });
}

SQLRETURN typeInfo(Stmt* s, SQLSMALLINT wanted) {
  return guarded(s, [&] {
    ResultSet rs;
    rs.columns = {textColumn("TYPE_NAME"),          shortColumn("DATA_TYPE", true),
                  longColumn("COLUMN_SIZE"),        textColumn("LITERAL_PREFIX"),
                  textColumn("LITERAL_SUFFIX"),     textColumn("CREATE_PARAMS"),
                  shortColumn("NULLABLE", true),    shortColumn("CASE_SENSITIVE", true),
                  shortColumn("SEARCHABLE", true),  shortColumn("UNSIGNED_ATTRIBUTE"),
                  shortColumn("FIXED_PREC_SCALE", true), shortColumn("AUTO_UNIQUE_VALUE"),
                  textColumn("LOCAL_TYPE_NAME"),    shortColumn("MINIMUM_SCALE"),
                  shortColumn("MAXIMUM_SCALE"),     shortColumn("SQL_DATA_TYPE", true),
                  shortColumn("SQL_DATETIME_SUB"),  longColumn("NUM_PREC_RADIX"),
                  shortColumn("INTERVAL_PRECISION")};
    struct T {
      jet::ColumnType type;
      const char* prefix;
      const char* params;
      bool autoNumber;
    };
    static const T kTypes[] = {
        {jet::ColumnType::Boolean, nullptr, nullptr, false},
        {jet::ColumnType::Byte, nullptr, nullptr, false},
        {jet::ColumnType::Integer, nullptr, nullptr, false},
        {jet::ColumnType::Long, nullptr, nullptr, false},
        {jet::ColumnType::Long, nullptr, nullptr, true},
        {jet::ColumnType::Currency, nullptr, nullptr, false},
        {jet::ColumnType::Single, nullptr, nullptr, false},
        {jet::ColumnType::Double, nullptr, nullptr, false},
        {jet::ColumnType::DateTime, "#", nullptr, false},
        {jet::ColumnType::Binary, "0x", "max length", false},
        {jet::ColumnType::Text, "'", "max length", false},
        {jet::ColumnType::OLE, "0x", nullptr, false},
        {jet::ColumnType::Memo, "'", nullptr, false},
        {jet::ColumnType::GUID, "'", nullptr, false},
        {jet::ColumnType::Numeric, nullptr, "precision,scale", false},
    };
    SQLINTEGER version = s->dbc->env->odbcVersion;
    for (const T& t : kTypes) {
      jet::ColumnSpec spec;
      spec.type = t.type;
      spec.length = 255;
      spec.precision = 28;
      spec.scale = 0;
      spec.autoNumber = t.autoNumber;
      ColumnInfo info = describeColumn(spec);
      SQLSMALLINT type = typeForVersion(info.sqlType, version);
      if (wanted != SQL_ALL_TYPES && wanted != type) continue;
      bool isDate = t.type == jet::ColumnType::DateTime;
      bool isText = t.type == jet::ColumnType::Text || t.type == jet::ColumnType::Memo;
      rs.rows.push_back(
          {std::string(info.typeName), int64_t{type}, static_cast<int64_t>(info.columnSize),
           t.prefix ? jet::Value(std::string(t.prefix)) : jet::Value(jet::Null{}),
           t.prefix && t.prefix[0] != '0' ? jet::Value(std::string(t.prefix))
                                          : jet::Value(jet::Null{}),
           t.params ? jet::Value(std::string(t.params)) : jet::Value(jet::Null{}),
           int64_t{t.autoNumber ? SQL_NO_NULLS : SQL_NULLABLE}, int64_t{SQL_FALSE},
           int64_t{isText || !(t.type == jet::ColumnType::OLE) ? SQL_SEARCHABLE
                                                                : SQL_PRED_NONE},
           info.numPrecRadix ? jet::Value(int64_t{info.isUnsigned}) : jet::Value(jet::Null{}),
           int64_t{info.fixedPrecScale}, info.numPrecRadix ? jet::Value(int64_t{t.autoNumber})
                                                             : jet::Value(jet::Null{}),
           jet::Null{}, t.type == jet::ColumnType::Numeric ? jet::Value(int64_t{0})
                                                           : jet::Value(jet::Null{}),
           t.type == jet::ColumnType::Numeric ? jet::Value(int64_t{28}) : jet::Value(jet::Null{}),
           int64_t{isDate ? SQL_DATETIME : info.sqlType},
           isDate ? jet::Value(int64_t{SQL_CODE_TIMESTAMP}) : jet::Value(jet::Null{}),
           info.numPrecRadix ? jet::Value(int64_t{info.numPrecRadix}) : jet::Value(jet::Null{}),
           jet::Null{}});
    }
    setResult(s, std::move(rs));
    return SQL_SUCCESS;
  });
}

namespace {

const std::vector<const char*> kSpecialColumns = {
    "SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH",
    "DECIMAL_DIGITS", "PSEUDO_COLUMN"};
const std::vector<const char*> kForeignKeyColumns = {
    "PKTABLE_CAT", "PKTABLE_SCHEM", "PKTABLE_NAME", "PKCOLUMN_NAME", "FKTABLE_CAT",
    "FKTABLE_SCHEM", "FKTABLE_NAME", "FKCOLUMN_NAME", "KEY_SEQ", "UPDATE_RULE", "DELETE_RULE",
    "FK_NAME", "PK_NAME", "DEFERRABILITY"};

SQLRETURN emptyResult(Stmt* s, std::vector<const char*> names) {
  return guarded(s, [&] {
    ResultSet rs;
    for (const char* n : names) rs.columns.push_back(textColumn(n));
    setResult(s, std::move(rs));
    return SQL_SUCCESS;
  });
}

}  // namespace

SQLRETURN specialColumns(Stmt* s) { return emptyResult(s, kSpecialColumns); }

SQLRETURN foreignKeys(Stmt* s) { return emptyResult(s, kForeignKeyColumns); }

}  // namespace tabulex::access
