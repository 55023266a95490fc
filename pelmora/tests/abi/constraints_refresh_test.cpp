// Constraints and default values carried as packet parameters, refreshing
// records from a packet and the row request/response pair, all through the
// exported interfaces.
#include <gtest/gtest.h>

#include "delta_test_support.h"
#include "expr_builder.h"

using namespace deltatest;
namespace eb = pelmora::exprbuild;

namespace {

// Constraint blobs travel as varying bytes with a four-byte length.
constexpr uint32_t kBytesWord = dstest::kBlob;

std::vector<uint8_t> Blob(const std::string& message, uint32_t field, bool required,
                          const std::vector<uint8_t>& expression) {
    const auto n = static_cast<uint32_t>(message.size());
    std::vector<uint8_t> blob(9 + message.size() + expression.size());
    std::memcpy(blob.data(), &n, 4);
    std::memcpy(blob.data() + 4, &field, 4);
    blob[8] = required ? 1 : 0;
    std::copy(message.begin(), message.end(), blob.begin() + 9);
    std::copy(expression.begin(), expression.end(), blob.begin() + 9 + static_cast<ptrdiff_t>(n));
    return blob;
}

// QTY >= 0 as a record constraint, NAME required, QTY defaulting to 7.
std::vector<uint8_t> ConstrainedPacket(const char* recordParam = "VRKRECORD_X") {
    eb::ExprBuilder b;
    const auto check = b.Build(b.Binary(OP_GE, b.Field("QTY"), b.Int32(0)));
    eb::ExprBuilder d;
    const auto seven = d.Build(d.Int32(7));
    const auto record = Blob("QTY must not be negative", 0, false, check);
    const auto required = Blob("", kName, true, {});
    const auto fallback = Blob("", kQty, false, seven);
    Builder p;
    p.Begin(3);
    p.Col("ID", dstest::kInt32);
    p.Col("NAME", dstest::kString1);
    p.Width(10);
    p.Col("QTY", dstest::kInt32);
    p.KeyList("PRIMARY_KEY", {1});
    p.Param(recordParam, kBytesWord, record.data(), static_cast<uint32_t>(record.size()));
    p.Param("VRKDOMAIN_X", kBytesWord, required.data(), static_cast<uint32_t>(required.size()));
    p.Param("VRKDEFAULT_X", kBytesWord, fallback.data(), static_cast<uint32_t>(fallback.size()));
    p.Close();
    p.Status(0);
    p.I32(1);
    p.Str("one");
    p.I32(1);
    return p.Take();
}

std::string Text(IDSBase* ds, uint32_t code) {
    char buffer[128] = {};
    ds->ErrorText(code, buffer);
    return buffer;
}

// ---- constraints and default values ----------------------------------------------------

TEST(Constraints, RecordConstraintRefusesEditsAndItsMessageIsGivenOnce) {
    Table t(ConstrainedPacket());
    EXPECT_EQ(DSERR_CONSTRAINTFAILED, t.Add(2, "two", -1));
    EXPECT_EQ("QTY must not be negative", Text(t.ds(), DSERR_CONSTRAINTFAILED));
    EXPECT_EQ("Record or field constraint failed.", Text(t.ds(), DSERR_CONSTRAINTFAILED));
    EXPECT_EQ(DSERR_CONSTRAINTFAILED, t.SetQty(1, -5));
    EXPECT_EQ(1, t.Rows()[1].second) << "the refused modification stored nothing";
    EXPECT_EQ(0u, t.ChangeCount());
    EXPECT_EQ(0u, t.Add(2, "two", 0));
}

TEST(Constraints, PropertyThreeSwitchesChecksOffButNotDefaults) {
    Table t(ConstrainedPacket());
    ASSERT_EQ(0u, t.ds()->WriteProperty(PROP_CONSTRAINTS_OFF, 1));
    EXPECT_EQ(0u, t.Add(2, "two", -1));
    int32_t bad = -3;
    EXPECT_EQ(0u, ResultCode(t.cur()->CheckFieldConstraint(kQty, &bad)));
    std::vector<uint8_t> rec(t.size());
    ASSERT_EQ(0u, ResultCode(t.cur()->PrepareRecord(rec.data())));
    int32_t qty = 0;
    uint32_t blank = 9;
    t.cur()->ReadFieldValue(rec.data(), kQty, &qty, &blank);
    EXPECT_EQ(0u, blank);
    EXPECT_EQ(7, qty);
}

TEST(Constraints, DefaultValueFillsOnlyItsField) {
    Table t(ConstrainedPacket());
    std::vector<uint8_t> rec(t.size());
    ASSERT_EQ(0u, ResultCode(t.cur()->PrepareRecord(rec.data())));
    int32_t qty = 0;
    uint32_t blank = 9;
    t.cur()->ReadFieldValue(rec.data(), kQty, &qty, &blank);
    EXPECT_EQ(0u, blank);
    EXPECT_EQ(7, qty);
    int32_t id = 0;
    t.cur()->ReadFieldValue(rec.data(), kId, &id, &blank);
    EXPECT_EQ(2u, blank) << "ID stays never assigned";
}

TEST(Constraints, RequiredFlagMarksTheField) {
    Table t(ConstrainedPacket());
    const std::vector<FieldDesc> fields = dstest::Fields(t.ds());
    EXPECT_NE(0u, fields[kName - 1].attributes & ATTR_REQUIRED);
    EXPECT_EQ(0u, fields[kQty - 1].attributes & ATTR_REQUIRED);
}

TEST(Constraints, FieldCheckUsesOnlyThatFieldsConstraints) {
    eb::ExprBuilder b;
    const auto positive =
        Blob("QTY > 0", kQty, false, b.Build(b.Binary(OP_GT, b.Field("QTY"), b.Int32(0))));
    Table t(TablePacket({{1, {"a", 1}}}));
    ASSERT_EQ(0u, t.ds()->StoreParameter(0, "VRKDOMAIN_CL", kBytesWord,
                                         static_cast<uint32_t>(positive.size()), positive.data()));
    int32_t v = 0;
    EXPECT_EQ(DSERR_CONSTRAINTFAILED, ResultCode(t.cur()->CheckFieldConstraint(kQty, &v)));
    EXPECT_EQ("QTY > 0", Text(t.ds(), DSERR_CONSTRAINTFAILED));
    v = 4;
    EXPECT_EQ(0u, ResultCode(t.cur()->CheckFieldConstraint(kQty, &v)));
    EXPECT_EQ(0u, ResultCode(t.cur()->CheckFieldConstraint(kName, "")));
    // A parameter of the _CL form is not kept and does not travel.
    const dstest::Decoded d = dstest::Decode(dstest::Write(t.ds()));
    for (const auto& p : d.top.params) EXPECT_NE("VRKDOMAIN_CL", p.first);
}

TEST(Constraints, KeptConstraintTravelsWithThePacket) {
    Table t(ConstrainedPacket());
    Table again(dstest::Write(t.ds()));
    EXPECT_EQ(DSERR_CONSTRAINTFAILED, again.Add(5, "five", -2));
}

TEST(Constraints, ExpressionThatDoesNotCompileAddsNothing) {
    eb::ExprBuilder b;
    const auto broken = Blob("no such field", 0, false,
                             b.Build(b.Binary(OP_GT, b.Field("MISSING"), b.Int32(0))));
    Table t(TablePacket({{1, {"a", 1}}}));
    EXPECT_EQ(0u, t.ds()->StoreParameter(0, "VRKRECORD_X", kBytesWord,
                                         static_cast<uint32_t>(broken.size()), broken.data()));
    EXPECT_EQ(0u, t.Add(2, "b", -1));
}

TEST(Constraints, RunTimeFieldRecompilesTheConstraints) {
    Table t(ConstrainedPacket());
    FieldDesc extra = Field("NOTE", FLD_STRING, 20);
    extra.calculated = 1;
    ASSERT_EQ(0u, t.ds()->AddRuntimeField(&extra));
    Table view(t.ds());
    t.ds()->AddRef();
    EXPECT_EQ(DSERR_CONSTRAINTFAILED, view.Add(3, "three", -4));
    EXPECT_EQ(0u, view.Add(3, "three", 4));
}

// ---- refresh -----------------------------------------------------------------------------

TEST(Refresh, RecordNumberWithTwoRowsAndEmptyPacketAreRefused) {
    Table t(TablePacket({{1, {"a", 1}}, {2, {"b", 2}}}));
    enginetest::Packet two(TablePacket({{1, {"x", 1}}, {2, {"y", 2}}}));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(t.ds()->RefreshFromPacket(two.get(), 1)));
    enginetest::Packet none(TablePacket({}));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(t.ds()->RefreshFromPacket(none.get(), 0)));
}

