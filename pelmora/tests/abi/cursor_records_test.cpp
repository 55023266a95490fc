// Reading and editing records through a cursor: field values in record
// buffers, BLOBs, field checks, the change status and undo and revert.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine_loader.h"

using enginetest::Engine;
using enginetest::Ref;

namespace {

enum : uint32_t { kId = 1, kName = 2, kNote = 3, kPrice = 4, kCode = 5, kSeq = 6 };

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0, uint32_t units2 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.units2 = units2;
    return f;
}

// Packed decimal of a digit string ("01234" with precision 5).
std::vector<uint8_t> Bcd(uint32_t places, const std::string& digits) {
    const auto precision = static_cast<uint32_t>(digits.size());
    std::vector<uint8_t> out((precision + 1) / 2 + 2, 0);
    out[0] = static_cast<uint8_t>(precision);
    out[1] = static_cast<uint8_t>(places);
    for (size_t i = 0; i < digits.size(); ++i) {
        const uint8_t d = static_cast<uint8_t>(digits[i] - '0');
        out[2 + i / 2] |= i % 2 == 0 ? static_cast<uint8_t>(d << 4) : d;
    }
    return out;
}

class RecordsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        FieldDesc fields[] = {Field("ID", FLD_INT32),       Field("NAME", FLD_STRING, 10),
                              Field("NOTE", FLD_BLOB),      Field("PRICE", FLD_BCD, 6, 2),
                              Field("CODE", FLD_STRING, 5), Field("SEQ", FLD_INT32)};
        fields[kCode - 1].attributes = ATTR_REQUIRED;
        fields[kSeq - 1].subtype = SUBTYPE_AUTOINC;
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(6, fields, "R")));
        *cur_.out() = Engine::Get().NewCursor();
        ASSERT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        ASSERT_EQ(0u, ResultCode(cur_->ReadCursorProps(&props)));
        size_ = props.recordSize;
        descs_.resize(props.fieldCount);
        cur_->ReadFieldDescs(descs_.data());
    }

    std::vector<uint8_t> NewRecord(int32_t id, const char* name) {
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(cur_->PrepareRecord(rec.data())));
        EXPECT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kId, &id)));
        EXPECT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kName, name)));
        EXPECT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kCode, "C")));
        return rec;
    }

    void Add(int32_t id, const char* name) {
        std::vector<uint8_t> rec = NewRecord(id, name);
        ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
    }

    std::vector<uint8_t> Current() {
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(cur_->ReadCurrentRecord(rec.data())));
        return rec;
    }

    std::string Text(const std::vector<uint8_t>& rec, uint32_t field) {
        std::vector<char> value(descs_[field - 1].length + 1, 0);
        cur_->ReadFieldValue(rec.data(), field, value.data(), nullptr);
        return value.data();
    }

    uint32_t Indicator(const std::vector<uint8_t>& rec, uint32_t field) {
        uint32_t blank = 99;
        cur_->ReadFieldValue(rec.data(), field, nullptr, &blank);
        return blank;
    }

    uint32_t ChangeCount() {
        uint32_t count = 0;
        EXPECT_EQ(0u, ResultCode(ds_->ReadProperty(PROP_CHANGE_COUNT, &count)));
        return count;
    }

    std::string StoredBlob() {
        uint32_t length = 0;
        EXPECT_EQ(0u, ResultCode(cur_->ReadBlobLength(nullptr, kNote, &length)));
        std::string bytes(length, '\0');
        if (length) {
            EXPECT_EQ(0u, ResultCode(cur_->ReadBlobData(nullptr, kNote, 0, bytes.data(), &length)));
        }
        return bytes;
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
    std::vector<FieldDesc> descs_;
};

TEST_F(RecordsTest, StringsAreStoredWithoutTrailingBlanks) {
    std::vector<uint8_t> rec(size_);
    cur_->PrepareRecord(rec.data());
    for (uint32_t k = 1; k <= descs_.size(); ++k) EXPECT_EQ(IND_UNCHANGED, Indicator(rec, k));

    ASSERT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kName, "ab  \t x   ")));
    EXPECT_EQ("ab  \t x", Text(rec, kName));
    EXPECT_EQ(IND_VALUE, Indicator(rec, kName));
    // Nothing of an earlier, longer value survives behind the new one.
    std::vector<char> raw(descs_[kName - 1].length);
    cur_->ReadFieldValue(rec.data(), kName, raw.data(), nullptr);
    EXPECT_EQ(std::string(raw.size() - 7, '\0'), std::string(raw.data() + 7, raw.size() - 7));

    ASSERT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kName, "     ")));
    EXPECT_EQ("", Text(rec, kName));
    EXPECT_EQ(IND_VALUE, Indicator(rec, kName));

    ASSERT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kName, "abcdefghijklmnop")));
    EXPECT_EQ("abcdefghij", Text(rec, kName));

    ASSERT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kName, nullptr)));
    EXPECT_EQ(IND_BLANK, Indicator(rec, kName));
    EXPECT_EQ("", Text(rec, kName));

    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(cur_->WriteFieldValue(rec.data(), 0, "x")));
    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(cur_->WriteFieldValue(rec.data(), 7, "x")));
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->WriteFieldValue(nullptr, kName, "x")));
}

