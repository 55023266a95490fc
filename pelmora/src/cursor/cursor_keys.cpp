// Orders, key ranges and key search through a cursor: choosing or making the
// index the cursor follows, limiting it to a range of keys, and positioning
// on keys by binary search.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "index/index.h"

namespace pelmora {

using Guard = std::lock_guard<std::recursive_mutex>;

namespace {

constexpr uint32_t kMaxKeyFields = 16;
// Record sizes up to this convert a search key without allocating.
constexpr uint32_t kLocalKeyBytes = 2048;

void PadKey(std::vector<uint8_t>& key, uint32_t size) {
    if (key.size() < size) key.resize(size, 0);
}

// The record-layout conversion of a search key, for the index's key fields
// only: a search reads nothing else of the key.
void KeyFieldsToDatasetLayout(const std::vector<FieldDesc>& mine, uint32_t mineCount,
                              const std::vector<FieldDesc>& target, const IndexDesc& d,
                              const uint8_t* in, uint8_t* out) {
    for (uint32_t i = 0; i < d.fieldCount && i < kMaxKeyFields; ++i) {
        const uint32_t k = d.fields[i];
        if (k == 0 || k > target.size()) continue;
        const FieldDesc& t = target[k - 1];
        uint8_t* value = out + t.offset;
        if (t.length) std::memset(value, 0, t.length);
        if (k > mineCount || k > mine.size()) {
            out[t.indicatorOffset] = IND_BLANK;
            continue;
        }
        const FieldDesc& f = mine[k - 1];
        const uint32_t width = std::min(f.length, t.length);
        if (width) std::memcpy(value, in + f.offset, width);
        out[t.indicatorOffset] = in[f.indicatorOffset];
    }
}

}  // namespace

bool TDSCursor::NestedDetail() const {
    return dataset_ && dataset_->link_field() != 0;
}

uint32_t TDSCursor::AdjustNestedCount(uint32_t count, uint32_t partial) const {
    // The hidden link field leads every key of a nested detail; callers count
    // only the fields they know.
    if (NestedDetail() && (count != 0 || partial != 0) && count < index_->key_field_count())
        return count + 1;
    return count;
}

void TDSCursor::DropRange() {
    rangeActive_ = false;
    equalBounds_ = false;
    hasStart_ = false;
    hasEnd_ = false;
    startInclusive_ = 1;
    endInclusive_ = 1;
    startFieldCount_ = 0;
    startPartial_ = 0;
    endFieldCount_ = 0;
    endPartial_ = 0;
}

void TDSCursor::ComputeBounds() {
    const uint32_t n = index_->count();
    if (masterAbsent_) {
        rangeFirst_ = 1;
        rangeLast_ = 0;
        return;
    }
    const uint32_t keyFields = index_->key_field_count();
    if (!rangeActive_ || keyFields == 0) {
        rangeFirst_ = 1;
        rangeLast_ = n;
        return;
    }
    const uint32_t size = dataset_->record_size();
    uint32_t first = 1;
    if (hasStart_) {
        PadKey(startKey_, size);
        const uint32_t count = std::min(startFieldCount_, keyFields);
        const uint32_t partial = count < keyFields ? startPartial_ : 0;
        uint32_t p = 0;
        if (!index_->SearchKey(startKey_.data(), count, partial, &p))
            first = p + 1;
        else if (startInclusive_)
            first = p;
        else
            first = index_->LastEqual(startKey_.data(), count, partial, p) + 1;
    }
    uint32_t last = n;
    if (hasEnd_) {
        PadKey(endKey_, size);
        const uint32_t count = std::min(endFieldCount_, keyFields);
        const uint32_t partial = count < keyFields ? endPartial_ : 0;
        uint32_t p = 0;
        if (!index_->SearchKey(endKey_.data(), count, partial, &p))
            last = p;
        else if (endInclusive_)
            last = index_->LastEqual(endKey_.data(), count, partial, p);
        else
            last = p - 1;
    }
    rangeFirst_ = first;
    rangeLast_ = last;
}

EngineResult TDSCursor::ApplyRange(uint32_t count, const uint8_t* start, int32_t startInclusive,
                                   const uint8_t* end, int32_t endInclusive) {
    const uint32_t size = dataset_->record_size();
    try {
        if (start) startKey_.assign(start, start + size);
        if (end) endKey_.assign(end, end + size);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    hasStart_ = start != nullptr;
    hasEnd_ = end != nullptr;
    startFieldCount_ = count;
    endFieldCount_ = count;
    startPartial_ = 0;
    endPartial_ = 0;
    startInclusive_ = startInclusive;
    endInclusive_ = endInclusive;
    rangeActive_ = hasStart_ || hasEnd_;
    equalBounds_ = hasStart_ && hasEnd_ && (startInclusive != 0) == (endInclusive != 0) &&
                   startKey_ == endKey_;
    ComputeBounds();
    indexStamp_ = index_->change_counter();
    MoveBeforeFirst();
    return DS_OK;
}

EngineResult TDSCursor::LimitToRange(int32_t fieldCount, const void* startKey,
                                     int32_t startInclusive, const void* endKey,
                                     int32_t endInclusive) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    const uint32_t keyFields = index_->key_field_count();
    if (keyFields == 0) return DSERR_NOTINDEXED;
    std::vector<uint8_t> start, end;
    try {
        if (startKey) {
            start.resize(dataset_->record_size());
            ToDatasetLayout(static_cast<const uint8_t*>(startKey), start.data());
        }
        if (endKey) {
            end.resize(dataset_->record_size());
            ToDatasetLayout(static_cast<const uint8_t*>(endKey), end.data());
        }
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    uint32_t count = 0;
    if (fieldCount == -1) {
        count = 1;
    } else {
        count = AdjustNestedCount(static_cast<uint32_t>(fieldCount), 0);
        if (master_ && IsNestedLink()) {
            SyncWithMaster();
            if (masterLink_ == 0) return DSERR_RECNOTFOUND;
            const auto link = static_cast<uint32_t>(masterLink_);
            if (startKey) WriteLinkValue(start.data(), link);
            if (endKey) WriteLinkValue(end.data(), link);
        }
    }
    if (count == 0) count = keyFields;
    if (count > keyFields) return DSERR_OUTOFRANGE;
    return ApplyRange(count, startKey ? start.data() : nullptr, startInclusive,
                      endKey ? end.data() : nullptr, endInclusive);
}

EngineResult TDSCursor::ClearRange() {
    if (!dataset_) return DS_OK;
    DropRange();
    MakeStale();
    return DS_OK;
}

// ---------------------------------------------------------------------------
// Key search.

EngineResult TDSCursor::SeekKey(uint32_t mode, uint32_t fieldCount, uint32_t partialLength,
                                const void* key) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!key || mode > 2) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    Sync();
    const uint32_t keyFields = index_->key_field_count();
    if (keyFields == 0) return DSERR_NOTINDEXED;
    uint32_t count = AdjustNestedCount(fieldCount, partialLength);
    // Searches come in long runs: keys of ordinary records are converted on
    // the stack, only very wide records take the heap.
    const uint32_t size = dataset_->record_size();
    alignas(8) uint8_t local[kLocalKeyBytes];
    std::vector<uint8_t> heap;
    uint8_t* k = local;
    if (size > kLocalKeyBytes) {
        try {
            heap.resize(size);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        k = heap.data();
    }
    KeyFieldsToDatasetLayout(fields_, fieldCount_, dataset_->fields(), index_->desc(),
                             static_cast<const uint8_t*>(key), k);
    if (master_ && IsNestedLink()) {
        if (masterLink_ == 0) return DSERR_RECNOTFOUND;
        WriteLinkValue(k, static_cast<uint32_t>(masterLink_));
    }
    if (partialLength == 0 && count == 0) count = keyFields;
    if (count + (partialLength != 0 ? 1 : 0) > keyFields) return DSERR_OUTOFRANGE;
    if (partialLength != 0) {
        const uint32_t field = index_->desc().fields[count];
        if (field == 0 || field > dataset_->field_count() ||
            dataset_->fields()[field - 1].type != FLD_STRING)
            return DSERR_INVALIDPARAM;
    }
    uint32_t p = 0;
    const bool found = index_->SearchKey(k, count, partialLength, &p);
    uint32_t position = 0;
    switch (mode) {
        case 0:
            if (!found) return DSERR_RECNOTFOUND;
            // Only a match inside the cursor's range counts: the first equal
            // entry may lie before the range while a later one lies inside.
            if (p < rangeFirst_)
                p = rangeFirst_ <= rangeLast_
                        ? index_->NextEqual(k, count, partialLength, rangeFirst_)
                        : 0;
            if (p == 0 || p < rangeFirst_ || p > rangeLast_) return DSERR_RECNOTFOUND;
            position = p - 1;
            break;
        case 1:
            position = found ? index_->LastEqual(k, count, partialLength, p) : p;
            break;
        default:
            position = found ? p - 1 : p;
            break;
    }
    if (position > rangeLast_) {
        MoveAfterLast();
    } else if (position < rangeFirst_) {
        MoveBeforeFirst();
    } else {
        position_ = position;
        status_ = DSERR_NOCURRREC;
        Bookkeep();
    }
    return DS_OK;
}

EngineResult TDSCursor::FindRecordByKey(uint32_t fieldCount, uint32_t partialLength,
                                        const void* key, void* record) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (EngineResult r = SeekKey(0, fieldCount, partialLength, key); r != DS_OK) return r;
    if (status_ != DS_OK) {
        if (EngineResult r = MoveBy(1); r != DS_OK) return r;
    }
    if (!record) return DS_OK;
    return ReadCurrentRecord(record);
}

