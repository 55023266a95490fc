#include "store/layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "store/bcd.h"
#include "store/field_types.h"

namespace pelmora {

namespace {

constexpr size_t kMaxFields = std::numeric_limits<uint16_t>::max();
constexpr uint64_t kMaxRecordSize = uint64_t{256} << 20;

// Gives the descriptor the name "<base>[index]", shortening base as needed.
void NameElement(FieldDesc& f, const char* base, uint32_t index) {
    char suffix[16];
    const int suffixLength = std::snprintf(suffix, sizeof suffix, "[%u]", index);
    const size_t room = sizeof f.name - 1 - static_cast<size_t>(suffixLength);
    const size_t baseLength = std::min(strnlen(base, sizeof f.name - 1), room);
    char name[sizeof f.name] = {};
    std::memcpy(name, base, baseLength);
    std::memcpy(name + baseLength, suffix, static_cast<size_t>(suffixLength));
    std::memcpy(f.name, name, sizeof f.name);
}

// Copies the field at in[pos] with everything it covers onto out, expanding
// arrays on the way; pos moves past the consumed descriptors.
EngineResult Expand(const std::vector<FieldDesc>& in, size_t& pos, std::vector<FieldDesc>& out) {
    if (pos >= in.size()) return DSERR_INVALIDPARAM;
    const FieldDesc field = in[pos++];
    const size_t self = out.size();
    out.push_back(field);

    if (field.type == FLD_ADT) {
        for (uint32_t child = 0; child < field.units1; ++child) {
            if (EngineResult r = Expand(in, pos, out); r != DS_OK) return r;
        }
        out[self].units2 = static_cast<uint32_t>(out.size() - self - 1);
    } else if (field.type == FLD_ARRAY) {
        if (field.units1 == 0) return DSERR_INVALIDPARAM;
        std::vector<FieldDesc> element;
        if (EngineResult r = Expand(in, pos, element); r != DS_OK) return r;
        const uint64_t total = static_cast<uint64_t>(element.size()) * field.units1;
        if (out.size() + total > kMaxFields) return DSERR_INVALIDPARAM;
        for (uint32_t i = 0; i < field.units1; ++i) {
            const size_t first = out.size();
            out.insert(out.end(), element.begin(), element.end());
            NameElement(out[first], field.name, i);
        }
        out[self].units2 = static_cast<uint32_t>(total);
    } else if (field.type == FLD_TABLE) {
        // The nested dataset's own descriptors travel on as they are; the
        // nested dataset expands them when it is defined.
        if (field.units2 > in.size() - pos) return DSERR_INVALIDPARAM;
        out.insert(out.end(), in.begin() + static_cast<ptrdiff_t>(pos),
                   in.begin() + static_cast<ptrdiff_t>(pos + field.units2));
        pos += field.units2;
    }
    if (out.size() > kMaxFields) return DSERR_INVALIDPARAM;
    return DS_OK;
}

// Width of field f by its type, adjusting its type and units1 where the rules say so.
EngineResult FieldWidth(FieldDesc& f, bool xmlMode, uint32_t& width) {
    switch (f.type) {
        case FLD_STRING:
            if (f.length != 0) {
                f.units1 = f.length - 1;
                width = f.length;
            } else if (f.units1 != 0) {
                width = f.units1 + 1;
            } else {
                return DSERR_INVALIDPARAM;
            }
            return DS_OK;
        case FLD_BYTES:
            if (f.length != 0) {
                f.units1 = f.length;
            } else if (f.units1 == 0) {
                return DSERR_INVALIDPARAM;
            }
            width = f.units1;
            return DS_OK;
        case FLD_VARBYTES:
            if (f.subtype >= 22 && f.subtype <= 28) {
                f.type = FLD_BLOB;
                width = 4;
            } else if (f.subtype == 0 && xmlMode) {
                f.type = FLD_BYTES;
                width = f.units1;
            } else {
                width = f.units1 + 2;
            }
            return DS_OK;
        case FLD_UNICODE:
            width = f.units1 + 2;
            return DS_OK;
        case FLD_BCD:
            width = BcdWidthForPrecision(f.units1);
            return DS_OK;
        case FLD_ADT:
        case FLD_ARRAY:
        case FLD_TABLE:
            if (f.units1 == 0) return DSERR_INVALIDFLDTYPE;
            width = f.type == FLD_ADT ? 0 : (f.type == FLD_TABLE ? 4 : f.length);
            return DS_OK;
        default: {
            const uint32_t fixed = FixedTypeWidth(f.type);
            width = fixed != 0 ? fixed : f.length;
            return DS_OK;
        }
    }
}

}  // namespace

EngineResult ExpandArrays(std::vector<FieldDesc>& fields) {
    try {
        std::vector<FieldDesc> out;
        out.reserve(fields.size());
        size_t pos = 0;
        while (pos < fields.size()) {
            if (EngineResult r = Expand(fields, pos, out); r != DS_OK) return r;
        }
        fields.swap(out);
        return DS_OK;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
}

EngineResult LayoutFields(std::vector<FieldDesc>& fields, bool xmlMode, LayoutResult& out) {
    if (fields.size() > kMaxFields) return DSERR_INVALIDPARAM;
    LayoutResult result;
    uint64_t running = 0;
    for (FieldDesc& f : fields) {
        f.offset = static_cast<uint32_t>(running);
        uint32_t width = 0;
        if (EngineResult r = FieldWidth(f, xmlMode, width); r != DS_OK) return r;
        if (f.units1 == 0 && f.type != FLD_BLOB) {
            // A packed decimal without a precision is the widest one (34 bytes,
            // 64 digits); giving it one digit would refuse nearly every value.
            f.units1 = f.type == FLD_BCD ? kBcdMaxDigits : 1;
        }
        if (width > kMaxFieldWidth) return DSERR_INVALIDFLDTYPE;
        if (width == 0 && f.type != FLD_ADT && f.type != FLD_ARRAY) return DSERR_INVALIDFLDTYPE;
        f.length = width;
        result.scratchSize = std::max(result.scratchSize, width);
        running += width;
        if (f.type == FLD_BLOB) ++result.blobFieldCount;
    }
    const size_t n = fields.size();
    // A record larger than this is no table anyone keeps; refusing it keeps a
    // few bytes of damaged packet from asking for gigabytes per record.
    if (running + n > kMaxRecordSize) return DSERR_INVALIDPARAM;
    result.dataSize = static_cast<uint32_t>(running);
    result.recordSize = static_cast<uint32_t>(running + n);
    for (size_t k = 0; k < n; ++k) {
        fields[k].indicatorOffset = result.dataSize + static_cast<uint32_t>(k);
        fields[k].fieldId = static_cast<uint16_t>(k + 1);
        fields[k].parentId = 0;
    }
    // Later (inner) structured fields overwrite the parent id of their own
    // descendants, so every field ends up with its nearest container.
    for (size_t k = 0; k < n; ++k) {
        const FieldDesc& f = fields[k];
        if (f.type != FLD_ADT && f.type != FLD_ARRAY) continue;
        if (f.units2 > n - k - 1) return DSERR_INVALIDPARAM;
        for (size_t d = k + 1; d <= k + f.units2; ++d) fields[d].parentId = f.fieldId;
    }
    out = result;
    return DS_OK;
}

}  // namespace pelmora
