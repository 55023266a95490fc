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

DSIDX::DSIDX(TDSBASE* dataset, uint32_t kind) : dataset_(dataset), kind_(kind) {}

DSIDX::~DSIDX() {
    DestroyGrouping(grouping_);
}

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
    fixedKey_ = desc.fieldCount != 0 ? FixedKeyOf(fields[desc.fields[0] - 1]) : FixedKey::None;
    return DS_OK;
}

const uint8_t* DSIDX::StoredValue(uint32_t record, uint32_t field) const {
    const RecordStore& store = static_cast<const TDSBASE*>(dataset_)->store();
    return store.IndicatorAt(record, field) == IND_VALUE ? store.ValueAt(record, field) : nullptr;
}

int DSIDX::CompareRecords(uint32_t a, uint32_t b) const {
    if (fixedKey_ != FixedKey::None && desc_.fieldCount == 1) return FixedCompareRecords(a, b);
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
    if (FixedSearchApplies(fullFields, partial)) return FixedCompareKey(key, record);
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
    // The first entry at or after the key.
    const uint32_t first = FixedSearchApplies(fullFields, partial)
                               ? FixedPartition(key, false)
                               : entries_.PartitionPoint([&](uint32_t record) {
                                     return CompareKey(key, fullFields, partial, record) > 0;
                                 });
    const int known = FixedSearchApplies(fullFields, partial) ? FixedEqualAt(key, first) : -1;
    if (known == 1 || (known == -1 && first <= count() &&
                       CompareKey(key, fullFields, partial, EntryAt(first)) == 0)) {
        *position = first;
        return true;
    }
    *position = first - 1;
    return false;
}

uint32_t DSIDX::LastEqual(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                          uint32_t from) const {
    if (from == 0 || from > count()) return from;
    // The first entry after the key, less one.
    const uint32_t after = FixedSearchApplies(fullFields, partial)
                               ? FixedPartition(key, true)
                               : entries_.PartitionPoint([&](uint32_t record) {
                                     return CompareKey(key, fullFields, partial, record) >= 0;
                                 });
    return std::max(from, after - 1);
}

bool DSIDX::SearchRecord(uint32_t record, EqualChoice choice, uint32_t* position) const {
    *position = 0;
    const uint32_t n = count();
    if (n == 0) return false;
    // Records usually arrive in key order: try the last entry first.
    const int c = CompareRecords(record, EntryAt(n));
    if (c > 0 || (c == 0 && choice != EqualChoice::First)) {
        *position = n;
        return c == 0;
    }
    if (choice == EqualChoice::First) {
        const uint32_t first = entries_.PartitionPoint(
            [&](uint32_t entry) { return CompareRecords(record, entry) > 0; });
        if (first <= n && CompareRecords(record, EntryAt(first)) == 0) {
            *position = first;
            return true;
        }
        *position = first - 1;
        return false;
    }
    // Last and Any: the last entry not after the record.
    const uint32_t after =
        entries_.PartitionPoint([&](uint32_t entry) { return CompareRecords(record, entry) >= 0; });
    *position = after - 1;
    return after > 1 && CompareRecords(record, EntryAt(after - 1)) == 0;
}

EngineResult DSIDX::Reserve(uint32_t capacity) {
    return entries_.ReserveRecords(capacity + 2);
}

EngineResult DSIDX::InsertAt(uint32_t position, uint32_t record) {
    if (EngineResult r = entries_.Insert(position, record); r != DS_OK) return r;
    Touch();
    TellGrouping(EntryEvent::Added, position);
    return DS_OK;
}

EngineResult DSIDX::InsertSorted(uint32_t record) {
    uint32_t position = 0;
    if (desc_.fieldCount == 0) {
        position = count();
    } else if (unique()) {
        if (SearchRecord(record, EqualChoice::First, &position)) return DSERR_KEYVIOL;
    } else {
        // After the last equal entry: equal keys keep their arrival order.
        SearchRecord(record, EqualChoice::Last, &position);
    }
    return InsertAt(position + 1, record);
}

void DSIDX::RemoveAt(uint32_t position) {
    if (position == 0 || position > count()) return;
    TellGrouping(EntryEvent::Removed, position);
    entries_.Erase(position);
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
    // The grouping reads the old entry while hearing of its removal: room in
    // the record map is made first so that the replacement cannot fail then.
    if (EngineResult r = entries_.ReserveRecords(newRecord + 1); r != DS_OK) return r;
    TellGrouping(EntryEvent::Removed, position);
    searchWords_.Drop();  // the record number changes, the counter does not
    entries_.Replace(position, newRecord);
    TellGrouping(EntryEvent::Added, position);
    return DS_OK;
}

bool DSIDX::Admits(uint32_t) {
    return true;
}

EngineResult DSIDX::LeaveForRewrite(uint32_t record) {
    const uint32_t position = PositionOf(record);
    if (desc_.fieldCount == 0) {
        // The entry stays; the aggregates take out the old values.
        if (position != 0) TellGrouping(EntryEvent::Removed, position);
        return DS_OK;
    }
    if (position == 0) return kind_ == IDX_FILTERED ? DS_OK : DSERR_NOTSUPPORTED;
    RemoveAt(position);
    rewriteRecord_ = record;
    rewritePosition_ = position;
    return DS_OK;
}

EngineResult DSIDX::ReturnAfterRewrite(uint32_t record) {
    const bool admitted = Admits(record);
    if (desc_.fieldCount == 0) {
        const uint32_t position = PositionOf(record);
        if (position != 0) {
            if (admitted) {
                TellGrouping(EntryEvent::Added, position);
            } else {
                // The aggregates already heard of the removal.
                entries_.Erase(position);
                Touch();
            }
            return DS_OK;
        }
        if (!admitted) return DS_OK;
        // Without key fields the entries follow the record numbers, as a
        // fresh build lists them.
        const uint32_t at = entries_.PartitionPoint([record](uint32_t e) { return e < record; });
        return InsertAt(at, record);
    }
    const bool remembered = rewriteRecord_ == record;
    if (!admitted) {
        if (remembered) rewriteRecord_ = 0;
        return DS_OK;
    }
    uint32_t position = 0;
    if (remembered && rewritePosition_ >= 1 && rewritePosition_ <= count() + 1) {
        // The old place still fits the new key: the record keeps its place
        // among equal keys, as a replacement with an unchanged key does.
        const uint32_t p = rewritePosition_;
        const int before = p > 1 ? CompareRecords(EntryAt(p - 1), record) : -1;
        const int after = p <= count() ? CompareRecords(record, EntryAt(p)) : -1;
        if ((before < 0 || (before == 0 && !unique())) && (after < 0 || (after == 0 && !unique())))
            position = p;
    }
    if (position == 0) {
        if (unique()) {
            if (SearchRecord(record, EqualChoice::First, &position)) return DSERR_KEYVIOL;
        } else {
            SearchRecord(record, EqualChoice::Last, &position);
        }
        ++position;
    }
    if (EngineResult r = InsertAt(position, record); r != DS_OK) return r;
    if (remembered) rewriteRecord_ = 0;
    return DS_OK;
}

}  // namespace pelmora
