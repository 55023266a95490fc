// Building an index: visiting the store (or a source index already in the
// wanted order), the bulk path that appends unsorted and sorts in place, and
// the descriptor match used to find ready-made orders.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "dataset.h"
#include "index.h"
#include "platform/collation.h"

namespace pelmora {

namespace {

// Sentinel record numbers placed around the entries while sorting; real
// record numbers lie strictly between them.
constexpr uint32_t kBelowAll = 0;
constexpr uint32_t kAboveAll = 0xFFFFFFFFu;
// Partitions of this many entries or fewer are left to the insertion sort.
constexpr uint32_t kSmallPartition = 10;

bool Skipped(const TDSBASE& dataset, uint32_t record) {
    if (dataset.delta_mode()) return false;
    return (dataset.store().StatusAt(record) & (REC_SUPERSEDED | REC_DELETED | REC_DISCARDED)) != 0;
}

}  // namespace

// Collation sort keys of the string key fields of the entries being sorted:
// comparing them bytewise gives the collation's order at a fraction of the
// cost of comparing the texts.
class DSIDX::SortKeys {
  public:
    EngineResult Build(const DSIDX& index, const platform::Collation& collation) {
        const IndexDesc& d = index.desc_;
        const std::vector<FieldDesc>& fields = index.dataset_->fields();
        const uint32_t records = index.dataset_->next_record();
        try {
            fields_.assign(d.fieldCount, Field{});
            for (uint32_t k = 0; k < d.fieldCount; ++k) {
                const FieldDesc& field = fields[d.fields[k] - 1];
                if (field.type != FLD_STRING || index.count_ < kWorthIt) continue;
                Field& out = fields_[k];
                out.used = true;
                out.descending = d.descending[k] != 0;
                out.start.assign(records + 1, 0);
                out.length.assign(records + 1, kBlank);
                for (uint32_t p = 1; p <= index.count_; ++p) {
                    const uint32_t r = index.entries_[p];
                    const uint8_t* v = index.StoredValue(r, d.fields[k]);
                    if (v == nullptr) continue;
                    const char* text = reinterpret_cast<const char*>(v);
                    const std::string key =
                        collation.SortKey(text, static_cast<ptrdiff_t>(strnlen(text, field.length)),
                                          d.caseInsensitive[k] != 0);
                    out.start[r] = out.bytes.size();
                    out.length[r] = static_cast<uint32_t>(key.size());
                    out.bytes.insert(out.bytes.end(), key.begin(), key.end());
                }
            }
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        } catch (const std::length_error&) {
            return DSERR_NOMEMORY;
        }
        return DS_OK;
    }

    bool Has(uint32_t k) const { return k < fields_.size() && fields_[k].used; }

    // The comparator's rules: blank first, negated when descending.
    int Compare(uint32_t k, uint32_t a, uint32_t b) const {
        const Field& f = fields_[k];
        const uint32_t an = f.length[a];
        const uint32_t bn = f.length[b];
        int c;
        if (an == kBlank || bn == kBlank) {
            c = an == bn ? 0 : (an == kBlank ? -1 : 1);
        } else {
            const int m = std::memcmp(f.bytes.data() + f.start[a], f.bytes.data() + f.start[b],
                                      std::min(an, bn));
            c = m != 0 ? (m < 0 ? -1 : 1) : (an < bn ? -1 : (an > bn ? 1 : 0));
        }
        return f.descending ? -c : c;
    }

