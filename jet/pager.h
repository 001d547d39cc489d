// The open file behind a Database: memory-mapped pages, the exclusive lock,
// and the rollback journal that makes every operation atomic.
//
// Why it is crash-safe without an fsync per row: the file is mapped shared,
// so every store into a page lands in the kernel's page cache at once and
// survives the death of this process. Before a page that existed when the
// operation began is changed, its old bytes are appended to a small journal
// beside the file (`<file>-journal`, also mapped) and only then marked valid
// in the journal header; new pages need no copy because undoing them means
// truncating the file. The file grows by runs of zero pages claimed ahead;
// the journal header records the page count each finished operation left,
// and whatever lies past it (zero pages a dead writer claimed) is cut off by
// the next open. The operation ends by clearing the journal's "pending"
// word. A process killed at any instant therefore leaves either a cleared
// journal (the operation is complete, and every earlier one too) or a pending
// one whose copies restore the file as it was before the unfinished operation;
// open() applies them. Release fences keep the stores in this order on every
// CPU. The file is flushed (msync + fsync) on close; a power cut before that
// may lose recent operations, which is the usual trade for speed here.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/page_store.h"

namespace jet {

class Pager final : public PageStore {
 public:
  // Maps an existing file. Writable opens take an exclusive lock (a shared
  // one when read-only) and roll back an unfinished operation left by a
  // process that died.
  static std::unique_ptr<Pager> open(const std::string& path, bool writable);
  // New files are built under a temporary name beside path (returned by
  // writeTemporary, holding the given pages) and then published: either the
  // complete file appears at path or nothing does. Both fail with Exists
  // when path is taken.
  static std::string writeTemporary(const std::string& path, const std::vector<Page>& pages);
  static void publish(const std::string& temporary, const std::string& path);

  ~Pager() override;
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  uint32_t pageCount() const override { return pageCount_; }
  const Page& page(uint32_t number) override {
    if (number >= pageCount_) pastTheEnd(number);
    return *reinterpret_cast<const Page*>(map_ + uint64_t(number) * kPageSize);
  }
  Page& modify(uint32_t number) override;
  uint32_t allocate() override { return allocatePage(true); }
  // Pages new in this operation go to the file in one write, not through
  // the mapping: a write fault on each fresh page costs more than the copy.
  void writeNew(uint32_t first, const Page* pages, size_t count) override;
  // A new page that the global map is not told about (for the map's own
  // bitmap pages, which mark themselves).
  uint32_t allocateUnmarked() { return allocatePage(false); }
  // Like modify(), but only the given byte range is saved for undo; the
  // caller promises to change nothing outside it. Called several times for
  // every row, so the usual case stays inline.
  uint8_t* modifyRange(uint32_t number, uint32_t offset, uint32_t length) {
    if (!active_ || number >= pageCount_ || offset + uint64_t(length) > kPageSize)
      return modifyRangeFirst(number, offset, length);
    if (number < startPages_ && !savedWhole(number)) journal(number, offset, length);
    return map_ + uint64_t(number) * kPageSize;
  }

  // Called with each page allocate() adds, to mark it used in the global
  // usage map. The callback may allocate pages itself.
  void setAllocationHook(std::function<void(uint32_t)> hook) { hook_ = std::move(hook); }

  void commit();
  // Lets the mapping give back the pages it holds; they stay in the page
  // cache. A long read calls it now and then so that its memory stays flat.
  void forgetMapped();
  // Copies count pages from first on, all below pageCount(), into out.
  void read(uint32_t first, uint32_t count, Page* out) const;
  void rollback();
  bool writable() const { return writable_; }
  bool pending() const { return active_; }
  // The open found an operation a dead writer left unfinished and undid it.
  bool recovered() const { return recovered_; }
  const std::string& path() const { return path_; }

  // True when the file at path is no longer the one mapped, or its size
  // differs from what this object last saw.
  bool fileChanged() const;
  // Read-only opens: take in the current size of a file another process grows.
  void refresh();

 private:
  Pager() = default;
  // repair false: a read-only open that leaves whatever a dead writer left.
  static std::unique_ptr<Pager> open(const std::string& path, bool writable, bool repair);
  uint32_t allocatePage(bool mark);
  void startOperation();
  [[noreturn]] void pastTheEnd(uint32_t number) const;
  uint8_t* modifyRangeFirst(uint32_t number, uint32_t offset, uint32_t length);
  void journal(uint32_t number, uint32_t offset, uint32_t length);
  void ensureJournalRoom(size_t bytes);
  bool recover();

  std::string path_;
  int fd_ = -1;
  int journalFd_ = -1;
  bool writable_ = false;
  uint8_t* map_ = nullptr;
  uint8_t* journalMap_ = nullptr;
  size_t journalSize_ = 0;
  uint64_t journalEnd_ = 0;  // the end of the valid records, as in the header
  uint64_t reservedBytes_ = 0;  // space claimed ahead of the file's end
  bool grown_ = false;          // this object added pages (and may have claimed space)
  uint64_t writtenEnd_ = 0;     // the file's size: pages past pageCount_ are zero pages claimed ahead
  uint32_t pageCount_ = 0;
  uint32_t startPages_ = 0;  // page count when the operation began
  bool active_ = false;      // the journal holds a pending operation
  bool recovered_ = false;
  bool savedWhole(uint32_t number) const {
    return number < savedWhole_.size() * 64 && (savedWhole_[number / 64] >> (number % 64) & 1);
  }
  void markSavedWhole(uint32_t number);

  std::vector<uint32_t> wholePages_;  // pages saved whole in this operation
  // The same pages as bits, so that a modify need not search the list; the
  // list says which bits to clear when the next operation begins.
  std::vector<uint64_t> savedWhole_;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  std::function<void(uint32_t)> hook_;
};

}  // namespace jet