TEST(Refresh, RowsFindTheirRecordsByKeyUnknownKeysChangeNothing) {
    Table t(TablePacket({{1, {"a", 1}}, {2, {"b", 2}}}));
    enginetest::Packet p(TablePacket({{2, {"B", 20}}, {9, {"z", 9}}}));
    ASSERT_EQ(0u, ResultCode(t.ds()->RefreshFromPacket(p.get(), 0)));
    EXPECT_EQ((Contents{{1, {"a", 1}}, {2, {"B", 20}}}), t.Rows());
    EXPECT_EQ(0u, t.ChangeCount()) << "a refresh is not logged";
}

TEST(Refresh, PendingModificationKeepsItsOwnChanges) {
    Table t(TablePacket({{1, {"a", 1}}}));
    ASSERT_EQ(0u, t.SetQty(1, 6));
    enginetest::Packet p(TablePacket({{1, {"b", 1}}}));
    ASSERT_EQ(0u, ResultCode(t.ds()->RefreshFromPacket(p.get(), 0)));
    EXPECT_EQ((Values{"b", 6}), t.Rows()[1]);
    uint32_t r = 0;
    const dstest::Decoded d = dstest::Decode(t.Delta(&r));
    ASSERT_EQ(2u, d.rows.size());
    EXPECT_EQ("b", d.rows[0].items[1].str()) << "the old version took the new name";
    EXPECT_EQ(1, d.rows[0].items[2].i32());
}

