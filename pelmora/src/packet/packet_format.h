// The binary datapacket layout shared by the packet writer and reader: the
// 24-byte header, its property bits, the shape of a value under a packet type
// word, the column/level tree both sides keep, and little-endian helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pelmora/pelmora.h"

namespace pelmora {

constexpr uint32_t kPacketMagic = 0x5E1A7C2D;
constexpr uint32_t kPacketAltMagic = 0xABCD;  // accepted on read, never written
constexpr uint16_t kMaxBinaryVersion = 2;

// Header field offsets.
constexpr size_t kHeaderSize = 24;
constexpr size_t kOffMagic = 0;
constexpr size_t kOffVersion = 4;
constexpr size_t kOffRevision = 6;
constexpr size_t kOffHeaderSize = 8;
constexpr size_t kOffColumnCount = 12;
constexpr size_t kOffRowCount = 14;
constexpr size_t kOffProperties = 18;
constexpr size_t kOffRowOffset = 22;

// XML mode bits (the writer's SetXmlOutput value, the reader's ReadXmlInput).
constexpr uint32_t kXmlStandalone = 0x0003;  // either bit: a standalone XML document
constexpr uint32_t kXmlMetadata = 0x0004;    // the document carries its metadata
constexpr uint32_t kXmlInHeader = 0x0008;    // read: the XML body followed a binary header

// Header property bits.
constexpr uint32_t kPropMetadata = 0x0001;
constexpr uint32_t kPropRowOffset = 0x0002;
constexpr uint32_t kPropXmlBody = 0x8000;

constexpr uint32_t kMaxRowOffset = 65536;  // row offsets must stay below this
constexpr size_t kMaxLevels = 15;          // open nesting levels, the top level included
constexpr size_t kMaxColumnName = 31;
constexpr size_t kBcdPacketBytes = 18;
constexpr uint32_t kCountNotKnown = 0xFFFFFFFF;      // nested count patched later
constexpr uint32_t kDetailsNotFetched = 0x80000000;  // nested rows not delivered
constexpr uint32_t kLengthNotFetched = 0x80000000;   // top bit of a not-fetched BLOB length

// How a value is laid out under a type word.
enum class ValueKind : uint8_t {
    Fixed,     // `width` bytes
    Varying,   // a length of `width` bytes (1, 2 or 4), then that many bytes
    Repeated,  // a 4-byte count, then count elements of `width` bytes
    Table,     // a 4-byte detail row count, then the detail rows
};

struct ValueShape {
    ValueKind kind = ValueKind::Fixed;
    uint32_t width = 0;
};

// The shape of values under `typeWord`; DSERR_INVALIDFLDTYPE when the word has
// no value rule (base type 0 or above 16, bad widths, varying and repeated).
EngineResult ClassifyType(uint32_t typeWord, ValueShape* shape);

// Base types 12..16 need header version 2.
bool NeedsVersion2(uint32_t typeWord);

// One column of a level, as both the writer and the reader track it.
struct LevelColumn {
    uint32_t typeWord = 0;
    ValueShape shape;
    int32_t childLevel = -1;  // index of the nested level of a PKT_TABLE column
    uint32_t ordinal = 0;     // position among all columns of the packet, depth first
};

// The columns of one dataset level (top level or nested detail).
struct PacketLevel {
    uint32_t expected = 0;  // columns announced for the level
    std::vector<LevelColumn> columns;

    size_t BitmapBytes() const { return (columns.size() + 3) / 4; }
};

// Blank and unchanged bits of column k in a row's null bitmap.
inline size_t BitmapByte(size_t column) {
    return column / 4;
}
inline uint8_t BlankBit(size_t column) {
    return static_cast<uint8_t>(1u << (2 * (column % 4)));
}
inline uint8_t UnchangedBit(size_t column) {
    return static_cast<uint8_t>(2u << (2 * (column % 4)));
}

// Little-endian, unaligned access.
inline uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
// A length prefix of 1, 2 or 4 bytes.
inline uint32_t LoadPrefix(const uint8_t* p, uint32_t width) {
    return width == 1 ? p[0] : width == 2 ? Load16(p) : Load32(p);
}
inline void StorePrefix(uint8_t* p, uint32_t width, uint32_t v) {
    for (uint32_t i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t PrefixLimit(uint32_t width) {
    return width == 1 ? 0xFFu : width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
}

// The header fields a reader needs.
struct PacketHeader {
    uint32_t magic = 0;
    uint16_t version = 0;
    uint16_t revision = 0;
    uint32_t headerSize = 0;
    uint16_t columnCount = 0;
    uint32_t rowCount = 0;
    uint32_t properties = 0;
    uint16_t rowOffset = 0;
};

// True when the bytes start with a header the binary reader accepts; the
// header is filled in when at least 24 bytes are there.
bool IsBinaryPacket(const uint8_t* data, size_t size);
// Parses the header of a binary packet; DSERR_DATAPACKETMISMATCH when it is
// cut short or its header size does not fit the bytes.
EngineResult ParseHeader(const uint8_t* data, size_t size, PacketHeader* header);

// The 24 header bytes of a fresh packet.
void BuildHeader(uint8_t* out, uint16_t columnCount, uint32_t properties);

}  // namespace pelmora
