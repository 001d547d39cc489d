#include "cli/report.h"

#include <nlohmann/json.hpp>

namespace cli {

std::string jsonReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes, bool interrupted) {
  nlohmann::ordered_json tables = nlohmann::ordered_json::array();
  for (const auto& outcome : outcomes) {
    nlohmann::ordered_json table;
    table["source"] = outcome.source;
    table["destination"] = outcome.destination;
    table["rows_read"] = outcome.rowsRead;
    table["kind"] = outcome.kind;
    table["rows_written"] = outcome.rowsWritten;
    table["status"] = outcome.status();
    table["message"] = outcome.message;
    table["renames"] = outcome.renames;
    table["indexes"] = outcome.schema.indexes;
    table["relationships"] = outcome.schema.relationships;
    table["defaults"] = outcome.schema.defaults;
    table["descriptions"] = outcome.schema.descriptions;
    table["notes"] = outcome.notes;
    table["rows_skipped"] = outcome.rowsSkipped;
    nlohmann::ordered_json skipped = nlohmann::ordered_json::array();
    for (const auto& row : outcome.skipped)
      skipped.push_back({{"key", row.key}, {"reason", row.reason}});
    table["skipped"] = std::move(skipped);
    tables.push_back(std::move(table));
  }
  nlohmann::ordered_json report;
  report["database"] = database;
  report["output"] = output;
  report["tables"] = std::move(tables);
  report["interrupted"] = interrupted;
  // Names are whatever the server holds: never let a stray byte stop the report.
  return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string textReport(const std::string& database, const std::string& output,
                       const std::vector<engine::TableOutcome>& outcomes, bool interrupted) {
  std::string out = "Database " + database + " -> " + output + "\n";
  std::size_t failed = 0;
  for (const auto& outcome : outcomes) {
    out += "  " + outcome.source;
    if (outcome.destination != outcome.source) out += " -> " + outcome.destination;
    if (outcome.kind != "table") out += " (" + outcome.kind + ")";
    out += ": " + std::string(!outcome.ok ? "FAILED" : outcome.rowsSkipped ? "partial" : "ok") +
           ", rows read " + std::to_string(outcome.rowsRead) + ", written " +
           std::to_string(outcome.rowsWritten);
    if (outcome.rowsSkipped) out += ", skipped " + std::to_string(outcome.rowsSkipped);
    const engine::SchemaCounts& schema = outcome.schema;
    if (schema.indexes || schema.relationships || schema.defaults || schema.descriptions)
      out += "; indexes " + std::to_string(schema.indexes) + ", relationships " +
             std::to_string(schema.relationships) + ", defaults " +
             std::to_string(schema.defaults) + ", descriptions " +
             std::to_string(schema.descriptions);
    out += "\n";
    for (const auto& rename : outcome.renames) out += "      renamed " + rename + "\n";
    for (const auto& note : outcome.notes) out += "      note: " + note + "\n";
    for (const auto& row : outcome.skipped)
      out += "      skipped row " + row.key + ": " + row.reason + "\n";
    if (!outcome.ok) ++failed;
    if (!outcome.message.empty()) out += "      " + outcome.message + "\n";
  }
  if (interrupted)
    out += "Interrupted: the file holds the tables listed above, the last one as far as it got\n";
  else if (failed == 0)
    out += "Database Conversion Compleated Successfully\n";
  else
    out += "Conversion failed for " + std::to_string(failed) + " of " +
           std::to_string(outcomes.size()) + " tables; the rows written before a failure are kept\n";
  return out;
}

}  // namespace cli
