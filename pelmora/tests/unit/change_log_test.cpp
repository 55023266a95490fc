// The change log: the log object on its own (chains, serialisation), and the
// dataset's logged edits, undo, revert, compaction, merge and change count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "store/field_types.h"
#include "store/record_buffer.h"

namespace pelmora {
namespace {

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0, uint32_t subtype = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.subtype = subtype;
    return f;
}

TEST(ChangeLogTest, FirstVersionWalksModificationChainsBack) {
    DSLOG log;
    // 3 inserted; 1 -> 4 -> 6 modified; 2 deleted; 3 -> 5 modified.
    for (LogEntry e :
         {LogEntry{3, 0, LOG_INSERT}, LogEntry{4, 1, LOG_MODIFY}, LogEntry{2, 0, LOG_DELETE},
          LogEntry{5, 3, LOG_MODIFY}, LogEntry{6, 4, LOG_MODIFY}, LogEntry{6, 0, LOG_DELETE}}) {
        ASSERT_EQ(log.Append(e), DS_OK);
    }
    uint32_t start = 0;
    EXPECT_EQ(log.FirstVersion(6, &start), 1u);
    EXPECT_EQ(start, 2u);  // the first modification
    EXPECT_EQ(log.FirstVersion(5, &start), 3u);
    EXPECT_EQ(start, 1u);  // the insertion
    EXPECT_EQ(log.FirstVersion(2, &start), 2u);
    EXPECT_EQ(start, 3u);  // only a deletion names it
    EXPECT_EQ(log.FirstVersion(9, &start), 9u);
    EXPECT_EQ(start, 0u);
}

// Splitting a log into chains in one pass gives the chains that taking the
// first entry's chain out again and again gives, on sound logs and on logs
// whose chains cross (two insertions of one record, a modification of a
// version two chains hold).
TEST(ChangeLogTest, ChainsInOnePassAreTheChainsTakenOutInTurn) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        DSLOG log;
        const uint32_t records = 2 + random() % 12;
        const uint32_t length = random() % 40;
        for (uint32_t i = 0; i < length; ++i) {
            const uint32_t actions[] = {LOG_INSERT, LOG_MODIFY, LOG_MODIFY, LOG_DELETE,
                                        LOG_DETAIL_CHANGED};
            const uint32_t action = actions[random() % 5];
            const uint32_t record = 1 + random() % records;
            const uint32_t previous = action == LOG_MODIFY ? 1 + random() % records : 0;
            ASSERT_EQ(log.Append({record, previous, action}), DS_OK);
        }
        std::vector<uint32_t> expected(log.size(), 0);
        {
            DSLOG left = log;
            std::vector<uint32_t> original(log.size());
            std::iota(original.begin(), original.end(), 0u);
            for (uint32_t chain = 0; !left.empty(); ++chain) {
                const LogEntry head = left.entries().front();
                std::vector<uint32_t> taken = {0};
                std::vector<uint32_t> versions;
                if (head.action == LOG_INSERT || head.action == LOG_MODIFY)
                    left.ChainFrom(0, head.record, taken, versions);
                std::sort(taken.begin(), taken.end());
                for (uint32_t k : taken) expected[original[k]] = chain;
                for (size_t k = taken.size(); k-- > 0;) original.erase(original.begin() + taken[k]);
                left.RemoveEntries(taken);
            }
        }
        std::vector<uint32_t> chainOf;
        log.SplitIntoChains(chainOf);
        ASSERT_EQ(chainOf, expected) << "round " << round;
    }
}

TEST(ChangeLogTest, SerialisedFormRoundTripsAndRejectsBrokenCounts) {
    DSLOG log;
    log.Append({7, 0, LOG_INSERT});
    log.Append({8, 7, LOG_MODIFY});
    const std::vector<uint32_t> values = log.Serialize();
    EXPECT_EQ(values, (std::vector<uint32_t>{7, 0, 4, 8, 7, 8}));
    DSLOG copy;
    ASSERT_EQ(copy.Deserialize(values.data(), static_cast<uint32_t>(values.size())), DS_OK);
    EXPECT_EQ(copy.Serialize(), values);
    EXPECT_EQ(copy.Deserialize(values.data(), 5), DSERR_INVALIDPARAM);
    EXPECT_EQ(copy.size(), 2u);  // unchanged by the refusal
}

