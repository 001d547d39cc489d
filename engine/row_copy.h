// The data phase of one table: every source row read, rendered as an
// INSERT statement of its own and stored. One thread reads and renders
// while the calling thread stores, so that the source and the destination
// work at the same time; the calling thread also makes every progress call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/conversion_observer.h"
#include "engine/destination.h"
#include "engine/table_statement.h"

class CRecordset;

namespace engine {

class BlockInsert;
class TableRead;
struct BlockLayout;

// The rows of one table as the copy walks them: the current row's columns
// are read from rows(), in column order, then next() moves on (and may run
// the next query). `renderedBytes`, the size of the row's statement, lets
// a source size its reads by bytes rather than rows.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual CRecordset& rows() = 0;
  virtual bool atEnd() const = 0;
  virtual void next(std::size_t renderedBytes) = 0;
};

// Reads a whole value of column index (from 0) of the current row straight
// from the result set's statement, as SQL_C_CHAR text or SQL_C_BINARY
// bytes: the access layer's text read sizes its buffer by the column's
// precision, which cuts the sign of a minimum integer ("-128" in a precision
// of 3), the 20th digit of an unsigned bigint and negative times. False for
// NULL. `buffer` is reused from call to call.
bool readWholeValue(CRecordset& rows, short index, short cType, std::string& out,
                    std::vector<char>& buffer);

struct CopyCounts {
  uint64_t read = 0;
  uint64_t written = 0;
  uint64_t skipped = 0;                  // refused on their own; the copy went on
  std::vector<SkippedRow> skippedRows;   // the first TableOutcome::kMaxSkippedListed
  // Per column: values the source holds that Access cannot (a zero or
  // partial date, a year before 100), written as NULL.
  std::vector<uint64_t> setToNull;
};

// One sentence a column of `setToNull`: "N values set to NULL in column X: ...".
std::vector<std::string> setToNullNotes(const CopyCounts& counts, const TablePlan& plan);

// How each result column is read and written, from the result set's own
// type codes and the table's column plan. Throws std::runtime_error when the
// result set and the catalogue disagree on the number of columns; columns
// after the table's own (`extraColumns` of them) are not the copy's.
std::vector<ValueStyle> resultStyles(CRecordset& rows, const TablePlan& plan,
                                     short extraColumns = 0);
// The same from the result's SQL type codes.
std::vector<ValueStyle> resultStyles(const std::vector<short>& types, const TablePlan& plan,
                                     short extraColumns = 0);
// The SQL type codes of an open result set's columns.
std::vector<short> resultTypes(CRecordset& rows);

// Copies every remaining row of `source` into plan.destinationName. A row
// the destination refuses on its own is skipped and listed by the values
// of `rowKey` (source column names; by its number when empty). Counts are
// kept current in `counts` so that a failure still tells how far it got;
// the failure itself leaves as an exception, on the calling thread, after
// the reading thread has stopped.
void copyRows(RowSource& source, const std::vector<ValueStyle>& styles, const TablePlan& plan,
              const std::vector<std::string>& rowKey, Destination& destination,
              CopyCounts& counts, const std::function<void(uint64_t)>& progress);

// The same for a source read in blocks (TableRead::blockLayout gave
// `layout`): blocks are fetched and prepared on a thread of their own and
// stored a block an execution; a row refused on its own is skipped as above.
void copyBlocks(TableRead& source, const BlockLayout& layout, const TablePlan& plan,
                const std::vector<std::string>& rowKey, BlockInsert& destination, CopyCounts& counts,
                const std::function<void(uint64_t)>& progress);

}  // namespace engine
