#include "cursor/cursor.h"

#include <cstring>
#include <mutex>
#include <new>

#include "dataset/dataset.h"
#include "index/filtered_index.h"
#include "index/index.h"

namespace pelmora {

using Guard = std::lock_guard<std::recursive_mutex>;

TDSCursor::TDSCursor() = default;

TDSCursor::~TDSCursor() {
    if (!dataset_) return;
    TDSCursor* master = master_;
    {
        Guard guard(dataset_->lock());
        if (master) {
            Guard masterGuard(master->dataset_->lock());
            if (DetailLink* link = MyLink()) {
                std::erase(link->cursors, this);
            }
            master_ = nullptr;
        }
        if (notifier_) dataset_->UnregisterNotifier(this);
        notifier_ = nullptr;
        if (index_) ReleaseIndex(index_);
        index_ = nullptr;
        // Compiled search expressions refer to the dataset: free them first.
        searchFilters_.reset();
    }
    if (master) master->Release();
    dataset_->Release();
}

TDSCursor* NewCursor() {
    return new (std::nothrow) TDSCursor;
}

void TDSCursor::FireNotifier() {
    if (notifier_) notifier_(notifierData_);
}

// ---------------------------------------------------------------------------
// Binding.

EngineResult TDSCursor::AttachDataset(IDSBase* dataset) {
    if (dataset_) return DSERR_NOTSUPPORTED;
    auto* ds = dynamic_cast<TDSBASE*>(dataset);
    if (!ds) return DSERR_INVALIDPARAM;
    Guard guard(ds->lock());
    if (!ds->default_index()) return DSERR_NOTSUPPORTED;  // not initialised
    try {
        std::vector<FieldDesc> fields = ds->fields();
        uint32_t running = 0;
        for (FieldDesc& f : fields) {
            f.offset = running;
            running += f.length;
        }
        const auto count = static_cast<uint32_t>(fields.size());
        for (uint32_t k = 0; k < count; ++k) fields[k].indicatorOffset = running + k;
        std::vector<uint32_t> map(count);
        for (uint32_t k = 0; k < count; ++k) map[k] = k + 1;
        scratch_.assign(std::max(ds->record_size(), running + count), 0);
        fields_ = std::move(fields);
        fieldMap_ = std::move(map);
        fieldCount_ = count;
        dataLength_ = running;
        recordSize_ = running + count;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    dataset_ = ds;
    ds->AddRef();
    index_ = ds->default_index();
    index_->AddRef();
    DropRange();
    ComputeBounds();
    indexStamp_ = index_->change_counter();
    position_ = 0;
    status_ = DSERR_BOF;
    lastPosition_ = 0;
    lastStatus_ = DSERR_BOF;
    TakeRecord(0);
    bookmarkSize_ = sizeof(CursorBookmark);
    filterCount_ = 0;
    searchFilters_.reset();
    notifier_ = nullptr;
    notifierData_ = nullptr;
    master_ = nullptr;
    return DS_OK;
}

EngineResult TDSCursor::CopyCursor(IDSCursor* source) {
    auto* src = dynamic_cast<TDSCursor*>(source);
    if (!src || !src->dataset_ || src == this) return DSERR_INVALIDPARAM;
    if (!dataset_) {
        if (EngineResult r = AttachDataset(src->dataset_); r != DS_OK) return r;
    } else if (dataset_ != src->dataset_) {
        return DSERR_NOTSUPPORTED;
    }
    Guard guard(dataset_->lock());
    if (src->master_ && !master_) {
        if (EngineResult r = src->master_->LinkDetailCursor(0, nullptr, nullptr, this); r != DS_OK)
            return r;
    }
    CursorBookmark mark{};
    src->SaveBookmark(&mark);

    const DSIDX* srcIndex = src->index_;
    EngineResult r = DS_OK;
    // A filtered index is private to its cursor too, but it copies the order
    // of a named index: only an order made by SortByFields is sorted again.
    bool sortAgain = srcIndex->is_private() && srcIndex->kind() != IDX_FILTERED;
    if (!sortAgain) {
        r = SelectIndex(srcIndex->desc().name);
        if (r == DSERR_NOSUCHINDEX && srcIndex->kind() == IDX_FILTERED)
            sortAgain = true;
        else if (r != DS_OK)
            return r;
    }
    if (sortAgain) {
        const IndexDesc& d = srcIndex->desc();
        // A nested detail's orders lead with the hidden link field, which
        // SortByFields puts in front by itself.
        uint32_t skip =
            NestedDetail() && d.fieldCount > 0 && d.fields[0] == dataset_->link_field() ? 1 : 0;
        r = SortByFields(d.fieldCount - skip, d.fields + skip, d.descending + skip,
                         d.caseInsensitive + skip);
        if (r != DS_OK) return r;
    }
    if (r = CopyFiltersFrom(*src); r != DS_OK) return r;
    if (src->rangeActive_) {
        const uint32_t count = src->hasStart_ ? src->startFieldCount_ : src->endFieldCount_;
        r = ApplyRange(count, src->hasStart_ ? src->startKey_.data() : nullptr,
                       src->startInclusive_, src->hasEnd_ ? src->endKey_.data() : nullptr,
                       src->endInclusive_);
        if (r != DS_OK) return r;
        startPartial_ = src->startPartial_;
        endPartial_ = src->endPartial_;
        ComputeBounds();
    }
    if (src->master_) {
        // The copied range already follows the master's current record.
        masterSeen_ = src->masterSeen_;
        masterSynced_ = src->masterSynced_;
        masterAbsent_ = src->masterAbsent_;
        masterLink_ = src->masterLink_;
        if (masterAbsent_) ComputeBounds();
    }
    return GoToBookmark(&mark);
}

// ---------------------------------------------------------------------------
// Properties and descriptors.

EngineResult TDSCursor::ReadCursorProps(DatasetProps* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (!out) return DSERR_INVALIDPARAM;
    EngineResult r = dataset_->ReadDatasetProps(out);
    if (r != DS_OK) return r;
    out->recordSize = recordSize_;
    out->bookmarkSize = bookmarkSize_;
    return DS_OK;
}

EngineResult TDSCursor::ReadIndexDescs(int32_t currentOnly, IndexDesc* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!out) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    if (currentOnly) {
        *out = index_->desc();
        return DS_OK;
    }
    return dataset_->ListIndexes(out);
}

EngineResult TDSCursor::ReadFieldDescs(FieldDesc* out) {
    if (!dataset_ || !out) return DS_OK;
    dataset_->ListFields(out);
    return DS_OK;
}

EngineResult TDSCursor::NoOperation(void*, void*) {
    return DS_OK;
}

EngineResult TDSCursor::SetChangeNotifier(void* clientData, ChangeCallback callback) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (notifier_) dataset_->UnregisterNotifier(this);
    notifier_ = nullptr;
    notifierData_ = nullptr;
    if (!callback) return DS_OK;
    dataset_->RegisterNotifier(this, clientData, callback);
    notifier_ = callback;
    notifierData_ = clientData;
    return DS_OK;
}