// (ID autoinc int32, NAME string(10), N int32) with logging on.
class Edits : public ::testing::Test {
  protected:
    void SetUp() override {
        ds_ = NewDataset();
        ds_->AddRef();
        const FieldDesc fields[] = {Field("ID", FLD_INT32, 0, SUBTYPE_AUTOINC),
                                    Field("NAME", FLD_STRING, 10), Field("N", FLD_INT32)};
        ASSERT_EQ(ds_->DefineFields(3, fields, "E"), DS_OK);
        ASSERT_EQ(ds_->autoinc_field(), 1u);
    }
    void TearDown() override { ds_->Release(); }

    std::vector<uint8_t> Row(const char* name, int32_t n) {
        std::vector<uint8_t> row(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), row.data());
        const int32_t id = static_cast<int32_t>(ds_->next_autoinc());
        WriteBufferValue(ds_->fields(), row.data(), 1, &id);
        WriteBufferValue(ds_->fields(), row.data(), 2, name);
        WriteBufferValue(ds_->fields(), row.data(), 3, &n);
        return row;
    }
    // Inserts as a cursor does: the auto-increment value advances on success.
    uint32_t Insert(const char* name, int32_t n) {
        uint32_t r = 0;
        EXPECT_EQ(ds_->InsertRecord(Row(name, n).data(), &r), DS_OK);
        ds_->set_next_autoinc(ds_->next_autoinc() + 1);
        return r;
    }
    uint32_t Modify(uint32_t record, const char* name, int32_t n) {
        uint32_t r = 0;
        std::vector<uint8_t> row = Row(name, n);
        std::memcpy(row.data() + ds_->fields()[0].offset, ds_->store().ValueAt(record, 1), 4);
        EXPECT_EQ(ds_->ModifyRecord(record, row.data(), &r), DS_OK);
        return r;
    }
    int32_t N(uint32_t record) {
        int32_t v = 0;
        std::memcpy(&v, ds_->store().ValueAt(record, 3), 4);
        return v;
    }
    std::vector<LogEntry> Compacted() { return CompactLog(*ds_->log(), *ds_); }

    TDSBASE* ds_ = nullptr;
};

TEST_F(Edits, InsertModifyModifyCompactsToOneInsertionAndUndoesToEmpty) {
    const uint32_t r = Insert("a", 1);
    const uint32_t v2 = Modify(r, "a", 2);
    const uint32_t v3 = Modify(v2, "a", 3);
    EXPECT_EQ(ds_->store().StatusAt(v3), REC_MODIFIED | REC_INSERTED);
    EXPECT_EQ(ds_->store().StatusAt(r), REC_SUPERSEDED | REC_INSERTED);
    const std::vector<LogEntry> c = Compacted();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].record, v3);
    EXPECT_EQ(c[0].action, LOG_INSERT);
    EXPECT_EQ(ds_->ChangeCount(), 1u);
    EXPECT_EQ(ds_->FirstVersion(v3), r);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ds_->UndoLastChange(nullptr), DS_OK) << i;
    EXPECT_EQ(ds_->UndoLastChange(nullptr), DSERR_NOTHINGTOUNDO);
    EXPECT_EQ(ds_->next_record(), 1u);
    EXPECT_EQ(ds_->live_count(), 0u);
    EXPECT_EQ(ds_->default_index()->count(), 0u);
    EXPECT_EQ(ds_->ChangeCount(), 0u);
}

