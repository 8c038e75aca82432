#include "platform/large_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace chatterwick {

namespace {

constexpr size_t kLargePage = size_t{2} << 20;

size_t RoundUp(size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

class LargePages : public BlockSource {
 public:
  char* Allocate(size_t size) override {
    const size_t want = RoundUp(size);
    // One large page more, so that the block can start on a large page's
    // boundary: only whole aligned large pages are backed as such.
    void* area = ::mmap(nullptr, want + kLargePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(area);
    const uintptr_t aligned = (start + kLargePage - 1) & ~(kLargePage - 1);
    if (aligned > start) ::munmap(area, aligned - start);
    if (const size_t tail = start + kLargePage - aligned; tail > 0)
      ::munmap(reinterpret_cast<void*>(aligned + want), tail);
    char* block = reinterpret_cast<char*>(aligned);
    // Only advice: where the system has no large pages, small ones serve.
    ::madvise(block, want, MADV_HUGEPAGE);
    return block;
  }
  void Free(char* block, size_t size) override { ::munmap(block, RoundUp(size)); }
};

}  // namespace

BlockSource* LargePageBlocks() {
  static LargePages pages;
  return &pages;
}

}  // namespace chatterwick
