#include "engine/row_copy.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <thread>

#include "engine/batch_queue.h"
#include "engine/block_insert.h"
#include "engine/row_block.h"
#include "engine/table_read.h"
#include "engine/column_catalogue.h"
#include "engine/identifiers.h"
#include "engine/value_format.h"
#include "odbc/database.h"

namespace engine {

namespace {

// Rows travel between the threads in batches, so that handing over costs
// little per row; a batch closes early once its text is large, and the
// fixed number of batches bounds the memory between source and destination.
constexpr std::size_t kBatchRows = 128;
constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
constexpr std::size_t kBatches = 8;
// Blocks of rows between the threads: enough that the writing side goes on
// while the reading side waits for the server's next chunk (20,000 rows
// take the server tens of milliseconds), within a fixed amount of memory.
constexpr std::size_t kQueuedBlockBytes = std::size_t{16} << 20;
constexpr std::size_t kMaxQueuedBlocks = 64;
// A buffer that once held a very long value is not kept for the next row.
constexpr std::size_t kKeptCapacity = std::size_t{64} << 10;

struct RowBatch {
  std::vector<std::string> statements;
  std::vector<std::string> keys;  // parallel to statements; empty without a key
  std::size_t rows = 0;
  std::size_t bytes = 0;
};

// Result-set type codes are ODBC 2 codes (9, 10, 11 for date, time,
// timestamp); the ODBC 3 ones are accepted as well.
ValueStyle styleForResultType(SQLSMALLINT type) {
  switch (type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return ValueStyle::Text;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return ValueStyle::Binary;
    case SQL_BIT:
      return ValueStyle::Bit;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return ValueStyle::Number;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ValueStyle::Double;
    case SQL_REAL:
      return ValueStyle::Single;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return ValueStyle::DateText;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return ValueStyle::TimeText;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return ValueStyle::Timestamp;
    default:
      return ValueStyle::Text;
  }
}

}  // namespace

bool readWholeValue(CRecordset& rows, short index, SQLSMALLINT cType, std::string& out,
               std::vector<char>& buffer) {
  const SQLLEN terminator = cType == SQL_C_CHAR ? 1 : 0;
  const auto column = static_cast<SQLUSMALLINT>(index + 1);
  out.clear();
  for (bool first = true;; first = false) {
    SQLLEN indicator = 0;
    SQLRETURN rc;
    do {
      rc = SQLGetData(rows.m_hstmt, column, cType, buffer.data(),
                      static_cast<SQLLEN>(buffer.size()), &indicator);
    } while (rc == SQL_STILL_EXECUTING);
    if (rc == SQL_NO_DATA && !first) return true;
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      std::string message = "cannot read column " + std::to_string(index + 1) + ": " +
                            diagnosticText(SQL_HANDLE_STMT, rows.m_hstmt);
      throw std::runtime_error(message);
    }
    if (indicator == SQL_NULL_DATA) return false;
    const SQLLEN capacity = static_cast<SQLLEN>(buffer.size()) - terminator;
    if (rc == SQL_SUCCESS || (indicator != SQL_NO_TOTAL && indicator <= capacity)) {
      out.append(buffer.data(), static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0)));
      return true;
    }
    // Truncated: keep the piece and fetch the rest into a larger buffer.
    out.append(buffer.data(), static_cast<std::size_t>(capacity));
    std::size_t wanted = indicator == SQL_NO_TOTAL
                             ? buffer.size() * 2
                             : static_cast<std::size_t>(indicator - capacity + terminator);
    if (wanted > buffer.size()) buffer.resize(wanted);
  }
}

