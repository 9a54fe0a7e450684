#pragma once

#include "html/layout/font_cache.h"

#include <QColor>
#include <QPainter>
#include <QRect>
#include <string>

class TSectionList;
class TUrlTarget;
class TImageObj;
class TFormControlObj;
class TSectionBase;

// What layout needs besides the blocks themselves: the document settings
// and the font metrics.
struct TLayoutContext {
    TSectionList& doc;
    TFontCache& fonts;
    // The right-most pixel any line or box reached (overflowing words and
    // wide tables make it exceed the layout width).
    int maxRight = 0;
};

// One paint of a rectangle of the document. The clip rectangle is in
// document coordinates; adding (dx, dy) to a document point gives the point
// on the painter's device.
struct TPaintContext {
    QPainter& painter;
    TSectionList& doc;
    TFontCache& fonts;
    QRect clip;
    int dx = 0;
    int dy = 0;
    QColor background;
    bool printing = false;

    bool visible(int top, int bottom) const { return bottom >= clip.top() && top <= clip.bottom(); }
};

// What lies under a point of the document.
struct THitResult {
    TSectionBase* block = nullptr;
    int charIndex = -1; // source index of the character, -1 when none
    TUrlTarget* link = nullptr;
    TImageObj* image = nullptr;
    int imageX = 0; // the point inside the image
    int imageY = 0;
    TFormControlObj* control = nullptr;
    // For ISMAP images the link URL extended with the point; for USEMAP
    // images the URL and target of the map area under the point.
    std::string url;
    std::string target;
};

// Text dump of the laid-out model, one line per block, line and box.
class TDumpWriter {
public:
    void line(const std::string& text);
    void indent() { ++m_depth; }
    void outdent() { --m_depth; }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    int m_depth = 0;
};
