// Bit streams of the LZH compressed formats: bits are written and read most
// significant first. Reading past the end yields zero bits and marks the
// stream as overrun, which the decoder reports as a damaged member.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzh {

class BitWriter {
  public:
    // Appends the low count bits of value (count 0..24).
    void Put(int count, uint32_t value);
    // Pads the last byte with zero bits.
    void Flush();
    const std::vector<uint8_t>& Bytes() const { return out_; }
    std::vector<uint8_t>& Bytes() { return out_; }
    uint64_t BitCount() const { return out_.size() * 8 + static_cast<uint64_t>(bits_); }

  private:
    uint32_t acc_ = 0;  // pending bits, right-aligned
    int bits_ = 0;
    std::vector<uint8_t> out_;
};

class BitReader {
  public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    // The next 16 bits without consuming them.
    uint32_t Peek16() const;
    // Consumes count bits (count 0..16).
    void Skip(int count);
    // Reads count bits (count 0..16).
    uint32_t Get(int count);
    bool Overrun() const { return pos_ > static_cast<uint64_t>(size_) * 8; }

  private:
    const uint8_t* data_;
    size_t size_;
    uint64_t pos_ = 0;  // in bits
};

}  // namespace lzh
