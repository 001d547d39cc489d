#include "odbc/data_source_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string dataSourceLockPath() {
  if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') return std::string(ini) + ".lock";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.odbc.ini.lock";
}

DataSourceLock::DataSourceLock(const std::function<void()>& waiting) {
  // Never through a link another user may have planted.
  fd_ = ::open(dataSourceLockPath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
  if (waiting) waiting();
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
  }
}

DataSourceLock::~DataSourceLock() {
  if (fd_ >= 0) ::close(fd_);
}
