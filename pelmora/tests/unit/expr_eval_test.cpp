// Evaluating compiled expressions over record buffers: blanks, comparisons,
// arithmetic, LIKE, IN, functions and the value of an assignment.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include "store/bcd.h"

#include "expr_test_table.h"

namespace pelmora {
namespace {

using namespace exprbuild;
using B = ExprBuilder;

class ExprEval : public ::testing::Test {
  protected:
    ExprTable t;
    // Builds "field op constant" and evaluates it over a record.
    template <class MakeConst>
    bool Cmp(uint32_t op, const char* field, MakeConst constant, const std::vector<uint8_t>& row) {
        B b;
        const auto c = constant(b);
        return t.Passes(b.Build(b.Binary(op, b.Field(field), c)), row);
    }
};

TEST_F(ExprEval, BlankOperandsMakeComparisonsFalseButLogicTreatsThemAsFalse) {
    auto blankAmount = t.Blank();
    t.SetText(blankAmount, "CODE", "A");
    auto big = t.Blank();
    t.SetValue<int32_t>(big, "AMOUNT", 11);
    t.SetText(big, "CODE", "B");

    B gt;
    const auto greater = gt.Binary(OP_GT, gt.Field("Amount"), gt.Int32(10));
    const auto gtOnly = gt.Build(greater);
    EXPECT_FALSE(t.Passes(gtOnly, blankAmount));
    EXPECT_TRUE(t.Passes(gtOnly, big));

    B orB;
    const auto orRoot = orB.Binary(OP_OR, orB.Binary(OP_GT, orB.Field("AMOUNT"), orB.Int32(10)),
                                   orB.Binary(OP_EQ, orB.Field("CODE"), orB.String("A")));
    EXPECT_TRUE(t.Passes(orB.Build(orRoot), blankAmount));

    B notB;
    const auto notRoot =
        notB.Unary(OP_NOT, notB.Binary(OP_GT, notB.Field("AMOUNT"), notB.Int32(10)));
    EXPECT_TRUE(t.Passes(notB.Build(notRoot), blankAmount));
    EXPECT_FALSE(t.Passes(notB.Build(notRoot), big));

    // IS_BLANK / NOT_BLANK, and NOT_BLANK of a blank is blank (false), so
    // its negation is true.
    B isb;
    EXPECT_TRUE(t.Passes(isb.Build(isb.Unary(OP_IS_BLANK, isb.Field("AMOUNT"))), blankAmount));
    EXPECT_FALSE(t.Passes(isb.Build(isb.Unary(OP_IS_BLANK, isb.Field("AMOUNT"))), big));
    B nb;
    const auto notBlank = nb.Unary(OP_NOT_BLANK, nb.Field("AMOUNT"));
    EXPECT_FALSE(t.Passes(nb.Build(notBlank), blankAmount));
    EXPECT_TRUE(t.Passes(nb.Build(notBlank), big));
    B nnb;
    EXPECT_TRUE(t.Passes(nnb.Build(nnb.Unary(OP_NOT, nnb.Unary(OP_NOT_BLANK, nnb.Field("AMOUNT")))),
                         blankAmount));
}

TEST_F(ExprEval, ResultMustBeANonBlankTrueBoolean) {
    auto row = t.Blank();
    t.SetValue<int32_t>(row, "AMOUNT", 1);
    t.SetValue<int16_t>(row, "FLAG", 1);
    B field;
    EXPECT_FALSE(t.Passes(field.Build(field.Field("AMOUNT")), row));  // not boolean
    B flag;
    EXPECT_TRUE(t.Passes(flag.Build(flag.Field("FLAG")), row));
    EXPECT_FALSE(t.Passes(flag.Build(flag.Field("FLAG")), t.Blank()));
    // An empty expression accepts every record.
    EXPECT_TRUE(t.Passes({}, t.Blank()));
}

TEST_F(ExprEval, StringComparisonsHonourCaseFlagAndPartialLength) {
    auto row = t.Blank();
    // Case-insensitive equality over the first two characters of the field.
    auto partial = [&](const std::string& value, bool ignoreCase) {
        t.SetText(row, "NAME", value);
        B b;
        return t.Passes(b.Build(b.Compare(OP_EQ, ignoreCase, 2, b.Field("NAME"), b.String("ab"))),
                        row);
    };
    EXPECT_TRUE(partial("ABC", true));
    EXPECT_TRUE(partial("Abx", true));
    EXPECT_FALSE(partial("A", true));
    EXPECT_FALSE(partial("ABC", false));
    EXPECT_TRUE(partial("abz", false));

    // With the constant on the left the partial length still cuts the field.
    t.SetText(row, "NAME", "abcdef");
    B right;
    EXPECT_TRUE(t.Passes(
        right.Build(right.Compare(OP_NE, false, 3, right.String("abd"), right.Field("NAME"))),
        row));

    // Orderings follow the collation; plain equality is case-sensitive.
    t.SetText(row, "NAME", "apple");
    EXPECT_TRUE(Cmp(
        OP_LT, "NAME", [](B& b) { return b.String("banana"); }, row));
    EXPECT_FALSE(Cmp(
        OP_EQ, "NAME", [](B& b) { return b.String("APPLE"); }, row));
    B ci;
    EXPECT_TRUE(
        t.Passes(ci.Build(ci.Compare(OP_EQ, true, 0, ci.Field("NAME"), ci.String("APPLE"))), row));
}

TEST_F(ExprEval, UnicodeComparesWithEightBitStringsWidened) {
    auto row = t.Blank();
    t.SetWide(row, "WIDE", u"Hello");
    B b;
    EXPECT_TRUE(t.Passes(b.Build(b.Binary(OP_EQ, b.Field("WIDE"), b.String("Hello"))), row));
    B c;
    EXPECT_TRUE(t.Passes(c.Build(c.Binary(OP_LT, c.Field("WIDE"), c.Unicode(u"World"))), row));
}

TEST_F(ExprEval, FloatEqualityIsTolerantAndInequalityIsItsExactNegation) {
    auto row = t.Blank();
    const double values[] = {0.1 + 0.2, 0.3, 1.0, 1.0 + 1e-16, -0.0, 1e300, 5e-16};
    const double constants[] = {0.3, 1.0, 0.0, 1e-15};
    for (double v : values) {
        t.SetValue(row, "PRICE", v);
        for (double c : constants) {
            const bool eq = Cmp(
                OP_EQ, "PRICE", [c](B& b) { return b.Float(c); }, row);
            const bool ne = Cmp(
                OP_NE, "PRICE", [c](B& b) { return b.Float(c); }, row);
            EXPECT_NE(eq, ne) << v << " vs " << c;
            EXPECT_EQ(eq, v == c || std::fabs(v - c) < 1e-15) << v << " vs " << c;
        }
    }
    // Orderings are exact.
    t.SetValue(row, "PRICE", 0.1 + 0.2);
    EXPECT_TRUE(Cmp(
        OP_GT, "PRICE", [](B& b) { return b.Float(0.3); }, row));
}

TEST_F(ExprEval, MixedNumbersCompareAsFloats) {
    auto row = t.Blank();
    t.SetValue<int16_t>(row, "QTY", 7);
    EXPECT_TRUE(Cmp(
        OP_LT, "QTY", [](B& b) { return b.Float(7.5); }, row));
    EXPECT_TRUE(Cmp(
        OP_EQ, "QTY", [](B& b) { return b.Int32(7); }, row));
    // A packed decimal 12.34 (precision 10, 2 places) against floats.
    const std::vector<uint8_t> cost = {10, 2, 0x00, 0x00, 0x00, 0x12, 0x34};
    t.Set(row, "COST", cost.data());
    EXPECT_TRUE(Cmp(
        OP_GT, "COST", [](B& b) { return b.Float(12.33); }, row));
    EXPECT_TRUE(Cmp(
        OP_LT, "COST", [](B& b) { return b.Int32(13); }, row));
}

TEST_F(ExprEval, BooleanAgainstStringReadsTrueIgnoringCase) {
    auto row = t.Blank();
    t.SetValue<int16_t>(row, "FLAG", 1);
    EXPECT_TRUE(Cmp(
        OP_EQ, "FLAG", [](B& b) { return b.String("true"); }, row));
    EXPECT_FALSE(Cmp(
        OP_EQ, "FLAG", [](B& b) { return b.String("yes"); }, row));
    t.SetValue<int16_t>(row, "FLAG", 0);
    EXPECT_TRUE(Cmp(
        OP_EQ, "FLAG", [](B& b) { return b.String("False"); }, row));
    EXPECT_TRUE(Cmp(
        OP_NE, "FLAG", [](B& b) { return b.String("TRUE"); }, row));
}

// Evaluates "AMOUNT op n = expected" style checks through an assignment's
// result value, so the computed number itself can be read.
class ExprValue : public ExprEval {
  protected:
    // The value of `expr` assigned to a field, or nothing when blank.
    template <class T>
    std::optional<T> Value(B& b, B::Node expr, const char* field, const std::vector<uint8_t>& row) {
        std::unique_ptr<QCanFilter> filter;
        EXPECT_EQ(t.Compile(b.Build(b.Binary(OP_ASSIGN, expr, b.Field(field))), &filter), DS_OK);
        if (!filter) return std::nullopt;
        const uint8_t* v = filter->ResultValue(row.data());
        if (v == nullptr) return std::nullopt;
        T out;
        std::memcpy(&out, v, sizeof out);
        return out;
    }
    std::string Text(B& b, B::Node expr, const std::vector<uint8_t>& row) {
        std::unique_ptr<QCanFilter> filter;
        EXPECT_EQ(t.Compile(b.Build(b.Binary(OP_ASSIGN, expr, b.Field("NAME"))), &filter), DS_OK);
        if (!filter) return "<compile>";
        const uint8_t* v = filter->ResultValue(row.data());
        return v == nullptr ? "<blank>" : std::string(reinterpret_cast<const char*>(v));
    }
};

TEST_F(ExprValue, IntegerArithmeticIsRangeCheckedAndTruncates) {
    auto row = t.Blank();
    const int32_t max = std::numeric_limits<int32_t>::max();
    const int32_t min = std::numeric_limits<int32_t>::min();
    auto sum = [&](int32_t a, int32_t c, uint32_t op) {
        t.SetValue(row, "AMOUNT", a);
        B b;
        return Value<int32_t>(b, b.Binary(op, b.Field("AMOUNT"), b.Int32(c)), "AMOUNT", row);
    };
    EXPECT_EQ(sum(max, 0, OP_ADD), max);
    EXPECT_FALSE(sum(max, 1, OP_ADD).has_value());
    // The most negative 32-bit value is a value, not an overflow.
    EXPECT_EQ(sum(-max, 1, OP_SUB), min);
    EXPECT_EQ(sum(min, 1, OP_MUL), min);
    EXPECT_FALSE(sum(min, 1, OP_SUB).has_value());
    EXPECT_FALSE(sum(min, -1, OP_DIV).has_value());
    EXPECT_EQ(sum(-7, 2, OP_DIV), -3);
    EXPECT_EQ(sum(7, -2, OP_DIV), -3);
    EXPECT_FALSE(sum(7, 0, OP_DIV).has_value());

    // int16 stays int16 and has its own range.
    auto small = [&](int16_t a, int16_t c, uint32_t op) {
        t.SetValue(row, "QTY", a);
        B b;
        return Value<int16_t>(b, b.Binary(op, b.Field("QTY"), b.Int16(c)), "QTY", row);
    };
    EXPECT_EQ(small(-32767, 1, OP_SUB), -32768);
    EXPECT_FALSE(small(32767, 1, OP_ADD).has_value());
    EXPECT_FALSE(small(300, 200, OP_MUL).has_value());
    EXPECT_EQ(small(-300, 100, OP_MUL), -30000);

    // A filter over an overflowing sum rejects the record.
    t.SetValue(row, "AMOUNT", max);
    B f;
    EXPECT_FALSE(t.Passes(
        f.Build(f.Binary(OP_GT, f.Binary(OP_ADD, f.Field("AMOUNT"), f.Int32(1)), f.Int32(0))),
        row));
    // Division by zero in a filter gives a blank and rejects the record.
    B z;
    EXPECT_FALSE(t.Passes(
        z.Build(z.Binary(OP_EQ, z.Binary(OP_DIV, z.Field("AMOUNT"), z.Int32(0)), z.Int32(0))),
        row));
    B fz;
    t.SetValue(row, "PRICE", 1.0);
    EXPECT_FALSE(t.Passes(
        fz.Build(fz.Binary(OP_LT, fz.Binary(OP_DIV, fz.Field("PRICE"), fz.Float(0)), fz.Float(1))),
        row));
}

TEST_F(ExprValue, AssignmentConvertsToTheTargetFieldType) {
    auto row = t.Blank();
    B b;
    EXPECT_EQ(Value<int32_t>(b, b.Float(-7.9), "AMOUNT", row), -7);
    B big;
    EXPECT_FALSE(Value<int32_t>(big, big.Float(3e9), "AMOUNT", row).has_value());
    B d;
    EXPECT_EQ(Value<double>(d, d.Date(3), "AT", row), 3 * 86400000.0);
    // Float into a packed decimal (10, 2) truncates the extra places.
    B c;
    std::unique_ptr<QCanFilter> filter;
    ASSERT_EQ(t.Compile(c.Build(c.Binary(OP_ASSIGN, c.Float(12.349), c.Field("COST"))), &filter),
              DS_OK);
    const uint8_t* v = filter->ResultValue(row.data());
    ASSERT_NE(v, nullptr);
    long double back = 0;
    ASSERT_EQ(BcdToFloat(v, filter->result_width(), back), 0u);
    EXPECT_NEAR(static_cast<double>(back), 12.34, 1e-9);
    // A string is cut to the field (NAME holds 20 characters).
    B s;
    EXPECT_EQ(Text(s, s.String(std::string(30, 'x')), row), std::string(20, 'x'));
    // A blank value assigns a blank.
    B n;
    EXPECT_EQ(Text(n, n.Field("CODE"), row), "<blank>");
    // Mismatched types do not compile.
    B bad;
    EXPECT_EQ(t.CompileCode(bad.Build(bad.Binary(OP_ASSIGN, bad.String("1"), bad.Field("AMOUNT")))),
              DSERR_TYPEMISMATCH);
}

TEST_F(ExprValue, StringConcatenationAndFunctions) {
    auto row = t.Blank();
    t.SetText(row, "NAME", "  pad  ");
    t.SetText(row, "CODE", "xxAxx");
    B cat;
    EXPECT_EQ(Text(cat, cat.Binary(OP_ADD, cat.Field("CODE"), cat.String("-1")), row), "xxAxx-1");
    B tr;
    EXPECT_EQ(Text(tr, tr.Function("Trim", {tr.Field("NAME")}), row), "pad");
    B tl;
    EXPECT_EQ(Text(tl, tl.Function("triml", {tl.Field("NAME")}), row), "pad  ");
    B tt;
    EXPECT_EQ(Text(tt, tt.Function("TRIMRIGHT", {tt.Field("NAME")}), row), "  pad");
    B tx;
    EXPECT_EQ(Text(tx, tx.Function("trim", {tx.Field("CODE"), tx.String("x")}), row), "A");
    B up;
    EXPECT_EQ(Text(up, up.Function("upper", {up.Field("CODE")}), row), "XXAXX");
    B lo;
    EXPECT_EQ(Text(lo, lo.Function("lower", {lo.String("MiXeD")}), row), "mixed");

    // Double-byte characters keep their second byte even where it looks like
    // a letter or the trim character: 0x83 0x41 and 0x81 0x40.
    const std::string kana =
        "\x83\x41"
        "b";
    B dk;
    EXPECT_EQ(Text(dk, dk.Function("lower", {dk.String(kana)}), row), kana);
    const std::string fullSpace = "a\x81\x40";
    B ds;
    EXPECT_EQ(Text(ds, ds.Function("trim", {ds.String(fullSpace), ds.String("@")}), row),
              fullSpace);

    auto sub = [&](int32_t start, std::optional<int32_t> length) {
        B b;
        std::vector<B::Node> args = {b.String("abcdef"), b.Int32(start)};
        if (length) args.push_back(b.Int32(*length));
        return Text(b, b.Function("substring", args), row);
    };
    EXPECT_EQ(sub(2, 3), "bcd");
    EXPECT_EQ(sub(4, std::nullopt), "def");
    EXPECT_EQ(sub(5, 10), "ef");
    EXPECT_EQ(sub(0, 2), "");
    EXPECT_EQ(sub(7, 1), "");
    EXPECT_EQ(sub(2, -1), "");
    B bl;
    EXPECT_EQ(
        Text(bl, bl.Function("substring", {bl.String("abc"), bl.Int32(1), bl.Field("QTY")}), row),
        "<blank>");
}

// Day number of a civil date (1 = 1 January of year 1), from the standard
// library's calendar.
int32_t DayNumber(int y, unsigned m, unsigned d) {
    using namespace std::chrono;
    const sys_days date{year{y} / month{m} / day{d}};
    const sys_days first{year{1} / January / 1};
    return static_cast<int32_t>((date - first).count() + 1);
}

TEST_F(ExprValue, DatePartsFollowTheProlepticGregorianCalendar) {
    auto row = t.Blank();
    auto part = [&](const char* fn, int32_t day) {
        t.SetValue(row, "DAY", day);
        B b;
        return Value<double>(b, b.Function(fn, {b.Field("DAY")}), "PRICE", row).value_or(-1);
    };
    const int dates[][3] = {{1, 1, 1},      {1970, 1, 1},  {2000, 2, 29}, {1900, 3, 1},
                            {2024, 12, 31}, {1600, 2, 29}, {9999, 12, 31}};
    for (const auto& d : dates) {
        const int32_t n = DayNumber(d[0], static_cast<unsigned>(d[1]), static_cast<unsigned>(d[2]));
        EXPECT_EQ(part("Year", n), d[0]);
        EXPECT_EQ(part("month", n), d[1]);
        EXPECT_EQ(part("DAY", n), d[2]);
    }
    // The same through a timestamp, late in the day.
    const int32_t n = DayNumber(2004, 2, 29);
    t.SetValue(row, "AT", n * 86400000.0 + 86399999.0);
    B y;
    EXPECT_EQ(Value<double>(y, y.Function("day", {y.Field("AT")}), "PRICE", row), 29.0);
    B dt;
    EXPECT_EQ(Value<int32_t>(dt, dt.Function("Date", {dt.Field("AT")}), "DAY", row), n);
    B tm;
    EXPECT_EQ(Value<int32_t>(tm, tm.Function("Time", {tm.Field("AT")}), "CLOCK", row), 86399999);
}

TEST_F(ExprValue, TimeParts) {
    auto row = t.Blank();
    const int32_t ms = ((13 * 60 + 45) * 60 + 7) * 1000 + 250;
    t.SetValue(row, "CLOCK", ms);
    auto part = [&](const char* fn) {
        B b;
        return Value<double>(b, b.Function(fn, {b.Field("CLOCK")}), "PRICE", row).value_or(-1);
    };
    EXPECT_EQ(part("hour"), 13.0);
    EXPECT_EQ(part("Minute"), 45.0);
    EXPECT_DOUBLE_EQ(part("second"), 7.25);
}

TEST_F(ExprValue, DateAndTimeArithmetic) {
    auto row = t.Blank();
    const int32_t day = DayNumber(2023, 12, 30);
    t.SetValue(row, "DAY", day);
    t.SetValue(row, "CLOCK", int32_t{3600000});
    t.SetValue(row, "AT", day * 86400000.0);
    B plus;
    EXPECT_EQ(
        Value<int32_t>(plus, plus.Binary(OP_ADD, plus.Field("DAY"), plus.Float(2.9)), "DAY", row),
        DayNumber(2024, 1, 1));
    B diff;
    EXPECT_EQ(Value<double>(
                  diff, diff.Binary(OP_SUB, diff.Field("DAY"), diff.Date(DayNumber(2023, 1, 1))),
                  "PRICE", row),
              363.0);
    B ts;
    EXPECT_EQ(Value<double>(ts, ts.Binary(OP_ADD, ts.Field("AT"), ts.Float(0.5)), "AT", row),
              day * 86400000.0 + 43200000.0);
    B hours;
    EXPECT_EQ(Value<int32_t>(hours, hours.Binary(OP_SUB, hours.Field("CLOCK"), hours.Float(0.5)),
                             "CLOCK", row),
              1800000);
    B tdiff;
    EXPECT_EQ(Value<int32_t>(tdiff, tdiff.Binary(OP_SUB, tdiff.Field("CLOCK"), tdiff.Time(1000)),
                             "AMOUNT", row),
              3599000);
    // A date meets a timestamp as a timestamp, a timestamp meets a time as a
    // time.
    B mixed;
    EXPECT_TRUE(
        t.Passes(mixed.Build(mixed.Binary(OP_EQ, mixed.Field("DAY"), mixed.Field("AT"))), row));
    B clock;
    t.SetValue(row, "AT", day * 86400000.0 + 3600000.0);
    EXPECT_TRUE(
        t.Passes(clock.Build(clock.Binary(OP_EQ, clock.Field("AT"), clock.Field("CLOCK"))), row));
}

TEST_F(ExprEval, LikePatterns) {
    auto row = t.Blank();
    auto like = [&](const std::string& text, const std::string& pattern, bool ignoreCase = false) {
        t.SetText(row, "NAME", text);
        B b;
        const auto node = ignoreCase
                              ? b.Compare(OP_LIKE, true, 0, b.Field("NAME"), b.String(pattern))
                              : b.Binary(OP_LIKE, b.Field("NAME"), b.String(pattern));
        return t.Passes(b.Build(node), row);
    };
    EXPECT_TRUE(like("ac", "a%c"));
    EXPECT_TRUE(like("abbc", "a%c"));
    EXPECT_FALSE(like("acb", "a%c"));
    EXPECT_TRUE(like("a%", "a\\%"));
    EXPECT_FALSE(like("ab", "a\\%"));
    EXPECT_TRUE(like("abc", "a__"));
    EXPECT_FALSE(like("ab", "a__"));
    EXPECT_TRUE(like("a_\\", "a\\_\\\\"));
    EXPECT_TRUE(like("", "%"));
    EXPECT_TRUE(like("", ""));
    EXPECT_FALSE(like("x", ""));
    EXPECT_TRUE(like("xyz", "%%"));
    EXPECT_TRUE(like("abcabd", "%ab_"));
    EXPECT_TRUE(like("aXbXc", "%b%c"));
    EXPECT_FALSE(like("aXbXc", "%c%b"));
    EXPECT_TRUE(like("mississippi", "m%iss%pi"));
    EXPECT_FALSE(like("mississippi", "m%iss%iss%iss%"));
    EXPECT_TRUE(like("aaa", "a%a%a"));
    EXPECT_FALSE(like("aa", "a%a%a"));
    // Case-insensitive matching compares literal runs ignoring case and
    // finds the character after % in either case.
    EXPECT_FALSE(like("ABC", "a%c"));
    EXPECT_TRUE(like("ABC", "a%c", true));
    EXPECT_TRUE(like("xxHELLOyy", "%hello%", true));
    EXPECT_FALSE(like("xxHELLyy", "%hello%", true));

    // A BLOB's bytes are matched with their stored length.
    t.SetBlob(row, "MEMO", std::string("long text with\0nul", 18));
    B blob;
    EXPECT_TRUE(t.Passes(
        blob.Build(blob.Binary(OP_LIKE, blob.Field("MEMO"), blob.String("%with%nul"))), row));
    B miss;
    EXPECT_FALSE(
        t.Passes(miss.Build(miss.Binary(OP_LIKE, miss.Field("MEMO"), miss.String("long"))), row));
}

TEST_F(ExprEval, InListsAndArrays) {
    auto row = t.Blank();
    t.SetValue<int32_t>(row, "AMOUNT", 5);
    t.SetText(row, "CODE", "b");
    B ints;
    EXPECT_TRUE(
        t.Passes(ints.Build(ints.In(ints.Field("AMOUNT"), {ints.Int32(1), ints.Int32(5)})), row));
    B none;
    EXPECT_FALSE(
        t.Passes(none.Build(none.In(none.Field("AMOUNT"), {none.Int32(1), none.Int32(6)})), row));
    // Mixed numbers meet as floats: 5 is not 5.5, but is 5.0.
    B mixed;
    EXPECT_FALSE(t.Passes(
        mixed.Build(mixed.In(mixed.Field("AMOUNT"), {mixed.Float(5.5), mixed.Int16(4)})), row));
    B mixed2;
    EXPECT_TRUE(
        t.Passes(mixed2.Build(mixed2.In(mixed2.Field("AMOUNT"), {mixed2.Float(5.0)})), row));
    // Strings compare case-sensitively.
    B strs;
    EXPECT_TRUE(t.Passes(
        strs.Build(strs.In(strs.Field("CODE"), {strs.String("a"), strs.String("b")})), row));
    B upper;
    EXPECT_FALSE(t.Passes(upper.Build(upper.In(upper.Field("CODE"), {upper.String("B")})), row));
    // Array constants.
    B arr;
    std::vector<uint8_t> elems(12);
    const int32_t values[] = {9, 5, 7};
    std::memcpy(elems.data(), values, 12);
    EXPECT_TRUE(t.Passes(
        arr.Build(arr.Binary(OP_IN, arr.Field("AMOUNT"), arr.Array(tInt32, 4, elems))), row));
    B sarr;
    EXPECT_TRUE(t.Passes(
        sarr.Build(sarr.Binary(OP_IN, sarr.Field("CODE"), sarr.StringArray({"x", "b", "y"}))),
        row));
    B sarr2;
    EXPECT_FALSE(t.Passes(
        sarr2.Build(sarr2.Binary(OP_IN, sarr2.Field("CODE"), sarr2.StringArray({"x", "bb"}))),
        row));
    // A blank left value is blank, never a match.
    B blank;
    EXPECT_FALSE(t.Passes(blank.Build(blank.In(blank.Field("QTY"), {blank.Int16(0)})), row));
}

TEST_F(ExprEval, NarrowFieldTypesReadAsWiderOnes) {
    auto row = t.Blank();
    t.SetValue<uint16_t>(row, "SMALL", 200);  // the value is the first byte
    EXPECT_TRUE(Cmp(
        OP_GT, "SMALL", [](B& b) { return b.Int16(199); }, row));
    // A dotted name reaches the child of a structured field.
    t.SetText(row, "CITY", "Sendai");
    B dotted;
    EXPECT_TRUE(t.Passes(
        dotted.Build(dotted.Binary(OP_EQ, dotted.Field("addr.city"), dotted.String("Sendai"))),
        row));
}

}  // namespace
}  // namespace pelmora
