#include "html/document/section.h"

#include "html/document/form_control_obj.h"
#include "html/document/image_obj.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/layout/float_list.h"
#include "html/layout/floating_obj.h"
#include "platform/ansi.h"

#include <algorithm>
#include <QPainter>

using html::kBreakMark;
using html::kLineEndMark;
using html::kObjectMark;

namespace {

QString displayText(const std::string& buff, int from, int to, const TFontMetrics& m)
{
    QString s;
    s.reserve(to - from);
    for (int i = from; i < to; ++i)
        s.append(QChar((*m.codePage)[static_cast<unsigned char>(buff[i])]));
    return s;
}

bool isSpecial(char c)
{
    return c == kObjectMark || c == kBreakMark || c == kLineEndMark;
}

} // namespace

TSection::TSection(TSectionList* document, int alignment)
    : TSectionBase(document), AlignmentCode(alignment)
{
}

TSection::~TSection() = default;

// ---- building -----------------------------------------------------------

void TSection::AddText(std::string_view text, const int* sourceIndex, const TMyFont& font,
                       TUrlTarget* link)
{
    // Tokens arrive with their blank runs already collapsed; only a blank at
    // a token's start may follow another one.
    if (!Preformatted() && !text.empty() && text.front() == ' ' &&
        (Buff.empty() || Buff.back() == ' ')) {
        text.remove_prefix(1);
        ++sourceIndex;
    }
    if (text.empty())
        return;
    const int pos = static_cast<int>(Buff.size());
    if (!Fonts.empty() && Fonts.back().Pos == pos)
        Fonts.pop_back();
    if (Fonts.empty() || !(Fonts.back().UrlTarget == link && Fonts.back().Font == font))
        Fonts.push_back(TFontObj{font, link, pos});
    Buff.append(text);
    SIndex.insert(SIndex.end(), sourceIndex, sourceIndex + text.size());
}

void TSection::AddObject(std::unique_ptr<TFloatingObj> object, int sourceIndex, const TMyFont& font,
                         TUrlTarget* link)
{
    const char mark = kObjectMark;
    const int pos = static_cast<int>(Buff.size());
    AddText(std::string_view(&mark, 1), &sourceIndex, font, link);
    object->TextPos = pos;
    m_objects.push_back(html::TInlineObject{.pos = pos, .box = object.get()});
    m_images.push_back(std::move(object));
}

void TSection::AddControl(TFormControlObj* control, int sourceIndex, const TMyFont& font)
{
    const char mark = kObjectMark;
    const int pos = static_cast<int>(Buff.size());
    AddText(std::string_view(&mark, 1), &sourceIndex, font, nullptr);
    control->TextPos = pos;
    m_objects.push_back(html::TInlineObject{.pos = pos});
    m_controls.push_back(control);
}

void TSection::AddBreakMark(int sourceIndex, const TMyFont& font)
{
    const char mark = kBreakMark;
    AddText(std::string_view(&mark, 1), &sourceIndex, font, nullptr);
}

void TSection::Finish()
{
    while (!Buff.empty() && Buff.back() == ' ') {
        Buff.pop_back();
        SIndex.pop_back();
    }
    while (!Fonts.empty() && Fonts.back().Pos >= static_cast<int>(Buff.size()) && Fonts.size() > 1)
        Fonts.pop_back();
    if (!SIndex.empty()) {
        StartCurs = SIndex.front();
        Len = SIndex.back() - SIndex.front() + 1;
    }
}

// ---- layout -------------------------------------------------------------

int TSection::fontRunAt(int pos) const
{
    if (Fonts.empty())
        return -1;
    auto it = std::upper_bound(Fonts.begin(), Fonts.end(), pos,
                               [](int p, const TFontObj& f) { return p < f.Pos; });
    return it == Fonts.begin() ? 0 : static_cast<int>(it - Fonts.begin()) - 1;
}

html::TInlineContent TSection::measureChars(TLayoutContext& ctx, int width)
{
    const int n = static_cast<int>(Buff.size());
    m_widths.assign(n, 0);
    m_runs.resize(Fonts.size());
    for (std::size_t r = 0; r < Fonts.size(); ++r) {
        const TFontMetrics& m = ctx.fonts.metrics(Fonts[r].Font);
        m_runs[r] = html::TMeasuredRun{Fonts[r].Pos, &m};
        const int end = r + 1 < Fonts.size() ? Fonts[r + 1].Pos : n;
        for (int i = Fonts[r].Pos; i < end; ++i)
            m_widths[i] = m.width(static_cast<unsigned char>(Buff[i]));
    }
    auto control = m_controls.begin();
    for (html::TInlineObject& o : m_objects) {
        o.placed = false;
        if (o.box) {
            o.box->Measure(ctx, width);
            m_widths[o.pos] = o.box->Floats() ? 0 : o.box->OuterWidth();
        } else {
            TFormControlObj* c = *control++;
            o.controlHeight = c->Height();
            o.controlOnBaseLine = c->PlacementFlag;
            m_widths[o.pos] = c->Width() + 2 * html::kControlMargin;
        }
    }
    return html::TInlineContent{.text = Buff,
                                .widths = m_widths,
                                .runs = m_runs,
                                .objects = m_objects,
                                .baseFont = BaseFont,
                                .align = static_cast<html::TextAlign>(AlignmentCode),
                                .preformatted = Preformatted(),
                                .keepEmptyLine = KeepEmptyLine};
}

