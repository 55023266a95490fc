#include "store/utf16_cut.h"

namespace pelmora {

size_t CutUtf16(const uint8_t* bytes, size_t length, size_t maxBytes) {
    size_t keep = (length < maxBytes ? length : maxBytes) & ~static_cast<size_t>(1);
    if (keep >= 2 && keep < length) {
        const unsigned unit = bytes[keep - 2] | (bytes[keep - 1] << 8);
        // A high surrogate at the end would lose its partner: drop it too.
        if (unit >= 0xD800 && unit <= 0xDBFF) keep -= 2;
    }
    return keep;
}

}  // namespace pelmora
