// Record access through a cursor: reading the current record and single
// field values, writing values into record buffers (strings lose trailing
// blanks, packed decimals are re-scaled), BLOB access and record preparation.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "com/invariant.h"
#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "store/record_buffer.h"

namespace pelmora {

using Guard = std::lock_guard<std::recursive_mutex>;

void TDSCursor::ReadStored(uint32_t record, uint8_t* buffer) const {
    const RecordStore& store = dataset_->store();
    const uint32_t stored = std::min(fieldCount_, dataset_->field_count());
    const bool valid = record >= 1 && record < dataset_->next_record();
    for (uint32_t k = 1; k <= fieldCount_; ++k) {
        const FieldDesc& f = fields_[k - 1];
        uint8_t* value = buffer + f.offset;
        if (!valid || k > stored) {
            if (f.length) std::memset(value, 0, f.length);
            buffer[f.indicatorOffset] = IND_BLANK;
            continue;
        }
        const uint32_t width = std::min(f.length, dataset_->fields()[k - 1].length);
        if (width) std::memcpy(value, store.ValueAt(record, k), width);
        if (f.length > width) std::memset(value + width, 0, f.length - width);
        buffer[f.indicatorOffset] = store.IndicatorAt(record, k);
    }
}

void TDSCursor::ToDatasetLayout(const uint8_t* in, uint8_t* out) const {
    const std::vector<FieldDesc>& target = dataset_->fields();
    for (uint32_t k = 1; k <= target.size(); ++k) {
        const FieldDesc& t = target[k - 1];
        uint8_t* value = out + t.offset;
        if (t.length) std::memset(value, 0, t.length);
        if (k > fieldCount_) {
            out[t.indicatorOffset] = IND_BLANK;
            continue;
        }
        const FieldDesc& f = fields_[k - 1];
        const uint32_t width = std::min(f.length, t.length);
        if (width) std::memcpy(value, in + f.offset, width);
        out[t.indicatorOffset] = in[f.indicatorOffset];
    }
}

void TDSCursor::WriteLinkValue(uint8_t* buffer, uint32_t value) const {
    const uint32_t link = dataset_->link_field();
    if (link == 0 || link > dataset_->field_count()) return;
    const FieldDesc& f = dataset_->fields()[link - 1];
    if (f.length < sizeof value) return;
    std::memcpy(buffer + f.offset, &value, sizeof value);
    buffer[f.indicatorOffset] = IND_VALUE;
}

EngineResult TDSCursor::ReadCurrentRecord(void* record) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    Sync();
    if (status_ != DS_OK) return status_;
    if (!record) return DS_OK;
    if (currentRecord_ == 0 || currentRecord_ >= dataset_->next_record()) return DSERR_OUTOFRANGE;
    ReadStored(currentRecord_, static_cast<uint8_t*>(record));
    return DS_OK;
}

EngineResult TDSCursor::ReadFieldValue(const void* record, uint32_t field, void* value,
                                       uint32_t* blank) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!ValidField(field)) return DSERR_OUTOFRANGE;
    const FieldDesc& f = fields_[field - 1];
    if (record) {
        const auto* rec = static_cast<const uint8_t*>(record);
        if (value && f.length) std::memcpy(value, rec + f.offset, f.length);
        if (blank) *blank = rec[f.indicatorOffset];
        return DS_OK;
    }
    Guard guard(dataset_->lock());
    Sync();
    // On its record the cursor knows the record's number; at a crack the
    // entry at the cursor's place is read. Scans read many fields of each
    // record, so the index lookup is saved where it can be.
    PELMORA_INVARIANT(status_ != DS_OK || currentRecord_ == 0 ||
                      index_->EntryAt(position_) == currentRecord_);
    const uint32_t stored =
        status_ == DS_OK && currentRecord_ != 0 ? currentRecord_ : index_->EntryAt(position_);
    if (stored == 0 || stored >= dataset_->next_record() || field > dataset_->field_count())
        return DSERR_OUTOFRANGE;
    const RecordStore& store = dataset_->store();
    const uint32_t width = std::min(f.length, dataset_->fields()[field - 1].length);
    if (value && width) std::memcpy(value, store.ValueAt(stored, field), width);
    if (blank) *blank = store.IndicatorAt(stored, field);
    return DS_OK;
}

EngineResult TDSCursor::WriteFieldValue(void* record, uint32_t field, const void* value) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!record) return DSERR_INVALIDPARAM;
    if (!ValidField(field)) return DSERR_OUTOFRANGE;
    auto* rec = static_cast<uint8_t*>(record);
    const FieldDesc& f = fields_[field - 1];
    if (value && f.type == FLD_STRING && f.length > 0) {
        // Strings are stored without trailing blanks and always terminated.
        const char* text = static_cast<const char*>(value);
        size_t n = strnlen(text, f.length);
        n = std::min<size_t>(n, f.length - 1);
        while (n > 0 && text[n - 1] == ' ') --n;
        try {
            std::vector<uint8_t> trimmed(f.length, 0);
            std::memcpy(trimmed.data(), text, n);
            return WriteBufferValue(fields_, rec, field, trimmed.data());
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
    }
    return WriteBufferValue(fields_, rec, field, value);
}

