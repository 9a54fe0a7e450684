// Colour reduction for displays of 8 bits per pixel or less.
#include "html/images/color_quantizer.h"

#include <gtest/gtest.h>
#include <QColor>
#include <set>

namespace {

QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / (width - 1), y * 255 / (height - 1), 128));
    return image;
}

double meanLightness(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    return sum / (image.width() * image.height());
}

} // namespace

TEST(ColorQuantizer, KeepsPicturesThatAlreadyFit)
{
    QImage image(3, 2, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                            qRgb(255, 0, 0), qRgb(7, 7, 7),   qRgb(250, 250, 250)};
    for (int i = 0; i < 6; ++i)
        image.setPixel(i % 3, i / 3, colours[i]);
    const std::vector<QRgb> palette = images::octreePalette(image, 16);
    EXPECT_EQ(std::set<QRgb>(palette.begin(), palette.end()),
              std::set<QRgb>(std::begin(colours), std::end(colours)));
    const QImage reduced = images::ditherToPalette(image, palette);
    ASSERT_EQ(reduced.format(), QImage::Format_Indexed8);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(reduced.pixel(i % 3, i / 3), colours[i]) << "no dithering noise on exact colours";
}

TEST(ColorQuantizer, PaletteNeverExceedsTheLimit)
{
    const QImage image = gradient(64, 64);
    for (int limit : {1, 2, 16, 255, 256}) {
        SCOPED_TRACE(limit);
        const std::vector<QRgb> palette = images::octreePalette(image, limit);
        EXPECT_GE(palette.size(), 1u);
        EXPECT_LE(palette.size(), static_cast<std::size_t>(limit));
    }
}

// Dithering onto black and white keeps the average brightness of a grey
// ramp, which is what makes shades readable on a poor display.
TEST(ColorQuantizer, DitheringKeepsAverageBrightness)
{
    QImage ramp(128, 16, QImage::Format_RGB32);
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x)
            ramp.setPixel(x, y, qRgb(x * 2, x * 2, x * 2));
    const QImage reduced = images::ditherToPalette(ramp, {qRgb(0, 0, 0), qRgb(255, 255, 255)});
    EXPECT_NEAR(meanLightness(reduced), meanLightness(ramp), 3.0);
    // And the left and right quarters stay dark and light.
    EXPECT_LT(meanLightness(reduced.copy(0, 0, 32, 16)), 64);
    EXPECT_GT(meanLightness(reduced.copy(96, 0, 32, 16)), 192);
}

TEST(ColorQuantizer, ReduceForDisplayFollowsTheDepth)
{
    const QImage image = gradient(50, 40);
    EXPECT_EQ(images::reduceForDisplay(image, 24), image)
        << "deep displays get the picture as it is";
    for (int depth : {1, 4, 8}) {
        SCOPED_TRACE(depth);
        const QImage reduced = images::reduceForDisplay(image, depth);
        ASSERT_EQ(reduced.format(), QImage::Format_Indexed8);
        EXPECT_EQ(reduced.size(), image.size());
        std::set<int> used;
        for (int y = 0; y < reduced.height(); ++y)
            for (int x = 0; x < reduced.width(); ++x)
                used.insert(reduced.pixelIndex(x, y));
        EXPECT_LE(used.size(), static_cast<std::size_t>(1 << depth));
    }
}

TEST(ColorQuantizer, TransparencySurvivesReduction)
{
    QImage image = gradient(20, 20).convertToFormat(QImage::Format_ARGB32);
    image.setPixel(3, 4, qRgba(0, 0, 0, 0));
    image.setPixel(19, 19, qRgba(255, 255, 255, 10));
    const QImage reduced = images::reduceForDisplay(image, 4);
    ASSERT_FALSE(reduced.isNull());
    EXPECT_EQ(qAlpha(reduced.pixel(3, 4)), 0);
    EXPECT_EQ(qAlpha(reduced.pixel(19, 19)), 0);
    EXPECT_EQ(qAlpha(reduced.pixel(10, 10)), 255);
    EXPECT_LE(reduced.colorCount(), 16);
}
