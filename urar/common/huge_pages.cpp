#include "urar/common/huge_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void AdviseHugePages(void* block, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // The advice covers every page the block touches, so the allocator's mapping stays one piece
  // with one set of flags: advising only its aligned middle splits it, and a split mapping can no
  // longer grow in place (realloc then copies the whole block).
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const uintptr_t first = reinterpret_cast<uintptr_t>(block) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size + page - 1) & ~(page - 1);
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}
