#include "store/field_values.h"

#include <algorithm>
#include <cstring>

#include "store/bcd.h"
#include "store/utf16_cut.h"

namespace pelmora {

namespace {

// Zero-width fields may have no storage at all; never hand a null pointer to memset/memcpy.
void ZeroBytes(uint8_t* p, size_t n) {
    if (n != 0) std::memset(p, 0, n);
}

void CopyBytes(uint8_t* dst, const uint8_t* src, size_t n) {
    if (n != 0) std::memcpy(dst, src, n);
}

// The descendants of a zero-width field, clamped to the descriptor list.
uint32_t LastDescendant(std::span<const FieldDesc> fields, uint32_t field) {
    const uint64_t last = static_cast<uint64_t>(field) + fields[field - 1].units2;
    return static_cast<uint32_t>(std::min<uint64_t>(last, fields.size()));
}

void BlankDescendants(std::span<const FieldDesc> fields, FieldSlots& slots, uint32_t field,
                      bool zeroValues) {
    for (uint32_t d = field + 1; d <= LastDescendant(fields, field); ++d) {
        *slots.Indicator(d) = IND_BLANK;
        if (zeroValues) ZeroBytes(slots.Value(d), fields[d - 1].length);
    }
}

void CopyVarying(const FieldDesc& f, uint8_t* dst, const uint8_t* src) {
    const uint32_t width = f.length;
    if (width < 2) {
        CopyBytes(dst, src, width);
        return;
    }
    uint16_t count;
    std::memcpy(&count, src, 2);
    size_t keep = std::min<size_t>(count, width - 2);
    if (f.type == FLD_UNICODE) keep = CutUtf16(src + 2, count, keep);
    const uint16_t stored = static_cast<uint16_t>(keep);
    std::memcpy(dst, &stored, 2);
    std::memcpy(dst + 2, src + 2, keep);
    std::memset(dst + 2 + keep, 0, width - 2 - keep);
}

void CopyString(uint32_t width, uint8_t* dst, const uint8_t* src) {
    if (width == 0) return;
    const size_t n = strnlen(reinterpret_cast<const char*>(src), width - 1);
    std::memcpy(dst, src, n);
    std::memset(dst + n, 0, width - n);
}

}  // namespace

EngineResult WriteFieldValue(std::span<const FieldDesc> fields, FieldSlots& slots, uint32_t field,
                             const void* value) {
    const FieldDesc& f = fields[field - 1];
    uint8_t* dst = slots.Value(field);
    if (value == nullptr) {
        ZeroBytes(dst, f.length);
        *slots.Indicator(field) = IND_BLANK;
        if (f.length == 0) BlankDescendants(fields, slots, field, true);
        return DS_OK;
    }
    const uint8_t* src = static_cast<const uint8_t*>(value);
    switch (f.type) {
        case FLD_BCD: {
            // Re-scale first so that a refused value leaves the slot as it was.
            uint8_t scaled[kBcdMaxBytes] = {};
            const uint32_t places = f.units2 & kBcdPlacesMask;
            const EngineResult r =
                RescaleBcd(src, kBcdMaxBytes, scaled, sizeof scaled, f.units1, places);
            if (r != DS_OK) return r;
            std::memcpy(dst, scaled, std::min<size_t>(f.length, sizeof scaled));
            break;
        }
        case FLD_STRING:
            CopyString(f.length, dst, src);
            break;
        case FLD_VARBYTES:
        case FLD_UNICODE:
            CopyVarying(f, dst, src);
            break;
        default:
            CopyBytes(dst, src, f.length);
            break;
    }
    *slots.Indicator(field) = IND_VALUE;
    // A value inside a structured field makes every blank container non-blank.
    uint32_t parent = f.parentId;
    for (size_t steps = 0; parent != 0 && parent <= fields.size() && steps < fields.size();
         ++steps) {
        uint8_t* ind = slots.Indicator(parent);
        if (*ind == IND_BLANK) *ind = IND_VALUE;
        parent = fields[parent - 1].parentId;
    }
    return DS_OK;
}

void WriteFieldIndicator(std::span<const FieldDesc> fields, FieldSlots& slots, uint32_t field,
                         uint8_t indicator) {
    *slots.Indicator(field) = indicator;
    if (indicator == IND_BLANK && fields[field - 1].length == 0) {
        BlankDescendants(fields, slots, field, false);
    }
}

}  // namespace pelmora