TEST_F(Edits, ModifyBackToSameValuesCountsNothingButUndoesTwice) {
    const uint32_t r = Insert("a", 1);
    ASSERT_EQ(ds_->MergeAll(), DS_OK);
    const uint32_t v2 = Modify(r, "b", 1);
    EXPECT_EQ(ds_->ChangeCount(), 1u);
    const uint32_t v3 = Modify(v2, "a", 1);
    EXPECT_EQ(ds_->ChangeCount(), 0u);
    EXPECT_TRUE(Compacted().empty());
    EXPECT_TRUE(ds_->SameValues(r, v3));
    EXPECT_FALSE(ds_->SameValues(r, v2));
    uint32_t result = 0;
    ASSERT_EQ(ds_->UndoLastChange(&result), DS_OK);
    EXPECT_EQ(result, v2);
    ASSERT_EQ(ds_->UndoLastChange(&result), DS_OK);
    EXPECT_EQ(result, r);
    EXPECT_EQ(ds_->store().StatusAt(r), 0);
    EXPECT_EQ(ds_->UndoLastChange(&result), DSERR_NOTHINGTOUNDO);
    EXPECT_EQ(ds_->default_index()->EntryAt(1), r);
}

TEST_F(Edits, InsertThenDeleteCompactsToNothingAndMergeDiscardsDeletedSlots) {
    const uint32_t kept = Insert("k", 1);
    Insert("z", 2);
    ASSERT_EQ(ds_->MergeAll(), DS_OK);
    const uint32_t r = Insert("a", 1);
    ASSERT_EQ(ds_->DeleteRecord(r), DS_OK);
    EXPECT_TRUE(Compacted().empty());
    EXPECT_EQ(ds_->ChangeCount(), 0u);

    ASSERT_EQ(ds_->DeleteRecord(kept), DS_OK);
    EXPECT_EQ(ds_->ChangeCount(), 1u);
    EXPECT_EQ(ds_->DeleteRecord(kept), DSERR_NOTSUPPORTED);  // not live any more
    ASSERT_EQ(ds_->MergeAll(), DS_OK);
    EXPECT_EQ(ds_->ChangeCount(), 0u);
    EXPECT_TRUE(ds_->log()->empty());
    EXPECT_EQ(ds_->UndoLastChange(nullptr), DSERR_NOTHINGTOUNDO);
    EXPECT_EQ(ds_->store().StatusAt(kept), REC_DISCARDED);
    EXPECT_EQ(ds_->live_count(), 1u);
    EXPECT_EQ(ds_->default_index()->count(), 1u);
}

TEST_F(Edits, RevertRestoresFirstVersionAndDropsTheWholeChain) {
    const uint32_t a = Insert("a", 1);
    const uint32_t b = Insert("b", 2);
    ASSERT_EQ(ds_->MergeAll(), DS_OK);
    const uint32_t b2 = Modify(b, "b", 20);
    const uint32_t a2 = Modify(a, "a", 10);
    const uint32_t b3 = Modify(b2, "b", 200);
    const uint32_t c = Insert("c", 3);
    const uint32_t c2 = Modify(c, "c", 30);

    uint32_t first = 0;
    ASSERT_EQ(ds_->RevertRecord(b3, &first), DS_OK);
    EXPECT_EQ(first, b);
    EXPECT_EQ(ds_->store().StatusAt(b), 0);
    EXPECT_EQ(N(b), 2);
    EXPECT_EQ(ds_->store().StatusAt(b2), REC_DISCARDED);
    EXPECT_EQ(ds_->store().StatusAt(b3), REC_DISCARDED);
    // Left: a's modification, c's insertion and modification.
    ASSERT_EQ(ds_->log()->size(), 3u);
    EXPECT_EQ(ds_->log()->entries()[0].record, a2);

    // Reverting the inserted record frees the slots of both its versions (the
    // highest ones): numbers and the auto-increment value come back.
    const uint32_t autoinc = ds_->next_autoinc();
    ASSERT_EQ(ds_->RevertRecord(c2, &first), DS_OK);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(ds_->log()->size(), 1u);
    EXPECT_EQ(ds_->next_record(), c);
    EXPECT_EQ(ds_->next_autoinc(), autoinc - 1);
    EXPECT_EQ(ds_->live_count(), 2u);
    EXPECT_EQ(ds_->default_index()->count(), 2u);

    // A deleted record gets back just its deletion.
    ASSERT_EQ(ds_->DeleteRecord(a2), DS_OK);
    ASSERT_EQ(ds_->RevertRecord(a2, &first), DS_OK);
    EXPECT_EQ(ds_->store().StatusAt(a2), REC_MODIFIED);
    EXPECT_EQ(ds_->ChangeCount(), 1u);
    EXPECT_EQ(ds_->default_index()->count(), 2u);
    // An unchanged record has nothing to revert.
    ASSERT_EQ(ds_->RevertRecord(b, &first), DS_OK);
    EXPECT_EQ(ds_->ChangeCount(), 1u);
}

