// Index ordering and maintenance on a live dataset: equal keys, blanks,
// descending and case-insensitive keys, unique keys, and the registry rules
// for creating, dropping and listing indexes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "changes/change_log.h"
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

IndexDesc Desc(const char* name, std::vector<uint32_t> fields, uint32_t unique = 0,
               std::vector<uint32_t> descending = {}, std::vector<uint32_t> caseless = {}) {
    IndexDesc d{};
    std::strncpy(d.name, name, sizeof d.name - 1);
    d.fieldCount = static_cast<uint32_t>(fields.size());
    for (size_t k = 0; k < fields.size(); ++k) d.fields[k] = fields[k];
    for (size_t k = 0; k < descending.size(); ++k) d.descending[k] = descending[k];
    for (size_t k = 0; k < caseless.size(); ++k) d.caseInsensitive[k] = caseless[k];
    d.unique = unique;
    return d;
}

// A dataset of (ID int32, NAME string(20), QTY int32, MEMO BLOB) records.
class Table {
  public:
    Table() : ds_(NewDataset()) {
        ds_->AddRef();
        const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("NAME", FLD_STRING, 20),
                                    Field("QTY", FLD_INT32), Field("MEMO", FLD_BLOB)};
        EXPECT_EQ(ds_->DefineFields(4, fields, "T"), DS_OK);
    }
    ~Table() { ds_->Release(); }
    TDSBASE* operator->() { return ds_; }
    TDSBASE& ds() { return *ds_; }

    // A record buffer; a null name or a negative quantity stands for blank.
    std::vector<uint8_t> Row(int32_t id, const char* name, int32_t qty = 0) {
        std::vector<uint8_t> row(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), row.data());
        WriteBufferValue(ds_->fields(), row.data(), 1, &id);
        WriteBufferValue(ds_->fields(), row.data(), 2, name);
        WriteBufferValue(ds_->fields(), row.data(), 3, qty < 0 ? nullptr : &qty);
        return row;
    }
    EngineResult Insert(int32_t id, const char* name, int32_t qty = 0, uint32_t* out = nullptr) {
        uint32_t n = 0;
        EngineResult r = ds_->InsertRecord(Row(id, name, qty).data(), &n);
        if (out != nullptr) *out = n;
        return r;
    }
    int32_t Id(uint32_t record) const {
        int32_t v = 0;
        std::memcpy(&v, ds_->store().ValueAt(record, 1), 4);
        return v;
    }
    std::vector<int32_t> Ids(const DSIDX& index) const {
        std::vector<int32_t> ids;
        for (uint32_t p = 1; p <= index.count(); ++p) ids.push_back(Id(index.EntryAt(p)));
        return ids;
    }
    DSIDX* Index(const char* name) {
        DSIDX* index = nullptr;
        EXPECT_EQ(ds_->FindIndex(name, &index), DS_OK);
        return index;
    }

  private:
    TDSBASE* ds_;
};

TEST(IndexOrderTest, EqualKeysKeepArrivalOrderAndModifiedRecordKeepsPosition) {
    Table t;
    IndexDesc byName = Desc("BYNAME", {2});
    ASSERT_EQ(t->MakeIndex(&byName), DS_OK);
    ASSERT_EQ(t.Insert(1, "B"), DS_OK);
    ASSERT_EQ(t.Insert(2, "A"), DS_OK);
    ASSERT_EQ(t.Insert(3, "B"), DS_OK);
    ASSERT_EQ(t.Insert(4, "A"), DS_OK);
    uint32_t five = 0;
    ASSERT_EQ(t.Insert(5, "B", 0, &five), DS_OK);
    DSIDX* index = t.Index("BYNAME");
    EXPECT_EQ(t.Ids(*index), (std::vector<int32_t>{2, 4, 1, 3, 5}));

    // Record 1 gets a new quantity (same key): its new version stands in the
    // old one's place, not after the other "B"s.
    uint32_t newer = 0;
    ASSERT_EQ(t->ModifyRecord(1, t.Row(1, "B", 7).data(), &newer), DS_OK);
    EXPECT_NE(newer, 1u);
    EXPECT_EQ(index->EntryAt(3), newer);
    EXPECT_EQ(t.Ids(*index), (std::vector<int32_t>{2, 4, 1, 3, 5}));

    // A key change moves the record after the existing equal keys.
    ASSERT_EQ(t->ModifyRecord(2, t.Row(2, "B").data(), &newer), DS_OK);
    EXPECT_EQ(t.Ids(*index), (std::vector<int32_t>{4, 1, 3, 5, 2}));
}

