// Cutting UTF-16LE text to a byte budget. Used wherever a Unicode value has
// to fit a field or packet width: the cut keeps whole code units and never
// leaves the first half of a surrogate pair behind.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmora {

// Returns the number of bytes of the UTF-16LE text (length bytes) to keep so
// that at most maxBytes remain: an even count, shortened by one more unit
// when the cut would split a surrogate pair.
size_t CutUtf16(const uint8_t* bytes, size_t length, size_t maxBytes);

}  // namespace pelmora