EngineResult TDSCursor::ReadCursorProperty(uint32_t kind, void* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!out) return DSERR_INVALIDPARAM;
    if (kind == 1) {
        *static_cast<IDSBase**>(out) = dataset_;
        return DS_OK;
    }
    if (kind != 3) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    uint32_t record = 0;
    if (EngineResult r = ReadRecordNumber(&record); r != DS_OK) return r;
    const uint32_t first = dataset_->FirstVersion(record);
    if (first == 0 || first == record) return DSERR_RECNOTFOUND;
    ReadStored(first, static_cast<uint8_t*>(out));
    return DS_OK;
}

EngineResult TDSCursor::WriteCursorProperty(uint32_t kind, uint32_t value) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    switch (kind) {
        case 2:
            if (status_ == DS_OK) {
                status_ = value != 0 ? value : static_cast<uint32_t>(DSERR_NOCURRREC);
                Bookkeep();
                ++changeCounter_;
            }
            return DS_OK;
        case 4:
        case 5:
            // Only the cursor's own copy of the descriptor changes. A field
            // that does not exist is not read-only: clearing it is done, but
            // it cannot be made read-only, and saying so keeps a caller from
            // believing a field is protected.
            if (!ValidField(value)) return kind == 4 ? DS_OK : DSERR_OUTOFRANGE;
            if (kind == 4)
                fields_[value - 1].attributes &= ~ATTR_READONLY;
            else
                fields_[value - 1].attributes |= ATTR_READONLY;
            return DS_OK;
        default:
            return DSERR_INVALIDPARAM;
    }
}

