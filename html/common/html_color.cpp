#include "html/common/html_color.h"

#include "base/ascii.h"
#include "html/common/text_util.h"

#include <array>
#include <utility>

namespace html {

std::optional<QColor> parseColor(std::string_view text)
{
    static constexpr std::array<std::pair<std::string_view, unsigned>, 16> kNames = {{
        {"BLACK", 0x000000},
        {"MAROON", 0x800000},
        {"GREEN", 0x008000},
        {"OLIVE", 0x808000},
        {"NAVY", 0x000080},
        {"PURPLE", 0x800080},
        {"TEAL", 0x008080},
        {"GRAY", 0x808080},
        {"SILVER", 0xC0C0C0},
        {"RED", 0xFF0000},
        {"LIME", 0x00FF00},
        {"YELLOW", 0xFFFF00},
        {"BLUE", 0x0000FF},
        {"FUCHSIA", 0xFF00FF},
        {"AQUA", 0x00FFFF},
        {"WHITE", 0xFFFFFF},
    }};
    const std::string upper = base::toUpper(text);
    for (const auto& [name, rgb] : kNames)
        if (upper == name)
            return QColor::fromRgb(rgb);

    std::string hex = upper;
    if (auto hash = hex.find('#'); hash != std::string::npos)
        hex.erase(hash, 1);
    if (hex.empty() || hex.size() > 6)
        return std::nullopt;
    while (hex.size() < 6)
        hex.push_back('0');
    unsigned rgb = 0;
    for (char c : hex) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        rgb = rgb * 16 + static_cast<unsigned>(digit);
    }
    return QColor::fromRgb(rgb);
}

} // namespace html
