#include "html/document/section.h"
#include "html/document/section_list.h"

#include <array>
#include <QPainter>

namespace {

// Bullets: a small circle this wide, its centre this far left of the text.
constexpr int kBulletSize = 5;
constexpr int kBulletOffset = 8;
// Numbers end this far left of the text.
constexpr int kNumberGap = 5;
constexpr int kMaxRoman = 20;
constexpr int kLetters = 26;

// Bullet colours are chosen for light backgrounds only; elsewhere the
// bullet is drawn as an outline in the text colour.
bool lightBackground(const QColor& c, const TSectionList& doc)
{
    return c == doc.DefBackground || c == QColor(Qt::white) || c == QColor(0xC0, 0xC0, 0xC0);
}

} // namespace

std::string TOListItem::MarkerText(int number, char style)
{
    static const std::array<const char*, kMaxRoman> kRoman = {
        "I",  "II",  "III",  "IV",  "V",  "VI",  "VII",  "VIII",  "IX",  "X",
        "XI", "XII", "XIII", "XIV", "XV", "XVI", "XVII", "XVIII", "XIX", "XX"};
    std::string text;
    switch (style) {
    case 'A':
    case 'a': {
        const int n = std::clamp(number, 1, kLetters);
        text.push_back(static_cast<char>(style + n - 1));
        break;
    }
    case 'I':
    case 'i': {
        text = kRoman[std::clamp(number, 1, kMaxRoman) - 1];
        if (style == 'i')
            for (char& c : text)
                c = static_cast<char>(c - 'A' + 'a');
        break;
    }
    default:
        text = std::to_string(number);
    }
    return text + ".";
}

std::string TOListItem::markerDump() const
{
    return " marker=\"" + MarkerText(Number, Style) + "\"";
}

void TOListItem::DrawMarker(TPaintContext& ctx)
{
    if (m_lines.empty())
        return;
    const LineRec& line = m_lines.front();
    TMyFont font = Fonts.empty() ? BaseFont : Fonts.front().Font;
    font.Underline = false;
    const TFontMetrics& m = ctx.fonts.metrics(font);
    const std::string text = MarkerText(Number, Style);
    const int x = line.X - kNumberGap - m.textWidth(text);
    ctx.painter.setFont(m.font);
    ctx.painter.setPen(font.Color);
    ctx.painter.drawText(QPoint(x + ctx.dx, line.Y + line.BaseLine + ctx.dy),
                         QString::fromLatin1(text.c_str()));
}

std::string TUListItem::markerDump() const
{
    return Plain ? " marker=none" : " marker=bullet depth=" + std::to_string(Depth);
}

void TUListItem::DrawMarker(TPaintContext& ctx)
{
    if (Plain || m_lines.empty())
        return;
    const LineRec& line = m_lines.front();
    const int cx = line.X - kBulletOffset;
    const int cy = line.Y + line.LineHt / 2;
    QPainter& p = ctx.painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF box(cx - kBulletSize / 2.0 + ctx.dx, cy - kBulletSize / 2.0 + ctx.dy, kBulletSize,
                     kBulletSize);
    if (lightBackground(ctx.background, ctx.doc)) {
        QColor color;
        switch (Depth) {
        case 1:
        case 4:
            color = QColor(0x00, 0x00, 0x80);
            break;
        case 2:
        case 5:
            color = QColor(0x80, 0x00, 0x00);
            break;
        default:
            color = QColor(0xFF, 0x00, 0x00);
        }
        p.setPen(color);
        p.setBrush(color);
    } else {
        p.setPen(Fonts.empty() ? ctx.doc.FontColor : Fonts.front().Font.Color);
        p.setBrush(Qt::NoBrush);
    }
    p.drawEllipse(box);
    p.restore();
}

void TPreFormated::AddPreText(std::string_view text, const int* sourceIndex, const TMyFont& font,
                              TUrlTarget* link)
{
    if (Buff.size() >= kMaxChars)
        return;
    text = text.substr(0, kMaxChars - Buff.size());
    AddText(text, sourceIndex, font, link);
}

void TPreFormated::Finish()
{
    // A line end right before the end tag would only add an empty line.
    if (!Buff.empty() && Buff.back() == html::kLineEndMark) {
        Buff.pop_back();
        SIndex.pop_back();
    }
    while (Fonts.size() > 1 && Fonts.back().Pos >= static_cast<int>(Buff.size()))
        Fonts.pop_back();
    if (!SIndex.empty()) {
        StartCurs = SIndex.front();
        Len = SIndex.back() - SIndex.front() + 1;
    }
}

void TPreFormated::MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max)
{
    Max = html::widestPreformattedLine(measureChars(ctx, 0)) + Indent;
    Min = std::min(Max, kMaxMinWidth);
}
