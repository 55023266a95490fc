#include "search_words.h"

#include <algorithm>
#include <cstddef>

namespace pelmora {

void SearchWords::Adopt(std::vector<uint64_t>&& words, std::vector<uint32_t>&& records,
                        uint32_t stamp) {
    ready_ = false;
    std::vector<uint64_t> runLast;
    runLast.reserve((words.size() + kRun - 1) / kRun);
    for (size_t end = kRun; end - kRun < words.size(); end += kRun)
        runLast.push_back(words[std::min(end, words.size()) - 1]);
    words_ = std::move(words);
    runLast_ = std::move(runLast);
    records_ = std::move(records);
    builtStamp_ = stamp;
    ready_ = words_.size() == records_.size();
}

uint32_t SearchWords::Partition(uint64_t word, bool orEqual) const {
    auto before = [&](uint64_t w) { return orEqual ? w <= word : w < word; };
    // Runs whose last word comes before lie wholly before: count them by
    // halving without a branch on the comparison, whose outcome is
    // unpredictable.
    const uint64_t* base = runLast_.data();
    size_t n = runLast_.size();
    if (n == 0) return 1;
    while (n > 1) {
        const size_t half = n / 2;
        base = before(base[half - 1]) ? base + half : base;
        n -= half;
    }
    const size_t runs = static_cast<size_t>(base - runLast_.data()) + (before(*base) ? 1 : 0);
    // Then the words of the one run that holds the boundary.
    if (runs == runLast_.size()) return static_cast<uint32_t>(words_.size()) + 1;
    const size_t start = runs * kRun;
    const size_t end = std::min(start + kRun, words_.size());
    size_t inRun = 0;
    for (size_t i = start; i < end; ++i) inRun += before(words_[i]) ? 1 : 0;
    return static_cast<uint32_t>(start + inRun) + 1;
}

}  // namespace pelmora
