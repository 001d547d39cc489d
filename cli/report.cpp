#include "cli/report.h"

#include <nlohmann/json.hpp>

namespace cli {

std::string jsonReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes) {
  nlohmann::ordered_json tables = nlohmann::ordered_json::array();
  for (const auto& outcome : outcomes) {
    nlohmann::ordered_json table;
    table["source"] = outcome.source;
    table["destination"] = outcome.destination;
    table["rows_read"] = outcome.rowsRead;
    table["rows_written"] = outcome.rowsWritten;
    table["status"] = outcome.ok ? "ok" : "failed";
    table["message"] = outcome.message;
    table["renames"] = outcome.renames;
    tables.push_back(std::move(table));
  }
  nlohmann::ordered_json report;
  report["database"] = database;
  report["output"] = output;
  report["tables"] = std::move(tables);
  // Names are whatever the server holds: never let a stray byte stop the report.
  return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string textReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes) {
  std::string out = "Database " + database + " -> " + output + "\n";
  std::size_t failed = 0;
  for (const auto& outcome : outcomes) {
    out += "  " + outcome.source;
    if (outcome.destination != outcome.source) out += " -> " + outcome.destination;
    out += ": " + std::string(outcome.ok ? "ok" : "FAILED") + ", rows read " +
           std::to_string(outcome.rowsRead) + ", written " + std::to_string(outcome.rowsWritten) +
           "\n";
    for (const auto& rename : outcome.renames) out += "      renamed " + rename + "\n";
    if (!outcome.ok) ++failed;
    if (!outcome.message.empty()) out += "      " + outcome.message + "\n";
  }
  if (failed == 0)
    out += "Database Conversion Compleated Successfully\n";
  else
    out += "Conversion failed for " + std::to_string(failed) + " of " +
           std::to_string(outcomes.size()) + " tables; the rows written before a failure are kept\n";
  return out;
}

}  // namespace cli
