#pragma once

#include "html/common/my_font.h"

#include <array>
#include <map>
#include <memory>
#include <QFont>
#include <string_view>
#include <tuple>

// Metrics of one concrete font: its ascent, descent and the advance of each
// of the 256 byte values of the document's code page. Text extents are sums
// of these advances, which makes measuring a line cheap and lets painting
// place every run exactly where layout measured it.
struct TFontMetrics {
    QFont font;
    int ascent = 0;
    int descent = 0;
    std::array<int, 256> widths{};
    const std::array<char16_t, 256>* codePage = nullptr;

    int height() const { return ascent + descent; }
    int width(unsigned char c) const { return widths[c]; }
    int textWidth(std::string_view text) const;
};

// Fonts in use by one document, made once per distinct face, size and
// style. Point sizes turn into pixel sizes at 96 dots per inch so that
// layout does not depend on the screen.
class TFontCache {
public:
    static constexpr int kDotsPerInch = 96;
    static constexpr int kPointsPerInch = 72;

    explicit TFontCache(int defFontSize = 12) : m_defFontSize(defFontSize) {}

    void setDefFontSize(int size);
    int defFontSize() const { return m_defFontSize; }

    // Metrics of a document font (nominal size scaled by DefFontSize).
    const TFontMetrics& metrics(const TMyFont& font);
    // Metrics of a font given directly in points (ALT texts, form fields).
    const TFontMetrics& metrics(const std::string& name, double points, bool bold = false,
                                bool italic = false, int charset = 0);

    int pixelSize(double points) const;

private:
    using Key = std::tuple<std::string, int, bool, bool, bool, bool, int>;
    const TFontMetrics& find(const Key& key, bool fixedPitch);
    std::map<Key, std::unique_ptr<TFontMetrics>> m_fonts;
    int m_defFontSize;
};

namespace html {

// The characters of a font character set's single-byte code page (0 is the
// program's own code page).
const std::array<char16_t, 256>& codePageTable(int charset);

// Characters the layout uses inside section text that the source never
// yields (control characters are dropped while reading): an image, panel or
// form control stands in the text as kObjectMark; kBreakMark is a break
// opportunity of no width (WBR).
inline constexpr char kObjectMark = '\x01';
inline constexpr char kBreakMark = '\x02';
inline constexpr char kLineEndMark = '\r';

} // namespace html
