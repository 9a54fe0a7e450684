#pragma once

#include "html/common/my_font.h"
#include "html/layout/layout_context.h"

#include <string>
#include <vector>

class TFloatingObj;
class TFloatList;
struct TFontMetrics;

// One laid-out line of a section.
struct LineRec {
    int Start = 0;    // index of the first character in the section's text
    int Ln = 0;       // number of characters, trailing blanks included
    int Y = 0;        // top of the line
    int LineHt = 0;   // height
    int BaseLine = 0; // distance from the top to the text base line
    int X = 0;        // left of the first character
    int Width = 0;    // width of the characters without trailing blanks
};

namespace html {

// Form controls keep this much space on either side from the text.
inline constexpr int kControlMargin = 2;

// How the lines of a block sit between their left and right edges.
enum class TextAlign { Left = 1, Center = 2, Right = 3 };

// A font run of a block's text after measuring: where it starts and the
// metrics of its font.
struct TMeasuredRun {
    int pos = 0;
    const TFontMetrics* metrics = nullptr;
};

// An object standing in the text as one placeholder character: an image or
// panel (a box that may float), or a form control, of which line breaking
// needs only the height. Layout places a box itself and leaves a control's
// top left corner here for its owner to take.
struct TInlineObject {
    int pos = 0;
    TFloatingObj* box = nullptr;
    int controlHeight = 0;
    // The control's bottom sits on the base line rather than on the text's
    // descent.
    bool controlOnBaseLine = false;
    bool placed = false;
    int controlLeft = 0;
    int controlTop = 0;
};

// The inline content of a block, measured for the width at hand: the
// characters (placeholders included), the advance of each, the font runs
// and the objects in text order.
struct TInlineContent {
    const std::string& text;
    const std::vector<int>& widths;
    const std::vector<TMeasuredRun>& runs;
    std::vector<TInlineObject>& objects;
    // The font an empty line or a line without runs is as high as.
    const TMyFont& baseFont;
    TextAlign align = TextAlign::Left;
    // Preformatted text breaks at line ends only.
    bool preformatted = false;
    // An empty block still takes one line.
    bool keepEmptyLine = false;
};

// The narrowest width the content takes without overflowing (its widest
// word, object or float) and the width it takes when nothing wraps, floats
// beside it included.
void inlineWidths(const TInlineContent& content, int& min, int& max);

// The width of the longest line of preformatted content.
int widestPreformattedLine(const TInlineContent& content);

// Breaks inline content into lines between the floats of its cell. A
// float found at the start of a line is placed before the line, one found
// in the middle of a line below it; a line narrowed by floats that cannot
// hold its next word moves below the next float end; a word wider than the
// line overflows it.
class TLineBreaker {
public:
    TLineBreaker(TLayoutContext& ctx, const TInlineContent& content, TFloatList& floats)
        : m_ctx(ctx), m_content(content), m_floats(floats)
    {
    }

    // Lays the lines out from y down in the band between left and right
    // and returns the y below the last line.
    int breakLines(int y, int left, int right, std::vector<LineRec>& lines);
    // The lowest bottom of the floats placed so far, at least the top the
    // lines started at.
    int floatBottom() const { return m_floatBottom; }

private:
    const TInlineObject* objectAt(int pos) const;
    // The float whose placeholder is at pos, or null. Asked for every
    // character of every line, so the common case stays inline.
    TFloatingObj* floatAt(int pos) const
    {
        return m_content.text[pos] == kObjectMark ? floatObjectAt(pos) : nullptr;
    }
    TFloatingObj* floatObjectAt(int pos) const;
    int runAt(int pos) const;
    bool isBreakChar(int pos) const;
    // Where the line after pos ends: the characters that fit between left
    // and right, or -1 when the line must move below the next float end.
    int lineEnd(int pos, int y, int left, int right, bool narrowed, int& next) const;
    void placeFloat(TFloatingObj* obj, int top);
    // The line's height and base line from its fonts and objects, its
    // alignment, and the places of the objects on it.
    void placeLine(LineRec& line, int left, int right);

    TLayoutContext& m_ctx;
    const TInlineContent& m_content;
    TFloatList& m_floats;
    // Running sums of the advances: cum[i] is the width of text[0, i).
    std::vector<int> m_cum;
    int m_left0 = 0;
    int m_right0 = 0;
    int m_floatBottom = 0;
};

} // namespace html
