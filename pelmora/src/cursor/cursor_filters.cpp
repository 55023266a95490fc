// Attaching and detaching filters through a cursor, and the forward search.
#include "cursor/cursor_filters.h"

#include "index/grouping.h"

#include <mutex>
#include <new>

#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "index/filtered_index.h"
#include "index/index.h"

namespace pelmora {

using Guard = std::lock_guard<std::recursive_mutex>;

namespace {

// The registered index whose name the filtered index carries, to rebuild
// from; null when there is none (the build then reads the store).
const DSIDX* NamedSource(TDSBASE& dataset, const DSIDX& index) {
    DSIDX* found = nullptr;
    if (dataset.FindIndex(index.desc().name, &found) != DS_OK) return nullptr;
    return found;
}

// After the order changed: back to the bookmarked record, or, when it is
// filtered out, to the crack where it would sort.
void ReturnTo(CursorFilterHost& cursor, DSIDX& index, const CursorBookmark& mark) {
    const uint32_t record = mark.recordNumber;
    if (record == 0 || index.PositionOf(record) != 0 || index.key_field_count() == 0 ||
        record >= cursor.FilterDataset()->next_record()) {
        cursor.CursorGoToBookmark(&mark);
        return;
    }
    uint32_t before = 0;
    index.SearchRecord(record, EqualChoice::Last, &before);
    CursorBookmark crack{};
    crack.position = before;
    crack.status = DSERR_NOCURRREC;
    crack.recordNumber = index.EntryAt(before);
    crack.indexStamp = index.change_counter();
    crack.indexIdentity = index.identity();
    cursor.CursorGoToBookmark(&crack);
}

// What to add to a filter list: an expression or a callback.
struct EntryArgs {
    const void* bytes = nullptr;
    uint32_t length = 0;
    void* clientData = nullptr;
    FilterCallback callback = nullptr;

