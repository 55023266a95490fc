// The flat reconcile (ApplyReconcileResult) and the pieces both reconcile
// operations share: loading the packets, matching delta rows to the log,
// the actions on one change and the final merge of the changes that did not
// fail.
#include "changes/reconcile.h"

#include <cstring>
#include <new>
#include <string>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "platform/collation.h"
#include "store/record_buffer.h"

namespace pelmora {

namespace {}  // namespace

const char* const kErrorFieldNames[ERRCOL_COUNT] = {"ERROR_RECORDNO", "ERROR_RESPONSE",
                                                    "ERROR_MESSAGE",  "ERROR_CONTEXT",
                                                    "ERROR_CATEGORY", "ERROR_CODE"};

uint32_t ReadErrorUint(TDSBASE& ds, uint32_t record, uint32_t field) {
    if (field == 0 || field > ds.field_count()) return 0;
    if (ds.store().IndicatorAt(record, field) != IND_VALUE) return 0;
    uint32_t v = 0;
    std::memcpy(&v, ds.store().ValueAt(record, field),
                std::min<uint32_t>(4, ds.fields()[field - 1].length));
    return v;
}

const char* ReadErrorText(TDSBASE& ds, uint32_t record, uint32_t field) {
    if (field == 0 || field > ds.field_count()) return nullptr;
    if (ds.store().IndicatorAt(record, field) != IND_VALUE) return nullptr;
    return reinterpret_cast<const char*>(ds.store().ValueAt(record, field));
}

EngineResult LoadIntoNew(SAFEARRAY* packet, TDSBASE** out) {
    *out = nullptr;
    TDSBASE* ds = NewDataset();
    if (ds == nullptr) return DSERR_NOMEMORY;
    ds->AddRef();
    if (EngineResult r = ds->LoadPacket(packet, 1); r != DS_OK) {
        ds->Release();
        return r;
    }
    *out = ds;
    return DS_OK;
}

EngineResult MatchDeltaRows(RECONCB& level, bool emptyIsError) {
    TDSBASE& base = *level.base;
    try {
        level.rows = OrderedDeltaRows(base);
        if (level.rows.empty() && emptyIsError) return DSERR_DELTAISEMPTY;
        level.handled.assign(level.rows.size(), false);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    const uint32_t deltaRows = level.delta != nullptr ? level.delta->next_record() - 1 : 0;
    if (deltaRows != level.rows.size()) return DSERR_DATAPACKETMISMATCH;
    return DS_OK;
}

uint32_t LatestVersion(TDSBASE& base, uint32_t first) {
    return base.log() == nullptr ? first : base.log()->LatestVersion(first);
}

EngineResult RunFlatAction(RECONCB& level, size_t k, uint32_t action, uint32_t errorCode,
                           uint8_t* current, const uint8_t* values) {
    TDSBASE& base = *level.base;
    const DeltaRow& row = level.rows[k];
    const bool modification = row.action == LOG_MODIFY;
    const bool insertion = row.action == LOG_INSERT;
    const bool deletion = row.action == LOG_DELETE;
    // The record the change concerns now, and the target of written values.
    const uint32_t record = deletion ? LatestVersion(base, row.record) : row.record;
    const uint32_t target = modification ? row.entry.previous : record;
    switch (action) {
        case RECONCILE_SKIP:
        case RECONCILE_ABORT:
            return DS_OK;
        case RECONCILE_MERGE: {
            if (values == nullptr) return DSERR_INVALIDPARAM;
            if (!modification && !(insertion && errorCode == DSERR_KEYVIOL))
                return DSERR_INVALIDPARAM;
            if (insertion) {
                if (EngineResult r = base.RemoveChain(row.entry); r != DS_OK) return r;
            } else {
                uint32_t first = 0;
                if (EngineResult r = base.RevertRecord(record, &first); r != DS_OK) return r;
            }
            if (EngineResult r = base.WriteOver(target, values); r != DS_OK) return r;
            return base.ModifyRecord(target, current, nullptr);
        }
        case RECONCILE_CORRECT: {
            if (modification) {
                // Fields the delta marked unchanged take the old version's values.
                std::vector<uint8_t> old;
                try {
                    old.assign(base.record_size(), 0);
                } catch (const std::bad_alloc&) {
                    return DSERR_NOMEMORY;
                }
                base.ReadRecord(row.entry.previous, old.data());
                for (const FieldDesc& f : base.fields()) {
                    if (current[f.indicatorOffset] != IND_UNCHANGED) continue;
                    std::memcpy(current + f.offset, old.data() + f.offset, f.length);
                    current[f.indicatorOffset] = old[f.indicatorOffset];
                }
            }
            return base.ModifyRecord(record, current, nullptr);
        }
        case RECONCILE_CANCEL: {
            uint32_t first = 0;
            return base.RevertRecord(record, &first);
        }
        case RECONCILE_REFRESH: {
            if (values == nullptr) return DSERR_INVALIDPARAM;
            if (insertion) {
                if (EngineResult r = base.RemoveChain(row.entry); r != DS_OK) return r;
            } else {
                uint32_t first = 0;
                if (EngineResult r = base.RevertRecord(record, &first); r != DS_OK) return r;
            }
            return base.WriteOver(target, values);
        }
        default:
            return DSERR_INVALIDPARAM;
    }
}

EngineResult FinalMerge(RECONCB& level, bool keepDetailChanges) {
    for (auto& child : level.children) {
        if (EngineResult r = FinalMerge(*child, keepDetailChanges); r != DS_OK) return r;
    }
    TDSBASE& base = *level.base;
    for (size_t k = 0; k < level.rows.size(); ++k) {
        const DeltaRow& row = level.rows[k];
        if (row.action == REC_SUPERSEDED) continue;  // settled with the new version after it
        if (row.action == LOG_DETAIL_CHANGED && keepDetailChanges) continue;
        if (level.handled[k] || (row.action == LOG_MODIFY && k > 0 && level.handled[k - 1]))
            continue;
        if (EngineResult r = base.RemoveChain(row.entry, keepDetailChanges); r != DS_OK) return r;
    }
    if (DSIDX* changes = nullptr; base.ChangeIndex(&changes) == DS_OK && changes != nullptr)
        changes->Rebuild(nullptr, nullptr);
    return DS_OK;
}

// ---- the flat reconcile ------------------------------------------------------------

EngineResult TDSBASE::ApplyReconcileResult(SAFEARRAY* deltaPacket, SAFEARRAY* errorPacket,
                                           void* clientData, ReconcileCallback callback) {
    std::lock_guard guard(lock_);
    if (delta_mode()) return DS_OK;
    if (deltaPacket == nullptr) return DSERR_INVALIDPARAM;
    if (errorPacket == nullptr) {
        if (EngineResult r = MergeAll(false); r != DS_OK) return r;
        if (changeIndex_ != nullptr) changeIndex_->Rebuild(nullptr, nullptr);
        return DS_OK;
    }
    TDSBASE* delta = nullptr;
    TDSBASE* errors = nullptr;
    struct Holder {
        TDSBASE*& a;
        TDSBASE*& b;
        ~Holder() {
            if (a != nullptr) a->Release();
            if (b != nullptr) b->Release();
        }
    } holder{delta, errors};
    if (EngineResult r = LoadIntoNew(deltaPacket, &delta); r != DS_OK) return r;
    if (EngineResult r = LoadIntoNew(errorPacket, &errors); r != DS_OK) return r;

    // The six error fields by name, then the data fields from the first
    // field after them that carries the delta's first field name.
    uint32_t pos[ERRCOL_COUNT] = {};
    uint32_t dataStart = 0;
    const std::vector<FieldDesc>& efields = errors->fields();
    for (uint32_t k = 1; k <= efields.size(); ++k) {
        const char* name = efields[k - 1].name;
        bool all = true;
        for (uint32_t i = 0; i < ERRCOL_COUNT; ++i) all = all && pos[i] != 0;
        if (all) {
            if (delta->field_count() != 0 &&
                collation_->Compare(name, -1, delta->fields()[0].name, -1, true) == 0) {
                dataStart = k;
                break;
            }
            continue;
        }
        for (uint32_t i = 0; i < ERRCOL_COUNT; ++i) {
            if (pos[i] == 0 && collation_->Compare(name, -1, kErrorFieldNames[i], -1, true) == 0) {
                pos[i] = k;
                break;
            }
        }
    }
    if (dataStart == 0) return DSERR_DATAPACKETMISMATCH;

    RECONCB level;
    level.base = this;
    level.delta = delta;
    level.errors = errors;
    if (EngineResult r = MatchDeltaRows(level, true); r != DS_OK) return r;

    std::vector<uint8_t> current;
    std::vector<uint8_t> old;
    std::vector<uint8_t> values;
    try {
        current.assign(record_size(), 0);
        old.assign(record_size(), 0);
        values.assign(record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    bool stop = false;
    bool aborted = false;
    for (uint32_t e = 1; e < errors->next_record(); ++e) {
        const uint32_t recno = ReadErrorUint(*errors, e, pos[ERRCOL_RECORDNO]);
        if (recno == 0) continue;
        if (recno > level.rows.size()) return DSERR_DATAPACKETMISMATCH;
        const size_t k = recno - 1;
        const DeltaRow& row = level.rows[k];
        if (delta->store().StatusAt(recno) != row.action) return DSERR_DATAPACKETMISMATCH;
        if (row.action == LOG_MODIFY &&
            (recno < 2 || delta->store().StatusAt(recno - 1) != REC_SUPERSEDED))
            return DSERR_DATAPACKETMISMATCH;

        // The callback's buffers.
        ReadRecord(row.record, current.data());
        const bool modification = row.action == LOG_MODIFY;
        if (modification) {
            ReadRecord(row.entry.previous, old.data());
            for (uint32_t f = 1; f <= field_count() && f <= delta->field_count(); ++f) {
                if (delta->store().IndicatorAt(recno, f) == IND_UNCHANGED)
                    current[fields_[f - 1].indicatorOffset] = IND_UNCHANGED;
            }
        }
        if (EngineResult r = CopyRecordAcross(*errors, e, *this, values.data(), 0, dataStart - 1);
            r != DS_OK)
            return r;
        bool hasValues = false;
        for (uint32_t f = dataStart; f <= errors->field_count() && !hasValues; ++f)
            hasValues = errors->store().IndicatorAt(e, f) == IND_VALUE;
        const uint32_t response = ReadErrorUint(*errors, e, pos[ERRCOL_RESPONSE]);
        const uint32_t code = ReadErrorUint(*errors, e, pos[ERRCOL_CODE]);
        if (response == kErrorResponseStop) stop = true;

        const auto ask = [&](EngineResult previous) -> uint32_t {
            if (callback == nullptr) return RECONCILE_SKIP;
            return callback(clientData, ResultCode(previous), row.action, response, code,
                            ReadErrorText(*errors, e, pos[ERRCOL_MESSAGE]),
                            ReadErrorText(*errors, e, pos[ERRCOL_CONTEXT]), current.data(),
                            modification ? old.data() : nullptr,
                            hasValues ? values.data() : nullptr);
        };
        const auto apply = [&](uint32_t action) {
            return RunFlatAction(level, k, action, code, current.data(),
                                 hasValues ? values.data() : nullptr);
        };
        if (AskAndApply(*this, aborted, ask, apply)) {
            level.handled[k] = true;
            if (modification && k > 0) level.handled[k - 1] = true;
        }
    }
    if (stop) return DS_OK;
    return FinalMerge(level, false);
}

}  // namespace pelmora
