// Cursor positioning through the binary interface: moves, ordinals, record
// removal, bookmarks and how cursors see each other's changes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine_loader.h"

using enginetest::Engine;
using enginetest::Ref;

namespace {

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

// A dataset of (ID int32, NAME string 20) and a first cursor on it.
class MovesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("NAME", FLD_STRING, 20)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(2, fields, "T")));
        *cur_.out() = Attach();
        ASSERT_TRUE(cur_);
        DatasetProps props{};
        ASSERT_EQ(0u, ResultCode(cur_->ReadCursorProps(&props)));
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

    void Add(IDSCursor* c, int32_t id) {
        std::vector<uint8_t> rec(size_);
        ASSERT_EQ(0u, ResultCode(c->PrepareRecord(rec.data())));
        ASSERT_EQ(0u, ResultCode(c->WriteFieldValue(rec.data(), 1, &id)));
        const std::string name = "N" + std::to_string(id);
        ASSERT_EQ(0u, ResultCode(c->WriteFieldValue(rec.data(), 2, name.c_str())));
        ASSERT_EQ(0u, ResultCode(c->AddRecord(rec.data())));
    }

    void AddIds(std::initializer_list<int32_t> ids) {
        for (int32_t id : ids) Add(cur_.get(), id);
    }

    // ID of the record the cursor stands on, or -status when on none.
    int32_t Current(IDSCursor* c) {
        std::vector<uint8_t> rec(size_);
        const uint16_t r = ResultCode(c->ReadCurrentRecord(rec.data()));
        if (r != 0) return -static_cast<int32_t>(r);
        int32_t id = 0;
        c->ReadFieldValue(rec.data(), 1, &id, nullptr);
        return id;
    }

    // Walks forward from the start and collects the IDs.
    std::vector<int32_t> Walk(IDSCursor* c) {
        std::vector<int32_t> ids;
        c->GoBeforeFirst();
        while (ResultCode(c->MoveBy(1)) == 0 && ids.size() < 1000) ids.push_back(Current(c));
        return ids;
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
};

constexpr int32_t kBof = -DSERR_BOF;
constexpr int32_t kEof = -DSERR_EOF;

TEST_F(MovesTest, EmptyDatasetHasNoRecordToStandOn) {
    EXPECT_EQ(kBof, Current(cur_.get()));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(DSERR_BOF, ResultCode(cur_->MoveBy(-1)));
    uint32_t count = 99;
    EXPECT_EQ(0u, ResultCode(cur_->CountRecords(&count)));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->GoToOrdinal(1)));
}

TEST_F(MovesTest, MovesStepAndClampAtBothEnds) {
    AddIds({1, 2, 3, 4, 5});
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5}), Walk(cur_.get()));
    // Walk ended after the last record; one step back is the last record.
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    EXPECT_EQ(5, Current(cur_.get()));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-2)));
    EXPECT_EQ(3, Current(cur_.get()));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(0)));
    EXPECT_EQ(3, Current(cur_.get()));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(10)));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(0)));
    EXPECT_EQ(DSERR_BOF, ResultCode(cur_->MoveBy(-10)));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(1, Current(cur_.get()));
    cur_->GoAfterLast();
    EXPECT_EQ(kEof, Current(cur_.get()));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-5)));
    EXPECT_EQ(1, Current(cur_.get()));
}

TEST_F(MovesTest, OrdinalsAndRecordNumbers) {
    AddIds({10, 20, 30});
    EXPECT_EQ(DSERR_BOF, ResultCode(cur_->GoToOrdinal(0)));
    uint32_t ordinal = 0;
    EXPECT_EQ(DSERR_BOF, ResultCode(cur_->ReadOrdinal(&ordinal)));
    EXPECT_EQ(0u, ResultCode(cur_->GoToOrdinal(2)));
    EXPECT_EQ(20, Current(cur_.get()));
    EXPECT_EQ(0u, ResultCode(cur_->ReadOrdinal(&ordinal)));
    EXPECT_EQ(2u, ordinal);
    uint32_t number = 0;
    EXPECT_EQ(0u, ResultCode(cur_->ReadRecordNumber(&number)));
    EXPECT_EQ(2u, number);
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->GoToOrdinal(4)));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->GoToOrdinal(0xFFFFFFFFu)));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    EXPECT_EQ(30, Current(cur_.get()));
}

TEST_F(MovesTest, RemovalLeavesTheCursorBetweenNeighbours) {
    AddIds({1, 2, 3, 4, 5});
    cur_->GoToOrdinal(3);
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    EXPECT_EQ(-DSERR_KEYORRECDELETED, Current(cur_.get()));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(4, Current(cur_.get()));

    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));  // 4 goes
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    EXPECT_EQ(2, Current(cur_.get()));

    // The follower of a removed record may be the last one.
    cur_->GoToOrdinal(2);  // 2, followed by 5
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(5, Current(cur_.get()));

    // Removing the last: forward is the end.
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(1)));

    // Removing the first: back is the beginning.
    cur_->GoToOrdinal(1);
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    EXPECT_EQ(DSERR_BOF, ResultCode(cur_->MoveBy(-1)));
    uint32_t count = 99;
    cur_->CountRecords(&count);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(DSERR_BOF, ResultCode(cur_->RemoveCurrentRecord()));
}

