#include "drivers/access/file_notices.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <string>

namespace tabulex::access::notices {
namespace {

int queue = -1;
// Watches by number, with how many cached files use each: the kernel gives
// a folder that two files share one watch. Never destroyed, like the cache:
// its closer thread may still let go of a file while the process exits.
std::map<int, int>& users = *new std::map<int, int>;

// File systems whose every change passes through this kernel. A network
// file system changed from another machine sends no notice.
bool seesEveryChange(const std::string& path) {
  struct statfs fs {};
  if (statfs(path.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0x858458F6:  // ramfs
    case 0xF2F52010:  // f2fs
    case 0x794C7630:  // overlayfs
    case 0x2FC12FC1:  // zfs
      return true;
    default:
      return false;
  }
}

int addWatch(const std::string& path, uint32_t mask, bool followLinks) {
  int w = inotify_add_watch(queue, path.c_str(), mask | (followLinks ? 0 : IN_DONT_FOLLOW));
  if (w >= 0) ++users[w];
  return w;
}

}  // namespace

std::vector<int> watch(const std::string& path, dev_t device, ino_t inode) {
  // The path itself must be the file's one name: with a link or a relative
  // part on the way, the name could come to mean another file without any
  // change to this file or its folders.
  char resolved[PATH_MAX];
  if (path.empty() || path[0] != '/' || !realpath(path.c_str(), resolved) || path != resolved)
    return {};
  if (!seesEveryChange(path)) return {};
  if (queue < 0) queue = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (queue < 0) return {};
  std::vector<int> watches;
  // The watch goes on the file the database has open, reached through a
  // descriptor: the path may already name another one.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  struct stat st {};
  int file = -1;
  if (fstat(fd, &st) == 0 && st.st_dev == device && st.st_ino == inode) {
    // Written, truncated, given another link count (replaced or removed by
    // name), moved, or closed by a program that had it open for writing
    // (which may have written through a mapping, which sends no notice).
    file = addWatch("/proc/self/fd/" + std::to_string(fd),
                    IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF,
                    true);
  }
  close(fd);
  if (file < 0) return {};
  watches.push_back(file);
  // A folder on the way moved or removed: the path may name another file.
  for (size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
       slash = path.rfind('/', slash - 1)) {
    int folder =
        addWatch(path.substr(0, slash), IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR, false);
    if (folder < 0) {
      unwatch(watches);
      return {};
    }
    watches.push_back(folder);
  }
  return watches;
}

void unwatch(const std::vector<int>& watches) {
  for (int w : watches) {
    auto it = users.find(w);
    if (it == users.end()) continue;
    if (--it->second > 0) continue;
    users.erase(it);
    if (queue >= 0) inotify_rm_watch(queue, w);
  }
}

void collect(std::vector<Notice>& notices) {
  if (queue < 0 || users.empty()) return;
  constexpr size_t kLargest = sizeof(inotify_event) + NAME_MAX + 1;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    ssize_t got = read(queue, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      // EAGAIN: the queue is empty. Anything else: nothing can be trusted.
      if (errno != EAGAIN) notices.push_back({-1, false});
      return;
    }
    for (size_t at = 0; at + sizeof(inotify_event) <= size_t(got);) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      if (e->mask & IN_Q_OVERFLOW) {
        notices.push_back({-1, false});
      } else {
        bool ended = (e->mask & IN_IGNORED) != 0;
        notices.push_back({e->wd, ended});
        if (ended) users.erase(e->wd);
      }
      at += sizeof(inotify_event) + e->len;
    }
    // A read returns every queued notice that fits; room left for the
    // largest one means none was left behind.
    if (size_t(got) + kLargest <= sizeof buffer) return;
  }
}

void forgetAfterFork() {
  if (queue >= 0) close(queue);
  queue = -1;
  users.clear();
}

}  // namespace tabulex::access::notices
