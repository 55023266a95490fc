// The index object: descriptor, key comparison, binary searches and the
// maintenance of a plain index as records enter, leave or replace one another.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "dataset.h"
#include "index.h"
#include "platform/collation.h"

namespace pelmora {

namespace {

// Entries grow by this many slots when full.
constexpr uint32_t kEntryGrowth = 50;

}  // namespace

DSIDX::DSIDX(TDSBASE* dataset, uint32_t kind) : dataset_(dataset), kind_(kind) {}

DSIDX::~DSIDX() { DestroyGrouping(grouping_); }

bool DSIDX::Release() {
    if (refs_ > 1) {
        --refs_;
        return false;
    }
    delete this;
    return true;
}

EngineResult DSIDX::InstallDescriptor(const IndexDesc& desc) {
    if (desc.fieldCount > 16) return DSERR_INVALIDPARAM;
    const std::vector<FieldDesc>& fields = dataset_->fields();
    // Field numbers and types first, so that a refusal leaves the old
    // descriptor and comparators in place.
    for (uint32_t k = 0; k < desc.fieldCount; ++k) {
        const uint32_t f = desc.fields[k];
        if (f == 0 || f > fields.size()) return DSERR_INVALIDPARAM;
        switch (fields[f - 1].type) {
            case FLD_BLOB:
            case FLD_ADT:
            case FLD_ARRAY:
            case FLD_REF:
            case FLD_TABLE:
                return DSERR_INVALIDFLDTYPE;
            default:
                break;
        }
    }
    std::vector<std::unique_ptr<FLDObj>> comparators;
    try {
        comparators.resize(desc.fieldCount);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    const platform::Collation* collation = &dataset_->collation();
    uint32_t width = 0;
    for (uint32_t k = 0; k < desc.fieldCount; ++k) {
        const FieldDesc& field = fields[desc.fields[k] - 1];
        const bool caseless =
            (field.type == FLD_STRING || field.type == FLD_UNICODE) && desc.caseInsensitive[k] != 0;
        if (EngineResult r =
                MakeComparator(field, desc.descending[k] != 0, caseless, collation, comparators[k]);
            r != DS_OK) {
            return r;
        }
        width += field.length;
    }
    desc_ = desc;
    desc_.name[sizeof desc_.name - 1] = '\0';
    desc_.keyWidth = width;
    comparators_.swap(comparators);
    return DS_OK;
}

uint32_t DSIDX::PositionOf(uint32_t record) const {
    for (uint32_t p = 1; p <= count_; ++p) {
        if (entries_[p] == record) return p;
    }
    return 0;
}

const uint8_t* DSIDX::StoredValue(uint32_t record, uint32_t field) const {
    const RecordStore& store = static_cast<const TDSBASE*>(dataset_)->store();
    return store.IndicatorAt(record, field) == IND_VALUE ? store.ValueAt(record, field) : nullptr;
}

int DSIDX::CompareRecords(uint32_t a, uint32_t b) const {
    for (uint32_t k = 0; k < desc_.fieldCount; ++k) {
        const uint32_t f = desc_.fields[k];
        if (int c = comparators_[k]->Compare(StoredValue(a, f), StoredValue(b, f)); c != 0) {
            return c;
        }
    }
    return 0;
}

int DSIDX::CompareKey(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                      uint32_t record) const {
    const std::vector<FieldDesc>& fields = dataset_->fields();
    const uint32_t full = std::min(fullFields, desc_.fieldCount);
    for (uint32_t k = 0; k < full; ++k) {
        const FieldDesc& field = fields[desc_.fields[k] - 1];
        const uint8_t* mine =
            key[field.indicatorOffset] == IND_VALUE ? key + field.offset : nullptr;
        const int c = comparators_[k]->Compare(mine, StoredValue(record, desc_.fields[k]));
        if (c != 0) return c;
    }
    if (partial == 0 || full >= desc_.fieldCount) return 0;
    const uint32_t k = full;
    const FieldDesc& field = fields[desc_.fields[k] - 1];
    const uint8_t* mine = key[field.indicatorOffset] == IND_VALUE ? key + field.offset : nullptr;
    const uint8_t* theirs = StoredValue(record, desc_.fields[k]);
    if (field.type != FLD_STRING || mine == nullptr || theirs == nullptr) {
        return comparators_[k]->Compare(mine, theirs);
    }
    // The leading `partial` bytes of both strings (or less, up to their end).
    const auto* a = reinterpret_cast<const char*>(mine);
    const auto* b = reinterpret_cast<const char*>(theirs);
    const size_t an = strnlen(a, std::min(partial, field.length));
    const size_t bn = strnlen(b, std::min(partial, field.length));
    int c =
        dataset_->collation().Compare(a, static_cast<ptrdiff_t>(an), b, static_cast<ptrdiff_t>(bn),
                                      desc_.caseInsensitive[k] != 0);
    return desc_.descending[k] != 0 ? -c : c;
}

bool DSIDX::SearchKey(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                      uint32_t* position) const {
    *position = 0;
    if (count_ == 0) return false;
    int c = CompareKey(key, fullFields, partial, entries_[count_]);
    if (c > 0) {
        *position = count_;
        return false;
    }
    if (c == 0 && (count_ == 1 || CompareKey(key, fullFields, partial, entries_[count_ - 1]) > 0)) {
        *position = count_;
        return true;
    }
    c = CompareKey(key, fullFields, partial, entries_[1]);
    if (c < 0) return false;
    if (c == 0) {
        *position = 1;
        return true;
    }
    // entry[low] sorts before the key, entry[high] at or after it: the first
    // position at or after the key lies in (low, high].
    uint32_t low = 1;
    uint32_t high = count_;
    while (low + 1 < high) {
        const uint32_t mid = low + (high - low) / 2;
        if (CompareKey(key, fullFields, partial, entries_[mid]) > 0) {
            low = mid;
        } else {
            high = mid;
        }
    }
    if (CompareKey(key, fullFields, partial, entries_[high]) == 0) {
        *position = high;
        return true;
    }
    *position = low;
    return false;
}

uint32_t DSIDX::LastEqual(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                          uint32_t from) const {
    if (from == 0 || from > count_) return from;
    // Everything from `from` up to the answer is equal: bisect the boundary.
    uint32_t low = from;
    uint32_t high = count_ + 1;
    while (low + 1 < high) {
        const uint32_t mid = low + (high - low) / 2;
        if (CompareKey(key, fullFields, partial, entries_[mid]) == 0) {
            low = mid;
        } else {
            high = mid;
        }
    }
    return low;
}

bool DSIDX::SearchRecord(uint32_t record, EqualChoice choice, uint32_t* position) const {
    *position = 0;
    if (count_ == 0) return false;
    // Records usually arrive in key order: try the last entry first.
    int c = CompareRecords(record, entries_[count_]);
    if (c > 0) {
        *position = count_;
        return false;
    }
    if (c == 0 && choice != EqualChoice::First) {
        *position = count_;
        return true;
    }
    // Bisect for the boundary: First wants the first entry not before the
    // record, Last / Any the first entry after it.
    const bool wantFirst = choice == EqualChoice::First;
    uint32_t low = 0;  // entries_[low] is before (or equal, for Last) the record
    uint32_t high = count_;
    while (low + 1 < high) {
        const uint32_t mid = low + (high - low) / 2;
        const int m = CompareRecords(record, entries_[mid]);
        if (choice == EqualChoice::Any && m == 0) {
            *position = mid;
            return true;
        }
        if (m > 0 || (!wantFirst && m == 0)) {
            low = mid;
        } else {
            high = mid;
        }
    }
    if (wantFirst) {
        if (CompareRecords(record, entries_[high]) == 0) {
            *position = high;
            return true;
        }
        *position = low;
        return false;
    }
    if (low >= 1 && CompareRecords(record, entries_[low]) == 0) {
        *position = low;
        return true;
    }
    if (choice == EqualChoice::Any && CompareRecords(record, entries_[high]) == 0) {
        *position = high;
        return true;
    }
    *position = low;
    return false;
}

EngineResult DSIDX::Reserve(uint32_t capacity) {
    const size_t wanted = static_cast<size_t>(capacity) + 2;
    if (entries_.size() >= wanted) return DS_OK;
    try {
        entries_.resize(wanted, 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    } catch (const std::length_error&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

EngineResult DSIDX::InsertAt(uint32_t position, uint32_t record) {
    // Slot 0, the entries and the closing sentinel slot must fit.
    if (static_cast<size_t>(count_) + 3 > entries_.size()) {
        if (EngineResult r = Reserve(count_ + kEntryGrowth); r != DS_OK) return r;
    }
    std::copy_backward(entries_.begin() + position, entries_.begin() + count_ + 1,
                       entries_.begin() + count_ + 2);
    entries_[position] = record;
    ++count_;
    Touch();
    TellGrouping(EntryEvent::Added, position);
    return DS_OK;
}

EngineResult DSIDX::InsertSorted(uint32_t record) {
    uint32_t position = 0;
    if (desc_.fieldCount == 0) {
        position = count_;
    } else if (unique()) {
        if (SearchRecord(record, EqualChoice::First, &position)) return DSERR_KEYVIOL;
    } else {
        // After the last equal entry: equal keys keep their arrival order.
        SearchRecord(record, EqualChoice::Last, &position);
    }
    return InsertAt(position + 1, record);
}

void DSIDX::RemoveAt(uint32_t position) {
    if (position == 0 || position > count_) return;
    TellGrouping(EntryEvent::Removed, position);
    std::copy(entries_.begin() + position + 1, entries_.begin() + count_ + 1,
              entries_.begin() + position);
    --count_;
    Touch();
}

EngineResult DSIDX::RecordAdded(uint32_t record) {
    return InsertSorted(record);
}

EngineResult DSIDX::RecordRemoved(uint32_t record) {
    const uint32_t position = PositionOf(record);
    if (position == 0) return DSERR_NOTSUPPORTED;
    RemoveAt(position);
    return DS_OK;
}

EngineResult DSIDX::RecordReplaced(uint32_t newRecord, uint32_t oldRecord) {
    const uint32_t position = PositionOf(oldRecord);
    if (position == 0) return DSERR_NOTSUPPORTED;
    if (desc_.fieldCount != 0 && CompareRecords(newRecord, oldRecord) != 0) {
        RemoveAt(position);
        if (EngineResult r = InsertSorted(newRecord); r != DS_OK) {
            // Put the old entry back where it was.
            InsertAt(position, oldRecord);
            return r;
        }
        return DS_OK;
    }
    // Same key: the new version takes the old one's place.
    TellGrouping(EntryEvent::Removed, position);
    entries_[position] = newRecord;
    TellGrouping(EntryEvent::Added, position);
    return DS_OK;
}

}  // namespace pelmora
