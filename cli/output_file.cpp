#include "cli/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>

#include "odbc/connect_string.h"
#include "odbc/data_source_registration.h"
#include "odbc/database.h"
#include "odbc/destination_file.h"

namespace cli {

namespace {

constexpr const char* kMarker = ".tabulex-";
constexpr std::size_t kRandomLength = 6;
constexpr std::size_t kNameMax = 255;

std::string folderOf(const std::string& file) {
  std::size_t slash = file.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

std::string nameOf(const std::string& file) {
  std::size_t slash = file.find_last_of('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

std::string joined(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// ".<anything>.tabulex-XXXXXX.mdb": a temporary file of some run.
bool isTemporaryName(const std::string& name) {
  if (name.empty() || name.front() != '.' || !endsWith(name, ".mdb")) return false;
  if (name.size() < 4 + kRandomLength + std::strlen(kMarker) + 1) return false;
  const std::size_t markerAt = name.size() - 4 - kRandomLength - std::strlen(kMarker);
  return name.compare(markerAt, std::strlen(kMarker), kMarker) == 0;
}

std::string randomText() {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::string text;
  for (std::size_t i = 0; i < kRandomLength; ++i) text += letters[device() % (sizeof letters - 1)];
  return text;
}

// The folder's flock keeps one run's clean-up away from another run's file
// between its creation and the connection that marks it as alive.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0)
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

// Temporary files nobody holds were left by a killed run: they and their
// journals go. A journal whose file is gone goes too.
void removeStaleFiles(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (endsWith(name, "-journal")) {
      std::string owner = name.substr(0, name.size() - 8);
      struct stat st;
      if (isTemporaryName(owner) && lstat(joined(folder, owner).c_str(), &st) != 0) stale.push_back(name);
      continue;
    }
    if (!isTemporaryName(name)) continue;
    const std::string path = joined(folder, name);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
    if (fileInUse(path)) continue;
    stale.push_back(name);
    stale.push_back(name + "-journal");
  }
  closedir(dir);
  for (const std::string& name : stale) unlink(joined(folder, name).c_str());
}

void syncPath(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  ::close(fd);
}

}  // namespace

std::string inUseMessage(const std::string& file) { return fileInUseMessage(file); }

OutputFile::OutputFile(std::string file, bool overwrite) : file_(std::move(file)), overwrite_(overwrite) {
  const std::string folder = folderOf(file_);
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw std::runtime_error("the folder " + folder + " does not exist");
  if (lstat(file_.c_str(), &st) != 0) return;
  if (!S_ISREG(st.st_mode))
    throw std::runtime_error(file_ + " is not a regular file" +
                             (S_ISDIR(st.st_mode) ? " but a folder" : S_ISLNK(st.st_mode) ? " but a link" : "") +
                             "; it is left alone");
  if (!overwrite_) throw std::runtime_error(file_ + " already exists (use --overwrite to replace it)");
  if (fileInUse(file_)) throw std::runtime_error(fileInUseMessage(file_));
}

OutputFile::~OutputFile() {
  held_.reset();
  if (published_ || temporaryBase_.empty()) return;
  unlink((temporaryBase_ + ".mdb").c_str());
  unlink((temporaryBase_ + ".mdb-journal").c_str());
}

bool OutputFile::create() {
  const std::string folder = folderOf(file_);
  std::string name = destinationWithoutSuffix(nameOf(file_));
  // The temporary name must still be a valid file name, and so must the
  // names the library makes beside it while creating it (".new-", up to ten
  // digits and "-journal").
  const std::size_t room = kNameMax - 1 - std::strlen(kMarker) - kRandomLength - 4 - 24;
  if (name.size() > room) {
    name.resize(room);
    // Never cut a UTF-8 character in two.
    while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80) name.pop_back();
    if (!name.empty() && (static_cast<unsigned char>(name.back()) & 0x80)) name.pop_back();
  }
  FolderLock lock(folder);
  removeStaleFiles(folder);
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::string base = joined(folder, "." + name + kMarker + randomText());
    struct stat st;
    if (lstat((base + ".mdb").c_str(), &st) == 0) continue;
    // The driver creates the file exclusively and never through a link.
    if (!CreateAccessDatabaseFile(base + ".mdb")) continue;
    temporaryBase_ = base;
    held_ = std::make_unique<CDatabase>();
    try {
      held_->OpenEx(accessDriverConnectString(base + ".mdb"), 0);
    } catch (const CDBException&) {
      // The run will tell why; the file is only less protected from a clean-up.
    }
    return true;
  }
  return false;
}

void OutputFile::publish() {
  const std::string temporary = temporaryBase_ + ".mdb";
  // Once its connection is closed the file looks like one a killed run left:
  // another run's clean-up must wait until it has its name.
  FolderLock lock(folderOf(file_));
  if (held_) held_->Close();
  held_.reset();
  // The driver closes a file shortly after its last connection; renamed
  // while still open, the file would be finished under its old name.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fileInUse(temporary) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  syncPath(temporary, O_RDONLY);

  std::string why;
  struct stat st;
  if (overwrite_ && lstat(file_.c_str(), &st) == 0) {
    // Held across the rename: no program opens the old file meanwhile.
    FileHold hold(file_);
    if (!S_ISREG(st.st_mode))
      why = file_ + " is no longer a regular file";
    else if (!hold.held())
      why = fileInUseMessage(file_);
    else if (rename(temporary.c_str(), file_.c_str()) != 0)
      why = "cannot replace " + file_ + ": " + std::strerror(errno);
  } else if (link(temporary.c_str(), file_.c_str()) == 0) {
    // link() never replaces what may have appeared there during the run.
    unlink(temporary.c_str());
  } else {
    why = errno == EEXIST ? file_ + " appeared during the run and is left alone"
                          : "cannot create " + file_ + ": " + std::strerror(errno);
  }
  if (why.empty()) {
    published_ = true;
    syncPath(folderOf(file_), O_RDONLY | O_DIRECTORY);
    return;
  }
  // The new file is kept under a name of its own, never lost.
  const std::string base = destinationWithoutSuffix(file_);
  for (int n = 1; n < 100; ++n) {
    std::string spare = base + (n == 1 ? std::string(".new") : ".new-" + std::to_string(n)) + ".mdb";
    if (link(temporary.c_str(), spare.c_str()) == 0) {
      unlink(temporary.c_str());
      published_ = true;
      throw std::runtime_error(why + "; the new file is " + spare);
    }
  }
  published_ = true;
  throw std::runtime_error(why + "; the new file is " + temporary);
}

}  // namespace cli
