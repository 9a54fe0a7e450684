// The GIF decoder against files built by an independent writer, against
// hand-made bytes, and against damaged data.
#include "gif_test_writer.h"
#include "html/images/gif_composer.h"
#include "html/images/gif_image.h"

#include <gtest/gtest.h>
#include <QImage>
#include <random>

using giftest::FrameRecipe;
using giftest::GifRecipe;

namespace {

// The smallest transparent GIF found on many web pages: 1 x 1, one
// transparent pixel.
const QByteArray kSpacerGif = QByteArray::fromHex("474946383961010001008000000000"
                                                  "00ffffff"
                                                  "21f90401000000"
                                                  "00"
                                                  "2c00000000010001000002024401003b");

std::vector<std::uint8_t> pattern(int w, int h, int colours, int seed)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w * h));
    std::mt19937 random(static_cast<unsigned>(seed));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            // Runs of equal pixels mixed with noise, so that codes of every
            // length appear.
            pixels[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint8_t>(
                (x / 3 + y / 2 + (random() % 4 == 0 ? random() : 0)) % colours);
    return pixels;
}

GifRecipe singleFrame(int w, int h, int colours, int seed)
{
    GifRecipe recipe;
    recipe.width = w;
    recipe.height = h;
    recipe.globalPalette = giftest::rampPalette(colours);
    FrameRecipe frame;
    frame.rect = QRect(0, 0, w, h);
    frame.pixels = pattern(w, h, colours, seed);
    recipe.frames.push_back(frame);
    return recipe;
}

// Checks that `image` shows exactly `pixels` through `palette`.
void expectPixels(const QImage& image, const QRect& rect, const std::vector<std::uint8_t>& pixels,
                  const std::vector<QRgb>& palette)
{
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < rect.width(); ++x) {
            const QRgb want = palette[pixels[static_cast<std::size_t>(y * rect.width() + x)]];
            ASSERT_EQ(image.pixel(rect.left() + x, rect.top() + y), want) << "at " << x << "," << y;
        }
}

void expectCorrupt(const QByteArray& data)
{
    try {
        TGIFImage gif(data);
        FAIL() << "decoded " << gif.FrameCount() << " frames";
    } catch (const EGifError& e) {
        EXPECT_STREQ(e.what(), "Corrupt GIF Image");
    }
}

} // namespace

TEST(GifImage, DecodesTheOnePixelSpacerAsTransparent)
{
    TGIFImage gif(kSpacerGif);
    EXPECT_EQ(gif.Width(), 1);
    EXPECT_EQ(gif.Height(), 1);
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_TRUE(gif.Transparent());
    EXPECT_EQ(qAlpha(gif.Image().pixel(0, 0)), 0);
}

struct RoundTrip {
    const char* name;
    int width, height, colours;
    bool interlaced;
    bool clearWhenFull;
};

class GifRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