void TSection::MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max)
{
    html::inlineWidths(measureChars(ctx, 0), Min, Max);
    Min += Indent;
    Max += Indent;
}

int TSection::DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats)
{
    YPosition = Y;
    const int y = ClearAttr ? floats.clear(Y, ClearAttr) : Y;
    const int left = X + Indent;
    const int right = Preformatted() ? left + WrapWidth(Width) : X + Width;
    const html::TInlineContent content = measureChars(ctx, std::max(0, right - left));
    DrawTop = Y;
    html::TLineBreaker breaker(ctx, content, floats);
    const int bottom = breaker.breakLines(y, left, right, m_lines);

    // Controls belong to their form; they take the places the lines gave them.
    auto control = m_controls.begin();
    for (const html::TInlineObject& o : m_objects) {
        if (o.box)
            continue;
        TFormControlObj* c = *control++;
        if (o.placed) {
            c->Left = o.controlLeft;
            c->Top = o.controlTop;
            c->YPos = c->Top;
        }
    }
    SectionHeight = bottom - YPosition;
    DrawBot = std::max(bottom, breaker.floatBottom());
    return SectionHeight;
}

void TSection::ShiftY(int dy)
{
    TSectionBase::ShiftY(dy);
    DrawTop += dy;
    DrawBot += dy;
    for (LineRec& line : m_lines)
        line.Y += dy;
    for (auto& image : m_images)
        image->Top += dy;
    for (TFormControlObj* c : m_controls) {
        c->Top += dy;
        c->YPos = c->Top;
    }
}

// ---- painting -----------------------------------------------------------

QColor TSection::runColor(TPaintContext& ctx, const TFontObj& run) const
{
    if (!run.UrlTarget)
        return run.Font.Color;
    if (ctx.doc.HoverColoring && ctx.doc.HoverLink == run.UrlTarget)
        return ctx.doc.OverColor;
    return run.UrlTarget->Visited ? ctx.doc.VisitedColor : ctx.doc.HotSpotColor;
}

void TSection::Draw(TPaintContext& ctx)
{
    DrawMarker(ctx);
    for (const LineRec& line : m_lines)
        if (ctx.visible(line.Y, line.Y + line.LineHt))
            drawLine(ctx, line);
    for (auto& image : m_images)
        if (ctx.visible(image->Top - image->BorderWidth(),
                        image->Top + image->ObjHeight + image->BorderWidth()))
            image->Draw(ctx);
    for (TFormControlObj* c : m_controls)
        if (ctx.visible(c->Top, c->Top + c->Height()))
            c->Place(ctx, c->Left + ctx.dx, c->Top + ctx.dy);
}

void TSection::drawLine(TPaintContext& ctx, const LineRec& line)
{
    const int from = line.Start;
    const int to = line.Start + line.Ln;
    const int selStart = ctx.doc.SelStart;
    const int selEnd = ctx.doc.SelEnd;
    const bool anySelection = selStart < selEnd && !ctx.printing;
    QPainter& p = ctx.painter;
    int x = line.X;
    int r = fontRunAt(from);
    int i = from;
    while (i < to && r >= 0) {
        const int runEnd = std::min<int>(
            to, r + 1 < static_cast<int>(Fonts.size()) ? Fonts[r + 1].Pos : Buff.size());
        const TFontObj& run = Fonts[r];
        const TFontMetrics& m = *m_runs[r].metrics;
        int shift = 0;
        if (run.Font.Script == TMyFont::Superscript)
            shift = -m.ascent / 2;
        else if (run.Font.Script == TMyFont::Subscript)
            shift = m.descent;
        while (i < runEnd) {
            if (isSpecial(Buff[i])) {
                if (anySelection && Buff[i] == kObjectMark && SIndex[i] >= selStart &&
                    SIndex[i] < selEnd)
                    p.fillRect(x + ctx.dx, line.Y + ctx.dy, m_widths[i], line.LineHt,
                               ctx.doc.SelectionColor);
                x += m_widths[i];
                ++i;
                continue;
            }
            const bool selected = anySelection && SIndex[i] >= selStart && SIndex[i] < selEnd;
            int j = i;
            int w = 0;
            while (j < runEnd && !isSpecial(Buff[j]) &&
                   (anySelection && SIndex[j] >= selStart && SIndex[j] < selEnd) == selected) {
                w += m_widths[j];
                ++j;
            }
            if (selected)
                p.fillRect(x + ctx.dx, line.Y + ctx.dy, w, line.LineHt, ctx.doc.SelectionColor);
            p.setFont(m.font);
            p.setPen(selected ? ctx.doc.SelectionTextColor : runColor(ctx, run));
            p.drawText(QPoint(x + ctx.dx, line.Y + line.BaseLine + shift + ctx.dy),
                       displayText(Buff, i, j, m));
            x += w;
            i = j;
        }
        ++r;
    }
}

