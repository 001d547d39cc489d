// The user's choices, passed between the pages, the catalogue and the engine.
// One instance lives for the whole process and is never cleared.
#pragma once

#include <string>

#include "odbc/mysql_server.h"

struct ConversionSettings {
  std::string databaseName;     // MySQL database picked on the connection page
  std::string loginName;        // as typed
  std::string password;         // as typed; never written to disk
  std::string destinationPath;  // full path of the Access file, without ".mdb"
  MySqlServer server;           // every MySQL data source of the run names it
  // The user agreed to replace the existing file at the destination; it is
  // removed when the conversion starts the new one, not before.
  bool replaceDestination = false;
};

// The process-wide instance.
ConversionSettings& conversionSettings();
