#pragma once

#include <cstdint>
#include <QByteArray>
#include <QRect>
#include <QRgb>
#include <vector>

// Builds GIF files for the tests with a straightforward compressor of its
// own, so that the decoder is checked against an independent writer.
namespace giftest {

struct FrameRecipe {
    QRect rect;
    std::vector<std::uint8_t> pixels; // rect.width() x rect.height(), top to bottom
    std::vector<QRgb> localPalette;   // empty: use the global table
    bool interlaced = false;
    bool withControl = false; // write a graphic control extension
    int transparentIndex = -1;
    int delayCs = 0; // 1/100 s
    int disposal = 0;
};

struct GifRecipe {
    int width = 0;
    int height = 0;
    std::vector<QRgb> globalPalette; // size a power of two from 2 to 256, or empty
    int loopCount = -1;              // -1: no loop extension
    std::vector<FrameRecipe> frames;
    int minCodeSize = 0;       // 0: from the palette size
    bool clearWhenFull = true; // false: keep coding with a full table
    bool trailer = true;
};

QByteArray writeGif(const GifRecipe& recipe);

// The code stream alone, packed into sub-blocks with their terminator.
QByteArray compress(const std::vector<std::uint8_t>& indexes, int minCodeSize, bool clearWhenFull);

// A palette of `count` distinct colours.
std::vector<QRgb> rampPalette(int count);

} // namespace giftest
