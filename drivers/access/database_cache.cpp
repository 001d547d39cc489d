#include "drivers/access/database_cache.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <dirent.h>
#include <dlfcn.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "drivers/access/driver_error.h"
#include "drivers/access/file_notices.h"

namespace tabulex::access {
namespace {

// Long enough to bridge the gaps of a conversion (one connection per row,
// catalogue reads between tables), short enough that another program can
// take the file soon after we are done with it.
constexpr long long kLingerMs = 150;
constexpr auto kPollInterval = std::chrono::milliseconds(25);

long long nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Cache {
  std::mutex mutex;
  std::vector<std::shared_ptr<SharedDatabase>> entries;
  bool closerRunning = false;
  pid_t closerPid = 0;
  std::vector<notices::Notice> notices;  // room reused by every connect
};

// The closer thread and the fork handlers run code of this library, so the
// library must stay loaded even where the driver manager is told to unload
// drivers.
void pinLibrary() {
  static bool pinned = false;
  if (pinned) return;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&pinLibrary), &info) && info.dli_fname)
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  pinned = true;
}

// This process's id, kept up to date across fork() by the handler below:
// asked on every connect, where a system call each time would cost more
// than the rest of the driver's connect.
std::atomic<pid_t> processId{0};

// Never destroyed: the closer thread may still run while the process exits.
// A fork() while the closer thread holds the lock would leave the child's
// copy locked for ever, so the lock is taken around every fork.
std::atomic<Cache*> cacheMade{nullptr};

Cache& cache() {
  static Cache* c = [] {
    auto* fresh = new Cache;
    cacheMade = fresh;
    pinLibrary();
    processId = getpid();
    pthread_atfork([] { cache().mutex.lock(); }, [] { cache().mutex.unlock(); },
                   [] {
                     processId = getpid();
                     notices::forgetAfterFork();
                     cache().mutex.unlock();
                   });
    return fresh;
  }();
  return *c;
}

// Closes this process's descriptors of a file without any other effect.
// A child of fork() shares its parent's open file descriptions, and with
// them the parent's lock: keeping them open would keep the file locked for
// as long as the child lives.
void closeInheritedDescriptors(dev_t device, ino_t inode) {
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return;
  std::vector<int> matches;
  while (dirent* e = readdir(fds)) {
    int fd = std::atoi(e->d_name);
    struct stat st;
    if (fd > 2 && fd != dirfd(fds) && fstat(fd, &st) == 0 && st.st_dev == device &&
        st.st_ino == inode)
      matches.push_back(fd);
  }
  closedir(fds);
  for (int fd : matches) ::close(fd);
  // A mapping of the file holds the description too.
  FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps) return;
  std::vector<std::pair<uintptr_t, uintptr_t>> ranges;
  char line[4096];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long start, end, offset, major, minor, node;
    char perms[8];
    if (std::sscanf(line, "%lx-%lx %7s %lx %lx:%lx %lu", &start, &end, perms, &offset, &major,
                    &minor, &node) == 7 &&
        node == inode && makedev(major, minor) == device)
      ranges.emplace_back(start, end);
  }
  std::fclose(maps);
  for (auto [start, end] : ranges) munmap(reinterpret_cast<void*>(start), end - start);
}

// Entries inherited through fork() belong to the parent. The child forgets
// them without running their clean-up, which would change the parent's file,
// and lets go of the shared descriptors.
void dropForeignEntries(Cache& c, pid_t self) {
  for (auto it = c.entries.begin(); it != c.entries.end();) {
    if ((*it)->owner != self) {
      closeInheritedDescriptors((*it)->device, (*it)->inode);
      (void)(*it)->db.release();
      it = c.entries.erase(it);
    } else {
      ++it;
    }
  }
  if (c.closerPid != self) c.closerRunning = false;
}

