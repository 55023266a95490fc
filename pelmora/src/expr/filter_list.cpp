// The filter list: adding, removing and recompiling entries, and the
// pass/fail decision over a record.
#include "expr/filter_list.h"

#include <new>
#include <stdexcept>

#include "dataset/dataset.h"
#include "expr/expr_direct.h"
#include "store/record_store.h"

namespace pelmora {

DSCONSTR::DSCONSTR(TDSBASE* dataset) : dataset_(dataset) {}

void DSCONSTR::ApplyRequired(const FilterEntry& entry) {
    if (entry.kind != FILTER_KIND_CONSTRAINT || !entry.required || !requiredHook_) return;
    if (entry.field >= 1 && entry.field <= dataset_->field_count()) requiredHook_(entry.field);
}

void DSCONSTR::FollowLayout() {
    if (compiledFor_ == dataset_->record_size()) return;
    if (!entries_.empty()) RecompileAll();
    compiledFor_ = dataset_->record_size();
}

EngineResult DSCONSTR::AddExpression(const void* bytes, uint32_t length, uint32_t kind,
                                     uint32_t* handle) {
    if (bytes == nullptr && length != 0) return DSERR_INVALIDPARAM;
    FollowLayout();
    const uint8_t* data = static_cast<const uint8_t*>(bytes);
    try {
        FilterEntry entry;
        if (EngineResult r = CompileExpressionBlob(kind, data, length, dataset_, &entry.field,
                                                   &entry.filter, &entry.required);
            r != DS_OK) {
            return r;
        }
        if (length != 0) entry.bytes.assign(data, data + length);
        entry.kind = kind;
        entry.handle = nextHandle_;
        entries_.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    } catch (const std::length_error&) {
        return DSERR_NOMEMORY;
    }
    ApplyRequired(entries_.back());
    if (handle != nullptr) *handle = nextHandle_;
    ++nextHandle_;
    return DS_OK;
}

EngineResult DSCONSTR::AddCallback(void* clientData, FilterCallback callback, uint32_t* handle) {
    if (callback == nullptr) return DSERR_INVALIDPARAM;
    try {
        FilterEntry entry;
        entry.clientData = clientData;
        entry.callback = callback;
        entry.handle = nextHandle_;
        entries_.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (handle != nullptr) *handle = nextHandle_;
    ++nextHandle_;
    return DS_OK;
}

FilterEntry* DSCONSTR::Find(uint32_t handle) {
    for (FilterEntry& e : entries_) {
        if (e.handle == handle) return &e;
    }
    return nullptr;
}

EngineResult DSCONSTR::Remove(uint32_t handle) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->handle == handle) {
            entries_.erase(it);
            return DS_OK;
        }
    }
    return DSERR_OBJNOTFOUND;
}

bool DSCONSTR::RecordPasses(const uint8_t* record) {
    FollowLayout();
    for (FilterEntry& e : entries_) {
        if (e.callback != nullptr) {
            if (e.callback(e.clientData, record) == 0) return false;
            continue;
        }
        if (e.kind == FILTER_KIND_DEFAULT) continue;
        if (e.filter == nullptr) return false;  // no longer compiles
        if (!e.filter->Evaluate(record)) {
            try {
                message_ = e.filter->message();
            } catch (const std::bad_alloc&) {
                message_.clear();
            }
            return false;
        }
    }
    return true;
}

int DSCONSTR::StoredRecordPasses(const RecordStore& store, uint32_t record) {
    FollowLayout();
    const std::vector<FieldDesc>& fields = dataset_->fields();
    for (FilterEntry& e : entries_) {
        if (e.callback != nullptr) return -1;
        if (e.kind == FILTER_KIND_DEFAULT) continue;
        if (e.filter == nullptr) return 0;  // no longer compiles
        const DirectPredicate* direct = e.filter->direct();
        if (direct == nullptr) return -1;
        for (const DirectPredicate::FieldUse& use : direct->fields()) {
            if (use.number > fields.size() || use.number > store.field_count()) return -1;
            const FieldDesc& f = fields[use.number - 1];
            if (f.offset != use.offset || f.indicatorOffset != use.indicator ||
                f.length != use.width)
                return -1;
        }
        if (!direct->Passes(store, record)) {
            try {
                message_ = e.filter->message();
            } catch (const std::bad_alloc&) {
                message_.clear();
            }
            return 0;
        }
    }
    return 1;
}

EngineResult DSCONSTR::RecompileAll() {
    EngineResult first = DS_OK;
    for (FilterEntry& e : entries_) {
        if (e.callback != nullptr) continue;
        std::unique_ptr<QCanFilter> filter;
        const EngineResult r = CompileExpressionBlob(e.kind, e.bytes.data(), e.bytes.size(),
                                                     dataset_, nullptr, &filter, nullptr);
        e.filter = std::move(filter);
        if (r != DS_OK) {
            if (first == DS_OK) first = r;
            continue;
        }
        ApplyRequired(e);
    }
    scratch_.clear();
    compiledFor_ = dataset_->record_size();
    return first;
}

uint8_t* DSCONSTR::ScratchRecord() {
    const size_t size = dataset_->record_size();
    if (scratch_.size() != size) {
        try {
            scratch_.assign(size, 0);
        } catch (const std::bad_alloc&) {
            scratch_.clear();
            return nullptr;
        }
    }
    return scratch_.empty() ? nullptr : scratch_.data();
}

}  // namespace pelmora
