// Length-limited Huffman code construction and canonical decoding.
#include "lzh/huffman.h"

#include <algorithm>
#include <numeric>
#include <queue>

namespace lzh {

std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t>& frequencies, int maxBits) {
    const int n = static_cast<int>(frequencies.size());
    std::vector<uint8_t> lengths(n, 0);
    std::vector<int> used;
    for (int i = 0; i < n; ++i)
        if (frequencies[i] > 0) used.push_back(i);
    if (used.size() < 2) return lengths;

    // Huffman tree over the used symbols; leaves are 0..m-1, inner nodes follow.
    const int m = static_cast<int>(used.size());
    std::vector<uint64_t> weight(2 * m - 1);
    std::vector<int> parent(2 * m - 1, -1);
    using Item = std::pair<uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (int i = 0; i < m; ++i) {
        weight[i] = frequencies[used[i]];
        queue.push({weight[i], i});
    }
    int next = m;
    while (queue.size() > 1) {
        Item a = queue.top();
        queue.pop();
        Item b = queue.top();
        queue.pop();
        weight[next] = a.first + b.first;
        parent[a.second] = parent[b.second] = next;
        queue.push({weight[next], next});
        ++next;
    }
    // Depth of every leaf, counted per length; longer codes fold into maxBits.
    std::vector<int> count(maxBits + 1, 0);
    std::vector<int> depth(2 * m - 1, 0);
    for (int node = 2 * m - 3; node >= 0; --node) depth[node] = depth[parent[node]] + 1;
    for (int i = 0; i < m; ++i) ++count[std::min(depth[i], maxBits)];
    // Restore a complete code after folding: take one code of the longest
    // length away and split a shorter code into two, until the lengths fill
    // the code space exactly.
    uint64_t total = 0;
    for (int len = 1; len <= maxBits; ++len)
        total += static_cast<uint64_t>(count[len]) << (maxBits - len);
    const uint64_t full = uint64_t{1} << maxBits;
    while (total > full) {
        --count[maxBits];
        for (int len = maxBits - 1; len >= 1; --len) {
            if (count[len] != 0) {
                --count[len];
                count[len + 1] += 2;
                break;
            }
        }
        --total;
    }
    // The most frequent symbols take the shortest codes.
    std::vector<int> order(used);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return frequencies[a] > frequencies[b]; });
    size_t k = 0;
    for (int len = 1; len <= maxBits; ++len)
        for (int c = 0; c < count[len]; ++c) lengths[order[k++]] = static_cast<uint8_t>(len);
    return lengths;
}

std::vector<uint16_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    int count[kMaxCodeBits + 2] = {};
    for (uint8_t len : lengths)
        if (len > 0 && len <= kMaxCodeBits) ++count[len];
    uint32_t start[kMaxCodeBits + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        start[len] = code;
        code = (code + static_cast<uint32_t>(count[len])) << 1;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] > 0 && lengths[i] <= kMaxCodeBits)
            codes[i] = static_cast<uint16_t>(start[lengths[i]]++);
    return codes;
}

int SingleSymbol(const std::vector<uint32_t>& frequencies) {
    for (size_t i = 0; i < frequencies.size(); ++i)
        if (frequencies[i] > 0) return static_cast<int>(i);
    return 0;
}

bool HuffmanDecoder::Build(const uint8_t* lengths, int count) {
    int perLength[kMaxCodeBits + 1] = {};
    for (int i = 0; i < count; ++i) {
        if (lengths[i] > kMaxCodeBits) return false;
        if (lengths[i] > 0) ++perLength[lengths[i]];
    }
    uint32_t next = 0;  // left-aligned to 16 bits
    int index = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        first_[len] = next;
        offset_[len] = index;
        next += static_cast<uint32_t>(perLength[len]) << (kMaxCodeBits - len);
        if (next > (1u << kMaxCodeBits)) return false;
        limit_[len] = next;
        index += perLength[len];
    }
    symbols_.assign(static_cast<size_t>(index), 0);
    int fill[kMaxCodeBits + 1];
    std::copy(std::begin(offset_), std::end(offset_), fill);
    for (int i = 0; i < count; ++i)
        if (lengths[i] > 0)
            symbols_[static_cast<size_t>(fill[lengths[i]]++)] = static_cast<uint16_t>(i);
    single_ = false;
    return true;
}

void HuffmanDecoder::BuildSingle(int symbol) {
    single_ = true;
    singleSymbol_ = symbol;
}

int HuffmanDecoder::Decode(BitReader& in) const {
    if (single_) return singleSymbol_;
    const uint32_t bits = in.Peek16();
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        if (bits < limit_[len]) {
            in.Skip(len);
            return symbols_[static_cast<size_t>(offset_[len]) +
                            ((bits - first_[len]) >> (kMaxCodeBits - len))];
        }
    }
    return -1;
}

}  // namespace lzh
