// Orders, key search and key ranges through a cursor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine_loader.h"

using enginetest::Engine;
using enginetest::Ref;

namespace {

enum : uint32_t { kId = 1, kName = 2, kNote = 3 };

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

IndexDesc Index(const char* name, std::initializer_list<uint32_t> fields, uint32_t unique = 0) {
    IndexDesc d{};
    std::strncpy(d.name, name, sizeof d.name - 1);
    for (uint32_t f : fields) d.fields[d.fieldCount++] = f;
    d.unique = unique;
    return d;
}

// (ID int32, NAME string 12, NOTE blob) with records added in the given
// order, an index "BYNAME" on NAME and one cursor.
class KeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("NAME", FLD_STRING, 12),
                                    Field("NOTE", FLD_BLOB)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(3, fields, "K")));
        *cur_.out() = Engine::Get().NewCursor();
        ASSERT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        cur_->ReadCursorProps(&props);
        size_ = props.recordSize;
        const char* names[] = {"B", "AB2", "AA", "AC", "AB1", "ab0"};
        for (int32_t i = 0; i < 6; ++i) Add(i + 1, names[i]);
        const IndexDesc byName = Index("BYNAME", {kName});
        ASSERT_EQ(0u, ResultCode(ds_->MakeIndex(&byName)));
    }

    void Add(int32_t id, const char* name) {
        std::vector<uint8_t> rec(size_);
        cur_->PrepareRecord(rec.data());
        cur_->WriteFieldValue(rec.data(), kId, &id);
        cur_->WriteFieldValue(rec.data(), kName, name);
        ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
    }

    std::vector<uint8_t> Key(const char* name) {
        std::vector<uint8_t> key(size_);
        cur_->PrepareRecord(key.data());
        cur_->WriteFieldValue(key.data(), kName, name);
        return key;
    }

    std::vector<uint8_t> IdKey(int32_t id) {
        std::vector<uint8_t> key(size_);
        cur_->PrepareRecord(key.data());
        cur_->WriteFieldValue(key.data(), kId, &id);
        return key;
    }

    // NAME of the current record, or the status text when on none.
    std::string Current(IDSCursor* c = nullptr) {
        c = c ? c : cur_.get();
        std::vector<uint8_t> rec(size_);
        const uint16_t r = ResultCode(c->ReadCurrentRecord(rec.data()));
        if (r != 0) return "#" + std::to_string(r);
        char name[16] = {};
        c->ReadFieldValue(rec.data(), kName, name, nullptr);
        return name;
    }

    std::vector<std::string> Walk(IDSCursor* c = nullptr) {
        c = c ? c : cur_.get();
        std::vector<std::string> names;
        c->GoBeforeFirst();
        while (ResultCode(c->MoveBy(1)) == 0 && names.size() < 100) names.push_back(Current(c));
        return names;
    }

    uint32_t Count() {
        uint32_t n = 0;
        EXPECT_EQ(0u, ResultCode(cur_->CountRecords(&n)));
        return n;
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
};

