// The 16-bit checksum of LZH archives (polynomial 0x8005, bits reflected,
// starting from 0), kept per member for its data and, in level-2 headers, for
// the header itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzh {

uint16_t Crc16(const void* data, size_t size, uint16_t crc = 0);

}  // namespace lzh
