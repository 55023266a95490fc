// Master-detail cursors: a detail cursor linked to a master cursor shows the
// details of the master's current record, over plain link fields between two
// datasets and over nested datasets; edits keep masters and details consistent.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine_loader.h"

using enginetest::Engine;
using enginetest::Ref;

namespace {

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0, uint32_t units2 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.units2 = units2;
    return f;
}

uint32_t RecordSize(IDSCursor* c) {
    DatasetProps props{};
    c->ReadCursorProps(&props);
    return props.recordSize;
}

IDSCursor* Attach(IDSBase* ds) {
    IDSCursor* c = Engine::Get().NewCursor();
    if (c && ResultCode(c->AttachDataset(ds)) != 0) {
        c->Release();
        return nullptr;
    }
    return c;
}

// Adds (int field 1, text field 2) through a cursor; returns the result code.
uint16_t AddPair(IDSCursor* c, int32_t number, const char* text, bool keepLink = false) {
    std::vector<uint8_t> rec(RecordSize(c));
    c->PrepareRecord(rec.data());
    if (!keepLink) c->WriteFieldValue(rec.data(), 1, &number);
    c->WriteFieldValue(rec.data(), 2, text);
    return ResultCode(c->AddRecord(rec.data()));
}

uint32_t Count(IDSCursor* c) {
    uint32_t n = 0;
    c->CountRecords(&n);
    return n;
}

std::vector<std::string> Texts(IDSCursor* c, uint32_t field) {
    std::vector<std::string> out;
    std::vector<uint8_t> rec(RecordSize(c));
    c->GoBeforeFirst();
    while (ResultCode(c->MoveBy(1)) == 0 && out.size() < 100) {
        char text[32] = {};
        c->ReadCurrentRecord(rec.data());
        c->ReadFieldValue(rec.data(), field, text, nullptr);
        out.push_back(text);
    }
    return out;
}

// Works (ID, NAME) as masters of items (WORK, TEXT) over ID = WORK.
class PlainLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *works_.out() = Engine::Get().NewDataset();
        *items_.out() = Engine::Get().NewDataset();
        const FieldDesc w[] = {Field("ID", FLD_INT32), Field("NAME", FLD_STRING, 10)};
        const FieldDesc i[] = {Field("WORK", FLD_INT32), Field("TEXT", FLD_STRING, 10)};
        ASSERT_EQ(0u, ResultCode(works_->DefineFields(2, w, "WORKS")));
        ASSERT_EQ(0u, ResultCode(items_->DefineFields(2, i, "ITEMS")));
        IndexDesc byWork{};
        std::strcpy(byWork.name, "BYWORK");
        byWork.fieldCount = 1;
        byWork.fields[0] = 1;
        ASSERT_EQ(0u, ResultCode(items_->MakeIndex(&byWork)));
        *master_.out() = Attach(works_.get());
        *detail_.out() = Attach(items_.get());
        ASSERT_TRUE(master_ && detail_);
        for (int32_t id : {1, 2, 3}) ASSERT_EQ(0, AddPair(master_.get(), id, "w"));
        {
            Ref<IDSCursor> loose(Attach(items_.get()));
            ASSERT_EQ(0, AddPair(loose.get(), 1, "a"));
            ASSERT_EQ(0, AddPair(loose.get(), 2, "c"));
            ASSERT_EQ(0, AddPair(loose.get(), 1, "b"));
        }
        ASSERT_EQ(0u, ResultCode(detail_->SelectIndex("BYWORK")));
        const uint32_t mf[] = {1}, df[] = {1};
        ASSERT_EQ(0u, ResultCode(master_->LinkDetailCursor(1, mf, df, detail_.get())));
    }

    Ref<IDSBase> works_, items_;
    Ref<IDSCursor> master_, detail_;
};

