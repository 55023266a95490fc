// Edits through a cursor: adding, updating and removing records with the
// field checks (read-only, required) and the master-detail checks, and the
// undo and revert operations that follow the cursor's record.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "changes/change_log.h"
#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "index/index.h"

namespace pelmora {

using Guard = std::lock_guard<std::recursive_mutex>;

namespace {

bool Required(const FieldDesc& f, const uint8_t* value, uint8_t indicator) {
    if (!(f.attributes & ATTR_REQUIRED)) return false;
    if (indicator != IND_VALUE) return true;
    return f.type == FLD_STRING && f.length > 0 && value[0] == 0;
}

bool Differs(const uint8_t* a, uint8_t aInd, const uint8_t* b, uint8_t bInd, uint32_t width) {
    if ((aInd != IND_VALUE) || (bInd != IND_VALUE))
        return (aInd != IND_VALUE) != (bInd != IND_VALUE);
    return width != 0 && std::memcmp(a, b, width) != 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Master-detail checks.

EngineResult TDSCursor::CheckMasterDelete(uint32_t record) const {
    if (dataset_->flags() & DSF_CASCADE_DELETES) return DS_OK;
    for (const DetailLink& link : AllDetailLinks(*dataset_)) {
        if (HasDetails(*dataset_, record, link)) return DSERR_DETAILRECORDSEXIST;
    }
    return DS_OK;
}

EngineResult TDSCursor::CheckDetailHasMaster(const uint8_t* values) const {
    const DetailLink* link = MyLink();
    if (!link || link->nestedField != 0 || link->masterFields.empty()) return DS_OK;
    if (dataset_->flags() & DSF_DETAILS_WITHOUT_MASTER) return DS_OK;
    TDSBASE& mds = *master_->dataset();
    Guard guard(mds.lock());
    const uint32_t end = mds.next_record();
    for (uint32_t r = 1; r < end; ++r) {
        if (mds.store().StatusAt(r) & (REC_SUPERSEDED | REC_DELETED | REC_DISCARDED)) continue;
        if (LinkValuesMatch(*dataset_, values, link->detailFields, mds, r, link->masterFields))
            return DS_OK;
    }
    return DSERR_NOMASTERRECORD;
}

EngineResult TDSCursor::CheckUpdateLinks(uint32_t record, const uint8_t* newValues,
                                         bool* leavesMaster, std::vector<size_t>* cascades) const {
    const RecordStore& store = dataset_->store();
    const std::vector<FieldDesc>& fields = dataset_->fields();
    auto changed = [&](const std::vector<uint32_t>& list) {
        for (uint32_t field : list) {
            if (field == 0 || field > fields.size()) continue;
            const FieldDesc& f = fields[field - 1];
            if (Differs(newValues + f.offset, newValues[f.indicatorOffset],
                        store.ValueAt(record, field), store.IndicatorAt(record, field), f.length))
                return true;
        }
        return false;
    };
    // As a master: changed link values must carry their details along.
    const std::vector<DetailLink>& links = dataset_->detail_links();
    for (size_t i = 0; i < links.size(); ++i) {
        const DetailLink& link = links[i];
        if (link.nestedField != 0 || link.masterFields.empty()) continue;
        if (!changed(link.masterFields) || !HasDetails(*dataset_, record, link)) continue;
        if (!(dataset_->flags() & DSF_CASCADE_UPDATES)) return DSERR_NOCASCADEDUPDATES;
        cascades->push_back(i);
    }
    // As a detail: new link values need a master record.
    const DetailLink* mine = MyLink();
    if (mine && mine->nestedField == 0 && !mine->masterFields.empty() &&
        changed(mine->detailFields)) {
        *leavesMaster = true;
        if (EngineResult r = CheckDetailHasMaster(newValues); r != DS_OK) return r;
    }
    return DS_OK;
}

EngineResult TDSCursor::CascadeLinkChange(size_t linkIndex, const std::vector<uint8_t>& oldValues,
                                          const uint8_t* newValues) {
    const DetailLink link = dataset_->detail_links()[linkIndex];
    TDSBASE* detail = link.detail;
    if (!detail) return DS_OK;
    Guard guard(detail->lock());
    const uint32_t end = detail->next_record();
    const std::vector<FieldDesc>& mf = dataset_->fields();
    const std::vector<FieldDesc>& df = detail->fields();
    std::vector<uint8_t> buffer(detail->record_size());
    // Each moved detail: its new version and its values before the move.
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> moved;
    EngineResult result = DS_OK;
    for (uint32_t r = 1; r < end && result == DS_OK; ++r) {
        if (detail->store().StatusAt(r) & (REC_SUPERSEDED | REC_DELETED | REC_DISCARDED)) continue;
        if (!LinkValuesMatch(*dataset_, oldValues.data(), link.masterFields, *detail, r,
                             link.detailFields))
            continue;
        if (result = detail->ReadRecord(r, buffer.data()); result != DS_OK) break;
        std::vector<uint8_t> before = buffer;
        for (size_t i = 0; i < link.masterFields.size() && i < link.detailFields.size(); ++i) {
            const FieldDesc& m = mf[link.masterFields[i] - 1];
            const FieldDesc& d = df[link.detailFields[i] - 1];
            std::memset(buffer.data() + d.offset, 0, d.length);
            std::memcpy(buffer.data() + d.offset, newValues + m.offset,
                        std::min(m.length, d.length));
            buffer[d.indicatorOffset] = newValues[m.indicatorOffset];
        }
        uint32_t version = 0;
        result = detail->ModifyRecord(r, buffer.data(), &version);
        if (result == DS_OK) moved.emplace_back(version, std::move(before));
    }
    if (result == DS_OK) return DS_OK;
    // Put the details already moved back, latest first: a logged move is
    // withdrawn from the detail's log, an unlogged one written back.
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
        uint32_t ignored = 0;
        if (detail->logging_on())
            detail->UndoLastChange(&ignored);
        else
            detail->ModifyRecord(it->first, it->second.data(), &ignored);
    }
    return result;
}

EngineResult TDSCursor::CascadeLinkChanges(const std::vector<size_t>& links,
                                           const std::vector<uint8_t>& oldValues,
                                           const uint8_t* newValues) {
    for (size_t i = 0; i < links.size(); ++i) {
        if (EngineResult r = CascadeLinkChange(links[i], oldValues, newValues); r != DS_OK) {
            // The links already carried go back to the old values.
            const std::vector<uint8_t> carried(newValues, newValues + oldValues.size());
            for (size_t k = i; k-- > 0;) CascadeLinkChange(links[k], carried, oldValues.data());
            return r;
        }
    }
    return DS_OK;
}

EngineResult TDSCursor::CheckWithdrawal(uint32_t record, uint32_t restored,
                                        std::vector<uint8_t>& current,
                                        std::vector<uint8_t>& restoredValues,
                                        std::vector<size_t>* cascades) const {
    if (record == 0 || record >= dataset_->next_record()) return DS_OK;
    if (restored == 0) {
        // The record goes away altogether: it must not leave details behind.
        return CheckMasterDelete(record);
    }
    if (restored >= dataset_->next_record()) return DS_OK;
    try {
        current.resize(dataset_->record_size());
        restoredValues.resize(dataset_->record_size());
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    dataset_->ReadRecord(record, current.data());
    dataset_->ReadRecord(restored, restoredValues.data());
    bool leavesMaster = false;
    return CheckUpdateLinks(record, restoredValues.data(), &leavesMaster, cascades);
}

// ---------------------------------------------------------------------------
// Edits.

EngineResult TDSCursor::RemoveCurrentRecord() {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (index_->kind() == IDX_CHANGE) return DSERR_INDEXREADONLY;
    if (dataset_->delta_mode()) return DSERR_NOTSUPPORTED;
    Sync();
    if (status_ != DS_OK) return status_;
    const uint32_t record = currentRecord_;
    if (EngineResult r = CheckMasterDelete(record); r != DS_OK) return r;
    if (EngineResult r = dataset_->DeleteRecord(record); r != DS_OK) return r;
    ++changeCounter_;
    MarkMaster();
    // The position is resolved by the next synchronisation.
    status_ = DSERR_KEYORRECDELETED;
    MakeStale();
    return DS_OK;
}

EngineResult TDSCursor::UpdateCurrentRecord(const void* record) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!record) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    if (index_->kind() == IDX_CHANGE) return DSERR_INDEXREADONLY;
    Sync();
    if (status_ != DS_OK) return status_;
    const uint32_t current = currentRecord_;
    if (current == 0 || current >= dataset_->next_record()) return DSERR_OUTOFRANGE;
    const auto* in = static_cast<const uint8_t*>(record);
    std::vector<uint8_t> stored, scratch;
    try {
        stored.resize(recordSize_);
        scratch.resize(dataset_->record_size());
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    ReadStored(current, stored.data());
    if (std::memcmp(stored.data(), in, recordSize_) == 0) return DS_OK;
    if (EngineResult r = dataset_->ReadRecord(current, scratch.data()); r != DS_OK) return r;
    const std::vector<uint8_t> before = scratch;

    const std::vector<FieldDesc>& target = dataset_->fields();
    const uint32_t common = std::min<uint32_t>(fieldCount_, static_cast<uint32_t>(target.size()));
    for (uint32_t k = 1; k <= common; ++k) {
        const FieldDesc& f = fields_[k - 1];
        const FieldDesc& t = target[k - 1];
        const uint8_t ind = in[f.indicatorOffset];
        const uint8_t* value = in + f.offset;
        // A field never assigned in the buffer keeps its stored value.
        if (ind == IND_UNCHANGED) continue;
        if ((f.attributes & ATTR_READONLY) &&
            Differs(value, ind, stored.data() + f.offset, stored[f.indicatorOffset], f.length))
            return DSERR_READONLYFLD;
        if (t.type == FLD_TABLE || (t.attributes & ATTR_LINK)) continue;
        if (Required(f, value, ind)) return DSERR_REQDERR;
        uint8_t* slot = scratch.data() + t.offset;
        if (t.length) std::memset(slot, 0, t.length);
        if (ind != IND_VALUE) {
            scratch[t.indicatorOffset] = ind;
        } else {
            const uint32_t width = std::min(f.length, t.length);
            if (width) std::memcpy(slot, value, width);
            scratch[t.indicatorOffset] = IND_VALUE;
        }
    }

    if (dataset_->delta_mode()) {
        // A delta is edited in place; the indexes see the record leave with
        // its old values and come back with the new ones.
        if (EngineResult r = dataset_->LeaveIndexes(current); r != DS_OK) return r;
        EngineResult r = dataset_->store().WriteRecord(current, scratch.data());
        if (r == DS_OK) r = dataset_->ReturnToIndexes(current);
        if (r != DS_OK) {
            dataset_->store().WriteRecord(current, before.data());
            dataset_->ReturnToIndexes(current);
            return r;
        }
        ++changeCounter_;
        MakeStale();
        dataset_->NotifyChange();
        return DS_OK;
    }

    bool leavesMaster = false;
    std::vector<size_t> cascades;
    if (EngineResult r = CheckUpdateLinks(current, scratch.data(), &leavesMaster, &cascades);
        r != DS_OK)
        return r;
    // The details move first; if the record itself then cannot change, they
    // move back, so that either both change or neither does.
    if (EngineResult r = CascadeLinkChanges(cascades, before, scratch.data()); r != DS_OK) return r;
    uint32_t version = current;
    if (EngineResult r = dataset_->ModifyRecord(current, scratch.data(), &version); r != DS_OK) {
        CascadeLinkChanges(cascades, scratch, before.data());
        return r;
    }
    if (version != current) {
        TakeRecord(version);
        ++changeCounter_;
    }
    MarkMaster();
    ++changeCounter_;
    MakeStale();
    if (leavesMaster) MoveBeforeFirst();
    return DS_OK;
}

EngineResult TDSCursor::AddRecord(const void* record) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (!record) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    if (index_->kind() == IDX_CHANGE) return DSERR_INDEXREADONLY;
    if (dataset_->delta_mode()) return DSERR_NOTSUPPORTED;
    if (master_) SyncWithMaster();
    const auto* in = static_cast<const uint8_t*>(record);
    std::vector<uint8_t> links, scratch;
    try {
        links.assign(recordSize_, 0);
        scratch.assign(dataset_->record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    // Link values from the master's current record come first.
    std::vector<uint32_t> linkFields;
    const DetailLink* link = MyLink();
    if (link) {
        if (EngineResult r = PutMasterLinkValues(links.data()); r != DS_OK) return r;
        linkFields = link->detailFields;
        if (link->nestedField != 0) linkFields.push_back(dataset_->link_field());
    }

    const std::vector<FieldDesc>& target = dataset_->fields();
    const uint32_t autoinc = dataset_->autoinc_field();
    const uint32_t nextAutoinc = dataset_->next_autoinc();
    const uint32_t nextLink = dataset_->link_counter() + 1;
    bool usedAutoinc = false, usedLink = false;
    for (uint32_t k = 1; k <= target.size(); ++k) {
        const FieldDesc& t = target[k - 1];
        uint8_t* slot = scratch.data() + t.offset;
        if (k > fieldCount_) {
            scratch[t.indicatorOffset] = IND_BLANK;
            continue;
        }
        const FieldDesc& f = fields_[k - 1];
        if (k == autoinc && t.length >= sizeof nextAutoinc) {
            std::memcpy(slot, &nextAutoinc, sizeof nextAutoinc);
            usedAutoinc = true;
            continue;
        }
        if (t.type == FLD_TABLE && !dataset_->nested().empty() && t.length >= sizeof nextLink) {
            std::memcpy(slot, &nextLink, sizeof nextLink);
            usedLink = true;
            continue;
        }
        const uint8_t* value = in + f.offset;
        uint8_t ind = in[f.indicatorOffset];
        const bool isLink = std::find(linkFields.begin(), linkFields.end(), k) != linkFields.end();
        if (ind == IND_UNCHANGED && isLink) {
            value = links.data() + f.offset;
            ind = links[f.indicatorOffset];
        } else if (Required(f, value, ind)) {
            return DSERR_REQDERR;
        }
        const uint32_t width = std::min(f.length, t.length);
        if (ind != IND_VALUE)
            scratch[t.indicatorOffset] = ind;
        else if (width)
            std::memcpy(slot, value, width);
    }

    bool relinked = false;
    std::vector<uint8_t> oldLink;
    uint8_t oldLinkIndicator = IND_BLANK;
    if (link && link->nestedField != 0) {
        if (masterLink_ < 0) return DSERR_DETAILSNOTFETCHED;
        if (masterLink_ == 0) {
            // The master record gets its link value with its first detail.
            TDSBASE& mds = *master_->dataset();
            Guard masterGuard(mds.lock());
            const uint32_t masterRecord = master_->currentRecord_;
            oldLink.resize(mds.fields()[link->nestedField - 1].length);
            mds.store().ReadValue(masterRecord, link->nestedField, oldLink.data(),
                                  &oldLinkIndicator);
            const uint32_t value = mds.NextLinkValue();
            if (EngineResult r = mds.store().WriteValue(masterRecord, link->nestedField, &value);
                r != DS_OK)
                return r;
            masterLink_ = static_cast<int32_t>(value);
            relinked = true;
        }
        WriteLinkValue(scratch.data(), static_cast<uint32_t>(masterLink_));
    } else if (link) {
        if (EngineResult r = CheckDetailHasMaster(scratch.data()); r != DS_OK) return r;
    }

    uint32_t added = 0;
    if (EngineResult r = dataset_->InsertRecord(scratch.data(), &added); r != DS_OK) {
        if (relinked) {
            // The master keeps no link value for a detail that never came.
            TDSBASE& mds = *master_->dataset();
            Guard masterGuard(mds.lock());
            mds.store().WriteValue(master_->currentRecord_, link->nestedField, oldLink.data());
            mds.store().WriteIndicator(master_->currentRecord_, link->nestedField,
                                       oldLinkIndicator);
            masterLink_ = 0;
        }
        return r;
    }
    TakeRecord(added);
    ++changeCounter_;
    status_ =
        index_->kind() == IDX_FILTERED && index_->PositionOf(added) == 0 ? DSERR_NOCURRREC : DS_OK;
    if (relinked) {
        const auto value = static_cast<uint32_t>(masterLink_);
        if (hasStart_) WriteLinkValue(startKey_.data(), value);
        if (hasEnd_) WriteLinkValue(endKey_.data(), value);
    }
    MakeStale();
    MarkMaster();
    if (usedAutoinc) dataset_->set_next_autoinc(nextAutoinc + 1);
    if (usedLink) dataset_->NextLinkValue();
    return DS_OK;
}

// ---------------------------------------------------------------------------
// Undo and revert.

EngineResult TDSCursor::WithdrawLastChange(int32_t follow) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (dataset_->delta_mode()) return DSERR_NOTSUPPORTED;
    // The change to withdraw: a withdrawn insertion must not leave details
    // without their master, a withdrawn modification carries them back.
    std::vector<uint8_t> current, previous;
    std::vector<size_t> cascades;
    if (const DSLOG* log = dataset_->log(); log != nullptr) {
        for (auto e = log->entries().rbegin(); e != log->entries().rend(); ++e) {
            if (e->action == LOG_INSERT || e->action == LOG_MODIFY) {
                const uint32_t restoredVersion = e->action == LOG_MODIFY ? e->previous : 0;
                if (EngineResult r =
                        CheckWithdrawal(e->record, restoredVersion, current, previous, &cascades);
                    r != DS_OK)
                    return r;
            }
            // Entries that record no edit of their own are passed over, as
            // the undo passes over them.
            if (e->action == LOG_DELETE || e->action == LOG_INSERT || e->action == LOG_MODIFY ||
                e->action == LOG_DETAIL_CHANGED)
                break;
        }
    }
    if (EngineResult r = CascadeLinkChanges(cascades, current, previous.data()); r != DS_OK)
        return r;
    uint32_t restored = 0;
    if (EngineResult r = dataset_->UndoLastChange(&restored); r != DS_OK) {
        CascadeLinkChanges(cascades, previous, current.data());
        return r;
    }
    ++changeCounter_;
    if (follow && restored != 0 && restored != currentRecord_) {
        TakeRecord(restored);
        status_ = DS_OK;
        MakeStale();
    }
    return DS_OK;
}

EngineResult TDSCursor::RestoreCurrentRecord() {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    if (dataset_->delta_mode()) return DSERR_NOTSUPPORTED;
    if (!dataset_->log() || dataset_->log()->empty()) return DS_OK;
    Sync();
    if (status_ != DS_OK && status_ != DSERR_KEYORRECDELETED) return status_;
    const uint32_t record = currentRecord_;
    if (record == 0 || record >= dataset_->next_record()) return DS_OK;
    const uint8_t status = dataset_->store().StatusAt(record);
    const bool wasDeleted = (status & REC_DELETED) != 0;
    // Reverting an insertion removes the record, reverting a modification
    // brings back its first version's values: the master-detail checks apply.
    std::vector<uint8_t> current, original;
    std::vector<size_t> cascades;
    if (!wasDeleted && (status & (REC_INSERTED | REC_MODIFIED)) != 0) {
        const uint32_t firstVersion =
            (status & REC_INSERTED) != 0 ? 0 : dataset_->FirstVersion(record);
        if (firstVersion != record) {
            if (EngineResult r =
                    CheckWithdrawal(record, firstVersion, current, original, &cascades);
                r != DS_OK)
                return r;
        }
    }
    if (EngineResult r = CascadeLinkChanges(cascades, current, original.data()); r != DS_OK)
        return r;
    uint32_t first = 0;
    if (EngineResult r = dataset_->RevertRecord(record, &first); r != DS_OK) {
        CascadeLinkChanges(cascades, original, current.data());
        return r;
    }
    ++changeCounter_;
    if (first != 0) {
        TakeRecord(first);
        status_ = DS_OK;
    } else if (!wasDeleted) {
        status_ = DSERR_KEYORRECDELETED;
    }
    MakeStale();
    if (index_->kind() == IDX_CHANGE) index_->Rebuild(nullptr, nullptr);
    return DS_OK;
}

}  // namespace pelmora
