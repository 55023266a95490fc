// Delta packets and reconcile through the exported interfaces: the rows a
// delta holds, a random edit session replayed from its delta, and the
// reconcile of error packets with the callback's actions.
#include <gtest/gtest.h>

#include <random>

#include "delta_test_support.h"

using namespace deltatest;

namespace {

std::vector<std::pair<int32_t, Values>> Seed(int n) {
    std::vector<std::pair<int32_t, Values>> rows;
    for (int i = 1; i <= n; ++i) rows.push_back({i, {"n" + std::to_string(i), i * 10}});
    return rows;
}

// Replays a delta's rows on a table by ID (insert, delete, modify).
void Apply(Table& t, const dstest::Decoded& d) {
    for (size_t i = 0; i < d.rows.size(); ++i) {
        const dstest::DecodedRow& row = d.rows[i];
        const int32_t id = row.items[0].i32();
        if (row.status == 4) {
            ASSERT_EQ(0u, t.Add(id, row.items[1].str().c_str(), row.items[2].i32()));
        } else if (row.status == 2) {
            ASSERT_EQ(0u, t.Remove(id));
        } else if (row.status == 1) {
            ASSERT_LT(i + 1, d.rows.size());
            const dstest::DecodedRow& next = d.rows[++i];
            ASSERT_EQ(8u, next.status);
            const std::string name = next.items[1].str();
            const int32_t qty = next.items[2].i32();
            ASSERT_EQ(0u, t.Set(id, next.items[1].status == 0 ? name.c_str() : nullptr,
                                next.items[2].status == 0 ? &qty : nullptr));
        }
    }
}

// A random session of inserts, modifications (some back to the first
// values) and deletions.
void RandomSession(Table& t, std::mt19937& rng, int steps, int32_t& nextId) {
    for (int s = 0; s < steps; ++s) {
        const Contents rows = t.Rows();
        std::vector<int32_t> ids;
        for (const auto& [id, v] : rows) ids.push_back(id);
        const int choice = static_cast<int>(rng() % 5);
        if (choice == 0 || ids.empty()) {
            ASSERT_EQ(0u, t.Add(nextId, "x" + std::to_string(nextId), nextId));
            ++nextId;
            continue;
        }
        const int32_t id = ids[rng() % ids.size()];
        if (choice == 1) {
            ASSERT_EQ(0u, t.Remove(id));
        } else if (choice == 2) {
            ASSERT_EQ(0u, t.Set(id, ("m" + std::to_string(rng() % 100)).c_str(), nullptr));
        } else {
            ASSERT_EQ(0u, t.SetQty(id, static_cast<int32_t>(rng() % 7)));
        }
    }
}

struct Calls {
    std::vector<uint32_t> kinds;
    std::vector<uint32_t> codes;
    std::vector<uint32_t> previous;
    std::vector<bool> withValues;
    std::vector<uint32_t> answers;  // one per call, the last repeated
    uint32_t Next() {
        const size_t i = kinds.size() - 1;
        return answers.empty() ? 1 : answers[std::min(i, answers.size() - 1)];
    }
};

uint32_t Callback(void* data, uint32_t previous, uint32_t kind, uint32_t, uint32_t code,
                  const char*, const char*, void*, void*, void* values) {
    auto* calls = static_cast<Calls*>(data);
    calls->kinds.push_back(kind);
    calls->codes.push_back(code);
    calls->previous.push_back(previous);
    calls->withValues.push_back(values != nullptr);
    return calls->Next();
}

uint32_t Reconcile(Table& t, const std::vector<uint8_t>& delta, const std::vector<ErrorRow>& errors,
                   Calls* calls) {
    enginetest::Packet d(delta);
    enginetest::Packet e(ErrorPacket(errors));
    return ResultCode(t.ds()->ApplyReconcileResult(d.get(), e.get(), calls, Callback));
}

uint8_t StatusOf(Table& t, int32_t id) {
    uint8_t status = 0xFF;
    if (t.Find(id)) t.cur()->ReadRecordStatus(&status);
    return status;
}

// ---- making deltas ------------------------------------------------------------------

TEST(DeltaPacket, ModificationGivesOldAndNewRowsWithUnchangedMarks) {
    Table t(TablePacket(Seed(3)));
    ASSERT_EQ(0u, t.SetQty(2, 99));
    uint32_t r = 0;
    const dstest::Decoded d = dstest::Decode(t.Delta(&r));
    ASSERT_EQ(0u, r);
    ASSERT_EQ(2u, d.rows.size());
    EXPECT_EQ(1u, d.rows[0].status);
    EXPECT_EQ(20, d.rows[0].items[2].i32());
    EXPECT_EQ(8u, d.rows[1].status);
    EXPECT_EQ(99, d.rows[1].items[2].i32());
    EXPECT_EQ(2u, d.rows[1].items[1].status) << "NAME did not change";
    EXPECT_EQ(2u, d.rows[1].items[0].status) << "ID did not change";
}

TEST(DeltaPacket, ModificationSetBackGivesNoRowsAndEmptyDelta) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    ASSERT_EQ(0u, t.SetQty(1, 10));
    uint32_t r = 0;
    t.Delta(&r);
    EXPECT_EQ(DSERR_DELTAISEMPTY, r);
    EXPECT_EQ(0u, t.ChangeCount());
    Table fresh(TablePacket(Seed(1)));
    fresh.Delta(&r);
    EXPECT_EQ(DSERR_DELTAISEMPTY, r) << "no change at all";
}