namespace {

bool readWhole(CRecordset& rows, short index, SQLSMALLINT cType, std::string& out,
               std::vector<char>& buffer) {
  return readWholeValue(rows, index, cType, out, buffer);
}

// Per column, the C type an integer column is read as (integerCType), 0
// for every other column.
std::vector<SQLSMALLINT> integerTypes(CRecordset& rows, const std::vector<ValueStyle>& styles) {
  std::vector<SQLSMALLINT> types(styles.size(), 0);
  for (std::size_t i = 0; i < styles.size(); ++i)
    if (styles[i] == ValueStyle::Number) types[i] = integerCType(rows.m_hstmt, static_cast<SQLUSMALLINT>(i + 1));
  return types;
}

// The digits of an integer column's value; false for NULL.
bool readInteger(CRecordset& rows, short index, SQLSMALLINT cType, std::string& out) {
  SQLLEN indicator = 0;
  char digits[24];
  char* end;
  SQLRETURN rc;
  if (cType == SQL_C_UBIGINT) {
    SQLUBIGINT value = 0;
    rc = SQLGetData(rows.m_hstmt, static_cast<SQLUSMALLINT>(index + 1), SQL_C_UBIGINT, &value,
                    sizeof value, &indicator);
    end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  } else {
    SQLBIGINT value = 0;
    rc = SQLGetData(rows.m_hstmt, static_cast<SQLUSMALLINT>(index + 1), SQL_C_SBIGINT, &value,
                    sizeof value, &indicator);
    end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  }
  if (!SQL_SUCCEEDED(rc))
    throw std::runtime_error("cannot read column " + std::to_string(index + 1) + ": " +
                             diagnosticText(SQL_HANDLE_STMT, rows.m_hstmt));
  if (indicator == SQL_NULL_DATA) return false;
  out.assign(digits, end);
  return true;
}

// Where in the plan's columns the key that names skipped rows lies; empty
// when one of its columns is not the table's.
std::vector<std::size_t> keyColumnIndexes(const TablePlan& plan, const std::vector<std::string>& rowKey) {
  std::vector<std::size_t> indexes;
  for (const std::string& name : rowKey) {
    auto at = std::find_if(plan.columns.begin(), plan.columns.end(),
                           [&](const SourceColumn& c) { return c.name == name; });
    if (at == plan.columns.end()) return {};
    indexes.push_back(static_cast<std::size_t>(at - plan.columns.begin()));
  }
  return indexes;
}

void release(std::string& text) {
  if (text.capacity() > kKeptCapacity) std::string().swap(text);
}

// Renders the current row of a result set as the table's INSERT statement
// (the text insertStatement() gives) and, when the table has a key, the
// row's key values for the list of skipped rows.
class RowRenderer {
 public:
  RowRenderer(const std::vector<ValueStyle>& styles, const TablePlan& plan,
              const std::vector<std::string>& rowKey)
      : styles_(styles),
        prefix_("INSERT INTO " + quoteAccess(plan.destinationName) + " values("),
        keyIndexes_(keyColumnIndexes(plan, rowKey)),
        values_(styles.size()),
        buffer_(4096),
        setToNull_(styles.size()) {
    for (std::size_t index : keyIndexes_) keyNames_.push_back(plan.columns[index].name + "=");
  }

  // Per column, values Access cannot hold rendered as NULL so far.
  const std::vector<uint64_t>& setToNull() const { return setToNull_; }

  void render(CRecordset& rows, std::string& statement, std::string& key) {
    if (integerTypes_.empty()) integerTypes_ = integerTypes(rows, styles_);
    const short count = static_cast<short>(styles_.size());
    for (short i = 0; i < count; ++i) renderValue(rows, i, values_[i]);
    statement.assign(prefix_);
    for (short i = 0; i < count; ++i) {
      statement += values_[i];
      statement += i + 1 < count ? ", " : " )";
    }
    key.clear();
    for (std::size_t k = 0; k < keyIndexes_.size(); ++k) {
      if (k > 0) key += ", ";
      key += keyNames_[k];
      key += values_[keyIndexes_[k]];
    }
    for (std::string& value : values_) release(value);
    release(text_);
    if (buffer_.size() > kKeptCapacity) buffer_.assign(4096, 0), buffer_.shrink_to_fit();
  }

 private:
  void renderValue(CRecordset& rows, short i, std::string& value) {
    switch (styles_[i]) {
      // Text of any kind goes over as it came.
      case ValueStyle::Text:
      case ValueStyle::NumberText:
      case ValueStyle::TimeText:
        value = readWhole(rows, i, SQL_C_CHAR, text_, buffer_) ? sqlText(text_) : kSqlNull;
        break;
      case ValueStyle::Binary:
        value = readWhole(rows, i, SQL_C_BINARY, text_, buffer_) ? sqlBinary(text_) : kSqlNull;
        break;
      case ValueStyle::Number:
        if (const SQLSMALLINT integer = integerTypes_[static_cast<std::size_t>(i)])
          value = readInteger(rows, i, integer, text_) ? text_ : kSqlNull;
        else
          value = readWhole(rows, i, SQL_C_CHAR, text_, buffer_) ? sqlNumber(text_) : kSqlNull;
        break;
      case ValueStyle::DateText:
        value = readWhole(rows, i, SQL_C_CHAR, text_, buffer_) ? sqlDateText(text_) : kSqlNull;
        break;
      case ValueStyle::Bit:
        rows.GetFieldValue(i, variant_);
        value = variant_.m_dwType == CDBVariant::DBVT_NULL ? kSqlNull : sqlBit(variant_.m_boolVal);
        break;
      case ValueStyle::Double:
        rows.GetFieldValue(i, variant_);
        value = variant_.m_dwType == CDBVariant::DBVT_NULL ? kSqlNull : sqlDouble(variant_.m_dblVal);
        break;
      case ValueStyle::Single:
        rows.GetFieldValue(i, variant_);
        value = variant_.m_dwType == CDBVariant::DBVT_NULL ? kSqlNull : sqlSingle(variant_.m_fltVal);
        break;
      case ValueStyle::Timestamp:
        // As text: read as a timestamp, the driver gives zero and partial
        // dates as NULL, and they could not be counted.
        if (!readWhole(rows, i, SQL_C_CHAR, text_, buffer_)) {
          value = kSqlNull;
        } else if ((value = sqlTimestampText(text_)) == kSqlNull) {
          ++setToNull_[static_cast<std::size_t>(i)];
        }
        break;
    }
  }


