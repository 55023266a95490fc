#include "packet/row_cursor.h"

namespace pelmora {

namespace {

// Walks one row from *pos, handing its items out when items is not null.
template <bool kItems>
EngineResult WalkRow(const uint8_t* data, size_t size, size_t* pos, const ValueShape* shapes,
                     size_t count, uint8_t* status, RowItem* items) {
    const size_t bitmapBytes = (count + 3) / 4;
    if (*pos > size || 1 + bitmapBytes > size - *pos) return DSERR_DATAPACKETMISMATCH;
    const uint8_t* bitmap = data + *pos + 1;
    const uint8_t* at = bitmap + bitmapBytes;
    const uint8_t* const end = data + size;
    for (size_t k = 0; k < count; ++k) {
        const unsigned bits = (bitmap[BitmapByte(k)] >> (2 * (k % 4))) & 3u;
        if (bits != 0) {
            if constexpr (kItems) {
                items[k].status = (bits & 1u) ? 1 : 2;  // blank, or unchanged
                items[k].length = 0;
                items[k].bytes = nullptr;
            }
            continue;
        }
        const ValueShape shape = shapes[k];
        uint64_t bytes = shape.width;
        if (shape.kind == ValueKind::Varying) {
            if (static_cast<size_t>(end - at) < shape.width) return DSERR_DATAPACKETMISMATCH;
            const uint32_t announced = LoadPrefix(at, shape.width);
            at += shape.width;
            if (shape.width == 4 && (announced & kLengthNotFetched)) {
                if constexpr (kItems) {
                    items[k].status = 0;
                    items[k].length = announced;  // a BLOB left behind: no bytes
                    items[k].bytes = nullptr;
                }
                continue;
            }
            bytes = announced;
        } else if (shape.kind == ValueKind::Repeated) {
            if (end - at < 4) return DSERR_DATAPACKETMISMATCH;
            bytes = 4 + static_cast<uint64_t>(Load32(at)) * shape.width;
        } else if (shape.kind == ValueKind::Table) {
            return DSERR_DATAPACKETMISMATCH;  // nested rows are not located here
        }
        if (bytes > static_cast<uint64_t>(end - at)) return DSERR_DATAPACKETMISMATCH;
        if constexpr (kItems) {
            items[k].status = 0;
            items[k].length = static_cast<uint32_t>(bytes);
            items[k].bytes = at;
        }
        at += bytes;
    }
    if constexpr (kItems) *status = data[*pos];
    *pos = static_cast<size_t>(at - data);
    return DS_OK;
}

}  // namespace

EngineResult LocateRow(const uint8_t* data, size_t size, size_t* pos, const ValueShape* shapes,
                       size_t count, uint8_t* status, RowItem* items) {
    return WalkRow<true>(data, size, pos, shapes, count, status, items);
}

EngineResult SkipRow(const uint8_t* data, size_t size, size_t* pos, const ValueShape* shapes,
                     size_t count) {
    return WalkRow<false>(data, size, pos, shapes, count, nullptr, nullptr);
}

}  // namespace pelmora
