// LZSS parsing and static-Huffman block writing.
#include "lzh/lzh_encoder.h"

#include <algorithm>

#include "lzh/bit_stream.h"
#include "lzh/huffman.h"

namespace lzh {
namespace {

constexpr int kHashBits = 15;
constexpr uint32_t kHashSize = 1u << kHashBits;
constexpr int kMaxChain = 256;  // candidates tried per position
constexpr int kLazyLimit = 64;  // a match this long is taken without looking further
constexpr size_t kBlockTokens = 16384;

struct Token {
    uint16_t code;      // < 256 a literal, else 256 + length - 3
    uint16_t distance;  // distance - 1, for matches
};

int BitLength(uint32_t value) {
    int n = 0;
    while (value) {
        ++n;
        value >>= 1;
    }
    return n;
}

class MatchFinder {
  public:
    MatchFinder(const uint8_t* data, size_t size, uint32_t maxDistance)
        : data_(data),
          size_(size),
          maxDistance_(maxDistance),
          head_(kHashSize, -1),
          prev_(size, -1) {}

    // Longest match for pos within the dictionary; 0 when shorter than kMinMatch.
    int Find(size_t pos, uint32_t* distance) const {
        const size_t limit = std::min<size_t>(kMaxMatch, size_ - pos);
        if (limit < kMinMatch) return 0;
        int best = 0;
        int chain = kMaxChain;
        for (int32_t cand = head_[Hash(pos)]; cand >= 0 && chain-- > 0; cand = prev_[cand]) {
            const size_t dist = pos - static_cast<size_t>(cand);
            if (dist > maxDistance_) break;
            const uint8_t* a = data_ + cand;
            const uint8_t* b = data_ + pos;
            if (a[best] != b[best] || a[0] != b[0]) continue;
            size_t len = 0;
            while (len < limit && a[len] == b[len]) ++len;
            if (static_cast<int>(len) > best) {
                best = static_cast<int>(len);
                *distance = static_cast<uint32_t>(dist);
                if (len == limit) break;
            }
        }
        return best >= kMinMatch ? best : 0;
    }

    void Insert(size_t pos) {
        if (pos + kMinMatch > size_) return;
        const uint32_t h = Hash(pos);
        prev_[pos] = head_[h];
        head_[h] = static_cast<int32_t>(pos);
    }

  private:
    uint32_t Hash(size_t pos) const {
        return ((static_cast<uint32_t>(data_[pos]) << 10) ^
                (static_cast<uint32_t>(data_[pos + 1]) << 5) ^ data_[pos + 2]) &
               (kHashSize - 1);
    }

    const uint8_t* data_;
    size_t size_;
    uint32_t maxDistance_;
    std::vector<int32_t> head_;
    std::vector<int32_t> prev_;
};

class BlockWriter {
  public:
    explicit BlockWriter(const MethodParams& method) : method_(method) {}

    void Write(const std::vector<Token>& tokens) {
        std::vector<uint32_t> charFreq(kCharCodes, 0), distFreq(method_.distanceCodes, 0);
        for (const Token& t : tokens) {
            ++charFreq[t.code];
            if (t.code >= 256) ++distFreq[BitLength(t.distance)];
        }
        out_.Put(16, static_cast<uint32_t>(tokens.size()));

        const std::vector<uint8_t> charLen = BuildCodeLengths(charFreq, kMaxCodeBits);
        const bool charSingle =
            std::all_of(charLen.begin(), charLen.end(), [](uint8_t l) { return l == 0; });
        if (charSingle) {
            out_.Put(kLengthCodeBits, 0);
            out_.Put(kLengthCodeBits, 0);
            out_.Put(kCharCodeBits, 0);
            out_.Put(kCharCodeBits, static_cast<uint32_t>(SingleSymbol(charFreq)));
        } else {
            WriteCharLengths(charLen);
        }
        const std::vector<uint16_t> charCode = CanonicalCodes(charLen);

        const std::vector<uint8_t> distLen = BuildCodeLengths(distFreq, kMaxCodeBits);
        if (std::all_of(distLen.begin(), distLen.end(), [](uint8_t l) { return l == 0; })) {
            out_.Put(method_.distanceBits, 0);
            out_.Put(method_.distanceBits, static_cast<uint32_t>(SingleSymbol(distFreq)));
        } else {
            WriteTableLengths(distLen, method_.distanceBits, -1);
        }
        const std::vector<uint16_t> distCode = CanonicalCodes(distLen);

        for (const Token& t : tokens) {
            out_.Put(charLen[t.code], charCode[t.code]);
            if (t.code < 256) continue;
            const int j = BitLength(t.distance);
            out_.Put(distLen[j], distCode[j]);
            if (j > 1) out_.Put(j - 1, t.distance & ((1u << (j - 1)) - 1));
        }
    }

    std::vector<uint8_t> Finish() {
        out_.Flush();
        return std::move(out_.Bytes());
    }

