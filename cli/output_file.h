// The Access file of a command-line run. It is written under a temporary
// name beside the destination (".<name>.tabulex-XXXXXX.mdb") and takes the
// destination's name only when the run is over, so a killed run never
// leaves a half-written file under that name and `--overwrite` keeps the old
// file until the new one is complete. The run keeps a connection on the
// temporary file, so that the driver's lock on it tells a live run's file
// from one a killed run left behind; the next run beside it removes those.
#pragma once

#include <memory>
#include <string>

class CDatabase;

namespace cli {

class OutputFile {
 public:
  // `file` is the destination's whole name, ".mdb" included, used byte for
  // byte. Refuses (std::runtime_error) what must not go ahead before
  // anything is written: a missing folder, an existing file without
  // `overwrite`, anything there but a regular file, a file another program
  // holds open.
  OutputFile(std::string file, bool overwrite);
  ~OutputFile();  // removes the temporary file unless it was published
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Removes stale temporary files beside the destination and creates a
  // fresh, empty database under a new temporary name. False when the Access
  // driver could not create it.
  bool create();

  // The temporary file's name without ".mdb", as the run's settings hold it.
  const std::string& temporaryBase() const { return temporaryBase_; }
  const std::string& file() const { return file_; }

  // Gives the finished file the destination's name. When that is no longer
  // possible (a file appeared there, or another program now holds the old
  // one), the new file is kept under a free name beside it and the
  // std::runtime_error says where.
  void publish();

 private:
  std::string file_;
  bool overwrite_;
  std::string temporaryBase_;
  std::unique_ptr<CDatabase> held_;
  bool published_ = false;
};

// The message the Access driver gives for a file another program holds.
std::string inUseMessage(const std::string& file);

}  // namespace cli
