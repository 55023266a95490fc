// Packed decimals: re-scaling to a field's precision and places, conversion
// to and from extended floats, and moving values between a field slot and the
// fixed 18-byte form they take in a datapacket.
//
// Layout: byte 0 precision (digits); byte 1 sign (0x80), special (0x40) and
// places (low 6 bits); then the digits two per byte, high nibble first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pelmora/pelmora.h"

namespace pelmora {

constexpr uint8_t kBcdSign = 0x80;
constexpr uint8_t kBcdSpecial = 0x40;
constexpr uint8_t kBcdPlacesMask = 0x3F;
constexpr uint32_t kBcdMaxDigits = 64;
constexpr size_t kBcdPacketSize = 18;
// Large enough for any packed decimal (64 digits).
constexpr size_t kBcdMaxBytes = 34;

// Bytes a packed decimal of this precision occupies: (p + 1) / 2 + 2.
inline size_t BcdBytes(uint32_t precision) {
    return (precision + 1) / 2 + 2;
}

// Re-scales src (srcBytes readable) to precision and places into dst
// (dstBytes writable, at least BcdBytes(precision)). Surplus decimal digits
// are dropped; 9985 when a non-zero integer digit would be lost or the source
// claims more digits than it has bytes; 9986 for an impossible target
// (precision above 64, places above precision) or a too small destination.
// dst is untouched on failure.
EngineResult RescaleBcd(const uint8_t* src, size_t srcBytes, uint8_t* dst, size_t dstBytes,
                        uint32_t precision, uint32_t places);

// Packed decimal to extended float. Returns 0, or 1 for a value that is
// special, malformed or longer than srcBytes (out is then all one bits).
uint32_t BcdToFloat(const uint8_t* src, size_t srcBytes, long double& out);

// Extended float to packed decimal of precision and places (both 0: 32 and
// 15). dst needs BcdBytes of the effective precision (at most 34). Returns 1
// when the special bit had to be set (infinite, not a number, too many
// digits), else 0.
uint32_t FloatToBcd(long double value, uint32_t precision, uint32_t places, uint8_t* dst);

// The float cut toward zero to the given decimal places, taken from its
// shortest round-trip decimal text: 0.29 is 0.28999999999999998 in binary,
// and cutting that would give 0.28 where the value written is 0.29. The
// result is within rounding of the cut decimal, as FloatToBcd expects.
long double TruncatedDecimal(double value, uint32_t places);

// Field slot of fieldWidth bytes -> 18-byte packet form. Bytes beyond the
// field are zero; nothing past the field is read.
void BcdFieldToPacket(const uint8_t* field, size_t fieldWidth, uint8_t* packet);

// 18-byte packet form -> field slot of fieldWidth bytes. Nothing is written
// past the field; field bytes beyond the packet form are zeroed.
void BcdPacketToField(const uint8_t* packet, uint8_t* field, size_t fieldWidth);

}  // namespace pelmora