TEST(IndexOrderTest, BlanksSortFirstAscendingAndLastDescending) {
    Table t;
    IndexDesc up = Desc("UP", {3});
    IndexDesc down = Desc("DOWN", {3}, 0, {1});
    ASSERT_EQ(t->MakeIndex(&up), DS_OK);
    ASSERT_EQ(t->MakeIndex(&down), DS_OK);
    ASSERT_EQ(t.Insert(1, "x", 5), DS_OK);
    ASSERT_EQ(t.Insert(2, "x", -1), DS_OK);  // blank quantity
    ASSERT_EQ(t.Insert(3, "x", 3), DS_OK);
    ASSERT_EQ(t.Insert(4, "x", 0), DS_OK);
    // Records inserted before the index exist too: build a third one after.
    IndexDesc late = Desc("LATE", {3}, 0, {1});
    ASSERT_EQ(t->MakeIndex(&late), DS_OK);

    EXPECT_EQ(t.Ids(*t.Index("UP")), (std::vector<int32_t>{2, 4, 3, 1}));
    EXPECT_EQ(t.Ids(*t.Index("DOWN")), (std::vector<int32_t>{1, 3, 4, 2}));
    EXPECT_EQ(t.Ids(*t.Index("LATE")), t.Ids(*t.Index("DOWN")));
}

TEST(IndexOrderTest, CaseInsensitiveKeysGroupLettersOfBothCases) {
    Table t;
    IndexDesc exact = Desc("EXACT", {2, 1});
    IndexDesc caseless = Desc("CASELESS", {2, 1}, 0, {}, {1});
    ASSERT_EQ(t->MakeIndex(&exact), DS_OK);
    ASSERT_EQ(t->MakeIndex(&caseless), DS_OK);
    ASSERT_EQ(t.Insert(1, "b"), DS_OK);
    ASSERT_EQ(t.Insert(2, "A"), DS_OK);
    ASSERT_EQ(t.Insert(3, "a"), DS_OK);
    ASSERT_EQ(t.Insert(4, "B"), DS_OK);
    // Folded, "A"/"a" and "b"/"B" tie on NAME and the ID decides.
    DSIDX* c = t.Index("CASELESS");
    EXPECT_EQ(t.Ids(*c), (std::vector<int32_t>{2, 3, 1, 4}));
    EXPECT_EQ(c->CompareRecords(2, 3), -1);  // tie on NAME broken by ID
    DSIDX* e = t.Index("EXACT");
    EXPECT_NE(e->CompareRecords(1, 4), 0);
}

