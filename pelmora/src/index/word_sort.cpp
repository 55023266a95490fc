#include "index/word_sort.h"

#include <algorithm>
#include <array>

namespace pelmora {

namespace {

constexpr unsigned kDigitBits = 11;
constexpr size_t kBuckets = size_t{1} << kDigitBits;
constexpr uint64_t kDigitMask = kBuckets - 1;
// Below this many words a comparison sort is as quick and needs no buffer.
constexpr size_t kRadixFrom = 4096;

}  // namespace

void SortWords(std::vector<uint64_t>& words) {
    if (words.size() < kRadixFrom) {
        std::sort(words.begin(), words.end());
        return;
    }
    uint64_t varying = 0;
    for (uint64_t w : words) varying |= w ^ words[0];
    if (varying == 0) return;

    std::vector<uint64_t> spare(words.size());
    uint64_t* from = words.data();
    uint64_t* to = spare.data();
    const size_t n = words.size();
    std::array<size_t, kBuckets> counts;
    for (unsigned shift = 0; shift < 64 && (varying >> shift) != 0; shift += kDigitBits) {
        // A digit all words share leaves the order as it is.
        if (((varying >> shift) & kDigitMask) == 0) continue;
        counts.fill(0);
        for (size_t i = 0; i < n; ++i) ++counts[(from[i] >> shift) & kDigitMask];
        size_t sum = 0;
        for (size_t& c : counts) {
            const size_t here = c;
            c = sum;
            sum += here;
        }
        for (size_t i = 0; i < n; ++i) to[counts[(from[i] >> shift) & kDigitMask]++] = from[i];
        std::swap(from, to);
    }
    if (from != words.data()) words.swap(spare);
}

}  // namespace pelmora
