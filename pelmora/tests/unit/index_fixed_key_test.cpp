// Indexes whose first key field is a fixed-width number search and compare
// straight from the store; every answer must match the comparator objects'
// order (blank first, descending reversed), for each numeric type, with
// duplicates, blanks and extreme values, through inserts, edits and deletes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "dataset/dataset.h"
#include "index/comparators.h"
#include "index/index.h"
#include "index_test_support.h"
#include "store/record_buffer.h"

namespace pelmora {
namespace {

using index_test::Field;

// Raw values of a type: extremes, zero and a few in between, as the bytes
// the store holds. Narrower types keep the low bytes.
std::vector<std::vector<uint8_t>> Pool(uint32_t type, uint32_t width) {
    std::vector<std::vector<uint8_t>> out;
    if (type == FLD_FLOAT || type == FLD_TIMESTAMP) {
        for (double v : {-1e300, -2.5, -0.0, 0.0, 1e-300, 2.5, 3.0, 1e300}) {
            std::vector<uint8_t> b(8);
            std::memcpy(b.data(), &v, 8);
            out.push_back(b);
        }
        return out;
    }
    for (int64_t v :
         {INT64_MIN, int64_t{-129}, int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{127}, int64_t{128},
          int64_t{255}, int64_t{40000}, int64_t{0x7FFFFFFF}, int64_t{0x80000000}, INT64_MAX}) {
        std::vector<uint8_t> b(width);
        std::memcpy(b.data(), &v, width);  // little-endian low bytes
        out.push_back(b);
    }
    return out;
}

struct Case {
    uint32_t type;
    bool descending;
};

class FixedKeyIndex : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        ds_ = NewDataset();
        ds_->AddRef();
        const FieldDesc fields[] = {Field("TAG", FLD_INT32), Field("K", GetParam().type)};
        ASSERT_EQ(ds_->DefineFields(2, fields, "F"), DS_OK);
        // ONE: K alone; TWO: K then TAG (searches over K only take the fast path too).
        IndexDesc one{};
        std::strcpy(one.name, "ONE");
        one.fieldCount = 1;
        one.fields[0] = 2;
        one.descending[0] = GetParam().descending ? 1 : 0;
        IndexDesc two = one;
        std::strcpy(two.name, "TWO");
        two.fieldCount = 2;
        two.fields[1] = 1;
        ASSERT_EQ(ds_->MakeIndex(&one), DS_OK);
        ASSERT_EQ(ds_->MakeIndex(&two), DS_OK);
        ASSERT_EQ(ds_->FindIndex("ONE", &one_), DS_OK);
        ASSERT_EQ(ds_->FindIndex("TWO", &two_), DS_OK);
        const FieldDesc& k = ds_->fields()[1];
        ASSERT_EQ(MakeComparator(k, GetParam().descending, false, nullptr, reference_), DS_OK);
        pool_ = Pool(k.type, k.length);
    }
    void TearDown() override { ds_->Release(); }