  const std::vector<ValueStyle>& styles_;
  std::string prefix_;
  std::vector<std::size_t> keyIndexes_;
  std::vector<std::string> keyNames_;  // "name=" per key column
  std::vector<std::string> values_;
  std::string text_;
  std::vector<char> buffer_;
  std::vector<uint64_t> setToNull_;
  std::vector<SQLSMALLINT> integerTypes_;  // from the first row's result set
  CDBVariant variant_;
};

// The reading thread: fills batches until the rows run out, the consumer
// gives up, or reading fails; rows rendered before a failure still go.
void readRows(RowSource& source, RowRenderer& renderer, BatchQueue<RowBatch>& queue) {
  std::unique_ptr<RowBatch> batch;
  try {
    while (!source.atEnd()) {
      batch = queue.takeEmpty();
      if (!batch) return;
      batch->rows = 0;
      batch->bytes = 0;
      while (!source.atEnd() && batch->rows < kBatchRows && batch->bytes < kBatchBytes) {
        if (batch->statements.size() == batch->rows) {
          batch->statements.emplace_back();
          batch->keys.emplace_back();
        }
        std::string& statement = batch->statements[batch->rows];
        release(statement);
        renderer.render(source.rows(), statement, batch->keys[batch->rows]);
        batch->bytes += statement.size();
        ++batch->rows;
        source.next(statement.size());
      }
      queue.pushFull(std::move(batch));
    }
    queue.finish();
  } catch (...) {
    if (batch && batch->rows > 0) queue.pushFull(std::move(batch));
    queue.finish(std::current_exception());
  }
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Stores one batch; a refusal of one row alone skips it, anything else
// ends the table with the row's number.
void storeBatch(const RowBatch& batch, Destination& destination, CopyCounts& counts,
                const std::function<void(uint64_t)>& progress) {
  for (std::size_t i = 0; i < batch.rows; ++i) {
    ++counts.read;
    auto row = [&] { return "row " + std::to_string(counts.read); };
    try {
      destination.execute(batch.statements[i]);
    } catch (const DestinationError& e) {
      if (!refusesRowAlone(e.sqlState(), e.what())) throw std::runtime_error(row() + ": " + e.what());
      ++counts.skipped;
      if (counts.skippedRows.size() < TableOutcome::kMaxSkippedListed)
        counts.skippedRows.push_back({batch.keys[i].empty() ? row() : batch.keys[i], trimmed(e.what())});
      continue;
    } catch (const CDBException& e) {
      throw std::runtime_error(row() + ": " + e.m_strError);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(row() + ": " + e.what());
    }
    ++counts.written;
    if (progress) progress(counts.written);
  }
}

}  // namespace

std::vector<ValueStyle> resultStyles(const std::vector<SQLSMALLINT>& types, const TablePlan& plan,
                                     short extraColumns) {
  auto count = static_cast<long>(types.size());
  if (count >= extraColumns) count -= extraColumns;
  if (count < 0 || static_cast<std::size_t>(count) != plan.columns.size())
    throw std::runtime_error("the table's query returns " + std::to_string(count) +
                             " columns but the column catalogue lists " +
                             std::to_string(plan.columns.size()));
  std::vector<ValueStyle> styles;
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
    ValueStyle style = styleForResultType(types[i]);
    ValueStyle planned = mapColumnType(plan.columns[i]).style;
    // Decimals wider than Access's go into text columns, and so do values of
    // types the mapping does not know. Addresses and UUIDs come as bytes
    // holding their text form.
    if (planned == ValueStyle::NumberText && style == ValueStyle::Number) style = planned;
    if (planned == ValueStyle::Text && style == ValueStyle::Binary) style = planned;
    styles.push_back(style);
  }
  return styles;
}

std::vector<SQLSMALLINT> resultTypes(CRecordset& rows) {
  std::vector<SQLSMALLINT> types;
  for (short i = 0; i < rows.GetODBCFieldCount(); ++i) {
    CODBCFieldInfo info;
    rows.GetODBCFieldInfo(i, info);
    types.push_back(info.m_nSQLType);
  }
  return types;
}

std::vector<ValueStyle> resultStyles(CRecordset& rows, const TablePlan& plan, short extraColumns) {
  return resultStyles(resultTypes(rows), plan, extraColumns);
}