TEST(DeltaPacket, DeltaNameGetsSuffixOnlyWhileShort) {
    for (const auto& [name, expected] : {std::pair<std::string, std::string>{
                                             std::string(25, 'A'), std::string(25, 'A') + "_DELTA"},
                                         {std::string(26, 'B'), std::string(26, 'B')}}) {
        Ref<IDSBase> ds(Engine::Get().NewDataset());
        const FieldDesc fields[] = {Field("ID", FLD_INT32)};
        ASSERT_EQ(0u, ds->DefineFields(1, fields, name.c_str()));
        Table t(ds.get());
        ds->AddRef();
        std::vector<uint8_t> rec(t.size());
        t.cur()->PrepareRecord(rec.data());
        const int32_t id = 1;
        t.cur()->WriteFieldValue(rec.data(), 1, &id);
        ASSERT_EQ(0u, ResultCode(t.cur()->AddRecord(rec.data())));
        Ref<IDSBase> delta;
        ASSERT_EQ(0u, ResultCode(ds->MakeDelta(delta.out())));
        DatasetProps props{};
        delta->ReadDatasetProps(&props);
        EXPECT_EQ(expected, std::string(props.name));
        EXPECT_EQ(1u, uint32_t{props.delta});
        Ref<IDSBase> same;
        ASSERT_EQ(0u, ResultCode(delta->MakeDelta(same.out())));
        EXPECT_EQ(delta.get(), same.get()) << "a delta is its own delta";
    }
}

TEST(DeltaPacket, OldVersionBlobTravelsOnlyUpToTheLimit) {
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("DATA", FLD_BLOB, 0, 0)};
    ASSERT_EQ(0u, ds->DefineFields(2, fields, "B"));
    ds->AddRef();
    Table t(ds.get());
    std::vector<uint8_t> rec(t.size());
    t.cur()->PrepareRecord(rec.data());
    const int32_t id = 1;
    t.cur()->WriteFieldValue(rec.data(), 1, &id);
    ASSERT_EQ(0u, ResultCode(t.cur()->WriteBlobData(rec.data(), 2, 0, "abc", 3)));
    ASSERT_EQ(0u, ResultCode(t.cur()->AddRecord(rec.data())));
    ASSERT_EQ(0u, ResultCode(ds->AcceptAllChanges()));
    t.cur()->GoToOrdinal(1);
    t.cur()->ReadCurrentRecord(rec.data());
    ASSERT_EQ(0u, ResultCode(t.cur()->WriteBlobData(rec.data(), 2, 0, "xyzw", 4)));
    ASSERT_EQ(0u, ResultCode(t.cur()->UpdateCurrentRecord(rec.data())));
    for (uint32_t limit : {0u, 3u}) {
        ASSERT_EQ(0u, ds->WriteProperty(PROP_MAX_DELTA_BLOB, limit));
        uint32_t r = 0;
        const dstest::Decoded d = dstest::Decode(t.Delta(&r));
        ASSERT_EQ(0u, r);
        ASSERT_EQ(2u, d.rows.size());
        EXPECT_EQ(limit == 0 ? 1u : 0u, d.rows[0].items[1].status) << "limit " << limit;
        EXPECT_EQ("xyzw", d.rows[1].items[1].str());
    }
}

