// Where the statements of one table go: a fresh connection to the
// destination for every statement (as the wizard does), or one connection
// for the whole table. Either way a statement is stored when it returns.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace engine {

// The destination refused a statement; the driver's SQLSTATE says why.
class DestinationError : public std::runtime_error {
 public:
  DestinationError(std::string sqlState, const std::string& message)
      : std::runtime_error(message), sqlState_(std::move(sqlState)) {}
  const std::string& sqlState() const { return sqlState_; }

 private:
  std::string sqlState_;
};

// Whether a refusal concerns the row alone, so that the next row may still
// be stored: a value the column cannot hold (SQLSTATE class 22), a broken
// constraint such as a duplicate key (class 23), or a row larger than a
// Jet row, which the Access driver reports as a general error. Failures of
// the file, the connection or the driver end the table.
bool refusesRowAlone(const std::string& sqlState, const std::string& message);

class Destination {
 public:
  virtual ~Destination() = default;
  // Throws DestinationError when the statement is refused, and the access
  // layer's exception when no connection can be made.
  virtual void execute(const std::string& sql) = 0;
};

std::unique_ptr<Destination> connectionPerStatement(std::string connect);
std::unique_ptr<Destination> connectionPerTable(std::string connect);

}  // namespace engine
