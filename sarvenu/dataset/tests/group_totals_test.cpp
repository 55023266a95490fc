// Totals per key through the engine's groups and aggregates: blanks left out
// of a column's totals, extremes only where asked for, an empty key as a group
// of its own, groups in key order, and the refusals.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "dataset/client_table.h"
#include "dataset/group_totals.h"

using namespace sarvenu;

namespace {

using Values = std::vector<std::optional<double>>;

TEST(GroupTotals, BlanksAreLeftOutAndExtremesKeptWhereAsked) {
    TGroupTotals totals(2, 10, {1});
    totals.Add("B", Values{1.5, 10});
    totals.Add("A", Values{std::nullopt, 7});
    totals.Add("B", Values{2, std::nullopt});
    totals.Add("", Values{4, 4});
    totals.Add("A", Values{std::nullopt, 9});
    totals.Add("B", Values{std::nullopt, 3});

    const std::vector<TGroupTotals::TGroup> groups = totals.Groups();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].key, "");
    EXPECT_EQ(groups[1].key, "A");
    EXPECT_EQ(groups[2].key, "B");

    const TGroupTotals::TGroup& a = groups[1];
    EXPECT_EQ(a.rows, 2);
    // Only blanks in the first column: nothing counted, no sum.
    EXPECT_EQ(a.columns[0].count, 0);
    EXPECT_EQ(a.columns[0].sum, 0);
    EXPECT_FALSE(a.columns[0].min.has_value());
    EXPECT_EQ(a.columns[1].count, 2);
    EXPECT_EQ(a.columns[1].sum, 16);
    EXPECT_EQ(a.columns[1].min, 7);
    EXPECT_EQ(a.columns[1].max, 9);

    const TGroupTotals::TGroup& b = groups[2];
    EXPECT_EQ(b.rows, 3);
    EXPECT_EQ(b.columns[0].count, 2);
    EXPECT_DOUBLE_EQ(b.columns[0].sum, 3.5);
    // The first column keeps no extremes.
    EXPECT_FALSE(b.columns[0].min.has_value());
    EXPECT_FALSE(b.columns[0].max.has_value());
    EXPECT_EQ(b.columns[1].count, 2);
    EXPECT_EQ(b.columns[1].min, 3);
    EXPECT_EQ(b.columns[1].max, 10);

    // Asked again, the same totals.
    const std::vector<TGroupTotals::TGroup> again = totals.Groups();
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[2].columns[1].sum, 13);
}

TEST(GroupTotals, NoRowsNoGroupsAndBadRowsAreRefused) {
    TGroupTotals totals(1, 4);
    EXPECT_TRUE(totals.Groups().empty());
    EXPECT_THROW(totals.Add("TOO LONG", Values{1}), EDatabaseError);
    EXPECT_THROW(totals.Add("A", Values{1, 2}), EDatabaseError);
    totals.Add("A", Values{1});
    ASSERT_EQ(totals.Groups().size(), 1u);
}

}  // namespace