TEST_F(RecordsTest, PackedDecimalsTakeTheFieldsScale) {
    std::vector<uint8_t> rec(size_);
    cur_->PrepareRecord(rec.data());
    const std::vector<uint8_t> in = Bcd(1, "01234");  // 123.4
    ASSERT_EQ(0u, ResultCode(cur_->WriteFieldValue(rec.data(), kPrice, in.data())));
    std::vector<uint8_t> out(descs_[kPrice - 1].length);
    cur_->ReadFieldValue(rec.data(), kPrice, out.data(), nullptr);
    const std::vector<uint8_t> expected = Bcd(2, "012340");  // 123.40
    EXPECT_EQ(expected, std::vector<uint8_t>(out.begin(), out.begin() + expected.size()));

    // Five integer digits do not fit four: refused, the field keeps its value.
    const std::vector<uint8_t> big = Bcd(1, "123456");  // 12345.6
    EXPECT_EQ(DSERR_OUTOFRANGE, ResultCode(cur_->WriteFieldValue(rec.data(), kPrice, big.data())));
    std::vector<uint8_t> after(out.size());
    cur_->ReadFieldValue(rec.data(), kPrice, after.data(), nullptr);
    EXPECT_EQ(out, after);
}

TEST_F(RecordsTest, BlobEditsStayInTheBufferUntilPosted) {
    std::vector<uint8_t> rec = NewRecord(1, "a");
    ASSERT_EQ(0u, ResultCode(cur_->WriteBlobData(rec.data(), kNote, 0, "hello", 5)));
    uint32_t length = 0;
    ASSERT_EQ(0u, ResultCode(cur_->ReadBlobLength(rec.data(), kNote, &length)));
    EXPECT_EQ(5u, length);
    char part[16] = {};
    length = sizeof part;
    ASSERT_EQ(0u, ResultCode(cur_->ReadBlobData(rec.data(), kNote, 1, part, &length)));
    EXPECT_EQ("ello", std::string(part, length));
    ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
    EXPECT_EQ("hello", StoredBlob());

    // Appending to the stored BLOB through a buffer leaves the stored record alone.
    std::vector<uint8_t> edit = Current();
    ASSERT_EQ(0u, ResultCode(cur_->WriteBlobData(edit.data(), kNote, 5, " world", 6)));
    EXPECT_EQ("hello", StoredBlob());
    ASSERT_EQ(0u, ResultCode(cur_->UpdateCurrentRecord(edit.data())));
    EXPECT_EQ("hello world", StoredBlob());
    // Undo brings back the first version with its own bytes.
    ASSERT_EQ(0u, ResultCode(cur_->WithdrawLastChange(1)));
    EXPECT_EQ("hello", StoredBlob());

    // Blank BLOBs.
    std::vector<uint8_t> blank = Current();
    ASSERT_EQ(0u, ResultCode(cur_->WriteBlobData(blank.data(), kNote, 0, "x", 0)));
    EXPECT_EQ(IND_BLANK, Indicator(blank, kNote));
    length = 7;
    EXPECT_EQ(0u, ResultCode(cur_->ReadBlobLength(blank.data(), kNote, &length)));
    EXPECT_EQ(0u, length);
    length = sizeof part;
    EXPECT_EQ(DSERR_FIELDISBLANK,
              ResultCode(cur_->ReadBlobData(blank.data(), kNote, 0, part, &length)));
    EXPECT_EQ(DSERR_FIELDISBLANK, ResultCode(cur_->WriteBlobData(blank.data(), kNote, 2, "yz", 2)));
    EXPECT_EQ(DSERR_INVALIDFLDTYPE, ResultCode(cur_->ReadBlobLength(blank.data(), kName, &length)));
}

