// The blocked entry list and the index built on it, held against plain
// models: a std::vector for the entry list through enough edits to split and
// merge blocks many times, and insertion one by one for the bulk build with
// many equal and blank keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "dataset/dataset.h"
#include "index/index.h"
#include "index/index_entries.h"
#include "store/record_buffer.h"

namespace pelmora {
namespace {

// Every position and every record agree with the model.
void ExpectSame(const EntryList& list, const std::vector<uint32_t>& model) {
    ASSERT_EQ(list.size(), model.size());
    for (uint32_t p = 1; p <= model.size(); ++p) {
        ASSERT_EQ(list.At(p), model[p - 1]) << "at " << p;
        ASSERT_EQ(list.PositionOf(model[p - 1]), p);
    }
    EXPECT_EQ(list.At(0), 0u);
    EXPECT_EQ(list.At(static_cast<uint32_t>(model.size()) + 1), 0u);
}

TEST(EntryListTest, RandomEditsAcrossBlockSplitsAndMergesMatchAVector) {
    EntryList list;
    std::vector<uint32_t> model;
    std::vector<uint32_t> absent;  // record numbers not in the list
    std::mt19937 random(5);
    uint32_t nextRecord = 1;
    // Grow well past several blocks, shrink to a handful, grow again: the
    // middle phase folds small blocks together.
    const int phases[][2] = {{6000, 80}, {6000, 10}, {3000, 70}};
    for (const auto& phase : phases) {
        for (int step = 0; step < phase[0]; ++step) {
            const uint32_t roll = random() % 100;
            if (model.empty() || roll < static_cast<uint32_t>(phase[1])) {
                const auto p = static_cast<uint32_t>(random() % (model.size() + 1)) + 1;
                uint32_t record = nextRecord++;
                if (!absent.empty() && roll % 3 == 0) {
                    record = absent.back();  // a number that left comes back
                    absent.pop_back();
                }
                ASSERT_EQ(list.Insert(p, record), DS_OK);
                model.insert(model.begin() + (p - 1), record);
            } else if (roll % 5 == 0) {
                const auto p = static_cast<uint32_t>(random() % model.size()) + 1;
                const uint32_t record = nextRecord++;
                absent.push_back(model[p - 1]);
                ASSERT_EQ(list.Replace(p, record), DS_OK);
                model[p - 1] = record;
            } else {
                const auto p = static_cast<uint32_t>(random() % model.size()) + 1;
                absent.push_back(model[p - 1]);
                list.Erase(p);
                model.erase(model.begin() + (p - 1));
            }
        }
        ExpectSame(list, model);
        for (uint32_t r : absent) ASSERT_EQ(list.PositionOf(r), 0u) << r;
    }
    std::vector<uint32_t> copy;
    ASSERT_EQ(list.CopyTo(copy), DS_OK);
    EXPECT_EQ(copy, model);
}

TEST(EntryListTest, PartitionPointAndBoundsOnAssignedList) {
    // Keys 0,0,...,1,1,... as record numbers' halves: record r has key r / 7.
    std::vector<uint32_t> records(5000);
    for (uint32_t i = 0; i < records.size(); ++i) records[i] = i + 1;
    EntryList list;
    ASSERT_EQ(list.Assign(records), DS_OK);
    ExpectSame(list, records);
    for (uint32_t key = 0; key <= 5001 / 7 + 1; key += 13) {
        const uint32_t p = list.PartitionPoint([key](uint32_t r) { return r / 7 < key; });
        const auto expected =
            static_cast<uint32_t>(std::partition_point(records.begin(), records.end(),
                                                       [key](uint32_t r) { return r / 7 < key; }) -
                                  records.begin() + 1);
        EXPECT_EQ(p, expected) << key;
    }
    EXPECT_EQ(list.PartitionPoint([](uint32_t) { return true; }), 5001u);
    EXPECT_EQ(list.PartitionPoint([](uint32_t) { return false; }), 1u);
    // Positions outside 1..N+1 are refused and change nothing.
    EXPECT_NE(list.Insert(0, 9999), DS_OK);
    EXPECT_NE(list.Insert(5002, 9999), DS_OK);
    list.Erase(0);
    list.Erase(5001);
    ExpectSame(list, records);
    list.Clear();
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.PositionOf(1), 0u);
    EXPECT_EQ(list.PartitionPoint([](uint32_t) { return true; }), 1u);
}

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

IndexDesc Desc(const char* name, std::vector<uint32_t> fields,
               std::vector<uint32_t> descending = {}) {
    IndexDesc d{};
    std::strncpy(d.name, name, sizeof d.name - 1);
    d.fieldCount = static_cast<uint32_t>(fields.size());
    for (size_t k = 0; k < fields.size(); ++k) d.fields[k] = fields[k];
    for (size_t k = 0; k < descending.size(); ++k) d.descending[k] = descending[k];
    return d;
}

// (CODE int16, NAME string(12), DAY date) with few distinct values, one in
// ten blank, so that long runs of equal keys cross block boundaries.
class Crowded : public ::testing::Test {
  protected:
    void SetUp() override {
        ds_ = NewDataset();
        ds_->AddRef();
        const FieldDesc fields[] = {Field("CODE", FLD_INT16), Field("NAME", FLD_STRING, 12),
                                    Field("DAY", FLD_DATE)};
        ASSERT_EQ(ds_->DefineFields(3, fields, "T"), DS_OK);
    }
    void TearDown() override { ds_->Release(); }

