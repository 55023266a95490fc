// Key searches and comparisons over a first key field of a fixed-width
// number: the values are read straight from the store's column and compared
// as plain numbers, with the comparators' rules (a blank sorts first, the
// order is reversed for a descending field).
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "dataset/dataset.h"
#include "index/index.h"
#include "store/record_store.h"

namespace pelmora {

namespace {

// One field of every stored record, read from the store's arrays.
template <typename T>
class FixedColumn {
  public:
    FixedColumn(const RecordStore& store, uint32_t field, bool descending)
        : values_(store.ColumnData(field)),
          width_(store.fields()[field - 1].length),
          indicators_(store.IndicatorData() + (field - 1)),
          stride_(store.field_count()),
          descending_(descending) {}

    bool Blank(uint32_t record) const {
        return indicators_[static_cast<size_t>(record - 1) * stride_] != IND_VALUE;
    }
    T Value(uint32_t record) const {
        T v;
        std::memcpy(&v, values_ + static_cast<size_t>(record - 1) * width_, sizeof v);
        return v;
    }
    // A value (or a blank) against a stored record.
    int Compare(bool blank, T value, uint32_t record) const {
        const bool theirsBlank = Blank(record);
        int c;
        if (blank || theirsBlank) {
            c = blank == theirsBlank ? 0 : (blank ? -1 : 1);
        } else {
            const T theirs = Value(record);
            // Unordered floats (not a number) compare as equal.
            c = value < theirs ? -1 : (theirs < value ? 1 : 0);
        }
        return descending_ ? -c : c;
    }
    int CompareRecords(uint32_t a, uint32_t b) const {
        const bool blank = Blank(a);
        return Compare(blank, blank ? T{} : Value(a), b);
    }

  private:
    const uint8_t* values_;
    size_t width_;
    const uint8_t* indicators_;
    size_t stride_;
    bool descending_;
};

// The word of a key value in the flat search copy: a blank is 0, values
// follow from 1 in the field's order, all inverted for a descending field.
template <typename T>
uint64_t KeyWord(bool blank, T value, bool descending) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
    constexpr uint64_t kTop = (uint64_t{1} << 33) - 1;
    uint64_t word = 0;
    if (!blank) {
        using U = std::make_unsigned_t<T>;
        auto u = static_cast<U>(value);
        if constexpr (std::is_signed_v<T>) u = static_cast<U>(u ^ (U{1} << (sizeof(T) * 8 - 1)));
        word = 1 + static_cast<uint64_t>(u);
    }
    return descending ? kTop - word : word;
}

// Integer keys of up to 32 bits have words.
template <typename T>
constexpr bool kHasWords = std::is_integral_v<T> && sizeof(T) <= 4;

// Calls fn with a value of the C++ type of a fixed key.
template <typename Fn>
auto WithKeyType(int kind, Fn&& fn) {
    switch (kind) {
        case 1:
            return fn(int8_t{});
        case 2:
            return fn(uint8_t{});
        case 3:
            return fn(int16_t{});
        case 4:
            return fn(uint16_t{});
        case 5:
            return fn(int32_t{});
        case 6:
            return fn(uint32_t{});
        case 7:
            return fn(int64_t{});
        case 8:
            return fn(uint64_t{});
        default:
            return fn(double{});
    }
}

}  // namespace

DSIDX::FixedKey DSIDX::FixedKeyOf(const FieldDesc& field) {
    FixedKey kind = FixedKey::None;
    size_t size = 0;
    switch (field.type) {
        case FLD_INT8:
            kind = FixedKey::Int8, size = 1;
            break;
        case FLD_UINT8:
        case FLD_BOOL8:
            kind = FixedKey::UInt8, size = 1;
            break;
        case FLD_INT16:
            kind = FixedKey::Int16, size = 2;
            break;
        case FLD_UINT16:
        case FLD_BOOL16:
            kind = FixedKey::UInt16, size = 2;
            break;
        case FLD_INT32:
            kind = FixedKey::Int32, size = 4;
            break;
        case FLD_UINT32:
        case FLD_DATE:
        case FLD_TIME:
        case FLD_BOOL32:
            kind = FixedKey::UInt32, size = 4;
            break;
        case FLD_INT64:
            kind = FixedKey::Int64, size = 8;
            break;
        case FLD_UINT64:
            kind = FixedKey::UInt64, size = 8;
            break;
        case FLD_FLOAT:
        case FLD_TIMESTAMP:
            kind = FixedKey::Float, size = 8;
            break;
        default:
            return FixedKey::None;
    }
    // A field narrower than its type keeps the comparator's reading.
    return field.length >= size ? kind : FixedKey::None;
}

