// The destination Access file as both front ends see it: its name, and
// whether another program is using it.
#pragma once

#include <string>

// The destination without its ".mdb" suffix (any letter case): the file a
// run writes is this plus ".mdb", one suffix, added only when missing.
std::string destinationWithoutSuffix(const std::string& destination);

// The Access driver's own words for a file another program holds.
std::string fileInUseMessage(const std::string& file);

// Holds the lock a database connection takes on an existing file, so that no
// program opens it while it is replaced or removed. held() is false when
// another program holds the file (a connection of the Access driver, or
// anything else with a lock on it).
class FileHold {
 public:
  explicit FileHold(const std::string& file);
  ~FileHold();
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;
  bool held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

// Whether another program holds the file; a file that cannot be opened is
// held by nobody.
bool fileInUse(const std::string& file);
