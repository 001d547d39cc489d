#include "drivers/access/executor.h"

#include <algorithm>
#include <cmath>

#include "drivers/access/values.h"

namespace tabulex::access {
namespace {

using jet::ColumnType;

char32_t foldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9) ||
      (c >= 0x410 && c <= 0x42F))
    return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

std::u32string folded(const std::string& s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char b = s[i];
    char32_t c;
    size_t n;
    if (b < 0x80) {
      c = b;
      n = 1;
    } else if ((b >> 5) == 6 && i + 1 < s.size()) {
      c = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
      n = 2;
    } else if ((b >> 4) == 14 && i + 2 < s.size()) {
      c = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      n = 3;
    } else if ((b >> 3) == 30 && i + 3 < s.size()) {
      c = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
          (s[i + 3] & 0x3F);
      n = 4;
    } else {
      c = b;
      n = 1;
    }
    out += foldCase(c);
    i += n;
  }
  return out;
}

const jet::TableSpec& tableOrThrow(jet::Database& db, SpecCache& specs, const std::string& t) {
  if (!db.hasTable(t))
    throw DriverError("42S02", "The table '" + t + "' does not exist.");
  return specs.get(db, t);
}

size_t columnIndex(const jet::TableSpec& spec, const std::string& name) {
  for (size_t i = 0; i < spec.columns.size(); ++i)
    if (sameName(spec.columns[i].name, name)) return i;
  throw DriverError("42S22", "The column '" + name + "' does not exist in table '" +
                                 spec.name + "'.");
}

std::string uniqueIndexName(const std::vector<jet::IndexSpec>& existing, std::string base) {
  std::string name = base;
  for (int n = 1;; ++n) {
    bool taken = false;
    for (const auto& ix : existing) taken = taken || sameName(ix.name, name);
    if (!taken) return name;
    name = base + std::to_string(n);
  }
}

// Runs a schema change. The cached table definitions are stale afterwards
// whether it worked or not, and a library error becomes the driver's own.
template <typename Change>
ExecResult changeSchema(SpecCache& specs, Change change) {
  try {
    change();
  } catch (const jet::Error& e) {
    specs.clear();
    rethrowJetError(e);
  }
  specs.clear();
  ExecResult r;
  r.rowCount = 0;
  return r;
}

jet::RelationshipSpec relationshipFor(const std::string& table, const ConstraintDef& fk) {
  if (fk.name.empty())
    throw DriverError("42000", "A FOREIGN KEY needs a name: CONSTRAINT name FOREIGN KEY (...).");
  if (fk.columns.size() != fk.referencedColumns.size())
    throw DriverError("42000", "The relationship '" + fk.name + "' pairs " + std::to_string(fk.columns.size()) +
                                   " columns with " + std::to_string(fk.referencedColumns.size()) + ".");
  jet::RelationshipSpec r;
  r.name = fk.name;
  r.table = table;
  r.columns = fk.columns;
  r.referencedTable = fk.referencedTable;
  r.referencedColumns = fk.referencedColumns;
  r.enforced = fk.enforced;
  r.cascadeUpdates = fk.cascadeUpdates;
  r.cascadeDeletes = fk.cascadeDeletes;
  return r;
}