// Must run with the cache lock held: closing a file descriptor drops every
// fcntl lock this process holds on the file, so no other open of the same
// file may happen concurrently.
void closeIdle(Cache& c, long long now, long long linger) {
  for (auto it = c.entries.begin(); it != c.entries.end();) {
    SharedDatabase& e = **it;
    if (e.users == 0 && now - e.idleSinceMs >= linger) {
      e.db.reset();
      notices::unwatch(e.watches);
      it = c.entries.erase(it);
    } else {
      ++it;
    }
  }
}

void closerLoop() {
  Cache& c = cache();
  for (;;) {
    std::this_thread::sleep_for(kPollInterval);
    std::lock_guard<std::mutex> lock(c.mutex);
    closeIdle(c, nowMs(), kLingerMs);
    if (c.entries.empty()) {
      c.closerRunning = false;
      return;
    }
  }
}

void startCloser(Cache& c) {
  if (c.closerRunning) return;
  try {
    std::thread(closerLoop).detach();
    c.closerRunning = true;
    c.closerPid = getpid();
  } catch (const std::system_error&) {
    // Without a thread the database simply stays open until the next use.
  }
}

// True when another open file description holds a lock on the file. The
// library's own open fails in that case too, but checking first keeps a
// failed open from touching a file that another program is writing.
bool lockedElsewhere(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  bool locked = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}

[[noreturn]] void connectError(const std::string& message) {
  throw DriverError("08001", message);
}

// At exit, close every database this process still holds, so that each
// file is finished properly (its journal removed, its reserved tail given
// back) even when the program ends within the linger time or without
// disconnecting.
struct CloseAtExit {
  ~CloseAtExit() {
    // A library loaded and unloaded without a connection has nothing to
    // close, and must not start its cache (nor its fork handlers) while
    // it is being unloaded.
    Cache* made = cacheMade.load();
    if (!made) return;
    Cache& c = *made;
    std::lock_guard<std::mutex> lock(c.mutex);
    dropForeignEntries(c, getpid());
    for (auto& e : c.entries) {
      // A statement still running on another thread keeps its file.
      if (!e->mutex.try_lock()) continue;
      e->db.reset();
      e->mutex.unlock();
    }
  }
} closeAtExit;

// Marks the entries whose files the kernel reported changed. Must run with
// the cache lock held.
void takeNotices(Cache& c) {
  c.notices.clear();
  notices::collect(c.notices);
  for (const auto& n : c.notices) {
    for (auto& e : c.entries) {
      bool mine = n.watch < 0;
      for (int w : e->watches) mine = mine || w == n.watch;
      if (!mine) continue;
      e->recheck = true;
      ++e->notices;
      // With one of its watches gone the file may change unreported: from
      // now on it is checked at every connect.
      if (n.ended) {
        notices::unwatch(e->watches);
        e->watches.clear();
      }
    }
  }
}

// The common reconnect: the same path as before, naming the same file, which
// nobody changed. Where the kernel reports every change to the file, its
// queue of notices (empty, normally) says so for the price of one read;
// otherwise the library's own check costs one stat, which still skips the
// stat that finding an entry by device and inode needs. Anything else
// (another path to the file, a replaced or rewritten file) is left to the
// full look-up.
std::shared_ptr<SharedDatabase> reuseByPath(Cache& c, const std::string& path, pid_t self) {
  std::shared_ptr<SharedDatabase> entry;
  long long idleSince = 0;
  bool trusted = false;
  unsigned long noticesBefore = 0;
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    dropForeignEntries(c, self);
    takeNotices(c);
    for (auto& e : c.entries) {
      if (!e->stale && e->db && e->path == path) {
        entry = e;
        idleSince = e->idleSinceMs;
        trusted = !e->watches.empty() && !e->recheck;
        noticesBefore = e->notices;
        ++entry->users;  // keeps the closer away while the file is checked
        break;
      }
    }
  }
  if (!entry) return nullptr;
  if (trusted) return entry;
  bool unchanged;
  {
    std::lock_guard<std::mutex> lock(entry->mutex);
    unchanged = entry->db && !entry->db->changedOnDisk();
  }
  std::lock_guard<std::mutex> lock(c.mutex);
  if (unchanged) {
    // The check ran with the watches in place: until the next notice the
    // file is as it found it.
    if (entry->notices == noticesBefore) entry->recheck = false;
    return entry;
  }
  // A copy of a file replaced on disk must still age out: looking at it
  // does not count as using it, or a connect every few milliseconds would
  // keep the old file open and locked for ever.
  if (--entry->users == 0) entry->idleSinceMs = idleSince;
  return nullptr;
}

}  // namespace

