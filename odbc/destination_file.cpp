#include "odbc/destination_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace {

struct flock wholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

}  // namespace

std::string destinationWithoutSuffix(const std::string& destination) {
  if (destination.size() >= 4) {
    std::string tail = destination.substr(destination.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (tail == ".mdb") return destination.substr(0, destination.size() - 4);
  }
  return destination;
}

std::string fileInUseMessage(const std::string& file) {
  return "The file '" + file + "' is already in use by another program.";
}

// Open-file-description locks, as the database library takes them: they
// also exclude a connection of this very process.
FileHold::FileHold(const std::string& file) {
  fd_ = ::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    // Not writable here: nobody can be told to wait, only asked.
    held_ = !fileInUse(file);
    return;
  }
  struct flock lock = wholeFile(F_WRLCK);
  held_ = fcntl(fd_, F_OFD_SETLK, &lock) == 0;
}

FileHold::~FileHold() {
  if (fd_ >= 0) ::close(fd_);
}

bool fileInUse(const std::string& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe = wholeFile(F_WRLCK);
  bool locked = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}
