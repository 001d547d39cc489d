// The user's choices, passed between the pages, the catalogue and the engine.
// One instance lives for the whole process and is never cleared.
#pragma once

#include <string>

struct ConversionSettings {
  std::string databaseName;     // MySQL database picked on the connection page
  std::string loginName;        // as typed
  std::string password;         // as typed; never written to disk
  std::string destinationPath;  // full path of the Access file, without ".mdb"
};

// The process-wide instance.
ConversionSettings& conversionSettings();
