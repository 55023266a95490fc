// Runs of key searches over an unchanged integer index switch to a flat copy
// of the key words and record numbers. Whatever the edits in between (new
// records, changed keys, new versions with the same key, deletions, undo),
// searches and positions must give what the entry blocks give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "dataset/dataset.h"
#include "index/index.h"
#include "index/search_words.h"
#include "store/record_buffer.h"

namespace pelmora {
namespace {

TEST(SearchWords, PartitionCountsTheWordsBefore) {
    std::mt19937_64 random(1);
    for (size_t n :
         {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{33}, size_t{1000}}) {
        std::vector<uint64_t> words(n);
        for (uint64_t& w : words)
            w = random() % 50 + (random() % 2 ? SearchWords::kWordLimit - 60 : 0);
        std::sort(words.begin(), words.end());
        SearchWords copy;
        copy.Begin(n, 7);
        for (size_t i = 0; i < n; ++i)
            ASSERT_TRUE(copy.Add(words[i], static_cast<uint32_t>(i + 1)));
        copy.Finish();
        const std::vector<uint64_t>& sorted = words;
        ASSERT_TRUE(copy.Valid(7, static_cast<uint32_t>(n)));
        EXPECT_FALSE(copy.Valid(8, static_cast<uint32_t>(n)));
        for (uint64_t probe :
             {uint64_t{0}, uint64_t{7}, uint64_t{49}, uint64_t{50}, SearchWords::kWordLimit - 60,
              SearchWords::kWordLimit - 31, SearchWords::kWordLimit - 1}) {
            const auto below =
                std::lower_bound(sorted.begin(), sorted.end(), probe) - sorted.begin();
            const auto notAbove =
                std::upper_bound(sorted.begin(), sorted.end(), probe) - sorted.begin();
            ASSERT_EQ(copy.Partition(probe, false), below + 1) << n << " " << probe;
            ASSERT_EQ(copy.Partition(probe, true), notAbove + 1) << n << " " << probe;
        }
        for (uint32_t p = 1; p <= n; ++p) {
            ASSERT_EQ(copy.RecordAt(p), p);
            ASSERT_TRUE(copy.WordAt(p, sorted[p - 1]));
        }
    }
    SearchWords copy;
    copy.Begin(2, 1);
    EXPECT_FALSE(copy.Add(SearchWords::kWordLimit, 1));
    EXPECT_FALSE(copy.Add(1, SearchWords::kRecordLimit));
}

class SearchRuns : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ds_ = NewDataset();
        ds_->AddRef();
        FieldDesc fields[2] = {};
        std::strcpy(fields[0].name, "CODE");
        fields[0].type = FLD_INT32;
        std::strcpy(fields[1].name, "NOTE");
        fields[1].type = FLD_INT16;
        ASSERT_EQ(ds_->DefineFields(2, fields, "W"), DS_OK);
        IndexDesc d{};
        std::strcpy(d.name, "BYCODE");
        d.fieldCount = 1;
        d.fields[0] = 1;
        d.descending[0] = GetParam() ? 1 : 0;
        ASSERT_EQ(ds_->MakeIndex(&d), DS_OK);
        ASSERT_EQ(ds_->FindIndex("BYCODE", &index_), DS_OK);
        // The same order, never searched: it always answers from its blocks.
        std::strcpy(d.name, "REFERENCE");
        ASSERT_EQ(ds_->MakeIndex(&d), DS_OK);
        ASSERT_EQ(ds_->FindIndex("REFERENCE", &reference_), DS_OK);
    }
    void TearDown() override { ds_->Release(); }

