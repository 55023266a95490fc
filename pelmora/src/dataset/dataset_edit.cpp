// The dataset's store edits and their change log: delete, modify and insert
// (new versions under new record numbers while logging is on), undo of the
// last entry, revert of one record, savepoints, merge and the change count.
// Every edit that fails leaves status bytes, indexes, log and counts as they
// were.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "store/value_compare.h"

namespace pelmora {

namespace {

constexpr uint8_t kNotLive = REC_SUPERSEDED | REC_DELETED | REC_DISCARDED;
// Masters above masters are followed at most this far (guards against loops).
constexpr int kMaxMasterDepth = 32;

void BlankSlot(RecordStore& store, uint32_t record) {
    for (uint32_t k = 1; k <= store.field_count(); ++k) store.WriteValue(record, k, nullptr);
}

// Copies every field of `changes` whose indicator is not "unchanged" over the
// record buffer `record` (values and indicators).
void Patch(const std::vector<FieldDesc>& fields, uint8_t* record, const uint8_t* changes) {
    for (const FieldDesc& f : fields) {
        const uint8_t indicator = changes[f.indicatorOffset];
        if (indicator == IND_UNCHANGED) continue;
        if (f.length != 0) std::memcpy(record + f.offset, changes + f.offset, f.length);
        record[f.indicatorOffset] = indicator;
    }
}

// Frees a slot when it is the highest used record number (status 0, the next
// record number goes back), else marks it discarded and counts one more hole.
// Either way its fields become blank.
void FreeOrDiscard(RecordStore& store, uint32_t& holes, uint32_t record) {
    const bool highest = record + 1 == store.next_record();
    if (store.StatusAt(record) == REC_DISCARDED && !highest) return;
    BlankSlot(store, record);
    if (highest) {
        store.SetStatus(record, 0);
        store.SetNextRecord(record);
    } else {
        store.SetStatus(record, REC_DISCARDED);
        ++holes;
    }
}

// The live record of a master dataset whose link values over its link
// `linkNumber` (1-based) match those of a detail record; 0 when none does.
uint32_t LinkedMasterRecord(TDSBASE& master, uint32_t linkNumber, const TDSBASE& detail,
                            uint32_t detailRecord) {
    const DetailLink& link = master.detail_links()[linkNumber - 1];
    const RecordStore& ms = master.store();
    const RecordStore& ds = detail.store();
    const std::vector<FieldDesc>& mfields = master.fields();
    if (detailRecord == 0 || detailRecord >= ds.next_record()) return 0;
    if (link.nestedField != 0 && (detail.link_field() == 0 || link.nestedField > mfields.size())) {
        return 0;
    }
    for (uint32_t r = 1; r < ms.next_record(); ++r) {
        if ((ms.StatusAt(r) & kNotLive) != 0) continue;
        bool match = true;
        if (link.nestedField != 0) {
            uint32_t mine = 0;
            uint32_t theirs = 0;
            std::memcpy(&mine, ms.ValueAt(r, link.nestedField), 4);
            std::memcpy(&theirs, ds.ValueAt(detailRecord, detail.link_field()), 4);
            // The top bit marks details not fetched; the value is the rest.
            match = mine != 0 && (mine & 0x7FFFFFFFu) == (theirs & 0x7FFFFFFFu);
        } else {
            const size_t n = std::min(link.masterFields.size(), link.detailFields.size());
            for (size_t k = 0; k < n && match; ++k) {
                const uint32_t mf = link.masterFields[k];
                const uint32_t df = link.detailFields[k];
                if (mf == 0 || mf > mfields.size() || df == 0 || df > detail.fields().size()) {
                    return 0;
                }
                const bool mb = ms.IndicatorAt(r, mf) != IND_VALUE;
                const bool db = ds.IndicatorAt(detailRecord, df) != IND_VALUE;
                match = mb == db && (mb || pelmora::CompareValues(
                                               mfields[mf - 1].type, ms.ValueAt(r, mf),
                                               ds.ValueAt(detailRecord, df), mfields[mf - 1].length,
                                               &master.collation()) == 0);
            }
        }
        if (match) return r;
    }
    return 0;
}

}  // namespace

// ---- the three edits ------------------------------------------------------

EngineResult TDSBASE::DeleteRecord(uint32_t record) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (logging_ && (readOnly_ != 0 || disableDeletes_ != 0)) return DSERR_READONLY;
    if (EngineResult r = CheckRecord(record); r != DS_OK) return r;
    if (logging_) {
        if (!log_) log_.reset(new (std::nothrow) DSLOG);
        if (!log_) return DSERR_NOMEMORY;
        if (EngineResult r = log_->Reserve(1); r != DS_OK) return r;
    }
    const uint8_t status = store_.StatusAt(record);
    store_.SetStatus(record, status | REC_DELETED);
    if (EngineResult r = NotifyRemoved(record, [&] { store_.SetStatus(record, status); });
        r != DS_OK) {
        return r;
    }
    --liveCount_;
    if (logging_) log_->Append({record, 0, LOG_DELETE});
    NotifyChange();
    return DS_OK;
}

