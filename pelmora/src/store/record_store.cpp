#include "store/record_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "store/field_values.h"
#include "store/large_pages.h"

namespace pelmora {

class StoreSlots final : public FieldSlots {
  public:
    StoreSlots(RecordStore& store, uint32_t record) : store_(store), record_(record) {}
    uint8_t* Value(uint32_t field) override { return store_.MutableValue(record_, field); }
    uint8_t* Indicator(uint32_t field) override { return store_.MutableIndicator(record_, field); }

  private:
    RecordStore& store_;
    uint32_t record_;
};

RecordStore::Column::Column(size_t size) : size_(size) {
    if (size == 0) return;
    // Fresh pages, not written to until a value is.
    data_ = static_cast<uint8_t*>(AllocateZeroedBlock(size));
    if (data_ == nullptr) throw std::bad_alloc();
}

RecordStore::Column::Column(Column&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

RecordStore::Column& RecordStore::Column::operator=(Column&& other) noexcept {
    if (this != &other) {
        FreeZeroedBlock(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

RecordStore::Column::~Column() {
    FreeZeroedBlock(data_, size_);
}

RecordStore::Column RecordStore::Column::Grown(size_t size, size_t used) const {
    Column grown(size);
    const size_t copied = std::min({used, size_, size});
    if (copied != 0) std::memcpy(grown.data_, data_, copied);
    return grown;
}

EngineResult RecordStore::Reshape(std::span<const FieldDesc> fields) {
    const size_t kept = std::min(fields.size(), fields_.size());
    for (size_t k = 0; k < kept; ++k) {
        if (fields[k].length != fields_[k].length) return DSERR_INVALIDPARAM;
    }
    try {
        std::vector<FieldDesc> newFields(fields.begin(), fields.end());
        std::vector<Column> newColumns;
        const size_t n = fields.size();
        newColumns.reserve(n);
        Column newIndicators(static_cast<size_t>(capacity_) * n);
        if (newIndicators.size() != 0)
            std::memset(newIndicators.data(), IND_BLANK, newIndicators.size());
        for (size_t k = 0; k < n; ++k) {
            const size_t size = static_cast<size_t>(capacity_) * fields[k].length;
            newColumns.push_back(k < kept ? columns_[k].Grown(size, size) : Column(size));
        }
        std::vector<uint32_t> newUntouched(n, 1);
        std::copy_n(untouched_.begin(), std::min(kept, untouched_.size()), newUntouched.begin());
        const size_t oldN = fields_.size();
        for (size_t r = 0; kept != 0 && r < capacity_; ++r) {
            std::memcpy(newIndicators.data() + r * n, indicators_.data() + r * oldN, kept);
        }
        fields_.swap(newFields);
        columns_.swap(newColumns);
        untouched_.swap(newUntouched);
        indicators_ = std::move(newIndicators);
        return DS_OK;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
}

EngineResult RecordStore::GrowTo(uint32_t capacity) {
    if (capacity <= capacity_) return DS_OK;
    const size_t n = fields_.size();
    // One column of more than this is refused as memory the engine will not
    // take, rather than asked of the system.
    constexpr uint64_t kMaxColumnBytes = uint64_t{1} << 30;
    for (const FieldDesc& f : fields_)
        if (uint64_t{capacity} * f.length > kMaxColumnBytes) return DSERR_NOMEMORY;
    if (uint64_t{capacity} * n > kMaxColumnBytes) return DSERR_NOMEMORY;
    try {
        // Build the grown arrays aside so that a failure changes nothing.
        std::vector<Column> columns;
        columns.reserve(n);
        // Only the records written so far are copied; the rest stays zero
        // without being touched.
        for (size_t k = 0; k < n; ++k) {
            const uint32_t used = std::min(untouched_[k] - 1, capacity_);
            columns.push_back(columns_[k].Grown(static_cast<size_t>(capacity) * fields_[k].length,
                                                static_cast<size_t>(used) * fields_[k].length));
        }
        Column status = status_.Grown(capacity, capacity_);
        Column indicators = indicators_.Grown(static_cast<size_t>(capacity) * n,
                                              static_cast<size_t>(capacity_) * n);
        if (indicators.size() > indicators_.size())
            std::memset(indicators.data() + indicators_.size(), IND_BLANK,
                        indicators.size() - indicators_.size());
        columns_.swap(columns);
        status_ = std::move(status);
        indicators_ = std::move(indicators);
        capacity_ = capacity;
        return DS_OK;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    } catch (const std::length_error&) {
        return DSERR_NOMEMORY;
    }
}

void RecordStore::Clear() {
    // Only the slots ever written hold anything but zeros.
    for (size_t k = 0; k < columns_.size(); ++k) {
        const uint32_t used = std::min(untouched_[k] - 1, capacity_);
        if (used != 0)
            std::memset(columns_[k].data(), 0, static_cast<size_t>(used) * fields_[k].length);
        untouched_[k] = 1;
    }
    if (status_.size() != 0) std::memset(status_.data(), 0, status_.size());
    if (indicators_.size() != 0) std::memset(indicators_.data(), IND_BLANK, indicators_.size());
    if (next_ > 1) freed_.push_back({1, 0});
    next_ = 1;
}

EngineResult RecordStore::SetNextRecord(uint32_t next) {
    if (next == 0 || next - 1 > capacity_) return DSERR_OUTOFRANGE;
    if (next < next_) freed_.push_back({next, 0});
    next_ = next;
    // Every existing record has a slot of each column and its status byte.
    PELMORA_INVARIANT(status_.size() == capacity_ &&
                      indicators_.size() == static_cast<size_t>(capacity_) * fields_.size());
    return DS_OK;
}

uint32_t RecordStore::FreedSince(uint32_t record, uint32_t epoch) const {
    bool moved = false;
    for (size_t i = epoch; i < freed_.size(); ++i) {
        const FreeEvent& e = freed_[i];
        if (record < e.first) continue;
        if (e.first != record || e.successor == 0) return kGone;
        // The withdrawn version's earlier version stands for it; that one
        // may be freed by a later event in turn.
        record = e.successor;
        moved = true;
    }
    return moved ? record : 0;
}

void RecordStore::NoteSuccessor(uint32_t freed, uint32_t successor) {
    if (!freed_.empty() && freed_.back().first == freed && next_ == freed)
        freed_.back().successor = successor;
}

bool RecordStore::ValidRecord(uint32_t record) const {
    return record >= 1 && record <= next_ && record <= capacity_;
}

uint8_t* RecordStore::MutableValue(uint32_t record, uint32_t field) {
    if (record >= untouched_[field - 1]) untouched_[field - 1] = record + 1;
    return const_cast<uint8_t*>(ValueAt(record, field));
}

uint8_t* RecordStore::MutableIndicator(uint32_t record, uint32_t field) {
    return indicators_.data() + static_cast<size_t>(record - 1) * fields_.size() + field - 1;
}

EngineResult RecordStore::ReadValue(uint32_t record, uint32_t field, void* value,
                                    uint8_t* indicator) const {
    if (!ValidRecord(record) || field > fields_.size()) return DSERR_OUTOFRANGE;
    if (field == 0) {
        if (value != nullptr) *static_cast<uint8_t*>(value) = status_.data()[record - 1];
        if (indicator != nullptr) *indicator = IND_VALUE;
        return DS_OK;
    }
    if (value != nullptr && fields_[field - 1].length != 0) {
        std::memcpy(value, ValueAt(record, field), fields_[field - 1].length);
    }
    if (indicator != nullptr) *indicator = IndicatorAt(record, field);
    return DS_OK;
}

EngineResult RecordStore::WriteValue(uint32_t record, uint32_t field, const void* value) {
    if (!ValidRecord(record) || field > fields_.size()) return DSERR_OUTOFRANGE;
    if (field == 0) {
        status_.data()[record - 1] = value != nullptr ? *static_cast<const uint8_t*>(value) : 0;
        return DS_OK;
    }
    StoreSlots slots(*this, record);
    return WriteFieldValue(fields_, slots, field, value);
}

EngineResult RecordStore::WriteIndicator(uint32_t record, uint32_t field, uint8_t indicator) {
    if (!ValidRecord(record) || field == 0 || field > fields_.size()) return DSERR_OUTOFRANGE;
    StoreSlots slots(*this, record);
    WriteFieldIndicator(fields_, slots, field, indicator);
    return DS_OK;
}

EngineResult RecordStore::ReadRecord(uint32_t record, uint8_t* buffer) const {
    if (!ValidRecord(record)) return DSERR_OUTOFRANGE;
    for (uint32_t k = 1; k <= fields_.size(); ++k) {
        const FieldDesc& f = fields_[k - 1];
        if (f.length != 0) std::memcpy(buffer + f.offset, ValueAt(record, k), f.length);
        buffer[f.indicatorOffset] = IndicatorAt(record, k);
    }
    return DS_OK;
}

EngineResult RecordStore::WriteRecord(uint32_t record, const uint8_t* buffer) {
    if (!ValidRecord(record)) return DSERR_OUTOFRANGE;
    for (uint32_t k = 1; k <= fields_.size(); ++k) {
        const FieldDesc& f = fields_[k - 1];
        if (f.length != 0) std::memcpy(MutableValue(record, k), buffer + f.offset, f.length);
        *MutableIndicator(record, k) = buffer[f.indicatorOffset];
    }
    return DS_OK;
}

}  // namespace pelmora
