#include "jet/pager.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "jet/bytes.h"
#include "jet/database.h"

namespace jet {

namespace {

constexpr uint64_t kMaxPages = 0x80000000ull / kPageSize;  // Jet's 2 GB ceiling
constexpr uint64_t kMapBytes = kMaxPages * kPageSize;
constexpr size_t kJournalMapBytes = size_t(1) << 30;
constexpr size_t kJournalHeader = 64;
// The second layout added the file identity; a journal of the first layout
// cannot be tied to its file and is never applied.
constexpr char kJournalMagic[8] = {'T', 'B', 'X', 'J', 'R', 'N', 'L', '2'};
// Journal header fields.
constexpr size_t kStateAt = 8;   // u32: 1 while an operation is pending
constexpr size_t kPagesAt = 12;  // u32: page count before the operation
constexpr size_t kEndAt = 16;    // u64: end of the valid records
constexpr size_t kInodeAt = 24;  // u64 + u64: the file the journal belongs to
constexpr size_t kDeviceAt = 32;
// u64: a digest of page 0. The inode alone does not tie a journal to its
// file: a file made after the old one was deleted often gets the freed
// inode. Page 0 holds the creation time to the microsecond and is never
// rewritten, so a new file cannot share it.
constexpr size_t kIdentityAt = 40;
// u32: the page count the last finished operation left. The file may run
// past it by zero pages claimed ahead (kGrowPages), which a writer that
// dies leaves behind and the next open cuts off. 0: not known.
constexpr size_t kCommittedAt = 48;
// A file grows by this many zero pages at a time: one write instead of one
// a page. A clean close cuts off those not used.
constexpr uint32_t kGrowPages = 32;

[[noreturn]] void ioError(const std::string& what, const std::string& path) {
  throw Error(Error::Code::Io, what + " '" + path + "': " + std::strerror(errno));
}

// Store order is all the journal needs: no other process looks at the file
// while this one holds the lock, and a killed process's stores all reach
// the page cache up to the instant it died. A release fence gives that
// order on every CPU without the full barrier that a sequentially
// consistent one costs on x86 at every journal record.
void fence() { std::atomic_thread_fence(std::memory_order_release); }

bool lockFile(int fd, bool exclusive) {
  struct flock lock {};
  lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  // Open-file-description locks also exclude a second open in this process.
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

uint64_t pageDigest(const uint8_t* page) {
  uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a
  for (size_t i = 0; i < kPageSize; ++i) h = (h ^ page[i]) * 0x100000001b3ull;
  return h;
}

// The identity of the open file `fd`, as the journal records it.
uint64_t fileIdentity(int fd, const std::string& path) {
  uint8_t page[kPageSize] = {};
  ssize_t n = pread(fd, page, sizeof page, 0);
  if (n < 0) ioError("cannot read", path);
  return pageDigest(page);
}

[[noreturn]] void refuseJournal(const std::string& path, const char* why) {
  throw Error(Error::Code::Io, "the journal of '" + path + "' is " + why + "; refusing to use it");
}

// Opens the journal beside a database without ever following a link: an
// existing one must be a plain file of its own, a new one is created
// exclusively. A link planted there would otherwise make the next writer
// overwrite whatever it points at.
int openJournal(const std::string& path, bool writable) {
  const std::string journalPath = path + "-journal";
  const int mode = (writable ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = ::open(journalPath.c_str(), mode);
    if (fd < 0 && errno == ENOENT) {
      if (!writable) return -1;
      fd = ::open(journalPath.c_str(), mode | O_CREAT | O_EXCL, 0644);
      if (fd < 0 && errno == EEXIST) continue;  // another writer raced us to it
    }
    if (fd < 0) {
      if (errno == ELOOP) refuseJournal(path, "a symbolic link");
      if (!writable) return -1;
      ioError("cannot create the journal of", path);
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
      ::close(fd);
      refuseJournal(path, "not a regular file of its own");
    }
    return fd;
  }
  ioError("cannot create the journal of", path);
}

void writeAll(int fd, const uint8_t* data, size_t size, off_t at, const std::string& path) {
  while (size > 0) {
    ssize_t n = pwrite(fd, data, size, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      ioError("cannot write", path);
    }
    data += n;
    size -= size_t(n);
    at += n;
  }
}

}  // namespace

std::string Pager::writeTemporary(const std::string& path, const std::vector<Page>& pages) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0)
    throw Error(Error::Code::Exists, "the file '" + path + "' already exists");
  std::random_device rd;
  std::string temp = path + ".new-" + std::to_string(rd());
  int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) ioError("cannot create", path);
  try {
    for (size_t i = 0; i < pages.size(); ++i)
      writeAll(fd, pages[i].data(), kPageSize, off_t(i * kPageSize), path);
  } catch (...) {
    ::close(fd);
    unlink(temp.c_str());
    throw;
  }
  ::close(fd);
  return temp;
}

