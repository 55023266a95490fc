// The dataset's numbered properties (ReadProperty / WriteProperty): switches
// and counters callers read and set by id, some passed on to nested datasets.
#include <cstring>
#include <string>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "index/index.h"

namespace pelmora {

namespace {

// Longest full field name handed out, terminator included.
constexpr size_t kFullNameSize = 261;

void Put32(void* out, uint32_t value) {
    std::memcpy(out, &value, sizeof value);
}

}  // namespace

EngineResult TDSBASE::FullFieldName(uint32_t field, char* out) const {
    if (field == 0 || field > field_count()) return DSERR_OUTOFRANGE;
    std::string name;
    uint32_t k = field;
    for (size_t steps = 0; k != 0 && k <= field_count() && steps <= fields_.size(); ++steps) {
        const FieldDesc& f = fields_[k - 1];
        // Array fields are left out: their element names already say where.
        if (f.type != FLD_ARRAY || k == field) {
            const std::string part(f.name, strnlen(f.name, sizeof f.name));
            name = name.empty() ? part : part + "." + name;
        }
        k = f.parentId;
    }
    if (name.size() >= kFullNameSize) name.resize(kFullNameSize - 1);
    std::memcpy(out, name.c_str(), name.size() + 1);
    return DS_OK;
}

EngineResult TDSBASE::ReadProperty(uint32_t id, void* out) {
    std::lock_guard guard(lock_);
    if (id == PROP_UNUSED) return out != nullptr ? DSERR_INVALIDPARAM : DS_OK;
    if (out == nullptr) return DSERR_INVALIDPARAM;
    switch (id) {
        case PROP_LOGGING:
            Put32(out, logging_ ? 1 : 0);
            return DS_OK;
        case PROP_READONLY:
            Put32(out, readOnly_);
            return DS_OK;
        case PROP_CHANGE_COUNT:
            if (delta_mode()) {
                Put32(out, next_record() - 1);
            } else {
                Put32(out, log_ && !log_->empty() ? ChangeCount() : 0);
            }
            return DS_OK;
        case PROP_CONSTRAINTS_OFF:
            Put32(out, constraintsOff_);
            return DS_OK;
        case PROP_PARTIAL:
            Put32(out, state_ == DS_PARTIAL ? 1 : 0);
            return DS_OK;
        case PROP_VISIBLE_LAST_LOAD:
            Put32(out, visibleLastLoad_);
            return DS_OK;
        case PROP_NO_AUTOINC:
            Put32(out, autoIncField_ == 0 ? 1 : 0);
            return DS_OK;
        case PROP_DELTA:
            Put32(out, delta_);
            return DS_OK;
        case PROP_NO_METADATA:
            Put32(out, noMetadata_);
            return DS_OK;
        case PROP_MAX_DELTA_BLOB:
            Put32(out, maxDeltaBlob_);
            return DS_OK;
        case PROP_SAVEPOINT:
            Put32(out, CreateSavepoint());
            return DS_OK;
        case PROP_BEFORE_EXPANSION:
            Put32(out, reportBeforeExpansion_);
            return DS_OK;
        case PROP_FLAGS:
            Put32(out, flags_);
            return DS_OK;
        case PROP_FULL_NAME: {
            uint32_t field = 0;
            std::memcpy(&field, out, sizeof field);
            return FullFieldName(field, static_cast<char*>(out));
        }
        case PROP_PARENT: {
            uint32_t field = 0;
            std::memcpy(&field, out, sizeof field);
            if (field == 0 || field > field_count()) return DSERR_OUTOFRANGE;
            Put32(out, fields_[field - 1].parentId);
            return DS_OK;
        }
        case PROP_CHANGE_FILTER:
            Put32(out, changeIndex_ != nullptr
                           ? static_cast<DSIDXCHG*>(changeIndex_)->status_filter()
                           : changeIndexFilter_);
            return DS_OK;
        case PROP_KEY_INDEX:
            for (const DSIDX* index : indexes_) {
                if (index->desc().unique == 1 && !index->is_private()) {
                    std::memcpy(out, &index->desc(), sizeof(IndexDesc));
                    return DS_OK;
                }
            }
            return DSERR_NOSUCHINDEX;
        case PROP_UPDATE_MODE:
            Put32(out, updateMode_);
            return DS_OK;
        case PROP_XML_MODE:
            Put32(out, xmlMode_);
            return DS_OK;
        case PROP_DISABLE_DELETES:
            Put32(out, disableDeletes_);
            return DS_OK;
        case PROP_DISABLE_INSERTS:
            Put32(out, disableInserts_);
            return DS_OK;
        case PROP_DISABLE_EDITS:
            Put32(out, disableEdits_);
            return DS_OK;
        default:
            return DSERR_INVALIDPARAM;
    }
}

void TDSBASE::PassToNested(uint32_t id, uint32_t value) {
    for (const NestedDetail& nested : nested_) {
        if (nested.dataset != nullptr) nested.dataset->WriteProperty(id, value);
    }
}

EngineResult TDSBASE::WriteProperty(uint32_t id, uint32_t value) {
    std::lock_guard guard(lock_);
    switch (id) {
        case PROP_LOGGING:
            logging_ = value != 0;
            PassToNested(id, value);
            return DS_OK;
        case PROP_READONLY:
            readOnly_ = value;
            return DS_OK;
        case PROP_CONSTRAINTS_OFF:
            constraintsOff_ = value;
            return DS_OK;
        case PROP_PARTIAL:
            if (state_ != DS_COMPLETE || reader_ == nullptr) return DSERR_NOTSUPPORTED;
            state_ = DS_PARTIAL;
            return DS_OK;
        case PROP_NO_AUTOINC:
            if (value == 0) return DS_OK;
            if (autoIncField_ == 0) return DSERR_NOTSUPPORTED;
            autoIncField_ = 0;
            return DS_OK;
        case PROP_NO_METADATA:
            noMetadata_ = value;
            return DS_OK;
        case PROP_MAX_DELTA_BLOB:
            maxDeltaBlob_ = value;
            return DS_OK;
        case PROP_BEFORE_EXPANSION:
            reportBeforeExpansion_ = value;
            return DS_OK;
        case PROP_FLAGS:
            flags_ |= value;
            return DS_OK;
        case PROP_CHANGE_FILTER: {
            const auto filter = static_cast<uint8_t>(value);
            DSIDX* index = nullptr;
            if (EngineResult r = ChangeIndex(&index); r != DS_OK) return r;
            auto* changes = static_cast<DSIDXCHG*>(index);
            changeIndexFilter_ = filter;
            if (changes->status_filter() == filter) return DS_OK;
            changes->set_status_filter(filter);
            return changes->Rebuild(nullptr, nullptr);
        }
        case PROP_UPDATE_MODE:
            updateMode_ = value;
            return DS_OK;
        case PROP_XML_MODE:
            xmlMode_ = value;
            PassToNested(id, value);
            return DS_OK;
        case PROP_DISABLE_DELETES:
            disableDeletes_ = value;
            PassToNested(id, value);
            return DS_OK;
        case PROP_DISABLE_INSERTS:
            disableInserts_ = value;
            PassToNested(id, value);
            return DS_OK;
        case PROP_DISABLE_EDITS:
            disableEdits_ = value;
            PassToNested(id, value);
            return DS_OK;
        default:
            return DSERR_INVALIDPARAM;
    }
}

}  // namespace pelmora