TEST_F(RecordsTest, UpdatesAreLoggedOnlyWhenSomethingChanged) {
    Add(1, "one");
    ASSERT_EQ(0u, ResultCode(ds_->AcceptAllChanges()));
    cur_->GoToOrdinal(1);
    std::vector<uint8_t> rec = Current();
    ASSERT_EQ(0u, ResultCode(cur_->UpdateCurrentRecord(rec.data())));
    EXPECT_EQ(0u, ChangeCount());
    EXPECT_EQ(DSERR_NOTHINGTOUNDO, ResultCode(cur_->WithdrawLastChange(0)));

    cur_->WriteFieldValue(rec.data(), kName, "uno");
    ASSERT_EQ(0u, ResultCode(cur_->UpdateCurrentRecord(rec.data())));
    EXPECT_EQ(1u, ChangeCount());
    EXPECT_EQ("uno", Text(Current(), kName));
    uint8_t status = 0;
    ASSERT_EQ(0u, ResultCode(cur_->ReadRecordStatus(&status)));
    EXPECT_EQ(REC_MODIFIED, status);
    // The earliest version is still there to read.
    std::vector<uint8_t> first(size_);
    ASSERT_EQ(0u, ResultCode(cur_->ReadCursorProperty(3, first.data())));
    EXPECT_EQ("one", Text(first, kName));

    // Undo with follow: the cursor stands on the restored version.
    ASSERT_EQ(0u, ResultCode(cur_->WithdrawLastChange(1)));
    EXPECT_EQ("one", Text(Current(), kName));
    EXPECT_EQ(DSERR_RECNOTFOUND, ResultCode(cur_->ReadCursorProperty(3, first.data())));
}

TEST_F(RecordsTest, InsertedThenModifiedReportsInserted) {
    Add(1, "one");
    cur_->GoToOrdinal(1);
    uint8_t status = 0;
    ASSERT_EQ(0u, ResultCode(cur_->ReadRecordStatus(&status)));
    EXPECT_EQ(REC_INSERTED, status);
    std::vector<uint8_t> rec = Current();
    cur_->WriteFieldValue(rec.data(), kName, "uno");
    ASSERT_EQ(0u, ResultCode(cur_->UpdateCurrentRecord(rec.data())));
    ASSERT_EQ(0u, ResultCode(cur_->ReadRecordStatus(&status)));
    EXPECT_EQ(REC_INSERTED, status);
    cur_->GoBeforeFirst();
    EXPECT_EQ(DSERR_BOF, ResultCode(cur_->ReadRecordStatus(&status)));
}

TEST_F(RecordsTest, FieldChecksRefuseEditsAndChangeNothing) {
    std::vector<uint8_t> rec = NewRecord(1, "a");
    cur_->WriteFieldValue(rec.data(), kCode, nullptr);
    EXPECT_EQ(DSERR_REQDERR, ResultCode(cur_->AddRecord(rec.data())));
    cur_->WriteFieldValue(rec.data(), kCode, "");
    EXPECT_EQ(DSERR_REQDERR, ResultCode(cur_->AddRecord(rec.data())));
    std::vector<uint8_t> never(size_);
    cur_->PrepareRecord(never.data());
    EXPECT_EQ(DSERR_REQDERR, ResultCode(cur_->AddRecord(never.data())));
    uint32_t count = 9;
    cur_->CountRecords(&count);
    EXPECT_EQ(0u, count);

    Add(1, "a");
    cur_->GoToOrdinal(1);
    ASSERT_EQ(0u, ResultCode(cur_->WriteCursorProperty(5, kName)));
    std::vector<uint8_t> edit = Current();
    cur_->WriteFieldValue(edit.data(), kName, "b");
    const uint32_t before = ChangeCount();
    EXPECT_EQ(DSERR_READONLYFLD, ResultCode(cur_->UpdateCurrentRecord(edit.data())));
    EXPECT_EQ(before, ChangeCount());
    EXPECT_EQ("a", Text(Current(), kName));
    // Other fields may still change while the read-only one keeps its value.
    std::vector<uint8_t> other = Current();
    int32_t id = 5;
    cur_->WriteFieldValue(other.data(), kId, &id);
    EXPECT_EQ(0u, ResultCode(cur_->UpdateCurrentRecord(other.data())));
    edit = Current();
    cur_->WriteFieldValue(edit.data(), kCode, "");
    EXPECT_EQ(DSERR_REQDERR, ResultCode(cur_->UpdateCurrentRecord(edit.data())));
    ASSERT_EQ(0u, ResultCode(cur_->WriteCursorProperty(4, kName)));
    edit = Current();
    cur_->WriteFieldValue(edit.data(), kName, "b");
    EXPECT_EQ(0u, ResultCode(cur_->UpdateCurrentRecord(edit.data())));
    EXPECT_EQ("b", Text(Current(), kName));
}

