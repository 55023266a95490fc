// The numeric operations of the evaluation points.
#include "report/calculation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "platform/codepage.h"
#include "test_support/test_support.h"

namespace sarvenu {
namespace {

// Collects the messages a conversion reports.
struct TCollectedErrors {
    std::vector<std::string> messages;
    TNumberErrorSink Sink() {
        return [this](const std::string& m) { messages.push_back(m); };
    }
};

TEST(RoundingTest, HalfUpTruncatesTowardZero) {
    EXPECT_DOUBLE_EQ(RoundAtDecimal(2, 114.45), 114.5);
    EXPECT_DOUBLE_EQ(RoundAtDecimal(1, 114.5), 115);
    EXPECT_DOUBLE_EQ(RoundAtDecimal(1, 83.5), 84);
    // Negative values round toward zero after adding 0.5.
    EXPECT_DOUBLE_EQ(RoundAtDecimal(2, -28.5714), -28.5);
    EXPECT_DOUBLE_EQ(RoundAtDecimal(2, -33.333), -33.2);
    EXPECT_DOUBLE_EQ(RoundAtDecimal(3, 1.2345), 1.23);
}

TEST(RoundingTest, ClampPointBoundsAndRounds) {
    EXPECT_DOUBLE_EQ(ClampPoint(200, -0.1), 0);
    EXPECT_DOUBLE_EQ(ClampPoint(200, std::nan("")), 0);
    EXPECT_DOUBLE_EQ(ClampPoint(200, 250), 200);
    EXPECT_DOUBLE_EQ(ClampPoint(200, 199.5), 200);
    EXPECT_DOUBLE_EQ(ClampPoint(200, 12.4), 12);
}

TEST(NumberTextTest, ShortestGeneralForm) {
    EXPECT_EQ(NumberText(115), "115");
    EXPECT_EQ(NumberText(114.5), "114.5");
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(100 - 85.55), "14.45");  // binary noise beyond 15 digits
    EXPECT_EQ(NumberText(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(NumberText(999999999999.0), "999999999999");
    EXPECT_EQ(NumberText(0.00001), "1E-5");
    EXPECT_EQ(NumberText(std::nan("")), "");
}

TEST(NumberTextTest, ParseAcceptsOnlyPlainNumbers) {
    for (const char* good : {"0", "-3", "+2.5", ".5", "5.", "85.55", "1E-5", "2e3"}) {
        double value = -1;
        EXPECT_TRUE(ParseNumber(good, &value)) << good;
    }
    double value = 0;
    ASSERT_TRUE(ParseNumber("+2.5", &value));
    EXPECT_DOUBLE_EQ(value, 2.5);
    for (const char* bad : {"", "+", "-", ".", "1.2.3", " 5", "5 ", "1,000", "inf", "nan", "0x10",
                            "1E", "12a", "\xef\xbc\x91"}) {
        EXPECT_FALSE(ParseNumber(bad, &value)) << bad;
    }
    // What NumberText writes reads back.
    ASSERT_TRUE(ParseNumber(NumberText(0.00001), &value));
    EXPECT_DOUBLE_EQ(value, 0.00001);
}

TEST(RatioPointTest, CostExamples) {
    TCollectedErrors errors;
    const std::string difference = DifferenceText("100", "85.55", errors.Sink());
    EXPECT_EQ(difference, "14.45");
    // 114.45 -> 114.5 -> 115: rounding twice.
    EXPECT_EQ(RatioPoint(difference, "100", errors.Sink()), "115");
    // New cost above twice the conventional: clamped to 0; free: 200.
    EXPECT_EQ(RatioPoint(DifferenceText("100", "250", errors.Sink()), "100", errors.Sink()), "0");
    EXPECT_EQ(RatioPoint(DifferenceText("100", "0", errors.Sink()), "100", errors.Sink()), "200");
    // Conventional 0 gives 0 without a message.
    EXPECT_EQ(RatioPoint("-5", "0", errors.Sink()), "0");
    EXPECT_EQ(RatioPoint("10", "30", errors.Sink()), "133");
    EXPECT_TRUE(errors.messages.empty());
}

TEST(RatioPointTest, ConversionErrorsAreReportedAndGiveEmpty) {
    TCollectedErrors errors;
    EXPECT_EQ(DifferenceText("1..2", "1", errors.Sink()), "");
    EXPECT_EQ(DifferenceText("5", "", errors.Sink()), "");
    EXPECT_EQ(RatioPoint("abc", "100", errors.Sink()), "");
    EXPECT_EQ(RatioPoint("5", "x", errors.Sink()), "");
    ASSERT_EQ(errors.messages.size(), 4u);
    for (const std::string& m : errors.messages) {
        EXPECT_EQ(m, platform::Utf8ToCp932("入力された数値に誤りがあります。"));
    }
    // Without a sink nothing is reported, the result is still empty.
    EXPECT_EQ(RatioPoint("abc", "1", nullptr), "");
}

// Differences and points come out as computed by hand, not as binary
// doubles give them.
TEST(RatioPointTest, DecimalArithmetic) {
    TCollectedErrors errors;
    EXPECT_EQ(DifferenceText("10", "9.9", errors.Sink()), "0.1");
    EXPECT_EQ(DifferenceText("45", "44.6", errors.Sink()), "0.4");
    EXPECT_EQ(DifferenceText("0.3", "0.1", errors.Sink()), "0.2");
    EXPECT_EQ(DifferenceText("123456789012", "0.5", errors.Sink()), "123456789011.5");
    // Every pair of one-decimal values from 0.0 to 60.0 against whole tenths.
    for (int a = 0; a <= 600; a += 7) {
        for (int b = 0; b <= 600; ++b) {
            const int tenths = a - b;
            const int magnitude = tenths < 0 ? -tenths : tenths;
            std::string expected = (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10);
            if (magnitude % 10 != 0) expected += "." + std::to_string(magnitude % 10);
            const std::string text = DifferenceText(
                std::to_string(a / 10) + "." + std::to_string(a % 10),
                std::to_string(b / 10) + "." + std::to_string(b % 10), errors.Sink());
            ASSERT_EQ(text, expected) << a << " " << b;
        }
    }
    // Half-way cases of the first rounding round up: 97.45 -> 97.5 -> 98.
    EXPECT_EQ(RatioPoint(DifferenceText("20", "20.51", errors.Sink()), "20", errors.Sink()), "98");
    EXPECT_EQ(RatioPoint(DifferenceText("60", "69.93", errors.Sink()), "60", errors.Sink()), "84");
    EXPECT_EQ(RatioPoint(DifferenceText("140", "140.77", errors.Sink()), "140", errors.Sink()),
              "100");
    EXPECT_DOUBLE_EQ(RoundAtDecimal(2, 100 + 100 * -0.51 / 20), 97.5);
    // The mean of 97.4 and 97.5 is 97.45, which rounds up to one decimal.
    const std::string six[] = {"97.4", "97.5", "", "", "", ""};
    EXPECT_EQ(MeanOfSix(six), "97.5");
    EXPECT_EQ(MeanOfSum(2, 97.4 + 97.5), "97.5");
    // Values beyond exact reach still give the double result.
    EXPECT_EQ(DifferenceText("1E300", "1", errors.Sink()), "1E300");
    EXPECT_EQ(RatioPoint("1E-300", "1", errors.Sink()), "100");
    EXPECT_TRUE(errors.messages.empty());
}

TEST(ItemPointTest, AnswerSumsOverCount) {
    EXPECT_EQ(ItemPoint(-4, 7), "72");   // exact arithmetic would give 71
    EXPECT_EQ(ItemPoint(-11, 7), "22");  // and 21
    EXPECT_EQ(ItemPoint(10, 5), "200");
    EXPECT_EQ(ItemPoint(-10, 5), "0");
    EXPECT_EQ(ItemPoint(0, 0), "0");
    EXPECT_EQ(ItemPoint(7, 6), "158");
}

TEST(MeanTest, MeansOfTexts) {
    EXPECT_EQ(MeanOfTwo("83", ""), "83");
    EXPECT_EQ(MeanOfTwo("83", "84"), "84");
    EXPECT_EQ(MeanOfTwo("", ""), "");
    EXPECT_EQ(MeanOfTwo("x", ""), "");

    const std::string six[] = {"100", "115", "", "90", "", ""};
    EXPECT_EQ(MeanOfSix(six), "101.7");
    const std::string whole[] = {"100", "100", "100", "100", "100", "100"};
    EXPECT_EQ(MeanOfSix(whole), "100");
    const std::string none[] = {"", "", "", "", "", ""};
    EXPECT_EQ(MeanOfSix(none), "");

    EXPECT_EQ(MeanOfSum(3, 10), "3.3");
    EXPECT_EQ(MeanOfSum(4, 437), "109.3");
    EXPECT_EQ(MeanOfSum(0, 5), "");
    EXPECT_EQ(MeanOfSum(-1, 5), "");
}

TEST(WholeNumberTest, IsWholeNumber) {
    for (const char* yes : {"$1F", "0x10", "0X1f", " -5", "+7", "0", "2147483647", "-2147483648",
                            "$7FFFFFFF", "-$10"}) {
        EXPECT_TRUE(IsWholeNumber(yes)) << yes;
    }
    for (const char* no : {"", " ", "5 ", "2147483648", "-2147483649", "$80000000", "$", "0x",
                           "1.0", "1,234", "12a", "--5", "99999999999999999999"}) {
        EXPECT_FALSE(IsWholeNumber(no)) << no;
    }
}

TEST(WholeNumberTest, FormatAmountGroupsDigits) {
    EXPECT_EQ(FormatAmount("1234"), "1,234");
    EXPECT_EQ(FormatAmount("-1234567"), "-1,234,567");
    EXPECT_EQ(FormatAmount("12000"), "12,000");
    EXPECT_EQ(FormatAmount("0"), "0");
    EXPECT_EQ(FormatAmount(" 1000"), "1,000");
    EXPECT_EQ(FormatAmount("$1F"), "31");
    // Texts that are not whole numbers come back as they are.
    for (const char* same : {"", "12.5", "abc", "2147483648", "1000 "}) {
        EXPECT_EQ(FormatAmount(same), same);
    }
}

TEST(PictureHeightTest, ProportionalOr160) {
    sarvenu_test::TempDir dir;
    EXPECT_DOUBLE_EQ(PictureHeight(dir.File("missing.gif"), 200), 160);
    // A directory is not a picture file.
    EXPECT_DOUBLE_EQ(PictureHeight(dir.File(""), 200), 160);

    // A GIF header of 400 x 300 pixels.
    const std::string gif = dir.File("picture.gif");
    {
        std::ofstream out(gif, std::ios::binary);
        const char header[] = {'G',
                               'I',
                               'F',
                               '8',
                               '9',
                               'a',
                               char(400 & 0xFF),
                               char(400 >> 8),
                               char(300 & 0xFF),
                               char(300 >> 8),
                               0,
                               0,
                               0};
        out.write(header, sizeof header);
    }
    EXPECT_DOUBLE_EQ(PictureHeight(gif, 200), 150);
    EXPECT_DOUBLE_EQ(PictureHeight(gif, 233), 175);  // 174.75

    // A file whose size cannot be read has no proportions.
    const std::string unknown = dir.File("picture.jpeg");
    std::ofstream(unknown) << "not a picture";
    EXPECT_DOUBLE_EQ(PictureHeight(unknown, 200), 160);
}

}  // namespace
}  // namespace sarvenu
