// The lock that keeps runs apart while they use the fixed data-source names.
//
// "refDB", "dsnms" and "dsna" are shared by every wizard of the user: one
// run re-pointing "dsnms" while another reads through it would copy the
// other database's rows. Whoever registers or uses them holds this lock, an
// exclusive flock on a file beside the user's odbc.ini ("<odbc.ini>.lock"),
// from the first registration to the last removal.
#pragma once

#include <functional>
#include <string>

// "$ODBCINI.lock", or "$HOME/.odbc.ini.lock" as unixODBC's default user file.
std::string dataSourceLockPath();

class DataSourceLock {
 public:
  // Blocks until the lock is free. `waiting` is called once, before
  // blocking, when another process holds it. Without a lock file that can be
  // created (no home folder, a read-only folder) it holds nothing: the ini
  // file cannot be written there either.
  explicit DataSourceLock(const std::function<void()>& waiting = {});
  ~DataSourceLock();
  DataSourceLock(const DataSourceLock&) = delete;
  DataSourceLock& operator=(const DataSourceLock&) = delete;

 private:
  int fd_ = -1;
};

// What a run says while it waits for the lock.
inline constexpr const char* kWaitingForDataSourcesText =
    "Waiting for another conversion to finish with the data sources...";
