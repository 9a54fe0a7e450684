#include "html/images/builtin_bitmaps.h"

#include <array>
#include <string_view>

namespace images {

namespace {

using Picture = std::array<std::string_view, kBuiltinBitmapSize>;

// One character per pixel; '.' is transparent.
constexpr Picture kPlaceholder{{
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KSSSSSSSSSSSSK.",
    ".KSSSSSSSSSYYSK.",
    ".KSSWWSSSSYYYYK.",
    ".KSWWWWSSSYYYYK.",
    ".KSSSSSSSSSYYSK.",
    ".KSSSSSSGSSSSSK.",
    ".KSSSSSGGGSSSSK.",
    ".KSSSSGGGGGSSDK.",
    ".KSSSGGGGGGGDDK.",
    ".KSSGGGGGGGDDDK.",
    ".KSGGGGGGGDDDDK.",
    ".KGGGGGGGDDDDDK.",
    ".KKKKKKKKKKKKKK.",
    "................",
}};

constexpr Picture kError{{
    "................",
    "...KKKKKKKK.....",
    "...KWWWWWWKK....",
    "...KWWWWWWKWK...",
    "...KWWWWWWKKKK..",
    "...KWRRWWWWRRK..",
    "...KWRRRWWRRRK..",
    "...KWWRRRRRRWK..",
    "...KWWWRRRRWWK..",
    "...KWWWRRRRWWK..",
    "...KWWRRRRRRWK..",
    "...KWRRRWWRRRK..",
    "...KWRRWWWWRRK..",
    "...KWWWWWWWWWK..",
    "...KKKKKKKKKKK..",
    "................",
}};

QRgb colorOf(char code)
{
    switch (code) {
    case 'K':
        return qRgb(64, 64, 64); // outline
    case 'S':
        return qRgb(166, 206, 240); // sky
    case 'Y':
        return qRgb(255, 214, 0); // sun
    case 'W':
        return qRgb(255, 255, 255); // cloud, paper
    case 'G':
        return qRgb(76, 160, 60); // hill
    case 'D':
        return qRgb(40, 110, 40); // hill in shade
    case 'R':
        return qRgb(220, 0, 0); // cross
    default:
        return 0; // transparent
    }
}

QImage paint(const Picture& picture)
{
    QImage image(kBuiltinBitmapSize, kBuiltinBitmapSize, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < kBuiltinBitmapSize; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kBuiltinBitmapSize; ++x)
            line[x] = colorOf(picture[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
    }
    return image;
}

constexpr bool allRowsComplete(const Picture& picture)
{
    for (std::string_view row : picture)
        if (row.size() != kBuiltinBitmapSize)
            return false;
    return true;
}
static_assert(allRowsComplete(kPlaceholder) && allRowsComplete(kError));

} // namespace

const QImage& placeholderBitmap()
{
    static const QImage image = paint(kPlaceholder);
    return image;
}

const QImage& errorBitmap()
{
    static const QImage image = paint(kError);
    return image;
}

} // namespace images
