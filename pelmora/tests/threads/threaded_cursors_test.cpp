// Cursors on one dataset used from different threads: one thread edits
// through its cursor while another walks, counts and reads through its own.
// Every read sees a whole record; the thread sanitizer build runs these tests
// to catch unguarded reads of the shared index.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dataset_test_support.h"

using dstest::Field;
using enginetest::Engine;
using enginetest::Ref;

namespace {

constexpr int32_t kRecords = 1500;

class ThreadedCursors : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("NAME", FLD_STRING, 16)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(2, fields, "T")));
        *writer_.out() = Attach();
        *reader_.out() = Attach();
        ASSERT_TRUE(writer_ && reader_);
        DatasetProps props{};
        ASSERT_EQ(0u, ResultCode(writer_->ReadCursorProps(&props)));
        size_ = props.recordSize;
        if (GetParam()) {
            // The reader follows an order by ID, kept up by every edit.
            const uint32_t byId[] = {1};
            ASSERT_EQ(0u, ResultCode(reader_->SortByFields(1, byId, nullptr, nullptr)));
        }
    }

    IDSCursor* Attach() {
        IDSCursor* c = Engine::Get().NewCursor();
        if (c && ResultCode(c->AttachDataset(ds_.get())) != 0) {
            c->Release();
            return nullptr;
        }
        return c;
    }

    static std::string NameOf(int32_t id) { return "N" + std::to_string(id); }

    uint16_t Put(bool add, int32_t id) {
        std::vector<uint8_t> rec(size_);
        writer_->PrepareRecord(rec.data());
        writer_->WriteFieldValue(rec.data(), 1, &id);
        writer_->WriteFieldValue(rec.data(), 2, NameOf(id).c_str());
        return ResultCode(add ? writer_->AddRecord(rec.data())
                              : writer_->UpdateCurrentRecord(rec.data()));
    }

    // True when the reader's current record is whole: its name matches its ID.
    bool ReadWhole() {
        std::vector<uint8_t> rec(size_);
        if (ResultCode(reader_->ReadCurrentRecord(rec.data())) != 0) return true;
        int32_t id = 0;
        char name[17] = {};
        reader_->ReadFieldValue(rec.data(), 1, &id, nullptr);
        reader_->ReadFieldValue(rec.data(), 2, name, nullptr);
        return NameOf(id) == name;
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> writer_;
    Ref<IDSCursor> reader_;
    uint32_t size_ = 0;
};

TEST_P(ThreadedCursors, ReaderSeesWholeRecordsWhileAnotherCursorEdits) {
    std::atomic<bool> done{false};
    int torn = 0;
    int shrank = 0;
    std::thread reader([&] {
        uint32_t lastCount = 0;
        while (!done.load()) {
            uint32_t count = 0;
            reader_->CountRecords(&count);
            if (count < lastCount) ++shrank;
            lastCount = count;
            reader_->GoBeforeFirst();
            for (int step = 0; step < 20 && ResultCode(reader_->MoveBy(1)) == 0; ++step) {
                if (!ReadWhole()) ++torn;
            }
            reader_->GoToOrdinal(count / 2 + 1);
            uint32_t ordinal = 0;
            reader_->ReadOrdinal(&ordinal);
            uint32_t number = 0;
            reader_->ReadRecordNumber(&number);
            CursorBookmark mark{};
            reader_->SaveBookmark(&mark);
            reader_->GoAfterLast();
            reader_->MoveBy(-1);
            if (!ReadWhole()) ++torn;
            reader_->GoToBookmark(&mark);
            if (!ReadWhole()) ++torn;
        }
    });
    // Records only come and change, so the reader's count never goes down.
    for (int32_t id = kRecords; id >= 1; --id) {
        ASSERT_EQ(0u, Put(true, id));
        if (id % 7 == 0) {
            // Rewrite the record just added with another key.
            ASSERT_EQ(0u, Put(false, id + 10 * kRecords));
        }
    }
    done = true;
    reader.join();
    EXPECT_EQ(0, torn);
    EXPECT_EQ(0, shrank);
    uint32_t count = 0;
    ASSERT_EQ(0u, ResultCode(reader_->CountRecords(&count)));
    EXPECT_EQ(static_cast<uint32_t>(kRecords), count);
}

INSTANTIATE_TEST_SUITE_P(Orders, ThreadedCursors, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ById" : "InsertionOrder"; });

}  // namespace
