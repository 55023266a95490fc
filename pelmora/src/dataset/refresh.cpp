// Refreshing records from a packet of current values: the record refresh
// (old versions of a pending modification keep what the caller changed and
// take the new values elsewhere), nested detail lists filled or brought in
// line with the packet's, and RefreshFromPacket finding each row's record by
// the unique default order. Everything here changes the store in place,
// without logging.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "changes/change_log.h"
#include "changes/delta.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "platform/collation.h"
#include "store/record_buffer.h"
#include "store/value_compare.h"

namespace pelmora {

namespace {

constexpr uint8_t kNotLive = REC_SUPERSEDED | REC_DELETED | REC_DISCARDED;
constexpr uint32_t kLinkNotFetched = 0x80000000u;

bool Skipped(const TDSBASE& ds, uint32_t k) {
    const FieldDesc& f = ds.fields()[k - 1];
    return f.type == FLD_TABLE || (f.attributes & ATTR_LINK) != 0 || k == ds.link_field() ||
           (f.calculated != 0) || f.length == 0;
}

// True when stored field k of `record` equals the field in a buffer of the
// dataset's layout (blank equals blank; BLOBs by content).
bool FieldEqualsBuffer(TDSBASE& ds, uint32_t record, uint32_t k, const uint8_t* buffer) {
    const FieldDesc& f = ds.fields()[k - 1];
    const RecordStore& s = ds.store();
    const bool blankA = s.IndicatorAt(record, k) != IND_VALUE;
    const bool blankB = buffer[f.indicatorOffset] != IND_VALUE;
    if (blankA != blankB) return false;
    if (blankA) return true;
    const uint8_t* a = s.ValueAt(record, k);
    const uint8_t* b = buffer + f.offset;
    if (f.type == FLD_BLOB) {
        uint32_t ra = 0;
        uint32_t rb = 0;
        std::memcpy(&ra, a, 4);
        std::memcpy(&rb, b, 4);
        bool equal = ra == rb;
        if (!equal && ds.blobs() != nullptr && ds.blobs()->Compare(ra, rb, equal) != DS_OK)
            equal = false;
        return equal;
    }
    if (f.type == FLD_BCD) return std::memcmp(a, b, f.length) == 0;
    return ds.CompareValues(f.type, a, b, f.length) == 0;
}

bool FieldsEqual(TDSBASE& ds, uint32_t a, uint32_t b, uint32_t k) {
    const RecordStore& s = ds.store();
    const bool blankA = s.IndicatorAt(a, k) != IND_VALUE;
    const bool blankB = s.IndicatorAt(b, k) != IND_VALUE;
    if (blankA != blankB) return false;
    if (blankA) return true;
    std::vector<uint8_t> one(ds.record_size(), 0);
    ds.ReadRecord(b, one.data());
    return FieldEqualsBuffer(ds, a, k, one.data());
}

uint32_t LinkValue(const TDSBASE& ds, uint32_t record, uint32_t k, bool* blank) {
    uint32_t v = 0;
    *blank = ds.store().IndicatorAt(record, k) != IND_VALUE;
    if (!*blank) std::memcpy(&v, ds.store().ValueAt(record, k), 4);
    return v;
}

// BLOB references of two datasets compared by content; references whose
// bytes were not fetched are equal only to the same reference.
bool BlobsEqual(TDSBASE& a, uint32_t ra, TDSBASE& b, uint32_t rb) {
    if (((ra | rb) & kLinkNotFetched) != 0 || a.blobs() == nullptr || b.blobs() == nullptr)
        return ra == rb;
    uint32_t la = 0;
    uint32_t lb = 0;
    if (a.blobs()->Length(ra, la) != DS_OK || b.blobs()->Length(rb, lb) != DS_OK || la != lb)
        return false;
    std::vector<uint8_t> ba;
    std::vector<uint8_t> bb;
    try {
        ba.resize(la);
        bb.resize(lb);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return a.blobs()->Read(ra, 0, ba.data(), la) == DS_OK &&
           b.blobs()->Read(rb, 0, bb.data(), lb) == DS_OK && ba == bb;
}

// True when field k of a stored record equals field k of a source row. A
// source field of another type or width counts as blank, as copying the row
// across leaves it; a source field marked unchanged equals anything.
bool SameAsRow(TDSBASE& ds, uint32_t record, TDSBASE& source, uint32_t row, uint32_t k,
               bool caseless) {
    const FieldDesc& f = ds.fields()[k - 1];
    const bool comparable = k <= source.field_count() && source.fields()[k - 1].type == f.type &&
                            source.fields()[k - 1].length == f.length;
    const uint8_t theirs =
        comparable ? source.store().IndicatorAt(row, k) : static_cast<uint8_t>(IND_BLANK);
    if (theirs == IND_UNCHANGED) return true;
    const bool blankA = ds.store().IndicatorAt(record, k) != IND_VALUE;
    const bool blankB = theirs != IND_VALUE;
    if (blankA || blankB) return blankA == blankB;
    const uint8_t* a = ds.store().ValueAt(record, k);
    const uint8_t* b = source.store().ValueAt(row, k);
    if (f.type == FLD_BLOB) {
        uint32_t ra = 0;
        uint32_t rb = 0;
        std::memcpy(&ra, a, 4);
        std::memcpy(&rb, b, 4);
        return BlobsEqual(ds, ra, source, rb);
    }
    if (f.type == FLD_BCD) return std::memcmp(a, b, f.length) == 0;
    if (f.type == FLD_STRING && caseless)
        return ds.collation().Compare(reinterpret_cast<const char*>(a), -1,
                                      reinterpret_cast<const char*>(b), -1, true) == 0;
    return ds.CompareValues(f.type, a, b, f.length) == 0;
}

// True when the change log still names a record (as changed, or as the
// master of changed details).
bool Logged(TDSBASE& ds, uint32_t record) {
    const DSLOG* log = ds.log();
    if (log == nullptr) return false;
    for (const LogEntry& e : log->entries()) {
        if (e.record == record) return true;
        if ((e.action & 0xFF) != LOG_DETAIL_CHANGED && e.previous == record) return true;
    }
    return false;
}

// Adds a source detail row to `d` under `link`, without logging; its own
// details follow under link values of d's counter.
EngineResult AppendDetailRow(TDSBASE& d, TDSBASE& s, uint32_t row, uint32_t link, uint8_t* buffer) {
    if (EngineResult e = CopyRecordAcross(s, row, d, buffer, 0); e != DS_OK) return e;
    WriteBufferValue(d.fields(), buffer, d.link_field(), &link);
    for (const NestedDetail& inner : d.nested()) {
        bool blank = false;
        const uint32_t innerSource = LinkValue(s, row, inner.field, &blank);
        if (blank) continue;
        const uint32_t fresh = d.NextLinkValue();
        if ((innerSource & kLinkNotFetched) != 0) {
            const uint32_t marked = fresh | kLinkNotFetched;
            WriteBufferValue(d.fields(), buffer, inner.field, &marked);
            continue;
        }
        WriteBufferValue(d.fields(), buffer, inner.field, &fresh);
        if (EngineResult e = d.CopyDetailsUnder(inner.field, s, inner.field, innerSource, fresh);
            e != DS_OK)
            return e;
    }
    return d.AppendRow(buffer, 0, nullptr);
}

// Brings the detail records of `d` under `link` in line with the source's
// detail rows under `sourceLink`, without logging. A row and a record stand
// for the same detail when the record's first version has the row's key
// (the unique default order's fields, else every data field). A matched
// record is refreshed (a pending modification keeps its own changes, a
// pending deletion stands), a row without a record is added, and an
// unchanged record without a row goes. Pending insertions and records that
// the log still names are left as they are.
EngineResult MergeDetails(TDSBASE& d, TDSBASE& s, uint32_t sourceLink, uint32_t link) {
    std::lock_guard guard(d.lock());
    if (d.link_field() == 0 || s.link_field() == 0) return DS_OK;
    std::vector<uint32_t> key;
    std::vector<bool> caseless;
    std::vector<uint8_t> buffer;
    struct Candidate {
        uint32_t record;
        uint32_t first;
        bool matched;
    };
    std::vector<Candidate> candidates;
    std::vector<uint32_t> added;
    try {
        if (const DSIDX* order = d.default_index(); order != nullptr && order->desc().unique != 0) {
            const IndexDesc& desc = order->desc();
            for (uint32_t i = 0; i < desc.fieldCount && i < 16; ++i) {
                const uint32_t k = desc.fields[i];
                if (k == 0 || k > d.field_count() || k == d.link_field()) continue;
                key.push_back(k);
                caseless.push_back(desc.caseInsensitive[i] != 0);
            }
        }
        for (uint32_t k = 1; key.empty() && k <= d.field_count(); ++k) {
            if (!Skipped(d, k)) {
                key.push_back(k);
                caseless.push_back(false);
            }
        }
        if (key.empty()) return DS_OK;
        buffer.assign(d.record_size(), 0);
        for (uint32_t r = 1; r < d.next_record(); ++r) {
            bool blank = false;
            const uint32_t v = LinkValue(d, r, d.link_field(), &blank);
            const uint8_t status = d.store().StatusAt(r);
            if (blank || v != link ||
                (status & (REC_SUPERSEDED | REC_DISCARDED | REC_INSERTED)) != 0)
                continue;
            candidates.push_back({r, d.FirstVersion(r), false});
        }
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }

    for (uint32_t row = 1; row < s.next_record(); ++row) {
        bool blank = false;
        const uint32_t v = LinkValue(s, row, s.link_field(), &blank);
        if (blank || v != sourceLink || (s.store().StatusAt(row) & kNotLive) != 0) continue;
        Candidate* match = nullptr;
        for (Candidate& c : candidates) {
            bool same = !c.matched;
            for (size_t i = 0; i < key.size() && same; ++i)
                same = SameAsRow(d, c.first, s, row, key[i], caseless[i]);
            if (same) {
                match = &c;
                break;
            }
        }
        if (match == nullptr) {
            try {
                added.push_back(row);
            } catch (const std::bad_alloc&) {
                return DSERR_NOMEMORY;
            }
            continue;
        }
        match->matched = true;
        const uint8_t status = d.store().StatusAt(match->record);
        if ((status & REC_DELETED) != 0) continue;
        // An unchanged record that equals its row keeps its values; its own
        // details still follow the row's.
        bool equal = status == 0;
        for (uint32_t k = 1; k <= d.field_count() && equal; ++k) {
            if (!Skipped(d, k)) equal = SameAsRow(d, match->record, s, row, k, false);
        }
        EngineResult e = equal ? d.RefreshDetails(match->record, s, row)
                               : d.RefreshRecord(match->record, s, row, true);
        if (e != DS_OK) return e;
    }
    for (uint32_t row : added) {
        if (EngineResult e = AppendDetailRow(d, s, row, link, buffer.data()); e != DS_OK) return e;
    }
    for (const Candidate& c : candidates) {
        if (c.matched || d.store().StatusAt(c.record) != 0 || Logged(d, c.record)) continue;
        for (const NestedDetail& inner : d.nested()) {
            bool blank = false;
            const uint32_t innerLink = LinkValue(d, c.record, inner.field, &blank);
            if (blank) continue;
            if (EngineResult e = d.DropDetailsUnder(inner.field, innerLink); e != DS_OK) return e;
        }
        if (EngineResult e = d.DiscardRecord(c.record); e != DS_OK) return e;
    }
    return DS_OK;
}

}  // namespace

EngineResult TDSBASE::WriteOver(uint32_t record, const uint8_t* buffer) {
    if (record == 0 || record >= next_record()) return DSERR_OUTOFRANGE;
    std::vector<uint8_t> before;
    try {
        before.assign(record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    store_.ReadRecord(record, before.data());
    // The indexes see the record leave with its old values and come back
    // with the new ones.
    if (EngineResult r = LeaveIndexes(record); r != DS_OK) return r;
    EngineResult r = DS_OK;
    for (uint32_t k = 1; k <= field_count() && r == DS_OK; ++k) {
        const FieldDesc& f = fields_[k - 1];
        if (f.type == FLD_TABLE || (f.attributes & ATTR_LINK) != 0 || k == linkField_) continue;
        const uint8_t indicator = buffer[f.indicatorOffset];
        if (indicator == IND_UNCHANGED) continue;
        r = indicator == IND_BLANK ? store_.WriteValue(record, k, nullptr)
                                   : store_.WriteValue(record, k, buffer + f.offset);
    }
    if (r == DS_OK) {
        if (blobs_) blobs_->Commit();
        RecalculateStored(record);
        r = ReturnToIndexes(record);
        if (r == DS_OK) return DS_OK;
    }
    store_.WriteRecord(record, before.data());
    ReturnToIndexes(record);
    return r;
}

EngineResult TDSBASE::DropDetailsUnder(uint32_t field, uint32_t link) {
    const NestedDetail* nested = NestedFor(field);
    if (nested == nullptr || nested->dataset == nullptr) return DS_OK;
    TDSBASE& d = *nested->dataset;
    std::lock_guard guard(d.lock_);
    if (d.linkField_ == 0) return DS_OK;
    for (uint32_t r = d.next_record(); r-- > 1;) {
        bool blank = false;
        const uint32_t v = LinkValue(d, r, d.linkField_, &blank);
        if (blank || (v & ~kLinkNotFetched) != (link & ~kLinkNotFetched)) continue;
        if (d.store_.StatusAt(r) == REC_DISCARDED) continue;
        for (const NestedDetail& inner : d.nested_) {
            const uint32_t innerLink = LinkValue(d, r, inner.field, &blank);
            if (!blank) {
                if (EngineResult e = d.DropDetailsUnder(inner.field, innerLink); e != DS_OK)
                    return e;
            }
        }
        if (EngineResult e = d.DiscardRecord(r); e != DS_OK) return e;
    }
    return DS_OK;
}

EngineResult TDSBASE::CopyDetailsUnder(uint32_t field, TDSBASE& source, uint32_t sourceField,
                                       uint32_t sourceLink, uint32_t link) {
    const NestedDetail* mine = NestedFor(field);
    const NestedDetail* theirs = source.NestedFor(sourceField);
    if (mine == nullptr || theirs == nullptr || mine->dataset == nullptr ||
        theirs->dataset == nullptr)
        return DS_OK;
    TDSBASE& d = *mine->dataset;
    TDSBASE& s = *theirs->dataset;
    std::lock_guard guard(d.lock_);
    if (d.linkField_ == 0 || s.linkField_ == 0) return DS_OK;
    std::vector<uint8_t> buffer;
    try {
        buffer.assign(d.record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    for (uint32_t r = 1; r < s.next_record(); ++r) {
        bool blank = false;
        const uint32_t v = LinkValue(s, r, s.linkField_, &blank);
        if (blank || v != sourceLink || (s.store_.StatusAt(r) & kNotLive) != 0) continue;
        if (EngineResult e = AppendDetailRow(d, s, r, link, buffer.data()); e != DS_OK) return e;
    }
    return DS_OK;
}

EngineResult TDSBASE::RefreshDetails(uint32_t r, TDSBASE& source, uint32_t s) {
    for (const NestedDetail& nested : nested_) {
        const uint32_t k = nested.field;
        if (k > source.field_count() || source.fields()[k - 1].type != FLD_TABLE) continue;
        const uint8_t theirsIndicator = source.store().IndicatorAt(s, k);
        if (theirsIndicator == IND_UNCHANGED) continue;
        bool mineBlank = false;
        bool theirsBlank = false;
        uint32_t mine = LinkValue(*this, r, k, &mineBlank);
        const uint32_t theirs = LinkValue(source, s, k, &theirsBlank);
        if (mineBlank && theirsBlank) continue;
        const bool notFetched = !mineBlank && (mine & kLinkNotFetched) != 0;
        if (notFetched) {
            if (theirsBlank) {
                store_.WriteValue(r, k, nullptr);
                continue;
            }
            mine &= ~kLinkNotFetched;
            if (EngineResult e = CopyDetailsUnder(k, source, k, theirs, mine); e != DS_OK) return e;
            // The cleared link goes to the record and its earlier versions.
            for (uint32_t v = 1; v < next_record(); ++v) {
                bool blank = false;
                if (LinkValue(*this, v, k, &blank) == (mine | kLinkNotFetched) && !blank)
                    store_.WriteValue(v, k, &mine);
            }
            continue;
        }
        if (theirsBlank) {
            if (EngineResult e = DropDetailsUnder(k, mine); e != DS_OK) return e;
            store_.WriteValue(r, k, nullptr);
            continue;
        }
        if (mineBlank) {
            mine = NextLinkValue();
            store_.WriteValue(r, k, &mine);
            if (EngineResult e = CopyDetailsUnder(k, source, k, theirs, mine); e != DS_OK) return e;
            continue;
        }
        // A fetched list takes the source's list as it is: details it
        // already holds stay, the others are added or go.
        const NestedDetail* theirsNested = source.NestedFor(k);
        if (nested.dataset == nullptr || theirsNested == nullptr ||
            theirsNested->dataset == nullptr)
            continue;
        if (EngineResult e = MergeDetails(*nested.dataset, *theirsNested->dataset, theirs, mine);
            e != DS_OK)
            return e;
    }
    return DS_OK;
}

EngineResult TDSBASE::RefreshRecord(uint32_t r, TDSBASE& source, uint32_t s, bool nested) {
    std::lock_guard guard(lock_);
    if (r == 0 || r >= next_record()) return DSERR_OUTOFRANGE;
    std::vector<uint8_t> values;
    try {
        values.assign(record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (EngineResult e = CopyRecordAcross(source, s, *this, values.data(), 0); e != DS_OK) return e;

    if (store_.StatusAt(r) == REC_MODIFIED && log_) {
        // The versions from the first (o) to the current one (r).
        std::vector<uint32_t> chain{r};
        uint32_t current = r;
        const auto& entries = log_->entries();
        for (size_t i = entries.size(); i-- > 0;) {
            if (entries[i].action == LOG_MODIFY && entries[i].record == current &&
                entries[i].previous != current && entries[i].previous != 0) {
                current = entries[i].previous;
                chain.push_back(current);
            }
        }
        const uint32_t o = chain.back();
        bool same = true;
        for (uint32_t k = 1; k <= field_count() && same; ++k) {
            if (!Skipped(*this, k)) same = FieldEqualsBuffer(*this, o, k, values.data());
        }
        if (!same) {
            std::vector<uint8_t> version(record_size(), 0);
            for (size_t i = 0; i + 1 < chain.size(); ++i) {
                const uint32_t v = chain[i];
                bool differs = false;
                version = values;
                for (uint32_t k = 1; k <= field_count(); ++k) {
                    if (Skipped(*this, k)) continue;
                    if (!FieldsEqual(*this, v, o, k)) {
                        differs = true;
                        version[fields_[k - 1].indicatorOffset] = IND_UNCHANGED;
                    }
                }
                if (!differs) break;
                if (EngineResult e = WriteOver(v, version.data()); e != DS_OK) return e;
            }
            if (EngineResult e = WriteOver(o, values.data()); e != DS_OK) return e;
        }
    } else {
        if (EngineResult e = WriteOver(r, values.data()); e != DS_OK) return e;
    }
    if (nested) return RefreshDetails(r, source, s);
    return DS_OK;
}

EngineResult TDSBASE::RefreshFromPacket(SAFEARRAY* packet, uint32_t recordNumber) {
    if (packet == nullptr) return DSERR_INVALIDPARAM;
    TDSBASE* source = NewDataset();
    if (source == nullptr) return DSERR_NOMEMORY;
    source->AddRef();
    struct Releaser {
        TDSBASE* p;
        ~Releaser() { p->Release(); }
    } releaser{source};
    if (EngineResult r = source->LoadPacket(packet, 1); r != DS_OK) return r;
    std::vector<uint32_t> rows;
    for (uint32_t s = 1; s < source->next_record(); ++s) {
        if ((source->store().StatusAt(s) & kNotLive) == 0) rows.push_back(s);
    }
    if (rows.empty() || (recordNumber != 0 && rows.size() > 1)) return DSERR_NOTSUPPORTED;

    std::lock_guard guard(lock_);
    if (recordNumber != 0) return RefreshRecord(recordNumber, *source, rows.front(), true);
    DSIDX* order = defaultIndex_;
    if (order == nullptr || order->desc().unique == 0) return DSERR_NOTSUPPORTED;
    const IndexDesc desc = order->desc();
    std::vector<uint8_t> key;
    try {
        key.assign(record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    // A live record whose key fields equal the row's (the hidden link field
    // aside: the packet's link values are its own).
    auto matches = [&](uint32_t r) {
        if ((store_.StatusAt(r) & kNotLive) != 0) return false;
        for (uint32_t i = 0; i < desc.fieldCount && i < 16; ++i) {
            const uint32_t k = desc.fields[i];
            if (k == 0 || k > field_count()) return false;
            if (k == linkField_) continue;
            const FieldDesc& f = fields_[k - 1];
            const bool blankA = store_.IndicatorAt(r, k) != IND_VALUE;
            const bool blankB = key[f.indicatorOffset] != IND_VALUE;
            if (blankA || blankB) {
                if (blankA != blankB) return false;
                continue;
            }
            const bool equal =
                f.type == FLD_STRING && desc.caseInsensitive[i] != 0
                    ? collation().Compare(reinterpret_cast<const char*>(store_.ValueAt(r, k)), -1,
                                          reinterpret_cast<const char*>(key.data() + f.offset), -1,
                                          true) == 0
                    : FieldEqualsBuffer(*this, r, k, key.data());
            if (!equal) return false;
        }
        return true;
    };
    // The order's key search serves when every key field is the row's own; a
    // key led by the hidden link field leaves only the scan of the store.
    bool searchable = desc.fieldCount != 0 && desc.fieldCount <= 16;
    for (uint32_t i = 0; i < desc.fieldCount && searchable; ++i) {
        const uint32_t k = desc.fields[i];
        searchable = k != 0 && k <= field_count() && k != linkField_;
    }
    EngineResult last = DS_OK;
    for (uint32_t s : rows) {
        if (EngineResult e = CopyRecordAcross(*source, s, *this, key.data(), 0); e != DS_OK)
            return e;
        uint32_t found = 0;
        if (searchable) {
            // The lowest matching record number among the entries with an
            // equal key, as the scan would find it.
            uint32_t position = 0;
            if (order->SearchKey(key.data(), desc.fieldCount, 0, &position)) {
                for (uint32_t p = position; p <= order->count(); ++p) {
                    const uint32_t r = order->EntryAt(p);
                    if (order->CompareKey(key.data(), desc.fieldCount, 0, r) != 0) break;
                    if ((found == 0 || r < found) && matches(r)) found = r;
                }
            }
        } else {
            for (uint32_t r = 1; r < next_record() && found == 0; ++r) {
                if (matches(r)) found = r;
            }
        }
        if (found == 0) continue;
        last = RefreshRecord(found, *source, s, true);
        if (last != DS_OK) return last;
    }
    return last;
}

}  // namespace pelmora
