#include "store/large_pages.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pelmora {

namespace {

constexpr size_t kHuge = size_t{2} << 20;
// Blocks from this size on are worth huge pages: an array from the allocator
// is advised from this size on, a zeroed block gets its own mapping from one
// unit on, since its ends are aligned and at most one unit is left unused.
constexpr size_t kLarge = 4 * kHuge;

#if defined(__linux__) && defined(MADV_HUGEPAGE)
constexpr bool kMapsLarge = true;

size_t MappedSize(size_t bytes) {
    return (bytes + kHuge - 1) & ~(kHuge - 1);
}
#else
constexpr bool kMapsLarge = false;
#endif

}  // namespace

void AdviseLargePages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (block == nullptr || bytes < kLarge) return;
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t begin = (start + kHuge - 1) & ~uintptr_t{kHuge - 1};
    const uintptr_t end = (start + bytes) & ~uintptr_t{kHuge - 1};
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

void* AllocateZeroedBlock(size_t bytes) {
    if (!kMapsLarge || bytes < kHuge) return std::calloc(bytes == 0 ? 1 : bytes, 1);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const size_t size = MappedSize(bytes);
    if (size < bytes || size + kHuge < size) return nullptr;
    // Map one unit more than needed and give back what lies before the first
    // boundary and after the block.
    void* mapped =
        mmap(nullptr, size + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHuge - 1) & ~uintptr_t{kHuge - 1};
    if (aligned > start) munmap(mapped, aligned - start);
    const uintptr_t tail = start + size + kHuge - (aligned + size);
    if (tail != 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
#else
    return nullptr;
#endif
}

void FreeZeroedBlock(void* block, size_t bytes) {
    if (block == nullptr) return;
    if (!kMapsLarge || bytes < kHuge) {
        std::free(block);
        return;
    }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    munmap(block, MappedSize(bytes));
#endif
}

}  // namespace pelmora
