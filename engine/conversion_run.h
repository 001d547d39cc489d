// The whole conversion: the Access file and its data source, then every
// chosen table in order, then the clean-up of the data sources.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/conversion_observer.h"
#include "odbc/conversion_settings.h"

namespace engine {

struct RunOptions {
  // One destination connection per table instead of one per row.
  bool bulk = false;
  // Rows read from the server at a time for tables with more rows than
  // that; 0 for kDefaultChunkRows.
  uint64_t chunkRows = 0;
  // Connect strings that name the drivers instead of the wizard's fixed
  // data sources: the run registers nothing in odbc.ini, takes no lock and
  // never meets another run. Without it the run holds the data-source lock,
  // registers "dsnms" and "dsna" afresh, and removes them at its end.
  bool ownConnections = false;
  // Whether the run makes the Access file; false when the caller has made it.
  bool createFile = true;
  // Set, from anywhere, to stop after the row being written: the tables not
  // yet begun are left out of the outcomes.
  const std::atomic<bool>* stop = nullptr;
  // Indexes, AutoNumber, defaults, descriptions and relationships besides
  // the columns, Required and the primary key.
  bool fullSchema = true;
};

inline constexpr uint64_t kDefaultChunkRows = 20000;

// How a table stopped by RunOptions::stop ends.
inline constexpr const char* kInterruptedText = "interrupted; the rows copied so far are in the file";

// Converts the tables (source names, in the order given) into
// settings.destinationPath + ".mdb", reporting to observer. Never throws for
// a table's failure: each table's outcome is recorded and returned. Once the
// MySQL server is lost, the tables after the one that noticed fail at once.
std::vector<TableOutcome> ConversionRun(const std::vector<std::string>& tables,
                                        const ConversionSettings& settings,
                                        ConversionObserver& observer,
                                        const RunOptions& options = {});

}  // namespace engine
