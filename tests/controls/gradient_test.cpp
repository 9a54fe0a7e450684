#include "controls/gradient.h"

#include "platform/registry_store.h"

#include <cmath>
#include <gtest/gtest.h>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

namespace {

// The colours of the program's tool strips.
constexpr TColor kStripStart = rgbColor(233, 217, 27);
constexpr TColor kStripEnd = rgbColor(248, 242, 173);

struct RampCase {
    const char* name;
    QRgb start;
    QRgb end;
};

class RampEnds : public ::testing::TestWithParam<RampCase> {};

TEST_P(RampEnds, StartsAndEndsExactlyAndStaysWithinOneUnitOfTheStraightLine)
{
    const RampCase& c = GetParam();
    const TGradient::Ramp ramp = TGradient::buildRamp(c.start, c.end);
    EXPECT_EQ(ramp[0], c.start);
    EXPECT_EQ(ramp[255], c.end);
    auto channels = [](QRgb rgb) { return std::array<int, 3>{qRed(rgb), qGreen(rgb), qBlue(rgb)}; };
    const auto s = channels(c.start);
    const auto e = channels(c.end);
    for (int i = 0; i < 256; ++i) {
        const auto got = channels(ramp[size_t(i)]);
        for (int k = 0; k < 3; ++k) {
            const double ideal = s[k] + (e[k] - s[k]) * i / 255.0;
            EXPECT_LE(std::abs(got[k] - ideal), 1.0) << "entry " << i << " channel " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ramps, RampEnds,
    ::testing::Values(RampCase{"black_to_blue", qRgb(0, 0, 0), qRgb(0, 0, 255)},
                      RampCase{"tool_strip", qRgb(233, 217, 27), qRgb(248, 242, 173)},
                      RampCase{"white_to_black", qRgb(255, 255, 255), qRgb(0, 0, 0)},
                      RampCase{"odd_steps", qRgb(1, 254, 100), qRgb(254, 3, 101)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GradientRamp, EqualColoursGiveOneFlatColour)
{
    const TGradient::Ramp ramp = TGradient::buildRamp(qRgb(10, 200, 30), qRgb(10, 200, 30));
    for (QRgb entry : ramp)
        EXPECT_EQ(entry, qRgb(10, 200, 30));
}

TEST(GradientRamp, DefaultsRunFromBlackToBlueThroughHalfBlue)
{
    TGradient gradient;
    EXPECT_EQ(gradient.Colors()[0], qRgb(0, 0, 0));
    EXPECT_EQ(gradient.Colors()[128], qRgb(0, 0, 128));
    EXPECT_EQ(gradient.Colors()[255], qRgb(0, 0, 255));
}

TEST(GradientRamp, EveryPropertyChangeRebuildsTheTable)
{
    TGradient gradient;
    gradient.setColorStart(kStripStart);
    gradient.setColorEnd(kStripEnd);
    EXPECT_EQ(gradient.Colors()[0], qRgb(233, 217, 27));
    EXPECT_EQ(gradient.Colors()[255], qRgb(248, 242, 173));
    gradient.setSwap(true);
    EXPECT_EQ(gradient.Colors()[0], qRgb(248, 242, 173));
    EXPECT_EQ(gradient.Colors()[255], qRgb(233, 217, 27));
}

// Points the registry file at a fresh folder for the life of the test.
class SchemeColours : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_saved); }

    QTemporaryDir m_dir;
    QByteArray m_saved;
};

TEST_F(SchemeColours, SystemColourIsReadFromTheUsersColourScheme)
{
    RegistryStore store;
    ASSERT_TRUE(store.setValue(kColorsKey, "ButtonFace", "0 128 128"));
    ASSERT_TRUE(store.setValue(kColorsKey, "Highlight", "12 3 200"));

    TGradient gradient;
    gradient.setColorStart(clBtnFace);
    gradient.setColorEnd(clHighlight);
    EXPECT_EQ(gradient.Colors()[0], qRgb(0, 128, 128));
    EXPECT_EQ(gradient.Colors()[255], qRgb(12, 3, 200));
}

TEST_F(SchemeColours, SchemeValuesAreReadDigitByDigit)
{
    struct Case {
        const char* text;
        QRgb expected;
    } cases[] = {
        {"255 255 255", qRgb(255, 255, 255)},
        {"7 0 65", qRgb(7, 0, 65)},
        {"10 20", qRgb(10, 20, 0)},      // a missing channel is 0
        {"999 1x2 3", qRgb(255, 12, 3)}, // damage never leaves the byte range
    };
    RegistryStore store;
    for (const Case& c : cases) {
        ASSERT_TRUE(store.setValue(kColorsKey, "Window", c.text));
        EXPECT_EQ(resolveColor(clWindow, store), c.expected) << c.text;
    }
}

TEST_F(SchemeColours, PlainColoursUseTheirLowBytesAndMissingSchemeEntriesThePalette)
{
    RegistryStore store;
    EXPECT_EQ(resolveColor(rgbColor(1, 2, 3), store), qRgb(1, 2, 3));
    EXPECT_EQ(resolveColor(0x00FF8040, store), qRgb(0x40, 0x80, 0xFF));
    // Numbers beyond the known system colours are taken as plain colours.
    EXPECT_EQ(resolveColor(0x80000040, store), qRgb(0x40, 0, 0));
    EXPECT_EQ(resolveColor(clBtnFace, store), QPalette().color(QPalette::Button).rgb());
}

TEST(GradientBands, KnownExtents)
{
    // extent 255: one pixel per band, each band two pixels wide.
    auto b255 = TGradient::bands(255);
    EXPECT_EQ(b255[0], (TGradient::Band{0, 2}));
    EXPECT_EQ(b255[1], (TGradient::Band{0, 2}));
    EXPECT_EQ(b255[2], (TGradient::Band{1, 2}));
    EXPECT_EQ(b255[255], (TGradient::Band{254, 2}));
    // extent 510: bands two pixels apart, three wide.
    auto b510 = TGradient::bands(510);
    EXPECT_EQ(b510[100], (TGradient::Band{198, 3}));
    EXPECT_EQ(b510[255], (TGradient::Band{508, 3}));
    // extent 57 (the tool strip): many bands share a row.
    auto b57 = TGradient::bands(57);
    EXPECT_EQ(b57[0].width, 1);
    EXPECT_EQ(b57[128].start, 28);
}

TEST(GradientBands, BandsCoverTheWholeExtentWithoutGaps)
{
    for (int extent : {1, 2, 17, 57, 100, 240, 254, 255, 256, 298, 511, 1000, 2048}) {
        std::vector<bool> covered(size_t(extent), false);
        for (const TGradient::Band& band : TGradient::bands(extent))
            for (int p = band.start; p < band.start + band.width && p < extent; ++p)
                covered[size_t(p)] = true;
        for (int p = 0; p < extent; ++p)
            EXPECT_TRUE(covered[size_t(p)]) << "extent " << extent << " pixel " << p;
    }
}

QImage paint(TGradient& gradient, QSize size)
{
    gradient.resize(size);
    return gradient.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(GradientPainting, TopToBottomReachesTheEndColourAtTheBottomEdge)
{
    TGradient gradient;
    gradient.setAlign(alNone);
    gradient.setColorStart(kStripStart);
    gradient.setColorEnd(kStripEnd);
    const QImage image = paint(gradient, QSize(40, 255));
    // Bands 0 and 1 share the first row; band 1 is painted last.
    EXPECT_EQ(image.pixel(0, 0), gradient.Colors()[1]);
    EXPECT_EQ(image.pixel(39, 254), qRgb(248, 242, 173));
    // Rows are uniform across the width.
    for (int y : {0, 57, 200})
        EXPECT_EQ(image.pixel(0, y), image.pixel(39, y));
}

TEST(GradientPainting, LeftToRightPaintsColumns)
{
    TGradient gradient;
    gradient.setAlign(alNone);
    gradient.setDirection(gdLeftToRight);
    const QImage image = paint(gradient, QSize(255, 10));
    EXPECT_EQ(image.pixel(0, 5), qRgb(0, 0, 1));
    EXPECT_EQ(image.pixel(254, 5), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(128, 0), image.pixel(128, 9));
    EXPECT_LT(qBlue(image.pixel(100, 5)), qBlue(image.pixel(150, 5)));
}

TEST(GradientPainting, EqualColoursPaintOneFlatColour)
{
    TGradient gradient;
    gradient.setAlign(alNone);
    gradient.setColorStart(rgbColor(90, 80, 70));
    gradient.setColorEnd(rgbColor(90, 80, 70));
    const QImage image = paint(gradient, QSize(13, 57));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), qRgb(90, 80, 70)) << x << "," << y;
}

TEST(GradientAlign, ClientAlignedGradientFollowsItsParent)
{
    QWidget panel;
    panel.resize(300, 57);
    panel.show(); // a hidden widget defers its resize events
    TGradient gradient(&panel);
    EXPECT_EQ(gradient.geometry(), QRect(0, 0, 300, 57));
    panel.resize(420, 60);
    EXPECT_EQ(gradient.geometry(), QRect(0, 0, 420, 60));

    gradient.resize(300, 17);
    gradient.setAlign(alBottom);
    EXPECT_EQ(gradient.geometry(), QRect(0, 43, 420, 17));
    gradient.setAlign(alNone);
    panel.resize(100, 100);
    EXPECT_EQ(gradient.geometry(), QRect(0, 43, 420, 17));
}

} // namespace
