// The one failure type inside the driver: an ODBC SQLSTATE and a message.
// The ODBC layer turns it into a diagnostic record on the handle.
#pragma once

#include <stdexcept>
#include <string>

namespace tabulex::access {

class DriverError : public std::runtime_error {
 public:
  DriverError(std::string sqlstate, const std::string& message)
      : std::runtime_error(message), sqlstate_(std::move(sqlstate)) {}
  const std::string& sqlstate() const { return sqlstate_; }

 private:
  std::string sqlstate_;
};

}  // namespace tabulex::access