// With logging off a refresh writes over the records: sums, minima and
// maxima over the dataset and over an order without key fields follow it.
TEST(Refresh, AggregatesFollowValuesWrittenInPlace) {
    Table t(TablePacket({{1, {"a", 1}}, {2, {"b", 2}}, {3, {"c", 30}}}));
    ASSERT_EQ(0u, t.ds()->WriteProperty(PROP_LOGGING, 0));
    std::vector<uint32_t> handles;
    for (const char* function : {"SUM", "MIN", "MAX"}) {
        eb::ExprBuilder b;
        const auto e = b.Build(b.Function(function, {b.Field("QTY")}));
        uint32_t h = 0;
        ASSERT_EQ(0u, ResultCode(t.cur()->AttachAggregate(0, static_cast<uint32_t>(e.size()),
                                                          e.data(), &h)));
        handles.push_back(h);
    }
    auto values = [&] {
        std::vector<int64_t> out;
        for (uint32_t h : handles) {
            FieldDesc desc{};
            t.cur()->ReadAggregateDesc(h, &desc);
            uint8_t value[16] = {};
            uint32_t blank = 0;
            EXPECT_EQ(0u, ResultCode(t.cur()->ReadAggregateValue(h, value, &blank)));
            double d = 0;
            int32_t i = 0;
            std::memcpy(&d, value, 8);
            std::memcpy(&i, value, 4);
            out.push_back(desc.type == FLD_FLOAT ? static_cast<int64_t>(d) : i);
        }
        return out;
    };
    ASSERT_EQ((std::vector<int64_t>{33, 1, 30}), values());
    enginetest::Packet p(TablePacket({{3, {"c", 5}}, {1, {"a", 40}}}));
    ASSERT_EQ(0u, ResultCode(t.ds()->RefreshFromPacket(p.get(), 0)));
    ASSERT_EQ((Contents{{1, {"a", 40}}, {2, {"b", 2}}, {3, {"c", 5}}}), t.Rows());
    EXPECT_EQ((std::vector<int64_t>{47, 2, 40}), values());
}

TEST(Refresh, RecordNumberRefreshesThatRecord) {
    Table t(TablePacket({{1, {"a", 1}}, {2, {"b", 2}}}));
    ASSERT_TRUE(t.Find(2));
    uint32_t record = 0;
    t.cur()->ReadRecordNumber(&record);
    enginetest::Packet p(TablePacket({{77, {"c", 3}}}));
    ASSERT_EQ(0u, ResultCode(t.ds()->RefreshFromPacket(p.get(), record)));
    EXPECT_EQ((Values{"c", 3}), t.Rows()[77]);
    EXPECT_EQ(2u, t.Rows().size());
}