TEST_F(MovesTest, BookmarksSurviveOtherCursorsEdits) {
    AddIds({1, 2, 3});
    cur_->GoToOrdinal(2);
    CursorBookmark two{};
    ASSERT_EQ(0u, ResultCode(cur_->SaveBookmark(&two)));
    cur_->GoToOrdinal(3);
    CursorBookmark three{};
    cur_->SaveBookmark(&three);
    int32_t order = 0;
    EXPECT_EQ(0u, ResultCode(cur_->CompareBookmarkOrder(&two, &three, &order)));
    EXPECT_EQ(-1, order);
    EXPECT_EQ(0u, ResultCode(cur_->CompareBookmarkOrder(&three, &two, &order)));
    EXPECT_EQ(1, order);

    Ref<IDSCursor> other(Attach());
    ASSERT_TRUE(other);
    Add(other.get(), 7);
    Add(other.get(), 8);
    // The stale stamp makes the bookmark search its record.
    ASSERT_EQ(0u, ResultCode(cur_->GoToBookmark(&two)));
    EXPECT_EQ(2, Current(cur_.get()));
    uint32_t count = 0;
    cur_->CountRecords(&count);
    EXPECT_EQ(5u, count);

    // Another cursor removes the bookmarked record: the bookmark leads before the first.
    other->GoToOrdinal(3);
    ASSERT_EQ(3, Current(other.get()));
    ASSERT_EQ(0u, ResultCode(other->RemoveCurrentRecord()));
    ASSERT_EQ(0u, ResultCode(cur_->GoToBookmark(&three)));
    EXPECT_EQ(kBof, Current(cur_.get()));
}

TEST_F(MovesTest, CursorSeesRemovalOfItsRecordByAnotherCursor) {
    AddIds({1, 2, 3});
    cur_->GoToOrdinal(2);
    Ref<IDSCursor> other(Attach());
    other->GoToOrdinal(2);
    ASSERT_EQ(0u, ResultCode(other->RemoveCurrentRecord()));
    EXPECT_EQ(-DSERR_KEYORRECDELETED, Current(cur_.get()));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(3, Current(cur_.get()));
    // At the end, another cursor's additions do not pull this one back onto a record.
    cur_->GoAfterLast();
    Add(other.get(), 4);
    Add(other.get(), 5);
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    EXPECT_EQ(5, Current(cur_.get()));
}

TEST_F(MovesTest, CopyCursorTakesPositionAndOrder) {
    AddIds({3, 1, 2});
    const uint32_t byId[] = {1};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, byId, nullptr, nullptr)));
    cur_->GoToOrdinal(2);
    ASSERT_EQ(2, Current(cur_.get()));
    Ref<IDSCursor> copy(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(copy->CopyCursor(cur_.get())));
    EXPECT_EQ(2, Current(copy.get()));
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Walk(copy.get()));
    EXPECT_EQ(2, Current(cur_.get()));
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(copy->CopyCursor(nullptr)));
}

TEST_F(MovesTest, UnattachedAndDoublyAttachedCursorsAreRefused) {
    Ref<IDSCursor> loose(Engine::Get().NewCursor());
    ASSERT_TRUE(loose);
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(loose->MoveBy(1)));
    uint32_t count = 0;
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(loose->CountRecords(&count)));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(cur_->AttachDataset(ds_.get())));
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(loose->AttachDataset(nullptr)));
}

void CountCalls(void* data) {
    ++*static_cast<int*>(data);
}

TEST_F(MovesTest, ChangeNotifierRunsForEveryCursorsEdits) {
    int calls = 0;
    ASSERT_EQ(0u, ResultCode(cur_->SetChangeNotifier(&calls, CountCalls)));
    Ref<IDSCursor> other(Attach());
    Add(other.get(), 1);
    EXPECT_EQ(1, calls);
    other->GoToOrdinal(1);
    other->RemoveCurrentRecord();
    EXPECT_EQ(2, calls);
    ASSERT_EQ(0u, ResultCode(cur_->SetChangeNotifier(nullptr, nullptr)));
    Add(other.get(), 2);
    EXPECT_EQ(2, calls);
}

TEST_F(MovesTest, StatusWrittenThroughCursorPropertyLeavesTheRecord) {
    AddIds({1, 2});
    cur_->GoToOrdinal(1);
    ASSERT_EQ(0u, ResultCode(cur_->WriteCursorProperty(2, 0)));
    EXPECT_EQ(-DSERR_NOCURRREC, Current(cur_.get()));
    // The crack after record 1: one step forward is record 2.
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(2, Current(cur_.get()));
    IDSBase* owner = nullptr;
    ASSERT_EQ(0u, ResultCode(cur_->ReadCursorProperty(1, &owner)));
    EXPECT_EQ(ds_.get(), owner);
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->ReadCursorProperty(7, &owner)));
    // No field 99 can be made read-only; clearing it leaves nothing read-only.
    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(cur_->WriteCursorProperty(5, 99)));
    EXPECT_EQ(0u, ResultCode(cur_->WriteCursorProperty(4, 99)));
}

}  // namespace
