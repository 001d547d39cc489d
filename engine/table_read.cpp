#include "engine/table_read.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "engine/identifiers.h"
#include "engine/table_statement.h"

namespace engine {

namespace {

// The first chunk is small: the row size is unknown until rows have been
// read, and a table of large values must not fill memory with one chunk.
// After it, chunks hold about kChunkBytes of statement text, at most
// chunkRows rows.
constexpr uint64_t kFirstChunkRows = 1000;
constexpr uint64_t kChunkBytes = uint64_t{16} << 20;

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// By the column's COLUMN_TYPE ("int(10) unsigned", "varchar(20)", ...).
// Floating point keys do not read back exactly, TIMESTAMP text is ambiguous
// in the hour a clock goes back, ENUM and SET sort by their numbers but
// compare as text, and long text or blob keys have no index to walk.
bool boundaryKindOf(const std::string& columnType, BoundaryKind& kind) {
  std::string type = lowered(columnType);
  type = type.substr(0, type.find_first_of("( "));
  static const char* const numbers[] = {"tinyint", "smallint", "mediumint", "int", "integer",
                                        "bigint", "decimal", "numeric", "year"};
  for (const char* name : numbers)
    if (type == name) return kind = BoundaryKind::Number, true;
  if (type == "date" || type == "datetime" || type == "time") return kind = BoundaryKind::Temporal, true;
  if (type == "char" || type == "varchar") return kind = BoundaryKind::Text, true;
  if (type == "binary" || type == "varbinary") return kind = BoundaryKind::Binary, true;
  return false;
}

bool onlyOf(const std::string& text, const char* allowed) {
  return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

std::string extraColumn(const ChunkKeyColumn& column) {
  const std::string name = quoteMySql(column.name);
  switch (column.kind) {
    case BoundaryKind::Text:
      return "HEX(CONVERT(" + name + " USING utf8mb4))";
    case BoundaryKind::Binary:
      return "HEX(" + name + ")";
    case BoundaryKind::Number:
    case BoundaryKind::Temporal:
      break;
  }
  return "CAST(" + name + " AS CHAR)";
}

// k1 >= b1 AND (k1 > b1 OR (k1 = b1 AND k2 > b2) OR ...): the server's
// range optimizer walks the key from the boundary with this form, not with
// a row comparison (k1, k2) > (b1, b2), which scans from the start.
std::string afterBoundary(const std::vector<ChunkKeyColumn>& key,
                          const std::vector<std::string>& boundary) {
  std::string condition = quoteMySql(key[0].name) + " >= " + boundary[0] + " AND (";
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (i > 0) condition += " OR ";
    condition += "(";
    for (std::size_t j = 0; j < i; ++j) condition += quoteMySql(key[j].name) + " = " + boundary[j] + " AND ";
    condition += quoteMySql(key[i].name) + " > " + boundary[i] + ")";
  }
  return condition + ")";
}

}  // namespace

ReadPlan planTableRead(const SourceTableInfo& info, uint64_t chunkRows) {
  ReadPlan plan;
  plan.chunkRows = chunkRows;
  // A view has no row estimate: it is read in chunks whatever its size.
  if (chunkRows == 0 || (!info.isView && info.rowEstimate < chunkRows)) return plan;
  plan.snapshot = info.isView || info.transactional();
  plan.readLock = !plan.snapshot;
  plan.mode = ReadPlan::Mode::ByPosition;
  for (const std::string& name : chunkKeyColumns(info)) {
    auto column = std::find_if(info.columns.begin(), info.columns.end(),
                               [&](const SourceColumnExtra& c) { return c.name == name; });
    BoundaryKind kind;
    if (column == info.columns.end() || !boundaryKindOf(column->columnType, kind)) {
      plan.key.clear();
      return plan;
    }
    plan.key.push_back({name, kind});
  }
  // Only a tree index walks from a boundary in order; over a hash index
  // (MEMORY tables, long unique keys) every chunk would sort the table.
  for (const SourceIndex& index : info.indexes) {
    std::vector<std::string> names;
    for (const SourceIndexColumn& column : index.columns) names.push_back(column.name);
    if (names.size() == plan.key.size() &&
        std::equal(names.begin(), names.end(), plan.key.begin(),
                   [](const std::string& name, const ChunkKeyColumn& c) { return name == c.name; }) &&
        !index.type.empty() && index.type != "BTREE") {
      plan.key.clear();
      return plan;
    }
  }
  if (!plan.key.empty()) plan.mode = ReadPlan::Mode::ByKey;
  return plan;
}

std::string boundaryLiteral(BoundaryKind kind, const std::string& text) {
  const char* const hexDigits = "0123456789ABCDEFabcdef";
  switch (kind) {
    case BoundaryKind::Number:
      if (onlyOf(text, "0123456789.-")) return text;
      break;
    case BoundaryKind::Temporal:
      if (onlyOf(text, "0123456789:.- ")) return "'" + text + "'";
      break;
    case BoundaryKind::Text:
      if (text.empty() || (onlyOf(text, hexDigits) && text.size() % 2 == 0))
        return "_utf8mb4 X'" + text + "'";
      break;
    case BoundaryKind::Binary:
      if (text.empty() || (onlyOf(text, hexDigits) && text.size() % 2 == 0)) return "X'" + text + "'";
      break;
  }
  throw std::runtime_error("unexpected key value \"" + text + "\" between two chunks of rows");
}

std::string chunkQuery(const std::string& table, const ReadPlan& plan,
                       const std::vector<std::string>& boundary, uint64_t offset, uint64_t limit) {
  if (plan.mode == ReadPlan::Mode::Whole) return sourceQuery(table);
  if (plan.mode == ReadPlan::Mode::ByPosition)
    return sourceQuery(table) + " LIMIT " + std::to_string(offset) + ", " + std::to_string(limit);
  std::string query = "Select *";
  for (const ChunkKeyColumn& column : plan.key) query += ", " + extraColumn(column);
  query += " from " + quoteMySql(table);
  if (!boundary.empty()) query += " WHERE " + afterBoundary(plan.key, boundary);
  query += " ORDER BY ";
  for (std::size_t i = 0; i < plan.key.size(); ++i)
    query += (i > 0 ? ", " : "") + quoteMySql(plan.key[i].name);
  return query + " LIMIT " + std::to_string(limit);
}

TableRead::TableRead(const std::string& connect, const std::string& table, ReadPlan plan)
    : table_(table), plan_(std::move(plan)), rows_(&database_) {
  database_.OpenEx(connect, 0);
  if (plan_.snapshot) {
    // The snapshot needs repeatable read, whatever the server's default.
    database_.ExecuteSQL("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ");
    database_.ExecuteSQL("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY");
    inTransaction_ = true;
  }
  if (plan_.readLock) {
    try {
      database_.ExecuteSQL("LOCK TABLES " + quoteMySql(table_) + " READ");
      locked_ = true;
    } catch (const CDBException&) {
      notes_.push_back(
          "The rows were read in parts without a read lock (the login may not lock tables), so "
          "changes made to the table during the conversion may show in part.");
    }
  }
  openChunk();
}

TableRead::~TableRead() {
  try {
    rows_.Close();
    if (inTransaction_) database_.ExecuteSQL("COMMIT");
    if (locked_) database_.ExecuteSQL("UNLOCK TABLES");
  } catch (...) {
    // The connection goes with the object; the server ends both with it.
  }
}

short TableRead::extraColumns() const {
  return plan_.mode == ReadPlan::Mode::ByKey ? static_cast<short>(plan_.key.size()) : 0;
}

void TableRead::openChunk() {
  limit_ = plan_.chunkRows;
  if (rowsRead_ == 0) {
    limit_ = std::min(limit_, kFirstChunkRows);
  } else {
    uint64_t bytesPerRow = std::max<uint64_t>(1, bytesRead_ / rowsRead_);
    limit_ = std::clamp<uint64_t>(kChunkBytes / bytesPerRow, 1, plan_.chunkRows);
  }
  inChunk_ = 0;
  rows_.Open(CRecordset::kDefaultType, chunkQuery(table_, plan_, boundary_, offset_, limit_),
             CRecordset::readOnly);
}

void TableRead::readBoundary() {
  const short first = static_cast<short>(rows_.GetODBCFieldCount() - extraColumns());
  std::vector<char> buffer(256);
  std::string text;
  boundary_.clear();
  for (std::size_t i = 0; i < plan_.key.size(); ++i) {
    if (!readWholeValue(rows_, static_cast<short>(first + i), SQL_C_CHAR, text, buffer))
      throw std::runtime_error("the key column " + plan_.key[i].name + " holds NULL");
    boundary_.push_back(boundaryLiteral(plan_.key[i].kind, text));
  }
}

void TableRead::next(std::size_t renderedBytes) {
  ++rowsRead_;
  bytesRead_ += renderedBytes;
  ++inChunk_;
  const bool chunked = plan_.mode != ReadPlan::Mode::Whole;
  if (plan_.mode == ReadPlan::Mode::ByKey && inChunk_ == limit_) readBoundary();
  rows_.MoveNext();
  // A chunk shorter than its limit was the table's last.
  if (chunked && rows_.IsEOF() && inChunk_ == limit_) {
    offset_ += inChunk_;
    openChunk();
  }
}

}  // namespace engine
