// The packet writer's output buffer: bytes are appended into a list of
// chunks, so growing never copies what was already written; earlier bytes
// (header counts, nested row counts, row bitmaps) can still be patched in
// place. A packet written into a single chunk (the writer reserves the room
// for a whole dataset up front) is handed over without a copy; otherwise it
// is copied once, into the caller's byte array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace pelmora {

class PacketBuffer {
  public:
    static constexpr size_t kInitialSize = 32768;
    static constexpr size_t kMinGrowth = 32768;
    static constexpr size_t kMaxGrowth = 1024000;

    // Drops all bytes and takes a first chunk of `initial` bytes; false when
    // memory cannot be had (the buffer is then empty).
    bool Reset(size_t initial = kInitialSize);
    // Frees everything.
    void Clear();

    // Makes room for `bytes` more bytes; false when memory cannot be had.
    // Room for more than kMaxGrowth bytes while everything is in the first
    // chunk grows that chunk, so that the packet stays in one block.
    bool Reserve(size_t bytes);
    // Appends bytes for which room was reserved. The common case, bytes that
    // fit in the chunk being filled, is a plain copy at the tail.
    void Append(const void* data, size_t bytes) {
        if (bytes <= static_cast<size_t>(tailEnd_ - tail_)) {
            if (bytes) std::memcpy(tail_, data, bytes);
            tail_ += bytes;
            size_ += bytes;
            return;
        }
        AppendSpanning(data, bytes);
    }
    void AppendZeros(size_t bytes) {
        if (bytes <= static_cast<size_t>(tailEnd_ - tail_)) {
            if (bytes) std::memset(tail_, 0, bytes);
            tail_ += bytes;
            size_ += bytes;
            return;
        }
        AppendZerosSpanning(bytes);
    }
    void Append8(uint8_t v) { Append(&v, 1); }
    void Append16(uint16_t v);
    void Append32(uint32_t v);

    // Random access to bytes already written (offset + bytes <= Size()).
    void Write(size_t offset, const void* data, size_t bytes);
    void Read(size_t offset, void* data, size_t bytes) const;
    void Write16(size_t offset, uint16_t v);
    void Write32(size_t offset, uint32_t v);
    uint16_t Read16(size_t offset) const;
    uint32_t Read32(size_t offset) const;
    void OrByte(size_t offset, uint8_t bits) {
        // Row bitmaps sit just behind the tail, nearly always in its chunk.
        if (offset >= tailStart_ && offset < size_) {
            *(tail_ - (size_ - offset)) |= bits;
            return;
        }
        OrByteAnywhere(offset, bits);
    }

    // Copies all written bytes to `out` (Size() bytes).
    void CopyTo(uint8_t* out) const;
    // When all written bytes are in one block: that block, cut to Size()
    // bytes and allocated with malloc (the caller frees it with free), and
    // the buffer is left empty. Null otherwise, or when nothing is written.
    uint8_t* TakeBlock();

    size_t Size() const { return size_; }
    size_t Capacity() const { return capacity_; }
    size_t ChunkCount() const { return chunks_.size(); }

  private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    struct Chunk {
        std::unique_ptr<uint8_t, Free> bytes;
        size_t start = 0;     // offset of the chunk's first byte in the packet
        size_t capacity = 0;  // bytes the chunk holds
    };

    bool AddChunk(size_t bytes);
    // Grows the only chunk to `bytes` (it may move); false when it cannot.
    bool GrowOnlyChunk(size_t bytes);
    void AppendSpanning(const void* data, size_t bytes);
    void AppendZerosSpanning(size_t bytes);
    void OrByteAnywhere(size_t offset, uint8_t bits);
    // Points the tail at offset size_ (after a chunk was added or filled).
    void FindTail();
    // The chunk holding packet offset `offset`.
    size_t ChunkAt(size_t offset) const;
    template <typename Fn>
    void ForRange(size_t offset, size_t bytes, Fn fn) const;

    std::vector<Chunk> chunks_;
    size_t size_ = 0;
    size_t capacity_ = 0;
    // Where the next byte goes and the end of its chunk (both null when
    // there is no room), and the packet offset of that chunk's first byte.
    uint8_t* tail_ = nullptr;
    uint8_t* tailEnd_ = nullptr;
    size_t tailStart_ = 0;
};

}  // namespace pelmora
