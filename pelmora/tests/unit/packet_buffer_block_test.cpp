// The packet buffer hands over its block when the packet lies in one: the
// bytes must equal those the chunked path copies out, including bytes
// patched after the block grew (and moved), and a buffer spread over
// several chunks must refuse to hand over anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "packet/packet_buffer.h"

namespace pelmora {
namespace {

// The same writes into a buffer: a header, a large run of rows with
// patched counts and bitmap bits, and a final header patch.
void WritePacket(PacketBuffer& b, size_t hint) {
    ASSERT_TRUE(b.Reset());
    ASSERT_TRUE(b.Reserve(8));
    b.Append32(0);
    b.Append32(0xA1B2C3D4u);
    if (hint != 0) {
        ASSERT_TRUE(b.Reserve(hint));
    }
    std::mt19937 random(3);
    uint32_t rows = 0;
    for (int i = 0; i < 40000; ++i) {
        ASSERT_TRUE(b.Reserve(64));
        const size_t bitmap = b.Size();
        b.AppendZeros(1);
        const uint8_t text[] = "some row text of varying length";
        b.Append(text, 1 + random() % (sizeof text - 1));
        b.OrByte(bitmap, static_cast<uint8_t>(1u << (i % 8)));
        ++rows;
    }
    b.Write32(0, rows);
}

TEST(PacketBufferBlock, HandedOverBlockEqualsTheChunkedCopy) {
    PacketBuffer chunked;
    WritePacket(chunked, 0);
    ASSERT_GT(chunked.ChunkCount(), 1u);
    // Spread over chunks: nothing is handed over and the bytes stay.
    const size_t size = chunked.Size();
    EXPECT_EQ(chunked.TakeBlock(), nullptr);
    ASSERT_EQ(chunked.Size(), size);
    std::vector<uint8_t> expected(size);
    chunked.CopyTo(expected.data());

    PacketBuffer single;
    WritePacket(single, 4u << 20);  // beyond the largest growth step: one block
    ASSERT_EQ(single.ChunkCount(), 1u);
    ASSERT_EQ(single.Size(), size);
    uint8_t* block = single.TakeBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, expected.data(), size), 0);
    EXPECT_EQ(single.Size(), 0u);
    EXPECT_EQ(single.ChunkCount(), 0u);
    std::free(block);

    // A small packet in the first chunk is handed over whole too.
    PacketBuffer small;
    ASSERT_TRUE(small.Reset());
    ASSERT_TRUE(small.Reserve(3));
    small.Append("abc", 3);
    uint8_t* three = small.TakeBlock();
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(std::memcmp(three, "abc", 3), 0);
    std::free(three);
    EXPECT_EQ(small.TakeBlock(), nullptr);  // empty now
}

}  // namespace
}  // namespace pelmora