TEST_F(PlainLinkTest, DetailShowsTheCurrentMastersRecords) {
    master_->GoToOrdinal(1);
    EXPECT_EQ(2u, Count(detail_.get()));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), Texts(detail_.get(), 2));
    master_->MoveBy(1);
    EXPECT_EQ((std::vector<std::string>{"c"}), Texts(detail_.get(), 2));
    master_->MoveBy(1);
    EXPECT_EQ(0u, Count(detail_.get()));
    // Without a master record there are no details at all.
    master_->GoBeforeFirst();
    EXPECT_EQ(0u, Count(detail_.get()));
    std::vector<uint8_t> rec(RecordSize(detail_.get()));
    EXPECT_EQ(DSERR_NOCURRREC, ResultCode(detail_->ReadCurrentRecord(rec.data())));
    EXPECT_EQ(DSERR_EOF, ResultCode(detail_->MoveBy(1)));
    {
        // Details added meanwhile stay hidden while the master has no record.
        Ref<IDSCursor> loose(Attach(items_.get()));
        ASSERT_EQ(0, AddPair(loose.get(), 3, "e"));
    }
    EXPECT_EQ(0u, Count(detail_.get()));
    master_->GoAfterLast();
    EXPECT_EQ(0u, Count(detail_.get()));

    const uint32_t mf[] = {2}, df[] = {2};
    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(master_->LinkDetailCursor(1, mf, df, detail_.get())));
}

TEST_F(PlainLinkTest, NewDetailsTakeTheMastersLinkValues) {
    master_->GoToOrdinal(3);
    ASSERT_EQ(0, AddPair(detail_.get(), 0, "d", true));
    EXPECT_EQ((std::vector<std::string>{"d"}), Texts(detail_.get(), 2));
    int32_t work = 0;
    detail_->GoToOrdinal(1);
    detail_->ReadFieldValue(nullptr, 1, &work, nullptr);
    EXPECT_EQ(3, work);
    // A link value that no master has is refused.
    EXPECT_EQ(DSERR_NOMASTERRECORD, AddPair(detail_.get(), 99, "x"));
    EXPECT_EQ(1u, Count(detail_.get()));
}

TEST_F(PlainLinkTest, MastersWithDetailsKeepThem) {
    master_->GoToOrdinal(1);
    EXPECT_EQ(DSERR_DETAILRECORDSEXIST, ResultCode(master_->RemoveCurrentRecord()));
    EXPECT_EQ(3u, Count(master_.get()));
    std::vector<uint8_t> rec(RecordSize(master_.get()));
    master_->ReadCurrentRecord(rec.data());
    int32_t id = 10;
    master_->WriteFieldValue(rec.data(), 1, &id);
    EXPECT_EQ(DSERR_NOCASCADEDUPDATES, ResultCode(master_->UpdateCurrentRecord(rec.data())));
    master_->ReadCurrentRecord(rec.data());
    master_->WriteFieldValue(rec.data(), 2, "renamed");
    EXPECT_EQ(0u, ResultCode(master_->UpdateCurrentRecord(rec.data())));
    EXPECT_EQ(2u, Count(detail_.get()));
    // A master without details may go.
    master_->GoToOrdinal(3);
    EXPECT_EQ(0u, ResultCode(master_->RemoveCurrentRecord()));
    EXPECT_EQ(2u, Count(master_.get()));
}

// The caller lets go of the detail cursor and dataset while the master lives
// on: the link keeps the detail, so the master's checks still see its records
// (run under the address sanitizer, a freed detail would be read here).
TEST_F(PlainLinkTest, LinkOutlivesTheCallersDetailReferences) {
    detail_.reset();
    items_.reset();
    master_->GoToOrdinal(1);
    EXPECT_EQ(DSERR_DETAILRECORDSEXIST, ResultCode(master_->RemoveCurrentRecord()));
    master_->GoToOrdinal(3);
    EXPECT_EQ(0u, ResultCode(master_->RemoveCurrentRecord()));
    EXPECT_EQ(0u, ResultCode(master_->WithdrawLastChange(0)));
    EXPECT_EQ(3u, Count(master_.get()));
}

