#include "html/layout/line_breaker.h"

#include "html/layout/float_list.h"
#include "html/layout/floating_obj.h"
#include "html/layout/font_cache.h"

#include <algorithm>

namespace html {

namespace {

const TInlineObject* findObject(const std::vector<TInlineObject>& objects, int pos)
{
    auto it = std::lower_bound(objects.begin(), objects.end(), pos,
                               [](const TInlineObject& o, int p) { return o.pos < p; });
    return it != objects.end() && it->pos == pos ? &*it : nullptr;
}

bool breaksAt(char c)
{
    return c == ' ' || c == kObjectMark || c == kBreakMark;
}

} // namespace

void inlineWidths(const TInlineContent& content, int& min, int& max)
{
    const std::string& text = content.text;
    int word = 0, line = 0, widest = 0, total = 0;
    const int n = static_cast<int>(text.size());
    for (int i = 0; i < n; ++i) {
        const TInlineObject* o = text[i] == kObjectMark ? findObject(content.objects, i) : nullptr;
        if (o && o->box && o->box->Floats()) {
            // A float takes its own width beside the text.
            widest = std::max(widest, o->box->OuterWidth());
            total += o->box->OuterWidth();
            continue;
        }
        if (breaksAt(text[i])) {
            widest = std::max(widest, word);
            word = 0;
            if (text[i] == kObjectMark)
                widest = std::max(widest, content.widths[i]);
        } else {
            word += content.widths[i];
        }
        line += content.widths[i];
    }
    widest = std::max(widest, word);
    total += line;
    min = widest;
    max = total;
}

int widestPreformattedLine(const TInlineContent& content)
{
    int widest = 0;
    int line = 0;
    for (std::size_t i = 0; i < content.text.size(); ++i) {
        if (content.text[i] == kLineEndMark) {
            widest = std::max(widest, line);
            line = 0;
        } else {
            line += content.widths[i];
        }
    }
    return std::max(widest, line);
}

const TInlineObject* TLineBreaker::objectAt(int pos) const
{
    return findObject(m_content.objects, pos);
}

TFloatingObj* TLineBreaker::floatObjectAt(int pos) const
{
    const TInlineObject* o = objectAt(pos);
    return o && o->box && o->box->Floats() ? o->box : nullptr;
}

int TLineBreaker::runAt(int pos) const
{
    const std::vector<TMeasuredRun>& runs = m_content.runs;
    if (runs.empty())
        return -1;
    auto it = std::upper_bound(runs.begin(), runs.end(), pos,
                               [](int p, const TMeasuredRun& r) { return p < r.pos; });
    return it == runs.begin() ? 0 : static_cast<int>(it - runs.begin()) - 1;
}

bool TLineBreaker::isBreakChar(int pos) const
{
    return breaksAt(m_content.text[pos]);
}

void TLineBreaker::placeFloat(TFloatingObj* obj, int top)
{
    const int w = obj->OuterWidth();
    const int h = obj->OuterHeight();
    const int bw = obj->BorderWidth();
    int x;
    if (obj->Align == TFloatingObj::AlignLeft) {
        x = m_floats.leftEdge(top, h, m_left0);
        m_floats.add(TFloatList::Left, x, x + w, top, top + h);
    } else {
        x = m_floats.rightEdge(top, h, m_right0) - w;
        m_floats.add(TFloatList::Right, x, x + w, top, top + h);
    }
    obj->Left = x + obj->HSpace + bw;
    obj->Top = top + obj->VSpace + bw;
    m_floatBottom = std::max(m_floatBottom, top + h);
}

int TLineBreaker::breakLines(int y, int left0, int right0, std::vector<LineRec>& lines)
{
    const std::string& text = m_content.text;
    const bool pre = m_content.preformatted;
    const int n = static_cast<int>(text.size());
    m_left0 = left0;
    m_right0 = right0;
    m_floatBottom = y;
    m_cum.assign(n + 1, 0);
    for (int i = 0; i < n; ++i)
        m_cum[i + 1] = m_cum[i] + m_content.widths[i];

    lines.clear();
    if (n == 0 && m_content.keepEmptyLine) {
        const TFontMetrics& m = m_ctx.fonts.metrics(m_content.baseFont);
        LineRec line;
        line.Y = y;
        line.LineHt = m.height();
        line.BaseLine = m.ascent;
        line.X = left0;
        lines.push_back(line);
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
            } else if (text[pos] == ' ' && !pre && (placed || (pos + 1 < n && floatAt(pos + 1)))) {
                ++pos;
            } else {
                break;
            }
        }
        if (pos >= n)
            break;
        const int run = runAt(pos);
        const int estimate = run >= 0 ? m_content.runs[run].metrics->height() : 0;
        const int left = m_floats.leftEdge(y, estimate, left0);
        const int right = pre ? left + (right0 - left0) : m_floats.rightEdge(y, estimate, right0);
        const bool narrowed = left > left0 || right < right0;
        int next = n;
        const int end = lineEnd(pos, y, left, right, narrowed, next);
        if (end < 0) {
            y = m_floats.nextBottom(y);
            continue;
        }
        LineRec line;
        line.Start = pos;
        line.Ln = end - pos;
        line.Y = y;
        placeLine(line, left, right);
        lines.push_back(line);
        y += line.LineHt;
        for (int i = line.Start + 1; i < line.Start + line.Ln; ++i)
            if (TFloatingObj* obj = floatAt(i))
                placeFloat(obj, y);
        pos = next;
    }
    return y;
}

