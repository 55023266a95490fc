// The change log seen from outside: edits through a cursor, undo, savepoints,
// merge, the change count and logging switched off, all through the exported
// interfaces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine_loader.h"

using enginetest::Engine;
using enginetest::Ref;

namespace {

enum : uint32_t { kSeq = 1, kName = 2, kQty = 3 };

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

class EditLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        FieldDesc fields[] = {Field("SEQ", FLD_INT32), Field("NAME", FLD_STRING, 10),
                              Field("QTY", FLD_INT32)};
        fields[0].subtype = SUBTYPE_AUTOINC;
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(3, fields, "L")));
        *cur_.out() = Engine::Get().NewCursor();
        ASSERT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        ASSERT_EQ(0u, ResultCode(cur_->ReadCursorProps(&props)));
        size_ = props.recordSize;
    }

    EngineResult Add(const char* name, int32_t qty) {
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(cur_->PrepareRecord(rec.data())));
        cur_->WriteFieldValue(rec.data(), kName, name);
        cur_->WriteFieldValue(rec.data(), kQty, &qty);
        return ResultCode(cur_->AddRecord(rec.data()));
    }
    // Changes the quantity of the record at an ordinal of the default order.
    EngineResult SetQty(uint32_t ordinal, int32_t qty) {
        EXPECT_EQ(0u, ResultCode(cur_->GoToOrdinal(ordinal)));
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(cur_->ReadCurrentRecord(rec.data())));
        cur_->WriteFieldValue(rec.data(), kQty, &qty);
        return ResultCode(cur_->UpdateCurrentRecord(rec.data()));
    }
    int32_t Value(uint32_t ordinal, uint32_t field) {
        EXPECT_EQ(0u, ResultCode(cur_->GoToOrdinal(ordinal)));
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(cur_->ReadCurrentRecord(rec.data())));
        int32_t v = 0;
        uint32_t blank = 0;
        cur_->ReadFieldValue(rec.data(), field, &v, &blank);
        return blank != 0 ? -1 : v;
    }
    uint32_t Property(uint32_t id) {
        uint32_t v = 0;
        EXPECT_EQ(0u, ResultCode(ds_->ReadProperty(id, &v)));
        return v;
    }
    uint32_t Count() {
        uint32_t n = 0;
        EXPECT_EQ(0u, ResultCode(cur_->CountRecords(&n)));
        return n;
    }
    uint32_t RecordNumber() {
        uint32_t n = 0;
        EXPECT_EQ(0u, ResultCode(cur_->ReadRecordNumber(&n)));
        return n;
    }
    EngineResult Undo() { return ResultCode(cur_->WithdrawLastChange(1)); }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
};

TEST_F(EditLogTest, UndoneInsertReusesRecordNumberAndAutoIncrementValue) {
    ASSERT_EQ(0u, Add("a", 1));
    ASSERT_EQ(0u, Add("b", 2));
    const int32_t seq = Value(2, kSeq);
    const uint32_t number = RecordNumber();
    ASSERT_EQ(0u, Undo());
    EXPECT_EQ(1u, Count());
    ASSERT_EQ(0u, Add("c", 3));
    EXPECT_EQ(seq, Value(2, kSeq));
    EXPECT_EQ(number, RecordNumber());
    EXPECT_EQ(3, Value(2, kQty));
}

TEST_F(EditLogTest, InsertAndTwoModificationsCountOnceAndUndoToEmpty) {
    ASSERT_EQ(0u, Add("a", 1));
    ASSERT_EQ(0u, SetQty(1, 2));
    ASSERT_EQ(0u, SetQty(1, 3));
    EXPECT_EQ(1u, Property(2));
    ASSERT_EQ(0u, Undo());
    EXPECT_EQ(2, Value(1, kQty));
    ASSERT_EQ(0u, Undo());
    EXPECT_EQ(1, Value(1, kQty));
    ASSERT_EQ(0u, Undo());
    EXPECT_EQ(0u, Count());
    EXPECT_EQ(0u, Property(2));
    EXPECT_EQ(DSERR_NOTHINGTOUNDO, Undo());
}

TEST_F(EditLogTest, ModificationBackToTheSameValuesCountsNothingButStaysUndoable) {
    ASSERT_EQ(0u, Add("a", 1));
    ASSERT_EQ(0u, ResultCode(ds_->AcceptAllChanges()));
    ASSERT_EQ(0u, SetQty(1, 5));
    EXPECT_EQ(1u, Property(2));
    ASSERT_EQ(0u, SetQty(1, 1));
    EXPECT_EQ(0u, Property(2));
    ASSERT_EQ(0u, Undo());
    EXPECT_EQ(5, Value(1, kQty));
    ASSERT_EQ(0u, Undo());
    EXPECT_EQ(1, Value(1, kQty));
    EXPECT_EQ(DSERR_NOTHINGTOUNDO, Undo());
}

