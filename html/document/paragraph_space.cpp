#include "html/document/paragraph_space.h"

#include "html/document/section_list.h"
#include "html/layout/float_list.h"

#include <array>

int TParagraphSpace::DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats)
{
    YPosition = Y;
    const int top = ClearAttr ? floats.clear(Y, ClearAttr) : Y;
    SectionHeight = top - Y + SpaceHeight(ctx.doc.DefFontSize());
    DrawTop = Y;
    DrawBot = Y + SectionHeight;
    return SectionHeight;
}

void TParagraphSpace::Dump(TDumpWriter& out) const
{
    out.line("space y=" + std::to_string(YPosition) + " h=" + std::to_string(SectionHeight));
}

int THeadingSpace::SpaceHeight(int defFontSize) const
{
    static constexpr std::array<int, 6> kSpaces = {16, 12, 10, 8, 6, 4};
    constexpr int kOtherLevels = 8;
    const int space = Level >= 1 && Level <= 6 ? kSpaces[Level - 1] : kOtherLevels;
    return space * defFontSize / 12;
}

void THeadingSpace::Dump(TDumpWriter& out) const
{
    out.line("headspace y=" + std::to_string(YPosition) + " h=" + std::to_string(SectionHeight) +
             " level=" + std::to_string(Level));
}

int TPage::DrawLogic(TLayoutContext&, int, int Y, int, TFloatList&)
{
    YPosition = Y;
    SectionHeight = 0;
    DrawTop = DrawBot = Y;
    return 0;
}

void TPage::Dump(TDumpWriter& out) const
{
    out.line("page y=" + std::to_string(YPosition));
}