    void Insert(std::mt19937& random) {
        std::vector<uint8_t> row(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), row.data());
        const auto code = static_cast<int16_t>(static_cast<int>(random() % 7) - 3);
        const char* names[] = {"b", "A", "a", "c", "B"};
        const uint32_t day = 730000 + random() % 5;
        const bool blank = random() % 10 == 0;
        WriteBufferValue(ds_->fields(), row.data(), 1, blank ? nullptr : &code);
        WriteBufferValue(ds_->fields(), row.data(), 2, names[random() % 5]);
        WriteBufferValue(ds_->fields(), row.data(), 3, random() % 10 == 0 ? nullptr : &day);
        uint32_t record = 0;
        ASSERT_EQ(ds_->InsertRecord(row.data(), &record), DS_OK);
    }

    std::vector<uint32_t> Entries(const DSIDX& index) {
        std::vector<uint32_t> out;
        for (uint32_t p = 1; p <= index.count(); ++p) out.push_back(index.EntryAt(p));
        return out;
    }

    TDSBASE* ds_ = nullptr;
};

TEST_F(Crowded, BulkBuildEqualsOneByOneInsertionAndSearchesFindRunEnds) {
    std::mt19937 random(11);
    // Index kept while the records arrive one by one...
    const IndexDesc live = Desc("LIVE", {1, 2, 3}, {0, 1, 0});
    ASSERT_EQ(ds_->MakeIndex(&live), DS_OK);
    for (int i = 0; i < 3000; ++i) Insert(random);
    // ... against the same descriptor built in bulk afterwards.
    IndexDesc bulk = live;
    std::strncpy(bulk.name, "BULK", sizeof bulk.name);
    ASSERT_EQ(ds_->MakeIndex(&bulk), DS_OK);
    DSIDX* a = nullptr;
    DSIDX* b = nullptr;
    ASSERT_EQ(ds_->FindIndex("LIVE", &a), DS_OK);
    ASSERT_EQ(ds_->FindIndex("BULK", &b), DS_OK);
    const std::vector<uint32_t> order = Entries(*a);
    ASSERT_EQ(order.size(), 3000u);
    EXPECT_EQ(Entries(*b), order);
    for (size_t i = 1; i < order.size(); ++i) {
        ASSERT_LE(a->CompareRecords(order[i - 1], order[i]), 0) << i;
    }

    // Every record's equal run: First and Last land on its ends.
    for (uint32_t p = 1; p <= order.size(); p += 37) {
        const uint32_t r = order[p - 1];
        uint32_t first = p;
        while (first > 1 && a->CompareRecords(r, order[first - 2]) == 0) --first;
        uint32_t last = p;
        while (last < order.size() && a->CompareRecords(r, order[last]) == 0) ++last;
        uint32_t got = 0;
        ASSERT_TRUE(a->SearchRecord(r, EqualChoice::First, &got));
        EXPECT_EQ(got, first);
        ASSERT_TRUE(a->SearchRecord(r, EqualChoice::Last, &got));
        EXPECT_EQ(got, last);
        std::vector<uint8_t> key(ds_->record_size());
        ASSERT_EQ(ds_->ReadRecord(r, key.data()), DS_OK);
        ASSERT_TRUE(a->SearchKey(key.data(), 3, 0, &got));
        EXPECT_EQ(got, first);
        EXPECT_EQ(a->LastEqual(key.data(), 3, 0, got), last);
    }

    // Deleting every other record keeps both indexes equal and positions found.
    for (size_t i = 0; i < order.size(); i += 2) ASSERT_EQ(ds_->DeleteRecord(order[i]), DS_OK);
    const std::vector<uint32_t> left = Entries(*a);
    EXPECT_EQ(Entries(*b), left);
    ASSERT_EQ(left.size(), 1500u);
    for (uint32_t p = 1; p <= left.size(); ++p) ASSERT_EQ(a->PositionOf(left[p - 1]), p);
    EXPECT_EQ(a->PositionOf(order[0]), 0u);
}

}  // namespace
}  // namespace pelmora