TEST(IndexOrderTest, UniqueViolationLeavesStoreIndexesAndLogUnchanged) {
    Table t;
    IndexDesc byName = Desc("BYNAME", {2});
    IndexDesc key = Desc("KEY", {1}, 1);
    ASSERT_EQ(t->MakeIndex(&byName), DS_OK);
    ASSERT_EQ(t->MakeIndex(&key), DS_OK);
    ASSERT_EQ(t.Insert(1, "A"), DS_OK);
    ASSERT_EQ(t.Insert(2, "B"), DS_OK);
    const uint32_t next = t->next_record();
    const uint32_t live = t->live_count();
    const uint32_t logged = t->log()->size();

    EXPECT_EQ(t.Insert(1, "C"), DSERR_KEYVIOL);
    EXPECT_EQ(t->next_record(), next);
    EXPECT_EQ(t->live_count(), live);
    EXPECT_EQ(t->log()->size(), logged);
    // The index told first (BYNAME) was told the reverse.
    EXPECT_EQ(t.Ids(*t.Index("BYNAME")), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(t.Ids(*t.Index("KEY")), (std::vector<int32_t>{1, 2}));

    // A modification into an existing key fails the same way.
    uint32_t newer = 0;
    EXPECT_EQ(t->ModifyRecord(2, t.Row(1, "B").data(), &newer), DSERR_KEYVIOL);
    EXPECT_EQ(t->next_record(), next);
    EXPECT_EQ(t->store().StatusAt(2), REC_INSERTED);
    EXPECT_EQ(t.Ids(*t.Index("KEY")), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(t->log()->size(), logged);

    // The freed slot is reused by the next good insert.
    uint32_t n = 0;
    ASSERT_EQ(t.Insert(3, "C", 0, &n), DS_OK);
    EXPECT_EQ(n, next);
}

TEST(IndexOrderTest, BuildMatchesStableSortOfRandomKeysAndRejectsDuplicatesWhenUnique) {
    Table t;
    std::mt19937 random(7);
    std::vector<std::pair<int32_t, int32_t>> expected;  // (qty, id)
    for (int32_t id = 1; id <= 3000; ++id) {
        const int32_t qty = static_cast<int32_t>(random() % 200);
        ASSERT_EQ(t.Insert(id, "n", qty), DS_OK);
        expected.emplace_back(qty, id);
    }
    ASSERT_EQ(t->DeleteRecord(10), DS_OK);
    expected.erase(expected.begin() + 9);
    std::stable_sort(expected.begin(), expected.end(),
                     [](auto& a, auto& b) { return a.first < b.first; });

    IndexDesc byQty = Desc("BYQTY", {3});
    ASSERT_EQ(t->MakeIndex(&byQty), DS_OK);
    std::vector<int32_t> ids;
    for (auto& e : expected) ids.push_back(e.second);
    EXPECT_EQ(t.Ids(*t.Index("BYQTY")), ids);

    // 200 distinct quantities over 3000 records: a unique build must fail and
    // leave no index behind.
    IndexDesc uniqueQty = Desc("UQTY", {3}, 1);
    const size_t before = t->indexes().size();
    EXPECT_EQ(t->MakeIndex(&uniqueQty), DSERR_KEYVIOL);
    EXPECT_EQ(t->indexes().size(), before);
    DSIDX* missing = nullptr;
    EXPECT_EQ(t->FindIndex("UQTY", &missing), DSERR_NOSUCHINDEX);
}

TEST(IndexRegistryTest, CreateDropAndListRules) {
    Table t;
    EXPECT_EQ(t->MakeIndex(nullptr), DSERR_INVALIDPARAM);
    IndexDesc byName = Desc("BYNAME", {2});
    ASSERT_EQ(t->MakeIndex(&byName), DS_OK);
    EXPECT_EQ(t->MakeIndex(&byName), DS_OK);  // identical: no change
    IndexDesc other = Desc("BYNAME", {1});
    EXPECT_EQ(t->MakeIndex(&other), DSERR_NAMENOTUNIQUE);
    IndexDesc bad = Desc("BAD", {9});  // no such field
    EXPECT_EQ(t->MakeIndex(&bad), DSERR_INVALIDPARAM);
    IndexDesc memo = Desc("MEMO", {2, 4});  // BLOBs cannot be key fields
    EXPECT_EQ(t->MakeIndex(&memo), DSERR_INVALIDFLDTYPE);

    // The default order: redefined once while it has no key fields.
    IndexDesc order = Desc("", {1});
    ASSERT_EQ(t.Insert(2, "b"), DS_OK);
    ASSERT_EQ(t.Insert(1, "a"), DS_OK);
    ASSERT_EQ(t->MakeIndex(&order), DS_OK);
    EXPECT_EQ(t->default_index()->key_field_count(), 1u);
    EXPECT_STREQ(t->default_index()->desc().name, "DEFAULT_ORDER");
    EXPECT_EQ(t.Ids(*t->default_index()), (std::vector<int32_t>{1, 2}));
    IndexDesc again = Desc("DEFAULT_ORDER", {2});
    EXPECT_EQ(t->MakeIndex(&again), DSERR_ACTIVEINDEX);

    EXPECT_EQ(t->DropIndex(""), DSERR_ACTIVEINDEX);
    EXPECT_EQ(t->DropIndex("DEFAULT_ORDER"), DSERR_ACTIVEINDEX);
    EXPECT_EQ(t->DropIndex("NOPE"), DSERR_NOSUCHINDEX);
    EXPECT_EQ(t->DropIndex("byname"), DSERR_NOSUCHINDEX);  // names are case-sensitive
    DSIDX* followed = t.Index("BYNAME");
    followed->AddRef();  // as a cursor following it would
    EXPECT_EQ(t->DropIndex("BYNAME"), DSERR_ACTIVEINDEX);
    followed->Release();

    std::vector<IndexDesc> listed(t->indexes().size());
    ASSERT_EQ(t->ListIndexes(listed.data()), DS_OK);
    auto named = [&](const char* name) {
        return std::any_of(listed.begin(), listed.end(),
                           [&](const IndexDesc& d) { return std::strcmp(d.name, name) == 0; });
    };
    EXPECT_TRUE(named("DEFAULT_ORDER"));
    EXPECT_TRUE(named("CHANGEINDEX"));
    EXPECT_TRUE(named("BYNAME"));
    EXPECT_EQ(t.Index("BYNAME")->desc().keyWidth, 21u);  // 20 characters and the terminator

    ASSERT_EQ(t->DropIndex("BYNAME"), DS_OK);
    DSIDX* gone = nullptr;
    EXPECT_EQ(t->FindIndex("BYNAME", &gone), DSERR_NOSUCHINDEX);
    // Edits go on without the dropped index.
    EXPECT_EQ(t.Insert(3, "c"), DS_OK);
}

}  // namespace
}  // namespace pelmora