    // A record buffer with TAG and K (blank when value is null).
    std::vector<uint8_t> Row(int32_t tag, const std::vector<uint8_t>* value) {
        std::vector<uint8_t> row(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), row.data());
        WriteBufferValue(ds_->fields(), row.data(), 1, &tag);
        if (value != nullptr) WriteBufferValue(ds_->fields(), row.data(), 2, value->data());
        return row;
    }
    const uint8_t* Stored(uint32_t record) const {
        const RecordStore& s = ds_->store();
        return s.IndicatorAt(record, 2) == IND_VALUE ? s.ValueAt(record, 2) : nullptr;
    }
    const uint8_t* KeyValue(const std::vector<uint8_t>& key) const {
        const FieldDesc& k = ds_->fields()[1];
        return key[k.indicatorOffset] == IND_VALUE ? key.data() + k.offset : nullptr;
    }

    // The index is in the comparator's order; before any edit, equal keys in
    // ONE keep their arrival (record number) order (an edit that keeps the
    // key keeps the place under a new number).
    void ExpectOrdered(const DSIDX* index, bool arrivalOrder) {
        for (uint32_t p = 1; p < index->count(); ++p) {
            const uint32_t a = index->EntryAt(p);
            const uint32_t b = index->EntryAt(p + 1);
            const int c = reference_->Compare(Stored(a), Stored(b));
            ASSERT_LE(c, 0) << "position " << p;
            EXPECT_EQ(index->CompareRecords(a, b) <= 0, true);
            if (arrivalOrder && index == one_ && c == 0) {
                EXPECT_LT(a, b);
            }
        }
    }

    // Searches of every pool value and a blank agree with a scan under the
    // comparator.
    void ExpectSearchesAgree(const DSIDX* index) {
        std::vector<std::vector<uint8_t>> keys;
        for (const auto& v : pool_) keys.push_back(Row(0, &v));
        keys.push_back(Row(0, nullptr));
        for (const auto& key : keys) {
            const uint8_t* mine = KeyValue(key);
            uint32_t first = index->count() + 1;
            uint32_t last = 0;
            for (uint32_t p = index->count(); p >= 1; --p) {
                const int c = reference_->Compare(mine, Stored(index->EntryAt(p)));
                EXPECT_EQ(index->CompareKey(key.data(), 1, 0, index->EntryAt(p)), c);
                if (c <= 0) first = p;
                if (c == 0 && last == 0) last = p;
            }
            const bool present = first <= index->count() &&
                                 reference_->Compare(mine, Stored(index->EntryAt(first))) == 0;
            uint32_t p = 0;
            EXPECT_EQ(index->SearchKey(key.data(), 1, 0, &p), present);
            EXPECT_EQ(p, present ? first : first - 1);
            if (present) {
                EXPECT_EQ(index->LastEqual(key.data(), 1, 0, p), last);
            }
        }
    }

    TDSBASE* ds_ = nullptr;
    DSIDX* one_ = nullptr;
    DSIDX* two_ = nullptr;
    std::unique_ptr<FLDObj> reference_;
    std::vector<std::vector<uint8_t>> pool_;
};

TEST_P(FixedKeyIndex, OrderAndSearchesMatchTheComparatorThroughEdits) {
    std::mt19937 random(11);
    std::vector<uint32_t> records;
    for (int32_t tag = 0; tag < 300; ++tag) {
        const size_t pick = random() % (pool_.size() + 1);
        const auto row = Row(tag, pick < pool_.size() ? &pool_[pick] : nullptr);
        uint32_t n = 0;
        ASSERT_EQ(ds_->InsertRecord(row.data(), &n), DS_OK);
        records.push_back(n);
    }
    ExpectOrdered(one_, true);
    ExpectOrdered(two_, true);
    ExpectSearchesAgree(one_);
    ExpectSearchesAgree(two_);

    // Edits move records within the order; deletes take them out.
    for (size_t i = 0; i < records.size(); i += 3) {
        const size_t pick = random() % (pool_.size() + 1);
        const auto row =
            Row(1000 + static_cast<int32_t>(i), pick < pool_.size() ? &pool_[pick] : nullptr);
        uint32_t n = 0;
        ASSERT_EQ(ds_->ModifyRecord(records[i], row.data(), &n), DS_OK);
        if (n != 0) records[i] = n;
    }
    for (size_t i = 1; i < records.size(); i += 7) ASSERT_EQ(ds_->DeleteRecord(records[i]), DS_OK);
    ExpectOrdered(one_, false);
    ExpectOrdered(two_, false);
    ExpectSearchesAgree(one_);
    ExpectSearchesAgree(two_);
}

INSTANTIATE_TEST_SUITE_P(Types, FixedKeyIndex,
                         ::testing::Values(Case{FLD_INT8, false}, Case{FLD_UINT8, true},
                                           Case{FLD_BOOL8, false}, Case{FLD_INT16, false},
                                           Case{FLD_UINT16, false}, Case{FLD_BOOL16, true},
                                           Case{FLD_INT32, false}, Case{FLD_INT32, true},
                                           Case{FLD_UINT32, false}, Case{FLD_DATE, true},
                                           Case{FLD_TIME, false}, Case{FLD_BOOL32, false},
                                           Case{FLD_INT64, false}, Case{FLD_UINT64, true},
                                           Case{FLD_FLOAT, false}, Case{FLD_TIMESTAMP, true}));

}  // namespace
}  // namespace pelmora
