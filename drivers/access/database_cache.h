// Open Jet databases shared by the connections of this process.
//
// The converter connects once per row, so opening the file and reading its
// catalogue on every connect would dominate the cost of an insert. An open
// database therefore stays cached after its last connection closes and is
// revalidated at the next connect (same file on disk, not changed by another
// program). It is closed, releasing the file lock, once it has been idle for
// a short while.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

#include "drivers/access/executor.h"
#include "jet/database.h"

namespace tabulex::access {

struct SharedDatabase {
  std::mutex mutex;  // held while a statement runs on the file
  std::unique_ptr<jet::Database> db;
  SpecCache specs;
  // Room reused by every plain row insert into the file, whichever
  // connection sends it: the converter's connections last one row each.
  Insert plainInsert;
  std::string decodedText;
  std::vector<jet::Value> insertRow;
  std::string path;  // as the connection that opened it named it
  dev_t device = 0;
  ino_t inode = 0;
  pid_t owner = 0;
  int users = 0;
  bool stale = false;  // replaced on disk; dropped when its last user leaves
  long long idleSinceMs = 0;
  // Kernel notices of changes to the file (none: ask the file system at
  // every connect). A notice, or a watch begun after the file was read,
  // means the file must be checked at the next connect; the count keeps a
  // check from clearing a notice that came while it ran.
  std::vector<int> watches;
  bool recheck = true;
  unsigned long notices = 0;
};

// Opens or reuses the database at path. Throws DriverError (08001) when the
// file is missing, is no Jet 4 database, or is locked by another process.
std::shared_ptr<SharedDatabase> acquireDatabase(const std::string& path);
void releaseDatabase(const std::shared_ptr<SharedDatabase>& entry);

// Closes every idle database now (used before a file is created or removed).
void closeIdleDatabases();

}  // namespace tabulex::access