int TLineBreaker::lineEnd(int pos, int y, int left, int right, bool narrowed, int& next) const
{
    const std::string& text = m_content.text;
    const int n = static_cast<int>(text.size());
    int end = n;
    next = n;
    if (m_content.preformatted) {
        end = pos;
        while (end < n && text[end] != kLineEndMark)
            ++end;
        next = end < n ? end + 1 : n;
        return end;
    }
    // The most characters that fit, by binary search on the extents.
    const int avail = right - left;
    const int limit = m_cum[pos] + avail;
    const int fit = static_cast<int>(std::upper_bound(m_cum.begin() + pos + 1, m_cum.end(), limit) -
                                     m_cum.begin()) -
                    1;
    if (fit >= n)
        return end;
    if (text[fit] == ' ' || (fit > pos && text[fit - 1] == ' ')) {
        end = fit;
    } else {
        int k = fit - 1;
        while (k >= pos && !isBreakChar(k))
            --k;
        if (k >= pos) {
            end = k + 1;
        } else if (narrowed && m_floats.nextBottom(y) > y) {
            return -1;
        } else {
            // No break before the edge: the whole word goes on the line and
            // overflows it.
            end = std::max(fit, pos + 1);
            while (end < n && !isBreakChar(end))
                ++end;
            if (end < n && text[end] != ' ' && end == pos)
                ++end;
        }
    }
    while (end < n && text[end] == ' ')
        ++end;
    end = std::max(end, pos + 1);
    next = end;
    return end;
}

void TLineBreaker::placeLine(LineRec& line, int left, int right)
{
    const std::string& text = m_content.text;
    const std::vector<TMeasuredRun>& runs = m_content.runs;
    std::vector<TInlineObject>& objects = m_content.objects;
    const int from = line.Start;
    const int to = line.Start + line.Ln;
    int ascent = 0;
    int descent = 0;
    int firstRun = runAt(from);
    if (firstRun < 0) {
        const TFontMetrics& m = m_ctx.fonts.metrics(m_content.baseFont);
        ascent = m.ascent;
        descent = m.descent;
    }
    for (int r = std::max(firstRun, 0); r >= 0 && r < static_cast<int>(runs.size()); ++r) {
        if (runs[r].pos >= to && r != firstRun)
            break;
        ascent = std::max(ascent, runs[r].metrics->ascent);
        descent = std::max(descent, runs[r].metrics->descent);
    }
    const int textAscent = ascent;
    const int textDescent = descent;

    // Objects on the line push the line's ascent and descent.
    auto first = std::lower_bound(objects.begin(), objects.end(), from,
                                  [](const TInlineObject& o, int p) { return o.pos < p; });
    for (auto it = first; it != objects.end() && it->pos < to; ++it) {
        if (it->box && !it->box->Floats()) {
            const int h = it->box->OuterHeight();
            switch (it->box->Align) {
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
        } else if (!it->box) {
            const int h = it->controlHeight;
            ascent = std::max(ascent, it->controlOnBaseLine ? h : h - textDescent);
        }
    }
    for (auto it = first; it != objects.end() && it->pos < to; ++it)
        if (it->box && !it->box->Floats() && it->box->Align == TFloatingObj::AlignTop)
            descent = std::max(descent, it->box->OuterHeight() - ascent);

    line.LineHt = ascent + descent;
    line.BaseLine = ascent;

    int width = 0;
    int last = to;
    while (last > from && (text[last - 1] == ' ' || text[last - 1] == kLineEndMark))
        --last;
    for (int i = from; i < last; ++i)
        width += m_content.widths[i];
    line.Width = width;
    switch (m_content.align) {
    case TextAlign::Center:
        line.X = std::max(left, left + (right - left - width) / 2);
        break;
    case TextAlign::Right:
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
        if (obj != objects.end() && obj->pos == i) {
            if (obj->box && !obj->box->Floats()) {
                TFloatingObj* img = obj->box;
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
            } else if (!obj->box) {
                obj->controlLeft = x + kControlMargin;
                obj->controlTop = obj->controlOnBaseLine ? base - obj->controlHeight
                                                         : base + textDescent - obj->controlHeight;
                obj->placed = true;
            }
            ++obj;
        }
        x += m_content.widths[i];
    }
    m_ctx.maxRight = std::max(m_ctx.maxRight, line.X + width);
}

} // namespace html
