// The column catalogue and the primary key of one MySQL table, read with
// raw catalogue calls on the data source "dsnms" under the user's login.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/type_mapping.h"

struct ConversionSettings;

namespace engine {

// The connect string of every source connection: the data source "dsnms"
// (or, for a connection of its own, the driver, server and database) with
// the user's login, a character set that holds every character MySQL stores
// (the driver's default loses characters outside the BMP), and time-outs.
// Throws std::invalid_argument for a value no connect string can carry.
std::string sourceConnectString(const ConversionSettings& settings, bool ownConnection = false);

class CatalogueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One connection for one table's turn: the column listing and the key
// lookup share it.
class ColumnCatalogue {
 public:
  explicit ColumnCatalogue(const std::string& connect);  // throws CatalogueError
  ~ColumnCatalogue();
  ColumnCatalogue(const ColumnCatalogue&) = delete;
  ColumnCatalogue& operator=(const ColumnCatalogue&) = delete;

  // The table's own columns in catalogue order: the name goes to the driver
  // as an escaped pattern and the rows are matched exactly, so tables whose
  // names differ only in letter case never mix.
  std::vector<SourceColumn> columns(const std::string& table);

  // The key columns, whole names, in key order; empty without a key.
  std::vector<std::string> primaryKey(const std::string& table);

 private:
  std::string escapePattern(const std::string& name);

  void* env_ = nullptr;
  void* dbc_ = nullptr;
  std::string escape_;
};

// Driver messages without their bracketed origin tags, one per line.
std::string diagnosticText(short handleType, void* handle);
// The first diagnostic record's SQLSTATE; empty when there is none.
std::string diagnosticState(short handleType, void* handle);

}  // namespace engine
