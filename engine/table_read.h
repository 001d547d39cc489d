// Reading one source table's rows without holding them all: MariaDB
// Connector/ODBC as Debian ships it reads a whole result into memory before
// the first row is fetched, so a large table is read in chunks of rows, in
// key order from one key to the next (or by position where the table has no
// usable key), inside one consistent snapshot (or under a read lock for
// engines without transactions) so that the chunks together are one moment
// of the table. A table smaller than one chunk is read with one SELECT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/row_block.h"
#include "engine/row_copy.h"
#include "engine/source_schema.h"
#include "odbc/database.h"

namespace engine {

// How a key column's last value becomes the literal that starts the next
// chunk. Only types whose ORDER BY and comparison with a literal agree and
// whose text reads back exactly can order chunks.
enum class BoundaryKind {
  Number,    // integers, decimals and years: the digits
  Temporal,  // DATE, DATETIME, TIME: the text, quoted
  Text,      // CHAR and VARCHAR: utf8mb4 bytes in hexadecimal, compared in the column's collation
  Binary,    // BINARY and VARBINARY: the bytes in hexadecimal
};

struct ChunkKeyColumn {
  std::string name;
  BoundaryKind kind = BoundaryKind::Number;
};

struct ReadPlan {
  enum class Mode { Whole, ByKey, ByPosition };
  Mode mode = Mode::Whole;
  std::vector<ChunkKeyColumn> key;  // ByKey: the ordering key, in key order
  uint64_t chunkRows = 0;           // the most rows one chunk holds
  bool snapshot = false;            // chunks inside one read-only transaction
  bool readLock = false;            // chunks under LOCK TABLES ... READ
};

// The read for a table as the catalogue describes it: one SELECT when its
// row estimate is below chunkRows, otherwise chunks by the key that
// chunkKeyColumns() names (when every key column has a BoundaryKind), else
// by position.
ReadPlan planTableRead(const SourceTableInfo& info, uint64_t chunkRows);

// The literal for a key value as the chunk query's extra column gives it;
// throws std::runtime_error for text that cannot be such a value.
std::string boundaryLiteral(BoundaryKind kind, const std::string& text);

// The query of one chunk: the table's columns, then for ByKey one extra
// column a key column giving its boundary text. `boundary` holds the
// literals of the previous chunk's last row (empty for the first chunk);
// `offset` counts the rows before a ByPosition chunk.
std::string chunkQuery(const std::string& table, const ReadPlan& plan,
                       const std::vector<std::string>& boundary, uint64_t offset, uint64_t limit);

class TableRead : public RowSource {
 public:
  // Connects, starts the snapshot or takes the lock, and runs the first
  // query. Throws the access layer's exception when the server refuses.
  // With `blocks`, the rows are fetched a block at a time (fetchBlock) when
  // blockLayout() allows it; rows() and next() serve otherwise.
  TableRead(const std::string& connect, const std::string& table, ReadPlan plan,
            bool blocks = false);
  ~TableRead() override;  // ends the snapshot or releases the lock
  TableRead(const TableRead&) = delete;
  TableRead& operator=(const TableRead&) = delete;

  // Result columns after the table's own.
  short extraColumns() const;
  // What the outcome should say about the read (one sentence each).
  const std::vector<std::string>& notes() const { return notes_; }

  // The SQL types of the result's columns.
  std::vector<SQLSMALLINT> columnTypes();

  // Block reading, for a reader made with `blocks`: the layout for the
  // result (nothing when a column is too long to bind, and then the rows
  // are read one at a time from the first one on).
  std::optional<BlockLayout> blockLayout(const std::vector<ValueStyle>& styles);
  // Fetches the next rows into `block`; block.rows is 0 after the last.
  // Throws the access layer's exception when the source fails, and
  // std::runtime_error for a chunk's key that cannot start the next one.
  void fetchBlock(RowBlock& block, const BlockLayout& layout);

  CRecordset& rows() override { return rows_; }
  bool atEnd() const override { return rows_.IsEOF(); }
  void next(std::size_t renderedBytes) override;

 private:
  void openChunk();
  void readBoundary();
  void executeChunk(const std::string& query);
  void keepBoundary(const RowBlock& block, const BlockLayout& layout);
  [[noreturn]] void failed(const std::string& what);

  std::string table_;
  ReadPlan plan_;
  CDatabase database_;
  CRecordset rows_;
  SQLHSTMT blockStatement_ = SQL_NULL_HSTMT;  // the chunk's query when reading blocks
  bool blocksAtEnd_ = false;
  std::vector<std::string> boundary_;
  uint64_t offset_ = 0;       // rows read before the current chunk
  uint64_t limit_ = 0;        // the current chunk's LIMIT
  uint64_t inChunk_ = 0;      // rows of the current chunk moved past
  uint64_t rowsRead_ = 0;
  uint64_t bytesRead_ = 0;
  bool locked_ = false;
  bool inTransaction_ = false;
  std::vector<std::string> notes_;
};

}  // namespace engine
