// Aggregate values kept up to date while records come, change and go,
// checked against a plain recomputation over the records the index holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "aggregate_test_table.h"
#include "platform/collation.h"

namespace pelmora {
namespace {

struct Term {
    std::string function;
    std::string field;
    uint32_t readAs;  // how the value is read back
};

const std::vector<Term> kSpecs = {
    {"sum", "AMOUNT", FLD_FLOAT}, {"avg", "AMOUNT", FLD_FLOAT}, {"count", "AMOUNT", FLD_INT32},
    {"min", "AMOUNT", FLD_INT32}, {"max", "AMOUNT", FLD_INT32}, {"count(*)", "", FLD_INT32},
    {"min", "PRICE", FLD_FLOAT},  {"avg", "PRICE", FLD_FLOAT},  {"avg", "DAY", FLD_DATE},
    {"sum", "COST", FLD_BCD},     {"max", "DAY", FLD_DATE},
};

// The value a function has over some rows, computed directly.
std::optional<double> Expected(const Term& term, const std::vector<AggRow>& rows) {
    if (rows.empty()) return std::nullopt;
    if (term.function == "count(*)") return static_cast<double>(rows.size());
    std::vector<double> values;
    for (const AggRow& r : rows) {
        std::optional<double> v;
        if (term.field == "AMOUNT" && r.amount) v = *r.amount;
        if (term.field == "PRICE" && r.price) v = *r.price;
        if (term.field == "DAY" && r.day) v = *r.day;
        if (term.field == "COST" && r.cost) v = *r.cost;
        if (v) values.push_back(*v);
    }
    if (term.function == "count") return static_cast<double>(values.size());
    if (values.empty()) return std::nullopt;
    double sum = 0;
    for (double v : values) sum += v;
    if (term.function == "sum") return sum;
    if (term.function == "min") return *std::min_element(values.begin(), values.end());
    if (term.function == "max") return *std::max_element(values.begin(), values.end());
    const double mean = sum / static_cast<double>(values.size());
    return term.field == "DAY" ? std::trunc(mean) : mean;
}

void ExpectSame(const std::optional<double>& got, const std::optional<double>& want,
                const std::string& what) {
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(*got, *want, 1e-9 * std::max(1.0, std::fabs(*want))) << what;
    }
}

class AggregateUpkeep : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(t.cursor()->SelectIndex("BYGRP"), DS_OK); }

    // Attaches every term at a level; returns the handles.
    std::vector<uint32_t> AttachAll(uint32_t level) {
        std::vector<uint32_t> handles;
        for (const Term& s : kSpecs) {
            uint32_t h = 0;
            EXPECT_EQ(t.Attach(level, AggTable::Expr(s.function, s.field), &h), DS_OK)
                << s.function << " " << s.field;
            handles.push_back(h);
        }
        return handles;
    }

    // Reads every aggregate for every group and for the whole index and
    // compares with a recomputation.
    void CheckAll(const std::vector<uint32_t>& grouped, const std::vector<uint32_t>& whole,
                  const std::string& when) {
        const DSIDX& index = *t.cursor()->current_index();
        std::map<int32_t, std::vector<AggRow>> groups;
        std::map<int32_t, uint32_t> firstPosition;
        std::vector<AggRow> all;
        for (uint32_t p = 1; p <= index.count(); ++p) {
            const AggRow row = t.Row(index.EntryAt(p));
            groups[row.grp].push_back(row);
            firstPosition.emplace(row.grp, p);
            all.push_back(row);
        }
        for (size_t i = 0; i < kSpecs.size(); ++i) {
            ExpectSame(t.Read(whole[i], kSpecs[i].readAs), Expected(kSpecs[i], all),
                       when + ": whole " + kSpecs[i].function + " " + kSpecs[i].field);
        }
        for (const auto& [grp, rows] : groups) {
            // Read from the group's last record: the group is found from any of them.
            ASSERT_EQ(t.cursor()->GoToOrdinal(firstPosition[grp] + rows.size() - 1), DS_OK);
            for (size_t i = 0; i < kSpecs.size(); ++i) {
                ExpectSame(t.Read(grouped[i], kSpecs[i].readAs), Expected(kSpecs[i], rows),
                           when + ": group " + std::to_string(grp) + " " + kSpecs[i].function +
                               " " + kSpecs[i].field);
            }
        }
    }

    AggTable t;
};

