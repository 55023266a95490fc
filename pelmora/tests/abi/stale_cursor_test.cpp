// Cursors that another cursor's edit left behind: a record replaced by a new
// version, a record whose key moved it, and record slots that an undo, a
// revert or a clear freed and a later insert reused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dataset_test_support.h"

using dstest::Field;
using enginetest::Engine;
using enginetest::Ref;

namespace {

// A dataset of (ID int32, NAME string 20) with logging on, and two cursors.
class StaleCursorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("NAME", FLD_STRING, 20)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(2, fields, "T")));
        *a_.out() = Attach();
        *b_.out() = Attach();
        ASSERT_TRUE(a_ && b_);
        DatasetProps props{};
        ASSERT_EQ(0u, ResultCode(a_->ReadCursorProps(&props)));
        size_ = props.recordSize;
    }

    IDSCursor* Attach() {
        IDSCursor* c = Engine::Get().NewCursor();
        if (c && ResultCode(c->AttachDataset(ds_.get())) != 0) {
            c->Release();
            return nullptr;
        }
        return c;
    }

    std::vector<uint8_t> Record(IDSCursor* c, int32_t id, const std::string& name) {
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(c->PrepareRecord(rec.data())));
        EXPECT_EQ(0u, ResultCode(c->WriteFieldValue(rec.data(), 1, &id)));
        EXPECT_EQ(0u, ResultCode(c->WriteFieldValue(rec.data(), 2, name.c_str())));
        return rec;
    }

    void Add(IDSCursor* c, int32_t id) {
        std::vector<uint8_t> rec = Record(c, id, "N" + std::to_string(id));
        ASSERT_EQ(0u, ResultCode(c->AddRecord(rec.data())));
    }

    uint16_t Update(IDSCursor* c, int32_t id, const std::string& name) {
        std::vector<uint8_t> rec = Record(c, id, name);
        return ResultCode(c->UpdateCurrentRecord(rec.data()));
    }

    void SortById(IDSCursor* c) {
        const uint32_t byId[] = {1};
        ASSERT_EQ(0u, ResultCode(c->SortByFields(1, byId, nullptr, nullptr)));
    }

    // "ID:NAME" of the cursor's current record, or the failure code.
    std::string Current(IDSCursor* c) {
        std::vector<uint8_t> rec(size_);
        const uint16_t r = ResultCode(c->ReadCurrentRecord(rec.data()));
        if (r != 0) return std::to_string(r);
        return Text(c, rec.data());
    }

    // The same read through the cursor's record without a buffer.
    std::string CurrentByField(IDSCursor* c) { return Text(c, nullptr); }

    std::string Text(IDSCursor* c, const uint8_t* rec) {
        int32_t id = 0;
        char name[21] = {};
        const uint16_t r = ResultCode(c->ReadFieldValue(rec, 1, &id, nullptr));
        if (r != 0) return std::to_string(r);
        c->ReadFieldValue(rec, 2, name, nullptr);
        return std::to_string(id) + ":" + name;
    }

    // Every record in the default order.
    std::string All() {
        Ref<IDSCursor> c(Attach());
        std::string out;
        c->GoBeforeFirst();
        while (ResultCode(c->MoveBy(1)) == 0) out += Current(c.get()) + " ";
        return out;
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> a_;
    Ref<IDSCursor> b_;
    uint32_t size_ = 0;
};

TEST_F(StaleCursorTest, AnotherCursorsModificationIsSeenReadAndEditable) {
    for (int32_t id : {1, 2, 3}) Add(a_.get(), id);
    a_->GoToOrdinal(2);
    b_->GoToOrdinal(2);
    ASSERT_EQ("2:N2", Current(b_.get()));

    // Same key: the new version takes the old one's place in the order.
    ASSERT_EQ(0u, Update(a_.get(), 2, "second"));
    EXPECT_EQ("2:second", Current(b_.get()));
    EXPECT_EQ("2:second", CurrentByField(b_.get()));
    uint32_t ordinal = 0;
    ASSERT_EQ(0u, ResultCode(b_->ReadOrdinal(&ordinal)));
    EXPECT_EQ(2u, ordinal);

    // The stale cursor edits the live version, and the first sees that.
    ASSERT_EQ(0u, Update(b_.get(), 2, "again"));
    EXPECT_EQ("2:again", Current(a_.get()));
    ASSERT_EQ(0u, Update(a_.get(), 2, "third"));
    ASSERT_EQ(0u, ResultCode(b_->RemoveCurrentRecord()));
    EXPECT_EQ("1:N1 3:N3 ", All());
    EXPECT_EQ(std::to_string(DSERR_KEYORRECDELETED), Current(a_.get()));
}