uint32_t DSIDX::FixedPartition(const uint8_t* key, bool orEqual) const {
    const FieldDesc& field = dataset_->fields()[desc_.fields[0] - 1];
    const bool blank = key[field.indicatorOffset] != IND_VALUE;
    const uint8_t* value = key + field.offset;
    const RecordStore& store = static_cast<const TDSBASE*>(dataset_)->store();
    return WithKeyType(static_cast<int>(fixedKey_), [&](auto zero) {
        using T = decltype(zero);
        const FixedColumn<T> column(store, desc_.fields[0], desc_.descending[0] != 0);
        T mine{};
        if (!blank) std::memcpy(&mine, value, sizeof mine);
        // Integers are totally ordered; floats (where not-a-number compares
        // equal to everything) keep the plain search's probing.
        constexpr bool total = std::is_integral_v<T>;
        if constexpr (kHasWords<T>) {
            const bool descending = desc_.descending[0] != 0;
            // The words of every entry in index order; false when memory is
            // short or a record number does not fit.
            auto copy = [&] {
                try {
                    std::vector<uint32_t> records;
                    if (entries_.CopyTo(records) != DS_OK) return false;
                    searchWords_.Begin(records.size(), changeCounter_);
                    for (uint32_t r : records) {
                        const bool none = column.Blank(r);
                        if (!searchWords_.Add(
                                KeyWord(none, none ? T{} : column.Value(r), descending), r)) {
                            searchWords_.Drop();
                            return false;
                        }
                    }
                    searchWords_.Finish();
                    return true;
                } catch (const std::bad_alloc&) {
                    searchWords_.Drop();
                    return false;
                }
            };
            const bool ready = searchWords_.Matches(changeCounter_, count()) ||
                               (searchWords_.WorthBuilding() && copy());
            if (ready) return searchWords_.Partition(KeyWord(blank, mine, descending), orEqual);
        }
        if (orEqual) {
            auto before = [&](uint32_t record) { return column.Compare(blank, mine, record) >= 0; };
            return total ? entries_.PartitionPointSelect(before) : entries_.PartitionPoint(before);
        }
        auto before = [&](uint32_t record) { return column.Compare(blank, mine, record) > 0; };
        return total ? entries_.PartitionPointSelect(before) : entries_.PartitionPoint(before);
    });
}

int DSIDX::FixedEqualAt(const uint8_t* key, uint32_t position) const {
    if (!searchWords_.Valid(changeCounter_, count())) return -1;
    const FieldDesc& field = dataset_->fields()[desc_.fields[0] - 1];
    const bool blank = key[field.indicatorOffset] != IND_VALUE;
    return WithKeyType(static_cast<int>(fixedKey_), [&](auto zero) {
        using T = decltype(zero);
        if constexpr (kHasWords<T>) {
            T mine{};
            if (!blank) std::memcpy(&mine, key + field.offset, sizeof mine);
            return searchWords_.WordAt(position, KeyWord(blank, mine, desc_.descending[0] != 0))
                       ? 1
                       : 0;
        } else {
            return -1;
        }
    });
}

int DSIDX::FixedCompareKey(const uint8_t* key, uint32_t record) const {
    const FieldDesc& field = dataset_->fields()[desc_.fields[0] - 1];
    const bool blank = key[field.indicatorOffset] != IND_VALUE;
    const RecordStore& store = static_cast<const TDSBASE*>(dataset_)->store();
    return WithKeyType(static_cast<int>(fixedKey_), [&](auto zero) {
        using T = decltype(zero);
        T mine{};
        if (!blank) std::memcpy(&mine, key + field.offset, sizeof mine);
        return FixedColumn<T>(store, desc_.fields[0], desc_.descending[0] != 0)
            .Compare(blank, mine, record);
    });
}

int DSIDX::FixedCompareRecords(uint32_t a, uint32_t b) const {
    const RecordStore& store = static_cast<const TDSBASE*>(dataset_)->store();
    return WithKeyType(static_cast<int>(fixedKey_), [&](auto zero) {
        using T = decltype(zero);
        return FixedColumn<T>(store, desc_.fields[0], desc_.descending[0] != 0)
            .CompareRecords(a, b);
    });
}

}  // namespace pelmora
