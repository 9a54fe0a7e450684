#include "html/document/section.h"

#include "html/document/form_control_obj.h"
#include "html/document/image_obj.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/layout/float_list.h"
#include "platform/ansi.h"

#include <algorithm>
#include <QPainter>

using html::kBreakMark;
using html::kLineEndMark;
using html::kObjectMark;

namespace {

// Form controls keep this much space on either side from the text.
constexpr int kControlMargin = 2;

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
    m_objects.push_back(ObjRef{pos, object.get(), nullptr});
    m_images.push_back(std::move(object));
}

void TSection::AddControl(TFormControlObj* control, int sourceIndex, const TMyFont& font)
{
    const char mark = kObjectMark;
    const int pos = static_cast<int>(Buff.size());
    AddText(std::string_view(&mark, 1), &sourceIndex, font, nullptr);
    control->TextPos = pos;
    m_objects.push_back(ObjRef{pos, nullptr, control});
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

// ---- helpers ------------------------------------------------------------

int TSection::fontRunAt(int pos) const
{
    if (Fonts.empty())
        return -1;
    auto it = std::upper_bound(Fonts.begin(), Fonts.end(), pos,
                               [](int p, const TFontObj& f) { return p < f.Pos; });
    return it == Fonts.begin() ? 0 : static_cast<int>(it - Fonts.begin()) - 1;
}

const TSection::ObjRef* TSection::objectAt(int pos) const
{
    auto it = std::lower_bound(m_objects.begin(), m_objects.end(), pos,
                               [](const ObjRef& o, int p) { return o.pos < p; });
    return it != m_objects.end() && it->pos == pos ? &*it : nullptr;
}

bool TSection::isBreakChar(int pos) const
{
    const char c = Buff[pos];
    return c == ' ' || c == kObjectMark || c == kBreakMark;
}

void TSection::measureChars(TLayoutContext& ctx, int width)
{
    const int n = static_cast<int>(Buff.size());
    m_widths.assign(n, 0);
    m_runMetrics.assign(Fonts.size(), nullptr);
    for (std::size_t r = 0; r < Fonts.size(); ++r) {
        const TFontMetrics& m = ctx.fonts.metrics(Fonts[r].Font);
        m_runMetrics[r] = &m;
        const int end = r + 1 < Fonts.size() ? Fonts[r + 1].Pos : n;
        for (int i = Fonts[r].Pos; i < end; ++i)
            m_widths[i] = m.width(static_cast<unsigned char>(Buff[i]));
    }
    for (const ObjRef& o : m_objects) {
        if (o.image) {
            o.image->Measure(ctx, width);
            m_widths[o.pos] = o.image->Floats() ? 0 : o.image->OuterWidth();
        } else if (o.control) {
            m_widths[o.pos] = o.control->Width() + 2 * kControlMargin;
        }
    }
}

// ---- layout -------------------------------------------------------------

void TSection::MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max)
{
    measureChars(ctx, 0);
    int word = 0, line = 0, widest = 0, total = 0;
    const int n = static_cast<int>(Buff.size());
    for (int i = 0; i < n; ++i) {
        const ObjRef* o = Buff[i] == kObjectMark ? objectAt(i) : nullptr;
        if (o && o->image && o->image->Floats()) {
            // A float takes its own width beside the text.
            widest = std::max(widest, o->image->OuterWidth());
            total += o->image->OuterWidth();
            continue;
        }
        if (isBreakChar(i)) {
            widest = std::max(widest, word);
            word = 0;
            if (Buff[i] == kObjectMark)
                widest = std::max(widest, m_widths[i]);
        } else {
            word += m_widths[i];
        }
        line += m_widths[i];
    }
    widest = std::max(widest, word);
    total += line;
    Min = widest + Indent;
    Max = total + Indent;
}