TEST(DeltaPacket, RandomSessionReplaysOnTheOriginal) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        const std::vector<uint8_t> original = TablePacket(Seed(8));
        Table edited(original);
        int32_t nextId = 100;
        RandomSession(edited, rng, 30, nextId);
        uint32_t r = 0;
        const std::vector<uint8_t> delta = edited.Delta(&r);
        if (r == DSERR_DELTAISEMPTY) {
            EXPECT_EQ(edited.Rows(), Table(original).Rows());
            continue;
        }
        ASSERT_EQ(0u, r) << "seed " << seed;
        Table copy(original);
        Apply(copy, dstest::Decode(delta));
        EXPECT_EQ(edited.Rows(), copy.Rows()) << "seed " << seed;
    }
}

TEST(DeltaPacket, NestedDetailRowsTravelUnderTheirMaster) {
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    const FieldDesc fields[] = {Field("ID", FLD_INT32), Field("ITEMS", FLD_TABLE, 1, 1),
                                Field("QTY", FLD_INT32)};
    ASSERT_EQ(0u, ds->DefineFields(3, fields, "ORD"));
    Ref<IDSBase> nested;
    ASSERT_EQ(0u, ds->GetNestedDataset(0, nested.out()));
    ds->AddRef();
    nested->AddRef();
    Table master(ds.get());
    Table detail(nested.get());
    ASSERT_EQ(0u, ResultCode(master.cur()->LinkDetailCursor(0, nullptr, nullptr, detail.cur())));
    std::vector<uint8_t> rec(master.size());
    for (int32_t id : {1, 2}) {
        master.cur()->PrepareRecord(rec.data());
        master.cur()->WriteFieldValue(rec.data(), 1, &id);
        ASSERT_EQ(0u, ResultCode(master.cur()->AddRecord(rec.data())));
    }
    ASSERT_EQ(0u, ResultCode(ds->AcceptAllChanges()));
    master.cur()->GoToOrdinal(2);
    std::vector<uint8_t> drec(detail.size());
    for (int32_t qty : {7, 8}) {
        detail.cur()->PrepareRecord(drec.data());
        detail.cur()->WriteFieldValue(drec.data(), 1, &qty);
        ASSERT_EQ(0u, ResultCode(detail.cur()->AddRecord(drec.data())));
    }
    uint32_t r = 0;
    const dstest::Decoded d = dstest::Decode(master.Delta(&r));
    ASSERT_EQ(0u, r);
    ASSERT_EQ(1u, d.rows.size());
    EXPECT_EQ(64u, d.rows[0].status);
    EXPECT_EQ(2, d.rows[0].items[0].i32());
    const auto& details = d.rows[0].items[1].details;
    ASSERT_EQ(2u, details.size());
    EXPECT_EQ(4u, details[0].status);
    EXPECT_EQ(7, details[0].items[0].i32());
    EXPECT_EQ(8, details[1].items[0].i32());
}

// ---- the flat reconcile ---------------------------------------------------------------

