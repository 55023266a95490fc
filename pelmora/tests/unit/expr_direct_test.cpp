// Filters of integer comparisons, blank tests and and/or/not are decided
// directly from the store; the answer must equal running the compiled steps
// over the record, blanks included, and filtered indexes must hold the same
// records whichever way their entries decide.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "expr/expr_direct.h"
#include "expr/filter_list.h"
#include "expr_test_table.h"
#include "index/filtered_index.h"

namespace pelmora {
namespace {

using namespace exprbuild;
using B = ExprBuilder;

// A table of random rows: AMOUNT, QTY, DAY, CLOCK, SMALL and NAME each blank
// about one time in six, values drawn from small ranges so that the
// comparisons go both ways.
class DirectFilters : public ::testing::Test {
  protected:
    void SetUp() override {
        std::mt19937 random(5);
        auto blank = [&] { return random() % 6 == 0; };
        for (int i = 0; i < 400; ++i) {
            auto row = t.Blank();
            if (!blank())
                t.SetValue<int32_t>(row, "AMOUNT", static_cast<int32_t>(random() % 41) - 20);
            if (!blank()) t.SetValue<int16_t>(row, "QTY", static_cast<int16_t>(random() % 21) - 10);
            if (!blank())
                t.SetValue<int32_t>(row, "DAY", 730000 + static_cast<int32_t>(random() % 5));
            if (!blank())
                t.SetValue<int32_t>(row, "CLOCK", static_cast<int32_t>(random() % 3) * 1000);
            // The 8-bit field may be laid out wider than a byte.
            const uint8_t small[8] = {static_cast<uint8_t>(random() % 3)};
            if (!blank()) t.Set(row, "SMALL", small);
            if (!blank()) t.SetText(row, "NAME", random() % 2 ? "a" : "b");
            records.push_back(t.Insert(row));
        }
    }

    // Compiles; the direct form must exist exactly when `direct` says so, and
    // then agree with the steps on every record.
    void ExpectAgreement(const std::vector<uint8_t>& bytes, bool direct) {
        std::unique_ptr<QCanFilter> filter;
        ASSERT_EQ(t.Compile(bytes, &filter), DS_OK);
        ASSERT_EQ(filter->direct() != nullptr, direct);
        if (!direct) return;
        std::vector<uint8_t> row(t.ds()->record_size());
        int passed = 0;
        for (uint32_t r : records) {
            ASSERT_EQ(t.ds()->ReadRecord(r, row.data()), DS_OK);
            const bool steps = filter->Evaluate(row.data());
            EXPECT_EQ(filter->direct()->Passes(t.ds()->store(), r), steps) << "record " << r;
            passed += steps ? 1 : 0;
        }
        // A useful expression here neither passes nor fails everything.
        EXPECT_GT(passed, 0);
        EXPECT_LT(passed, static_cast<int>(records.size()));
    }

