#include "index/search_words.h"

#include <algorithm>
#include <cstddef>

#include "store/large_pages.h"

namespace pelmora {

void SearchWords::Begin(size_t entries, uint32_t stamp) {
    Drop();
    packed_.reserve(entries);
    AdviseLargePages(packed_.data(), packed_.capacity() * sizeof(uint64_t));
    builtStamp_ = stamp;
}

void SearchWords::Finish() {
    std::vector<uint64_t> runLast;
    runLast.reserve((packed_.size() + kRun - 1) / kRun);
    for (size_t end = kRun; end - kRun < packed_.size(); end += kRun)
        runLast.push_back(packed_[std::min(end, packed_.size()) - 1]);
    runLast_ = std::move(runLast);
    ready_ = true;
}

uint32_t SearchWords::Partition(uint64_t word, bool orEqual) const {
    // Entries before the boundary are exactly the packed values below the
    // first packed value the key word (or the next word) can have.
    if (orEqual) ++word;
    if (word >= kWordLimit) return static_cast<uint32_t>(packed_.size()) + 1;
    const uint64_t limit = word << kRecordBits;
    // Runs whose last entry is below lie wholly before: count them by
    // halving without a branch on the comparison, whose outcome is
    // unpredictable.
    const uint64_t* base = runLast_.data();
    size_t n = runLast_.size();
    if (n == 0) return 1;
    while (n > 1) {
        const size_t half = n / 2;
        base = base[half - 1] < limit ? base + half : base;
        n -= half;
    }
    const size_t runs = static_cast<size_t>(base - runLast_.data()) + (*base < limit ? 1 : 0);
    if (runs == runLast_.size()) return static_cast<uint32_t>(packed_.size()) + 1;
    // Then the entries of the one run that holds the boundary.
    const size_t start = runs * kRun;
    const size_t end = std::min(start + kRun, packed_.size());
    size_t inRun = 0;
    for (size_t i = start; i < end; ++i) inRun += packed_[i] < limit ? 1 : 0;
    return static_cast<uint32_t>(start + inRun) + 1;
}

}  // namespace pelmora
