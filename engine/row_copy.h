// The data phase of one table: every source row read through the access
// layer and written with one INSERT statement of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/table_statement.h"

class CRecordset;

namespace engine {

// Where the statements of one table go: a fresh connection to the
// destination for every statement (as the wizard does), or one connection
// for the whole table. Either way a statement is stored when it returns.
class Destination {
 public:
  virtual ~Destination() = default;
  virtual void execute(const std::string& sql) = 0;
};

std::unique_ptr<Destination> connectionPerStatement(std::string connect);
std::unique_ptr<Destination> connectionPerTable(std::string connect);

struct CopyCounts {
  uint64_t read = 0;
  uint64_t written = 0;
};

// How each result column is read and written, from the result set's own
// type codes and the table's column plan. Throws std::runtime_error when the
// result set and the catalogue disagree on the number of columns.
std::vector<ValueStyle> resultStyles(CRecordset& rows, const TablePlan& plan);

// Copies every remaining row of `rows` into plan.destinationName. Counts are
// kept current in `counts` so that a failure still tells how far it got;
// the failure itself leaves as an exception.
void copyRows(CRecordset& rows, const std::vector<ValueStyle>& styles, const TablePlan& plan,
              Destination& destination, CopyCounts& counts,
              const std::function<void(uint64_t)>& progress);

}  // namespace engine
