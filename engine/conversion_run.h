// The whole conversion: the Access file and its data source, then every
// chosen table in order, then the clean-up of the data sources.
#pragma once

#include <cstdint>
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
};

inline constexpr uint64_t kDefaultChunkRows = 20000;

// Converts the tables (source names, in the order given) into
// settings.destinationPath + ".mdb", reporting to observer. Never throws for
// a table's failure: each table's outcome is recorded and returned.
std::vector<TableOutcome> ConversionRun(const std::vector<std::string>& tables,
                                        const ConversionSettings& settings,
                                        ConversionObserver& observer,
                                        const RunOptions& options = {});

}  // namespace engine
