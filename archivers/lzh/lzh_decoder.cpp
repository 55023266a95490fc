// Block-wise static-Huffman decoding with a sliding dictionary.
#include "lzh/lzh_decoder.h"

#include <vector>

#include "lzh/bit_stream.h"
#include "lzh/huffman.h"

namespace lzh {
namespace {

constexpr size_t kOutputPiece = 65536;

class Decoder {
  public:
    Decoder(const MethodParams& method, const uint8_t* input, size_t inputSize,
            const OutputSink& sink)
        : method_(method),
          in_(input, inputSize),
          sink_(sink),
          dictionary_(size_t{1} << method.dictionaryBits, ' '),
          mask_((size_t{1} << method.dictionaryBits) - 1) {
        piece_.reserve(kOutputPiece);
    }

    DecodeStatus Run(uint64_t originalSize) {
        uint64_t produced = 0;
        uint32_t blockLeft = 0;
        while (produced < originalSize) {
            if (blockLeft == 0) {
                blockLeft = in_.Get(16);
                if (!ReadTables())
                    return in_.Overrun() ? DecodeStatus::kTruncated : DecodeStatus::kCorrupt;
                if (in_.Overrun()) return DecodeStatus::kTruncated;
                if (blockLeft == 0) continue;
            }
            --blockLeft;
            const int c = chars_.Decode(in_);
            if (c < 0) return DecodeStatus::kCorrupt;
            if (c < 256) {
                if (!Put(static_cast<uint8_t>(c))) return DecodeStatus::kSinkFailed;
                ++produced;
            } else {
                uint64_t length = static_cast<uint64_t>(c - 256 + kMinMatch);
                const int j = distances_.Decode(in_);
                if (j < 0) return DecodeStatus::kCorrupt;
                const uint32_t p = j == 0 ? 0 : (1u << (j - 1)) + in_.Get(j - 1);
                if (length > originalSize - produced) length = originalSize - produced;
                size_t from = (position_ - p - 1) & mask_;
                for (uint64_t k = 0; k < length; ++k) {
                    if (!Put(dictionary_[from])) return DecodeStatus::kSinkFailed;
                    from = (from + 1) & mask_;
                }
                produced += length;
            }
            if (in_.Overrun()) return DecodeStatus::kTruncated;
        }
        return Flush() ? DecodeStatus::kOk : DecodeStatus::kSinkFailed;
    }

  private:
    bool Put(uint8_t byte) {
        dictionary_[position_] = byte;
        position_ = (position_ + 1) & mask_;
        piece_.push_back(byte);
        return piece_.size() < kOutputPiece || Flush();
    }

    bool Flush() {
        if (piece_.empty()) return true;
        const bool ok = sink_(piece_.data(), piece_.size());
        piece_.clear();
        return ok;
    }

    bool ReadTables() {
        return ReadSmallTable(&lengthTable_, kLengthCodes, kLengthCodeBits, 3) && ReadCharTable() &&
               ReadSmallTable(&distances_, method_.distanceCodes, method_.distanceBits, -1);
    }

    // The length table or the distance table (see the encoder for the form).
    bool ReadSmallTable(HuffmanDecoder* table, int symbols, int countBits, int special) {
        const int n = static_cast<int>(in_.Get(countBits));
        if (n == 0) {
            const int c = static_cast<int>(in_.Get(countBits));
            if (c >= symbols) return false;
            table->BuildSingle(c);
            return true;
        }
        if (n > symbols) return false;
        std::vector<uint8_t> lengths(static_cast<size_t>(symbols), 0);
        int i = 0;
        while (i < n) {
            int c = static_cast<int>(in_.Get(3));
            if (c == 7) {
                while (in_.Get(1) == 1) {
                    if (++c > kMaxCodeBits || in_.Overrun()) return false;
                }
            }
            lengths[static_cast<size_t>(i++)] = static_cast<uint8_t>(c);
            if (i == special) {
                int zeros = static_cast<int>(in_.Get(2));
                while (zeros-- > 0 && i < symbols) lengths[static_cast<size_t>(i++)] = 0;
            }
        }
        return table->Build(lengths.data(), symbols);
    }

    bool ReadCharTable() {
        const int n = static_cast<int>(in_.Get(kCharCodeBits));
        if (n == 0) {
            const int c = static_cast<int>(in_.Get(kCharCodeBits));
            if (c >= kCharCodes) return false;
            chars_.BuildSingle(c);
            return true;
        }
        if (n > kCharCodes) return false;
        std::vector<uint8_t> lengths(kCharCodes, 0);
        int i = 0;
        while (i < n) {
            const int c = lengthTable_.Decode(in_);
            if (c < 0 || in_.Overrun()) return false;
            if (c > 2) {
                lengths[static_cast<size_t>(i++)] = static_cast<uint8_t>(c - 2);
                continue;
            }
            const int zeros = c == 0   ? 1
                              : c == 1 ? static_cast<int>(in_.Get(4)) + 3
                                       : static_cast<int>(in_.Get(kCharCodeBits)) + 20;
            if (i + zeros > kCharCodes) return false;
            i += zeros;  // the lengths are zero already
        }
        return chars_.Build(lengths.data(), kCharCodes);
    }

    const MethodParams& method_;
    BitReader in_;
    const OutputSink& sink_;
    std::vector<uint8_t> dictionary_;
    size_t mask_;
    size_t position_ = 0;
    std::vector<uint8_t> piece_;
    HuffmanDecoder lengthTable_;
    HuffmanDecoder chars_;
    HuffmanDecoder distances_;
};

}  // namespace

DecodeStatus Decode(const MethodParams& method, const uint8_t* input, size_t inputSize,
                    uint64_t originalSize, const OutputSink& sink) {
    Decoder decoder(method, input, inputSize, sink);
    return decoder.Run(originalSize);
}

}  // namespace lzh