std::shared_ptr<SharedDatabase> acquireDatabase(const std::string& path) {
  Cache& c = cache();
  pid_t self = processId.load(std::memory_order_relaxed);
  if (auto entry = reuseByPath(c, path, self)) return entry;

  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    int err = errno;
    if (err == ENOENT || err == ENOTDIR)
      connectError("Could not find file '" + path + "'.");
    connectError("Cannot open file '" + path + "': " + std::strerror(err) + ".");
  }
  if (!S_ISREG(st.st_mode)) connectError("'" + path + "' is not a database file.");

  std::shared_ptr<SharedDatabase> entry;
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    dropForeignEntries(c, self);
    for (auto& e : c.entries) {
      if (e->device == st.st_dev && e->inode == st.st_ino && !e->stale && e->db) {
        entry = e;
        ++entry->users;
        break;
      }
    }
    if (!entry) {
      auto fresh = std::make_shared<SharedDatabase>();
      if (lockedElsewhere(path))
        connectError("The file '" + path + "' is already in use by another program.");
      try {
        // Validate without write access first: a writable open that fails
        // must never get the chance to change a file that is not ours.
        try {
          jet::Database::open(path, false);
        } catch (const jet::Error& e) {
          // A pending journal is repaired by the writable open below.
          if (e.code() != jet::Error::Code::Locked) throw;
        }
        fresh->db = jet::Database::open(path, true);
      } catch (const jet::Error& e) {
        using C = jet::Error::Code;
        switch (e.code()) {
          case C::Locked:
            connectError("The file '" + path +
                         "' is already in use by another program: " + e.what());
          case C::NotJet4:
          case C::Encrypted:
          case C::Corrupt:
            connectError("'" + path + "' is not a database this driver can open: " +
                         e.what());
          default:
            connectError("Cannot open '" + path + "': " + e.what());
        }
      } catch (const std::exception& e) {
        connectError("Cannot open '" + path + "': " + e.what());
      }
      fresh->path = path;
      fresh->device = st.st_dev;
      fresh->inode = st.st_ino;
      fresh->owner = self;
      fresh->users = 1;
      // Watched only now, after the file was read: the first reconnect
      // checks the file once more (recheck starts true).
      fresh->watches = notices::watch(path, st.st_dev, st.st_ino);
      c.entries.push_back(fresh);
      return fresh;
    }
  }
  // Another program may have written the file since our last statement.
  std::lock_guard<std::mutex> lock(entry->mutex);
  try {
    if (entry->db->changedOnDisk()) {
      entry->db->reload();
      entry->specs.clear();
      // The reload may have opened a new file at the path: watch that one.
      std::lock_guard<std::mutex> cl(c.mutex);
      notices::unwatch(entry->watches);
      entry->watches = notices::watch(entry->path, entry->device, entry->inode);
      entry->recheck = true;
    }
  } catch (const jet::Error& e) {
    {
      std::lock_guard<std::mutex> cl(c.mutex);
      entry->stale = true;
    }
    releaseDatabase(entry);
    connectError("Cannot read '" + path + "' again: " + e.what());
  }
  return entry;
}

void releaseDatabase(const std::shared_ptr<SharedDatabase>& entry) {
  if (!entry) return;
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (--entry->users > 0) return;
  entry->idleSinceMs = nowMs();
  if (entry->stale) {
    closeIdle(c, entry->idleSinceMs + kLingerMs, kLingerMs);
    return;
  }
  startCloser(c);
}

void closeIdleDatabases() {
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  dropForeignEntries(c, getpid());
  closeIdle(c, nowMs(), 0);
}

}  // namespace tabulex::access