TEST_F(KeysTest, SeekModesPlaceTheCursorOnCracks) {
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYNAME")));
    const std::vector<std::string> order = Walk();
    ASSERT_EQ(6u, order.size());

    // Exact: the crack before the first match.
    std::vector<uint8_t> ab1 = Key("AB1");
    ASSERT_EQ(0u, ResultCode(cur_->SeekKey(0, 1, 0, ab1.data())));
    EXPECT_EQ("#" + std::to_string(DSERR_NOCURRREC), Current());
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ("AB1", Current());
    ASSERT_EQ(0u, ResultCode(cur_->SeekKey(0, 1, 0, ab1.data())));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    const auto at = std::find(order.begin(), order.end(), "AB1") - order.begin();
    ASSERT_GT(at, 0);
    EXPECT_EQ(order[at - 1], Current());

    // A missing key leaves the cursor where it was.
    cur_->GoToOrdinal(2);
    const std::string before = Current();
    std::vector<uint8_t> missing = Key("AB15");
    EXPECT_EQ(DSERR_RECNOTFOUND, ResultCode(cur_->SeekKey(0, 1, 0, missing.data())));
    EXPECT_EQ(before, Current());

    // After: past every equal key. At or after: before the next greater key.
    ASSERT_EQ(0u, ResultCode(cur_->SeekKey(1, 1, 0, ab1.data())));
    cur_->MoveBy(1);
    EXPECT_EQ(order[at + 1], Current());
    ASSERT_EQ(0u, ResultCode(cur_->SeekKey(2, 1, 0, missing.data())));
    cur_->MoveBy(1);
    EXPECT_EQ(order[at + 1], Current());
    std::vector<uint8_t> last = Key("ZZZ");
    ASSERT_EQ(0u, ResultCode(cur_->SeekKey(2, 1, 0, last.data())));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(1)));

    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(cur_->SeekKey(0, 2, 0, ab1.data())));
    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(cur_->SeekKey(0, 1, 2, ab1.data())));
}

TEST_F(KeysTest, PartialKeysMatchOnlyStrings) {
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYNAME")));
    std::vector<uint8_t> ab = Key("AB");
    std::vector<uint8_t> rec(size_);
    ASSERT_EQ(0u, ResultCode(cur_->FindRecordByKey(0, 2, ab.data(), rec.data())));
    const std::string found = Current();
    EXPECT_EQ(0, found.compare(0, 2, "AB")) << found;
    // The first of the records starting with "AB" in this order.
    for (const std::string& name : Walk()) {
        if (name.compare(0, 2, "AB") == 0) {
            EXPECT_EQ(name, found);
            break;
        }
    }
    std::vector<uint8_t> none = Key("AX");
    EXPECT_EQ(DSERR_RECNOTFOUND, ResultCode(cur_->FindRecordByKey(0, 2, none.data(), nullptr)));

    const uint32_t byId[] = {kId};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, byId, nullptr, nullptr)));
    std::vector<uint8_t> id = IdKey(3);
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->SeekKey(0, 0, 1, id.data())));
    ASSERT_EQ(0u, ResultCode(cur_->FindRecordByKey(1, 0, id.data(), nullptr)));
    EXPECT_EQ("AA", Current());

    // The default order has no key fields to search.
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex(nullptr)));
    EXPECT_EQ(DSERR_NOTINDEXED, ResultCode(cur_->SeekKey(0, 1, 0, id.data())));
    EXPECT_EQ(DSERR_NOTINDEXED, ResultCode(cur_->LimitToRange(1, id.data(), 1, id.data(), 1)));
}

TEST_F(KeysTest, RangesWithEqualBounds) {
    Add(7, "AB1");
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYNAME")));
    std::vector<uint8_t> ab1 = Key("AB1");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, ab1.data(), 1, ab1.data(), 1)));
    EXPECT_EQ(2u, Count());
    EXPECT_EQ((std::vector<std::string>{"AB1", "AB1"}), Walk());
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, ab1.data(), 0, ab1.data(), 0)));
    EXPECT_EQ(0u, Count());
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(1)));

    // Half-open and one-sided ranges.
    std::vector<uint8_t> ac = Key("AC");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, ab1.data(), 0, ac.data(), 1)));
    EXPECT_EQ((std::vector<std::string>{"AB2", "AC"}), Walk());
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, ac.data(), 1, nullptr, 1)));
    const std::vector<std::string> tail = Walk();
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ("AC", tail.front());
    uint32_t ordinal = 0;
    cur_->GoToOrdinal(1);
    ASSERT_EQ(0u, ResultCode(cur_->ReadOrdinal(&ordinal)));
    EXPECT_EQ(1u, ordinal);
    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(cur_->LimitToRange(2, ac.data(), 1, ac.data(), 1)));

    ASSERT_EQ(0u, ResultCode(cur_->ClearRange()));
    EXPECT_EQ(7u, Count());
}