EngineResult TDSCursor::BuildKeyFromRecord(const void* record, void* key) {
    if (!dataset_ || !key) return DS_OK;
    if (!record) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    const IndexDesc& d = index_->desc();
    const auto* rec = static_cast<const uint8_t*>(record);
    auto* out = static_cast<uint8_t*>(key);
    const uint32_t count = std::min(d.fieldCount, kMaxKeyFields);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t field = d.fields[i];
        if (!ValidField(field)) continue;
        const FieldDesc& f = fields_[field - 1];
        if (f.length) std::memcpy(out, rec + f.offset, f.length);
        out += f.length;
    }
    return DS_OK;
}

// ---------------------------------------------------------------------------
// Orders.

EngineResult TDSCursor::SettleInNewOrder(bool wasOnRecord, const CursorBookmark& mark) {
    MakeStale();
    if (master_) {
        ForgetMasterRange();
        SyncWithMaster();
    }
    if (wasOnRecord) return GoToBookmark(&mark);
    MoveBeforeFirst();
    return DS_OK;
}

EngineResult TDSCursor::SortByFields(uint32_t count, const uint32_t* fields,
                                     const uint32_t* descending, const uint32_t* caseInsensitive) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    const uint32_t lead = NestedDetail() ? 1 : 0;
    if (count == 0 || !fields || count + lead > kMaxKeyFields) return DSERR_INVALIDPARAM;
    for (uint32_t i = 0; i < count; ++i) {
        if (fields[i] == 0 || fields[i] > fieldCount_ || fields[i] > dataset_->field_count())
            return DSERR_INVALIDPARAM;
    }
    CursorBookmark mark{};
    SaveBookmark(&mark);
    const bool wasOnRecord = status_ == DS_OK;
    DropRange();

    IndexDesc d{};
    const char* name = fields_[fields[0] - 1].name;
    std::memcpy(d.name, name, strnlen(name, sizeof d.name - 1));
    if (lead) d.fields[0] = dataset_->link_field();
    for (uint32_t i = 0; i < count; ++i) {
        d.fields[lead + i] = fields[i];
        d.descending[lead + i] = descending ? descending[i] : 0;
        d.caseInsensitive[lead + i] = caseInsensitive ? caseInsensitive[i] : 0;
    }
    d.fieldCount = lead + count;

    if (!DescriptorsMatch(d, index_->desc(), true, true)) {
        const DSIDX* source = nullptr;
        for (const DSIDX* candidate : dataset_->indexes()) {
            if (candidate->kind() == IDX_PLAIN &&
                DescriptorsMatch(d, candidate->desc(), true, true)) {
                source = candidate;
                break;
            }
        }
        if (index_->kind() == IDX_FILTERED || index_->is_private()) {
            if (EngineResult r = index_->Rebuild(&d, source); r != DS_OK) return r;
        } else {
            EngineResult r = DS_OK;
            DSIDX* made = BuildPlainIndex(dataset_, d, source, &r);
            if (!made) return r != DS_OK ? r : static_cast<EngineResult>(DSERR_NOMEMORY);
            made->set_private(true);
            dataset_->RegisterIndex(made);
            made->AddRef();
            ReleaseIndex(index_);
            index_ = made;
        }
    }
    return SettleInNewOrder(wasOnRecord, mark);
}

EngineResult TDSCursor::SelectIndex(const char* name) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    DSIDX* found = nullptr;
    EngineResult r = dataset_->FindIndex(name, &found);
    if (r != DS_OK && name && std::strcmp(name, "CHANGEINDEX") == 0)
        r = dataset_->ChangeIndex(&found);
    if (r != DS_OK) return r;
    if (!found) return DSERR_NOSUCHINDEX;
    if (found == index_) return DS_OK;
    DropRange();
    CursorBookmark mark{};
    SaveBookmark(&mark);
    const bool wasOnRecord = status_ == DS_OK;
    if (index_->kind() == IDX_FILTERED) {
        // Filters survive a change of order: the filtered index takes the new order.
        if (r = index_->Rebuild(&found->desc(), found); r != DS_OK) return r;
    } else {
        found->AddRef();
        ReleaseIndex(index_);
        index_ = found;
    }
    return SettleInNewOrder(wasOnRecord, mark);
}

}  // namespace pelmora
