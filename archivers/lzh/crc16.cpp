// Table-driven 16-bit checksum.
#include "lzh/crc16.h"

#include <array>

namespace lzh {
namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
        table[i] = static_cast<uint16_t>(r);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t Crc16(const void* data, size_t size, uint16_t crc) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        crc = static_cast<uint16_t>(kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

}  // namespace lzh
