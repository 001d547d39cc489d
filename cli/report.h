// The report tabulex-convert prints when the run is over.
#pragma once

#include <string>
#include <vector>

#include "engine/conversion_observer.h"

namespace cli {

// `interrupted`: the run was stopped by a signal; the tables listed are
// what was done, and the file holds them.
std::string jsonReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes, bool interrupted = false);

std::string textReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes, bool interrupted = false);

}  // namespace cli
