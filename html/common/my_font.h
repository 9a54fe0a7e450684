#pragma once

#include <QColor>
#include <string>

// A document font as the parser describes it: a face, a nominal size on the
// 12-based scale of the markup and the style. The point size follows from
// the document's base size: DefFontSize x NominalSize / 12, so changing the
// base size scales the whole page.
struct TMyFont {
    enum ScriptMode { Normal = 0, Superscript = 1, Subscript = 2 };

    std::string Name;
    int NominalSize = 12;
    bool FixedPitch = false;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    QColor Color = Qt::black;
    int Charset = 0;
    ScriptMode Script = Normal;

    bool operator==(const TMyFont& other) const = default;
};
