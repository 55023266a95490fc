// Groups seen through a cursor (placement, skipping), aggregate handles
// across order changes, and totals across filter rebuilds.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "aggregate_test_table.h"
#include "index/grouping.h"

namespace pelmora {
namespace {

class AggregateGroups : public ::testing::Test {
  protected:
    void SetUp() override {
        std::mt19937 rng(7);
        for (int i = 0; i < 14; ++i) {
            const int32_t grp = std::uniform_int_distribution<int>(1, 5)(rng);
            t.Insert({grp, "R", std::uniform_int_distribution<int>(-20, 60)(rng), {}, {}, {}});
        }
        t.Insert({9, "alone", 1, {}, {}, {}});  // a group of one record, sorting last
        ASSERT_EQ(t.cursor()->SelectIndex("BYGRP"), DS_OK);
    }
    int32_t GrpAt(uint32_t position) const {
        return t.Row(t.cursor()->current_index()->EntryAt(position)).grp;
    }
    // sum(AMOUNT) and count(*) over the records the cursor's index holds.
    std::pair<double, double> Totals() const {
        const DSIDX& index = *t.cursor()->current_index();
        double sum = 0;
        for (uint32_t p = 1; p <= index.count(); ++p)
            sum += t.Row(index.EntryAt(p)).amount.value_or(0);
        return {sum, static_cast<double>(index.count())};
    }
    AggTable t;
};

TEST_F(AggregateGroups, PlacementAndSkippingFollowTheKey) {
    uint32_t h = 0;
    ASSERT_EQ(t.Attach(1, {}, &h), DS_OK);
    EXPECT_EQ(h, 0x10000u);  // grouping only
    const uint32_t count = t.cursor()->current_index()->count();
    for (uint32_t p = 1; p <= count; ++p) {
        ASSERT_EQ(t.cursor()->GoToOrdinal(p), DS_OK);
        uint32_t placement = 99;
        ASSERT_EQ(ReadGroupPlacement(t.host(), 1, &placement), DS_OK);
        const uint32_t want = (p == 1 || GrpAt(p - 1) != GrpAt(p) ? 1u : 0u) |
                              (p == count || GrpAt(p + 1) != GrpAt(p) ? 2u : 0u);
        EXPECT_EQ(placement, want) << "position " << p;
    }
    // From before the first record, each skip lands on the next group's first record.
    ASSERT_EQ(t.cursor()->GoBeforeFirst(), DS_OK);
    std::vector<int32_t> seen;
    EngineResult r = DS_OK;
    while ((r = SkipToNextGroup(t.host(), 1)) == DS_OK) {
        uint32_t ordinal = 0;
        ASSERT_EQ(t.cursor()->ReadOrdinal(&ordinal), DS_OK);
        EXPECT_TRUE(ordinal == 1 || GrpAt(ordinal - 1) != GrpAt(ordinal));
        seen.push_back(GrpAt(ordinal));
    }
    EXPECT_EQ(r, DSERR_EOF);
    EXPECT_EQ(t.cursor()->MoveBy(0), DSERR_EOF);
    std::vector<int32_t> distinct;
    for (uint32_t p = 1; p <= count; ++p)
        if (distinct.empty() || distinct.back() != GrpAt(p)) distinct.push_back(GrpAt(p));
    EXPECT_EQ(seen, distinct);
    // Level 0 has no groups to place a record in.
    ASSERT_EQ(t.cursor()->GoToOrdinal(1), DS_OK);
    uint32_t placement = 0;
    EXPECT_EQ(ReadGroupPlacement(t.host(), 0, &placement), DSERR_NOTSUPPORTED);
    EXPECT_EQ(DetachAggregate(t.host(), h), DS_OK);
    EXPECT_EQ(ReadGroupPlacement(t.host(), 1, &placement), DSERR_NOTSUPPORTED);
}

TEST_F(AggregateGroups, AttachAndDetachRefuseWhatTheyCannotServe) {
    uint32_t h = 0;
    const auto sum = AggTable::Expr("sum", "AMOUNT");
    // One key field: no level 2.
    EXPECT_EQ(t.Attach(2, sum, &h), DSERR_OUTOFRANGE);
    // Compile errors come back and attach nothing.
    EXPECT_EQ(t.Attach(1, AggTable::Expr("sum", "NAME"), &h), DSERR_TYPEMISMATCH);
    EXPECT_EQ(t.Attach(1, sum, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(DetachAggregate(t.host(), 0x10007), DSERR_INVALIDPARAM);
    uint8_t value[8];
    uint32_t blank = 0;
    EXPECT_EQ(ReadAggregateValue(t.host(), 0x00007, value, &blank), DSERR_INVALIDPARAM);
    ASSERT_EQ(t.cursor()->GoToOrdinal(1), DS_OK);
    EXPECT_EQ(ReadAggregateValue(t.host(), 0x10007, value, &blank), DSERR_AGGNOTFOUND);
    // A sorted cursor has a private order: no groups, but a whole-index value.
    const uint32_t byAmount = kAmount;
    ASSERT_EQ(t.cursor()->SortByFields(1, &byAmount, nullptr, nullptr), DS_OK);
    EXPECT_EQ(t.Attach(1, sum, &h), DSERR_NOTSUPPORTED);
    ASSERT_EQ(t.Attach(0, sum, &h), DS_OK);
    EXPECT_EQ(t.Read(h, FLD_FLOAT), std::optional<double>(Totals().first));
}

TEST_F(AggregateGroups, HandlesStayWithTheirAggregateAcrossOrderChanges) {
    const uint32_t byAmount = kAmount;
    ASSERT_EQ(t.cursor()->SortByFields(1, &byAmount, nullptr, nullptr), DS_OK);
    uint32_t sorted = 0;
    ASSERT_EQ(t.Attach(0, AggTable::Expr("sum", "AMOUNT"), &sorted), DS_OK);
    // Back to a shared order: the private one, and its aggregate, are gone.
    ASSERT_EQ(t.cursor()->SelectIndex("BYGRP"), DS_OK);

    // A second cursor now attaches an aggregate that may get the same number.
    TDSCursor* other = NewCursor();
    other->AddRef();
    ASSERT_EQ(other->AttachDataset(t.ds()), DS_OK);
    ASSERT_EQ(other->SelectIndex("BYGRP"), DS_OK);
    TestAggregateHost otherHost(other);
    const auto count = AggTable::Expr("count(*)", "");
    uint32_t counted = 0;
    ASSERT_EQ(AttachAggregate(otherHost, 0, uint32_t(count.size()), count.data(), &counted), DS_OK);
    // Live aggregates of a dataset never share a handle.
    uint32_t more = 0;
    ASSERT_EQ(AttachAggregate(otherHost, 0, uint32_t(count.size()), count.data(), &more), DS_OK);
    EXPECT_NE(more, counted);

    // The first cursor's old handle names nothing now, whatever reuses its number.
    uint8_t value[8];
    uint32_t blank = 0;
    EXPECT_EQ(ReadAggregateValue(t.host(), sorted, value, &blank), DSERR_INVALIDPARAM);
    FieldDesc desc{};
    EXPECT_EQ(ReadAggregateDesc(t.host(), sorted, &desc), DSERR_INVALIDPARAM);
    // ... and it can still be detached, without touching the other cursor's.
    EXPECT_EQ(DetachAggregate(t.host(), sorted), DS_OK);
    uint32_t n = 0;
    ASSERT_EQ(ReadAggregateValue(otherHost, counted, &n, &blank), DS_OK);
    EXPECT_EQ(blank, 0u);
    EXPECT_EQ(double(n), Totals().second);

    // A handle of the other cursor still reads through this one (level 0 does
    // not depend on the order).
    ASSERT_EQ(ReadAggregateValue(t.host(), counted, &n, &blank), DS_OK);
    EXPECT_EQ(double(n), Totals().second);
    EXPECT_EQ(DetachAggregate(otherHost, counted), DS_OK);
    // Detached once, the handle is forgotten.
    EXPECT_EQ(DetachAggregate(otherHost, counted), DSERR_INVALIDPARAM);
    other->Release();
}

TEST_F(AggregateGroups, FilterRebuildsRestartTheTotals) {
    exprbuild::ExprBuilder b;
    const auto positive = b.Build(b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(0)));
    exprbuild::ExprBuilder c;
    const auto small = c.Build(c.Binary(OP_LT, c.Field("AMOUNT"), c.Int32(40)));
    uint32_t first = 0;
    ASSERT_EQ(
        t.cursor()->AttachExpressionFilter(positive.data(), uint32_t(positive.size()), &first),
        DS_OK);
    uint32_t sumH = 0, countH = 0;
    ASSERT_EQ(t.Attach(0, AggTable::Expr("sum", "AMOUNT"), &sumH), DS_OK);
    ASSERT_EQ(t.Attach(0, AggTable::Expr("count(*)", ""), &countH), DS_OK);
    auto check = [&](const char* when) {
        const auto [sum, rows] = Totals();
        EXPECT_EQ(t.Read(sumH, FLD_FLOAT), std::optional<double>(sum)) << when;
        EXPECT_EQ(t.Read(countH, FLD_INT32), std::optional<double>(rows)) << when;
    };
    check("one filter");
    uint32_t second = 0;
    ASSERT_EQ(t.cursor()->AttachExpressionFilter(small.data(), uint32_t(small.size()), &second),
              DS_OK);
    check("two filters");
    t.Insert({2, "new", 5, {}, {}, {}});
    t.Insert({2, "hidden", -5, {}, {}, {}});
    check("after inserts");
    ASSERT_EQ(t.cursor()->DetachFilter(second), DS_OK);
    check("filter detached");
    EXPECT_EQ(DetachAggregate(t.host(), sumH), DS_OK);
    EXPECT_EQ(DetachAggregate(t.host(), countH), DS_OK);
}

TEST_F(AggregateGroups, CopiedGroupingsFollowTheFilteredOrder) {
    uint32_t h = 0;
    ASSERT_EQ(t.Attach(1, AggTable::Expr("sum", "AMOUNT"), &h), DS_OK);
    DSIDX* plain = t.cursor()->current_index();
    exprbuild::ExprBuilder b;
    const auto positive = b.Build(b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(0)));
    uint32_t f = 0;
    ASSERT_EQ(t.cursor()->AttachExpressionFilter(positive.data(), uint32_t(positive.size()), &f),
              DS_OK);
    DSIDX* filtered = t.cursor()->current_index();
    ASSERT_NE(filtered, plain);
    ASSERT_EQ(CopyGroupings(*plain, *filtered), DS_OK);
    // The same handle now reads the filtered group.
    for (uint32_t p = 1; p <= filtered->count(); ++p) {
        ASSERT_EQ(t.cursor()->GoToOrdinal(p), DS_OK);
        double want = 0;
        for (uint32_t q = 1; q <= filtered->count(); ++q) {
            const AggRow r = t.Row(filtered->EntryAt(q));
            if (r.grp == GrpAt(p)) want += r.amount.value_or(0);
        }
        EXPECT_EQ(t.Read(h, FLD_FLOAT), std::optional<double>(want));
    }
    // Detaching removes the aggregate from both orders.
    EXPECT_EQ(DetachAggregate(t.host(), h), DS_OK);
    EXPECT_EQ(plain->grouping()->grouping(1), nullptr);
    EXPECT_EQ(filtered->grouping()->grouping(1), nullptr);
}

}  // namespace
}  // namespace pelmora
