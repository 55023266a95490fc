// The date lists, composing a stored date from the lists and spreading it
// back, the report forms and the fiscal year.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "records/date_entry.h"

namespace {

using namespace sarvenu;

TEST(DateListTest, YearsAndMonths) {
    const std::vector<std::string> years = YearItems(2024);
    ASSERT_EQ(years.size(), 2029u - 1998u + 1u);
    EXPECT_EQ(years.front(), "1998");
    EXPECT_EQ(years.back(), "2029");
    const std::vector<std::string> months = MonthItems();
    ASSERT_EQ(months.size(), 12u);
    EXPECT_EQ(months.front(), "1");
    EXPECT_EQ(months.back(), "12");
}

TEST(DateListTest, LeapYears) {
    EXPECT_TRUE(IsLeapYear(2008));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(0));
    EXPECT_FALSE(IsLeapYear(-4));
}

TEST(DateListTest, DaysFollowYearAndMonth) {
    auto days = [](const char* year, const char* month) {
        std::vector<std::string> items{"kept"};
        return DayItems(year, month, items) ? items : std::vector<std::string>{};
    };
    EXPECT_EQ(days("2008", "2").size(), 29u);
    EXPECT_EQ(days("1900", "2").size(), 28u);
    EXPECT_EQ(days("2000", "2").size(), 29u);
    EXPECT_EQ(days("2006", "4").size(), 30u);
    // A month that is no number counts as 0, which takes February's rule.
    EXPECT_EQ(days("2008", "x").size(), 29u);
    EXPECT_EQ(days("2006", "13").size(), 28u);
    const std::vector<std::string> april = days("2006", "4");
    EXPECT_EQ(april.front(), "1");
    EXPECT_EQ(april.back(), "30");

    // Without a year or a month the list keeps what it had.
    std::vector<std::string> items{"1", "2"};
    EXPECT_FALSE(DayItems("", "4", items));
    EXPECT_FALSE(DayItems("2006", "", items));
    EXPECT_FALSE(LikeDayItems("2006", "", items));
    EXPECT_EQ(items, (std::vector<std::string>{"1", "2"}));

    ASSERT_TRUE(LikeDayItems("2007", "3", items));
    EXPECT_EQ(items, (std::vector<std::string>{platform::Utf8ToCp932("上旬"),
                                               platform::Utf8ToCp932("中旬"),
                                               platform::Utf8ToCp932("下旬")}));
}

TEST(DateTextTest, ComposingFromTheLists) {
    EXPECT_EQ(CreDate("2006", "4", "1"), "2006/04/01");
    EXPECT_EQ(CreDate("2006", "04", "01"), "2006/04/01");
    EXPECT_EQ(CreDate("2007", "3", platform::Utf8ToCp932("下旬")), "2007/03/28");
    EXPECT_EQ(CreDate("2007", "2", platform::Utf8ToCp932("下旬")), "2007/02/28");
    EXPECT_EQ(CreDate("2007", "10", platform::Utf8ToCp932("中旬")), "2007/10/15");
    EXPECT_EQ(CreDate("", "4", "1"), "");
    EXPECT_EQ(CreDate("2006", "4", ""), "");
    // Typed texts that make no calendar date compose to no date.
    EXPECT_EQ(CreDate("2006", "4", "31"), "");
    EXPECT_EQ(CreDate("2007", "2", "29"), "");
    EXPECT_EQ(CreDate("2008", "2", "29"), "2008/02/29");
    EXPECT_EQ(CreDate("2006", "13", "1"), "");
    EXPECT_EQ(CreDate("2006", "x", "1"), "");
    EXPECT_EQ(CreDate("abcd", "4", "1"), "");
}

TEST(DateTextTest, SpreadingOverTheLists) {
    auto parts = [](const TDateParts& p) { return p.year + "|" + p.month + "|" + p.day; };
    EXPECT_EQ(parts(SpreadDate("2006/04/01")), "2006|4|1");
    EXPECT_EQ(parts(SpreadDate("")), "||");
    EXPECT_EQ(parts(SpreadDate("2006/02/30")), "||");
    EXPECT_EQ(parts(SpreadDate("2006-04-01")), "||");
    EXPECT_EQ(parts(SpreadDate("2006/04")), "||");
    EXPECT_EQ(parts(SpreadLikeDate("2007/03/28")), "2007|3|" + platform::Utf8ToCp932("下旬"));

    // Stored texts the lists can show, and ones they cannot (which the
    // window keeps as stored instead of composing them anew).
    EXPECT_TRUE(ShowsInLists(""));
    EXPECT_TRUE(ShowsInLists("2008/02/29"));
    EXPECT_TRUE(ShowsInLists("2006/4/1"));
    EXPECT_FALSE(ShowsInLists("2007/02/29"));
    EXPECT_FALSE(ShowsInLists("2006/02/30"));
    EXPECT_FALSE(ShowsInLists("2006/13/01"));
    EXPECT_FALSE(ShowsInLists("2006/00/10"));
    EXPECT_FALSE(ShowsInLists("2006-04-01"));
    EXPECT_FALSE(ShowsInLists(" 2006/04/01"));
    EXPECT_FALSE(ShowsInLists("2006/04/01/"));
    EXPECT_EQ(parts(SpreadLikeDate("2007/03/15")), "2007|3|" + platform::Utf8ToCp932("中旬"));
    EXPECT_EQ(parts(SpreadLikeDate("2007/03/10")), "2007|3|10");

    // A period stored and read back shows the same choice.
    const TDateParts back = SpreadLikeDate(CreDate("2007", "3", platform::Utf8ToCp932("下旬")));
    EXPECT_EQ(CreDate(back.year, back.month, back.day), "2007/03/28");
}

TEST(DateTextTest, ReportForms) {
    EXPECT_EQ(CreDatePreview("2006", "4", "1"), platform::Utf8ToCp932("2006年4月1日"));
    EXPECT_EQ(CreDatePreview("2006", "10", platform::Utf8ToCp932("中旬")),
              platform::Utf8ToCp932("2006年10月中旬"));
    EXPECT_EQ(CreDatePreview("2006", "10", ""), "");
    EXPECT_EQ(CreDatePreview("", "10", "1"), "");
    EXPECT_EQ(PadTwo("4"), "04");
    EXPECT_EQ(PadTwo("12"), "12");
}

TEST(FiscalYearTest, AprilToMarch) {
    EXPECT_EQ(NendoPreview("2007", "3"), "2006");
    EXPECT_EQ(NendoPreview("2007", "4"), "2007");
    EXPECT_EQ(NendoPreview("2007", "0"), "2007");
    EXPECT_EQ(NendoPreview("2007", ""), "");
    EXPECT_EQ(NendoPreview("", "4"), "");
    EXPECT_EQ(FiscalYearOf("200703"), "2006");
    EXPECT_EQ(FiscalYearOf("200704"), "2007");
    EXPECT_EQ(FiscalYearOf(""), "");
    EXPECT_EQ(FiscalYearOf("2007"), "");
    // The label of the totals tabs: a one-digit month is padded first.
    EXPECT_EQ(NendoText("2007", "3"), "2006");
    EXPECT_EQ(NendoText("2007", "04"), "2007");
    EXPECT_EQ(NendoText("2007", ""), "");
    EXPECT_EQ(NendoText("07", "4"), "");
    EXPECT_EQ(NendoText("2007", "123"), "");
}

}  // namespace