ExecResult createTable(jet::Database& db, SpecCache& specs, const CreateTable& ct) {
  if (db.hasTable(ct.table))
    throw DriverError("42S01", "The table '" + ct.table + "' already exists.");
  jet::TableSpec spec;
  spec.name = ct.table;
  std::vector<std::string> primary;
  for (const auto& col : ct.columns) {
    for (const auto& seen : spec.columns)
      if (sameName(seen.name, col.name))
        throw DriverError("42S21", "The column '" + col.name + "' is defined more than once.");
    jet::ColumnSpec c;
    c.name = col.name;
    applyTypeName(col.type, c);
    c.required = col.notNull || col.primaryKey;
    if (!col.defaultValue.empty()) {
      // A default the column cannot hold would fail every INSERT that
      // leaves the column out; Access refuses it here.
      c.defaultValue = col.defaultValue;
      jet::Value probe;
      try {
        defaultValueOf(c, probe);
      } catch (const DriverError& e) {
        throw DriverError("42000", "The default " + c.defaultValue + " does not suit column '" + c.name +
                                       "': " + e.what());
      }
    }
    spec.columns.push_back(c);
    if (col.primaryKey) {
      if (!primary.empty())
        throw DriverError("42000", "The table '" + ct.table +
                                       "' has more than one primary key column clause; use "
                                       "CONSTRAINT name PRIMARY KEY (columns).");
      primary.push_back(col.name);
    }
    if (col.unique) {
      jet::IndexSpec ix;
      ix.name = uniqueIndexName(spec.indexes, col.name);
      ix.columns = {col.name};
      ix.unique = true;
      spec.indexes.push_back(ix);
    }
  }
  std::vector<const ConstraintDef*> foreignKeys;
  for (const auto& con : ct.constraints) {
    if (con.kind == ConstraintDef::Kind::ForeignKey) {
      foreignKeys.push_back(&con);
      continue;
    }
    for (const auto& name : con.columns) {
      auto it = std::find_if(spec.columns.begin(), spec.columns.end(),
                             [&](const jet::ColumnSpec& c) { return sameName(c.name, name); });
      if (it == spec.columns.end())
        throw DriverError("42S22", "The constraint names the column '" + name +
                                       "', which the table does not define.");
      if (con.primaryKey) it->required = true;
    }
    if (con.primaryKey) {
      if (!primary.empty())
        throw DriverError("42000", "The table '" + ct.table + "' has more than one primary key.");
      primary = con.columns;
      if (!con.name.empty()) {
        jet::IndexSpec ix;
        ix.name = uniqueIndexName(spec.indexes, con.name);
        ix.columns = con.columns;
        ix.primaryKey = true;
        ix.unique = true;
        spec.indexes.insert(spec.indexes.begin(), ix);
        continue;
      }
    } else {
      jet::IndexSpec ix;
      ix.name = uniqueIndexName(spec.indexes, con.name.empty() ? con.columns.front() : con.name);
      ix.columns = con.columns;
      ix.unique = true;
      spec.indexes.push_back(ix);
    }
  }
  bool havePrimaryIndex = std::any_of(spec.indexes.begin(), spec.indexes.end(),
                                      [](const jet::IndexSpec& ix) { return ix.primaryKey; });
  if (!primary.empty() && !havePrimaryIndex) {
    jet::IndexSpec ix;
    ix.name = uniqueIndexName(spec.indexes, "PrimaryKey");
    ix.columns = primary;
    ix.primaryKey = true;
    ix.unique = true;
    spec.indexes.insert(spec.indexes.begin(), ix);
  }
  // What can be known before the table exists is checked first: a
  // relationship made with it can only be undone while it is the only one.
  for (const ConstraintDef* fk : foreignKeys) {
    relationshipFor(ct.table, *fk);
    if (!sameName(fk->referencedTable, ct.table) && !db.hasTable(fk->referencedTable))
      throw DriverError("42S02", "The table '" + fk->referencedTable + "' does not exist.");
    for (const auto& r : db.relationships())
      if (sameName(r.name, fk->name))
        throw DriverError("42S01", "A relationship named '" + fk->name + "' already exists.");
    // The new table holds no rows to break it; what remains is the
    // parent's unique index over exactly the referenced columns.
    if (!fk->enforced) continue;
    const jet::TableSpec& parent =
        sameName(fk->referencedTable, ct.table) ? spec : tableOrThrow(db, specs, fk->referencedTable);
    auto covers = [&](const jet::IndexSpec& ix) {
      if (!(ix.unique || ix.primaryKey) || ix.columns.size() != fk->referencedColumns.size()) return false;
      for (const auto& c : fk->referencedColumns)
        if (std::none_of(ix.columns.begin(), ix.columns.end(), [&](const std::string& i) { return sameName(i, c); }))
          return false;
      return true;
    };
    if (std::none_of(parent.indexes.begin(), parent.indexes.end(), covers))
      throw DriverError("42000", "Relationship '" + fk->name + "' cannot be enforced: the referenced columns of '" +
                                     parent.name + "' have no unique index");
  }
  return changeSchema(specs, [&] {
    db.createTable(spec);
    // The statement stands or falls as a whole.
    try {
      for (const ConstraintDef* fk : foreignKeys) db.createRelationship(relationshipFor(ct.table, *fk));
    } catch (...) {
      try {
        db.dropTable(ct.table);
      } catch (...) {
      }
      throw;
    }
  });
}