// ---------------------------------------------------------------------------
// Synchronisation and bookkeeping.

void TDSCursor::MakeStale() {
    indexStamp_ = index_->change_counter() - 1;
}

void TDSCursor::TakeRecord(uint32_t record) {
    currentRecord_ = record;
    recordEpoch_ = dataset_ ? dataset_->store().epoch() : 0;
}

bool TDSCursor::LoseFreedRecord() {
    const RecordStore& store = dataset_->store();
    if (recordEpoch_ == store.epoch()) return false;
    const uint32_t successor = currentRecord_ ? store.FreedSince(currentRecord_, recordEpoch_) : 0;
    if (successor == 0) {
        recordEpoch_ = store.epoch();
        return false;
    }
    if (successor != RecordStore::kGone) {
        TakeRecord(successor);
        return false;
    }
    // Another record may already use the slot: it is not this cursor's.
    TakeRecord(0);
    if (status_ == DS_OK || status_ == DSERR_NOCURRREC) status_ = DSERR_KEYORRECDELETED;
    return true;
}

void TDSCursor::Sync() {
    if (!dataset_) return;
    if (master_) SyncWithMaster();
    Guard guard(dataset_->lock());
    const bool lost = LoseFreedRecord();
    if (indexStamp_ == index_->change_counter()) {
        if (lost) ++changeCounter_;
        return;
    }
    ComputeBounds();
    if (status_ == DSERR_BOF) {
        position_ = rangeFirst_ - 1;
    } else if (status_ == DSERR_EOF) {
        position_ = rangeLast_ + 1;
    } else if (status_ == DSERR_NOCURRREC && currentRecord_ == 0) {
        // The crack before the first entry stays before the first entry.
        position_ = rangeFirst_ - 1;
    } else if (currentRecord_ != 0 && index_->EntryAt(lastPosition_) == currentRecord_) {
        position_ = lastPosition_;
    } else {
        uint32_t found = currentRecord_ != 0 ? index_->PositionOf(currentRecord_) : 0;
        if (found == 0 && currentRecord_ != 0) {
            // Another cursor replaced the record by a new version.
            const uint32_t live = dataset_->LiveVersion(currentRecord_);
            if (live != currentRecord_ && (found = index_->PositionOf(live)) != 0) TakeRecord(live);
        }
        if (found != 0) {
            position_ = found;
        } else if (status_ == DSERR_NOCURRREC && HiddenByFilter(currentRecord_)) {
            // A record added through this cursor that its filters hide: it was
            // never an entry, so the cursor stays on the crack where it sorts.
            position_ = CrackBefore(currentRecord_);
        } else {
            status_ = DSERR_KEYORRECDELETED;
            if (index_->key_field_count() > 0 && index_->unique() && currentRecord_ != 0 &&
                currentRecord_ < dataset_->next_record()) {
                // Stand before the first entry that sorts after the vanished key.
                std::vector<uint8_t> key(dataset_->record_size());
                if (dataset_->ReadRecord(currentRecord_, key.data()) == DS_OK) {
                    const uint32_t n = index_->key_field_count();
                    uint32_t p = 0;
                    if (index_->SearchKey(key.data(), n, 0, &p)) {
                        p = index_->LastEqual(key.data(), n, 0, p);
                    }
                    position_ = p + 1;
                }
            }
        }
    }
    indexStamp_ = index_->change_counter();
    ++changeCounter_;
}

