// Partial key search over text keys: a partial key finds the first record,
// in index order, whose text starts with the key's bytes, though in a text
// order such records need not stand together.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dataset_test_support.h"

namespace {

using dstest::Engine;
using dstest::Ref;

enum : uint32_t { kGroup = 1, kName = 2 };

// Mixed case, and kana with and without a voicing mark (ka-ki, ga-ka): the
// order of these texts is not the order of their first bytes.
const char* const kNames[] = {
    "b", "abz", "Ab", "ABc", "aBa", "Abx", "\x82\xa9\x82\xab", "\x82\xaa\x82\xa9"};
const char* const kPrefixes[] = {"Ab", "ab", "aB", "AB",       "A",
                                 "b",  "B",  "ba", "\x82\xa9", "\x82\xaa"};

// (GRP int32, NAME string 12) holding every name in groups 1 and 2, in a
// cursor ordered by GRP, NAME.
class PartialKeyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        const FieldDesc fields[] = {dstest::Field("GRP", FLD_INT32),
                                    dstest::Field("NAME", FLD_STRING, 12)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(2, fields, "P")));
        *cur_.out() = Engine::Get().NewCursor();
        ASSERT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        cur_->ReadCursorProps(&props);
        size_ = props.recordSize;
        for (int32_t group : {1, 2}) {
            for (const char* name : kNames)
                ASSERT_EQ(0u, ResultCode(cur_->AddRecord(Key(group, name).data())));
        }
    }

    std::vector<uint8_t> Key(int32_t group, const std::string& name) {
        std::vector<uint8_t> key(size_);
        cur_->PrepareRecord(key.data());
        cur_->WriteFieldValue(key.data(), kGroup, &group);
        cur_->WriteFieldValue(key.data(), kName, name.c_str());
        return key;
    }

    // "group:name" of the current record, or the status code when on none.
    std::string Current() {
        std::vector<uint8_t> rec(size_);
        const uint16_t r = ResultCode(cur_->ReadCurrentRecord(rec.data()));
        if (r != 0) return "#" + std::to_string(r);
        int32_t group = 0;
        char name[16] = {};
        cur_->ReadFieldValue(rec.data(), kGroup, &group, nullptr);
        cur_->ReadFieldValue(rec.data(), kName, name, nullptr);
        return std::to_string(group) + ":" + name;
    }

    // The records in cursor order and the places of the first and last one
    // of group 2 starting with `prefix` (ASCII case aside when caseless).
    std::vector<std::string> Walk() {
        std::vector<std::string> order;
        cur_->GoBeforeFirst();
        while (ResultCode(cur_->MoveBy(1)) == 0 && order.size() < 100) order.push_back(Current());
        return order;
    }
    static std::pair<int, int> Matches(const std::vector<std::string>& order, std::string prefix,
                                       bool caseless) {
        auto fold = [caseless](std::string s) {
            for (char& c : s) c = caseless && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
            return s;
        };
        prefix = fold("2:" + prefix);
        std::pair<int, int> found{-1, -1};
        for (int i = 0; i < static_cast<int>(order.size()); ++i) {
            if (fold(order[i]).compare(0, prefix.size(), prefix) != 0) continue;
            if (found.first < 0) found.first = i;
            found.second = i;
        }
        return found;
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
};

TEST_F(PartialKeyTest, EveryModeFindsTheRecordsStartingWithTheKey) {
    const uint32_t fields[] = {kGroup, kName};
    for (const uint32_t flags : {0, 1, 2}) {  // case-sensitive, descending, caseless
        const uint32_t descending[] = {0, flags == 1};
        const uint32_t caseless[] = {0, flags == 2};
        ASSERT_EQ(0u, ResultCode(cur_->SortByFields(2, fields, descending, caseless)));
        const std::vector<std::string> order = Walk();
        ASSERT_EQ(16u, order.size());
        for (const char* prefix : kPrefixes) {
            SCOPED_TRACE(std::string(prefix) + " order " + std::to_string(flags));
            const auto length = static_cast<uint32_t>(std::strlen(prefix));
            const auto [first, last] = Matches(order, prefix, flags == 2);
            // The key's name runs on past the partial length.
            const std::vector<uint8_t> key = Key(2, std::string(prefix) + "zz");
            cur_->GoToOrdinal(1);
            const uint16_t found =
                ResultCode(cur_->FindRecordByKey(1, length, key.data(), nullptr));
            if (first < 0) {
                EXPECT_EQ(DSERR_RECNOTFOUND, found);
                EXPECT_EQ(order[0], Current());
                continue;
            }
            ASSERT_EQ(0u, found);
            EXPECT_EQ(order[first], Current());
            ASSERT_EQ(0u, ResultCode(cur_->SeekKey(2, 1, length, key.data())));
            cur_->MoveBy(1);
            EXPECT_EQ(order[first], Current());
            // After: the crack past the last match.
            ASSERT_EQ(0u, ResultCode(cur_->SeekKey(1, 1, length, key.data())));
            cur_->MoveBy(1);
            EXPECT_EQ(last + 1 < 16 ? order[last + 1] : "#" + std::to_string(DSERR_EOF), Current());
        }
    }
}

TEST_F(PartialKeyTest, InsideARangeOnlyMatchesOfTheRangeCount) {
    const uint32_t fields[] = {kGroup, kName};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(2, fields, nullptr, nullptr)));
    // From group 2's "ABc" on: its "Ab" sorts before that, its "Abx" after.
    const std::vector<uint8_t> start = Key(2, "ABc");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(2, start.data(), 1, nullptr, 1)));
    const std::vector<std::string> order = Walk();
    for (const char* prefix : kPrefixes) {
        SCOPED_TRACE(prefix);
        const int first = Matches(order, prefix, false).first;
        cur_->GoToOrdinal(1);
        const uint16_t found = ResultCode(cur_->FindRecordByKey(
            1, static_cast<uint32_t>(std::strlen(prefix)), Key(2, prefix).data(), nullptr));
        EXPECT_EQ(first < 0 ? static_cast<uint16_t>(DSERR_RECNOTFOUND) : 0, found);
        EXPECT_EQ(order[first < 0 ? 0 : first], Current());
    }
}

}  // namespace
