#pragma once

#include "html/layout/layout_context.h"

#include <string>

class TSectionList;
class TFloatList;

// A block of the document: a run of text, a rule, a space, a table. Every
// block lays itself out for a given width, remembers where it went, draws
// itself and says what lies under a point. Coordinates are document pixels.
class TSectionBase {
public:
    explicit TSectionBase(TSectionList* document) : Document(document) {}
    virtual ~TSectionBase() = default;
    TSectionBase(const TSectionBase&) = delete;
    TSectionBase& operator=(const TSectionBase&) = delete;

    // The narrowest width the block can take without overflowing, and the
    // width it takes when nothing wraps.
    virtual void MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max) = 0;
    // Lays the block out with its top left corner at (X, Y) in a band of the
    // given width and returns its height.
    virtual int DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats) = 0;
    // Moves the laid-out block down (table cells aligned in their rows).
    virtual void ShiftY(int dy) { YPosition += dy; }
    virtual void Draw(TPaintContext& ctx) = 0;
    virtual bool HitTest(TLayoutContext& ctx, int x, int y, THitResult& hit) { return false; }
    // Appends the selected characters (source indexes in [selStart, selEnd)).
    virtual void CopyText(int selStart, int selEnd, std::string& out) const {}
    // The document position of a source character, when this block holds it.
    virtual bool CharPosition(int sourceIndex, int& x, int& y) const { return false; }
    virtual void Dump(TDumpWriter& out) const = 0;
    // A block that floats beside the flow instead of taking its own lines.
    virtual int FloatSide() const { return 0; }

    int Bottom() const { return YPosition + SectionHeight; }

    TSectionList* Document;
    int YPosition = 0;
    int SectionHeight = 0;
    // The part of the page the block covers after layout, for clipping.
    int DrawTop = 0;
    int DrawBot = 0;
    // First source index and number of characters, for text positions.
    int StartCurs = 0;
    int Len = 0;
    // Left indent in pixels (list levels, block quotes).
    int Indent = 0;
};