TEST(Reconcile, UnlistedChangeIsMergedListedOneStays) {
    Table t(TablePacket(Seed(3)));
    ASSERT_EQ(0u, t.Add(10, "new", 1));
    ASSERT_EQ(0u, t.SetQty(1, 77));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    ASSERT_EQ(0u, r);
    Calls calls;
    ASSERT_EQ(0u, Reconcile(t, delta, {Err(3, 9729, 0, "dup")}, &calls));
    ASSERT_EQ(1u, calls.kinds.size());
    EXPECT_EQ(8u, calls.kinds[0]);
    EXPECT_EQ(9729u, calls.codes[0]);
    EXPECT_EQ(1u, t.ChangeCount()) << "the failed modification stays";
    EXPECT_EQ(REC_INSERTED, StatusOf(t, 10)) << "a merged plain insertion keeps its status";
    const dstest::Decoded left = dstest::Decode(t.Delta(&r));
    ASSERT_EQ(2u, left.rows.size());
    EXPECT_EQ(1, left.rows[0].items[0].i32());
    EXPECT_EQ(77, t.Rows()[1].second);
}

TEST(Reconcile, CancelRemovesFailedInsertion) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.Add(10, "new", 1));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    calls.answers = {5};
    ASSERT_EQ(0u, Reconcile(t, delta, {Err(1, 9729, 0, "dup")}, &calls));
    EXPECT_EQ(0u, t.Rows().count(10));
    EXPECT_EQ(2u, t.Rows().size());
    EXPECT_EQ(0u, t.ChangeCount());
}

