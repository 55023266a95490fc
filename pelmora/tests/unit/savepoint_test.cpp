// Savepoints: the slot list on its own, and rolling a dataset back to them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "store/record_buffer.h"

namespace pelmora {
namespace {

TEST(SavepointListTest, IdsReuseSlotsAndFollowLogChanges) {
    SAVEPOINTList list;
    const uint32_t at2 = list.Create(2);
    const uint32_t at5 = list.Create(5);
    EXPECT_EQ(at2 >> 16, 1u);  // generation 1
    EXPECT_NE(at2, at5);
    EXPECT_EQ(list.Create(2), at2);  // same length: same slot, one more use
    uint32_t length = 0;
    ASSERT_EQ(list.Length(at5, &length), DS_OK);
    EXPECT_EQ(length, 5u);

    list.EntryRemoved(3);  // index 3 lies inside the first five entries only
    ASSERT_EQ(list.Length(at5, &length), DS_OK);
    EXPECT_EQ(length, 4u);
    ASSERT_EQ(list.Length(at2, &length), DS_OK);
    EXPECT_EQ(length, 2u);

    list.CutTo(3);
    EXPECT_EQ(list.Length(at5, &length), DSERR_INVALIDPARAM);
    EXPECT_EQ(list.Length(at2, &length), DS_OK);
    // The invalid slot is the first one reused.
    EXPECT_EQ(list.Create(3), at5);

    EXPECT_EQ(list.Length(0x20001, &length), DSERR_INVALIDPARAM);         // wrong generation
    EXPECT_EQ(list.Length(0x10009, &length), DSERR_INVALIDPARAM);         // no such slot
    EXPECT_EQ(list.Length(list.Create(0), &length), DSERR_INVALIDPARAM);  // empty log
}

FieldDesc IntField(const char* name) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = FLD_INT32;
    return f;
}

class Rollback : public ::testing::Test {
  protected:
    void SetUp() override {
        ds_ = NewDataset();
        ds_->AddRef();
        const FieldDesc fields[] = {IntField("V")};
        ASSERT_EQ(ds_->DefineFields(1, fields, "S"), DS_OK);
    }
    void TearDown() override { ds_->Release(); }
    uint32_t Insert(int32_t v) {
        std::vector<uint8_t> row(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), row.data());
        WriteBufferValue(ds_->fields(), row.data(), 1, &v);
        uint32_t n = 0;
        EXPECT_EQ(ds_->InsertRecord(row.data(), &n), DS_OK);
        return n;
    }
    uint32_t Savepoint() {
        uint32_t id = 0;
        EXPECT_EQ(ds_->ReadProperty(PROP_SAVEPOINT, &id), DS_OK);
        return id;
    }
    TDSBASE* ds_ = nullptr;
};

TEST_F(Rollback, MergeInvalidatesSavepoints) {
    Insert(1);
    const uint32_t id = Savepoint();
    Insert(2);
    ASSERT_EQ(ds_->MergeAll(), DS_OK);
    Insert(3);
    Insert(4);
    EXPECT_EQ(ds_->UndoToSavepoint(id), DSERR_INVALIDPARAM);
    EXPECT_EQ(ds_->live_count(), 4u);
}

}  // namespace
}  // namespace pelmora