TEST_F(RecordsTest, AutoIncrementFieldIsNumberedByTheDataset) {
    std::vector<uint8_t> rec = NewRecord(1, "a");
    int32_t given = 77;
    cur_->WriteFieldValue(rec.data(), kSeq, &given);
    ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
    ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
    std::vector<int32_t> seqs;
    cur_->GoBeforeFirst();
    while (ResultCode(cur_->MoveBy(1)) == 0) {
        int32_t seq = 0;
        cur_->ReadFieldValue(nullptr, kSeq, &seq, nullptr);
        seqs.push_back(seq);
    }
    ASSERT_EQ(2u, seqs.size());
    EXPECT_NE(seqs[0], seqs[1]);
    EXPECT_EQ(seqs[0] + 1, seqs[1]);
    EXPECT_NE(77, seqs[0]);
}

TEST_F(RecordsTest, ChangeIndexOrderIsReadOnly) {
    Add(1, "a");
    Add(2, "b");
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("CHANGEINDEX")));
    uint32_t count = 0;
    cur_->CountRecords(&count);
    EXPECT_EQ(2u, count);
    ASSERT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    std::vector<uint8_t> rec = Current();
    EXPECT_EQ(DSERR_INDEXREADONLY, ResultCode(cur_->AddRecord(rec.data())));
    EXPECT_EQ(DSERR_INDEXREADONLY, ResultCode(cur_->UpdateCurrentRecord(rec.data())));
    EXPECT_EQ(DSERR_INDEXREADONLY, ResultCode(cur_->RemoveCurrentRecord()));
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("")));
    EXPECT_EQ(DSERR_NOSUCHINDEX, ResultCode(cur_->SelectIndex("NOPE")));
}

// An edit refused by a unique index leaves the change order as it was: no
// record without a change appears in it.
TEST_F(RecordsTest, KeyViolationsLeaveTheChangeOrderAlone) {
    IndexDesc unique{};
    std::strcpy(unique.name, "BYID");
    unique.fieldCount = 1;
    unique.fields[0] = kId;
    unique.unique = 1;
    ASSERT_EQ(0u, ResultCode(ds_->MakeIndex(&unique)));
    Add(1, "a");
    Add(2, "b");
    ASSERT_EQ(0u, ResultCode(ds_->AcceptAllChanges()));
    auto changed = [&] {
        Ref<IDSCursor> c(Engine::Get().NewCursor());
        EXPECT_EQ(0u, ResultCode(c->AttachDataset(ds_.get())));
        EXPECT_EQ(0u, ResultCode(c->SelectIndex("CHANGEINDEX")));
        uint32_t count = 0;
        c->CountRecords(&count);
        return count;
    };
    ASSERT_EQ(0u, changed());
    std::vector<uint8_t> duplicate = NewRecord(1, "dup");
    EXPECT_EQ(DSERR_KEYVIOL, ResultCode(cur_->AddRecord(duplicate.data())));
    EXPECT_EQ(0u, changed());
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYID")));
    cur_->GoToOrdinal(2);
    std::vector<uint8_t> rec = Current();
    int32_t one = 1;
    cur_->WriteFieldValue(rec.data(), kId, &one);
    EXPECT_EQ(DSERR_KEYVIOL, ResultCode(cur_->UpdateCurrentRecord(rec.data())));
    EXPECT_EQ(0u, changed());
    EXPECT_EQ(0u, ChangeCount());
}

TEST_F(RecordsTest, RestoreBringsBackTheFirstVersion) {
    Add(1, "one");
    ASSERT_EQ(0u, ResultCode(ds_->AcceptAllChanges()));
    cur_->GoToOrdinal(1);
    for (const char* name : {"two", "three"}) {
        std::vector<uint8_t> rec = Current();
        cur_->WriteFieldValue(rec.data(), kName, name);
        ASSERT_EQ(0u, ResultCode(cur_->UpdateCurrentRecord(rec.data())));
    }
    ASSERT_EQ(0u, ResultCode(cur_->RestoreCurrentRecord()));
    EXPECT_EQ("one", Text(Current(), kName));
    EXPECT_EQ(0u, ChangeCount());

    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    uint32_t count = 9;
    cur_->CountRecords(&count);
    EXPECT_EQ(0u, count);
    ASSERT_EQ(0u, ResultCode(cur_->RestoreCurrentRecord()));
    cur_->CountRecords(&count);
    EXPECT_EQ(1u, count);
    cur_->GoToOrdinal(1);
    EXPECT_EQ("one", Text(Current(), kName));
}

}  // namespace