  private:
    static constexpr uint32_t kBlank = 0xFFFFFFFFu;
    // Below this many entries the texts are compared directly.
    static constexpr uint32_t kWorthIt = 64;
    struct Field {
        bool used = false;
        bool descending = false;
        std::vector<size_t> start;     // by record number
        std::vector<uint32_t> length;  // kBlank for a blank value
        std::vector<char> bytes;
    };
    std::vector<Field> fields_;
};

EngineResult DSIDX::Rebuild(const IndexDesc* desc, const DSIDX* source) {
    const uint32_t records = dataset_->next_record() - 1;
    if (entries_.empty()) {
        if (EngineResult r = Reserve(records + 10); r != DS_OK) return r;
    }
    if (desc != nullptr) {
        if (EngineResult r = InstallDescriptor(*desc); r != DS_OK) return r;
    }
    // The source's order is copied first: it may be this index itself.
    const bool useSource =
        source != nullptr && source->count() != 0 && records != 0 && desc_.fieldCount != 0;
    std::vector<uint32_t> order;
    if (useSource) {
        try {
            order.assign(source->entries_.begin() + 1,
                         source->entries_.begin() + source->count() + 1);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
    }
    count_ = 0;
    Touch();
    TellGrouping(EntryEvent::Reordered, 0);

    // The default order takes the bulk path too: with equal keys kept in
    // arrival order it gives the same entries as inserting one by one, without
    // the quadratic cost of shifting the entries for every record.
    const bool bulk = desc_.fieldCount != 0 && records != 0 && !useSource;
    if (bulk) {
        if (EngineResult r = Reserve(records); r != DS_OK) return r;
    }
    // While appending in bulk the key is held empty, so every record goes to
    // the end; the sort below puts them in order.
    const uint32_t keyFields = desc_.fieldCount;
    if (bulk) desc_.fieldCount = 0;
    EngineResult result = DS_OK;
    if (useSource) {
        for (uint32_t record : order) {
            if (record == 0 || record > records || Skipped(*dataset_, record)) continue;
            if ((result = RecordAdded(record)) != DS_OK) break;
        }
    } else {
        for (uint32_t record = 1; record <= records; ++record) {
            if (Skipped(*dataset_, record)) continue;
            if ((result = RecordAdded(record)) != DS_OK) break;
        }
    }
    desc_.fieldCount = keyFields;
    if (result != DS_OK) return result;
    if (!bulk) return DS_OK;
    return SortEntries();
}

EngineResult DSIDX::SortEntries() {
    if (EngineResult r = Reserve(count_); r != DS_OK) return r;
    std::vector<uint32_t>& e = entries_;
    SortKeys keys;
    if (EngineResult r = keys.Build(*this, dataset_->collation()); r != DS_OK) return r;
    e[0] = kBelowAll;
    e[count_ + 1] = kAboveAll;
    // Equal keys are ordered by record number, i.e. by arrival, as the
    // insertion path orders them.
    auto compare = [this, &keys](uint32_t a, uint32_t b) {
        if (a == b) return 0;
        if (a == kBelowAll || b == kAboveAll) return -1;
        if (a == kAboveAll || b == kBelowAll) return 1;
        for (uint32_t k = 0; k < desc_.fieldCount; ++k) {
            const uint32_t f = desc_.fields[k];
            const int c = keys.Has(k)
                              ? keys.Compare(k, a, b)
                              : comparators_[k]->Compare(StoredValue(a, f), StoredValue(b, f));
            if (c != 0) return c;
        }
        return a < b ? -1 : 1;
    };

    // Quicksort with a median-of-three pivot; small partitions stay unsorted.
    std::vector<std::pair<uint32_t, uint32_t>> pending;
    uint32_t lo = 1;
    uint32_t hi = count_;
    for (;;) {
        if (hi > lo && hi - lo + 1 > kSmallPartition) {
            const uint32_t mid = lo + (hi - lo) / 2;
            if (compare(e[mid], e[lo]) < 0) std::swap(e[mid], e[lo]);
            if (compare(e[hi], e[lo]) < 0) std::swap(e[hi], e[lo]);
            if (compare(e[hi], e[mid]) < 0) std::swap(e[hi], e[mid]);
            // e[lo] <= pivot <= e[hi] bound the two scans below.
            std::swap(e[mid], e[hi - 1]);
            const uint32_t pivot = e[hi - 1];
            uint32_t i = lo;
            uint32_t j = hi - 1;
            for (;;) {
                while (compare(e[++i], pivot) < 0) {
                }
                while (compare(pivot, e[--j]) < 0) {
                }
                if (i >= j) break;
                std::swap(e[i], e[j]);
            }
            std::swap(e[i], e[hi - 1]);
            // Keep the larger side for later, go on with the smaller one.
            try {
                if (i - lo < hi - i) {
                    pending.emplace_back(i + 1, hi);
                    hi = i - 1;
                } else {
                    pending.emplace_back(lo, i - 1);
                    lo = i + 1;
                }
            } catch (const std::bad_alloc&) {
                return DSERR_NOMEMORY;
            }
            continue;
        }
        if (pending.empty()) break;
        lo = pending.back().first;
        hi = pending.back().second;
        pending.pop_back();
    }

    // Insertion sort over everything; the sentinel in slot 0 stops each walk.
    for (uint32_t i = 2; i <= count_; ++i) {
        const uint32_t v = e[i];
        uint32_t j = i;
        while (compare(v, e[j - 1]) < 0) {
            e[j] = e[j - 1];
            --j;
        }
        e[j] = v;
    }
    e[0] = 0;
    e[count_ + 1] = 0;
    Touch();
    TellGrouping(EntryEvent::Reordered, 0);

    if (unique()) {
        for (uint32_t i = 1; i < count_; ++i) {
            if (CompareRecords(e[i], e[i + 1]) == 0) return DSERR_KEYVIOL;
        }
    }
    return DS_OK;
}

DSIDX* BuildPlainIndex(TDSBASE* dataset, const IndexDesc& desc, const DSIDX* source,
                       EngineResult* result) {
    DSIDX* index = new (std::nothrow) DSIDX(dataset, IDX_PLAIN);
    if (index == nullptr) {
        if (result != nullptr) *result = DSERR_NOMEMORY;
        return nullptr;
    }
    if (EngineResult r = index->Rebuild(&desc, source); r != DS_OK) {
        delete index;
        if (result != nullptr) *result = r;
        return nullptr;
    }
    if (result != nullptr) *result = DS_OK;
    return index;
}

bool DescriptorsMatch(const IndexDesc& a, const IndexDesc& b, bool prefix, bool ignoreUnique) {
    if (a.fieldCount > 16 || b.fieldCount > 16) return false;
    if (prefix ? b.fieldCount < a.fieldCount : b.fieldCount != a.fieldCount) return false;
    for (uint32_t k = 0; k < a.fieldCount; ++k) {
        if (a.fields[k] != b.fields[k]) return false;
        if ((a.descending[k] != 0) != (b.descending[k] != 0)) return false;
        if ((a.caseInsensitive[k] != 0) != (b.caseInsensitive[k] != 0)) return false;
    }
    return ignoreUnique || a.unique == b.unique;
}

}  // namespace pelmora
