// The index object: descriptor, key comparison, binary searches and the
// maintenance of a plain index as records enter, leave or replace one another.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "dataset/dataset.h"
#include "index/index.h"
#include "platform/codepage.h"
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

int DSIDX::CompareFullFields(const uint8_t* key, uint32_t full, uint32_t record) const {
    const std::vector<FieldDesc>& fields = dataset_->fields();
    for (uint32_t k = 0; k < full; ++k) {
        const FieldDesc& field = fields[desc_.fields[k] - 1];
        const uint8_t* mine =
            key[field.indicatorOffset] == IND_VALUE ? key + field.offset : nullptr;
        const int c = comparators_[k]->Compare(mine, StoredValue(record, desc_.fields[k]));
        if (c != 0) return c;
    }
    return 0;
}

int DSIDX::CompareKey(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                      uint32_t record) const {
    if (FixedSearchApplies(fullFields, partial)) return FixedCompareKey(key, record);
    const std::vector<FieldDesc>& fields = dataset_->fields();
    const uint32_t full = std::min(fullFields, desc_.fieldCount);
    if (int c = CompareFullFields(key, full, record); c != 0) return c;
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

// A partial key on a text field. A text order need not keep together the
// texts that start with some bytes: a case-sensitive order puts "aBa" between
// "Ab" and "ABc", though "aBa" does not start with "Ab" and the other two do.
// It does keep together the texts whose primary weights (the letters apart
// from case, accents, kana type and width) start with those of the key,
// because texts are ordered by their primary weights before anything else;
// that block holds every text starting with the key's bytes, and a walk over
// it finds them. The primary weights are the part of a collation key before
// its first level separator (byte 1); a collation key whose levels were not
// set apart that way would only make the block larger.
class DSIDX::PartialText {
  public:
    PartialText(const DSIDX& index, const uint8_t* key, uint32_t fullFields, uint32_t partial)
        : index_(index),
          key_(key),
          full_(std::min(fullFields, index.desc_.fieldCount)),
          partial_(partial) {
        const IndexDesc& d = index.desc_;
        if (partial == 0 || full_ >= d.fieldCount) return;
        field_ = &index.dataset_->fields()[d.fields[full_] - 1];
        if (field_->type != FLD_STRING || key[field_->indicatorOffset] != IND_VALUE) return;
        text_ = reinterpret_cast<const char*>(key + field_->offset);
        length_ = strnlen(text_, std::min(partial, field_->length));
        caseless_ = d.caseInsensitive[full_] != 0;
        descending_ = d.descending[full_] != 0;
        // A lead byte whose second byte was cut off stands for no character.
        size_t whole = 0;
        for (size_t i = 0; i < length_;) {
            i += platform::IsDBCSLeadByte(static_cast<unsigned char>(text_[i])) ? 2 : 1;
            if (i <= length_) whole = i;
        }
        // Without primary weights the block would be every entry: the plain
        // bisection then serves (an empty text matches only empty texts,
        // which do stand together).
        if (whole == 0) return;
        std::string sortKey =
            index.dataset_->collation().SortKey(text_, static_cast<ptrdiff_t>(whole), caseless_);
        primary_.assign(sortKey, 0, sortKey.find('\x01'));
        if (primary_.empty()) return;
        // One byte more: a key written in two-byte units then still covers
        // the primary part.
        scratch_.resize(primary_.size() + 1);
        usable_ = true;
    }

    bool usable() const { return usable_; }

    // The first entry at or after `from` that starts with the key: true with
    // its position, else false.
    bool FirstFrom(uint32_t from, uint32_t* position) const {
        const uint32_t n = index_.count();
        const uint32_t start =
            index_.entries_.PartitionPoint([&](uint32_t record) { return Locate(record) > 0; });
        for (uint32_t p = std::max(from, start); p <= n; ++p) {
            const uint32_t record = index_.EntryAt(p);
            if (Matches(record)) {
                *position = p;
                return true;
            }
            if (Locate(record) < 0) break;
        }
        return false;
    }

    // The last entry that starts with the key, given one that does.
    uint32_t LastFrom(uint32_t from) const {
        const uint32_t end =
            index_.entries_.PartitionPoint([&](uint32_t record) { return Locate(record) >= 0; });
        for (uint32_t p = end - 1; p > from; --p) {
            if (Matches(index_.EntryAt(p))) return p;
        }
        return from;
    }

    // The last entry that sorts before the key's text taken as a whole (0
    // when none does): where a key that nothing starts with would stand.
    uint32_t LastBefore() const {
        return index_.entries_.PartitionPoint([&](uint32_t record) {
            return WholeOrder(record) > 0;
        }) - 1;
    }

  private:
    // The block against a record, in the manner of CompareKey: > 0 when the
    // block sorts after the record, 0 when the record is in it.
    int Locate(uint32_t record) const {
        if (int c = index_.CompareFullFields(key_, full_, record); c != 0) return c;
        const auto* theirs =
            reinterpret_cast<const char*>(index_.StoredValue(record, index_.desc_.fields[full_]));
        if (theirs == nullptr) return index_.comparators_[full_]->Compare(text_, nullptr);
        const size_t m = primary_.size();
        const size_t n = index_.dataset_->collation().SortKeyInto(
            theirs, strnlen(theirs, field_->length), caseless_,
            reinterpret_cast<uint8_t*>(scratch_.data()), scratch_.size());
        int c = std::memcmp(primary_.data(), scratch_.data(), std::min(m, n));
        c = c < 0 ? -1 : (c > 0 ? 1 : (n < m ? 1 : 0));
        return descending_ ? -c : c;
    }

    bool Matches(uint32_t record) const {
        return index_.CompareKey(key_, full_, partial_, record) == 0;
    }

    // The key's text taken as a whole against a record, in the index order.
    int WholeOrder(uint32_t record) const {
        if (int c = index_.CompareFullFields(key_, full_, record); c != 0) return c;
        const auto* theirs =
            reinterpret_cast<const char*>(index_.StoredValue(record, index_.desc_.fields[full_]));
        if (theirs == nullptr) return index_.comparators_[full_]->Compare(text_, nullptr);
        const int c = index_.dataset_->collation().Compare(
            text_, static_cast<ptrdiff_t>(length_), theirs,
            static_cast<ptrdiff_t>(strnlen(theirs, field_->length)), caseless_);
        return descending_ ? -c : c;
    }

    const DSIDX& index_;
    const uint8_t* key_;
    uint32_t full_;
    uint32_t partial_;
    const FieldDesc* field_ = nullptr;
    const char* text_ = nullptr;
    size_t length_ = 0;
    bool caseless_ = false;
    bool descending_ = false;
    std::string primary_;          // the key's primary weights
    mutable std::string scratch_;  // a record's collation key, as far as needed
    bool usable_ = false;
};

template <typename Search>
bool DSIDX::WithPartialText(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                            Search search) const {
    if (partial == 0) return false;
    try {
        const PartialText text(*this, key, fullFields, partial);
        if (!text.usable()) return false;
        search(text);
        return true;
    } catch (const std::bad_alloc&) {
        // Collation keys of long texts take memory; without it the plain
        // bisection still answers.
        return false;
    }
}

bool DSIDX::SearchKey(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                      uint32_t* position) const {
    bool found = false;
    if (WithPartialText(key, fullFields, partial, [&](const PartialText& text) {
            found = text.FirstFrom(1, position);
            if (!found) *position = text.LastBefore();
        })) {
        return found;
    }
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
    uint32_t last = from;
    if (WithPartialText(key, fullFields, partial,
                        [&](const PartialText& text) { last = text.LastFrom(from); })) {
        return last;
    }
    // The first entry after the key, less one.
    const uint32_t after = FixedSearchApplies(fullFields, partial)
                               ? FixedPartition(key, true)
                               : entries_.PartitionPoint([&](uint32_t record) {
                                     return CompareKey(key, fullFields, partial, record) >= 0;
                                 });
    return std::max(from, after - 1);
}

uint32_t DSIDX::NextEqual(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                          uint32_t from) const {
    uint32_t next = 0;
    if (WithPartialText(key, fullFields, partial, [&](const PartialText& text) {
            if (!text.FirstFrom(from, &next)) next = 0;
        })) {
        return next;
    }
    // Equal entries stand together: from the first one to the last.
    uint32_t first = 0;
    if (!SearchKey(key, fullFields, partial, &first)) return 0;
    if (first >= from) return first;
    return LastEqual(key, fullFields, partial, first) >= from ? from : 0;
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
    entries_.Replace(position, newRecord);
    // Cursors standing on the old version find the new one by the counter.
    Touch();
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