void Pager::publish(const std::string& temp, const std::string& path) {
  int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    ::close(fd);
  }
  // link() refuses an existing target, so a racing creator is never overwritten.
  if (link(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    unlink(temp.c_str());
    errno = err;
    if (err == EEXIST) throw Error(Error::Code::Exists, "the file '" + path + "' already exists");
    ioError("cannot create", path);
  }
  unlink(temp.c_str());
}

std::unique_ptr<Pager> Pager::open(const std::string& path, bool writable) { return open(path, writable, true); }

std::unique_ptr<Pager> Pager::open(const std::string& path, bool writable, bool repair) {
  std::unique_ptr<Pager> p(new Pager);
  p->path_ = path;
  p->writable_ = writable;
  p->fd_ = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (p->fd_ < 0) ioError("cannot open", path);
  struct stat st;
  if (fstat(p->fd_, &st) != 0) ioError("cannot open", path);
  if (!S_ISREG(st.st_mode))
    throw Error(Error::Code::NotJet4, "'" + path + "' is not a database file");
  if (!lockFile(p->fd_, writable))
    throw Error(Error::Code::Locked,
                "the database '" + path + "' is in use by another program");
  p->dev_ = st.st_dev;
  p->ino_ = st.st_ino;

  if (writable) {
    p->journalFd_ = openJournal(path, true);
    p->recovered_ = p->recover();
    if (fstat(p->fd_, &st) != 0) ioError("cannot open", path);
  } else {
    // A pending journal means a writer died mid-operation: the file is only
    // trustworthy once it is rolled back. Holding the shared lock proves
    // that writer is gone, so the repair is done here, by a writable open of
    // its own, whenever the file may be written at all.
    int jfd = repair ? openJournal(path, false) : -1;
    if (jfd >= 0) {
      uint8_t head[kJournalHeader] = {};
      ssize_t n = pread(jfd, head, sizeof head, 0);
      ::close(jfd);
      const uint64_t committed = uint64_t(get32(head + kCommittedAt)) * kPageSize;
      const bool pending = get32(head + kStateAt) == 1;
      const bool zeroTail = !pending && committed > 0 && uint64_t(st.st_size) > committed;
      if (n == ssize_t(sizeof head) && std::memcmp(head, kJournalMagic, 8) == 0 && (pending || zeroTail) &&
          get64(head + kInodeAt) == uint64_t(st.st_ino) &&
          get64(head + kDeviceAt) == uint64_t(st.st_dev) &&
          get64(head + kIdentityAt) == fileIdentity(p->fd_, path)) {
        ::close(p->fd_);
        p->fd_ = -1;
        try {
          open(path, true);
        } catch (const Error& e) {
          if (e.code() != Error::Code::Io) throw;
          // Zero pages past the end harm no reader; only an unfinished
          // change must be undone before the file can be trusted.
          if (!pending) return open(path, false, false);
          throw Error(Error::Code::Locked,
                      "the database '" + path +
                          "' holds an unfinished change; open it for writing to repair it");
        }
        std::unique_ptr<Pager> repaired = open(path, false, false);
        repaired->recovered_ = pending;
        return repaired;
      }
    }
  }
  if (uint64_t(st.st_size) > kMapBytes)
    throw Error(Error::Code::NotJet4, "'" + path + "' is larger than a Jet database can be");
  p->pageCount_ = uint32_t(uint64_t(st.st_size) / kPageSize);
  p->startPages_ = p->pageCount_;
  p->reservedBytes_ = uint64_t(st.st_size);
  p->writtenEnd_ = uint64_t(st.st_size);
  void* m = mmap(nullptr, kMapBytes, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED,
                 p->fd_, 0);
  if (m == MAP_FAILED) ioError("cannot map", path);
  p->map_ = static_cast<uint8_t*>(m);
  if (writable) {
    void* j = mmap(nullptr, kJournalMapBytes, PROT_READ | PROT_WRITE, MAP_SHARED,
                   p->journalFd_, 0);
    if (j == MAP_FAILED) ioError("cannot map the journal of", path);
    p->journalMap_ = static_cast<uint8_t*>(j);
    p->ensureJournalRoom(kJournalHeader + 16 * kPageSize);
    std::memcpy(p->journalMap_, kJournalMagic, 8);
    put32(p->journalMap_ + kStateAt, 0);
    put64(p->journalMap_ + kInodeAt, uint64_t(st.st_ino));
    put64(p->journalMap_ + kDeviceAt, uint64_t(st.st_dev));
    put32(p->journalMap_ + kCommittedAt, p->pageCount_);
    put64(p->journalMap_ + kIdentityAt, fileIdentity(p->fd_, path));
  }
  return p;
}