TEST_F(Edits, ChangeIndexListsLoggedRecordsByStatusFilter) {
    const uint32_t a = Insert("a", 1);
    const uint32_t b = Insert("b", 2);
    ASSERT_EQ(ds_->MergeAll(), DS_OK);
    DSIDX* changes = nullptr;
    ASSERT_EQ(ds_->ChangeIndex(&changes), DS_OK);
    EXPECT_EQ(changes->count(), 0u);
    const uint32_t a2 = Modify(a, "a", 5);
    ASSERT_EQ(ds_->DeleteRecord(b), DS_OK);
    const uint32_t c = Insert("c", 3);
    // The original of a, its new version, the deleted b and the new c.
    EXPECT_EQ(changes->count(), 4u);
    EXPECT_NE(changes->PositionOf(a), 0u);
    EXPECT_NE(changes->PositionOf(a2), 0u);
    EXPECT_NE(changes->PositionOf(b), 0u);
    EXPECT_LT(changes->PositionOf(b), changes->PositionOf(c));

    auto* filtered = static_cast<DSIDXCHG*>(changes);
    filtered->set_status_filter(REC_DELETED);
    ASSERT_EQ(changes->Rebuild(nullptr, nullptr), DS_OK);
    ASSERT_EQ(changes->count(), 1u);
    EXPECT_EQ(changes->EntryAt(1), b);
    filtered->set_status_filter(0);
    ASSERT_EQ(changes->Rebuild(nullptr, nullptr), DS_OK);
    EXPECT_EQ(changes->count(), 4u);

    ASSERT_EQ(ds_->UndoLastChange(nullptr), DS_OK);  // c
    ASSERT_EQ(ds_->UndoLastChange(nullptr), DS_OK);  // b's deletion
    EXPECT_EQ(changes->count(), 2u);
    EXPECT_EQ(changes->PositionOf(c), 0u);
    EXPECT_EQ(changes->PositionOf(b), 0u);
}

TEST_F(Edits, LoggingOffEditsInPlaceAndReadOnlyRefusesLoggedEdits) {
    const uint32_t r = Insert("a", 1);
    ASSERT_EQ(ds_->MergeAll(), DS_OK);
    ASSERT_EQ(ds_->WriteProperty(PROP_LOGGING, 0), DS_OK);
    ASSERT_EQ(ds_->WriteProperty(PROP_READONLY, 1),
              DS_OK);  // read-only does not stop unlogged edits
    EXPECT_EQ(Modify(r, "a", 9), r);
    EXPECT_EQ(N(r), 9);
    EXPECT_EQ(ds_->store().StatusAt(r), 0);
    EXPECT_EQ(ds_->UndoLastChange(nullptr), DSERR_NOTHINGTOUNDO);
    EXPECT_EQ(ds_->ChangeCount(), 0u);

    ASSERT_EQ(ds_->WriteProperty(PROP_LOGGING, 1), DS_OK);
    uint32_t n = 0;
    EXPECT_EQ(ds_->InsertRecord(Row("x", 1).data(), &n), DSERR_READONLY);
    EXPECT_EQ(ds_->ModifyRecord(r, Row("x", 1).data(), &n), DSERR_READONLY);
    EXPECT_EQ(ds_->DeleteRecord(r), DSERR_READONLY);
    EXPECT_EQ(ds_->next_record(), r + 1);
    ASSERT_EQ(ds_->WriteProperty(PROP_READONLY, 0), DS_OK);
    ASSERT_EQ(ds_->WriteProperty(PROP_DISABLE_INSERTS, 1),
              DS_OK);  // inserts disabled, edits still allowed
    EXPECT_EQ(ds_->InsertRecord(Row("x", 1).data(), &n), DSERR_READONLY);
    EXPECT_NE(Modify(r, "a", 10), r);
}

}  // namespace
}  // namespace pelmora
