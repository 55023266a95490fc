// Filtered index maintenance: the plain index rules applied to the records
// that pass the filter list.
#include "index/filtered_index.h"

#include <cstring>
#include <new>

#include "dataset/dataset.h"
#include "expr/expr_compile.h"
#include "store/record_store.h"

namespace pelmora {

DSIDXFILT::DSIDXFILT(TDSBASE* dataset) : DSIDX(dataset, IDX_FILTERED) {}

DSIDXFILT::~DSIDXFILT() = default;

DSIDXFILT* NewFilteredIndex(TDSBASE* dataset) {
    DSIDXFILT* index = new (std::nothrow) DSIDXFILT(dataset);
    if (index != nullptr) index->set_private(true);
    return index;
}

DSCONSTR* DSIDXFILT::EnsureFilters() {
    if (!filters_) filters_.reset(new (std::nothrow) DSCONSTR(dataset_));
    return filters_.get();
}

EngineResult DSIDXFILT::PrepareScratch() {
    const uint32_t size = dataset_->record_size();
    if (size == recordSize_ && scratch_.size() == size) return DS_OK;
    try {
        scratch_.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    const bool changed = recordSize_ != 0;
    recordSize_ = size;
    // The fields moved: the compiled filters point at old offsets.
    if (changed && filters_) return filters_->RecompileAll();
    return DS_OK;
}

EngineResult DSIDXFILT::Rebuild(const IndexDesc* desc, const DSIDX* source) {
    if (EngineResult r = PrepareScratch(); r != DS_OK) return r;
    return DSIDX::Rebuild(desc, source);
}

bool DSIDXFILT::Passes(uint32_t record) {
    if (!filters_ || filters_->empty()) return true;
    if (PrepareScratch() != DS_OK && scratch_.size() != dataset_->record_size()) return false;
    if (record == 0 || record >= dataset_->next_record()) return false;
    const RecordStore& store = static_cast<const TDSBASE*>(dataset_)->store();
    if (const int direct = filters_->StoredRecordPasses(store, record); direct >= 0)
        return direct != 0;
    if (!CopyFilterFields(record) && dataset_->ReadRecord(record, scratch_.data()) != DS_OK)
        return false;
    return filters_->RecordPasses(scratch_.data());
}

bool DSIDXFILT::CopyFilterFields(uint32_t record) {
    // Compiled filters read a record only through their field steps, so only
    // those fields are copied; callbacks see whole records.
    const RecordStore& store = static_cast<const TDSBASE*>(dataset_)->store();
    const std::vector<FieldDesc>& fields = dataset_->fields();
    const size_t size = scratch_.size();
    for (size_t i = 0; i < filters_->size(); ++i) {
        const FilterEntry& e = filters_->entry(i);
        if (e.callback != nullptr) return false;
        if (e.filter == nullptr) continue;
        for (const QCanExecElem& step : e.filter->steps()) {
            if (step.code != StepCode::Field) continue;
            const uint32_t n = step.fieldNumber;
            if (n == 0 || n > fields.size() || n > store.field_count()) return false;
            const FieldDesc& f = fields[n - 1];
            // A layout the filter was not compiled for: take the whole record.
            if (f.offset != step.fieldOffset || f.indicatorOffset != step.fieldIndicator ||
                f.length != step.fieldWidth || f.indicatorOffset >= size ||
                static_cast<size_t>(f.offset) + f.length > size)
                return false;
            if (f.length)
                std::memcpy(scratch_.data() + f.offset, store.ValueAt(record, n), f.length);
            scratch_[f.indicatorOffset] = store.IndicatorAt(record, n);
        }
    }
    return true;
}

EngineResult DSIDXFILT::RecordAdded(uint32_t record) {
    if (!Passes(record)) return DS_OK;
    return DSIDX::RecordAdded(record);
}

EngineResult DSIDXFILT::RecordRemoved(uint32_t record) {
    if (PositionOf(record) == 0) return DS_OK;
    return DSIDX::RecordRemoved(record);
}

EngineResult DSIDXFILT::RecordReplaced(uint32_t newRecord, uint32_t oldRecord) {
    const bool oldIn = PositionOf(oldRecord) != 0;
    const bool newPasses = Passes(newRecord);
    if (oldIn && newPasses) return DSIDX::RecordReplaced(newRecord, oldRecord);
    if (newPasses) return DSIDX::RecordAdded(newRecord);
    if (oldIn) return DSIDX::RecordRemoved(oldRecord);
    return DS_OK;
}

}  // namespace pelmora
