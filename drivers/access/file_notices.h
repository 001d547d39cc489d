// The kernel's notices of changes to the files of cached databases.
//
// A cached database must not be trusted once another program has replaced,
// moved, removed or written its file. Asking the file system at every
// connect (a stat of the path) costs a system call whose price, on some
// machines, is a tenth of the whole per-row sequence. The kernel queues a
// notice for every such change before the changing call returns, so one
// read of the queue (nothing there in the common case) answers the same
// question for every cached file at once, and exactly as of that read.
//
// Not thread-safe: the database cache calls it under its own lock.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace tabulex::access::notices {

// Starts watching the file at path (which must be the one with the given
// device and inode) and the folders above it for changes that would make
// path name another file or change the file's content. Empty when the
// file cannot be watched this way (a relative path, symbolic links on the
// way, a network or other file system the kernel does not see all changes
// of, no notices available); the caller then asks the file system each time.
std::vector<int> watch(const std::string& path, dev_t device, ino_t inode);

// Stops what watch() started, except the watches of folders that another
// cached file still shares.
void unwatch(const std::vector<int>& watches);

struct Notice {
  int watch;  // -1: the kernel dropped notices, anything may have changed
  bool ended;  // the kernel stopped the watch: no more notices will come
};

// Appends every notice queued since the last call. No system call while
// nothing is watched.
void collect(std::vector<Notice>& notices);

// A child of fork() shares its parent's queue: reading it would take the
// parent's notices. The child forgets it (its watches die with it).
void forgetAfterFork();

}  // namespace tabulex::access::notices