TEST_F(EditLogTest, InsertThenDeleteCountsNothingAndMergeForgetsDeletions) {
    ASSERT_EQ(0u, Add("a", 1));
    ASSERT_EQ(0u, Add("b", 2));
    ASSERT_EQ(0u, ResultCode(ds_->AcceptAllChanges()));
    ASSERT_EQ(0u, Add("c", 3));
    ASSERT_EQ(0u, ResultCode(cur_->GoToOrdinal(3)));
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    EXPECT_EQ(0u, Property(2));

    ASSERT_EQ(0u, ResultCode(cur_->GoToOrdinal(1)));
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    EXPECT_EQ(1u, Property(2));
    ASSERT_EQ(0u, ResultCode(ds_->AcceptAllChanges()));
    EXPECT_EQ(0u, Property(2));
    EXPECT_EQ(DSERR_NOTHINGTOUNDO, Undo());
    EXPECT_EQ(1u, Count());
    EXPECT_EQ(2, Value(1, kQty));
    // The merged state is what gets written: one row, unchanged.
    SAFEARRAY* packet = nullptr;
    ASSERT_EQ(0u, ResultCode(ds_->WritePacket(&packet)));
    Ref<IDSBase> copy(Engine::Get().NewDataset());
    ASSERT_EQ(0u, ResultCode(copy->LoadPacket(packet, 1)));
    SafeArrayDestroy(packet);
    uint32_t copied = 9;
    ASSERT_EQ(0u, ResultCode(copy->ReadProperty(PROP_VISIBLE_LAST_LOAD, &copied)));
    EXPECT_EQ(1u, copied);
    ASSERT_EQ(0u, ResultCode(copy->ReadProperty(PROP_CHANGE_COUNT, &copied)));
    EXPECT_EQ(0u, copied);
}

TEST_F(EditLogTest, RollbackToSavepointUndoesTheLaterEditsOnly) {
    EXPECT_EQ(0u, Property(10));  // nothing logged: no savepoint
    ASSERT_EQ(0u, Add("a", 1));
    ASSERT_EQ(0u, Add("b", 2));
    const uint32_t savepoint = Property(10);
    ASSERT_NE(0u, savepoint);
    ASSERT_EQ(0u, Add("c", 3));
    ASSERT_EQ(0u, SetQty(1, 10));
    ASSERT_EQ(0u, ResultCode(cur_->GoToOrdinal(2)));
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    ASSERT_EQ(0u, ResultCode(ds_->UndoToSavepoint(savepoint)));
    EXPECT_EQ(2u, Count());
    EXPECT_EQ(1, Value(1, kQty));
    EXPECT_EQ(2, Value(2, kQty));
    EXPECT_EQ(2u, Property(2));

    // The savepoint still serves; undoing below it retires it.
    ASSERT_EQ(0u, SetQty(2, 20));
    ASSERT_EQ(0u, ResultCode(ds_->UndoToSavepoint(savepoint)));
    EXPECT_EQ(2, Value(2, kQty));
    ASSERT_EQ(0u, Undo());
    ASSERT_EQ(0u, Add("d", 4));
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(ds_->UndoToSavepoint(savepoint)));
    EXPECT_EQ(2u, Count());
    ASSERT_EQ(0u, ResultCode(ds_->UndoToSavepoint(0)));
    EXPECT_EQ(0u, Count());
}

TEST_F(EditLogTest, WithLoggingOffEditsStayInPlaceAndCannotBeUndone) {
    ASSERT_EQ(0u, Add("a", 1));
    ASSERT_EQ(0u, ResultCode(ds_->AcceptAllChanges()));
    ASSERT_EQ(0u, ResultCode(ds_->WriteProperty(PROP_LOGGING, 0)));
    EXPECT_EQ(0u, Property(0));
    ASSERT_EQ(0u, ResultCode(cur_->GoToOrdinal(1)));
    const uint32_t number = RecordNumber();
    ASSERT_EQ(0u, SetQty(1, 7));
    EXPECT_EQ(number, RecordNumber());
    EXPECT_EQ(7, Value(1, kQty));
    ASSERT_EQ(0u, Add("b", 2));
    EXPECT_EQ(0u, Property(2));
    EXPECT_EQ(DSERR_NOTHINGTOUNDO, Undo());
    uint8_t status = 9;
    ASSERT_EQ(0u, ResultCode(cur_->GoToOrdinal(2)));
    ASSERT_EQ(0u, ResultCode(cur_->ReadRecordStatus(&status)));
    EXPECT_EQ(0u, status);
}

TEST_F(EditLogTest, UniqueIndexRefusesDuplicateAndKeepsEverythingAsItWas) {
    IndexDesc key{};
    std::strcpy(key.name, "BYNAME");
    key.fieldCount = 1;
    key.fields[0] = kName;
    key.unique = 1;
    ASSERT_EQ(0u, ResultCode(ds_->MakeIndex(&key)));
    ASSERT_EQ(0u, Add("a", 1));
    ASSERT_EQ(0u, Add("b", 2));
    const uint32_t changes = Property(2);
    EXPECT_EQ(DSERR_KEYVIOL, Add("a", 3));
    EXPECT_EQ(2u, Count());
    EXPECT_EQ(changes, Property(2));
    EXPECT_EQ(DSERR_KEYVIOL, ResultCode([&] {
                  EXPECT_EQ(0u, ResultCode(cur_->GoToOrdinal(2)));
                  std::vector<uint8_t> rec(size_);
                  cur_->ReadCurrentRecord(rec.data());
                  cur_->WriteFieldValue(rec.data(), kName, "a");
                  return cur_->UpdateCurrentRecord(rec.data());
              }()));
    EXPECT_EQ(changes, Property(2));
    ASSERT_EQ(0u, Undo());  // the insertion of "b", not a failed edit
    EXPECT_EQ(1u, Count());

    // Building a unique index over two equal keys fails and leaves no index.
    ASSERT_EQ(0u, Add("b", 2));
    ASSERT_EQ(0u, ResultCode(ds_->WriteProperty(PROP_LOGGING, 0)));
    ASSERT_EQ(0u, ResultCode(ds_->DropIndex("BYNAME")));
    ASSERT_EQ(0u, Add("b", 9));
    EXPECT_EQ(DSERR_KEYVIOL, ResultCode(ds_->MakeIndex(&key)));
    EXPECT_EQ(DSERR_NOSUCHINDEX, ResultCode(cur_->SelectIndex("BYNAME")));
}

}  // namespace