  private:
    // A small table (code lengths of the length table, or of the distance
    // table): 3 bits per length below 7, longer ones as 111 and a run of ones
    // ended by 0; after the entry at index special, 2 bits count the zero
    // lengths that follow (up to 3).
    void WriteTableLengths(const std::vector<uint8_t>& lengths, int countBits, int special) {
        int n = static_cast<int>(lengths.size());
        while (n > 0 && lengths[n - 1] == 0) --n;
        out_.Put(countBits, static_cast<uint32_t>(n));
        int i = 0;
        while (i < n) {
            const int k = lengths[i++];
            if (k <= 6)
                out_.Put(3, static_cast<uint32_t>(k));
            else
                out_.Put(k - 3, (1u << (k - 3)) - 2);
            if (i == special) {
                while (i < 6 && i < static_cast<int>(lengths.size()) && lengths[i] == 0) ++i;
                out_.Put(2, static_cast<uint32_t>(i - special));
            }
        }
    }

    // The character table's code lengths, coded through the length table:
    // symbols 3..18 are lengths 1..16, 0 is one zero length, 1 and 4 bits
    // are 3 to 18 zeros, 2 and 9 bits are 20 or more zeros.
    void WriteCharLengths(const std::vector<uint8_t>& charLen) {
        int n = kCharCodes;
        while (n > 0 && charLen[n - 1] == 0) --n;
        std::vector<uint32_t> freq(kLengthCodes, 0);
        for (int i = 0; i < n;) {
            const int k = charLen[i++];
            if (k != 0) {
                ++freq[k + 2];
                continue;
            }
            int run = 1;
            while (i < n && charLen[i] == 0) {
                ++i;
                ++run;
            }
            if (run <= 2)
                freq[0] += static_cast<uint32_t>(run);
            else if (run <= 18)
                ++freq[1];
            else if (run == 19) {
                ++freq[0];
                ++freq[1];
            } else {
                ++freq[2];
            }
        }
        const std::vector<uint8_t> tLen = BuildCodeLengths(freq, kMaxCodeBits);
        if (std::all_of(tLen.begin(), tLen.end(), [](uint8_t l) { return l == 0; })) {
            out_.Put(kLengthCodeBits, 0);
            out_.Put(kLengthCodeBits, static_cast<uint32_t>(SingleSymbol(freq)));
        } else {
            WriteTableLengths(tLen, kLengthCodeBits, 3);
        }
        const std::vector<uint16_t> tCode = CanonicalCodes(tLen);
        auto put = [&](int symbol) { out_.Put(tLen[symbol], tCode[symbol]); };

        out_.Put(kCharCodeBits, static_cast<uint32_t>(n));
        for (int i = 0; i < n;) {
            const int k = charLen[i++];
            if (k != 0) {
                put(k + 2);
                continue;
            }
            int run = 1;
            while (i < n && charLen[i] == 0) {
                ++i;
                ++run;
            }
            if (run <= 2) {
                for (int r = 0; r < run; ++r) put(0);
            } else if (run <= 18) {
                put(1);
                out_.Put(4, static_cast<uint32_t>(run - 3));
            } else if (run == 19) {
                put(0);
                put(1);
                out_.Put(4, 15);
            } else {
                put(2);
                out_.Put(kCharCodeBits, static_cast<uint32_t>(run - 20));
            }
        }
    }

    const MethodParams& method_;
    BitWriter out_;
};

}  // namespace

std::vector<uint8_t> Encode(const MethodParams& method, const uint8_t* data, size_t size) {
    // Distances stop one short of the dictionary size so that no decoder
    // ever needs a byte its dictionary has just dropped.
    const uint32_t maxDistance = (1u << method.dictionaryBits) - 1;
    MatchFinder finder(data, size, maxDistance);
    BlockWriter writer(method);
    std::vector<Token> tokens;
    tokens.reserve(kBlockTokens);
    auto emit = [&](Token t) {
        tokens.push_back(t);
        if (tokens.size() == kBlockTokens) {
            writer.Write(tokens);
            tokens.clear();
        }
    };
    auto literal = [&](uint8_t c) { emit({c, 0}); };
    auto match = [&](int len, uint32_t dist) {
        emit({static_cast<uint16_t>(256 + len - kMinMatch), static_cast<uint16_t>(dist - 1)});
    };

    // Lazy evaluation: a match found at one position is held back for one
    // step; when the next position offers a longer match, the held position
    // goes out as a literal instead.
    size_t pos = 0;
    bool pending = false;
    int prevLen = 0;
    uint32_t prevDist = 0;
    while (pos < size) {
        int len = 0;
        uint32_t dist = 0;
        if (!(pending && prevLen >= kLazyLimit)) len = finder.Find(pos, &dist);
        finder.Insert(pos);
        if (pending && prevLen >= kMinMatch && len <= prevLen) {
            match(prevLen, prevDist);
            const size_t end = pos - 1 + static_cast<size_t>(prevLen);
            for (size_t k = pos + 1; k < end; ++k) finder.Insert(k);
            pos = end;
            pending = false;
            prevLen = 0;
            continue;
        }
        if (pending) literal(data[pos - 1]);
        pending = true;
        prevLen = len;
        prevDist = dist;
        ++pos;
    }
    if (pending) {
        if (prevLen >= kMinMatch)
            match(prevLen, prevDist);
        else
            literal(data[size - 1]);
    }
    if (!tokens.empty()) writer.Write(tokens);
    return writer.Finish();
}

}  // namespace lzh
