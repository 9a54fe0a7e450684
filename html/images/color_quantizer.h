#pragma once

#include <QImage>
#include <QRgb>
#include <vector>

// Colour reduction for displays of 8 bits per pixel or less: an octree
// quantizer picks the colours that represent a picture best, and
// Floyd-Steinberg error diffusion maps the picture onto them so that smooth
// shades stay smooth. On deeper displays pictures are drawn as decoded.
namespace images {

// At most `maxColors` (1 to 256) colours representing the opaque pixels of
// `image`. A picture with no more distinct colours than that gets exactly
// its own colours. Pixels less than half opaque are not counted.
std::vector<QRgb> octreePalette(const QImage& image, int maxColors);

// `image` as Format_Indexed8 over `palette` (at most 255 entries), with
// Floyd-Steinberg dithering. Pixels less than half opaque map to an extra,
// fully transparent entry appended to the table.
QImage ditherToPalette(const QImage& image, const std::vector<QRgb>& palette);

// The picture as a display of `depth` bits per pixel can show it: unchanged
// for depths above 8, otherwise reduced to 2^depth colours (one of them
// transparent when the picture has transparent pixels) and dithered.
QImage reduceForDisplay(const QImage& image, int depth);

} // namespace images