// ---------------------------------------------------------------------------
// BLOB access.

EngineResult TDSCursor::ReadBlobRef(const void* record, uint32_t field, uint32_t* ref,
                                    uint32_t* blank) {
    if (!ValidField(field)) return DSERR_OUTOFRANGE;
    if (fields_[field - 1].type != FLD_BLOB || fields_[field - 1].length != sizeof(uint32_t))
        return DSERR_INVALIDFLDTYPE;
    *ref = 0;
    *blank = IND_BLANK;
    return ReadFieldValue(record, field, ref, blank);
}

EngineResult TDSCursor::ReadBlobLength(const void* record, uint32_t field, uint32_t* length) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!length) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    uint32_t ref = 0, blank = 0;
    EngineResult r = ReadBlobRef(record, field, &ref, &blank);
    if (r != DS_OK || blank != IND_VALUE || ref == 0) {
        *length = 0;
        return r;
    }
    if (!dataset_->blobs()) return DSERR_INVALIDBLOBHANDLE;
    return dataset_->blobs()->Length(ref, *length);
}

EngineResult TDSCursor::ReadBlobData(const void* record, uint32_t field, uint32_t offset,
                                     void* buffer, uint32_t* length) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!length) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    uint32_t ref = 0, blank = 0;
    if (EngineResult r = ReadBlobRef(record, field, &ref, &blank); r != DS_OK) return r;
    if (blank != IND_VALUE || ref == 0) return DSERR_FIELDISBLANK;
    if (!buffer && *length != 0) return DSERR_INVALIDPARAM;
    if (!dataset_->blobs()) return DSERR_INVALIDBLOBHANDLE;
    return dataset_->blobs()->Read(ref, offset, buffer, *length);
}

EngineResult TDSCursor::WriteBlobData(void* record, uint32_t field, uint32_t offset,
                                      const void* buffer, uint32_t length) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!record) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    uint32_t ref = 0, blank = 0;
    if (EngineResult r = ReadBlobRef(record, field, &ref, &blank); r != DS_OK) return r;
    if (length == 0 || !buffer)
        return WriteBufferValue(fields_, static_cast<uint8_t*>(record), field, nullptr);
    BlobTable* blobs = dataset_->blobs();
    if (!blobs) return DSERR_INVALIDBLOBHANDLE;
    uint32_t target = 0;
    if (offset == 0) {
        if (EngineResult r = blobs->Add(buffer, length, target); r != DS_OK) return r;
    } else {
        if (blank != IND_VALUE || ref == 0) return DSERR_FIELDISBLANK;
        target = ref;
        if (ref <= blobs->commit_mark()) {
            // The BLOB belongs to a stored record (and perhaps to its logged
            // versions): edit a copy so that the stored data and undo stay
            // intact until the buffer is posted.
            uint32_t size = 0;
            if (EngineResult r = blobs->Length(ref, size); r != DS_OK) return r;
            try {
                std::vector<uint8_t> bytes(size);
                uint32_t got = size;
                if (EngineResult r = blobs->Read(ref, 0, bytes.data(), got); r != DS_OK) return r;
                if (EngineResult r = blobs->Add(bytes.data(), got, target); r != DS_OK) return r;
            } catch (const std::bad_alloc&) {
                return DSERR_NOMEMORY;
            }
        }
        if (EngineResult r = blobs->Write(target, offset, buffer, length); r != DS_OK) return r;
    }
    return WriteBufferValue(fields_, static_cast<uint8_t*>(record), field, &target);
}

// ---------------------------------------------------------------------------
// Preparing new records and field checks.

EngineResult TDSCursor::PrepareRecord(void* record) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!record) return DS_OK;
    Guard guard(dataset_->lock());
    auto* rec = static_cast<uint8_t*>(record);
    for (uint32_t k = 1; k <= fieldCount_; ++k) {
        WriteBufferValue(fields_, rec, k, nullptr);
        rec[fields_[k - 1].indicatorOffset] = IND_UNCHANGED;
    }
    // Default values are evaluated over a buffer of the dataset's layout
    // (later defaults see earlier ones) and copied into the caller's buffer.
    if (dataset_->constraints() != nullptr) {
        std::vector<uint8_t> work;
        try {
            work.assign(dataset_->record_size(), 0);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        const std::vector<FieldDesc>& dsFields = dataset_->fields();
        for (uint32_t k = 1; k <= dsFields.size(); ++k)
            work[dsFields[k - 1].indicatorOffset] = IND_UNCHANGED;
        EngineResult r = dataset_->ApplyDefaultValues(
            work.data(), [this, rec](uint32_t field, const void* value) -> EngineResult {
                if (field > fieldCount_) return DS_OK;
                return WriteBufferValue(fields_, rec, field, value);
            });
        if (r != DS_OK) return r;
    }
    if (master_) {
        SyncWithMaster();
        if (master_->status_ == DS_OK) PutMasterLinkValues(rec);
    }
    return DS_OK;
}

EngineResult TDSCursor::CheckFieldConstraint(uint32_t field, const void* value) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!ValidField(field)) return DSERR_OUTOFRANGE;
    Guard guard(dataset_->lock());
    return dataset_->CheckFieldValue(field, value);
}

}  // namespace pelmora