    std::vector<uint8_t> Row(bool blank, int32_t code, int16_t note) {
        std::vector<uint8_t> row(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), row.data());
        if (!blank) WriteBufferValue(ds_->fields(), row.data(), 1, &code);
        WriteBufferValue(ds_->fields(), row.data(), 2, &note);
        return row;
    }
    static std::vector<uint32_t> Order(const DSIDX* index) {
        std::vector<uint32_t> out;
        for (uint32_t p = 1; p <= index->count(); ++p) out.push_back(index->EntryAt(p));
        return out;
    }
    // Enough searches to make the copy, each checked against a plain scan
    // of the reference order; then every position.
    void SearchRun(std::mt19937& random) {
        const std::vector<uint32_t> order = Order(reference_);
        for (int i = 0; i < 900; ++i) {
            const bool blank = random() % 20 == 0;
            const std::vector<uint8_t> key =
                Row(blank, static_cast<int32_t>(random() % 400) - 200, 0);
            uint32_t first = 1;
            while (first <= order.size() &&
                   index_->CompareKey(key.data(), 1, 0, order[first - 1]) > 0)
                ++first;
            const bool equal = first <= order.size() &&
                               index_->CompareKey(key.data(), 1, 0, order[first - 1]) == 0;
            uint32_t position = 0;
            ASSERT_EQ(index_->SearchKey(key.data(), 1, 0, &position), equal) << i;
            ASSERT_EQ(position, equal ? first : first - 1) << i;
            if (equal) {
                uint32_t last = first;
                while (last < order.size() &&
                       index_->CompareKey(key.data(), 1, 0, order[last]) == 0)
                    ++last;
                ASSERT_EQ(index_->LastEqual(key.data(), 1, 0, first), last) << i;
            }
        }
        ASSERT_EQ(Order(index_), order);
        EXPECT_EQ(index_->EntryAt(0), 0u);
        EXPECT_EQ(index_->EntryAt(index_->count() + 1), 0u);
    }

    TDSBASE* ds_ = nullptr;
    DSIDX* index_ = nullptr;
    DSIDX* reference_ = nullptr;
};

TEST_P(SearchRuns, AgreeWithTheEntryBlocksThroughEdits) {
    std::mt19937 random(GetParam() ? 11 : 12);
    for (int i = 0; i < 3000; ++i) {
        const std::vector<uint8_t> row =
            Row(random() % 15 == 0, static_cast<int32_t>(random() % 300) - 150, 0);
        uint32_t n = 0;
        ASSERT_EQ(ds_->InsertRecord(row.data(), &n), DS_OK);
    }
    SearchRun(random);
    for (int round = 0; round < 12; ++round) {
        const std::vector<uint32_t> records = Order(reference_);
        const uint32_t victim = records[random() % records.size()];
        uint32_t changed = 0;
        switch (round % 6) {
            case 0: {  // a new record
                const std::vector<uint8_t> row =
                    Row(false, static_cast<int32_t>(random() % 300), 1);
                ASSERT_EQ(ds_->InsertRecord(row.data(), &changed), DS_OK);
                break;
            }
            case 1: {  // a changed key
                const std::vector<uint8_t> row =
                    Row(false, static_cast<int32_t>(random() % 300), 2);
                ASSERT_EQ(ds_->ModifyRecord(victim, row.data(), &changed), DS_OK);
                break;
            }
            case 2: {  // a new version with the same key takes the old one's place
                std::vector<uint8_t> row(ds_->record_size());
                ASSERT_EQ(ds_->ReadRecord(victim, row.data()), DS_OK);
                const int16_t note = static_cast<int16_t>(round + 100);
                WriteBufferValue(ds_->fields(), row.data(), 2, &note);
                ASSERT_EQ(ds_->ModifyRecord(victim, row.data(), &changed), DS_OK);
                break;
            }
            case 3:
                ASSERT_EQ(ds_->DeleteRecord(victim), DS_OK);
                break;
            case 4:
                ASSERT_EQ(ds_->UndoLastChange(&changed), DS_OK);
                break;
            default: {  // a blank key
                const std::vector<uint8_t> row = Row(true, 0, 3);
                ASSERT_EQ(ds_->ModifyRecord(victim, row.data(), &changed), DS_OK);
                break;
            }
        }
        // Positions straight after the edit, then a run of searches.
        ASSERT_EQ(Order(index_), Order(reference_)) << round;
        SearchRun(random);
    }
}

INSTANTIATE_TEST_SUITE_P(BothDirections, SearchRuns, ::testing::Values(false, true));

}  // namespace
}  // namespace pelmora
