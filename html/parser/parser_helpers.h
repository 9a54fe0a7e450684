#pragma once

#include "html/common/attribute.h"
#include "html/document/section.h"

#include <algorithm>
#include <array>
#include <string_view>

// What the parts of the parser share: font size tables and small readers.
namespace html::parsing {

// Nominal sizes of FONT SIZE 1-7, and the smaller row used inside PRE.
inline constexpr std::array<int, 7> kFontSizes = {8, 10, 12, 14, 18, 24, 36};
inline constexpr std::array<int, 7> kPreFontSizes = {7, 8, 10, 12, 15, 20, 30};
// The nominal size of the fixed font (TT, CODE, PRE, plain text).
inline constexpr int kFixedNominalSize = 10;

// An ALIGN value as a section alignment, or the fallback.
inline int alignFromText(const TAttribute* a, int fallback)
{
    if (textIs(a, "left"))
        return TSection::AlignLeft;
    if (textIs(a, "center"))
        return TSection::AlignCenter;
    if (textIs(a, "right"))
        return TSection::AlignRight;
    return fallback;
}

// Text of blanks, no-break spaces and line ends only.
inline bool isBlankText(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\xA0' || c == '\r'; });
}

} // namespace html::parsing