TEST_F(PlainLinkTest, CascadedUpdatesCarryTheDetails) {
    ASSERT_EQ(0u, ResultCode(works_->WriteProperty(PROP_FLAGS, 0x08)));
    master_->GoToOrdinal(1);
    std::vector<uint8_t> rec(RecordSize(master_.get()));
    master_->ReadCurrentRecord(rec.data());
    int32_t id = 10;
    master_->WriteFieldValue(rec.data(), 1, &id);
    ASSERT_EQ(0u, ResultCode(master_->UpdateCurrentRecord(rec.data())));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), Texts(detail_.get(), 2));
    Ref<IDSCursor> all(Attach(items_.get()));
    int seen = 0;
    all->GoBeforeFirst();
    while (ResultCode(all->MoveBy(1)) == 0) {
        int32_t work = 0;
        all->ReadFieldValue(nullptr, 1, &work, nullptr);
        EXPECT_NE(1, work);
        seen += work == 10;
    }
    EXPECT_EQ(2, seen);
}

// Reads the master's ID and the WORK values of every item.
std::string Links(IDSCursor* master, IDSBase* items) {
    int32_t id = 0;
    std::string out = ResultCode(master->ReadFieldValue(nullptr, 1, &id, nullptr)) == 0
                          ? std::to_string(id) + ":"
                          : "none:";
    Ref<IDSCursor> all(Attach(items));
    all->GoBeforeFirst();
    while (ResultCode(all->MoveBy(1)) == 0) {
        int32_t work = 0;
        all->ReadFieldValue(nullptr, 1, &work, nullptr);
        out += " " + std::to_string(work);
    }
    return out;
}

uint16_t SetId(IDSCursor* master, int32_t id) {
    std::vector<uint8_t> rec(RecordSize(master));
    master->ReadCurrentRecord(rec.data());
    master->WriteFieldValue(rec.data(), 1, &id);
    return ResultCode(master->UpdateCurrentRecord(rec.data()));
}

TEST_F(PlainLinkTest, WithdrawingAMastersChangeNeverOrphansItsDetails) {
    ASSERT_EQ(0u, ResultCode(works_->AcceptAllChanges()));
    // An inserted master that got details may not be reverted or undone away.
    ASSERT_EQ(0, AddPair(master_.get(), 4, "new"));
    {
        Ref<IDSCursor> loose(Attach(items_.get()));
        ASSERT_EQ(0, AddPair(loose.get(), 4, "d"));
    }
    master_->GoToOrdinal(4);
    EXPECT_EQ(DSERR_DETAILRECORDSEXIST, ResultCode(master_->RestoreCurrentRecord()));
    EXPECT_EQ(DSERR_DETAILRECORDSEXIST, ResultCode(master_->WithdrawLastChange(1)));
    EXPECT_EQ(4u, Count(master_.get()));
    EXPECT_EQ(1u, Count(detail_.get()));

    // A changed link value that details joined afterwards cannot be undone
    // without cascading updates.
    master_->GoToOrdinal(3);
    ASSERT_EQ(0, SetId(master_.get(), 30));
    {
        Ref<IDSCursor> loose(Attach(items_.get()));
        ASSERT_EQ(0, AddPair(loose.get(), 30, "e"));
    }
    EXPECT_EQ(DSERR_NOCASCADEDUPDATES, ResultCode(master_->WithdrawLastChange(1)));
    EXPECT_EQ(DSERR_NOCASCADEDUPDATES, ResultCode(master_->RestoreCurrentRecord()));
    EXPECT_EQ("30: 1 2 1 4 30", Links(master_.get(), items_.get()));
}

