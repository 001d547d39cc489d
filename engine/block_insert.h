// The destination of a table read in blocks: one connection, one prepared
// INSERT with a ? marker a column, and each block stored with one execution
// whose parameter arrays are the block's own column arrays.
#pragma once

#include <sql.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/destination.h"
#include "engine/row_block.h"
#include "odbc/database.h"

namespace engine {

class BlockInsert {
 public:
  // Connects and prepares the INSERT into `table` (the destination's name);
  // throws the access layer's exception when it cannot.
  BlockInsert(const std::string& connect, const std::string& table, const BlockLayout& layout);
  ~BlockInsert();
  BlockInsert(const BlockInsert&) = delete;
  BlockInsert& operator=(const BlockInsert&) = delete;

  struct Result {
    std::size_t stored = 0;                  // rows stored by this call
    std::optional<DestinationError> refusal; // why row `refused` was not
    std::size_t refused = 0;
  };
  // Stores rows from..block.rows-1 of `block`, up to the first the
  // destination refuses; the rows before that one are stored.
  Result store(RowBlock& block, std::size_t from);

 private:
  const BlockLayout& layout_;
  CDatabase database_;
  SQLHSTMT statement_ = SQL_NULL_HSTMT;
  std::vector<SQLUSMALLINT> operations_, statuses_;
  SQLULEN processed_ = 0;
};

}  // namespace engine