TEST_F(StaleCursorTest, BookmarkFollowsARecordWhoseKeyChanged) {
    for (int32_t id : {1, 2, 3}) Add(a_.get(), id);
    SortById(a_.get());
    SortById(b_.get());
    b_->GoToOrdinal(1);
    CursorBookmark mark{};
    ASSERT_EQ(0u, ResultCode(b_->SaveBookmark(&mark)));
    b_->GoToOrdinal(3);

    a_->GoToOrdinal(1);
    ASSERT_EQ(0u, Update(a_.get(), 9, "moved"));
    ASSERT_EQ(0u, ResultCode(b_->GoToBookmark(&mark)));
    EXPECT_EQ("9:moved", Current(b_.get()));
    ASSERT_EQ(0u, ResultCode(b_->ReadOrdinal(&mark.position)));
    EXPECT_EQ(3u, mark.position);

    // With logging off the record keeps its number and moves in place.
    ASSERT_EQ(0u, ResultCode(ds_->WriteProperty(PROP_LOGGING, 0)));
    b_->GoToOrdinal(1);
    ASSERT_EQ(0u, ResultCode(b_->SaveBookmark(&mark)));
    a_->GoToOrdinal(1);
    ASSERT_EQ("2:N2", Current(a_.get()));
    ASSERT_EQ(0u, Update(a_.get(), 7, "seven"));
    ASSERT_EQ(0u, ResultCode(b_->GoToBookmark(&mark)));
    EXPECT_EQ("7:seven", Current(b_.get()));
}

TEST_F(StaleCursorTest, CursorOnAnUndoneInsertDoesNotStandOnTheNextOne) {
    for (int32_t id : {1, 2}) Add(a_.get(), id);
    Add(a_.get(), 3);
    b_->GoToOrdinal(3);
    ASSERT_EQ("3:N3", Current(b_.get()));
    ASSERT_EQ(0u, ResultCode(a_->WithdrawLastChange(0)));
    // The freed slot is taken by the next insert.
    Add(a_.get(), 4);
    EXPECT_EQ(std::to_string(DSERR_KEYORRECDELETED), Current(b_.get()));
    EXPECT_EQ(DSERR_KEYORRECDELETED, Update(b_.get(), 5, "overwrite"));
    EXPECT_EQ(DSERR_KEYORRECDELETED, ResultCode(b_->RemoveCurrentRecord()));
    EXPECT_EQ("1:N1 2:N2 4:N4 ", All());
    // Moving on from there reaches the records as they are now.
    ASSERT_EQ(0u, ResultCode(b_->MoveBy(1)));
    EXPECT_EQ("4:N4", Current(b_.get()));
}

TEST_F(StaleCursorTest, CursorOnAnUndoneVersionGoesBackToTheEarlierOne) {
    for (int32_t id : {1, 2}) Add(a_.get(), id);
    a_->GoToOrdinal(2);
    ASSERT_EQ(0u, Update(a_.get(), 2, "v2"));
    ASSERT_EQ(0u, Update(a_.get(), 2, "v3"));
    b_->GoToOrdinal(2);
    ASSERT_EQ("2:v3", Current(b_.get()));
    ASSERT_EQ(0u, ResultCode(a_->WithdrawLastChange(0)));
    ASSERT_EQ(0u, ResultCode(a_->WithdrawLastChange(0)));
    Add(a_.get(), 3);
    EXPECT_EQ("2:N2", Current(b_.get()));
    ASSERT_EQ(0u, Update(b_.get(), 2, "edited"));
    EXPECT_EQ("1:N1 2:edited 3:N3 ", All());
}

TEST_F(StaleCursorTest, CursorOnARevertedInsertDoesNotStandOnTheNextOne) {
    for (int32_t id : {1, 2, 3}) Add(a_.get(), id);
    a_->GoToOrdinal(3);
    b_->GoToOrdinal(3);
    ASSERT_EQ(0u, ResultCode(a_->RestoreCurrentRecord()));
    Add(a_.get(), 6);
    EXPECT_EQ(std::to_string(DSERR_KEYORRECDELETED), Current(b_.get()));
    EXPECT_EQ(DSERR_KEYORRECDELETED, Update(b_.get(), 7, "overwrite"));
    EXPECT_EQ("1:N1 2:N2 6:N6 ", All());
}

TEST_F(StaleCursorTest, CursorOnAClearedDatasetDoesNotStandOnNewRecords) {
    for (int32_t id : {1, 2, 3}) Add(a_.get(), id);
    b_->GoToOrdinal(2);
    ASSERT_EQ(0u, ResultCode(ds_->ClearRecords()));
    for (int32_t id : {7, 8, 9}) Add(a_.get(), id);
    EXPECT_EQ(std::to_string(DSERR_KEYORRECDELETED), Current(b_.get()));
    EXPECT_EQ(DSERR_KEYORRECDELETED, Update(b_.get(), 5, "overwrite"));
    EXPECT_EQ("7:N7 8:N8 9:N9 ", All());
}

}  // namespace
