#include "dataset/dataset.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "changes/change_log.h"
#include "com/error_text.h"
#include "dataset/parameter_list.h"
#include "expr/filter_list.h"
#include "index/index.h"
#include "platform/collation.h"
#include "store/record_buffer.h"
#include "store/value_compare.h"

namespace pelmora {

namespace {

constexpr uint32_t kBookmarkSize = 20;
constexpr uint8_t kNotLive = REC_SUPERSEDED | REC_DELETED | REC_DISCARDED;

}  // namespace

TDSBASE::TDSBASE() {
    params_ = std::make_unique<ParameterList>();
    collation_ = std::make_unique<platform::Collation>(0);
}

TDSBASE::~TDSBASE() {
    Reset();
    for (DetailLink& link : detailLinks_)
        if (link.detail != this) link.detail->Release();
}

TDSBASE* NewDataset() {
    try {
        return new TDSBASE;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// ---- simple slots -----------------------------------------------------------

EngineResult TDSBASE::ErrorText(uint32_t code, char* buffer) {
    if (ResultCode(code) == DSERR_CONSTRAINTFAILED) {
        // A failed constraint's own message is handed out once.
        std::lock_guard guard(lock_);
        std::string message;
        if (TakeConstraintMessage(message)) {
            if (buffer != nullptr) {
                const size_t n = std::min<size_t>(message.size(), 126);
                std::memcpy(buffer, message.data(), n);
                buffer[n] = '\0';
            }
            return DS_OK;
        }
    }
    return pelmora::ErrorText(code, buffer);
}

int32_t TDSBASE::CompareValues(uint32_t type, const void* a, const void* b, uint32_t length) {
    return pelmora::CompareValues(type, a, b, length, collation_.get());
}

EngineResult TDSBASE::ReservedSlot23() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReservedSlot24() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReservedSlot25() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReservedSlot26() {
    return DS_OK;
}

EngineResult TDSBASE::ReadDatasetProps(DatasetProps* out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::memset(out, 0, sizeof *out);
    std::memcpy(out->name, name_.data(), std::min(name_.size(), sizeof out->name - 1));
    out->fieldCount =
        static_cast<uint32_t>(reportBeforeExpansion_ != 0 ? definedFields_.size() : fields_.size());
    out->recordSize = layout_.recordSize;
    out->bookmarkSize = kBookmarkSize;
    out->readOnly = readOnly_;
    uint32_t listed = 0;
    for (const DSIDX* index : indexes_) {
        if (!index->is_private() && (index->kind() == IDX_PLAIN || index->kind() == IDX_CHANGE))
            ++listed;
    }
    out->indexCount = listed;
    out->parameterCount = static_cast<uint32_t>(params_->size());
    out->delta = delta_;
    out->lcid = lcid_;
    return DS_OK;
}

EngineResult TDSBASE::ListFields(FieldDesc* out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard guard(lock_);
    const std::vector<FieldDesc>& list = reportBeforeExpansion_ != 0 ? definedFields_ : fields_;
    if (!list.empty()) std::memcpy(out, list.data(), list.size() * sizeof(FieldDesc));
    return DS_OK;
}

EngineResult TDSBASE::SetIndicator(void* record, uint32_t recordNumber, uint32_t field,
                                   uint32_t value) {
    std::lock_guard guard(lock_);
    if (value > 0xFF) return DSERR_INVALIDPARAM;
    const auto indicator = static_cast<uint8_t>(value);
    if (record != nullptr) {
        return WriteBufferIndicator(fields_, static_cast<uint8_t*>(record), field, indicator);
    }
    if (recordNumber == 0 || recordNumber >= next_record()) return DSERR_OUTOFRANGE;
    return store_.WriteIndicator(recordNumber, field, indicator);
}

EngineResult TDSBASE::GetNestedDataset(uint32_t field, IDSBase** out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard guard(lock_);
    *out = nullptr;
    const NestedDetail* nested = nullptr;
    if (field == 0) {
        if (!nested_.empty()) nested = &nested_.front();
    } else {
        nested = NestedFor(field);
    }
    if (nested == nullptr || nested->dataset == nullptr) return DSERR_NOTSUPPORTED;
    nested->dataset->AddRef();
    *out = nested->dataset;
    return DS_OK;
}

const NestedDetail* TDSBASE::NestedFor(uint32_t field) const {
    for (const NestedDetail& nested : nested_) {
        if (nested.field == field) return &nested;
    }
    return nullptr;
}

// ---- optional parameters ------------------------------------------------------

EngineResult TDSBASE::FindParameter(uint32_t index, uint32_t field, const char** name,
                                    uint32_t* typeWord, uint32_t* length, const void** value) {
    std::lock_guard guard(lock_);
    if (field > field_count()) return DSERR_INVALIDPARAM;
    if (index == 0 && (name == nullptr || *name == nullptr || **name == '\0'))
        return DSERR_INVALIDPARAM;
    // A field inside a later array element shares the parameters of the
    // first element, unless it carries its own.
    const ParameterEntry* entry = nullptr;
    for (uint32_t candidate : {field, FirstElementField(field)}) {
        entry = index != 0 ? params_->Nth(candidate, index)
                           : params_->Find(candidate, *name, collation_.get());
        if (entry != nullptr) break;
    }
    if (entry == nullptr) return DSERR_OBJNOTFOUND;
    if (name != nullptr) *name = entry->name.c_str();
    if (typeWord != nullptr) *typeWord = entry->typeWord;
    if (length != nullptr) *length = entry->length();
    if (value != nullptr) *value = entry->value.empty() ? nullptr : entry->value.data();
    return DS_OK;
}

EngineResult TDSBASE::StoreParameter(uint32_t field, const char* name, uint32_t typeWord,
                                     uint32_t length, const void* value) {
    std::lock_guard guard(lock_);
    if (field > field_count()) return DSERR_NOTSUPPORTED;
    if (name == nullptr || *name == '\0' || (length != 0 && value == nullptr))
        return DSERR_INVALIDPARAM;
    return ApplyParameter(field, name, typeWord, length, value);
}

EngineResult TDSBASE::DropParameter(uint32_t field, const char* name) {
    std::lock_guard guard(lock_);
    if (name == nullptr) return DSERR_INVALIDPARAM;
    if (params_->Drop(field, name, collation_.get())) return DS_OK;
    if (FirstElementField(field) != field &&
        params_->Drop(FirstElementField(field), name, collation_.get()))
        return DS_OK;
    return DSERR_OBJNOTFOUND;
}

uint32_t TDSBASE::FirstElementField(uint32_t field) const {
    if (field == 0 || field > field_count()) return field;
    uint32_t mapped = field;
    // Walk the containers of the original field; every array among them maps
    // the field into its first element block.
    uint32_t parent = fields_[field - 1].parentId;
    for (size_t steps = 0; parent != 0 && parent <= field_count() && steps < fields_.size();
         ++steps) {
        const FieldDesc& container = fields_[parent - 1];
        if (container.type == FLD_ARRAY && container.units1 != 0 && container.units2 != 0) {
            const uint32_t block = container.units2 / container.units1;
            const uint32_t offset = mapped - (parent + 1);
            if (block != 0) mapped -= (offset / block) * block;
        }
        parent = container.parentId;
    }
    return mapped;
}

// ---- records ---------------------------------------------------------------------

EngineResult TDSBASE::CheckRecord(uint32_t record) const {
    if (record == 0 || record >= next_record()) return DSERR_OUTOFRANGE;
    if (!delta_mode() && (store_.StatusAt(record) & kNotLive) != 0) return DSERR_NOTSUPPORTED;
    return DS_OK;
}

EngineResult TDSBASE::ReadRecord(uint32_t record, uint8_t* buffer) const {
    if (buffer == nullptr) return DSERR_INVALIDPARAM;
    if (record == 0 || record >= next_record()) return DSERR_OUTOFRANGE;
    return store_.ReadRecord(record, buffer);
}

EngineResult TDSBASE::EnsureCapacity(uint32_t more) {
    const uint64_t needed = static_cast<uint64_t>(next_record()) - 1 + more;
    const uint32_t capacity = store_.capacity();
    if (needed <= capacity) return DS_OK;
    // Double small stores, then grow by half, so that loading stays linear.
    const uint64_t grown = capacity <= 1000 ? uint64_t{capacity} * 2 : capacity + capacity / 2;
    const uint64_t target = std::max<uint64_t>(needed, grown);
    if (target >= 0xFFFFFFFFull) return DSERR_NOMEMORY;
    return store_.GrowTo(static_cast<uint32_t>(target));
}

// ---- change notifiers ----------------------------------------------------------

void TDSBASE::RegisterNotifier(TDSCursor* cursor) {
    RegisterNotifier(cursor, nullptr, nullptr);
}

void TDSBASE::RegisterNotifier(TDSCursor* cursor, void* clientData, ChangeCallback callback) {
    std::lock_guard guard(lock_);
    for (size_t i = 0; i < notifiers_.size(); ++i) {
        if (notifiers_[i] == cursor) {
            notifierCallbacks_[i] = {clientData, callback};
            return;
        }
    }
    try {
        notifiers_.reserve(notifiers_.size() + 2);
        notifierCallbacks_.reserve(notifiers_.size() + 2);
        notifiers_.push_back(cursor);
        notifierCallbacks_.emplace_back(clientData, callback);
    } catch (const std::bad_alloc&) {
        // Both vectors were reserved first; a failure leaves them unchanged.
        if (notifierCallbacks_.size() < notifiers_.size()) notifiers_.pop_back();
    }
}

void TDSBASE::UnregisterNotifier(TDSCursor* cursor) {
    std::lock_guard guard(lock_);
    for (size_t i = 0; i < notifiers_.size(); ++i) {
        if (notifiers_[i] == cursor) {
            notifiers_.erase(notifiers_.begin() + static_cast<ptrdiff_t>(i));
            notifierCallbacks_.erase(notifierCallbacks_.begin() + static_cast<ptrdiff_t>(i));
            return;
        }
    }
}

void TDSBASE::NotifyChange() {
    std::lock_guard guard(lock_);
    // A callback may unregister itself or another cursor: walk a copy.
    std::vector<std::pair<void*, ChangeCallback>> calls;
    try {
        calls = notifierCallbacks_;
    } catch (const std::bad_alloc&) {
        return;
    }
    for (const auto& [data, callback] : calls) {
        if (callback != nullptr) callback(data);
    }
}

// ---- calculated fields ---------------------------------------------------------

namespace {

bool IsCalculatedField(const FieldDesc& f) {
    return f.calculated != 0 && (f.attributes & ATTR_LINK) == 0;
}

// Stores the calculated fields of a record buffer back into a stored record.
EngineResult StoreCalculated(RecordStore& store, const std::vector<FieldDesc>& fields,
                             uint32_t record, const uint8_t* buffer) {
    for (uint32_t k = 1; k <= fields.size(); ++k) {
        const FieldDesc& f = fields[k - 1];
        if (!IsCalculatedField(f)) continue;
        const uint8_t indicator = buffer[f.indicatorOffset];
        EngineResult r = indicator != IND_VALUE ? store.WriteValue(record, k, nullptr)
                                                : store.WriteValue(record, k, buffer + f.offset);
        if (r != DS_OK) return r;
    }
    return DS_OK;
}

}  // namespace

EngineResult TDSBASE::Calculate(uint8_t* buffer) {
    if (calcFn_ == nullptr) return DS_OK;
    return calcFn_(calcData_, buffer);
}

EngineResult TDSBASE::RecalculateStored(uint32_t record) {
    if (calcFn_ == nullptr) return DS_OK;
    if (record == 0 || record >= next_record()) return DSERR_OUTOFRANGE;
    std::vector<uint8_t> buffer;
    try {
        buffer.assign(record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    store_.ReadRecord(record, buffer.data());
    if (EngineResult r = calcFn_(calcData_, buffer.data()); r != DS_OK) return r;
    return StoreCalculated(store_, fields_, record, buffer.data());
}

EngineResult TDSBASE::SetCalcCallback(void* clientData, CalcCallback callback) {
    std::lock_guard guard(lock_);
    calcData_ = clientData;
    calcFn_ = callback;
    if (callback == nullptr) return DS_OK;

    std::vector<uint8_t> buffer;
    try {
        buffer.assign(std::max<uint32_t>(record_size(), 1), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    EngineResult last = DS_OK;
    for (uint32_t r = 1; r < next_record(); ++r) {
        if (!delta_mode() && (store_.StatusAt(r) & kNotLive) != 0) continue;
        store_.ReadRecord(r, buffer.data());
        last = callback(clientData, buffer.data());
        if (last == DS_OK) {
            if (EngineResult w = StoreCalculated(store_, fields_, r, buffer.data()); w != DS_OK)
                return w;
        }
    }
    // Orders that depend on calculated values are out of date now.
    for (DSIDX* index : indexes_) {
        bool rebuild = index->kind() == IDX_FILTERED;
        const IndexDesc& desc = index->desc();
        for (uint32_t i = 0; !rebuild && i < desc.fieldCount && i < 16; ++i) {
            const uint32_t k = desc.fields[i];
            rebuild = k >= 1 && k <= field_count() && IsCalculatedField(fields_[k - 1]);
        }
        if (rebuild) {
            if (EngineResult r = index->Rebuild(nullptr, nullptr); r != DS_OK) return r;
        }
    }
    return last;
}

// ---- housekeeping ----------------------------------------------------------------

EngineResult TDSBASE::ClearRecords() {
    std::lock_guard guard(lock_);
    store_.Clear();
    liveCount_ = 0;
    holes_ = 0;
    visibleLastLoad_ = 0;
    if (blobs_) blobs_->Reset();
    if (log_) log_->Clear();
    for (const NestedDetail& nested : nested_) {
        if (nested.dataset != nullptr) {
            if (EngineResult r = nested.dataset->ClearRecords(); r != DS_OK) return r;
        }
    }
    for (DSIDX* index : indexes_) {
        if (EngineResult r = index->Rebuild(nullptr, nullptr); r != DS_OK) return r;
    }
    return DS_OK;
}

EngineResult TDSBASE::DiscardBlobs(uint32_t reference) {
    std::lock_guard guard(lock_);
    if (!blobs_) return reference == 0 ? DS_OK : DSERR_INVALIDBLOBHANDLE;
    if (reference == 0) {
        blobs_->Rollback();
        return DS_OK;
    }
    return blobs_->DiscardLast(reference);
}

}  // namespace pelmora