// ---- queries ------------------------------------------------------------

bool TSection::HitTest(TLayoutContext& ctx, int x, int y, THitResult& hit)
{
    for (auto& image : m_images) {
        if (image->Contains(x, y)) {
            if (auto* img = dynamic_cast<TImageObj*>(image.get())) {
                hit.image = img;
                hit.imageX = x - img->Left;
                hit.imageY = y - img->Top;
                hit.link = img->Link;
                hit.control = img->FormControl;
            }
            auto pos = image->TextPos;
            if (pos < static_cast<int>(SIndex.size()))
                hit.charIndex = SIndex[pos];
            return true;
        }
    }
    for (TFormControlObj* c : m_controls) {
        if (x >= c->Left && x < c->Left + c->Width() && y >= c->Top && y < c->Top + c->Height()) {
            hit.control = c;
            hit.charIndex = SIndex[c->TextPos];
            return true;
        }
    }
    for (const LineRec& line : m_lines) {
        if (y < line.Y || y >= line.Y + line.LineHt)
            continue;
        if (line.Ln == 0) {
            hit.charIndex = SIndex.empty() ? StartCurs : SIndex.front();
            return true;
        }
        int cx = line.X;
        int i = line.Start;
        const int end = line.Start + line.Ln;
        if (x < cx) {
            hit.charIndex = SIndex[i];
            return true;
        }
        while (i < end && x >= cx + m_widths[i]) {
            cx += m_widths[i];
            ++i;
        }
        if (i >= end) {
            hit.charIndex = SIndex[end - 1] + 1;
            return true;
        }
        hit.charIndex = SIndex[i];
        if (int r = fontRunAt(i); r >= 0)
            hit.link = Fonts[r].UrlTarget;
        return true;
    }
    return false;
}

void TSection::CopyText(int selStart, int selEnd, std::string& out) const
{
    bool any = false;
    for (std::size_t i = 0; i < Buff.size(); ++i) {
        if (SIndex[i] < selStart || SIndex[i] >= selEnd)
            continue;
        const char c = Buff[i];
        any = true;
        if (c == kLineEndMark)
            out.append("\r\n");
        else if (c != kObjectMark && c != kBreakMark)
            out.push_back(c == '\xA0' ? ' ' : c);
    }
    if (any)
        out.append("\r\n");
}

bool TSection::CharPosition(int sourceIndex, int& x, int& y) const
{
    if (SIndex.empty() || sourceIndex < SIndex.front() || sourceIndex > SIndex.back())
        return false;
    auto it = std::lower_bound(SIndex.begin(), SIndex.end(), sourceIndex);
    const int pos = static_cast<int>(it - SIndex.begin());
    for (const LineRec& line : m_lines) {
        if (pos >= line.Start && pos < line.Start + std::max(line.Ln, 1)) {
            x = line.X;
            for (int i = line.Start; i < pos; ++i)
                x += m_widths[i];
            y = line.Y;
            return true;
        }
    }
    return false;
}

namespace html {
std::string dumpText(const std::string& buff, int from, int to);
}

void TSection::Dump(TDumpWriter& out) const
{
    static const char* const kAlign[] = {"", "left", "center", "right"};
    out.line(std::string(KindName()) + " y=" + std::to_string(YPosition) +
             " h=" + std::to_string(SectionHeight) + " indent=" + std::to_string(Indent) +
             " align=" + kAlign[std::clamp(AlignmentCode, 1, 3)] + markerDump());
    out.indent();
    for (const LineRec& line : m_lines)
        out.line("line y=" + std::to_string(line.Y) + " h=" + std::to_string(line.LineHt) +
                 " base=" + std::to_string(line.BaseLine) + " x=" + std::to_string(line.X) +
                 " w=" + std::to_string(line.Width) + " \"" +
                 html::dumpText(Buff, line.Start, line.Start + line.Ln) + "\"");
    for (const auto& image : m_images)
        image->Dump(out);
    for (const TFormControlObj* c : m_controls)
        out.line("control x=" + std::to_string(c->Left) + " y=" + std::to_string(c->Top) +
                 " w=" + std::to_string(c->Width()) + " h=" + std::to_string(c->Height()) +
                 " name=\"" + c->Name + "\"");
    out.outdent();
}
