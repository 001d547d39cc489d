#include "child_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "support/rig.h"

namespace fs = std::filesystem;

namespace clitest {

std::string converter() { return std::string(TABULEX_BINARY_DIR) + "/cli/tabulex-convert"; }

ChildRun::ChildRun(const std::vector<std::string>& arguments, const fs::path& logs,
                   const std::vector<std::pair<std::string, std::string>>& environment) {
  out_ = logs.string() + ".out";
  err_ = logs.string() + ".err";
  // Everything exec needs is made before the fork.
  std::string program = converter();
  std::vector<std::string> copy = arguments;
  std::vector<char*> argv{program.data()};
  for (std::string& argument : copy) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
}

ChildRun::~ChildRun() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void ChildRun::signal(int number) { kill(pid_, number); }

int ChildRun::wait() {
  int status = 0;
  waitpid(pid_, &status, 0);
  reaped_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::string ChildRun::out() const { return tabulex::test::readTextFile(out_); }
std::string ChildRun::err() const { return tabulex::test::readTextFile(err_); }

std::vector<fs::path> temporaryFiles(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(".tabulex-") != std::string::npos) found.push_back(entry.path());
  return found;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool aTemporaryFileHasGrown(const fs::path& folder, std::uintmax_t bytes) {
  std::error_code error;
  for (const fs::path& file : temporaryFiles(folder))
    if (file.extension() == ".mdb" && fs::file_size(file, error) > bytes) return true;
  return false;
}

}  // namespace clitest