TEST(Reconcile, RecordNumbersZeroPassedOverBeyondTheDeltaRefused) {
    Table t(TablePacket(Seed(3)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    ASSERT_EQ(0u, t.SetQty(2, 6));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    EXPECT_EQ(DSERR_DATAPACKETMISMATCH, Reconcile(t, delta, {Err(5, 1, 0, "x")}, &calls));
    EXPECT_EQ(2u, t.ChangeCount()) << "nothing merged";
    EXPECT_EQ(0u, Reconcile(t, delta, {Err(0, 1, 0, "x")}, &calls));
    EXPECT_TRUE(calls.kinds.empty());
    EXPECT_EQ(0u, t.ChangeCount()) << "all changes merged";
}

TEST(Reconcile, MissingDeltaOrEmptyLogIsRefused) {
    Table t(TablePacket(Seed(3)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    enginetest::Packet e(ErrorPacket({Err(2, 1, 0, "x")}));
    EXPECT_EQ(DSERR_INVALIDPARAM,
              ResultCode(t.ds()->ApplyReconcileResult(nullptr, e.get(), &calls, Callback)));
    Table other(TablePacket(Seed(3)));
    EXPECT_EQ(DSERR_DELTAISEMPTY, Reconcile(other, delta, {Err(2, 1, 0, "x")}, &calls));
}

TEST(Reconcile, ResponseTwoStillAsksButMergesNothing) {
    Table t(TablePacket(Seed(3)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    ASSERT_EQ(0u, t.SetQty(2, 6));
    ASSERT_EQ(0u, t.Remove(3));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    const ErrorRow first = Err(2, 1, 2, "stop");
    const ErrorRow second = Err(4, 1, 0, "later");
    ASSERT_EQ(0u, Reconcile(t, delta, {first, second}, &calls));
    EXPECT_EQ(2u, calls.kinds.size());
    EXPECT_EQ(3u, t.ChangeCount());
}

TEST(Reconcile, AbortAnswersLaterRowsWithoutCalling) {
    Table t(TablePacket(Seed(3)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    ASSERT_EQ(0u, t.SetQty(2, 6));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    calls.answers = {2};
    ASSERT_EQ(0u, Reconcile(t, delta, {Err(2, 1, 0, "a"), Err(4, 1, 0, "b")}, &calls));
    EXPECT_EQ(1u, calls.kinds.size());
    EXPECT_EQ(2u, t.ChangeCount()) << "both failed changes stay as skipped";
}

TEST(Reconcile, RefreshTakesTheRemoteValues) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    calls.answers = {6};
    const ErrorRow e = ErrWith(2, 1, 1, "remote", 42);
    ASSERT_EQ(0u, Reconcile(t, delta, {e}, &calls));
    ASSERT_EQ(1u, calls.withValues.size());
    EXPECT_TRUE(calls.withValues[0]);
    EXPECT_EQ((Values{"remote", 42}), t.Rows()[1]);
    EXPECT_EQ(0u, t.ChangeCount());
}

TEST(Reconcile, RefusedActionIsAskedAgainWithItsCode) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    calls.answers = {6, 1};  // refresh without values is refused, then skip
    ASSERT_EQ(0u, Reconcile(t, delta, {Err(2, 1, 0, "x")}, &calls));
    ASSERT_EQ(2u, calls.previous.size());
    EXPECT_EQ(0u, calls.previous[0]);
    EXPECT_EQ(DSERR_INVALIDPARAM, calls.previous[1]);
    EXPECT_EQ(1u, t.ChangeCount());
}

TEST(Reconcile, CorrectAppliesTheCallbacksBuffer) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.SetQty(1, 5));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    struct Fix {
        IDSCursor* cur;
    } fix{t.cur()};
    auto callback = [](void* data, uint32_t, uint32_t, uint32_t, uint32_t, const char*, const char*,
                       void* current, void*, void*) -> uint32_t {
        const int32_t qty = 55;
        static_cast<Fix*>(data)->cur->WriteFieldValue(current, kQty, &qty);
        return 4;
    };
    enginetest::Packet d(delta);
    enginetest::Packet e(ErrorPacket({Err(2, 1, 0, "x")}));
    ASSERT_EQ(0u, ResultCode(t.ds()->ApplyReconcileResult(d.get(), e.get(), &fix, callback)));
    EXPECT_EQ(55, t.Rows()[1].second);
    EXPECT_EQ(1u, t.ChangeCount()) << "the correction is a new logged change";
}

TEST(Reconcile, ErrorPacketLeavesExactlyTheFailedChanges) {
    for (uint32_t seed = 1; seed <= 10; ++seed) {
        std::mt19937 rng(seed * 7919);
        Table t(TablePacket(Seed(8)));
        int32_t nextId = 100;
        RandomSession(t, rng, 25, nextId);
        uint32_t r = 0;
        const std::vector<uint8_t> delta = t.Delta(&r);
        if (r != 0) continue;
        const dstest::Decoded d = dstest::Decode(delta);
        std::vector<ErrorRow> errors;
        std::vector<std::pair<uint8_t, int32_t>> failed;
        for (size_t i = 0; i < d.rows.size(); ++i) {
            const uint8_t status = d.rows[i].status;
            if (status == 1 || rng() % 2 == 0) continue;
            errors.push_back(Err(static_cast<uint32_t>(i + 1), 1, 0, "no"));
            const int32_t id =
                status == 8 ? d.rows[i - 1].items[0].i32() : d.rows[i].items[0].i32();
            failed.push_back({status, id});
        }
        Calls calls;
        ASSERT_EQ(0u, Reconcile(t, delta, errors, &calls)) << "seed " << seed;
        EXPECT_EQ(errors.size(), calls.kinds.size());
        EXPECT_EQ(failed.size(), t.ChangeCount()) << "seed " << seed;
        if (failed.empty()) continue;
        const dstest::Decoded left = dstest::Decode(t.Delta(&r));
        ASSERT_EQ(0u, r);
        std::vector<std::pair<uint8_t, int32_t>> remaining;
        for (size_t i = 0; i < left.rows.size(); ++i) {
            if (left.rows[i].status == 1) continue;
            const int32_t id = left.rows[i].status == 8 ? left.rows[i - 1].items[0].i32()
                                                        : left.rows[i].items[0].i32();
            remaining.push_back({left.rows[i].status, id});
        }
        EXPECT_EQ(failed, remaining) << "seed " << seed;
    }
}

TEST(Reconcile, WithoutErrorPacketEverythingIsAccepted) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.Add(5, "e", 5));
    uint32_t r = 0;
    enginetest::Packet d(t.Delta(&r));
    ASSERT_EQ(0u, ResultCode(t.ds()->ApplyReconcileResult(d.get(), nullptr, nullptr, nullptr)));
    EXPECT_EQ(0u, t.ChangeCount());
    EXPECT_EQ(0u, StatusOf(t, 5));
}

// ---- the nested reconcile ---------------------------------------------------------------

uint32_t MergeCb(void* data, uint32_t previous, uint32_t kind, uint32_t response, uint32_t code,
                 const char* message, const char* context, void* current, void* old, void* values,
                 uint32_t depth, const uint32_t*) {
    EXPECT_EQ(0u, depth);
    return Callback(data, previous, kind, response, code, message, context, current, old, values);
}

TEST(MergeChanges, NestedFormCancelsFailedInsertionAndMergesTheRest) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.Add(10, "new", 1));
    ASSERT_EQ(0u, t.SetQty(2, 3));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Ref<IDSBase> view;
    ASSERT_EQ(0u, ResultCode(t.ds()->MakeDerived(4, 1, 0, view.out())));
    Calls calls;
    calls.answers = {5};
    enginetest::Packet d(delta);
    enginetest::Packet e(ErrorPacket({Err(1, 9729, 0, "dup")}));
    ASSERT_EQ(0u, ResultCode(t.ds()->MergeChanges(view.get(), d.get(), e.get(), &calls, MergeCb)));
    EXPECT_EQ(1u, calls.kinds.size());
    EXPECT_EQ(0u, t.Rows().count(10));
    EXPECT_EQ(3, t.Rows()[2].second);
    EXPECT_EQ(0u, t.ChangeCount());
}

