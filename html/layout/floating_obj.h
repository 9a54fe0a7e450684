#pragma once

#include "html/layout/layout_context.h"

#include <optional>
#include <string>

namespace html {
struct Length;
}

// Something that stands in a section's text as one placeholder character and
// takes a box on the line (or beside it, when it floats): an image or a
// panel.
class TFloatingObj {
public:
    // Vertical placement on the line, or a float to one side.
    enum AlignKind {
        AlignTop = 0,
        AlignMiddle = 1,
        AlignBottom = 2,
        AlignLeft = 3,
        AlignRight = 4
    };

    virtual ~TFloatingObj() = default;

    // Works out ObjWidth and ObjHeight for the width available to the line.
    virtual void Measure(TLayoutContext& ctx, int availableWidth) = 0;
    virtual void Draw(TPaintContext& ctx) = 0;
    virtual void Dump(TDumpWriter& out) const = 0;

    bool Floats() const { return Align == AlignLeft || Align == AlignRight; }
    // The width the object takes on its line, its spaces and border included.
    int OuterWidth() const { return ObjWidth + 2 * (HSpace + BorderWidth()); }
    int OuterHeight() const { return ObjHeight + 2 * (VSpace + BorderWidth()); }
    virtual int BorderWidth() const { return 0; }
    bool Contains(int x, int y) const
    {
        return x >= Left && x < Left + ObjWidth && y >= Top && y < Top + ObjHeight;
    }

    int Align = AlignBottom;
    int HSpace = 0;
    int VSpace = 0;
    // WIDTH as pixels or percent, HEIGHT as pixels; zero when not given.
    int SpecWidth = 0;
    bool SpecWidthPercent = false;
    int SpecHeight = 0;
    int ObjWidth = 0;
    int ObjHeight = 0;
    // Top left corner of the picture after layout, in document pixels.
    int Left = 0;
    int Top = 0;
    // Index of the placeholder character in the section's text.
    int TextPos = 0;
};