    ExprTable t;
    std::vector<uint32_t> records;
};

TEST_F(DirectFilters, IntegerComparisonsAndLogicAgreeWithTheSteps) {
    {
        B b;
        ExpectAgreement(b.Build(b.Binary(OP_AND, b.Binary(OP_GE, b.Field("AMOUNT"), b.Int32(-5)),
                                         b.Binary(OP_LT, b.Field("AMOUNT"), b.Int32(7)))),
                        true);
    }
    for (uint32_t op : {OP_EQ, OP_NE, OP_GT, OP_LT, OP_GE, OP_LE}) {
        B b;
        ExpectAgreement(b.Build(b.Binary(op, b.Field("QTY"), b.Int16(2))), true);
        B c;  // constant on the left, a date field
        ExpectAgreement(c.Build(c.Binary(op, c.Date(730002), c.Field("DAY"))), true);
    }
    {
        B b;  // not over a comparison with blanks: blank counts as false first
        ExpectAgreement(b.Build(b.Unary(OP_NOT, b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(3)))),
                        true);
    }
    {
        B b;  // or, blank tests (of a converted field too), a time field
        ExpectAgreement(
            b.Build(b.Binary(OP_OR, b.Unary(OP_IS_BLANK, b.Field("SMALL")),
                             b.Binary(OP_AND, b.Unary(OP_NOT_BLANK, b.Field("NAME")),
                                      b.Binary(OP_LE, b.Field("CLOCK"), b.Time(1000))))),
            true);
    }
    {
        B b;  // a field against itself: false only where it is blank
        ExpectAgreement(b.Build(b.Binary(OP_EQ, b.Field("AMOUNT"), b.Field("AMOUNT"))), true);
    }
}

TEST_F(DirectFilters, OtherShapesKeepTheSteps) {
    B a;  // int32 against int16 needs a conversion
    ExpectAgreement(a.Build(a.Binary(OP_EQ, a.Field("AMOUNT"), a.Field("QTY"))), false);
    B b;
    ExpectAgreement(b.Build(b.Binary(OP_GT, b.Field("PRICE"), b.Float(1.5))), false);
    B c;
    ExpectAgreement(c.Build(c.Binary(OP_EQ, c.Field("NAME"), c.String("a"))), false);
    B d;  // a comparison of a converted (8-bit) field
    ExpectAgreement(d.Build(d.Binary(OP_GT, d.Field("SMALL"), d.Int16(1))), false);
    B e;  // an and with one side that has no direct form
    ExpectAgreement(e.Build(e.Binary(OP_AND, e.Binary(OP_GT, e.Field("AMOUNT"), e.Int32(0)),
                                     e.Binary(OP_EQ, e.Field("NAME"), e.String("a")))),
                    false);
}

// The records of a filtered index in default order.
std::set<uint32_t> Entries(const DSIDX& index) {
    std::set<uint32_t> out;
    for (uint32_t p = 1; p <= index.count(); ++p) out.insert(index.EntryAt(p));
    return out;
}

int32_t AcceptAll(void*, const void*) {
    return 1;
}

TEST_F(DirectFilters, FilteredIndexHoldsTheSameRecordsWithOrWithoutDirectForms) {
    B b;
    const auto direct = b.Build(b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(0)));
    B c;
    const auto stepped = c.Build(c.Binary(OP_NE, c.Field("NAME"), c.String("a")));
    // The records both filters accept, by running their steps.
    std::unique_ptr<QCanFilter> f1, f2;
    ASSERT_EQ(t.Compile(direct, &f1), DS_OK);
    ASSERT_EQ(t.Compile(stepped, &f2), DS_OK);
    std::set<uint32_t> onlyDirect, both;
    std::vector<uint8_t> row(t.ds()->record_size());
    for (uint32_t r : records) {
        ASSERT_EQ(t.ds()->ReadRecord(r, row.data()), DS_OK);
        if (f1->Evaluate(row.data())) {
            onlyDirect.insert(r);
            if (f2->Evaluate(row.data())) both.insert(r);
        }
    }

    DSIDXFILT* index = NewFilteredIndex(t.ds());
    ASSERT_NE(index, nullptr);
    DSCONSTR* list = index->EnsureFilters();
    ASSERT_NE(list, nullptr);
    uint32_t h = 0;
    ASSERT_EQ(list->AddExpression(direct.data(), static_cast<uint32_t>(direct.size()),
                                  FILTER_KIND_FILTER, &h),
              DS_OK);
    ASSERT_EQ(index->Rebuild(nullptr, nullptr), DS_OK);
    EXPECT_EQ(Entries(*index), onlyDirect);
    // A second entry without a direct form, then a callback: the whole record
    // is read and every entry still decides.
    ASSERT_EQ(list->AddExpression(stepped.data(), static_cast<uint32_t>(stepped.size()),
                                  FILTER_KIND_FILTER, nullptr),
              DS_OK);
    ASSERT_EQ(index->Rebuild(nullptr, nullptr), DS_OK);
    EXPECT_EQ(Entries(*index), both);
    ASSERT_EQ(list->AddCallback(nullptr, AcceptAll, nullptr), DS_OK);
    ASSERT_EQ(index->Rebuild(nullptr, nullptr), DS_OK);
    EXPECT_EQ(Entries(*index), both);
    index->Release();
}

}  // namespace
}  // namespace pelmora