// A key search inside a range finds only records of the range: a key that
// sorts outside it is not found and the cursor stays where it was.
TEST_F(KeysTest, KeySearchInsideARangeFindsOnlyItsRecords) {
    Add(7, "AB1");
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYNAME")));
    std::vector<uint8_t> ab1 = Key("AB1");
    std::vector<uint8_t> ac = Key("AC");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, ab1.data(), 0, ac.data(), 1)));
    ASSERT_EQ((std::vector<std::string>{"AB2", "AC"}), Walk());
    ASSERT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    ASSERT_EQ("AC", Current());
    std::vector<uint8_t> rec(size_);
    for (const char* outside : {"AA", "AB1", "B"}) {
        std::vector<uint8_t> key = Key(outside);
        EXPECT_EQ(DSERR_RECNOTFOUND,
                  ResultCode(cur_->FindRecordByKey(1, 0, key.data(), rec.data())))
            << outside;
        EXPECT_EQ("AC", Current()) << outside;
    }
    std::vector<uint8_t> ab2 = Key("AB2");
    EXPECT_EQ(0u, ResultCode(cur_->FindRecordByKey(1, 0, ab2.data(), rec.data())));
    EXPECT_EQ("AB2", Current());

    // Equal keys on both sides of the range's start: the one inside is found.
    std::vector<uint8_t> low = Key("AB1");
    int32_t seven = 7;
    cur_->WriteFieldValue(low.data(), kId, &seven);
    const IndexDesc byNameId = Index("BYNAMEID", {kName, kId});
    ASSERT_EQ(0u, ResultCode(ds_->MakeIndex(&byNameId)));
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYNAMEID")));
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(2, low.data(), 1, nullptr, 1)));
    EXPECT_EQ(0u, ResultCode(cur_->FindRecordByKey(1, 0, ab1.data(), rec.data())));
    int32_t id = 0;
    cur_->ReadFieldValue(rec.data(), kId, &id, nullptr);
    EXPECT_EQ(7, id);
}

TEST_F(KeysTest, RangeFollowsRecordsAddedByOtherCursors) {
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYNAME")));
    std::vector<uint8_t> ab1 = Key("AB1");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, ab1.data(), 1, ab1.data(), 1)));
    EXPECT_EQ(1u, Count());
    Ref<IDSCursor> other(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(other->AttachDataset(ds_.get())));
    std::vector<uint8_t> rec(size_);
    other->PrepareRecord(rec.data());
    other->WriteFieldValue(rec.data(), kName, "AB1");
    ASSERT_EQ(0u, ResultCode(other->AddRecord(rec.data())));
    other->WriteFieldValue(rec.data(), kName, "A");
    ASSERT_EQ(0u, ResultCode(other->AddRecord(rec.data())));
    EXPECT_EQ(2u, Count());
}

TEST_F(KeysTest, SortByFieldsOrdersAndKeepsTheRecord) {
    const uint32_t byName[] = {kName};
    const uint32_t descending[] = {1};
    cur_->GoToOrdinal(3);  // "AA" in arrival order
    ASSERT_EQ("AA", Current());
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, byName, descending, nullptr)));
    EXPECT_EQ("AA", Current());
    std::vector<std::string> names = Walk();
    ASSERT_EQ(6u, names.size());
    IndexDesc d{};
    ASSERT_EQ(0u, ResultCode(cur_->ReadIndexDescs(1, &d)));
    EXPECT_EQ(1u, d.descending[0]);
    EXPECT_STREQ("NAME", d.name);
    std::vector<std::string> ascending = names;
    std::reverse(ascending.begin(), ascending.end());
    const uint32_t none[] = {0};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, byName, none, nullptr)));
    EXPECT_EQ(ascending, Walk());

    // Sorting by the current order's own fields only clears the range.
    std::vector<uint8_t> aa = Key("AA");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, aa.data(), 1, aa.data(), 1)));
    ASSERT_EQ(1u, Count());
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, byName, nullptr, nullptr)));
    EXPECT_EQ(6u, Count());
    EXPECT_EQ(ascending, Walk());

    const uint32_t zero[] = {0};
    const uint32_t beyond[] = {9};
    const uint32_t blob[] = {kNote};
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->SortByFields(1, zero, nullptr, nullptr)));
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->SortByFields(1, beyond, nullptr, nullptr)));
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->SortByFields(0, byName, nullptr, nullptr)));
    EXPECT_EQ(DSERR_INVALIDFLDTYPE, ResultCode(cur_->SortByFields(1, blob, nullptr, nullptr)));
    EXPECT_EQ(ascending, Walk());
}