TEST_F(PlainLinkTest, CascadedChangesMoveTheDetailsBothWaysOrNotAtAll) {
    ASSERT_EQ(0u, ResultCode(works_->AcceptAllChanges()));
    ASSERT_EQ(0u, ResultCode(works_->WriteProperty(PROP_FLAGS, 0x08)));
    master_->GoToOrdinal(1);
    // Details that cannot be written keep the master as it was too.
    ASSERT_EQ(0u, ResultCode(items_->WriteProperty(PROP_READONLY, 1)));
    EXPECT_NE(0, SetId(master_.get(), 10));
    EXPECT_EQ("1: 1 2 1", Links(master_.get(), items_.get()));
    ASSERT_EQ(0u, ResultCode(items_->WriteProperty(PROP_READONLY, 0)));

    ASSERT_EQ(0, SetId(master_.get(), 10));
    EXPECT_EQ("10: 10 2 10", Links(master_.get(), items_.get()));
    // Undoing the master's change carries its details back.
    ASSERT_EQ(0u, ResultCode(master_->WithdrawLastChange(1)));
    EXPECT_EQ("1: 1 2 1", Links(master_.get(), items_.get()));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), Texts(detail_.get(), 2));

    // So does reverting a record changed twice.
    ASSERT_EQ(0, SetId(master_.get(), 10));
    ASSERT_EQ(0, SetId(master_.get(), 11));
    EXPECT_EQ("11: 11 2 11", Links(master_.get(), items_.get()));
    ASSERT_EQ(0u, ResultCode(master_->RestoreCurrentRecord()));
    EXPECT_EQ("1: 1 2 1", Links(master_.get(), items_.get()));
    EXPECT_EQ(2u, Count(detail_.get()));
}

TEST_F(PlainLinkTest, DetailMovedToAnotherMasterLeavesTheRange) {
    master_->GoToOrdinal(1);
    ASSERT_EQ(0u, ResultCode(detail_->MoveBy(1)));
    std::vector<uint8_t> rec(RecordSize(detail_.get()));
    detail_->ReadCurrentRecord(rec.data());
    int32_t work = 99;
    detail_->WriteFieldValue(rec.data(), 1, &work);
    EXPECT_EQ(DSERR_NOMASTERRECORD, ResultCode(detail_->UpdateCurrentRecord(rec.data())));
    work = 2;
    detail_->WriteFieldValue(rec.data(), 1, &work);
    ASSERT_EQ(0u, ResultCode(detail_->UpdateCurrentRecord(rec.data())));
    EXPECT_EQ(DSERR_BOF, ResultCode(detail_->MoveBy(0)));
    EXPECT_EQ(1u, Count(detail_.get()));
    master_->MoveBy(1);
    EXPECT_EQ(2u, Count(detail_.get()));
}

// A dataset (ID, ITEMS nested (QTY, TEXT)) walked through linked cursors.
class NestedLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("ITEMS", FLD_TABLE, 2, 2),
                                    Field("QTY", FLD_INT32), Field("TEXT", FLD_STRING, 8)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(4, fields, "NEST")));
        Link(ds_.get());
    }

    void Link(IDSBase* ds) {
        master_.reset();
        detail_.reset();
        nested_.reset();
        ASSERT_EQ(0u, ResultCode(ds->GetNestedDataset(0, nested_.out())));
        *master_.out() = Attach(ds);
        *detail_.out() = Attach(nested_.get());
        ASSERT_TRUE(master_ && detail_);
        ASSERT_EQ(0u, ResultCode(master_->LinkDetailCursor(0, nullptr, nullptr, detail_.get())));
    }

    Ref<IDSBase> ds_, nested_;
    Ref<IDSCursor> master_, detail_;
};