TEST_F(AggregateUpkeep, RandomEditsKeepGroupedAndWholeValuesRight) {
    const std::vector<uint32_t> grouped = AttachAll(1);
    const std::vector<uint32_t> whole = AttachAll(0);
    std::mt19937 rng(20240611);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto randomRow = [&]() {
        AggRow r;
        r.grp = pick(0, 4);
        r.name = "N" + std::to_string(pick(0, 9));
        // Few distinct values: minima and maxima are often removed or tied.
        if (pick(0, 4) != 0) r.amount = pick(-6, 6);
        if (pick(0, 3) != 0) r.price = pick(-40, 40) / 4.0;
        if (pick(0, 3) != 0) r.day = 738000 + pick(0, 9);
        if (pick(0, 3) != 0) r.cost = pick(-999, 999) / 100.0;
        return r;
    };
    CheckAll(grouped, whole, "empty");
    for (int step = 0; step < 300; ++step) {
        const std::vector<uint32_t> live = AggTable::Entries(*t.ds()->default_index());
        const int op = live.empty() ? 0 : pick(0, 9);
        std::string what;
        if (op < 5) {
            t.Insert(randomRow());
            what = "insert";
        } else if (op < 8) {
            const uint32_t record = live[static_cast<size_t>(pick(0, int(live.size()) - 1))];
            AggRow row = t.Row(record);
            // Sometimes only the value changes, sometimes the group too.
            const AggRow fresh = randomRow();
            row.amount = fresh.amount;
            row.price = fresh.price;
            if (pick(0, 1) == 0) row.grp = fresh.grp;
            t.Modify(record, row);
            what = "modify";
        } else {
            t.Delete(live[static_cast<size_t>(pick(0, int(live.size()) - 1))]);
            what = "delete";
        }
        CheckAll(grouped, whole, what + " at step " + std::to_string(step));
        if (HasFatalFailure() || HasFailure()) return;
    }
}

TEST_F(AggregateUpkeep, RemovingTheCurrentExtremeGivesTheNextOne) {
    uint32_t maxH = 0;
    uint32_t minH = 0;
    ASSERT_EQ(t.Attach(1, AggTable::Expr("max", "AMOUNT"), &maxH), DS_OK);
    ASSERT_EQ(t.Attach(1, AggTable::Expr("min", "AMOUNT"), &minH), DS_OK);
    const std::vector<int32_t> amounts = {5, 9, 7, 2, 9};
    std::vector<uint32_t> records;
    for (int32_t a : amounts) records.push_back(t.Insert({1, "A", a, {}, {}, {}}));
    t.Insert({2, "B", 100, {}, {}, {}});
    ASSERT_EQ(t.cursor()->GoToOrdinal(1), DS_OK);
    std::vector<int32_t> left = amounts;
    // Take the values out largest first: each read must give the largest left.
    while (!left.empty()) {
        ASSERT_EQ(t.cursor()->GoToOrdinal(1), DS_OK);
        const auto top = std::max_element(left.begin(), left.end());
        const auto bottom = std::min_element(left.begin(), left.end());
        EXPECT_EQ(t.Read(maxH, FLD_INT32), std::optional<double>(*top));
        EXPECT_EQ(t.Read(minH, FLD_INT32), std::optional<double>(*bottom));
        const size_t at = static_cast<size_t>(top - left.begin());
        t.Delete(records[at]);
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(at));
        left.erase(top);
    }
    // Group 1 is gone; group 2 was never disturbed.
    ASSERT_EQ(t.cursor()->GoToOrdinal(1), DS_OK);
    EXPECT_EQ(t.Read(maxH, FLD_INT32), std::optional<double>(100));
}

TEST_F(AggregateUpkeep, BlankInputsAreCountedApart) {
    uint32_t avgH = 0, countH = 0, allH = 0, sumH = 0;
    ASSERT_EQ(t.Attach(0, AggTable::Expr("avg", "PRICE"), &avgH), DS_OK);
    ASSERT_EQ(t.Attach(0, AggTable::Expr("count", "PRICE"), &countH), DS_OK);
    ASSERT_EQ(t.Attach(0, AggTable::Expr("count(*)", ""), &allH), DS_OK);
    ASSERT_EQ(t.Attach(0, AggTable::Expr("sum", "PRICE"), &sumH), DS_OK);
    // Nothing accumulated yet: every value is blank.
    EXPECT_FALSE(t.Read(countH, FLD_INT32).has_value());
    const uint32_t a = t.Insert({1, "A", {}, {}, {}, {}});
    t.Insert({1, "B", {}, {}, {}, {}});
    EXPECT_FALSE(t.Read(avgH, FLD_FLOAT).has_value());
    EXPECT_FALSE(t.Read(sumH, FLD_FLOAT).has_value());
    EXPECT_EQ(t.Read(countH, FLD_INT32), std::optional<double>(0));
    EXPECT_EQ(t.Read(allH, FLD_INT32), std::optional<double>(2));
    // The only value comes and goes again: the average is blank once more.
    const uint32_t b = t.Modify(a, {1, "A", {}, 2.5, {}, {}});
    EXPECT_EQ(t.Read(avgH, FLD_FLOAT), std::optional<double>(2.5));
    EXPECT_EQ(t.Read(countH, FLD_INT32), std::optional<double>(1));
    t.Delete(b);
    EXPECT_FALSE(t.Read(avgH, FLD_FLOAT).has_value());
    EXPECT_EQ(t.Read(countH, FLD_INT32), std::optional<double>(0));
    EXPECT_EQ(t.Read(allH, FLD_INT32), std::optional<double>(1));
}