void copyRows(RowSource& source, const std::vector<ValueStyle>& styles, const TablePlan& plan,
              const std::vector<std::string>& rowKey, Destination& destination,
              CopyCounts& counts, const std::function<void(uint64_t)>& progress) {
  RowRenderer renderer(styles, plan, rowKey);
  BatchQueue<RowBatch> queue(kBatches);
  std::thread reader([&] { readRows(source, renderer, queue); });
  try {
    while (std::unique_ptr<RowBatch> batch = queue.takeFull()) {
      storeBatch(*batch, destination, counts, progress);
      queue.giveBack(std::move(batch));
    }
  } catch (...) {
    queue.cancel();
    reader.join();
    counts.setToNull = renderer.setToNull();
    throw;
  }
  reader.join();
  counts.setToNull = renderer.setToNull();
  if (std::exception_ptr error = queue.error()) std::rethrow_exception(error);
}

std::vector<std::string> setToNullNotes(const CopyCounts& counts, const TablePlan& plan) {
  std::vector<std::string> notes;
  for (std::size_t i = 0; i < counts.setToNull.size() && i < plan.columns.size(); ++i) {
    const uint64_t n = counts.setToNull[i];
    if (n == 0) continue;
    notes.push_back(std::to_string(n) + (n == 1 ? " value" : " values") +
                    " set to NULL in column " + plan.columns[i].name +
                    ": Access holds no zero or partial date and no year before 100");
  }
  return notes;
}

namespace {

// The key of a row of a block as the skipped-rows list names it:
// "name=literal, ...", or empty when the key is not among the columns.
class BlockKeys {
 public:
  BlockKeys(const TablePlan& plan, const std::vector<std::string>& rowKey) {
    for (std::size_t index : keyColumnIndexes(plan, rowKey))
      columns_.emplace_back(index, plan.columns[index].name + "=");
  }
  std::string keyOf(const RowBlock& block, const BlockLayout& layout, std::size_t row) const {
    std::string key;
    for (const auto& [column, prefix] : columns_) {
      if (!key.empty()) key += ", ";
      key += prefix + blockLiteral(block, layout, column, row);
    }
    return key;
  }

 private:
  std::vector<std::pair<std::size_t, std::string>> columns_;
};

void readBlocks(TableRead& source, const BlockLayout& layout, BatchQueue<RowBlock>& queue,
                std::vector<uint64_t>& setToNull) {
  std::unique_ptr<RowBlock> block;
  try {
    for (;;) {
      block = queue.takeEmpty();
      if (!block) return;
      source.fetchBlock(*block, layout);
      if (block->rows == 0) break;
      prepareBlock(*block, layout, setToNull);
      queue.pushFull(std::move(block));
    }
    queue.finish();
  } catch (...) {
    queue.finish(std::current_exception());
  }
}

}  // namespace

void copyBlocks(TableRead& source, const BlockLayout& layout, const TablePlan& plan,
                const std::vector<std::string>& rowKey, BlockInsert& destination, CopyCounts& counts,
                const std::function<void(uint64_t)>& progress) {
  const BlockKeys keys(plan, rowKey);
  std::vector<uint64_t> setToNull(layout.tableColumns);
  auto first = std::make_unique<RowBlock>(layout);
  const std::size_t blocks =
      std::clamp<std::size_t>(kQueuedBlockBytes / std::max<std::size_t>(first->bytesHeld(), 1), kBatches,
                              kMaxQueuedBlocks);
  BatchQueue<RowBlock> queue(blocks, [&] {
    return first ? std::move(first) : std::make_unique<RowBlock>(layout);
  });
  std::thread reader([&] { readBlocks(source, layout, queue, setToNull); });
  try {
    while (std::unique_ptr<RowBlock> block = queue.takeFull()) {
      for (std::size_t from = 0; from < block->rows;) {
        BlockInsert::Result result = destination.store(*block, from);
        counts.read += result.stored;
        counts.written += result.stored;
        if (!result.refusal) break;
        ++counts.read;
        const DestinationError& e = *result.refusal;
        const std::string row = "row " + std::to_string(counts.read);
        if (!refusesRowAlone(e.sqlState(), e.what())) throw std::runtime_error(row + ": " + e.what());
        ++counts.skipped;
        if (counts.skippedRows.size() < TableOutcome::kMaxSkippedListed) {
          std::string key = keys.keyOf(*block, layout, result.refused);
          counts.skippedRows.push_back({key.empty() ? row : key, trimmed(e.what())});
        }
        from = result.refused + 1;
      }
      queue.giveBack(std::move(block));
      if (progress) progress(counts.written);
    }
  } catch (...) {
    queue.cancel();
    reader.join();
    counts.setToNull = setToNull;
    throw;
  }
  reader.join();
  counts.setToNull = setToNull;
  if (std::exception_ptr error = queue.error()) std::rethrow_exception(error);
}

}  // namespace engine
