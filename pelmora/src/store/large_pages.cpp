#include "store/large_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pelmora {

void AdviseLargePages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr size_t kHuge = size_t{2} << 20;
    if (block == nullptr || bytes < 4 * kHuge) return;
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t begin = (start + kHuge - 1) & ~uintptr_t{kHuge - 1};
    const uintptr_t end = (start + bytes) & ~uintptr_t{kHuge - 1};
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace pelmora