TEST(MergeChanges, ErrorRowWithoutCodeWritesItsValues) {
    Table t(TablePacket(Seed(2)));
    ASSERT_EQ(0u, t.SetQty(2, 3));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    Calls calls;
    enginetest::Packet d(delta);
    enginetest::Packet e(ErrorPacket({ErrWith(2, 0, 2, "srv", 4)}));
    ASSERT_EQ(0u, ResultCode(t.ds()->MergeChanges(nullptr, d.get(), e.get(), &calls, MergeCb)));
    EXPECT_TRUE(calls.kinds.empty());
    EXPECT_EQ((Values{"srv", 4}), t.Rows()[2]);
}

}  // namespace

TEST(DeltaPacket, EditOfADeltaRowThatAnIndexRefusesChangesNothing) {
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    const FieldDesc fields[] = {Field("ID", FLD_INT32)};
    ASSERT_EQ(0u, ds->DefineFields(1, fields, "U"));
    ds->AddRef();
    Table t(ds.get());
    std::vector<uint8_t> rec(t.size());
    for (int32_t id : {1, 2}) {
        t.cur()->PrepareRecord(rec.data());
        t.cur()->WriteFieldValue(rec.data(), 1, &id);
        ASSERT_EQ(0u, ResultCode(t.cur()->AddRecord(rec.data())));
    }
    Ref<IDSBase> delta;
    ASSERT_EQ(0u, ResultCode(ds->MakeDelta(delta.out())));
    IndexDesc unique{};
    std::strcpy(unique.name, "BYID");
    unique.fieldCount = 1;
    unique.fields[0] = 1;
    unique.unique = 1;
    ASSERT_EQ(0u, ResultCode(delta->MakeIndex(&unique)));
    Ref<IDSCursor> cur(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(cur->AttachDataset(delta.get())));
    ASSERT_EQ(0u, ResultCode(cur->SelectIndex("BYID")));
    ASSERT_EQ(0u, ResultCode(cur->GoToOrdinal(1)));
    ASSERT_EQ(0u, ResultCode(cur->ReadCurrentRecord(rec.data())));
    const int32_t taken = 2;
    cur->WriteFieldValue(rec.data(), 1, &taken);
    EXPECT_EQ(DSERR_KEYVIOL, ResultCode(cur->UpdateCurrentRecord(rec.data())));
    std::vector<int32_t> ids;
    cur->GoBeforeFirst();
    while (ResultCode(cur->MoveBy(1)) == 0) {
        int32_t id = 0;
        cur->ReadFieldValue(nullptr, 1, &id, nullptr);
        ids.push_back(id);
    }
    EXPECT_EQ((std::vector<int32_t>{1, 2}), ids);
}
