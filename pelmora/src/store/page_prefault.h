// Faulting in the pages of blocks that a bulk load is about to fill, on a
// second thread. Fresh memory costs the loading thread a page fault and the
// kernel's zeroing of each page on its first write; done ahead on another
// core, that cost leaves the loading thread's path. The pages' contents are
// never changed, so the loading thread may write them at any time, ahead of
// the helper or behind it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace pelmora {

class PagePrefault {
  public:
    // One block to fault in: `bytesPerUnit` bytes per unit from `base`; the
    // units are faulted in ascending order, interleaved across the blocks so
    // that all of them keep pace with a loader filling them unit by unit.
    struct Block {
        uint8_t* base = nullptr;
        size_t bytesPerUnit = 0;
    };

    PagePrefault() = default;
    PagePrefault(const PagePrefault&) = delete;
    PagePrefault& operator=(const PagePrefault&) = delete;
    ~PagePrefault() { Stop(); }

    // Starts faulting in units [first, first + units) of every block; a run
    // still going is stopped first. Does nothing where the system cannot
    // fault pages in ahead or when the thread cannot be started.
    void Start(std::vector<Block> blocks, size_t first, size_t units);
    // Stops the helper after the chunk it is on and waits for it. The
    // blocks must stay allocated until this returns.
    void Stop();

  private:
    void Run(size_t first, size_t units);

    std::vector<Block> blocks_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace pelmora