// Every picture decodes to the indexes it was written with, and Qt's own
// GIF reader, run as an independent check, sees the same picture.
TEST_P(GifRoundTrip, DecodesWhatWasWritten)
{
    const RoundTrip& c = GetParam();
    GifRecipe recipe = singleFrame(c.width, c.height, c.colours, c.width * 7 + c.height);
    recipe.frames[0].interlaced = c.interlaced;
    recipe.clearWhenFull = c.clearWhenFull;
    const QByteArray data = giftest::writeGif(recipe);

    TGIFImage gif(data);
    ASSERT_EQ(gif.Width(), c.width);
    ASSERT_EQ(gif.Height(), c.height);
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_FALSE(gif.Transparent());
    EXPECT_FALSE(gif.IsAnimated());
    expectPixels(gif.Image(), QRect(0, 0, c.width, c.height), recipe.frames[0].pixels,
                 recipe.globalPalette);

    // Qt's reader misplaces rows of interlaced pictures whose second pass is
    // empty (four rows or fewer), so it is only asked about taller ones.
    const QImage reference = QImage::fromData(data, "GIF").convertToFormat(QImage::Format_ARGB32);
    if (!reference.isNull() && (c.height > 4 || !c.interlaced)) {
        EXPECT_EQ(gif.Image().convertToFormat(QImage::Format_ARGB32), reference);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, GifRoundTrip,
    ::testing::Values(RoundTrip{"two_colours", 5, 3, 2, false, true},
                      RoundTrip{"four_colours", 17, 9, 4, false, true},
                      RoundTrip{"sixteen_colours_interlaced", 31, 29, 16, true, true},
                      RoundTrip{"interlaced_short", 4, 3, 4, true, true},
                      // Large enough to fill the 4096-entry table several times.
                      RoundTrip{"full_table_cleared", 300, 200, 256, false, true},
                      RoundTrip{"full_table_kept", 300, 200, 256, false, false},
                      RoundTrip{"full_table_interlaced", 257, 131, 256, true, true},
                      RoundTrip{"one_row", 1000, 1, 64, false, true},
                      RoundTrip{"one_column", 1, 700, 8, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GifImage, LocalTableOverridesGlobalTable)
{
    GifRecipe recipe = singleFrame(6, 4, 4, 1);
    recipe.frames[0].localPalette = {qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9), qRgb(10, 11, 12)};
    TGIFImage gif(giftest::writeGif(recipe));
    expectPixels(gif.Image(), QRect(0, 0, 6, 4), recipe.frames[0].pixels,
                 recipe.frames[0].localPalette);
}

TEST(GifImage, TransparentIndexShowsThrough)
{
    GifRecipe recipe = singleFrame(4, 2, 4, 0);
    recipe.frames[0].pixels = {0, 1, 2, 3, 3, 2, 1, 0};
    recipe.frames[0].withControl = true;
    recipe.frames[0].transparentIndex = 2;
    TGIFImage gif(giftest::writeGif(recipe));
    ASSERT_TRUE(gif.Transparent());
    const QImage& image = gif.Image();
    EXPECT_EQ(qAlpha(image.pixel(2, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
    EXPECT_EQ(image.pixel(0, 0), recipe.globalPalette[0]);
    EXPECT_EQ(image.pixel(3, 0), recipe.globalPalette[3]);
}

TEST(GifImage, FrameOutsideTheScreenIsClipped)
{
    GifRecipe recipe = singleFrame(4, 4, 4, 0);
    recipe.frames[0].rect = QRect(2, 3, 5, 5);
    recipe.frames[0].pixels = pattern(5, 5, 4, 3);
    TGIFImage gif(giftest::writeGif(recipe));
    const QImage& image = gif.Image();
    ASSERT_EQ(image.size(), QSize(4, 4));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(image.pixel(2, 3), recipe.globalPalette[recipe.frames[0].pixels[0]]);
    EXPECT_EQ(image.pixel(3, 3), recipe.globalPalette[recipe.frames[0].pixels[1]]);
    EXPECT_TRUE(gif.Transparent());
}

TEST(GifImage, ZeroSizedScreenTakesTheFramesExtent)
{
    GifRecipe recipe = singleFrame(3, 2, 2, 0);
    recipe.width = 0;
    recipe.height = 0;
    TGIFImage gif(giftest::writeGif(recipe));
    EXPECT_EQ(gif.Width(), 3);
    EXPECT_EQ(gif.Height(), 2);
}

TEST(GifImage, ReadsLoopCountAndDelays)
{
    GifRecipe recipe = singleFrame(2, 2, 2, 0);
    recipe.frames.push_back(recipe.frames[0]);
    recipe.frames[0].withControl = true;
    recipe.frames[0].delayCs = 25;
    recipe.frames[1].withControl = true;
    recipe.frames[1].delayCs = 0; // too fast: takes the default
    recipe.loopCount = 3;
    TGIFImage gif(giftest::writeGif(recipe));
    EXPECT_TRUE(gif.IsAnimated());
    EXPECT_EQ(gif.LoopCount(), 3);
    EXPECT_EQ(gif.FrameAt(0).delayMs, 250);
    EXPECT_EQ(gif.FrameAt(1).delayMs, TGIFImage::kDefaultDelayMs);

    recipe.loopCount = -1;
    EXPECT_EQ(TGIFImage(giftest::writeGif(recipe)).LoopCount(), TGIFImage::kNoLoopExtension);
}

// Three frames over a 4 x 1 screen exercising each disposal method:
//   frame 0: whole screen colour 1, disposal "keep"
//   frame 1: pixel 1 colour 2, disposal "restore previous"
//   frame 2: pixel 2 colour 3, disposal "restore background"
// Frame 2 therefore shows frame 0 again with only pixel 2 changed.
GifRecipe disposalAnimation()
{
    GifRecipe recipe;
    recipe.width = 4;
    recipe.height = 1;
    recipe.globalPalette = giftest::rampPalette(4);
    recipe.loopCount = 0;
    FrameRecipe f0{QRect(0, 0, 4, 1), {1, 1, 1, 1}, {}, false, true, -1, 10, 1};
    FrameRecipe f1{QRect(1, 0, 1, 1), {2}, {}, false, true, -1, 20, 3};
    FrameRecipe f2{QRect(2, 0, 1, 1), {3}, {}, false, true, -1, 30, 2};
    recipe.frames = {f0, f1, f2};
    return recipe;
}

TEST(GifImage, ComposesFramesWithTheirDisposal)
{
    const GifRecipe recipe = disposalAnimation();
    const auto& p = recipe.globalPalette;
    TGIFImage gif(giftest::writeGif(recipe));
    ASSERT_EQ(gif.FrameCount(), 3);

    const QImage f1 = gif.ComposedFrame(1);
    EXPECT_EQ(f1.pixel(0, 0), p[1]);
    EXPECT_EQ(f1.pixel(1, 0), p[2]);
    const QImage f2 = gif.ComposedFrame(2);
    EXPECT_EQ(f2.pixel(1, 0), p[1]) << "frame 1 restored what it covered";
    EXPECT_EQ(f2.pixel(2, 0), p[3]);
    EXPECT_EQ(f2.pixel(3, 0), p[1]);

    images::GifComposer composer(gif);
    composer.Step();
    composer.Step();
    composer.Step();
    EXPECT_EQ(composer.Step(), 0) << "wraps to the first frame";
    EXPECT_EQ(composer.Canvas().pixel(2, 0), p[1]) << "a new pass starts from an empty canvas";
}

TEST(GifImage, ShortPixelDataLeavesTheRestTransparent)
{
    GifRecipe recipe = singleFrame(4, 3, 4, 0);
    recipe.frames[0].pixels = {1, 2, 3, 1, 2};
    recipe.frames[0].rect = QRect(0, 0, 4, 3);
    // The writer codes only five pixels; the frame claims twelve.
    TGIFImage gif(giftest::writeGif(recipe));
    const QImage& image = gif.Image();
    EXPECT_TRUE(gif.Transparent());
    EXPECT_EQ(image.pixel(0, 1), recipe.globalPalette[2]);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(image.pixel(3, 2)), 0);
}

TEST(GifImage, DamageAfterTheFirstFrameKeepsTheFramesRead)
{
    GifRecipe recipe = disposalAnimation();
    QByteArray data = giftest::writeGif(recipe);
    // Cut inside the last frame's data, then without the trailer.
    const QByteArray cut = data.left(data.size() - 4);
    EXPECT_EQ(TGIFImage(cut).FrameCount(), 2);
    EXPECT_EQ(TGIFImage(data.left(data.size() - 1)).FrameCount(), 3);
    // An unknown block after the first frame ends the picture there.
    QByteArray stray = giftest::writeGif(singleFrame(2, 2, 2, 0));
    stray.chop(1);
    stray.append('\x99');
    stray.append(giftest::writeGif(recipe).mid(6));
    EXPECT_EQ(TGIFImage(stray).FrameCount(), 1);
}

TEST(GifImage, RefusesDataWithoutAFrame)
{
    const QByteArray good = giftest::writeGif(singleFrame(8, 8, 16, 5));
    const qsizetype headerAndTable = 13 + 16 * 3;

    QByteArray badSignature = good;
    badSignature[3] = '9';
    QByteArray noFrames = good.left(headerAndTable);
    noFrames.append(';');
    QByteArray codeSizeZero = good;
    codeSizeZero[headerAndTable + 10] = 0;
    QByteArray codeSizeTwelve = good;
    codeSizeTwelve[headerAndTable + 10] = 12;
    // A first code that is neither a colour nor the clear code.
    QByteArray badCode = good.left(headerAndTable + 11);
    badCode.append("\x02\xf4\xff\x00;", 5);
    // A screen larger than the decoder accepts.
    QByteArray huge = good;
    huge[6] = huge[7] = huge[8] = huge[9] = '\xff';

    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"signature only", QByteArray("GIF8")},
        {"bad signature", badSignature},
        {"cut in the screen descriptor", good.left(10)},
        {"cut in the global table", good.left(20)},
        {"cut in the image descriptor", good.left(headerAndTable + 5)},
        {"cut in the first frame's data", good.left(good.size() - 8)},
        {"cut after the code size", good.left(headerAndTable + 11)},
        {"trailer only", noFrames},
        {"code size 0", codeSizeZero},
        {"code size 12", codeSizeTwelve},
        {"invalid first code", badCode},
        {"huge screen", huge},
    };
    for (const auto& [name, data] : cases) {
        SCOPED_TRACE(name);
        expectCorrupt(data);
    }
}

// Random damage to real files: every mutant either decodes, with every frame
// composable, or is refused with EGifError. Nothing crashes or hangs.
TEST(GifImage, SurvivesMutatedFiles)
{
    GifRecipe animated = disposalAnimation();
    animated.frames[1].interlaced = true;
    animated.frames[1].localPalette = giftest::rampPalette(8);
    const QByteArray seeds[] = {giftest::writeGif(animated),
                                giftest::writeGif(singleFrame(40, 30, 256, 9)), kSpacerGif};
    std::mt19937 random(20240601);
    constexpr int kMutantsPerSeed = 1500;
    int decoded = 0;
    int refused = 0;
    for (const QByteArray& seed : seeds) {
        for (int i = 0; i < kMutantsPerSeed; ++i) {
            QByteArray mutant = seed;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits && !mutant.isEmpty(); ++e) {
                const auto pos =
                    static_cast<qsizetype>(random() % static_cast<unsigned>(mutant.size()));
                switch (random() % 4) {
                case 0:
                    mutant[pos] = static_cast<char>(random());
                    break;
                case 1:
                    mutant[pos] = static_cast<char>(mutant[pos] ^ (1 << (random() % 8)));
                    break;
                case 2:
                    mutant.truncate(pos);
                    break;
                default:
                    mutant.insert(pos, static_cast<char>(random()));
                    break;
                }
            }
            try {
                TGIFImage gif(mutant);
                for (int f = 0; f < gif.FrameCount(); ++f)
                    ASSERT_EQ(gif.ComposedFrame(f).size(), QSize(gif.Width(), gif.Height()));
                ++decoded;
            } catch (const EGifError&) {
                ++refused;
            }
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}
