// Locating whole rows of one packet level in the packet's bytes: each row's
// status byte and, per column, whether its item is blank or unchanged or
// where its value lies. A cursor holds nothing but a position, so copies of
// it walk the same bytes independently (on different threads, too).
#pragma once

#include <cstddef>
#include <cstdint>

#include "packet/packet_format.h"

namespace pelmora {

// One row item located in the packet's bytes.
struct RowItem {
    uint32_t status = 0;  // 0 value, 1 blank, 2 unchanged
    uint32_t length = 0;  // the value's length (a not-fetched BLOB keeps its top bit)
    // The value's bytes inside the packet; null for a blank or unchanged
    // item and for a BLOB whose bytes were not fetched.
    const uint8_t* bytes = nullptr;
};

// Locates the row starting at *pos (its status byte) of a level whose values
// have the given shapes (none of them nested rows) and moves *pos past it.
// DSERR_DATAPACKETMISMATCH when the row does not fit the bytes; *pos is then
// unchanged.
EngineResult LocateRow(const uint8_t* data, size_t size, size_t* pos, const ValueShape* shapes,
                       size_t count, uint8_t* status, RowItem* items);

// Moves *pos past the row starting there, with the same checks as LocateRow
// but without handing out its items.
EngineResult SkipRow(const uint8_t* data, size_t size, size_t* pos, const ValueShape* shapes,
                     size_t count);

class RowCursor {
  public:
    RowCursor() = default;
    // `remaining` rows of a level with `count` columns of the given shapes
    // start at `pos`; the bytes and shapes must outlive the cursor.
    RowCursor(const uint8_t* data, size_t size, size_t pos, uint32_t remaining,
              const ValueShape* shapes, size_t count)
        : data_(data),
          size_(size),
          pos_(pos),
          remaining_(remaining),
          shapes_(shapes),
          count_(count) {}

    // The next row into items[0 .. count) and *status. DSERR_EOF when no row
    // remains; a damaged row consumes nothing.
    EngineResult Next(uint8_t* status, RowItem* items) {
        if (remaining_ == 0) return DSERR_EOF;
        const EngineResult r = LocateRow(data_, size_, &pos_, shapes_, count_, status, items);
        if (r == DS_OK) --remaining_;
        return r;
    }

    // Moves past the next `rows` rows (as many as remain, at most). A damaged
    // row stops the cursor before it and is reported.
    EngineResult Skip(uint32_t rows) {
        for (; rows != 0 && remaining_ != 0; --rows, --remaining_) {
            if (EngineResult r = SkipRow(data_, size_, &pos_, shapes_, count_); r != DS_OK)
                return r;
        }
        return DS_OK;
    }

    size_t pos() const { return pos_; }
    uint32_t remaining() const { return remaining_; }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    uint32_t remaining_ = 0;
    const ValueShape* shapes_ = nullptr;
    size_t count_ = 0;
};

}  // namespace pelmora