Pager::~Pager() {
  if (active_) {
    try {
      rollback();
    } catch (...) {
    }
  }
  if (map_) {
    if (writable_) msync(map_, size_t(pageCount_) * kPageSize, MS_SYNC);
    munmap(map_, kMapBytes);
  }
  // Only a file this object wrote is flushed, and only one it grew gets the
  // space it claimed ahead handed back; a file merely looked at (or refused)
  // is never touched.
  if (writable_ && map_ && fd_ >= 0) {
    if (grown_ && ftruncate(fd_, off_t(pageCount_) * kPageSize) != 0) {
    }
    fsync(fd_);
  }
  if (journalMap_) munmap(journalMap_, kJournalMapBytes);
  if (journalFd_ >= 0) {
    ::close(journalFd_);
    unlink((path_ + "-journal").c_str());
  }
  if (fd_ >= 0) ::close(fd_);
}

bool Pager::recover() {
  struct stat st;
  if (fstat(journalFd_, &st) != 0) ioError("cannot read the journal of", path_);
  if (size_t(st.st_size) < kJournalHeader) return false;
  std::vector<uint8_t> j(size_t(st.st_size));
  if (pread(journalFd_, j.data(), j.size(), 0) != ssize_t(j.size()))
    ioError("cannot read the journal of", path_);
  if (std::memcmp(j.data(), kJournalMagic, 8) != 0) return false;
  const bool pending = get32(j.data() + kStateAt) == 1;
  const uint32_t committed = get32(j.data() + kCommittedAt);
  struct stat main;
  if (fstat(fd_, &main) != 0) ioError("cannot read", path_);
  if (!pending && (committed == 0 || uint64_t(main.st_size) <= uint64_t(committed) * kPageSize)) return false;
  // A journal left beside a file that has since been replaced belongs to
  // another file; applying it would damage this one.
  if (get64(j.data() + kInodeAt) != uint64_t(main.st_ino) ||
      get64(j.data() + kDeviceAt) != uint64_t(main.st_dev) ||
      get64(j.data() + kIdentityAt) != fileIdentity(fd_, path_))
    return false;
  if (!pending) {
    // The last operation finished; the zero pages claimed ahead of it go.
    // Only zero pages: whatever holds data stays.
    uint64_t keep = uint64_t(main.st_size) / kPageSize;
    Page page;
    while (keep > committed && pread(fd_, page.data(), kPageSize, off_t((keep - 1) * kPageSize)) == kPageSize &&
           std::all_of(page.begin(), page.end(), [](uint8_t b) { return b == 0; }))
      --keep;
    if (ftruncate(fd_, off_t(keep * kPageSize)) != 0) ioError("cannot repair", path_);
    return false;
  }
  uint32_t pages = get32(j.data() + kPagesAt);
  uint64_t end = std::min<uint64_t>(get64(j.data() + kEndAt), j.size());
  struct Record {
    uint32_t page, offset, length;
    size_t at;
  };
  std::vector<Record> records;
  for (size_t at = kJournalHeader; at + 12 <= end;) {
    Record r{get32(&j[at]), get32(&j[at + 4]), get32(&j[at + 8]), at + 12};
    if (r.offset + uint64_t(r.length) > kPageSize || r.at + r.length > end) break;
    records.push_back(r);
    at = (r.at + r.length + 7) & ~size_t(7);
  }
  // Newest first, so a page saved twice ends with its oldest bytes.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->page >= pages) continue;
    writeAll(fd_, &j[it->at], it->length, off_t(uint64_t(it->page) * kPageSize + it->offset),
             path_);
  }
  if (ftruncate(fd_, off_t(uint64_t(pages) * kPageSize)) != 0) ioError("cannot repair", path_);
  if (fsync(fd_) != 0) ioError("cannot repair", path_);
  uint8_t zero[4] = {};
  writeAll(journalFd_, zero, 4, kStateAt, path_);
  return true;
}

