#include "qor-config-test/heap_pages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace qor {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20U;
// About what a run allocates: the certificate store and the rest.
constexpr int kHeapReserve = 16 << 20;
// More than glibc leaves free at the top of the heap when main starts, so
// that allocating it grows the heap by a whole reserve.
constexpr std::size_t kGrowingBlock = std::size_t{512} * 1024;
// Blocks up to this size come from the heap rather than mappings of their
// own, which the advice would not reach.
constexpr int kMapThreshold = 1 << 20;

}  // namespace

void use_huge_heap_pages() {
  // A second arena would be a mapping of its own, outside the advised stretch.
  (void)mallopt(M_ARENA_MAX, 1);
  (void)mallopt(M_TOP_PAD, kHeapReserve);
  (void)mallopt(M_MMAP_THRESHOLD, kMapThreshold);
  void *block = std::malloc(kGrowingBlock);
  if (block == nullptr) {
    return;
  }
  const auto first = reinterpret_cast<std::uintptr_t>(block);
  std::free(block);
  // Only a heap that grew at the program break, as glibc's main heap does.
  auto *heap_end = static_cast<char *>(sbrk(0));
  const auto last = reinterpret_cast<std::uintptr_t>(heap_end);
  if (first > last || last - first > kHeapReserve + 2 * kGrowingBlock) {
    return;
  }
  const std::uintptr_t start = (first + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = last & ~(kHugePage - 1);
  if (end > start) {
    (void)madvise(heap_end - (last - start), end - start, MADV_HUGEPAGE);
  }
}

}  // namespace qor
