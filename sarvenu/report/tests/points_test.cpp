// Aspect scoring, pair points, the totals averages and the cost source.
#include "report/points.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/codepage.h"

namespace sarvenu {
namespace {

using TAnswers = std::vector<std::string>;

TEST(SetEvalPointTest, FixedAnswers) {
    const TAspectScore best = SetEvalPoint(TAnswers{"2", "2", "2", "2", "2", "", ""}, "0", "0");
    EXPECT_EQ(best.score, "10");
    EXPECT_EQ(best.point, "200");
    const TAspectScore worst =
        SetEvalPoint(TAnswers{"-2", "-2", "-2", "-2", "-2", "", ""}, "0", "0");
    EXPECT_EQ(worst.score, "-10");
    EXPECT_EQ(worst.point, "0");
    // Unanswered items do not count toward the number of items.
    const TAspectScore partial = SetEvalPoint(TAnswers{"1", "", "1", "", "", "", ""}, "0", "0");
    EXPECT_EQ(partial.score, "2");
    EXPECT_EQ(partial.point, "150");
    // Nothing answered: both blank, not "0".
    const TAspectScore none = SetEvalPoint(TAnswers(7), "1", "1");
    EXPECT_EQ(none.score, "");
    EXPECT_EQ(none.point, "");
    // Zero answers still count.
    const TAspectScore zeros = SetEvalPoint(TAnswers{"0", "", "", "", "", "", ""}, "0", "0");
    EXPECT_EQ(zeros.score, "0");
    EXPECT_EQ(zeros.point, "100");
}

TEST(SetEvalPointTest, TruncatingRoundingOverSevenAnswers) {
    const TAspectScore minus4 =
        SetEvalPoint(TAnswers{"-1", "-1", "-1", "-1", "0", "0", "0"}, "1", "1");
    EXPECT_EQ(minus4.score, "-4");
    EXPECT_EQ(minus4.point, "72");
    const TAspectScore minus11 =
        SetEvalPoint(TAnswers{"-2", "-2", "-2", "-2", "-2", "0", "-1"}, "1", "1");
    EXPECT_EQ(minus11.score, "-11");
    EXPECT_EQ(minus11.point, "22");
}

TEST(SetEvalPointTest, OptionalItemsCountOnlyWithTheirTick) {
    const TAnswers seven{"1", "1", "1", "1", "1", "2", "-2"};
    EXPECT_EQ(SetEvalPoint(seven, "0", "0").score, "5");
    EXPECT_EQ(SetEvalPoint(seven, "0", "0").point, "150");
    EXPECT_EQ(SetEvalPoint(seven, "1", "0").score, "7");
    EXPECT_EQ(SetEvalPoint(seven, "1", "0").point, "158");
    EXPECT_EQ(SetEvalPoint(seven, "0", "1").score, "3");
    EXPECT_EQ(SetEvalPoint(seven, "1", "1").score, "5");
    EXPECT_EQ(SetEvalPoint(seven, "1", "1").point, "136");  // 50*5/7 = 35.7
    // A tick without an answer adds nothing.
    EXPECT_EQ(SetEvalPoint(TAnswers{"1", "1", "1", "1", "1", "", ""}, "1", "1").point, "150");
    // Only "1" is a set tick.
    EXPECT_EQ(SetEvalPoint(seven, "", "2").score, "5");

    // Eight slots (construct): the sixth is a fixed item, seventh and eighth
    // are the optional ones.
    const TAnswers eight{"0", "0", "0", "0", "0", "2", "2", "-1"};
    EXPECT_EQ(SetEvalPoint(eight, "0", "0").score, "2");
    EXPECT_EQ(SetEvalPoint(eight, "0", "0").point, "117");  // 50*2/6 = 16.7
    EXPECT_EQ(SetEvalPoint(eight, "1", "0").score, "4");
    EXPECT_EQ(SetEvalPoint(eight, "0", "1").score, "1");
    EXPECT_EQ(SetEvalPoint(eight, "1", "1").score, "3");
    // An answer on the sixth slot alone counts with eight slots, not with seven.
    const TAnswers sixthOnly8{"", "", "", "", "", "-2", "", ""};
    EXPECT_EQ(SetEvalPoint(sixthOnly8, "0", "0").score, "-2");
    const TAnswers sixthOnly7{"", "", "", "", "", "-2", ""};
    EXPECT_EQ(SetEvalPoint(sixthOnly7, "0", "0").score, "");
}

TEST(SetEvalPointTest, MalformedAnswersAreUnanswered) {
    const TAspectScore s = SetEvalPoint(TAnswers{"x", "+2", "1.5", " ", "-1", "", ""}, "0", "0");
    EXPECT_EQ(s.score, "1");
    EXPECT_EQ(s.point, "125");
}

TEST(PairPointTest, BlankErrorAndValue) {
    std::vector<std::string> errors;
    const TNumberErrorSink sink = [&](const std::string& m) { errors.push_back(m); };

    EXPECT_EQ(PairPoint("", "85", sink).state, TPairPoint::TState::Blank);
    EXPECT_EQ(PairPoint("100", "", sink).state, TPairPoint::TState::Blank);
    EXPECT_TRUE(errors.empty());  // a blank never reports

    const TPairPoint cost = PairPoint("100", "85.55", sink);
    ASSERT_EQ(cost.state, TPairPoint::TState::Value);
    EXPECT_EQ(cost.difference, "14.45");
    EXPECT_EQ(cost.point, "115");

    const TPairPoint days = PairPoint("30", "40", sink);
    EXPECT_EQ(days.difference, "-10");
    EXPECT_EQ(days.point, "67");  // 66.7

    const TPairPoint zero = PairPoint("0", "5", sink);
    EXPECT_EQ(zero.difference, "-5");
    EXPECT_EQ(zero.point, "0");
    EXPECT_TRUE(errors.empty());

    const TPairPoint bad = PairPoint("1O0", "85", sink);
    EXPECT_EQ(bad.state, TPairPoint::TState::Error);
    EXPECT_EQ(bad.point, "");
    ASSERT_EQ(errors.size(), 1u);  // reported once, not again by the ratio
    EXPECT_EQ(errors[0], platform::Utf8ToCp932("入力された数値に誤りがあります。"));
}

TEST(AveragesTest, TotalsFromThePoints) {
    TPointInputs in;
    in.costPoint = "115";
    in.processPoint = "";
    in.chief = {"100", "72", "", "150"};
    in.contractor = {"83", "", "", "120"};
    const TPointAverages out = ComputeAverages(in);

    EXPECT_EQ(out.aspectAverages[0], "92");  // 91.5 rounds up
    EXPECT_EQ(out.aspectAverages[1], "72");
    EXPECT_EQ(out.aspectAverages[2], "");
    EXPECT_EQ(out.aspectAverages[3], "135");
    EXPECT_EQ(out.orderingAverage, "109.3");    // (115 + 100 + 72 + 150) / 4
    EXPECT_EQ(out.contractorAverage, "101.5");  // (83 + 120) / 2
    EXPECT_EQ(out.overall, "103.5");            // (115 + 92 + 72 + 135) / 4
    const std::array<std::string, 6> expectedChart = {"115", "", "92", "72", "", "135"};
    EXPECT_EQ(out.chartValues, expectedChart);

    const TPointAverages nothing = ComputeAverages(TPointInputs{});
    EXPECT_EQ(nothing.orderingAverage + nothing.contractorAverage + nothing.overall, "");
}

TEST(CostSourceTest, ConstructionTypeAndMode) {
    for (const char* type : {"0", "3", "4"}) {
        EXPECT_EQ(CostSource(type, true), TCostSource::SectionChief) << type;
        EXPECT_EQ(CostSource(type, false), TCostSource::None) << type;
        EXPECT_EQ(ContractorCostText(type, "115"), platform::Utf8ToCp932("表記無し")) << type;
        EXPECT_FALSE(IsContractorProposal(type));
    }
    for (const char* type : {"5", "6"}) {
        EXPECT_EQ(CostSource(type, true), TCostSource::Contractor) << type;
        EXPECT_EQ(CostSource(type, false), TCostSource::Contractor) << type;
        EXPECT_EQ(ContractorCostText(type, "115"), "115") << type;
        EXPECT_TRUE(IsContractorProposal(type));
    }
    EXPECT_EQ(CostSource("", true), TCostSource::None);
    EXPECT_EQ(CostSource("", false), TCostSource::None);
}

}  // namespace
}  // namespace sarvenu