TEST_F(AggregateUpkeep, StepsAfterTheAggregatesCombineTheirValues) {
    exprbuild::ExprBuilder b;
    const auto ratio =
        b.Binary(OP_DIV, b.Function("sum", {b.Field("PRICE")}), b.Function("count(*)", {}));
    const std::vector<uint8_t> bytes = b.Build(ratio);
    uint32_t h = 0;
    ASSERT_EQ(t.Attach(1, bytes, &h), DS_OK);
    FieldDesc desc{};
    ASSERT_EQ(ReadAggregateDesc(t.host(), h, &desc), DS_OK);
    EXPECT_EQ(desc.type, uint32_t{FLD_FLOAT});
    t.Insert({3, "A", {}, 1.5, {}, {}});
    t.Insert({3, "B", {}, {}, {}, {}});
    t.Insert({3, "C", {}, 6.0, {}, {}});
    t.Insert({4, "D", {}, 10.0, {}, {}});
    const DSIDX& index = *t.cursor()->current_index();
    for (uint32_t p = 1; p <= index.count(); ++p) {
        const int32_t grp = t.Row(index.EntryAt(p)).grp;
        double sum = 0;
        double rows = 0;
        for (uint32_t q = 1; q <= index.count(); ++q) {
            const AggRow r = t.Row(index.EntryAt(q));
            if (r.grp != grp) continue;
            rows += 1;
            sum += r.price.value_or(0);
        }
        ASSERT_EQ(t.cursor()->GoToOrdinal(p), DS_OK);
        ExpectSame(t.Read(h, FLD_FLOAT), sum / rows, "ratio");
    }
}

TEST_F(AggregateUpkeep, ResultDescriptorsFollowTheArgument) {
    uint32_t sumCost = 0, avgDay = 0, count = 0, minName = 0;
    ASSERT_EQ(t.Attach(0, AggTable::Expr("sum", "COST"), &sumCost), DS_OK);
    ASSERT_EQ(t.Attach(0, AggTable::Expr("avg", "DAY"), &avgDay), DS_OK);
    ASSERT_EQ(t.Attach(0, AggTable::Expr("count", "NAME"), &count), DS_OK);
    ASSERT_EQ(t.Attach(0, AggTable::Expr("min", "NAME"), &minName), DS_OK);
    FieldDesc d{};
    ASSERT_EQ(ReadAggregateDesc(t.host(), sumCost, &d), DS_OK);
    EXPECT_EQ(d.type, uint32_t{FLD_BCD});
    EXPECT_EQ(d.units1, t.ds()->fields()[kCost - 1].units1);
    EXPECT_EQ(d.units2, t.ds()->fields()[kCost - 1].units2);
    ASSERT_EQ(ReadAggregateDesc(t.host(), avgDay, &d), DS_OK);
    EXPECT_EQ(d.type, uint32_t{FLD_DATE});
    ASSERT_EQ(ReadAggregateDesc(t.host(), count, &d), DS_OK);
    EXPECT_EQ(d.type, uint32_t{FLD_INT32});
    ASSERT_EQ(ReadAggregateDesc(t.host(), minName, &d), DS_OK);
    EXPECT_EQ(d.type, uint32_t{FLD_STRING});
    EXPECT_EQ(d.length, t.ds()->fields()[kName - 1].length);

    // The string minimum follows the collation, and survives losing it.
    const uint32_t first = t.Insert({1, "pear", {}, {}, {}, {}});
    t.Insert({1, "quince", {}, {}, {}, {}});
    t.Insert({1, "plum", {}, {}, {}, {}});
    auto readName = [&]() {
        char value[64] = {};
        uint32_t blank = 1;
        EXPECT_EQ(ReadAggregateValue(t.host(), minName, value, &blank), DS_OK);
        return blank ? std::string("<blank>") : std::string(value);
    };
    auto smallest = [&]() {
        std::vector<std::string> names;
        for (uint32_t r : AggTable::Entries(*t.ds()->default_index()))
            names.push_back(t.Row(r).name);
        std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
            return t.ds()->collation().Compare(a.c_str(), -1, b.c_str(), -1, false) < 0;
        });
        return names.front();
    };
    EXPECT_EQ(readName(), smallest());
    t.Delete(first);
    EXPECT_EQ(readName(), smallest());
}

}  // namespace
}  // namespace pelmora
