// tabulex-convert started in the background, for tests that signal, kill or
// race it: its output goes to files beside the test's own.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace clitest {

std::string converter();  // the built tabulex-convert

class ChildRun {
 public:
  // `logs` names the two output files (logs + ".out", logs + ".err").
  ChildRun(const std::vector<std::string>& arguments, const std::filesystem::path& logs,
           const std::vector<std::pair<std::string, std::string>>& environment);
  ~ChildRun();  // kills a run still going
  ChildRun(const ChildRun&) = delete;
  ChildRun& operator=(const ChildRun&) = delete;

  void signal(int number);
  // The exit status, or minus the signal that ended it.
  int wait();
  std::string out() const;
  std::string err() const;

 private:
  int pid_ = -1;
  bool reaped_ = false;
  std::string out_, err_;
};

// The temporary files of runs in a folder (their journals included).
std::vector<std::filesystem::path> temporaryFiles(const std::filesystem::path& folder);

// Polls condition until it holds or the limit passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds limit);

// True once a run's temporary file beside nothing else has grown past `bytes`.
bool aTemporaryFileHasGrown(const std::filesystem::path& folder, std::uintmax_t bytes);

}  // namespace clitest