int TSection::DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats)
{
    YPosition = Y;
    int y = ClearAttr ? floats.clear(Y, ClearAttr) : Y;
    const int left0 = X + Indent;
    const int right0 = Preformatted() ? left0 + WrapWidth(Width) : X + Width;
    measureChars(ctx, std::max(0, right0 - left0));

    const int n = static_cast<int>(Buff.size());
    std::vector<int> cum(n + 1, 0);
    for (int i = 0; i < n; ++i)
        cum[i + 1] = cum[i] + m_widths[i];

    m_lines.clear();
    DrawTop = Y;
    int floatBottom = Y;

    auto placeFloat = [&](TFloatingObj* obj, int top) {
        const int w = obj->OuterWidth();
        const int h = obj->OuterHeight();
        const int bw = obj->BorderWidth();
        int x;
        if (obj->Align == TFloatingObj::AlignLeft) {
            x = floats.leftEdge(top, h, left0);
            floats.add(TFloatList::Left, x, x + w, top, top + h);
        } else {
            x = floats.rightEdge(top, h, right0) - w;
            floats.add(TFloatList::Right, x, x + w, top, top + h);
        }
        obj->Left = x + obj->HSpace + bw;
        obj->Top = top + obj->VSpace + bw;
        floatBottom = std::max(floatBottom, top + h);
    };
    auto floatAt = [&](int pos) -> TFloatingObj* {
        if (Buff[pos] != kObjectMark)
            return nullptr;
        const ObjRef* o = objectAt(pos);
        return o && o->image && o->image->Floats() ? o->image : nullptr;
    };

    if (n == 0 && KeepEmptyLine) {
        const TFontMetrics& m = ctx.fonts.metrics(BaseFont);
        LineRec line;
        line.Y = y;
        line.LineHt = m.height();
        line.BaseLine = m.ascent;
        line.X = left0;
        m_lines.push_back(line);
        y += line.LineHt;
    }

    int pos = 0;
    while (pos < n) {
        // Floats at the start of a line take their place before the line;
        // blanks between them and the text would only indent it.
        bool placed = false;
        while (pos < n) {
            if (TFloatingObj* obj = floatAt(pos)) {
                placeFloat(obj, y);
                placed = true;
                ++pos;
            } else if (Buff[pos] == ' ' && !Preformatted() &&
                       (placed || (pos + 1 < n && floatAt(pos + 1)))) {
                ++pos;
            } else {
                break;
            }
        }
        if (pos >= n)
            break;
        const int run = fontRunAt(pos);
        const int estimate = run >= 0 ? m_runMetrics[run]->height() : 0;
        const int left = floats.leftEdge(y, estimate, left0);
        const int right =
            Preformatted() ? left + WrapWidth(Width) : floats.rightEdge(y, estimate, right0);
        const bool narrowed = left > left0 || right < right0;
        int end = n;
        int next = n;
        if (Preformatted()) {
            end = pos;
            while (end < n && Buff[end] != kLineEndMark)
                ++end;
            next = end < n ? end + 1 : n;
        } else {
            // The most characters that fit, by binary search on the extents.
            const int avail = right - left;
            const int limit = cum[pos] + avail;
            const int fit =
                static_cast<int>(std::upper_bound(cum.begin() + pos + 1, cum.end(), limit) -
                                 cum.begin()) -
                1;
            if (fit < n) {
                if (Buff[fit] == ' ' || (fit > pos && Buff[fit - 1] == ' ')) {
                    end = fit;
                } else {
                    int k = fit - 1;
                    while (k >= pos && !isBreakChar(k))
                        --k;
                    if (k >= pos) {
                        end = k + 1;
                    } else if (narrowed && floats.nextBottom(y) > y) {
                        y = floats.nextBottom(y);
                        continue;
                    } else {
                        // No break before the edge: the whole word goes on
                        // the line and overflows it.
                        end = std::max(fit, pos + 1);
                        while (end < n && !isBreakChar(end))
                            ++end;
                        if (end < n && Buff[end] != ' ' && end == pos)
                            ++end;
                    }
                }
                while (end < n && Buff[end] == ' ')
                    ++end;
                end = std::max(end, pos + 1);
                next = end;
            }
        }
        LineRec line;
        line.Start = pos;
        line.Ln = end - pos;
        line.Y = y;
        placeLine(ctx, line, left, right);
        m_lines.push_back(line);
        y += line.LineHt;
        for (int i = line.Start + 1; i < line.Start + line.Ln; ++i)
            if (TFloatingObj* obj = floatAt(i))
                placeFloat(obj, y);
        pos = next;
    }
    SectionHeight = y - YPosition;
    DrawBot = std::max(y, floatBottom);
    return SectionHeight;
}

