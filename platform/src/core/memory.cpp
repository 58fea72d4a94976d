#include <sys/mman.h>

#include <cstdint>

#include "plat_core.h"

namespace plat {

void adviseHugePages(const void* data, size_t bytes) {
  // Only the whole huge pages inside the block: the advice must not reach memory around it.
  constexpr uintptr_t kHuge = kHugePageBytes;
  if (bytes < kHuge) return;
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t start = (begin + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (begin + bytes) & ~(kHuge - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace plat
