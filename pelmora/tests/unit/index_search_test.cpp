// Binary searches of an index: the first equal position or the last entry
// before a key, partial string keys, and the choice among equal stored keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "index/index.h"
#include "store/record_buffer.h"

namespace pelmora {
namespace {

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

// (CODE int32, NAME string(10)) with an index on CODE, NAME, filled with the
// codes given (each with the name "k<code>").
class Keys : public ::testing::Test {
  protected:
    void Fill(const std::vector<int32_t>& codes, bool descending = false) {
        ds_ = NewDataset();
        ds_->AddRef();
        const FieldDesc fields[] = {Field("CODE", FLD_INT32), Field("NAME", FLD_STRING, 10)};
        ASSERT_EQ(ds_->DefineFields(2, fields, "K"), DS_OK);
        IndexDesc d{};
        std::strcpy(d.name, "BYCODE");
        d.fieldCount = 2;
        d.fields[0] = 1;
        d.fields[1] = 2;
        d.descending[0] = descending ? 1 : 0;
        d.caseInsensitive[1] = 1;
        ASSERT_EQ(ds_->MakeIndex(&d), DS_OK);
        ASSERT_EQ(ds_->FindIndex("BYCODE", &index_), DS_OK);
        for (int32_t code : codes) {
            const std::string name = "k" + std::to_string(code);
            uint32_t n = 0;
            ASSERT_EQ(ds_->InsertRecord(Key(code, name.c_str()).data(), &n), DS_OK);
        }
    }
    void TearDown() override {
        if (ds_ != nullptr) ds_->Release();
    }
    std::vector<uint8_t> Key(int32_t code, const char* name = nullptr) {
        std::vector<uint8_t> k(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), k.data());
        WriteBufferValue(ds_->fields(), k.data(), 1, &code);
        WriteBufferValue(ds_->fields(), k.data(), 2, name);
        return k;
    }
    int32_t CodeAt(uint32_t position) {
        int32_t v = 0;
        std::memcpy(&v, ds_->store().ValueAt(index_->EntryAt(position), 1), 4);
        return v;
    }
    uint32_t Search(int32_t code, bool* found) {
        uint32_t p = 0;
        *found = index_->SearchKey(Key(code).data(), 1, 0, &p);
        return p;
    }

    TDSBASE* ds_ = nullptr;
    DSIDX* index_ = nullptr;
};

TEST_F(Keys, SearchFindsFirstEqualOrLastBefore) {
    const std::vector<int32_t> codes = {5, 1, 9, 5, 3, 5, 11, 7, 9, 1, 5, 11, 5};
    Fill(codes);
    ASSERT_EQ(index_->count(), codes.size());
    for (int32_t code = 0; code <= 12; ++code) {
        // The reference answer by walking the sorted entries.
        uint32_t firstAtOrAfter = index_->count() + 1;
        for (uint32_t p = index_->count(); p >= 1; --p) {
            if (CodeAt(p) >= code) firstAtOrAfter = p;
        }
        const bool present = firstAtOrAfter <= index_->count() && CodeAt(firstAtOrAfter) == code;
        bool found = false;
        const uint32_t p = Search(code, &found);
        EXPECT_EQ(found, present) << code;
        EXPECT_EQ(p, present ? firstAtOrAfter : firstAtOrAfter - 1) << code;
        if (present) {
            uint32_t last = index_->LastEqual(Key(code).data(), 1, 0, p);
            EXPECT_EQ(CodeAt(last), code);
            if (last < index_->count()) {
                EXPECT_GT(CodeAt(last + 1), code);
            }
            EXPECT_EQ(last - p + 1,
                      static_cast<uint32_t>(std::count(codes.begin(), codes.end(), code)));
        }
    }
}

TEST_F(Keys, SearchOnEmptyAndDescendingIndexes) {
    Fill({});
    bool found = true;
    EXPECT_EQ(Search(3, &found), 0u);
    EXPECT_FALSE(found);
    TearDown();
    Fill({2, 8, 4, 6}, true);          // 8 6 4 2
    EXPECT_EQ(Search(9, &found), 0u);  // before everything
    EXPECT_FALSE(found);
    EXPECT_EQ(Search(5, &found), 2u);  // after 6
    EXPECT_FALSE(found);
    EXPECT_EQ(Search(4, &found), 3u);
    EXPECT_TRUE(found);
    EXPECT_EQ(Search(1, &found), 4u);
    EXPECT_FALSE(found);
}

TEST_F(Keys, PartialStringKeyComparesOnlyTheLeadingBytesIgnoringCaseWhenAsked) {
    Fill({});
    for (const char* name : {"ABX", "AAZ", "ABA", "AC", "abc", "B"}) {
        uint32_t n = 0;
        ASSERT_EQ(ds_->InsertRecord(Key(1, name).data(), &n), DS_OK);
    }
    uint32_t p = 0;
    ASSERT_TRUE(index_->SearchKey(Key(1, "ab").data(), 1, 2, &p));
    char name[11] = {};
    std::memcpy(name, ds_->store().ValueAt(index_->EntryAt(p), 2), 10);
    EXPECT_EQ(std::string(name), "ABA");
    const uint32_t last = index_->LastEqual(Key(1, "ab").data(), 1, 2, p);
    EXPECT_EQ(last - p + 1, 3u);  // ABA, abc, ABX
    // The full key "ab" matches nothing: it sorts after "AAZ", before "ABA".
    EXPECT_FALSE(index_->SearchKey(Key(1, "ab").data(), 2, 0, &p));
    EXPECT_EQ(p, 1u);
    // A partial key longer than a stored value compares the stored value whole.
    EXPECT_FALSE(index_->SearchKey(Key(1, "ACD").data(), 1, 3, &p));
    std::memcpy(name, ds_->store().ValueAt(index_->EntryAt(p), 2), 10);
    EXPECT_EQ(std::string(name), "AC");
}

TEST_F(Keys, StoredRecordSearchHonoursTheEqualChoice) {
    Fill({4, 2, 4, 4, 6});  // records 1..5; order 2(r2) 4(r1) 4(r3) 4(r4) 6(r5)
    // A probe record with key 4 and name "k4" (the names tie too).
    uint32_t probe = 0;
    ASSERT_EQ(ds_->InsertRecord(Key(4, "k4").data(), &probe), DS_OK);
    ASSERT_EQ(ds_->DeleteRecord(probe), DS_OK);  // leaves the index, stays in the store
    uint32_t p = 0;
    ASSERT_TRUE(index_->SearchRecord(probe, EqualChoice::First, &p));
    EXPECT_EQ(p, 2u);
    ASSERT_TRUE(index_->SearchRecord(probe, EqualChoice::Last, &p));
    EXPECT_EQ(p, 4u);
    ASSERT_TRUE(index_->SearchRecord(probe, EqualChoice::Any, &p));
    EXPECT_GE(p, 2u);
    EXPECT_LE(p, 4u);
}

}  // namespace
}  // namespace pelmora
