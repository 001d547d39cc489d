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

TableRead::TableRead(const std::string& connect, const std::string& table, ReadPlan plan,
                     bool blocks)
    : table_(table), plan_(std::move(plan)), rows_(&database_) {
  database_.OpenEx(connect, 0);
  if (blocks) {
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, database_.m_hdbc, &blockStatement_);
    if (!SQL_SUCCEEDED(rc)) {
      blockStatement_ = SQL_NULL_HSTMT;
      throw statementFailure(rc, SQL_NULL_HSTMT);
    }
  }
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
    if (blockStatement_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, blockStatement_);
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
  const std::string query = chunkQuery(table_, plan_, boundary_, offset_, limit_);
  if (blockStatement_ != SQL_NULL_HSTMT)
    executeChunk(query);
  else
    rows_.Open(CRecordset::kDefaultType, query, CRecordset::readOnly);
}

void TableRead::executeChunk(const std::string& query) {
  SQLFreeStmt(blockStatement_, SQL_CLOSE);
  SQLRETURN rc;
  do {
    rc = SQLExecDirect(blockStatement_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(query.c_str())),
                       static_cast<SQLINTEGER>(query.size()));
  } while (rc == SQL_STILL_EXECUTING);
  if (!SQL_SUCCEEDED(rc)) throw statementFailure(rc, blockStatement_);
}

std::vector<SQLSMALLINT> TableRead::columnTypes() {
  if (blockStatement_ == SQL_NULL_HSTMT) return resultTypes(rows_);
  std::vector<SQLSMALLINT> types;
  SQLSMALLINT count = 0;
  SQLRETURN rc = SQLNumResultCols(blockStatement_, &count);
  if (!SQL_SUCCEEDED(rc)) throw statementFailure(rc, blockStatement_);
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    SQLCHAR name[256];
    SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    rc = SQLDescribeCol(blockStatement_, static_cast<SQLUSMALLINT>(i), name, sizeof name, &nameLength,
                        &type, &size, &scale, &nullable);
    if (!SQL_SUCCEEDED(rc)) throw statementFailure(rc, blockStatement_);
    types.push_back(type);
  }
  return types;
}

std::optional<BlockLayout> TableRead::blockLayout(const std::vector<ValueStyle>& styles) {
  if (blockStatement_ == SQL_NULL_HSTMT) return std::nullopt;
  std::optional<BlockLayout> layout = engine::blockLayout(blockStatement_, styles, extraColumns());
  if (layout) return layout;
  // A column too long to bind: the same first chunk again, a row at a time.
  SQLFreeHandle(SQL_HANDLE_STMT, blockStatement_);
  blockStatement_ = SQL_NULL_HSTMT;
  openChunk();
  return std::nullopt;
}

void TableRead::failed(const std::string& what) {
  // The access layer's exception, as a row read a row at a time fails, so
  // that a lost connection is told from a refused row.
  CDBException e = statementFailure(SQL_ERROR, blockStatement_);
  e.m_strError = what + ": " + e.m_strError;
  throw e;
}

void TableRead::keepBoundary(const RowBlock& block, const BlockLayout& layout) {
  const std::size_t last = block.rows - 1;
  boundary_.clear();
  for (std::size_t i = 0; i < plan_.key.size(); ++i) {
    const std::size_t column = layout.tableColumns + i;
    const SQLLEN length = block.fetchedIndicators(column)[last];
    if (length == SQL_NULL_DATA)
      throw std::runtime_error("the key column " + plan_.key[i].name + " holds NULL");
    if (length < 0 || length >= layout.columns[column].width)
      throw std::runtime_error("the key of row " + std::to_string(block.firstRow + last) +
                               " is longer than its column holds");
    const char* text = block.fetched(column) + static_cast<SQLLEN>(last) * layout.columns[column].width;
    boundary_.push_back(boundaryLiteral(plan_.key[i].kind, std::string(text, static_cast<std::size_t>(length))));
  }
}

void TableRead::fetchBlock(RowBlock& block, const BlockLayout& layout) {
  block.rows = 0;
  const bool chunked = plan_.mode != ReadPlan::Mode::Whole;
  while (!blocksAtEnd_) {
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
      const BlockColumn& c = layout.columns[i];
      if (!SQL_SUCCEEDED(SQLBindCol(blockStatement_, static_cast<SQLUSMALLINT>(i + 1), c.fetchType,
                                    block.fetched(i), c.width, block.fetchedIndicators(i))))
        failed("cannot bind column " + std::to_string(i + 1));
    }
    SQLULEN fetched = 0;
    SQLSetStmtAttr(blockStatement_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(blockStatement_, SQL_ATTR_ROW_ARRAY_SIZE,
                                      reinterpret_cast<SQLPOINTER>(block.capacity()), 0)))
      failed("cannot fetch rows in blocks");
    SQLSetStmtAttr(blockStatement_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(blockStatement_, SQL_ATTR_ROW_STATUS_PTR, block.rowStatus(), 0);
    SQLRETURN rc;
    do {
      rc = SQLFetch(blockStatement_);
    } while (rc == SQL_STILL_EXECUTING);
    SQLSetStmtAttr(blockStatement_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    if (rc == SQL_NO_DATA) {
      fetched = 0;
    } else if (!SQL_SUCCEEDED(rc)) {
      failed("cannot read row " + std::to_string(rowsRead_ + 1));
    }
    for (SQLULEN r = 0; r < fetched; ++r)
      if (block.rowStatus()[r] == SQL_ROW_ERROR) failed("cannot read row " + std::to_string(rowsRead_ + r + 1));
    if (fetched > 0) {
      block.rows = fetched;
      block.firstRow = rowsRead_ + 1;
      rowsRead_ += fetched;
      inChunk_ += fetched;
      // The values' lengths size the next chunk.
      for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        const SQLLEN* lengths = block.fetchedIndicators(i);
        const bool text = layout.columns[i].fetchType == SQL_C_CHAR || layout.columns[i].fetchType == SQL_C_BINARY;
        for (std::size_t r = 0; r < block.rows; ++r)
          if (lengths[r] > 0) bytesRead_ += static_cast<uint64_t>(text ? lengths[r] : layout.columns[i].width);
      }
      if (plan_.mode == ReadPlan::Mode::ByKey && inChunk_ == limit_) keepBoundary(block, layout);
      return;
    }
    // A chunk shorter than its limit was the table's last.
    if (chunked && inChunk_ == limit_) {
      offset_ += inChunk_;
      openChunk();
      continue;
    }
    blocksAtEnd_ = true;
  }
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
