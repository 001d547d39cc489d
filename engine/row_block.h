// Rows moved a block at a time, the way a table goes over on one
// destination connection: the source fetches a block of rows straight into
// bound column arrays, and the destination stores the block with one
// prepared INSERT whose parameter arrays are those same arrays. No
// statement text is rendered or parsed per row, and every value reaches the
// driver as the literal that the row-by-row statements would have held.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/type_mapping.h"

namespace engine {

// How one result column is fetched and how it is stored.
struct BlockColumn {
  ValueStyle style = ValueStyle::Text;
  SQLSMALLINT fetchType = SQL_C_CHAR;  // what the source writes
  SQLLEN width = 0;                    // bytes per fetched element
  SQLSMALLINT storeType = SQL_C_CHAR;  // what the destination reads
  SQLSMALLINT storeSqlType = SQL_VARCHAR;
  SQLLEN storeWidth = 0;               // bytes per stored element
  bool converted = false;              // stored from an array of its own, filled after the fetch
};

struct BlockLayout {
  std::vector<BlockColumn> columns;  // the table's columns, then the read's extra columns
  std::size_t tableColumns = 0;
  std::size_t rows = 0;              // rows one block holds
};

// The C type an integer column of the executed result on `statement` is
// read as: SQL_C_SBIGINT, or SQL_C_UBIGINT for an unsigned BIGINT; 0 for
// any other column. As text the connector would print integers with
// printf, a large share of the read.
SQLSMALLINT integerCType(SQLHSTMT statement, SQLUSMALLINT column);

// The layout for the executed result set on `statement`: `styles` for the
// table's columns, text for `extraColumns` more. Nothing when a column is
// too long to bind (long text, blobs): such tables go a row at a time.
std::optional<BlockLayout> blockLayout(SQLHSTMT statement, const std::vector<ValueStyle>& styles,
                                       short extraColumns);

class RowBlock {
 public:
  explicit RowBlock(const BlockLayout& layout);

  char* fetched(std::size_t column) { return data_.data() + fetchAt_[column]; }
  SQLLEN* fetchedIndicators(std::size_t column) { return &indicators_[column * capacity_]; }
  char* stored(std::size_t column) { return data_.data() + storeAt_[column]; }
  SQLLEN* storedIndicators(std::size_t column) {
    return &indicators_[(storeIndicatorAt_[column]) * capacity_];
  }
  const char* fetched(std::size_t column) const { return data_.data() + fetchAt_[column]; }
  const SQLLEN* fetchedIndicators(std::size_t column) const { return &indicators_[column * capacity_]; }
  const char* stored(std::size_t column) const { return data_.data() + storeAt_[column]; }
  const SQLLEN* storedIndicators(std::size_t column) const {
    return &indicators_[(storeIndicatorAt_[column]) * capacity_];
  }
  SQLUSMALLINT* rowStatus() { return rowStatus_.data(); }

  std::size_t capacity() const { return capacity_; }
  // The memory the block holds.
  std::size_t bytesHeld() const {
    return data_.size() + indicators_.size() * sizeof(SQLLEN) + rowStatus_.size() * sizeof(SQLUSMALLINT);
  }
  std::size_t rows = 0;    // rows fetched into the block
  uint64_t firstRow = 0;   // the table's row number of the block's first row, from 1

 private:
  std::size_t capacity_;
  std::vector<char> data_;
  std::vector<SQLLEN> indicators_;
  std::vector<std::size_t> fetchAt_, storeAt_, storeIndicatorAt_;
  std::vector<SQLUSMALLINT> rowStatus_;
};

// Turns the fetched values of the block's rows into what is stored, as the
// row-by-row statements would: dates and times Access cannot hold become
// NULL (counted per column in `setToNull`), empty number and date text
// becomes NULL, a float goes as the double its shortest digits spell.
// Throws std::runtime_error when a value came cut short.
void prepareBlock(RowBlock& block, const BlockLayout& layout, std::vector<uint64_t>& setToNull);

// The literal a row-by-row statement holds for a value of the block:
// 'text', 0x.., digits or NULL. Names skipped rows by their key.
std::string blockLiteral(const RowBlock& block, const BlockLayout& layout, std::size_t column,
                         std::size_t row);

}  // namespace engine