ExecResult createIndex(jet::Database& db, SpecCache& specs, const CreateIndex& ci) {
  const jet::TableSpec& spec = tableOrThrow(db, specs, ci.table);
  jet::IndexSpec ix;
  ix.name = ci.name;
  for (const auto& c : ci.columns) ix.columns.push_back(spec.columns[columnIndex(spec, c)].name);
  ix.descending = ci.descending;
  ix.primaryKey = ci.primary;
  ix.unique = ci.unique || ci.primary;
  ix.ignoreNulls = ci.ignoreNull;
  ix.required = ci.disallowNull;
  for (const auto& existing : spec.indexes)
    if (sameName(existing.name, ci.name))
      throw DriverError("42S11", "The index '" + ci.name + "' already exists on table '" +
                                     spec.name + "'.");
  std::string table = spec.name;
  return changeSchema(specs, [&] { db.createIndex(table, ix); });
}

ExecResult alterTable(jet::Database& db, SpecCache& specs, const AlterTable& at) {
  const jet::TableSpec& spec = tableOrThrow(db, specs, at.table);
  const ConstraintDef& con = at.constraint;
  if (con.kind == ConstraintDef::Kind::ForeignKey) {
    if (!db.hasTable(con.referencedTable))
      throw DriverError("42S02", "The table '" + con.referencedTable + "' does not exist.");
    jet::RelationshipSpec r = relationshipFor(spec.name, con);
    return changeSchema(specs, [&] { db.createRelationship(r); });
  }
  jet::IndexSpec ix;
  for (const auto& c : con.columns) ix.columns.push_back(spec.columns[columnIndex(spec, c)].name);
  ix.primaryKey = con.primaryKey;
  ix.unique = true;
  ix.name = con.name.empty() ? uniqueIndexName(spec.indexes, con.primaryKey ? "PrimaryKey" : ix.columns.front())
                             : con.name;
  std::string table = spec.name;
  return changeSchema(specs, [&] { db.createIndex(table, ix); });
}

ExecResult comment(jet::Database& db, SpecCache& specs, const Comment& c) {
  const jet::TableSpec& spec = tableOrThrow(db, specs, c.table);
  std::string column;
  if (!c.column.empty()) column = spec.columns[columnIndex(spec, c.column)].name;
  std::string table = spec.name;
  return changeSchema(specs, [&] { db.setDescription(table, column, c.text); });
}

ExecResult dropTable(jet::Database& db, SpecCache& specs, const DropTable& dt) {
  if (!db.hasTable(dt.table))
    throw DriverError("42S02", "The table '" + dt.table + "' does not exist.");
  return changeSchema(specs, [&] { db.dropTable(dt.table); });
}

ExecResult insert(jet::Database& db, SpecCache& specs, const Insert& ins) {
  std::vector<jet::Value> row;
  executeInsert(db, specs, ins, row);
  ExecResult r;
  r.rowCount = 1;
  return r;
}

