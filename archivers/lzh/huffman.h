// Static Huffman codes of the LZH block format: canonical codes (shorter
// codes first, equal lengths in symbol order) of at most 16 bits, built from
// symbol frequencies by the encoder and from code lengths by the decoder.
#pragma once

#include <cstdint>
#include <vector>

#include "lzh/bit_stream.h"

namespace lzh {

constexpr int kMaxCodeBits = 16;

// Code lengths for the frequencies, none longer than maxBits; unused symbols
// get 0. With fewer than two used symbols every length is 0: such a table is
// sent in the single-code form, which costs no bits per symbol.
std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t>& frequencies, int maxBits);

// The canonical codes for the lengths (right-aligned in the low bits).
std::vector<uint16_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// The symbol that the single-code form names: the one used symbol, else 0.
int SingleSymbol(const std::vector<uint32_t>& frequencies);

class HuffmanDecoder {
  public:
    // False when a length exceeds 16 bits or the lengths claim more codes
    // than 16 bits hold. An incomplete code is accepted: reading one of its
    // unassigned bit patterns is reported by Decode.
    bool Build(const uint8_t* lengths, int count);
    // Every read yields symbol without consuming bits.
    void BuildSingle(int symbol);
    // The next symbol, or -1 when the bits match no code.
    int Decode(BitReader& in) const;

  private:
    bool single_ = true;
    int singleSymbol_ = 0;
    uint32_t limit_[kMaxCodeBits + 1] = {};  // end of each length's codes, left-aligned to 16 bits
    uint32_t first_[kMaxCodeBits + 1] = {};  // first code of each length, left-aligned
    int offset_[kMaxCodeBits + 1] = {};      // index in symbols_ of each length's first symbol
    std::vector<uint16_t> symbols_;          // symbols ordered by (length, symbol)
};

}  // namespace lzh