TEST(Refresh, ManyRowsFindTheirRecordsThroughTheKey) {
    // IDs scattered over 1..10006 so that store order is not key order.
    auto idOf = [](int32_t k) { return k * 7919 % 10007; };
    std::vector<std::pair<int32_t, Values>> rows;
    Contents expected;
    for (int32_t k = 1; k <= 2000; ++k) {
        rows.push_back({idOf(k), {"n" + std::to_string(k), k}});
        expected[idOf(k)] = rows.back().second;
    }
    Table t(TablePacket(rows));
    // A deleted record is not refreshed, even though its key is asked for.
    ASSERT_EQ(0u, t.Remove(idOf(5)));
    expected.erase(idOf(5));
    // A filtered, sorted view that refreshed values move in and out of.
    eb::ExprBuilder b;
    const auto high = b.Build(b.Binary(OP_GE, b.Field("QTY"), b.Int32(1500)));
    // A new filtered cursor (the caller takes the reference).
    auto filtered = [&]() {
        IDSCursor* c = Engine::Get().NewCursor();
        EXPECT_EQ(0u, ResultCode(c->AttachDataset(t.ds())));
        const uint32_t byName[] = {kName};
        EXPECT_EQ(0u, ResultCode(c->SortByFields(1, byName, nullptr, nullptr)));
        EXPECT_EQ(0u, ResultCode(c->AttachExpressionFilter(
                          high.data(), static_cast<uint32_t>(high.size()), nullptr)));
        return c;
    };
    Ref<IDSCursor> view(filtered());

    // Every third record, in reverse order, with keys that match nothing in between.
    std::vector<std::pair<int32_t, Values>> fresh;
    for (int32_t k = 2000; k >= 1; --k) {
        if (k % 3 == 2 || k == 5) fresh.push_back({idOf(k), {"r" + std::to_string(k), 3000 - k}});
        if (k % 40 == 0) fresh.push_back({10007 + k, {"absent", k}});
    }
    for (const auto& [id, values] : fresh) {
        if (expected.count(id) != 0) expected[id] = values;
    }
    enginetest::Packet p(TablePacket(fresh));
    ASSERT_EQ(0u, ResultCode(t.ds()->RefreshFromPacket(p.get(), 0)));
    EXPECT_EQ(expected, t.Rows());
    EXPECT_EQ(1u, t.ChangeCount()) << "only the deletion is logged";

    auto ids = [&](IDSCursor* c) {
        std::vector<int32_t> out;
        c->GoBeforeFirst();
        while (ResultCode(c->MoveBy(1)) == 0) {
            int32_t id = 0;
            c->ReadFieldValue(nullptr, kId, &id, nullptr);
            out.push_back(id);
        }
        return out;
    };
    const std::vector<int32_t> shown = ids(view.get());
    size_t passing = 0;
    for (const auto& [id, values] : expected) passing += values.second >= 1500 ? 1 : 0;
    EXPECT_EQ(passing, shown.size());
    Ref<IDSCursor> again(filtered());
    EXPECT_EQ(ids(again.get()), shown);
}

TEST(Refresh, WithoutAUniqueOrderRowsAreRefused) {
    Table t(TablePacket({{1, {"a", 1}}, {2, {"a", 2}}}, false));
    enginetest::Packet p(TablePacket({{2, {"B", 20}}}));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(t.ds()->RefreshFromPacket(p.get(), 0)));
    EXPECT_EQ((Contents{{1, {"a", 1}}, {2, {"a", 2}}}), t.Rows());
}

// ---- row requests --------------------------------------------------------------------------

TEST(RowRequest, KeyOnlyRequestCarriesTheKeyAndMarksTheRestUnchanged) {
    Table t(TablePacket({{1, {"a", 1}}, {2, {"b", 2}}}));
    ASSERT_TRUE(t.Find(2));
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(0u, ResultCode(t.cur()->BuildRowRequest(1, 1, 1, 1, &out)));
    const dstest::Decoded d = dstest::Decode(enginetest::TakeBytes(out));
    ASSERT_EQ(0u, d.result);
    ASSERT_EQ(1u, d.rows.size());
    EXPECT_EQ(2, d.rows[0].items[0].i32());
    EXPECT_EQ(2u, d.rows[0].items[1].status);
    EXPECT_EQ(2u, d.rows[0].items[2].status);
    // A second request reuses the kept request dataset and holds one row again.
    ASSERT_TRUE(t.Find(1));
    ASSERT_EQ(0u, ResultCode(t.cur()->BuildRowRequest(0, 0, 0, 1, &out)));
    const dstest::Decoded full = dstest::Decode(enginetest::TakeBytes(out));
    ASSERT_EQ(1u, full.rows.size());
    EXPECT_EQ("a", full.rows[0].items[1].str());
}

TEST(RowRequest, XmlModeAndNoCurrentRecordAreRefused) {
    Table t(TablePacket({{1, {"a", 1}}}));
    SAFEARRAY* out = nullptr;
    t.cur()->GoBeforeFirst();
    EXPECT_NE(0u, ResultCode(t.cur()->BuildRowRequest(1, 0, 0, 1, &out)));
    EXPECT_EQ(nullptr, out);
    ASSERT_TRUE(t.Find(1));
    ASSERT_EQ(0u, t.ds()->WriteProperty(PROP_XML_MODE, 1));
    EXPECT_EQ(DSERR_NOTFETCHEDINXML, ResultCode(t.cur()->BuildRowRequest(1, 0, 0, 1, &out)));
}

TEST(RowRequest, ResponseRefreshesTheCurrentRecord) {
    Table t(TablePacket({{1, {"a", 1}}, {2, {"b", 2}}}));
    ASSERT_TRUE(t.Find(1));
    enginetest::Packet p(TablePacket({{1, {"fresh", 11}}}));
    ASSERT_EQ(0u, ResultCode(t.cur()->MergeRowResponse(p.get())));
    EXPECT_EQ((Values{"fresh", 11}), t.Rows()[1]);
    EXPECT_EQ((Values{"b", 2}), t.Rows()[2]);
    enginetest::Packet empty(TablePacket({}));
    ASSERT_TRUE(t.Find(1));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(t.cur()->MergeRowResponse(empty.get())));
}

}  // namespace
