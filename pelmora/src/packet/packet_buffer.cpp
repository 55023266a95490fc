#include "packet/packet_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "packet/packet_format.h"
#include "store/large_pages.h"

namespace pelmora {

bool PacketBuffer::Reset(size_t initial) {
    Clear();
    return AddChunk(initial);
}

void PacketBuffer::Clear() {
    chunks_.clear();
    size_ = 0;
    capacity_ = 0;
    FindTail();
}

void PacketBuffer::FindTail() {
    if (size_ >= capacity_) {
        tail_ = tailEnd_ = nullptr;
        tailStart_ = size_;
        return;
    }
    const Chunk& chunk = chunks_[ChunkAt(size_)];
    tail_ = chunk.bytes.get() + (size_ - chunk.start);
    tailEnd_ = chunk.bytes.get() + chunk.capacity;
    tailStart_ = chunk.start;
}

bool PacketBuffer::AddChunk(size_t bytes) {
    if (bytes == 0) bytes = 1;
    try {
        chunks_.reserve(chunks_.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    auto* block = static_cast<uint8_t*>(std::malloc(bytes));
    if (block == nullptr) return false;
    AdviseLargePages(block, bytes);
    Chunk chunk;
    chunk.bytes.reset(block);
    chunk.start = capacity_;
    chunk.capacity = bytes;
    chunks_.push_back(std::move(chunk));
    capacity_ += bytes;
    if (tail_ == tailEnd_) FindTail();
    return true;
}

bool PacketBuffer::GrowOnlyChunk(size_t bytes) {
    Chunk& chunk = chunks_[0];
    auto* block = static_cast<uint8_t*>(std::realloc(chunk.bytes.get(), bytes));
    if (block == nullptr) return false;
    (void)chunk.bytes.release();
    chunk.bytes.reset(block);
    AdviseLargePages(block, bytes);
    capacity_ = chunk.capacity = bytes;
    FindTail();
    return true;
}

bool PacketBuffer::Reserve(size_t bytes) {
    const size_t room = capacity_ - size_;
    if (bytes <= room) return true;
    const size_t shortfall = bytes - room;
    if (chunks_.size() == 1 && shortfall > kMaxGrowth) return GrowOnlyChunk(size_ + bytes);
    const size_t step = std::max(std::clamp(capacity_, kMinGrowth, kMaxGrowth), shortfall);
    return AddChunk(step);
}

uint8_t* PacketBuffer::TakeBlock() {
    if (size_ == 0 || size_ > chunks_[0].capacity) return nullptr;
    uint8_t* block = chunks_[0].bytes.get();
    if (chunks_[0].capacity != size_) {
        // Giving back the unused end never moves a large block's pages.
        if (auto* cut = static_cast<uint8_t*>(std::realloc(block, size_))) block = cut;
    }
    (void)chunks_[0].bytes.release();
    Clear();
    return block;
}

size_t PacketBuffer::ChunkAt(size_t offset) const {
    auto it = std::upper_bound(chunks_.begin(), chunks_.end(), offset,
                               [](size_t value, const Chunk& c) { return value < c.start; });
    return static_cast<size_t>(it - chunks_.begin()) - 1;
}

template <typename Fn>
void PacketBuffer::ForRange(size_t offset, size_t bytes, Fn fn) const {
    if (bytes == 0) return;
    size_t index = ChunkAt(offset);
    size_t done = 0;
    while (done < bytes) {
        const Chunk& chunk = chunks_[index];
        const size_t at = offset + done - chunk.start;
        const size_t n = std::min(bytes - done, chunk.capacity - at);
        fn(chunk.bytes.get() + at, n, done);
        done += n;
        ++index;
    }
}

void PacketBuffer::AppendSpanning(const void* data, size_t bytes) {
    const auto* src = static_cast<const uint8_t*>(data);
    ForRange(size_, bytes,
             [src](uint8_t* p, size_t n, size_t done) { std::memcpy(p, src + done, n); });
    size_ += bytes;
    FindTail();
}

void PacketBuffer::AppendZerosSpanning(size_t bytes) {
    ForRange(size_, bytes, [](uint8_t* p, size_t n, size_t) { std::memset(p, 0, n); });
    size_ += bytes;
    FindTail();
}

void PacketBuffer::Append16(uint16_t v) {
    uint8_t b[2];
    Store16(b, v);
    Append(b, 2);
}

void PacketBuffer::Append32(uint32_t v) {
    uint8_t b[4];
    Store32(b, v);
    Append(b, 4);
}

void PacketBuffer::Write(size_t offset, const void* data, size_t bytes) {
    const auto* src = static_cast<const uint8_t*>(data);
    ForRange(offset, bytes,
             [src](uint8_t* p, size_t n, size_t done) { std::memcpy(p, src + done, n); });
}

void PacketBuffer::Read(size_t offset, void* data, size_t bytes) const {
    auto* dst = static_cast<uint8_t*>(data);
    ForRange(offset, bytes,
             [dst](uint8_t* p, size_t n, size_t done) { std::memcpy(dst + done, p, n); });
}

void PacketBuffer::Write16(size_t offset, uint16_t v) {
    uint8_t b[2];
    Store16(b, v);
    Write(offset, b, 2);
}

void PacketBuffer::Write32(size_t offset, uint32_t v) {
    uint8_t b[4];
    Store32(b, v);
    // Header counts live in the first chunk: no search for it.
    if (!chunks_.empty() && offset + 4 <= chunks_[0].capacity) {
        std::memcpy(chunks_[0].bytes.get() + offset, b, 4);
        return;
    }
    Write(offset, b, 4);
}

uint16_t PacketBuffer::Read16(size_t offset) const {
    uint8_t b[2];
    Read(offset, b, 2);
    return Load16(b);
}

uint32_t PacketBuffer::Read32(size_t offset) const {
    uint8_t b[4];
    if (!chunks_.empty() && offset + 4 <= chunks_[0].capacity)
        std::memcpy(b, chunks_[0].bytes.get() + offset, 4);
    else
        Read(offset, b, 4);
    return Load32(b);
}

void PacketBuffer::OrByteAnywhere(size_t offset, uint8_t bits) {
    uint8_t b = 0;
    Read(offset, &b, 1);
    b = static_cast<uint8_t>(b | bits);
    Write(offset, &b, 1);
}

void PacketBuffer::CopyTo(uint8_t* out) const {
    size_t copied = 0;
    for (const Chunk& chunk : chunks_) {
        if (copied >= size_) break;
        const size_t n = std::min(chunk.capacity, size_ - copied);
        std::memcpy(out + copied, chunk.bytes.get(), n);
        copied += n;
    }
}

}  // namespace pelmora
