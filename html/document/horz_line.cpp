#include "html/document/horz_line.h"

#include "html/common/attribute.h"
#include "html/common/html_color.h"
#include "html/layout/float_list.h"

#include <algorithm>
#include <QPainter>

THorzLine::THorzLine(TSectionList* document, const TAttributeList& attributes)
    : TSectionBase(document)
{
    using html::Attr;
    if (const TAttribute* a = attributes.Find(Attr::Align)) {
        if (html::textIs(a, "left"))
            Align = 1;
        else if (html::textIs(a, "right"))
            Align = 3;
    }
    if (auto length = html::lengthOf(attributes.Find(Attr::Width))) {
        SpecWidth = length->value;
        SpecWidthPercent = length->percent;
    }
    if (const TAttribute* a = attributes.Find(Attr::Size))
        Size = std::clamp(a->Number, 1, kMaxSize);
    if (const TAttribute* a = attributes.Find(Attr::Color))
        Color = html::parseColor(a->Text);
    NoShade = attributes.Has(Attr::NoShade);
}

void THorzLine::MinMaxWidth(TLayoutContext&, int& Min, int& Max)
{
    Min = SpecWidthPercent ? 0 : SpecWidth;
    Max = Min;
}

int THorzLine::DrawLogic(TLayoutContext&, int X, int Y, int Width, TFloatList& floats)
{
    YPosition = Y;
    const int left = floats.leftEdge(Y, Size + 2 * kMargin, X);
    const int right = floats.rightEdge(Y, Size + 2 * kMargin, X + Width);
    const int avail = std::max(0, right - left);
    m_width = avail;
    if (SpecWidth > 0)
        m_width = SpecWidthPercent ? avail * SpecWidth / 100 : std::min(SpecWidth, avail);
    switch (Align) {
    case 1:
        m_left = left;
        break;
    case 3:
        m_left = right - m_width;
        break;
    default:
        m_left = left + (avail - m_width) / 2;
    }
    SectionHeight = Size + 2 * kMargin;
    DrawTop = Y;
    DrawBot = Y + SectionHeight;
    return SectionHeight;
}

void THorzLine::Draw(TPaintContext& ctx)
{
    QPainter& p = ctx.painter;
    const QRect r(m_left + ctx.dx, YPosition + kMargin + ctx.dy, m_width, Size);
    if (Color || NoShade) {
        p.fillRect(r, Color.value_or(QColor(0x80, 0x80, 0x80)));
        return;
    }
    // An engraved rule: dark top and left edges, light bottom and right.
    const QColor dark(0x80, 0x80, 0x80);
    const QColor light(Qt::white);
    p.fillRect(r, ctx.background);
    p.setPen(dark);
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(light);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

void THorzLine::Dump(TDumpWriter& out) const
{
    out.line("hr y=" + std::to_string(YPosition) + " h=" + std::to_string(SectionHeight) +
             " x=" + std::to_string(m_left) + " w=" + std::to_string(m_width) +
             " size=" + std::to_string(Size));
}