    EngineResult AddTo(DSCONSTR& list, uint32_t* handle) const {
        if (callback != nullptr) return list.AddCallback(clientData, callback, handle);
        return list.AddExpression(bytes, length, FILTER_KIND_FILTER, handle);
    }
};

EngineResult Attach(CursorFilterHost& cursor, const EntryArgs& args, uint32_t* handle) {
    TDSBASE* dataset = cursor.FilterDataset();
    if (dataset == nullptr || cursor.FilterCurrentIndex() == nullptr) return DSERR_NOTSUPPORTED;
    std::lock_guard guard(dataset->lock());
    CursorBookmark mark{};
    cursor.CursorSaveBookmark(&mark);
    DSIDX* current = cursor.FilterCurrentIndex();
    uint32_t added = 0;

    if (current->kind() == IDX_FILTERED) {
        auto* filtered = static_cast<DSIDXFILT*>(current);
        DSCONSTR* list = filtered->EnsureFilters();
        if (list == nullptr) return DSERR_NOMEMORY;
        if (EngineResult r = args.AddTo(*list, &added); r != DS_OK) return r;
        // Aggregates over this index restart here once they exist.
        if (EngineResult r = filtered->Rebuild(nullptr, filtered); r != DS_OK) {
            // Take the filter back out and restore the entries it had.
            list->Remove(added);
            if (list->empty()) filtered->DropFilters();
            filtered->Rebuild(nullptr, NamedSource(*dataset, *filtered));
            cursor.MakeIndexStale();
            return r;
        }
    } else {
        DSIDXFILT* filtered = NewFilteredIndex(dataset);
        if (filtered == nullptr) return DSERR_NOMEMORY;
        DSCONSTR* list = filtered->EnsureFilters();
        EngineResult r = list == nullptr ? EngineResult{DSERR_NOMEMORY} : args.AddTo(*list, &added);
        if (r == DS_OK) r = filtered->Rebuild(&current->desc(), current);
        // The filtered order keeps the groupings and aggregates of the order
        // it replaces.
        if (r == DS_OK) r = CopyGroupings(*current, *filtered);
        if (r != DS_OK) {
            delete filtered;
            return r;
        }
        dataset->RegisterIndex(filtered);
        filtered->AddRef();
        cursor.AdoptFilteredIndex(filtered);
        current = filtered;
    }
    cursor.ChangeFilterCount(1);
    cursor.MakeIndexStale();
    ReturnTo(cursor, *current, mark);
    if (handle != nullptr) *handle = added;
    return DS_OK;
}

}  // namespace

EngineResult AttachExpressionFilter(CursorFilterHost& cursor, const void* bytes, uint32_t length,
                                    uint32_t* handle) {
    EntryArgs args;
    args.bytes = bytes;
    args.length = length;
    return Attach(cursor, args, handle);
}

EngineResult AttachCallbackFilter(CursorFilterHost& cursor, void* clientData,
                                  FilterCallback callback, uint32_t* handle) {
    if (callback == nullptr) return DSERR_INVALIDPARAM;
    EntryArgs args;
    args.clientData = clientData;
    args.callback = callback;
    return Attach(cursor, args, handle);
}

EngineResult DetachFilter(CursorFilterHost& cursor, uint32_t handle) {
    TDSBASE* dataset = cursor.FilterDataset();
    if (dataset == nullptr) return DSERR_NOTSUPPORTED;
    std::lock_guard guard(dataset->lock());
    DSIDX* current = cursor.FilterCurrentIndex();
    if (handle == 0 || current == nullptr || current->kind() != IDX_FILTERED) return DS_OK;
    auto* filtered = static_cast<DSIDXFILT*>(current);
    DSCONSTR* list = filtered->filters();
    if (list == nullptr || list->Remove(handle) != DS_OK) return DSERR_OBJNOTFOUND;
    if (list->empty()) filtered->DropFilters();
    // Records the removed filter hid come back from the named order (or
    // the store), not from the filtered entries themselves.
    const EngineResult r = filtered->Rebuild(nullptr, NamedSource(*dataset, *filtered));
    cursor.MakeIndexStale();
    if (r != DS_OK) return r;
    cursor.ChangeFilterCount(-1);
    return DS_OK;
}

EngineResult FindNextMatch(CursorFilterHost& cursor, const void* bytes, uint32_t length) {
    TDSBASE* dataset = cursor.FilterDataset();
    if (dataset == nullptr) return DSERR_NOTSUPPORTED;
    std::lock_guard guard(dataset->lock());
    std::unique_ptr<DSCONSTR>& list = cursor.SearchFilters();
    if (!list) {
        list.reset(new (std::nothrow) DSCONSTR(dataset));
        if (!list) return DSERR_NOMEMORY;
    }
    if (bytes != nullptr) {
        // The search keeps one expression: the new one replaces the last.
        while (!list->empty()) list->Remove(list->entry(0).handle);
        if (EngineResult r = list->AddExpression(bytes, length, FILTER_KIND_FILTER, nullptr);
            r != DS_OK) {
            return r;
        }
    }
    uint8_t* scratch = list->ScratchRecord();
    if (scratch == nullptr) return DSERR_NOMEMORY;
    for (;;) {
        const EngineResult moved = cursor.CursorMoveBy(1);
        if ((moved & 0xFFFF) == DSERR_EOF) return DSERR_RECNOTFOUND;
        if (moved != DS_OK) return moved;
        uint32_t record = 0;
        if (EngineResult r = cursor.CursorRecordNumber(&record); r != DS_OK) return r;
        if (dataset->ReadRecord(record, scratch) != DS_OK) continue;
        if (list->RecordPasses(scratch)) return DS_OK;
    }
}

// ---------------------------------------------------------------------------
// The cursor's filter slots: each takes the lock and hands over to the
// operations above through CursorFilterHost.

EngineResult TDSCursor::AttachExpressionFilter(const void* bytes, uint32_t length,
                                               uint32_t* handle) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (!bytes) return DSERR_INVALIDPARAM;
    return pelmora::AttachExpressionFilter(*this, bytes, length, handle);
}

EngineResult TDSCursor::DetachFilter(uint32_t handle) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::DetachFilter(*this, handle);
}

EngineResult TDSCursor::AttachCallbackFilter(void* clientData, FilterCallback callback,
                                             uint32_t* handle) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::AttachCallbackFilter(*this, clientData, callback, handle);
}

EngineResult TDSCursor::FindNextMatch(const void* bytes, uint32_t length) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::FindNextMatch(*this, bytes, length);
}

void TDSCursor::AdoptFilteredIndex(DSIDX* index) {
    ReleaseIndex(index_);
    index_ = index;
}

void TDSCursor::ChangeFilterCount(int32_t delta) {
    if (delta < 0 && filterCount_ < static_cast<uint32_t>(-delta)) {
        filterCount_ = 0;
        return;
    }
    filterCount_ += static_cast<uint32_t>(delta);
}

EngineResult TDSCursor::CopyFiltersFrom(const TDSCursor& source) {
    if (source.index_->kind() != IDX_FILTERED) return DS_OK;
    const DSCONSTR* list = static_cast<const DSIDXFILT*>(source.index_)->filters();
    if (list == nullptr) return DS_OK;
    for (size_t i = 0; i < list->size(); ++i) {
        const FilterEntry& entry = list->entry(i);
        EngineResult r = DS_OK;
        if (entry.callback != nullptr) {
            r = AttachCallbackFilter(entry.clientData, entry.callback, nullptr);
        } else if (!entry.bytes.empty()) {
            r = AttachExpressionFilter(entry.bytes.data(),
                                       static_cast<uint32_t>(entry.bytes.size()), nullptr);
        }
        if (r != DS_OK) return r;
    }
    return DS_OK;
}

}  // namespace pelmora
