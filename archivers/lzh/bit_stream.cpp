// Most-significant-first bit streams.
#include "lzh/bit_stream.h"

namespace lzh {

void BitWriter::Put(int count, uint32_t value) {
    if (count <= 0) return;
    acc_ = (acc_ << count) | (value & ((1u << count) - 1));
    bits_ += count;
    while (bits_ >= 8) {
        bits_ -= 8;
        out_.push_back(static_cast<uint8_t>(acc_ >> bits_));
    }
    acc_ &= (1u << bits_) - 1;
}

void BitWriter::Flush() {
    if (bits_ > 0) Put(8 - bits_, 0);
}

uint32_t BitReader::Peek16() const {
    uint64_t byte = pos_ >> 3;
    uint32_t window = 0;
    for (int i = 0; i < 3; ++i) {
        window <<= 8;
        if (byte + static_cast<uint64_t>(i) < size_) window |= data_[byte + i];
    }
    return (window >> (8 - (pos_ & 7))) & 0xFFFF;
}

void BitReader::Skip(int count) {
    pos_ += static_cast<uint64_t>(count);
}

uint32_t BitReader::Get(int count) {
    if (count <= 0) return 0;
    uint32_t value = Peek16() >> (16 - count);
    Skip(count);
    return value;
}

}  // namespace lzh
