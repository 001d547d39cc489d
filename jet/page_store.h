// Page-level access shared by the table, long-value and index code. One
// PageStore belongs to one open file; writes are collected per operation and
// reach the file when the operation commits (see pager.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace jet {

constexpr uint32_t kPageSize = 4096;
using Page = std::array<uint8_t, kPageSize>;

class PageStore {
 public:
  virtual ~PageStore() = default;
  virtual uint32_t pageCount() const = 0;
  // The page as the current operation sees it (pending changes included).
  virtual const Page& page(uint32_t number) = 0;
  // A writable copy of the page, recorded as changed by the current operation.
  virtual Page& modify(uint32_t number) = 0;
  // A new zero-filled page, marked in use in the global usage map.
  virtual uint32_t allocate() = 0;
  // Stores count whole pages numbered from first on, all allocated by the
  // current operation: the same as copying each into modify(), which is what
  // a store without a faster way does.
  virtual void writeNew(uint32_t first, const Page* pages, size_t count) {
    for (size_t i = 0; i < count; ++i) modify(first + uint32_t(i)) = pages[i];
  }
};

}  // namespace jet
