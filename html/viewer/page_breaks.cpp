#include "html/viewer/page_breaks.h"

#include "html/document/horz_line.h"
#include "html/document/paragraph_space.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/layout/floating_obj.h"
#include "html/viewer/document_walk.h"

#include <algorithm>
#include <utility>

namespace html_viewer {

namespace {

// Stretches of the page that a cut must not go through: a cut may fall on
// their edges but not between them. Kept sorted and merged where they
// overlap, so that one look-up finds the stretch around a point.
class UncuttableStretches {
public:
    void add(int top, int bottom)
    {
        if (bottom > top)
            m_stretches.emplace_back(top, bottom);
    }

    void merge()
    {
        std::sort(m_stretches.begin(), m_stretches.end());
        std::vector<std::pair<int, int>> merged;
        for (const auto& s : m_stretches) {
            // Stretches that only touch stay apart: their common edge is a
            // good place for a cut.
            if (!merged.empty() && s.first < merged.back().second)
                merged.back().second = std::max(merged.back().second, s.second);
            else
                merged.push_back(s);
        }
        m_stretches = std::move(merged);
    }

    // The lowest place at or above y where a cut goes through nothing.
    int cutAtOrAbove(int y) const
    {
        auto after = std::upper_bound(m_stretches.begin(), m_stretches.end(), y,
                                      [](int v, const auto& s) { return v <= s.first; });
        if (after == m_stretches.begin())
            return y;
        const auto& around = *(after - 1);
        return around.second > y ? around.first : y;
    }

private:
    std::vector<std::pair<int, int>> m_stretches;
};

} // namespace

std::vector<int> PageBottoms(TSectionList& document, int pageHeight)
{
    pageHeight = std::max(1, pageHeight);
    UncuttableStretches stretches;
    std::vector<int> breaks;
    ForEachBlock(document, [&](TSectionBase& block) {
        if (dynamic_cast<TPage*>(&block)) {
            breaks.push_back(block.YPosition);
        } else if (auto* section = dynamic_cast<TSection*>(&block)) {
            for (const LineRec& line : section->Lines())
                stretches.add(line.Y, line.Y + line.LineHt);
            // Floating pictures stand beside the lines, not in them.
            for (const auto& object : section->Images())
                stretches.add(object->Top, object->Top + object->ObjHeight);
        } else if (dynamic_cast<THorzLine*>(&block)) {
            stretches.add(block.YPosition, block.Bottom());
        }
    });
    stretches.merge();
    std::sort(breaks.begin(), breaks.end());

    const int height = document.DocHeight();
    std::vector<int> bottoms;
    int top = 0;
    auto nextBreak = breaks.begin();
    do {
        const int limit = top + pageHeight;
        int bottom = 0;
        nextBreak = std::upper_bound(nextBreak, breaks.end(), top);
        if (nextBreak != breaks.end() && *nextBreak < limit && *nextBreak < height)
            bottom = stretches.cutAtOrAbove(*nextBreak);
        if (bottom <= top && limit >= height) {
            bottom = height;
        } else if (bottom <= top) {
            bottom = stretches.cutAtOrAbove(limit);
            // Something taller than a page has to be cut somewhere.
            if (bottom <= top)
                bottom = limit;
        }
        bottoms.push_back(bottom);
        top = bottom;
    } while (top < height);
    return bottoms;
}

} // namespace html_viewer