void Pager::ensureJournalRoom(size_t bytes) {
  if (bytes <= journalSize_) return;
  size_t want = std::max(bytes, journalSize_ * 2);
  want = (want + 65535) & ~size_t(65535);
  if (want > kJournalMapBytes)
    throw Error(Error::Code::Io, "the operation is too large to journal for '" + path_ + "'");
  if (ftruncate(journalFd_, off_t(want)) != 0) ioError("cannot grow the journal of", path_);
  journalSize_ = want;
}

void Pager::startOperation() {
  if (active_) return;
  if (!writable_) throw Error(Error::Code::Io, "the database '" + path_ + "' is open read-only");
  startPages_ = pageCount_;
  for (uint32_t n : wholePages_) savedWhole_[n / 64] &= ~(uint64_t(1) << (n % 64));
  wholePages_.clear();
  put32(journalMap_ + kPagesAt, startPages_);
  put64(journalMap_ + kEndAt, kJournalHeader);
  journalEnd_ = kJournalHeader;
  fence();
  put32(journalMap_ + kStateAt, 1);
  fence();
  active_ = true;
}

void Pager::journal(uint32_t number, uint32_t offset, uint32_t length) {
  const uint64_t end = journalEnd_;
  const size_t need = size_t(end) + 12 + length + 8;
  if (need > journalSize_) ensureJournalRoom(need);
  uint8_t* r = journalMap_ + end;
  put32(r, number);
  put32(r + 4, offset);
  put32(r + 8, length);
  const uint8_t* from = map_ + uint64_t(number) * kPageSize + offset;
  // Counters and index entries: two overlapping word copies beat a call.
  if (length >= 8 && length <= 16) {
    uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + length - 8, 8);
    std::memcpy(r + 12, &head, 8);
    std::memcpy(r + 12 + length - 8, &tail, 8);
  } else if (length >= 4 && length < 8) {
    uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + length - 4, 4);
    std::memcpy(r + 12, &head, 4);
    std::memcpy(r + 12 + length - 4, &tail, 4);
  } else {
    std::memcpy(r + 12, from, length);
  }
  const uint64_t next = (end + 12 + length + 7) & ~uint64_t(7);
  fence();
  put64(journalMap_ + kEndAt, next);
  journalEnd_ = next;
  fence();
}

void Pager::pastTheEnd(uint32_t number) const {
  throw Error(Error::Code::Corrupt, "page " + std::to_string(number) + " lies past the end of '" +
                                        path_ + "'");
}

Page& Pager::modify(uint32_t number) {
  if (number >= pageCount_)
    throw Error(Error::Code::Corrupt, "page " + std::to_string(number) + " lies past the end of '" +
                                          path_ + "'");
  startOperation();
  if (number < startPages_ && !savedWhole(number)) {
    journal(number, 0, kPageSize);
    markSavedWhole(number);
  }
  return *reinterpret_cast<Page*>(map_ + uint64_t(number) * kPageSize);
}

void Pager::markSavedWhole(uint32_t number) {
  if (number / 64 >= savedWhole_.size()) savedWhole_.resize(number / 64 + 1);
  savedWhole_[number / 64] |= uint64_t(1) << (number % 64);
  wholePages_.push_back(number);
}

uint8_t* Pager::modifyRangeFirst(uint32_t number, uint32_t offset, uint32_t length) {
  if (number >= pageCount_ || offset + uint64_t(length) > kPageSize)
    throw Error(Error::Code::Corrupt, "page " + std::to_string(number) + " lies past the end of '" +
                                          path_ + "'");
  startOperation();
  if (number < startPages_ && !savedWhole(number)) journal(number, offset, length);
  return map_ + uint64_t(number) * kPageSize;
}

