// Any bytes opened as a database, as the driver and jetcheck open a file a
// user names: what the library cannot read must be refused with its own
// error, never crash or run away; the check must finish on any input.
#include <fstream>
#include <span>

#include "jet/check.h"
#include "jet/database.h"
#include "support/fuzz_case.h"

namespace fuzzcase {

void databaseFile(const uint8_t* data, size_t size) {
  std::string path = scratchPath("file.mdb");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  try {
    auto db = jet::Database::open(path, false);
    for (const auto& name : db->tableNames()) {
      try {
        jet::TableSpec spec = db->tableSpec(name);
        db->rowCount(name);
        // Every value is materialised, long values included.
        db->scanRows(name, [&](const std::vector<jet::Value>& row) {
          if (row.size() != spec.columns.size())
            throw Violation("a row of '" + name + "' has a value count its definition denies");
          return true;
        });
      } catch (const jet::Error&) {
      }
    }
  } catch (const jet::Error&) {
  }
  jet::checkImage(std::span<const uint8_t>(data, size));
}

}  // namespace fuzzcase