TEST_F(KeysTest, CaseInsensitiveSortPutsEqualLettersTogether) {
    const uint32_t byName[] = {kName};
    const uint32_t ignoreCase[] = {1};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, byName, nullptr, ignoreCase)));
    const std::vector<std::string> names = Walk();
    const auto ab0 = std::find(names.begin(), names.end(), "ab0") - names.begin();
    const auto ab1 = std::find(names.begin(), names.end(), "AB1") - names.begin();
    const auto ac = std::find(names.begin(), names.end(), "AC") - names.begin();
    EXPECT_LT(ab0, ab1);
    EXPECT_LT(ab1, ac);
}

TEST_F(KeysTest, UniqueOrderStandsBeforeTheSuccessorOfARemovedKey) {
    const IndexDesc unique = Index("BYID", {kId}, 1);
    ASSERT_EQ(0u, ResultCode(ds_->MakeIndex(&unique)));
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYID")));
    cur_->GoToOrdinal(3);
    ASSERT_EQ("AA", Current());  // ID 3
    Ref<IDSCursor> other(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(other->CopyCursor(cur_.get())));
    ASSERT_EQ("AA", Current(other.get()));
    ASSERT_EQ(0u, ResultCode(other->RemoveCurrentRecord()));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ("AC", Current());  // ID 4
    // A key that exists already is refused by the unique order.
    std::vector<uint8_t> dup(size_);
    cur_->PrepareRecord(dup.data());
    int32_t id = 4;
    cur_->WriteFieldValue(dup.data(), kId, &id);
    EXPECT_EQ(DSERR_KEYVIOL, ResultCode(cur_->AddRecord(dup.data())));
    EXPECT_EQ(5u, Count());
}

TEST_F(KeysTest, KeyFromRecordHoldsTheKeyFieldValues) {
    const uint32_t fields[] = {kName, kId};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(2, fields, nullptr, nullptr)));
    cur_->GoToOrdinal(1);
    std::vector<uint8_t> rec(size_);
    ASSERT_EQ(0u, ResultCode(cur_->ReadCurrentRecord(rec.data())));
    IndexDesc d{};
    cur_->ReadIndexDescs(1, &d);
    std::vector<uint8_t> key(d.keyWidth + 4, 0xEE);
    ASSERT_EQ(0u, ResultCode(cur_->BuildKeyFromRecord(rec.data(), key.data())));
    char name[13] = {};
    int32_t id = 0;
    cur_->ReadFieldValue(rec.data(), kName, name, nullptr);
    cur_->ReadFieldValue(rec.data(), kId, &id, nullptr);
    EXPECT_EQ(0, std::memcmp(key.data(), name, 13));
    EXPECT_EQ(0, std::memcmp(key.data() + 13, &id, 4));
    EXPECT_EQ(0xEE, key[d.keyWidth]);
    EXPECT_EQ(0u, ResultCode(cur_->BuildKeyFromRecord(rec.data(), nullptr)));
    // Without a record there is nothing to build from: the key stays as it was.
    std::vector<uint8_t> untouched(key.size(), 0xEE);
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->BuildKeyFromRecord(nullptr, untouched.data())));
    EXPECT_EQ(std::vector<uint8_t>(key.size(), 0xEE), untouched);
}

}  // namespace