bool TDSCursor::HiddenByFilter(uint32_t record) const {
    if (index_->kind() != IDX_FILTERED || record == 0 || record >= dataset_->next_record())
        return false;
    const uint8_t status = dataset_->store().StatusAt(record);
    return (status & (REC_SUPERSEDED | REC_DELETED | REC_DISCARDED)) == 0;
}

uint32_t TDSCursor::CrackBefore(uint32_t record) const {
    // Without key fields a new record sorts after every entry.
    if (index_->key_field_count() == 0) return rangeLast_;
    uint32_t before = 0;
    index_->SearchRecord(record, EqualChoice::Last, &before);
    if (before < rangeFirst_) return rangeFirst_ - 1;
    return before > rangeLast_ ? rangeLast_ : before;
}

void TDSCursor::Bookkeep() {
    if (status_ != DSERR_BOF && status_ != DSERR_EOF) {
        const uint32_t record = index_ ? index_->EntryAt(position_) : 0;
        if (record != currentRecord_) {
            TakeRecord(record);
            ++changeCounter_;
        }
    }
    if (position_ != lastPosition_) {
        lastPosition_ = position_;
        ++changeCounter_;
    }
    if (status_ != lastStatus_) {
        lastStatus_ = status_;
        ++changeCounter_;
    }
}

void TDSCursor::MoveBeforeFirst() {
    status_ = DSERR_BOF;
    Sync();
    position_ = rangeFirst_ - 1;
    Bookkeep();
}

void TDSCursor::MoveAfterLast() {
    status_ = DSERR_EOF;
    Sync();
    position_ = rangeLast_ + 1;
    Bookkeep();
}

void TDSCursor::ReleaseIndex(DSIDX* index) {
    if (index->is_private()) {
        index->Release();
        if (index->refs() == 1) {
            // Only the registry still holds it: nobody follows it any more.
            dataset_->UnregisterIndex(index);
            index->Release();
        }
        return;
    }
    index->Release();
}

// ---------------------------------------------------------------------------
// Moves and ordinals.

EngineResult TDSCursor::GoBeforeFirst() {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    MoveBeforeFirst();
    return DS_OK;
}

EngineResult TDSCursor::GoAfterLast() {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    MoveAfterLast();
    return DS_OK;
}

EngineResult TDSCursor::MoveBy(int32_t offset) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    Sync();
    if (offset == 0) return status_ & 0xFFFF;
    const int64_t before = static_cast<int64_t>(rangeFirst_) - 1;
    const int64_t after = static_cast<int64_t>(rangeLast_) + 1;
    int64_t pos = position_;
    if (offset > 0) {
        if (status_ == DSERR_BOF)
            pos = before;
        else if (status_ == DSERR_KEYORRECDELETED)
            pos -= 1;
        const int64_t target = pos + offset;
        if (pos < after && target < after && target > before) {
            position_ = static_cast<uint32_t>(target);
            status_ = DS_OK;
        } else {
            position_ = static_cast<uint32_t>(after);
            status_ = DSERR_EOF;
        }
    } else {
        int64_t k = -static_cast<int64_t>(offset);
        if (status_ == DSERR_EOF) pos = after;
        if (status_ == DSERR_BOF || status_ == DSERR_NOCURRREC) k -= 1;
        if (before < pos && pos - k > before && pos - k < after) {
            position_ = static_cast<uint32_t>(pos - k);
            status_ = DS_OK;
        } else if (before < pos && pos - k >= after) {
            position_ = static_cast<uint32_t>(after);
            status_ = DSERR_EOF;
        } else {
            position_ = static_cast<uint32_t>(before);
            status_ = DSERR_BOF;
        }
    }
    Bookkeep();
    return status_;
}

