// The report tabulex-convert prints when the run is over.
#pragma once

#include <string>
#include <vector>

#include "engine/conversion_observer.h"

namespace cli {

std::string jsonReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes);

std::string textReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes);

}  // namespace cli
