#pragma once

#include <vector>

// The width needs of one table column: its narrowest and widest useful
// width (cell padding, spacing and borders included) and its share of the
// table in tenths of a percent (0 when none was asked for).
struct TColumnNeed {
    int min = 0;
    int max = 0;
    int percent = 0;
};

namespace html {

inline constexpr int kFullPercent = 1000;
// The width needed when percentages take the whole table yet other columns
// exist: more than any page offers, so those columns fall back to their
// minimum.
inline constexpr int kImpossibleWidth = 30000;

// Chooses the widths of a table's columns for the width to fill.
//  1. If the minimum widths together do not fit, every column gets its
//     minimum.
//  2. With a table WIDTH the columns fill exactly the width to fill
//     (percentage columns first get their share).
//  3. With percentage columns the table takes the width they need (not
//     more than the width to fill); percentage columns that cannot get
//     their minimum that way lose their percentage and the distribution is
//     repeated.
//  4. Otherwise the columns take their maximum widths when those fit, else
//     each gets its minimum plus a share of the free width in proportion to
//     how much more it would like.
std::vector<int> distributeColumns(std::vector<TColumnNeed> columns, int widthToFill,
                                   bool tableHasWidth);

} // namespace html
