#pragma once

#include <optional>
#include <QColor>
#include <string_view>

namespace html {

// Reads a colour value: one of the 16 colour names (any case), or a
// hexadecimal red-green-blue number with an optional "#", padded with "0" to
// six digits. Returns nothing when the text is neither, so that the
// attribute is ignored.
std::optional<QColor> parseColor(std::string_view text);

} // namespace html