uint32_t Pager::allocatePage(bool mark) {
  startOperation();
  if (pageCount_ >= kMaxPages)
    throw Error(Error::Code::Io, "the Access file would exceed 2 GB");
  uint32_t number = pageCount_;
  grown_ = true;
  uint64_t newSize = uint64_t(number + 1) * kPageSize;
  if (newSize > reservedBytes_) {
    // Claim disk space ahead so that a full disk is an error here, not a
    // fault when the mapped page is first written.
    uint64_t chunk = std::min<uint64_t>(std::max<uint64_t>(reservedBytes_ / 8, 1 << 20), 64 << 20);
    int rc = fallocate(fd_, FALLOC_FL_KEEP_SIZE, off_t(reservedBytes_), off_t(chunk));
    if (rc != 0 && errno != EOPNOTSUPP && errno != ENOSYS) ioError("cannot grow", path_);
    reservedBytes_ += chunk;
  }
  if (newSize > writtenEnd_) {
    // Writing zero pages (rather than only growing the size) puts them in
    // the page cache, so the first touch through the mapping does not have
    // to read a hole from disk; a run of them at once spares a write a page.
    static const Page zero[kGrowPages] = {};
    const uint64_t run = std::min<uint64_t>(kGrowPages, kMaxPages - number);
    writeAll(fd_, zero[0].data(), run * kPageSize, off_t(newSize - kPageSize), path_);
    writtenEnd_ = newSize - kPageSize + run * kPageSize;
  }
  pageCount_ = number + 1;
  // Pages stay in the page cache after the mapping lets go of them; doing so
  // every 8 MB keeps this process's memory flat however large the file grows.
  if (pageCount_ % 2048 == 0) madvise(map_, uint64_t(pageCount_) * kPageSize, MADV_DONTNEED);
  if (mark && hook_) hook_(number);
  return number;
}

void Pager::writeNew(uint32_t first, const Page* pages, size_t count) {
  if (!active_ || first < startPages_ || uint64_t(first) + count > pageCount_) {
    PageStore::writeNew(first, pages, count);
    return;
  }
  writeAll(fd_, pages->data(), count * kPageSize, off_t(uint64_t(first) * kPageSize), path_);
}

void Pager::read(uint32_t first, uint32_t count, Page* out) const {
  if (uint64_t(first) + count > pageCount_) pastTheEnd(first + count - 1);
  uint8_t* to = out->data();
  size_t size = size_t(count) * kPageSize;
  off_t at = off_t(uint64_t(first) * kPageSize);
  while (size > 0) {
    ssize_t n = pread(fd_, to, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;  // the file shrank under us
    if (n <= 0) ioError("cannot read", path_);
    to += n;
    size -= size_t(n);
    at += n;
  }
}

void Pager::forgetMapped() { madvise(map_, uint64_t(pageCount_) * kPageSize, MADV_DONTNEED); }

void Pager::commit() {
  if (!active_) return;
  // While the state still says pending: a death before the state is
  // cleared rolls back by the start count and never reads this one.
  put32(journalMap_ + kCommittedAt, pageCount_);
  fence();
  put32(journalMap_ + kStateAt, 0);
  fence();
  active_ = false;
  startPages_ = pageCount_;
}

void Pager::rollback() {
  if (!active_) return;
  uint64_t end = get64(journalMap_ + kEndAt);
  struct Record {
    uint32_t page, offset, length;
    size_t at;
  };
  std::vector<Record> records;
  for (size_t at = kJournalHeader; at + 12 <= end;) {
    Record r{get32(journalMap_ + at), get32(journalMap_ + at + 4), get32(journalMap_ + at + 8),
             at + 12};
    records.push_back(r);
    at = (r.at + r.length + 7) & ~size_t(7);
  }
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    std::memcpy(map_ + uint64_t(it->page) * kPageSize + it->offset, journalMap_ + it->at,
                it->length);
  if (pageCount_ != startPages_) {
    pageCount_ = startPages_;
    if (ftruncate(fd_, off_t(uint64_t(pageCount_) * kPageSize)) != 0)
      ioError("cannot restore", path_);
    reservedBytes_ = writtenEnd_ = uint64_t(pageCount_) * kPageSize;
  }
  fence();
  put32(journalMap_ + kStateAt, 0);
  fence();
  active_ = false;
  for (uint32_t n : wholePages_) savedWhole_[n / 64] &= ~(uint64_t(1) << (n % 64));
  wholePages_.clear();
}

bool Pager::fileChanged() const {
  struct stat st;
  if (stat(path_.c_str(), &st) != 0) return true;
  if (st.st_dev != dev_ || st.st_ino != ino_) return true;
  const uint64_t size = uint64_t(pageCount_) * kPageSize;
  return uint64_t(st.st_size) != (writable_ ? std::max(size, writtenEnd_) : size);
}

void Pager::refresh() {
  struct stat st;
  if (fstat(fd_, &st) != 0) ioError("cannot read", path_);
  if (!writable_) pageCount_ = uint32_t(std::min<uint64_t>(st.st_size, kMapBytes) / kPageSize);
}

}  // namespace jet
