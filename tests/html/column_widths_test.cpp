#include "html/layout/column_widths.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using html::distributeColumns;

int total(const std::vector<int>& widths)
{
    return std::accumulate(widths.begin(), widths.end(), 0);
}

TEST(ColumnWidths, MinimaThatDoNotFitAreKept)
{
    EXPECT_EQ(distributeColumns({{100, 300, 0}, {200, 400, 0}}, 250, false),
              (std::vector<int>{100, 200}));
    EXPECT_EQ(distributeColumns({{100, 300, 500}, {200, 400, 0}}, 300, true),
              (std::vector<int>{100, 200}));
}

TEST(ColumnWidths, ColumnsTakeTheirMaximaWhenTheyFit)
{
    EXPECT_EQ(distributeColumns({{10, 50, 0}, {20, 100, 0}}, 500, false),
              (std::vector<int>{50, 100}));
}

TEST(ColumnWidths, FreeWidthGoesWhereColumnsWantMore)
{
    // 200 to fill, minima 100; column 1 wants 100 more, column 2 wants 300 more.
    const auto w = distributeColumns({{50, 150, 0}, {50, 350, 0}}, 200, false);
    EXPECT_EQ(total(w), 200);
    EXPECT_EQ(w[0], 75);
    EXPECT_EQ(w[1], 125);
}

TEST(ColumnWidths, ATableWidthIsFilledExactly)
{
    const auto w = distributeColumns({{10, 50, 0}, {20, 150, 0}}, 600, true);
    EXPECT_EQ(total(w), 600);
    EXPECT_EQ(w[0], 150);
    EXPECT_EQ(w[1], 450);
    const auto narrower = distributeColumns({{10, 50, 0}, {20, 150, 0}}, 130, true);
    EXPECT_EQ(total(narrower), 130);
}

TEST(ColumnWidths, PercentagesSetTheTableWidthTheyNeed)
{
    // 25 % for a column of at most 50 needs 200; the others (max 90) need
    // 90 / 75 % = 120: the table takes 200 of the 700 available.
    const auto w = distributeColumns({{20, 50, 250}, {30, 90, 0}}, 700, false);
    EXPECT_EQ(total(w), 200);
    EXPECT_EQ(w[0], 50);
    EXPECT_EQ(w[1], 150);
}

TEST(ColumnWidths, PercentagesOfAGivenTableWidth)
{
    const auto w = distributeColumns({{20, 50, 300}, {20, 50, 0}, {20, 100, 0}}, 1000, true);
    EXPECT_EQ(w[0], 300);
    EXPECT_EQ(total(w), 1000);
    EXPECT_GT(w[2], w[1]);
}

TEST(ColumnWidths, PercentagesThatCannotBeMetAreDropped)
{
    // 10 % of 400 is below the column's minimum of 100: it loses its
    // percentage and all columns share the width as usual.
    const auto w = distributeColumns({{100, 200, 100}, {50, 400, 0}}, 400, false);
    EXPECT_EQ(total(w), 400);
    EXPECT_GE(w[0], 100);
}

TEST(ColumnWidths, FullPercentagesLeaveOthersTheirMinimum)
{
    const auto w = distributeColumns({{10, 50, 1000}, {30, 60, 0}}, 500, false);
    EXPECT_EQ(w[1], 30);
    EXPECT_GE(w[0], 10);
}

TEST(ColumnWidths, OnlyPercentageColumns)
{
    const auto w = distributeColumns({{10, 40, 500}, {10, 40, 500}}, 600, false);
    EXPECT_EQ(w, (std::vector<int>{40, 40}));
}

TEST(ColumnWidths, NoColumns)
{
    EXPECT_TRUE(distributeColumns({}, 100, false).empty());
}

} // namespace
