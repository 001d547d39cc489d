// Command-line options of tabulex-convert.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "odbc/mysql_server.h"

namespace cli {

struct Options {
  std::string database;
  std::string user;
  std::optional<std::string> passwordFile;
  std::vector<std::string> tables;  // empty: every table
  std::string output;               // as given, with or without ".mdb"
  bool overwrite = false;
  bool json = false;
  bool connectPerRow = false;  // the wizard's sequence; --bulk is the default
  std::uint64_t chunkRows = 0;  // 0: the engine's default
  bool quiet = false;  // no progress line
  bool views = false;       // views too, each converted into a table
  bool fullSchema = true;   // --schema full (default) or plain
  bool help = false;
  MySqlServer server;  // --host, --port, --source-dsn, --ssl, --ssl-ca
};

// Throws std::invalid_argument with a message for the user.
Options parseOptions(const std::vector<std::string>& arguments);

// The destination without its ".mdb" suffix (any letter case), as the
// run's settings hold it.
std::string destinationWithoutSuffix(const std::string& output);

// Names in the order the table page shows them: sorted without regard to
// letter case, ties in byte order.
void sortAsTablePage(std::vector<std::string>& names);

extern const char* const kUsage;

}  // namespace cli