int compareValues(const jet::Value& a, const jet::Value& b) {
  bool an = std::holds_alternative<jet::Null>(a), bn = std::holds_alternative<jet::Null>(b);
  if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
  if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
  auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  if (auto* x = std::get_if<bool>(&a)) return cmp(*x, std::get<bool>(b));
  if (auto* x = std::get_if<int64_t>(&a)) return cmp(*x, std::get<int64_t>(b));
  if (auto* x = std::get_if<double>(&a)) return cmp(*x, std::get<double>(b));
  if (auto* x = std::get_if<std::string>(&a)) {
    std::u32string fa = folded(*x), fb = folded(std::get<std::string>(b));
    return cmp(fa, fb);
  }
  if (auto* x = std::get_if<jet::Bytes>(&a)) {
    const auto& y = std::get<jet::Bytes>(b);
    size_t n = std::min(x->size(), y.size());
    for (size_t i = 0; i < n; ++i)
      if ((*x)[i] != y[i]) return (*x)[i] < y[i] ? -1 : 1;
    return cmp(x->size(), y.size());
  }
  if (auto* x = std::get_if<jet::Currency>(&a))
    return cmp(x->scaled, std::get<jet::Currency>(b).scaled);
  if (auto* x = std::get_if<jet::DateTime>(&a))
    return cmp(x->days, std::get<jet::DateTime>(b).days);
  if (auto* x = std::get_if<jet::Numeric>(&a)) {
    const auto& y = std::get<jet::Numeric>(b);
    // Same column, same scale: compare signed magnitudes.
    if (x->negative != y.negative) return x->negative ? -1 : 1;
    int c = cmp(x->magnitude, y.magnitude);
    return x->negative ? -c : c;
  }
  if (auto* x = std::get_if<jet::Guid>(&a)) return cmp(x->bytes, std::get<jet::Guid>(b).bytes);
  return 0;
}

ExecResult select(jet::Database& db, SpecCache& specs, const Select& sel, bool withRows = true) {
  const jet::TableSpec& spec = tableOrThrow(db, specs, sel.table);
  ExecResult r;
  ResultSet rs;
  if (sel.countAll) {
    ResultColumn col;
    col.name = "Expr1000";
    col.spec.name = col.name;
    col.spec.type = ColumnType::Long;
    rs.columns.push_back(col);
    if (withRows) rs.rows.push_back({static_cast<int64_t>(db.rowCount(spec.name))});
    r.rowCount = 1;
    r.rows = std::move(rs);
    return r;
  }
  std::vector<size_t> picked;
  if (sel.columns.empty()) {
    for (size_t i = 0; i < spec.columns.size(); ++i) picked.push_back(i);
  } else {
    for (const auto& c : sel.columns) picked.push_back(columnIndex(spec, c));
  }
  std::vector<std::pair<size_t, bool>> order;
  for (const auto& term : sel.orderBy)
    order.emplace_back(columnIndex(spec, term.column), term.descending);
  for (size_t i : picked) rs.columns.push_back({spec.columns[i].name, spec.name, spec.columns[i]});

  std::vector<std::vector<jet::Value>> all;
  if (!withRows) {
    r.rows = std::move(rs);
    return r;
  }
  try {
    db.scanRows(spec.name, [&](const std::vector<jet::Value>& row) {
      all.push_back(row);
      return true;
    });
  } catch (const jet::Error& e) {
    rethrowJetError(e);
  }
  if (!order.empty()) {
    std::stable_sort(all.begin(), all.end(), [&](const auto& x, const auto& y) {
      for (const auto& [i, desc] : order) {
        int c = compareValues(x[i], y[i]);
        if (c != 0) return desc ? c > 0 : c < 0;
      }
      return false;
    });
  }
  rs.rows.reserve(all.size());
  for (auto& row : all) {
    if (picked.size() == row.size()) {
      bool identity = true;
      for (size_t k = 0; k < picked.size(); ++k) identity = identity && picked[k] == k;
      if (identity) {
        rs.rows.push_back(std::move(row));
        continue;
      }
    }
    std::vector<jet::Value> out;
    out.reserve(picked.size());
    for (size_t i : picked) out.push_back(row[i]);
    rs.rows.push_back(std::move(out));
  }
  r.rowCount = static_cast<int64_t>(rs.rows.size());
  r.rows = std::move(rs);
  return r;
}

}  // namespace

