// The change index: the records the change log names, in the order the log
// names them, narrowed by the status filter byte.
#include <cstring>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "index/index.h"

namespace pelmora {

namespace {

bool Wants(uint8_t filter, uint8_t kind) {
    return filter == 0 || (filter & kind) != 0;
}

}  // namespace

DSIDXCHG::DSIDXCHG(TDSBASE* dataset) : DSIDX(dataset, IDX_CHANGE) {
    std::strncpy(desc_.name, "CHANGEINDEX", sizeof desc_.name - 1);
}

void DSIDXCHG::Include(uint32_t record) {
    if (PositionOf(record) == 0) InsertAt(count() + 1, record);
}

void DSIDXCHG::Exclude(uint32_t record) {
    RemoveAt(PositionOf(record));
}

EngineResult DSIDXCHG::Rebuild(const IndexDesc* desc, const DSIDX*) {
    DSLOG* log = dataset_->log();
    const uint32_t length = log != nullptr ? log->size() : 0;
    if (EngineResult r = Reserve(length + 10); r != DS_OK) return r;
    if (desc != nullptr) {
        if (EngineResult r = InstallDescriptor(*desc); r != DS_OK) return r;
    }
    entries_.Clear();
    Touch();
    TellGrouping(EntryEvent::Reordered, 0);
    if (log == nullptr) return DS_OK;
    const uint32_t records = dataset_->next_record() - 1;
    auto valid = [records](uint32_t r) { return r >= 1 && r <= records; };
    for (const LogEntry& e : log->entries()) {
        switch (e.action) {
            case LOG_DELETE:
                if (valid(e.record)) Removed(e.record);
                break;
            case LOG_INSERT:
                if (valid(e.record)) Added(e.record);
                break;
            case LOG_MODIFY:
                if (valid(e.record) && valid(e.previous)) Replaced(e.record, e.previous);
                break;
            default:
                break;
        }
    }
    return DS_OK;
}

bool DSIDXCHG::Active() const {
    return suspended_ == 0 && dataset_->logging_on();
}

EngineResult DSIDXCHG::RecordAdded(uint32_t record) {
    if (Active()) Added(record);
    return DS_OK;
}

EngineResult DSIDXCHG::RecordRemoved(uint32_t record) {
    if (Active()) Removed(record);
    return DS_OK;
}

EngineResult DSIDXCHG::RecordReplaced(uint32_t newRecord, uint32_t oldRecord) {
    if (Active()) Replaced(newRecord, oldRecord);
    return DS_OK;
}

void DSIDXCHG::Added(uint32_t record) {
    if (!Wants(filter_, REC_INSERTED)) return;
    if ((dataset_->store().StatusAt(record) & REC_INSERTED) != 0) {
        Include(record);
    } else {
        Exclude(record);
    }
}

void DSIDXCHG::Removed(uint32_t record) {
    if (!Wants(filter_, REC_DELETED)) return;
    // A record that leaves the store by deletion is listed; one that leaves
    // because its insertion was undone (freed or discarded) is not.
    if ((dataset_->store().StatusAt(record) & REC_DELETED) != 0) {
        Include(record);
    } else {
        Exclude(record);
    }
}

void DSIDXCHG::Replaced(uint32_t newRecord, uint32_t oldRecord) {
    if (!Wants(filter_, REC_MODIFIED)) return;
    const uint8_t oldStatus = dataset_->store().StatusAt(oldRecord);
    if (oldStatus == REC_SUPERSEDED) {
        Include(oldRecord);
    } else if (oldStatus != (REC_SUPERSEDED | REC_INSERTED)) {
        Exclude(oldRecord);
    }
    const uint8_t newStatus = dataset_->store().StatusAt(newRecord);
    if (newStatus == 0) {
        Exclude(newRecord);
    } else if (newStatus != REC_INSERTED) {
        Include(newRecord);
    }
}

}  // namespace pelmora
