#include "store/page_prefault.h"

#include <algorithm>
#include <system_error>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pelmora {

namespace {

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
constexpr bool kCanPrefault = true;

// Faults in the whole pages inside [begin, end); false when the system
// refuses (an older kernel, or memory running short).
bool FaultIn(uintptr_t begin, uintptr_t end) {
    constexpr uintptr_t kPage = 4096;
    begin = (begin + kPage - 1) & ~(kPage - 1);
    end &= ~(kPage - 1);
    if (end <= begin) return true;
    return madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE) == 0;
}
#else
constexpr bool kCanPrefault = false;

bool FaultIn(uintptr_t, uintptr_t) {
    return false;
}
#endif

}  // namespace

void PagePrefault::Start(std::vector<Block> blocks, size_t first, size_t units) {
    Stop();
    if (!kCanPrefault || blocks.empty() || units == 0) return;
    blocks_ = std::move(blocks);
    stop_.store(false, std::memory_order_relaxed);
    try {
        thread_ = std::thread([this, first, units] { Run(first, units); });
    } catch (const std::system_error&) {
        blocks_.clear();  // no thread: the loader faults the pages itself
    }
}

void PagePrefault::Stop() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
    blocks_.clear();
}

void PagePrefault::Run(size_t first, size_t units) {
    // Chunks of about two huge pages of the widest block, so that each call
    // covers whole huge pages and the helper stays ahead by a chunk or so.
    size_t widest = 1;
    for (const Block& b : blocks_) widest = std::max(widest, b.bytesPerUnit);
    const size_t chunk = std::max<size_t>(1024, (size_t{4} << 20) / widest);
    for (size_t unit = first; unit < first + units; unit += chunk) {
        const size_t end = std::min(first + units, unit + chunk);
        for (const Block& b : blocks_) {
            if (stop_.load(std::memory_order_relaxed)) return;
            const auto base = reinterpret_cast<uintptr_t>(b.base);
            if (!FaultIn(base + unit * b.bytesPerUnit, base + end * b.bytesPerUnit)) return;
        }
    }
}

}  // namespace pelmora