TEST_F(NestedLinkTest, DetailsBelongToTheirMasterRecord) {
    ASSERT_EQ(0, AddPair(master_.get(), 1, nullptr));
    ASSERT_EQ(0, AddPair(master_.get(), 2, nullptr));
    master_->GoToOrdinal(1);
    EXPECT_EQ(0u, Count(detail_.get()));
    ASSERT_EQ(0, AddPair(detail_.get(), 5, "x"));
    ASSERT_EQ(0, AddPair(detail_.get(), 6, "y"));
    EXPECT_EQ(2u, Count(detail_.get()));
    master_->MoveBy(1);
    EXPECT_EQ(0u, Count(detail_.get()));
    ASSERT_EQ(0, AddPair(detail_.get(), 7, "z"));
    EXPECT_EQ((std::vector<std::string>{"z"}), Texts(detail_.get(), 2));
    master_->GoToOrdinal(1);
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), Texts(detail_.get(), 2));
    master_->GoBeforeFirst();
    EXPECT_EQ(0u, Count(detail_.get()));

    master_->GoToOrdinal(1);
    EXPECT_EQ(DSERR_DETAILRECORDSEXIST, ResultCode(master_->RemoveCurrentRecord()));

    // The nested records travel with a packet and link up again.
    SAFEARRAY* packet = nullptr;
    ASSERT_EQ(0u, ResultCode(ds_->WritePacket(&packet)));
    enginetest::Packet bytes(enginetest::TakeBytes(packet));
    Ref<IDSBase> loaded(Engine::Get().NewDataset());
    ASSERT_EQ(0u, ResultCode(loaded->LoadPacket(bytes.get(), 1)));
    Link(loaded.get());
    master_->GoToOrdinal(1);
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), Texts(detail_.get(), 2));
    master_->GoToOrdinal(2);
    EXPECT_EQ((std::vector<std::string>{"z"}), Texts(detail_.get(), 2));
}

TEST_F(NestedLinkTest, FailedFirstDetailLeavesTheMasterUnlinked) {
    ASSERT_EQ(0, AddPair(master_.get(), 1, nullptr));
    master_->GoToOrdinal(1);
    uint32_t link = 99, blank = 99;
    ASSERT_EQ(0u, ResultCode(master_->ReadFieldValue(nullptr, 2, &link, &blank)));
    const uint32_t before = link, beforeBlank = blank;
    ASSERT_EQ(0u, ResultCode(nested_->WriteProperty(PROP_READONLY, 1)));
    EXPECT_EQ(DSERR_READONLY, AddPair(detail_.get(), 5, "x"));
    ASSERT_EQ(0u, ResultCode(master_->ReadFieldValue(nullptr, 2, &link, &blank)));
    EXPECT_EQ(before, link);
    EXPECT_EQ(beforeBlank, blank);
    // The next detail that does come links the master up.
    ASSERT_EQ(0u, ResultCode(nested_->WriteProperty(PROP_READONLY, 0)));
    ASSERT_EQ(0, AddPair(detail_.get(), 6, "y"));
    EXPECT_EQ((std::vector<std::string>{"y"}), Texts(detail_.get(), 2));
}

TEST_F(NestedLinkTest, CopiedDetailCursorFollowsTheSameMaster) {
    ASSERT_EQ(0, AddPair(master_.get(), 1, nullptr));
    ASSERT_EQ(0, AddPair(master_.get(), 2, nullptr));
    master_->GoToOrdinal(2);
    ASSERT_EQ(0, AddPair(detail_.get(), 1, "p"));
    ASSERT_EQ(0, AddPair(detail_.get(), 2, "q"));
    detail_->GoToOrdinal(2);
    Ref<IDSCursor> copy(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(copy->CopyCursor(detail_.get())));
    std::vector<uint8_t> rec(RecordSize(copy.get()));
    ASSERT_EQ(0u, ResultCode(copy->ReadCurrentRecord(rec.data())));
    char text[9] = {};
    copy->ReadFieldValue(rec.data(), 2, text, nullptr);
    EXPECT_STREQ("q", text);
    master_->GoToOrdinal(1);
    EXPECT_EQ(0u, Count(copy.get()));
    master_->GoToOrdinal(2);
    EXPECT_EQ(2u, Count(copy.get()));
}

}  // namespace
