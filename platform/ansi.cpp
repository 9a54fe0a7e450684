#include "ansi.h"

#include <array>

namespace platform {
namespace {

// Unicode code points of bytes 0x80 to 0x9F; the rest of the code page is
// identical to Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char encodeOne(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

QString fromAnsi(std::string_view text)
{
    QString result;
    result.resize(static_cast<qsizetype>(text.size()));
    QChar* out = result.data();
    for (unsigned char byte : text) {
        char16_t c = byte;
        if (byte >= 0x80 && byte < 0xA0)
            c = kHighControls[byte - 0x80];
        *out++ = QChar(c);
    }
    return result;
}

std::string toAnsi(const QString& text)
{
    std::string result;
    result.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text)
        result.push_back(encodeOne(c.unicode()));
    return result;
}

} // namespace platform
