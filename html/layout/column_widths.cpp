#include "html/layout/column_widths.h"

#include <algorithm>
#include <numeric>

namespace html {
namespace {

long long sumOf(const std::vector<TColumnNeed>& cols, int TColumnNeed::*field, bool percentColumns,
                bool otherColumns)
{
    long long sum = 0;
    for (const TColumnNeed& c : cols)
        if ((c.percent > 0 && percentColumns) || (c.percent == 0 && otherColumns))
            sum += c.*field;
    return sum;
}

// Shares width among the chosen columns: each gets its minimum, the rest in
// proportion to (max - min); beyond their maxima in proportion to max.
void share(const std::vector<TColumnNeed>& cols, std::vector<int>& widths,
           const std::vector<bool>& chosen, long long width)
{
    long long sumMin = 0, sumMax = 0;
    int count = 0;
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (chosen[i]) {
            sumMin += cols[i].min;
            sumMax += cols[i].max;
            ++count;
        }
    if (count == 0)
        return;
    long long given = 0;
    int lastChosen = -1;
    for (std::size_t i = 0; i < cols.size(); ++i) {
        if (!chosen[i])
            continue;
        lastChosen = static_cast<int>(i);
        long long w;
        if (width <= sumMin) {
            w = cols[i].min;
        } else if (width <= sumMax) {
            const long long spread = sumMax - sumMin;
            w = cols[i].min +
                (spread > 0 ? (cols[i].max - cols[i].min) * (width - sumMin) / spread : 0);
        } else {
            w = sumMax > 0 ? cols[i].max * width / sumMax : width / count;
            w = std::max<long long>(w, cols[i].min);
        }
        widths[i] = static_cast<int>(w);
        given += w;
    }
    // Rounding leftovers go to the last column so that the total is exact.
    if (width > sumMin && lastChosen >= 0)
        widths[lastChosen] += static_cast<int>(width - given);
}

} // namespace

std::vector<int> distributeColumns(std::vector<TColumnNeed> cols, int widthToFill,
                                   bool tableHasWidth)
{
    const std::size_t n = cols.size();
    std::vector<int> widths(n, 0);
    if (n == 0)
        return widths;
    for (TColumnNeed& c : cols)
        c.max = std::max(c.max, c.min);

    const long long sumMin = sumOf(cols, &TColumnNeed::min, true, true);
    if (sumMin >= widthToFill) {
        for (std::size_t i = 0; i < n; ++i)
            widths[i] = cols[i].min;
        return widths;
    }

    for (;;) {
        long long percentSum = 0;
        for (const TColumnNeed& c : cols)
            percentSum += c.percent;
        const bool havePercent = percentSum >= 1 && percentSum <= kFullPercent;
        if (!havePercent) {
            for (TColumnNeed& c : cols)
                c.percent = 0;
            std::vector<bool> all(n, true);
            const long long sumMax = sumOf(cols, &TColumnNeed::max, true, true);
            share(cols, widths, all,
                  tableHasWidth ? widthToFill : std::min<long long>(sumMax, widthToFill));
            return widths;
        }

        // The table width the percentages need.
        long long needed = 0;
        bool others = false;
        for (const TColumnNeed& c : cols) {
            if (c.percent > 0)
                needed = std::max(needed, static_cast<long long>(c.max) * kFullPercent / c.percent);
            else
                others = true;
        }
        if (others) {
            const long long otherMax = sumOf(cols, &TColumnNeed::max, false, true);
            needed = std::max(needed, percentSum >= kFullPercent
                                          ? static_cast<long long>(kImpossibleWidth)
                                          : otherMax * kFullPercent / (kFullPercent - percentSum));
        }
        long long tableWidth =
            tableHasWidth ? widthToFill : std::min<long long>(needed, widthToFill);
        tableWidth = std::max(tableWidth, sumMin);

        // Percentage columns that would fall below their minimum lose their
        // percentage; then everything is worked out again.
        bool dropped = false;
        for (TColumnNeed& c : cols)
            if (c.percent > 0 && tableWidth * c.percent / kFullPercent < c.min) {
                c.percent = 0;
                dropped = true;
            }
        if (dropped)
            continue;

        long long used = 0;
        std::vector<bool> rest(n, false);
        for (std::size_t i = 0; i < n; ++i) {
            if (cols[i].percent > 0) {
                widths[i] = static_cast<int>(tableWidth * cols[i].percent / kFullPercent);
                used += widths[i];
            } else {
                rest[i] = true;
            }
        }
        if (others) {
            share(cols, widths, rest, std::max<long long>(0, tableWidth - used));
        } else if (used < tableWidth) {
            // Only percentage columns: the last one takes the rounding.
            widths[n - 1] += static_cast<int>(tableWidth - used);
        }
        return widths;
    }
}

} // namespace html
