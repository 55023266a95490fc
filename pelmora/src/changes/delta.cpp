// Making a delta: the rows of every surviving change of the compacted log,
// with old versions, unchanged markers and the BLOB rule, and the deltas of
// nested details attached under their masters.
#include "changes/delta.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>

#include "dataset/dataset.h"
#include "index/index.h"
#include "store/record_buffer.h"

namespace pelmora {

namespace {

constexpr uint8_t kNotLive = REC_SUPERSEDED | REC_DELETED | REC_DISCARDED;

// True when field k holds equal values in records a and b of one dataset
// (never assigned in b and calculated fields count as equal).
bool SameField(TDSBASE& ds, uint32_t a, uint32_t b, uint32_t k) {
    const FieldDesc& f = ds.fields()[k - 1];
    const RecordStore& s = ds.store();
    if (f.calculated != 0 && (f.attributes & ATTR_LINK) == 0) return true;
    const uint8_t ib = s.IndicatorAt(b, k);
    if (ib == IND_UNCHANGED) return true;
    const bool blankA = s.IndicatorAt(a, k) != IND_VALUE;
    if (blankA != (ib != IND_VALUE)) return false;
    if (blankA || f.length == 0) return true;
    const uint8_t* va = s.ValueAt(a, k);
    const uint8_t* vb = s.ValueAt(b, k);
    if (f.type == FLD_BLOB) {
        uint32_t ra = 0;
        uint32_t rb = 0;
        std::memcpy(&ra, va, 4);
        std::memcpy(&rb, vb, 4);
        bool equal = ra == rb;
        if (!equal && ds.blobs() != nullptr && ds.blobs()->Compare(ra, rb, equal) != DS_OK)
            equal = false;
        return equal;
    }
    if (f.type == FLD_BCD) return std::memcmp(va, vb, f.length) == 0;
    return ds.CompareValues(f.type, va, vb, f.length) == 0;
}

}  // namespace

std::vector<DeltaRow> DeltaRowsOf(const TDSBASE& base, const std::vector<LogEntry>& compacted) {
    std::vector<DeltaRow> rows;
    for (const LogEntry& e : compacted) {
        switch (e.action) {
            case LOG_MODIFY:
                if (base.SameValues(e.previous, e.record)) break;
                rows.push_back({e.previous, REC_SUPERSEDED, e});
                rows.push_back({e.record, REC_MODIFIED, e});
                break;
            case LOG_DELETE:
                rows.push_back({e.record, REC_DELETED, e});
                break;
            case LOG_INSERT:
                rows.push_back({e.record, REC_INSERTED, e});
                break;
            case LOG_DETAIL_CHANGED:
                rows.push_back({e.record, static_cast<uint8_t>(LOG_DETAIL_CHANGED), e});
                break;
            default:
                break;
        }
    }
    return rows;
}

std::vector<DeltaRow> OrderedDeltaRows(TDSBASE& ds) {
    std::vector<DeltaRow> rows;
    if (ds.log() != nullptr && !ds.log()->empty())
        rows = DeltaRowsOf(ds, CompactLog(*ds.log(), ds));
    TDSBASE* master = ds.master();
    const uint32_t link = ds.link_field();
    const uint32_t field = ds.master_field();
    if (master == nullptr || link == 0 || field == 0 || rows.empty()) return rows;

    auto linkOf = [](TDSBASE& d, uint32_t record, uint32_t k) -> int64_t {
        if (record == 0 || record >= d.next_record() ||
            d.store().IndicatorAt(record, k) != IND_VALUE)
            return -1;
        uint32_t v = 0;
        std::memcpy(&v, d.store().ValueAt(record, k), 4);
        return v;
    };
    const std::vector<DeltaRow> masterRows = OrderedDeltaRows(*master);
    std::unordered_map<int64_t, size_t> owner;  // link value -> last master row with it
    for (size_t i = 0; i < masterRows.size(); ++i) {
        const int64_t v = linkOf(*master, masterRows[i].record, field);
        if (v >= 0) owner[v] = i;
    }
    std::vector<std::pair<size_t, DeltaRow>> keyed;
    keyed.reserve(rows.size());
    for (const DeltaRow& row : rows) {
        // Both rows of a modification go with the old version's master.
        const uint32_t record = row.action == REC_SUPERSEDED || row.action == LOG_MODIFY
                                    ? row.entry.previous
                                    : row.record;
        auto it = owner.find(linkOf(ds, record, link));
        keyed.push_back({it != owner.end() ? it->second : masterRows.size(), row});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = keyed[i].second;
    return rows;
}

EngineResult CopyRecordAcross(TDSBASE& from, uint32_t record, TDSBASE& to, uint8_t* buffer,
                              int blobRule, uint32_t shift) {
    const std::vector<FieldDesc>& src = from.fields();
    const std::vector<FieldDesc>& dst = to.fields();
    ClearRecordBuffer(dst, buffer);
    const RecordStore& s = from.store();
    for (uint32_t target = 1; target <= dst.size(); ++target) {
        uint32_t k = target + shift;
        const bool linkPair = from.link_field() != 0 && to.link_field() != 0;
        if (linkPair && target == to.link_field())
            k = from.link_field();
        else if (linkPair && k == from.link_field())
            continue;
        if (k == 0 || k > src.size()) continue;
        const FieldDesc& f = src[k - 1];
        const FieldDesc& t = dst[target - 1];
        if (f.type != t.type || f.length != t.length) continue;
        const uint8_t indicator = s.IndicatorAt(record, k);
        if (indicator != IND_VALUE) {
            buffer[t.indicatorOffset] = indicator;
            continue;
        }
        if (f.type != FLD_BLOB) {
            std::memcpy(buffer + t.offset, s.ValueAt(record, k), f.length);
            buffer[t.indicatorOffset] = IND_VALUE;
            continue;
        }
        uint32_t ref = 0;
        std::memcpy(&ref, s.ValueAt(record, k), 4);
        const bool fetched = (ref & BLOB_NOT_FETCHED) == 0;
        uint32_t size = 0;
        if (fetched && ref != 0 && from.blobs() != nullptr) from.blobs()->Length(ref, size);
        bool carry = fetched && size != 0;
        if (blobRule == 1) {
            uint32_t limit = 0;
            from.ReadProperty(9, &limit);
            carry = carry && size <= limit;
        }
        if (blobRule == 0 && !fetched) {
            // Announced but not delivered: the marker travels as it is.
            std::memcpy(buffer + t.offset, &ref, 4);
            buffer[t.indicatorOffset] = IND_VALUE;
            continue;
        }
        if (!carry || to.blobs() == nullptr) continue;  // stays blank
        std::vector<uint8_t> bytes;
        try {
            bytes.resize(size);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        uint32_t got = size;
        if (EngineResult r = from.blobs()->Read(ref, 0, bytes.data(), got); r != DS_OK) return r;
        uint32_t copy = 0;
        if (EngineResult r = to.blobs()->Add(bytes.data(), got, copy); r != DS_OK) return r;
        std::memcpy(buffer + t.offset, &copy, 4);
        buffer[t.indicatorOffset] = IND_VALUE;
    }
    return DS_OK;
}

EngineResult TDSBASE::AppendRow(const uint8_t* buffer, uint8_t status, uint32_t* record) {
    if (EngineResult r = EnsureCapacity(1); r != DS_OK) return r;
    const uint32_t n = store_.next_record();
    store_.WriteRecord(n, buffer);
    store_.SetStatus(n, status);
    store_.SetNextRecord(n + 1);
    if (EngineResult r = NotifyAdded(n); r != DS_OK) {
        store_.SetStatus(n, 0);
        store_.SetNextRecord(n);
        return r;
    }
    if ((status & kNotLive) == 0) ++liveCount_;
    if (blobs_) blobs_->Commit();
    if (record != nullptr) *record = n;
    return DS_OK;
}

// Fills a delta dataset (already shaped, nested deltas attached) with the
// rows of this dataset's log and recurses into the nested details.
EngineResult TDSBASE::FillDelta(TDSBASE& delta, uint32_t* rowCount) {
    std::lock_guard guard(lock_);
    *rowCount = 0;
    std::vector<DeltaRow> rows;
    std::vector<uint8_t> buffer;
    try {
        rows = OrderedDeltaRows(*this);
        buffer.assign(delta.record_size(), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    const std::vector<FieldDesc>& dfields = delta.fields();
    for (size_t i = 0; i < rows.size(); ++i) {
        const DeltaRow& row = rows[i];
        const int rule = row.action == REC_SUPERSEDED || row.action == LOG_DELETE ? 1
                         : row.action == LOG_DETAIL_CHANGED                       ? 0
                                                                                  : 2;
        if (EngineResult r = CopyRecordAcross(*this, row.record, delta, buffer.data(), rule);
            r != DS_OK)
            return r;
        if (row.action == LOG_MODIFY) {
            // Fields equal to the old version's are marked unchanged; link
            // and nested fields keep their values so details stay linked.
            const uint32_t old = row.entry.previous;
            for (uint32_t k = 1; k <= field_count() && k <= dfields.size(); ++k) {
                const FieldDesc& f = fields_[k - 1];
                if (f.type == FLD_TABLE || (f.attributes & ATTR_LINK) != 0 || k == linkField_)
                    continue;
                if (!SameField(*this, old, row.record, k)) continue;
                buffer[dfields[k - 1].indicatorOffset] = IND_UNCHANGED;
            }
            if (linkField_ != 0 && delta.link_field() != 0 &&
                store_.IndicatorAt(old, linkField_) == IND_VALUE) {
                std::memcpy(buffer.data() + dfields[delta.link_field() - 1].offset,
                            store_.ValueAt(old, linkField_), 4);
                buffer[dfields[delta.link_field() - 1].indicatorOffset] = IND_VALUE;
            }
        }
        if (EngineResult r = delta.AppendRow(buffer.data(), row.action, nullptr); r != DS_OK)
            return r;
    }
    *rowCount = static_cast<uint32_t>(rows.size());
    for (const NestedDetail& nested : nested_) {
        const NestedDetail* target = delta.NestedFor(nested.field);
        if (nested.dataset == nullptr || target == nullptr || target->dataset == nullptr) continue;
        uint32_t ignored = 0;
        if (EngineResult r = nested.dataset->FillDelta(*target->dataset, &ignored); r != DS_OK)
            return r;
    }
    return DS_OK;
}

EngineResult TDSBASE::MakeDelta(IDSBase** out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    *out = nullptr;
    std::lock_guard guard(lock_);
    if (delta_mode()) {
        AddRef();
        *out = this;
        return DS_OK;
    }
    if (state_ == DS_UNINITIALISED) return DSERR_NOTSUPPORTED;
    if (!log_ && master_ == nullptr) return DSERR_DELTAISEMPTY;

    IDSBase* made = nullptr;
    if (EngineResult r = MakeDerived(1, 1, 1, &made); r != DS_OK) return r;
    auto* delta = static_cast<TDSBASE*>(made);
    uint32_t rows = 0;
    EngineResult r = FillDelta(*delta, &rows);
    if (r == DS_OK && rows == 0 && master_ == nullptr) r = DSERR_DELTAISEMPTY;
    if (r != DS_OK) {
        delta->Release();
        return r;
    }
    *out = delta;
    return DS_OK;
}

}  // namespace pelmora