void TSection::placeLine(TLayoutContext& ctx, LineRec& line, int left, int right)
{
    const int from = line.Start;
    const int to = line.Start + line.Ln;
    int ascent = 0;
    int descent = 0;
    int firstRun = fontRunAt(from);
    if (firstRun < 0) {
        const TFontMetrics& m = ctx.fonts.metrics(BaseFont);
        ascent = m.ascent;
        descent = m.descent;
    }
    for (int r = std::max(firstRun, 0); r >= 0 && r < static_cast<int>(Fonts.size()); ++r) {
        if (Fonts[r].Pos >= to && r != firstRun)
            break;
        ascent = std::max(ascent, m_runMetrics[r]->ascent);
        descent = std::max(descent, m_runMetrics[r]->descent);
    }
    const int textAscent = ascent;
    const int textDescent = descent;

    // Objects on the line push the line's ascent and descent.
    auto first = std::lower_bound(m_objects.begin(), m_objects.end(), from,
                                  [](const ObjRef& o, int p) { return o.pos < p; });
    for (auto it = first; it != m_objects.end() && it->pos < to; ++it) {
        if (it->image && !it->image->Floats()) {
            const int h = it->image->OuterHeight();
            switch (it->image->Align) {
            case TFloatingObj::AlignMiddle: {
                const int above = h / 2 + textAscent / 3;
                ascent = std::max(ascent, above);
                descent = std::max(descent, h - above);
                break;
            }
            case TFloatingObj::AlignTop:
                break;
            default:
                ascent = std::max(ascent, h);
                break;
            }
        } else if (it->control) {
            const int h = it->control->Height();
            ascent = std::max(ascent, it->control->PlacementFlag ? h : h - textDescent);
        }
    }
    for (auto it = first; it != m_objects.end() && it->pos < to; ++it)
        if (it->image && !it->image->Floats() && it->image->Align == TFloatingObj::AlignTop)
            descent = std::max(descent, it->image->OuterHeight() - ascent);

    line.LineHt = ascent + descent;
    line.BaseLine = ascent;

    int width = 0;
    int last = to;
    while (last > from && (Buff[last - 1] == ' ' || Buff[last - 1] == kLineEndMark))
        --last;
    for (int i = from; i < last; ++i)
        width += m_widths[i];
    line.Width = width;
    switch (AlignmentCode) {
    case AlignCenter:
        line.X = std::max(left, left + (right - left - width) / 2);
        break;
    case AlignRight:
        line.X = std::max(left, right - width - 1);
        break;
    default:
        line.X = left;
    }

    // Place the objects now that the base line is known.
    const int base = line.Y + line.BaseLine;
    int x = line.X;
    auto obj = first;
    for (int i = from; i < to; ++i) {
        if (obj != m_objects.end() && obj->pos == i) {
            if (obj->image && !obj->image->Floats()) {
                TFloatingObj* img = obj->image;
                const int bw = img->BorderWidth();
                const int h = img->OuterHeight();
                int outerTop;
                switch (img->Align) {
                case TFloatingObj::AlignMiddle:
                    outerTop = base - (h / 2 + textAscent / 3);
                    break;
                case TFloatingObj::AlignTop:
                    outerTop = line.Y;
                    break;
                default:
                    outerTop = base - h;
                }
                img->Left = x + img->HSpace + bw;
                img->Top = outerTop + img->VSpace + bw;
            } else if (obj->control) {
                TFormControlObj* c = obj->control;
                c->Left = x + kControlMargin;
                c->Top = c->PlacementFlag ? base - c->Height() : base + textDescent - c->Height();
                c->YPos = c->Top;
            }
            ++obj;
        }
        x += m_widths[i];
    }
    ctx.maxRight = std::max(ctx.maxRight, line.X + width);
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
        const TFontMetrics& m = *m_runMetrics[r];
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
