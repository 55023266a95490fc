// The column-wise record store of a dataset: one value array per field, one
// status byte per record and one indicator byte per field and record, all
// addressed by 1-based record number. The store grows only when asked; the
// dataset decides the growth policy and the record numbering.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "com/invariant.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class RecordStore {
  public:
    // Adopts the laid-out fields. Columns that keep their index and width keep
    // their values; new columns start blank in every record; columns past the
    // new field count are dropped. 9986 when a kept column changes width,
    // 9473 when memory runs out (the store is then unchanged).
    EngineResult Reshape(std::span<const FieldDesc> fields);

    // Makes room for at least capacity records (never shrinks). New slots are
    // zero with every indicator blank. 9473 leaves the capacity unchanged.
    EngineResult GrowTo(uint32_t capacity);

    // Forgets every record: values zero, indicators blank, status 0, next
    // record number 1. Capacity stays.
    void Clear();

    uint32_t capacity() const { return capacity_; }
    uint32_t field_count() const { return static_cast<uint32_t>(fields_.size()); }
    std::span<const FieldDesc> fields() const { return fields_; }

    // Records 1 .. next - 1 exist; next itself may be written while it is
    // being added. 9985 when next - 1 would exceed the capacity or next is 0.
    uint32_t next_record() const { return next_; }
    EngineResult SetNextRecord(uint32_t next);

    // Slot reuse. Lowering the next record number or clearing frees slots
    // that a later insert takes again; each such event advances the epoch. A
    // holder of a record number notes the epoch when it takes the number and
    // asks later whether its slot was freed since: 0 when not, otherwise the
    // record that took its place when the freed one was a version an undo
    // withdrew (see NoteSuccessor), or kGone.
    static constexpr uint32_t kGone = UINT32_MAX;
    uint32_t epoch() const { return static_cast<uint32_t>(freed_.size()); }
    uint32_t FreedSince(uint32_t record, uint32_t epoch) const;
    // The slot freed by the latest event was `freed`, a version whose place
    // `successor` (its earlier version) takes again.
    void NoteSuccessor(uint32_t freed, uint32_t successor);

    // Field 0 is the record's status byte (one byte). 9985 for a record
    // outside 1..next (or beyond the capacity) or a field past the last.
    EngineResult ReadValue(uint32_t record, uint32_t field, void* value, uint8_t* indicator) const;
    EngineResult WriteValue(uint32_t record, uint32_t field, const void* value);
    EngineResult WriteIndicator(uint32_t record, uint32_t field, uint8_t indicator);

    // Whole records to and from a record buffer of the fields' layout.
    EngineResult ReadRecord(uint32_t record, uint8_t* buffer) const;
    EngineResult WriteRecord(uint32_t record, const uint8_t* buffer);

    // Direct access for index and packet code; the record must be valid.
    // Inline: index searches and comparisons call these in their inner loops.
    const uint8_t* ValueAt(uint32_t record, uint32_t field) const {
        PELMORA_INVARIANT(record >= 1 && record <= capacity_ && field >= 1 &&
                          field <= fields_.size());
        return columns_[field - 1].data() +
               static_cast<size_t>(record - 1) * fields_[field - 1].length;
    }
    uint8_t IndicatorAt(uint32_t record, uint32_t field) const {
        PELMORA_INVARIANT(record >= 1 && record <= capacity_ && field >= 1 &&
                          field <= fields_.size());
        return indicators_.data()[static_cast<size_t>(record - 1) * fields_.size() + field - 1];
    }
    uint8_t StatusAt(uint32_t record) const {
        PELMORA_INVARIANT(record >= 1 && record <= capacity_);
        return status_.data()[record - 1];
    }
    // A field's value column (record r's value at (r - 1) * width) and the
    // indicator table (record r, field f at (r - 1) * field_count() + f - 1),
    // for loops that read one field of many records. Valid until the store
    // grows or is reshaped.
    const uint8_t* ColumnData(uint32_t field) const { return columns_[field - 1].data(); }
    const uint8_t* IndicatorData() const { return indicators_.data(); }
    // Unchecked writable slots for bulk loading; the record must lie within
    // the capacity and the field must exist.
    uint8_t* ValueSlot(uint32_t record, uint32_t field) { return MutableValue(record, field); }
    void SetIndicatorAt(uint32_t record, uint32_t field, uint8_t indicator) {
        *MutableIndicator(record, field) = indicator;
    }
    void SetStatus(uint32_t record, uint8_t status) {
        PELMORA_INVARIANT(record >= 1 && record <= capacity_);
        status_.data()[record - 1] = status;
    }
    // True when the record's slot of the field has not been written since it
    // was allocated: it still holds zeros, so a bulk load need not clear it.
    bool SlotStillZero(uint32_t record, uint32_t field) const {
        return record >= untouched_[field - 1];
    }
    // Bulk loading of one field: its writable value column (record r at
    // (r - 1) * width) and, in *zeroFrom, the first record whose slot still
    // holds zeros. Written slots are noted with LoadedUpTo.
    uint8_t* LoadColumn(uint32_t field, uint32_t* zeroFrom) {
        *zeroFrom = untouched_[field - 1];
        return columns_[field - 1].data();
    }
    // The field's slots up to record `last` (within the capacity) may have
    // been written.
    void LoadedUpTo(uint32_t field, uint32_t last) {
        if (last >= untouched_[field - 1]) untouched_[field - 1] = last + 1;
    }
    // The writable indicator table (see IndicatorData) and status bytes
    // (record r's at r - 1).
    uint8_t* LoadIndicators() { return indicators_.data(); }
    uint8_t* LoadStatuses() { return status_.data(); }

  private:
    bool ValidRecord(uint32_t record) const;
    uint8_t* MutableValue(uint32_t record, uint32_t field);
    uint8_t* MutableIndicator(uint32_t record, uint32_t field);
    friend class StoreSlots;

    std::vector<FieldDesc> fields_;
    // One value column: zero-filled memory from the allocator, so that pages
    // no value was ever written to are never touched (wide text columns of
    // blank values cost no memory, and neither does capacity not yet used).
    class Column {
      public:
        Column() = default;
        explicit Column(size_t size);
        Column(const Column& other) = delete;
        Column& operator=(const Column& other) = delete;
        Column(Column&& other) noexcept;
        Column& operator=(Column&& other) noexcept;
        ~Column();
        uint8_t* data() const { return data_; }
        size_t size() const { return size_; }
        // A column of size bytes holding this one's bytes first, zeros after.
        Column Grown(size_t size, size_t used) const;

      private:
        uint8_t* data_ = nullptr;
        size_t size_ = 0;
    };
    std::vector<Column> columns_;
    // Per column, the first record whose slot no write has reached since the
    // column was allocated.
    std::vector<uint32_t> untouched_;
    // One status byte per record (zero until set), and one indicator byte per
    // record and field (blank until set).
    Column status_;
    Column indicators_;
    uint32_t capacity_ = 0;
    uint32_t next_ = 1;
    // One entry per freeing event: the first slot freed and, when the event
    // freed exactly that one withdrawn version, the record standing for it.
    struct FreeEvent {
        uint32_t first = 0;
        uint32_t successor = 0;
    };
    std::vector<FreeEvent> freed_;
};

}  // namespace pelmora