EngineResult TDSCursor::GoToOrdinal(uint32_t ordinal) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    Sync();
    const uint64_t p = static_cast<uint64_t>(ordinal) + rangeFirst_ - 1;
    if (p <= static_cast<uint64_t>(rangeFirst_) - 1) {
        position_ = rangeFirst_ - 1;
        status_ = DSERR_BOF;
    } else if (p >= static_cast<uint64_t>(rangeLast_) + 1) {
        position_ = rangeLast_ + 1;
        status_ = DSERR_EOF;
    } else {
        position_ = static_cast<uint32_t>(p);
        status_ = DS_OK;
    }
    Bookkeep();
    return status_;
}

EngineResult TDSCursor::ReadOrdinal(uint32_t* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    Sync();
    if (status_ != DS_OK) return status_;
    if (!out) return DSERR_INVALIDPARAM;
    *out = position_ - rangeFirst_ + 1;
    return DS_OK;
}

EngineResult TDSCursor::ReadRecordNumber(uint32_t* out) {
    if (!out) return DSERR_INVALIDPARAM;
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    uint32_t ordinal = 0;
    if (EngineResult r = ReadOrdinal(&ordinal); r != DS_OK) return r;
    *out = index_->EntryAt(rangeFirst_ + ordinal - 1);
    return DS_OK;
}

EngineResult TDSCursor::CountRecords(uint32_t* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (!out) return DSERR_INVALIDPARAM;
    Sync();
    if (masterLink_ < 0) {
        *out = 0x80000000u;
        return DSERR_DETAILSNOTFETCHED;
    }
    *out = rangeLast_ >= rangeFirst_ ? rangeLast_ - rangeFirst_ + 1 : 0;
    return DS_OK;
}

EngineResult TDSCursor::ReadRecordStatus(uint8_t* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    Sync();
    if (status_ != DS_OK) return status_;
    if (!out) return DSERR_INVALIDPARAM;
    if (currentRecord_ == 0 || currentRecord_ >= dataset_->next_record()) return DSERR_OUTOFRANGE;
    uint8_t status = dataset_->store().StatusAt(currentRecord_);
    if (status & REC_MODIFIED) {
        const uint32_t first = dataset_->FirstVersion(currentRecord_);
        if (first != 0 && first != currentRecord_ && first < dataset_->next_record() &&
            (dataset_->store().StatusAt(first) & REC_INSERTED)) {
            status = REC_INSERTED;
        }
    }
    *out = status;
    return DS_OK;
}

// ---------------------------------------------------------------------------
// Bookmarks.

EngineResult TDSCursor::SaveBookmark(CursorBookmark* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!out) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    out->position = position_;
    out->status = status_;
    out->recordNumber = index_->EntryAt(position_);
    out->indexStamp = indexStamp_;
    out->indexIdentity = index_->identity();
    return DS_OK;
}

EngineResult TDSCursor::GoToBookmark(const CursorBookmark* bookmark) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!bookmark) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    Sync();
    uint32_t position = 0;
    if (bookmark->indexIdentity == index_->identity() &&
        bookmark->indexStamp == index_->change_counter()) {
        position = bookmark->position;
    } else if (bookmark->recordNumber != 0) {
        // The bookmarked record may since have been replaced by a new version.
        position = index_->PositionOf(dataset_->LiveVersion(bookmark->recordNumber));
    }
    if (static_cast<uint64_t>(position) >= static_cast<uint64_t>(rangeLast_) + 1) {
        MoveAfterLast();
    } else if (static_cast<uint64_t>(position) + 1 > rangeFirst_) {
        position_ = position;
        status_ = bookmark->status;
        indexStamp_ = bookmark->indexStamp;
        Bookkeep();
    } else {
        MoveBeforeFirst();
    }
    return DS_OK;
}

EngineResult TDSCursor::CompareBookmarkOrder(const CursorBookmark* a, const CursorBookmark* b,
                                             int32_t* out) {
    if (!a || !b || !out) return DSERR_INVALIDPARAM;
    *out = a->position < b->position ? -1 : (a->position > b->position ? 1 : 0);
    return DS_OK;
}

}  // namespace pelmora
