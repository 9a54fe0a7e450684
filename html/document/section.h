#pragma once

#include "html/document/font_obj.h"
#include "html/document/section_base.h"
#include "html/layout/line_breaker.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TFloatingObj;
class TFormControlObj;
struct TFontMetrics;

// A run of inline content: text in font runs, with images, panels and form
// controls standing in it as placeholder characters. Laid out into lines.
class TSection : public TSectionBase {
public:
    enum Alignment {
        AlignLeft = static_cast<int>(html::TextAlign::Left),
        AlignCenter = static_cast<int>(html::TextAlign::Center),
        AlignRight = static_cast<int>(html::TextAlign::Right)
    };

    TSection(TSectionList* document, int alignment);
    ~TSection() override;

    // Appends text in a font and link. Outside preformatted text a blank is
    // dropped at the start of the section and after another blank.
    void AddText(std::string_view text, const int* sourceIndex, const TMyFont& font,
                 TUrlTarget* link);
    // Appends an image or panel (owned) or a form control (owned by its form)
    // as one placeholder character.
    void AddObject(std::unique_ptr<TFloatingObj> object, int sourceIndex, const TMyFont& font,
                   TUrlTarget* link);
    void AddControl(TFormControlObj* control, int sourceIndex, const TMyFont& font);
    // A break opportunity of no width (WBR).
    void AddBreakMark(int sourceIndex, const TMyFont& font);
    // Whether anything visible was added.
    bool HasContent() const { return !Buff.empty(); }
    bool EndsWithBlank() const { return !Buff.empty() && Buff.back() == ' '; }
    // Removes blanks at the end (called when the section closes).
    virtual void Finish();

    void MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max) override;
    int DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats) override;
    void ShiftY(int dy) override;
    void Draw(TPaintContext& ctx) override;
    bool HitTest(TLayoutContext& ctx, int x, int y, THitResult& hit) override;
    void CopyText(int selStart, int selEnd, std::string& out) const override;
    bool CharPosition(int sourceIndex, int& x, int& y) const override;
    void Dump(TDumpWriter& out) const override;

    const std::vector<LineRec>& Lines() const { return m_lines; }
    const std::vector<std::unique_ptr<TFloatingObj>>& Images() const { return m_images; }
    const std::vector<TFormControlObj*>& FormControls() const { return m_controls; }

    // The characters (placeholders included) and the source index of each.
    std::string Buff;
    std::vector<int> SIndex;
    TFontList Fonts;
    int AlignmentCode = AlignLeft;
    int ClearAttr = 0; // TFloatList side to clear before the section, 0 for none
    int ListLevel = 0;
    // Set for a section closed by BR: an empty one still takes one line.
    bool KeepEmptyLine = false;
    // The font the section was opened with, for the height of an empty line.
    TMyFont BaseFont;

protected:
    virtual const char* KindName() const { return "section"; }
    virtual std::string markerDump() const { return {}; }
    virtual void DrawMarker(TPaintContext& ctx) {}
    virtual bool Preformatted() const { return false; }
    virtual int WrapWidth(int width) const { return width; }

    // Measures the characters and objects for lines of the given width and
    // returns the content as line breaking sees it.
    html::TInlineContent measureChars(TLayoutContext& ctx, int width);
    int fontRunAt(int pos) const;
    void drawLine(TPaintContext& ctx, const LineRec& line);
    QColor runColor(TPaintContext& ctx, const TFontObj& run) const;

    std::vector<std::unique_ptr<TFloatingObj>> m_images;
    std::vector<TFormControlObj*> m_controls;
    // The images, panels and controls in text order; a control's entry has
    // no box and stands for the next control of m_controls.
    std::vector<html::TInlineObject> m_objects;
    std::vector<LineRec> m_lines;
    // Measured after each layout: per-character widths and font metrics per run.
    std::vector<int> m_widths;
    std::vector<html::TMeasuredRun> m_runs;
    int m_minWidth = 0;
};

// Preformatted text: no wrapping, every line end starts a new line.
class TPreFormated : public TSection {
public:
    static constexpr std::size_t kMaxChars = 20000;
    static constexpr int kNoWrapWidth = 32000;
    static constexpr int kMaxMinWidth = 500;

    explicit TPreFormated(TSectionList* document) : TSection(document, AlignLeft) {}
    void AddPreText(std::string_view text, const int* sourceIndex, const TMyFont& font,
                    TUrlTarget* link);
    void Finish() override;
    void MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max) override;

protected:
    const char* KindName() const override { return "pre"; }
    bool Preformatted() const override { return true; }
    int WrapWidth(int) const override { return kNoWrapWidth; }
};

// An item of a bulleted list: a small circle left of its first line.
class TUListItem : public TSection {
public:
    TUListItem(TSectionList* document, int alignment, int depth, bool plain)
        : TSection(document, alignment), Depth(depth), Plain(plain)
    {
        KeepEmptyLine = true;
    }
    int Depth;
    bool Plain;

protected:
    const char* KindName() const override { return "ulitem"; }
    std::string markerDump() const override;
    void DrawMarker(TPaintContext& ctx) override;
};

// An item of a numbered list: its number, letter or roman numeral and ".".
class TOListItem : public TSection {
public:
    TOListItem(TSectionList* document, int alignment, int number, char style)
        : TSection(document, alignment), Number(number), Style(style)
    {
        KeepEmptyLine = true;
    }
    // The marker text for a number in a numbering style.
    static std::string MarkerText(int number, char style);
    int Number;
    char Style;

protected:
    const char* KindName() const override { return "olitem"; }
    std::string markerDump() const override;
    void DrawMarker(TPaintContext& ctx) override;
};

// A DT or DD of a definition list.
class TDListItem : public TSection {
public:
    TDListItem(TSectionList* document, int alignment) : TSection(document, alignment) {}

protected:
    const char* KindName() const override { return "dlitem"; }
};