EngineResult TDSBASE::ModifyRecord(uint32_t record, const uint8_t* buffer, uint32_t* newRecord) {
    if (buffer == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (logging_ && (readOnly_ != 0 || disableEdits_ != 0)) return DSERR_READONLY;
    if (EngineResult r = EnsureCapacity(1); r != DS_OK) return r;
    if (EngineResult r = CheckRecord(record); r != DS_OK) return r;

    std::vector<uint8_t> changes;
    std::vector<uint8_t> before;
    std::vector<uint8_t> after;
    try {
        changes.assign(buffer, buffer + layout_.recordSize);
        before.resize(layout_.recordSize);
        after.resize(layout_.recordSize);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (EngineResult r = Calculate(changes.data()); r != DS_OK) return r;
    store_.ReadRecord(record, before.data());
    after = before;
    Patch(fields_, after.data(), changes.data());
    if (EngineResult r = CheckRecordConstraints(after.data()); r != DS_OK) return r;

    if (!logging_ || delta_mode()) {
        // In place: the indexes see the record leave with its old values and
        // come back with the new ones.
        if (EngineResult r = LeaveIndexes(record); r != DS_OK) return r;
        store_.WriteRecord(record, after.data());
        if (EngineResult r = ReturnToIndexes(record); r != DS_OK) {
            store_.WriteRecord(record, before.data());
            ReturnToIndexes(record);
            return r;
        }
        if (newRecord != nullptr) *newRecord = record;
    } else {
        if (!log_) log_.reset(new (std::nothrow) DSLOG);
        if (!log_) return DSERR_NOMEMORY;
        if (EngineResult r = log_->Reserve(1); r != DS_OK) return r;
        const uint32_t n = store_.next_record();
        store_.WriteRecord(n, after.data());
        store_.SetNextRecord(n + 1);
        const uint8_t oldStatus = store_.StatusAt(record);
        store_.SetStatus(record, oldStatus | REC_SUPERSEDED);
        store_.SetStatus(n, REC_MODIFIED | (oldStatus & REC_INSERTED));
        const auto restore = [&] {
            store_.SetStatus(record, oldStatus);
            store_.SetStatus(n, 0);
        };
        if (EngineResult r = NotifyReplaced(n, record, restore); r != DS_OK) {
            BlankSlot(store_, n);
            store_.SetNextRecord(n);
            return r;
        }
        log_->Append({n, record, LOG_MODIFY});
        if (newRecord != nullptr) *newRecord = n;
    }
    if (blobs_) blobs_->Commit();
    NotifyChange();
    return DS_OK;
}

EngineResult TDSBASE::InsertRecord(const uint8_t* buffer, uint32_t* newRecord) {
    if (buffer == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (logging_ && (readOnly_ != 0 || disableInserts_ != 0)) return DSERR_READONLY;
    if (EngineResult r = EnsureCapacity(1); r != DS_OK) return r;
    std::vector<uint8_t> values;
    try {
        values.assign(buffer, buffer + layout_.recordSize);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (EngineResult r = Calculate(values.data()); r != DS_OK) return r;
    if (EngineResult r = CheckRecordConstraints(values.data()); r != DS_OK) return r;
    if (logging_) {
        if (!log_) log_.reset(new (std::nothrow) DSLOG);
        if (!log_) return DSERR_NOMEMORY;
        if (EngineResult r = log_->Reserve(1); r != DS_OK) return r;
    }
    const uint32_t n = store_.next_record();
    store_.WriteRecord(n, values.data());
    store_.SetStatus(n, logging_ ? REC_INSERTED : 0);
    store_.SetNextRecord(n + 1);
    if (EngineResult r = NotifyAdded(n, [&] { store_.SetStatus(n, 0); }); r != DS_OK) {
        BlankSlot(store_, n);
        store_.SetNextRecord(n);
        return r;
    }
    ++liveCount_;
    if (logging_) log_->Append({n, 0, LOG_INSERT});
    if (blobs_) blobs_->Commit();
    if (newRecord != nullptr) *newRecord = n;
    NotifyChange();
    return DS_OK;
}

// ---- undo -----------------------------------------------------------------

EngineResult TDSBASE::UndoLastChange(uint32_t* resultRecord) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    uint32_t result = 0;
    for (;;) {
        if (!log_ || log_->empty()) return DSERR_NOTHINGTOUNDO;
        const LogEntry e = log_->entries().back();
        const uint32_t last = log_->size() - 1;
        const uint32_t used = store_.next_record() - 1;
        auto inStore = [used](uint32_t r) { return r >= 1 && r <= used; };
        if (e.action == LOG_DELETE) {
            if (!inStore(e.record)) return DSERR_OUTOFRANGE;
            const uint8_t status = store_.StatusAt(e.record);
            store_.SetStatus(e.record, status & ~REC_DELETED);
            ++liveCount_;
            RecalculateStored(e.record);
            if (EngineResult r = NotifyAdded(e.record, [&] { store_.SetStatus(e.record, status); });
                r != DS_OK) {
                --liveCount_;
                return r;
            }
            result = e.record;
        } else if (e.action == LOG_INSERT) {
            if (!inStore(e.record)) return DSERR_OUTOFRANGE;
            const uint8_t status = store_.StatusAt(e.record);
            const bool highest = e.record == used;
            store_.SetStatus(e.record, highest ? 0 : REC_DISCARDED);
            if (EngineResult r =
                    NotifyRemoved(e.record, [&] { store_.SetStatus(e.record, status); });
                r != DS_OK) {
                return r;
            }
            store_.SetStatus(e.record, status);
            FreeOrDiscard(store_, holes_, e.record);
            if (highest && autoIncField_ != 0 && nextAutoInc_ > 1) --nextAutoInc_;
            --liveCount_;
            result = e.record;
        } else if (e.action == LOG_MODIFY) {
            if (!inStore(e.record) || !inStore(e.previous)) return DSERR_OUTOFRANGE;
            const uint8_t newStatus = store_.StatusAt(e.record);
            const uint8_t oldStatus = store_.StatusAt(e.previous);
            store_.SetStatus(e.record, e.record == used ? 0 : REC_DISCARDED);
            store_.SetStatus(e.previous, oldStatus & ~REC_SUPERSEDED);
            RecalculateStored(e.previous);
            const auto restore = [&] {
                store_.SetStatus(e.record, newStatus);
                store_.SetStatus(e.previous, oldStatus);
            };
            if (EngineResult r = NotifyReplaced(e.previous, e.record, restore); r != DS_OK) {
                return r;
            }
            store_.SetStatus(e.record, newStatus);
            FreeOrDiscard(store_, holes_, e.record);
            // Cursors on the withdrawn version go back to the earlier one.
            store_.NoteSuccessor(e.record, e.previous);
            result = e.previous;
        } else if (e.action == LOG_DETAIL_CHANGED) {
            // The change happened in the detail dataset of that link.
            if (e.previous >= 1 && e.previous <= detailLinks_.size()) {
                TDSBASE* detail = detailLinks_[e.previous - 1].detail;
                if (detail != nullptr) {
                    uint32_t ignored = 0;
                    EngineResult r = detail->UndoLastChange(&ignored);
                    if (r != DS_OK && ResultCode(r) != DSERR_NOTHINGTOUNDO) return r;
                }
            }
            result = e.record;
        } else {
            // Dropped entries and reorder markers record no edit of their own.
            log_->CutTo(last);
            continue;
        }
        log_->CutTo(last);
        break;
    }
    if (resultRecord != nullptr) *resultRecord = result;
    NotifyChange();
    if (blobs_) blobs_->Rollback();
    return DS_OK;
}

// ---- revert ---------------------------------------------------------------

EngineResult TDSBASE::RevertRecord(uint32_t record, uint32_t* firstVersion) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (firstVersion != nullptr) *firstVersion = 0;
    if (delta_mode()) return DSERR_NOTSUPPORTED;
    if (!log_ || log_->empty()) return DS_OK;
    const uint32_t used = store_.next_record() - 1;
    if (record == 0 || record > used) return DSERR_OUTOFRANGE;
    const uint8_t status = store_.StatusAt(record);
    if ((status & (REC_MODIFIED | REC_INSERTED | REC_DELETED)) == 0) return DS_OK;

    uint32_t kind = LOG_DELETE;
    uint32_t first = 0;
    if ((status & REC_DELETED) == 0) {
        std::vector<LogEntry> compacted;
        try {
            compacted = CompactLog(*log_, *this);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        auto it = std::find_if(compacted.begin(), compacted.end(),
                               [record](const LogEntry& e) { return e.record == record; });
        if (it == compacted.end() || (it->action != LOG_INSERT && it->action != LOG_MODIFY)) {
            return DS_OK;
        }
        kind = it->action;
        if (kind == LOG_MODIFY) first = it->previous;
        if (kind == LOG_MODIFY && (first == 0 || first > used)) return DSERR_OUTOFRANGE;
    }

    // The store and the indexes.
    if (kind == LOG_DELETE) {
        store_.SetStatus(record, status & ~REC_DELETED);
        ++liveCount_;
        RecalculateStored(record);
        if (EngineResult r = NotifyAdded(record, [&] { store_.SetStatus(record, status); });
            r != DS_OK) {
            --liveCount_;
            return r;
        }
    } else if (kind == LOG_INSERT) {
        store_.SetStatus(record, record == used ? 0 : REC_DISCARDED);
        if (EngineResult r = NotifyRemoved(record, [&] { store_.SetStatus(record, status); });
            r != DS_OK) {
            return r;
        }
        store_.SetStatus(record, status);  // the slot is released with the chain below
        --liveCount_;
    } else {
        const uint8_t firstStatus = store_.StatusAt(first);
        store_.SetStatus(record, 0);
        store_.SetStatus(first, firstStatus & ~REC_SUPERSEDED);
        RecalculateStored(first);
        const auto restore = [&] {
            store_.SetStatus(record, status);
            store_.SetStatus(first, firstStatus);
        };
        if (EngineResult r = NotifyReplaced(first, record, restore); r != DS_OK) {
            return r;
        }
    }

    // The log.
    if (kind == LOG_DELETE) {
        const auto& entries = log_->entries();
        for (uint32_t i = log_->size(); i-- > 0;) {
            if (entries[i].action == LOG_DELETE && entries[i].record == record) {
                log_->RemoveAt(i);
                break;
            }
        }
    } else {
        // The whole chain leaves the log: the insertion or first modification
        // and every later modification or deletion of its versions.
        uint32_t start = 0;
        log_->FirstVersion(record, &start);
        const auto& entries = log_->entries();
        std::vector<uint32_t> removed;
        std::vector<uint32_t> versions;
        if (start != 0) {
            try {
                // Every version after the first goes; so does the first
                // version of a reverted insertion (it is the head's record then).
                removed.push_back(start - 1);
                log_->ChainFrom(start - 1, entries[start - 1].record, removed, versions);
            } catch (const std::bad_alloc&) {
                return DSERR_NOMEMORY;
            }
        }
        if (std::find(versions.begin(), versions.end(), record) == versions.end()) {
            versions.push_back(record);
        }
        std::sort(versions.begin(), versions.end(), std::greater<uint32_t>());
        for (uint32_t v : versions) {
            if (v == first || v == 0 || v >= store_.next_record()) continue;
            const bool freedInsert =
                kind == LOG_INSERT && v == record && v + 1 == store_.next_record();
            FreeOrDiscard(store_, holes_, v);
            if (kind == LOG_MODIFY) store_.NoteSuccessor(v, first);
            if (freedInsert && autoIncField_ != 0 && nextAutoInc_ > 1) --nextAutoInc_;
        }
        log_->RemoveEntries(std::move(removed));
    }
    NotifyChange();
    if (firstVersion != nullptr) *firstVersion = first;
    return DS_OK;
}

// ---- detail changes and version chains -------------------------------------

void TDSBASE::LogDetailChange(uint32_t masterRecord, uint32_t linkNumber) {
    TDSBASE* dataset = this;
    uint32_t record = masterRecord;
    uint32_t link = linkNumber;
    for (int depth = 0; depth < kMaxMasterDepth && dataset != nullptr; ++depth) {
        std::lock_guard<std::recursive_mutex> guard(dataset->lock_);
        if (!dataset->logging_) return;
        if (!dataset->log_) dataset->log_.reset(new (std::nothrow) DSLOG);
        if (!dataset->log_) return;
        const uint32_t first = dataset->FirstVersion(record);
        if (dataset->log_->Append({first, link, LOG_DETAIL_CHANGED}) != DS_OK) return;
        // Up the chain: the master's master record that links to this one.
        TDSBASE* outer = dataset->master_;
        if (outer == nullptr) return;
        std::lock_guard<std::recursive_mutex> outerGuard(outer->lock_);
        uint32_t outerLink = 0;
        for (size_t i = 0; i < outer->detailLinks_.size(); ++i) {
            if (outer->detailLinks_[i].detail == dataset) {
                outerLink = static_cast<uint32_t>(i + 1);
                break;
            }
        }
        if (outerLink == 0) return;
        const uint32_t outerRecord = LinkedMasterRecord(*outer, outerLink, *dataset, record);
        if (outerRecord == 0) return;
        dataset = outer;
        record = outerRecord;
        link = outerLink;
    }
}

uint32_t TDSBASE::FirstVersion(uint32_t record) const {
    return log_ ? log_->FirstVersion(record, nullptr) : record;
}

uint32_t TDSBASE::LiveVersion(uint32_t record) const {
    if (!log_ || record == 0 || record >= next_record()) return record;
    if ((store_.StatusAt(record) & REC_SUPERSEDED) == 0) return record;
    const uint32_t latest = log_->LatestVersion(record);
    return latest < next_record() ? latest : record;
}

// ---- merge, change count, savepoints ---------------------------------------

EngineResult TDSBASE::MergeAll(bool includeNested) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (delta_mode()) return DS_OK;
    for (const NestedDetail& nd : nested_) {
        if (!includeNested || nd.dataset == nullptr) continue;
        if (EngineResult r = nd.dataset->MergeAll(); r != DS_OK) return r;
    }
    if (log_ && !log_->empty()) {
        const uint32_t used = store_.next_record() - 1;
        try {
            // The chains in the order of their first entries, each one's
            // entries in log order: taken out one after the other.
            std::vector<uint32_t> chainOf;
            const uint32_t chains = log_->SplitIntoChains(chainOf);
            std::vector<uint32_t> begin(static_cast<size_t>(chains) + 1, 0);
            for (uint32_t c : chainOf) ++begin[c + 1];
            for (uint32_t c = 0; c < chains; ++c) begin[c + 1] += begin[c];
            std::vector<uint32_t> order(chainOf.size());
            std::vector<uint32_t> fill(begin.begin(), begin.end() - 1);
            for (uint32_t i = 0; i < chainOf.size(); ++i) order[fill[chainOf[i]]++] = i;
            const auto& entries = log_->entries();
            std::vector<uint32_t> records;
            // Everything is allocated before the first record changes.
            records.reserve(chainOf.size() + 1);
            for (uint32_t c = 0; c < chains; ++c) {
                const LogEntry head = entries[order[begin[c]]];
                records.clear();
                if (head.action == LOG_MODIFY) records.push_back(head.previous);
                records.push_back(head.record);
                if (head.action == LOG_INSERT || head.action == LOG_MODIFY) {
                    for (uint32_t k = begin[c] + 1; k < begin[c + 1]; ++k) {
                        const LogEntry& e = entries[order[k]];
                        if (e.action == LOG_MODIFY) records.push_back(e.record);
                    }
                }
                // Old versions and deleted records go; the rest become unchanged.
                std::sort(records.begin(), records.end(), std::greater<uint32_t>());
                for (uint32_t r : records) {
                    if (r == 0 || r > used || r >= store_.next_record()) continue;
                    if (head.action == LOG_DETAIL_CHANGED || head.action == LOG_REORDER) {
                        if ((store_.StatusAt(r) & kNotLive) == 0) store_.SetStatus(r, 0);
                        continue;
                    }
                    if ((store_.StatusAt(r) & kNotLive) != 0) {
                        FreeOrDiscard(store_, holes_, r);
                    } else {
                        store_.SetStatus(r, 0);
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        log_->Clear();
    }
    if (changeIndex_ != nullptr) changeIndex_->Rebuild(nullptr, nullptr);
    if (blobs_) blobs_->Commit();
    return DS_OK;
}

EngineResult TDSBASE::AcceptAllChanges() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return MergeChanges(nullptr, nullptr, nullptr, nullptr, nullptr);
}

uint32_t TDSBASE::ChangeCount() const {
    std::lock_guard<std::recursive_mutex> guard(const_cast<std::recursive_mutex&>(lock_));
    if (delta_mode()) return store_.next_record() - 1;
    if (!log_ || log_->empty()) return 0;
    try {
        return static_cast<uint32_t>(CompactLog(*log_, *this).size());
    } catch (const std::bad_alloc&) {
        return log_->size();
    }
}

uint32_t TDSBASE::CreateSavepoint() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!log_ || log_->empty()) return 0;
    return log_->savepoints().Create(log_->size());
}

EngineResult TDSBASE::UndoToSavepoint(uint32_t savepoint) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    uint32_t target = 0;
    if (savepoint != 0) {
        if (!log_) return DSERR_INVALIDPARAM;
        if (EngineResult r = log_->savepoints().Length(savepoint, &target); r != DS_OK) return r;
    }
    while (log_ && log_->size() > target) {
        uint32_t ignored = 0;
        if (EngineResult r = UndoLastChange(&ignored); r != DS_OK) {
            // Only dropped entries were left above the target.
            if (ResultCode(r) == DSERR_NOTHINGTOUNDO && log_->size() <= target) break;
            return r;
        }
    }
    return DS_OK;
}

bool TDSBASE::SameValues(uint32_t a, uint32_t b) const {
    const uint32_t used = store_.next_record() - 1;
    if (a == 0 || a > used || b == 0 || b > used) return false;
    for (uint32_t k = 1; k <= fields_.size(); ++k) {
        const FieldDesc& f = fields_[k - 1];
        if (f.calculated != 0 || (f.attributes & ATTR_LINK) != 0 || f.type == FLD_TABLE ||
            f.length == 0) {
            continue;
        }
        const uint8_t ib = store_.IndicatorAt(b, k);
        if (ib == IND_UNCHANGED) continue;  // never assigned in the newer version
        const bool blankA = store_.IndicatorAt(a, k) != IND_VALUE;
        const bool blankB = ib != IND_VALUE;
        if (blankA != blankB) return false;
        if (blankA) continue;
        const uint8_t* va = store_.ValueAt(a, k);
        const uint8_t* vb = store_.ValueAt(b, k);
        if (f.type == FLD_BLOB) {
            uint32_t ra = 0;
            uint32_t rb = 0;
            std::memcpy(&ra, va, 4);
            std::memcpy(&rb, vb, 4);
            bool equal = ra == rb;
            if (!equal && blobs_) {
                if (blobs_->Compare(ra, rb, equal) != DS_OK) equal = false;
            }
            if (!equal) return false;
        } else if (f.type == FLD_BCD) {
            if (std::memcmp(va, vb, f.length) != 0) return false;
        } else if (pelmora::CompareValues(f.type, va, vb, f.length, collation_.get()) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace pelmora

namespace pelmora {

// ---- settling one change -----------------------------------------------------

EngineResult TDSBASE::RemoveChain(const LogEntry& change, bool keepDetailChanges) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!log_ || log_->empty()) return DS_OK;
    const auto& entries = log_->entries();
    // The record the chain starts from: a modification's or deletion's first
    // version, an insertion's first inserted version, a detail change's master.
    uint32_t root = change.action == LOG_MODIFY ? change.previous : change.record;
    if (change.action == LOG_INSERT) root = log_->FirstVersion(change.record, nullptr);
    std::vector<uint32_t> removed;
    std::vector<uint32_t> versions;
    std::vector<uint32_t> detailChanges;  // kept ones, when asked to
    const bool keep = keepDetailChanges && change.action != LOG_DETAIL_CHANGED;
    uint32_t current = root;
    bool ended = false;
    try {
        versions.push_back(root);
        for (uint32_t i = 0; i < entries.size(); ++i) {
            const LogEntry& e = entries[i];
            if (e.action == LOG_DETAIL_CHANGED) {
                if (std::find(versions.begin(), versions.end(), e.record) != versions.end())
                    (keep ? detailChanges : removed).push_back(i);
                continue;
            }
            if (ended || change.action == LOG_DETAIL_CHANGED) continue;
            if (e.action == LOG_INSERT && e.record == root) {
                removed.push_back(i);
            } else if (e.action == LOG_MODIFY && e.previous == current) {
                removed.push_back(i);
                current = e.record;
                versions.push_back(current);
            } else if (e.action == LOG_DELETE && e.record == current) {
                removed.push_back(i);
                ended = true;
            }
        }
        // A master that is gone takes its detail changes along; one that
        // stays carries them on its live version.
        if (ended) removed.insert(removed.end(), detailChanges.begin(), detailChanges.end());
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (!ended) {
        for (uint32_t i : detailChanges) log_->SetRecord(i, current);
    }
    log_->RemoveEntries(std::move(removed));
    if (versions.size() > 1) {
        std::sort(versions.begin(), versions.end(), std::greater<uint32_t>());
        for (uint32_t v : versions) {
            if (v == 0 || v >= store_.next_record()) continue;
            if ((store_.StatusAt(v) & kNotLive) != 0) {
                FreeOrDiscard(store_, holes_, v);
            } else {
                store_.SetStatus(v, 0);
            }
        }
    }
    return DS_OK;
}

}  // namespace pelmora

namespace pelmora {

EngineResult TDSBASE::DiscardRecord(uint32_t record) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (record == 0 || record >= store_.next_record()) return DSERR_OUTOFRANGE;
    const uint8_t status = store_.StatusAt(record);
    if ((status & kNotLive) == 0) {
        if (EngineResult r = NotifyRemoved(record); r != DS_OK) return r;
        --liveCount_;
    }
    store_.SetStatus(record, REC_DELETED);  // not live: freed or discarded below
    FreeOrDiscard(store_, holes_, record);
    return DS_OK;
}

}  // namespace pelmora