void executeInsert(jet::Database& db, SpecCache& specs, const Insert& ins,
                   std::vector<jet::Value>& row) {
  const jet::TableSpec& spec = tableOrThrow(db, specs, ins.table);
  const size_t count = spec.columns.size();
  if (ins.columns.empty()) {
    if (ins.values.size() != count)
      throw DriverError("21S01", "The table '" + spec.name + "' has " +
                                     std::to_string(spec.columns.size()) + " columns but " +
                                     std::to_string(ins.values.size()) + " values were given.");
    // The converter's form: values built over the last row's, no Null
    // first and no record of which columns were named.
    row.resize(count);
    for (size_t i = 0; i < count; ++i) assignLiteral(ins.values[i], spec.columns[i], row[i]);
  } else {
    row.assign(spec.columns.size(), jet::Null{});
    std::vector<bool> given(spec.columns.size(), false);
    for (size_t k = 0; k < ins.columns.size(); ++k) {
      size_t i = columnIndex(spec, ins.columns[k]);
      if (given[i])
        throw DriverError("42000", "The column '" + spec.columns[i].name +
                                       "' is named twice in the INSERT statement.");
      row[i] = literalToValue(ins.values[k], spec.columns[i]);
      given[i] = true;
    }
    // Columns left out take their default where it is a constant, Now()
    // or Date(); any other expression is Access's to evaluate.
    for (size_t i = 0; i < count; ++i)
      if (!given[i] && !spec.columns[i].defaultValue.empty()) defaultValueOf(spec.columns[i], row[i]);
  }
  for (size_t i = 0; i < count; ++i) {
    const auto& c = spec.columns[i];
    if (c.required && !c.autoNumber && std::holds_alternative<jet::Null>(row[i]))
      throw DriverError("23000", "The column '" + c.name + "' cannot contain a Null value.");
  }
  try {
    db.insertRow(spec.name, row);
  } catch (const jet::Error& e) {
    rethrowJetError(e);
  }
}


ResultSet describeSelect(jet::Database& db, SpecCache& specs, const Select& sel) {
  return std::move(*select(db, specs, sel, false).rows);
}

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() == b.size()) {
    bool ascii = true;
    for (size_t i = 0; i < a.size(); ++i) {
      unsigned char x = a[i], y = b[i];
      if (x >= 0x80 || y >= 0x80) {
        ascii = false;
        break;
      }
      if (foldCase(x) != foldCase(y)) return false;
    }
    if (ascii) return true;
  }
  return folded(a) == folded(b);
}

const jet::TableSpec& SpecCache::get(jet::Database& db, const std::string& table) {
  for (const auto& e : entries_)
    if (e.first == table) return e.second;
  jet::TableSpec spec;
  try {
    spec = db.tableSpec(table);
  } catch (const jet::Error& e) {
    rethrowJetError(e);
  }
  if (entries_.size() > 64) entries_.clear();
  entries_.emplace_back(table, std::move(spec));
  return entries_.back().second;
}

void rethrowJetError(const jet::Error& e) {
  using C = jet::Error::Code;
  std::string state = "HY000";
  switch (e.code()) {
    case C::Exists: state = "42S01"; break;
    case C::NoSuchTable: state = "42S02"; break;
    case C::NoSuchColumn: state = "42S22"; break;
    case C::InvalidName:
    case C::InvalidDefinition: state = "42000"; break;
    case C::StringTooLong: state = "22001"; break;
    case C::OutOfRange: state = "22003"; break;
    case C::InvalidValue: state = "22018"; break;
    case C::Duplicate:
    case C::RequiredNull:
    case C::ForeignKey: state = "23000"; break;
    case C::Unsupported: state = "HYC00"; break;
    default: break;
  }
  std::string message = e.what();
  if (!e.column().empty() && message.find(e.column()) == std::string::npos)
    message += " (column '" + e.column() + "')";
  throw DriverError(state, message);
}

ExecResult execute(jet::Database& db, SpecCache& specs, const Statement& st) {
  return std::visit(
      [&](const auto& s) -> ExecResult {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, CreateTable>) return createTable(db, specs, s);
        if constexpr (std::is_same_v<T, CreateIndex>) return createIndex(db, specs, s);
        if constexpr (std::is_same_v<T, DropTable>) return dropTable(db, specs, s);
        if constexpr (std::is_same_v<T, Insert>) return insert(db, specs, s);
        if constexpr (std::is_same_v<T, Select>) return select(db, specs, s);
        if constexpr (std::is_same_v<T, AlterTable>) return alterTable(db, specs, s);
        if constexpr (std::is_same_v<T, Comment>) return comment(db, specs, s);
      },
      st);
}

}  // namespace tabulex::access
