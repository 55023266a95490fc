// Member headers of LZH archives. Each member is a header followed by its
// data; a zero byte (or the end of the file) ends the archive. Three header
// levels are read: level 0 (name in the base header, byte checksum), level 1
// (level 0 plus extended headers counted in the data size) and level 2 (a
// 16-bit header size, extended headers, optional header CRC). Members are
// written with level-2 headers: name in code page 932, Unix time, header CRC.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lzh/byte_source.h"

namespace lzh {

struct MemberHeader {
    uint64_t offset = 0;          // where the header starts
    uint64_t dataOffset = 0;      // where the member data starts
    uint64_t compressedSize = 0;  // bytes of member data
    uint64_t originalSize = 0;
    std::string method;  // five characters, "-lh5-"
    int level = 0;
    uint8_t osId = 0;
    uint8_t attribute = 0;
    uint16_t crc = 0;  // CRC-16 of the original data
    bool hasCrc = false;
    int64_t modifiedTime = 0;  // seconds since 1970-01-01 UTC, 0 when unknown
    std::string name;          // stored name, folders separated by "\" (8-bit)
};

enum class HeaderStatus {
    kOk,
    kEnd,     // end marker or end of file
    kBroken,  // not a header, cut short, or failing its checksum
};

// Reads the member header at offset.
HeaderStatus ReadHeader(const ByteSource& source, uint64_t offset, MemberHeader* header);

struct NewMember {
    std::string method;       // "-lh5-" or "-lh0-"
    uint64_t compressedSize;  // must fit 32 bits
    uint64_t originalSize;    // must fit 32 bits
    int64_t modifiedTime;     // seconds since 1970-01-01 UTC
    uint16_t crc;
    std::string name;  // code page 932 bytes, no folders
};

// The level-2 header for a member; empty when a size or the name is too large
// for the header's fields.
std::vector<uint8_t> BuildLevel2Header(const NewMember& member);

}  // namespace lzh
