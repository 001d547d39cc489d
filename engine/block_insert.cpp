#include "engine/block_insert.h"

#include <sqlext.h>

#include <stdexcept>

#include "engine/column_catalogue.h"
#include "engine/identifiers.h"

namespace engine {

namespace {

// The driver's message for a failed parameter set without the words that
// name the set: the same text a statement of its own would have given.
std::string withoutParameterSet(std::string message) {
  const std::string head = " (parameter set ";
  const std::string tail = "; the sets before it are stored)";
  std::size_t at = message.rfind(head);
  if (at == std::string::npos) return message;
  std::size_t end = message.find(tail, at);
  if (end == std::string::npos) return message;
  message.erase(at, end + tail.size() - at);
  return message;
}

}  // namespace

BlockInsert::BlockInsert(const std::string& connect, const std::string& table, const BlockLayout& layout)
    : layout_(layout), operations_(layout.rows), statuses_(layout.rows) {
  database_.OpenEx(connect, 0);
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, database_.m_hdbc, &statement_);
  if (!SQL_SUCCEEDED(rc)) {
    statement_ = SQL_NULL_HSTMT;
    throw std::runtime_error(diagnosticText(SQL_HANDLE_DBC, database_.m_hdbc));
  }
  std::string sql = "INSERT INTO " + quoteAccess(table) + " values(";
  for (std::size_t i = 0; i < layout.tableColumns; ++i) sql += i > 0 ? ", ?" : "?";
  sql += ")";
  rc = SQLPrepare(statement_, reinterpret_cast<SQLCHAR*>(sql.data()), static_cast<SQLINTEGER>(sql.size()));
  if (!SQL_SUCCEEDED(rc)) throw statementFailure(rc, statement_);
  SQLSetStmtAttr(statement_, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
  SQLSetStmtAttr(statement_, SQL_ATTR_PARAM_STATUS_PTR, statuses_.data(), 0);
  SQLSetStmtAttr(statement_, SQL_ATTR_PARAM_OPERATION_PTR, operations_.data(), 0);
  SQLSetStmtAttr(statement_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed_, 0);
}

BlockInsert::~BlockInsert() {
  if (statement_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement_);
}

BlockInsert::Result BlockInsert::store(RowBlock& block, std::size_t from) {
  Result result;
  if (from >= block.rows) return result;
  for (std::size_t i = 0; i < layout_.tableColumns; ++i) {
    const BlockColumn& c = layout_.columns[i];
    SQLRETURN rc = SQLBindParameter(statement_, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, c.storeType,
                                    c.storeSqlType, static_cast<SQLULEN>(c.storeWidth), 0, block.stored(i),
                                    c.storeWidth, block.storedIndicators(i));
    if (!SQL_SUCCEEDED(rc))
      throw DestinationError(diagnosticState(SQL_HANDLE_STMT, statement_), diagnosticText(SQL_HANDLE_STMT, statement_));
  }
  for (std::size_t r = 0; r < block.rows; ++r) operations_[r] = r < from ? SQL_PARAM_IGNORE : SQL_PARAM_PROCEED;
  SQLSetStmtAttr(statement_, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(block.rows), 0);
  SQLRETURN rc;
  do {
    rc = SQLExecute(statement_);
  } while (rc == SQL_STILL_EXECUTING);
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) {
    result.stored = block.rows - from;
    return result;
  }
  // Read before any other call on the statement clears them.
  std::string state = diagnosticState(SQL_HANDLE_STMT, statement_);
  std::string message = withoutParameterSet(diagnosticText(SQL_HANDLE_STMT, statement_));
  // The failed set is the last one processed; a failure before any set
  // (binding, the file) counts against the first.
  std::size_t failedAt = processed_ > from ? static_cast<std::size_t>(processed_) - 1 : from;
  if (failedAt >= block.rows || statuses_[failedAt] != SQL_PARAM_ERROR) failedAt = from;
  result.stored = failedAt - from;
  result.refusal.emplace(std::move(state), message);
  result.refused = failedAt;
  return result;
}

}  // namespace engine
