#include "controls/explorer_button.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

const QPoint kInside(20, 20);
const QPoint kOutside(250, 80);

// A shown window holding buttons; counts the clicks of each button.
class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window.setGeometry(100, 100, 320, 120);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    TExplorerButton* addButton(int x, int groupIndex = 0)
    {
        auto* button = new TExplorerButton(&m_window);
        button->setGeometry(x, 10, 64, 54);
        button->setCaption("Button");
        button->setGroupIndex(groupIndex);
        button->OnClick = [this](TExplorerButton* sender) { ++m_clicks[sender]; };
        button->show();
        return button;
    }

    static void clickAt(TExplorerButton* button, QPoint releaseAt = kInside)
    {
        QTest::mousePress(button, Qt::LeftButton, {}, kInside);
        QTest::mouseRelease(button, Qt::LeftButton, {}, releaseAt);
    }

    QWidget m_window;
    std::map<TExplorerButton*, int> m_clicks;
};

TEST_F(ButtonTest, ClickInsideFiresOnClickOnce)
{
    TExplorerButton* button = addButton(10);
    clickAt(button);
    EXPECT_EQ(m_clicks[button], 1);
    EXPECT_FALSE(button->isPressed());
}

TEST_F(ButtonTest, PressShowsThePressedStateUntilRelease)
{
    TExplorerButton* button = addButton(10);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    EXPECT_TRUE(button->isPressed());
    EXPECT_TRUE(button->isHot());
    EXPECT_EQ(m_clicks[button], 0);
    // The pressed bevel: shadow on the top-left edges, highlight on the others.
    const QImage shot = m_window.grab().toImage();
    const QRect frame = button->geometry();
    EXPECT_EQ(shot.pixel(frame.topLeft()), button->palette().color(QPalette::Dark).rgb());
    EXPECT_EQ(shot.pixel(frame.bottomRight()), button->palette().color(QPalette::Light).rgb());
    QTest::mouseRelease(button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(m_clicks[button], 1);
}

TEST_F(ButtonTest, ReleaseOutsideFiresNothingAndLeavesTheButtonFlat)
{
    TExplorerButton* button = addButton(10);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    QTest::mouseMove(button, kOutside);
    EXPECT_FALSE(button->isHot()) << "the bevel follows the cursor while held";
    QTest::mouseRelease(button, Qt::LeftButton, {}, kOutside);
    EXPECT_EQ(m_clicks[button], 0);
    EXPECT_FALSE(button->isPressed());
    EXPECT_FALSE(button->isHot());

    // Flat means no bevel: the frame shows the window beneath.
    const QImage shot = m_window.grab().toImage();
    const QRgb background = m_window.palette().color(QPalette::Window).rgb();
    const QRect frame = button->geometry();
    for (QPoint corner :
         {frame.topLeft(), frame.bottomRight(), frame.topRight(), frame.bottomLeft()})
        EXPECT_EQ(shot.pixel(corner), background);
}

TEST_F(ButtonTest, DropDownButtonOpensItsMenuBelowItselfAndNeverClicks)
{
    TExplorerButton* button = addButton(10);
    QMenu menu;
    menu.addAction("First");
    menu.addAction("Second");
    button->setDropDownMenu(&menu);

    QPoint shownAt(-1, -1);
    bool sawPressedWhileOpen = false;
    int opened = 0;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] {
        ++opened;
        sawPressedWhileOpen = button->isPressed();
        QTimer::singleShot(0, &menu, [&] {
            shownAt = menu.pos();
            menu.close();
        });
    });
    // Watchdog: a menu that never closes would hang the test.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &menu, &QMenu::close);
    watchdog.start(5000);

    clickAt(button);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(sawPressedWhileOpen);
    EXPECT_EQ(shownAt, button->mapToGlobal(QPoint(0, button->height())));
    EXPECT_EQ(m_clicks[button], 0);
    EXPECT_FALSE(button->isPressed());
    EXPECT_TRUE(watchdog.isActive()) << "the menu had to be closed by the watchdog";
}

TEST_F(ButtonTest, GroupedButtonPressedTwiceStaysDownUnlessAllowAllUp)
{
    struct Case {
        bool allowAllUp;
        bool downAfterSecondClick;
    } cases[] = {{false, true}, {true, false}};
    for (const Case& c : cases) {
        m_clicks.clear();
        TExplorerButton* button = addButton(10, 1);
        button->setAllowAllUp(c.allowAllUp);
        clickAt(button);
        EXPECT_TRUE(button->Down());
        clickAt(button);
        EXPECT_EQ(button->Down(), c.downAfterSecondClick) << "AllowAllUp " << c.allowAllUp;
        EXPECT_EQ(m_clicks[button], 2);
        delete button;
    }
}

TEST_F(ButtonTest, GroupBehavesLikeRadioButtonsWithinOneParent)
{
    TExplorerButton* a = addButton(10, 3);
    TExplorerButton* b = addButton(80, 3);
    TExplorerButton* other = addButton(150, 4);
    other->setDown(true);

    clickAt(a);
    EXPECT_TRUE(a->Down());
    clickAt(b);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    EXPECT_TRUE(other->Down()) << "another group is left alone";

    a->setDown(true);
    EXPECT_FALSE(b->Down());
}

TEST_F(ButtonTest, DownNeedsAGroupAndLeavingTheGroupPutsTheButtonUp)
{
    TExplorerButton* solo = addButton(10);
    solo->setDown(true);
    EXPECT_FALSE(solo->Down());
    clickAt(solo);
    EXPECT_FALSE(solo->Down());

    TExplorerButton* grouped = addButton(80, 2);
    grouped->setDown(true);
    EXPECT_TRUE(grouped->Down());
    grouped->setGroupIndex(0);
    EXPECT_FALSE(grouped->Down());
}

TEST_F(ButtonTest, AllowAllUpIsSharedByTheWholeGroup)
{
    TExplorerButton* a = addButton(10, 5);
    TExplorerButton* b = addButton(80, 5);
    TExplorerButton* c = addButton(150, 6);
    a->setAllowAllUp(true);
    EXPECT_TRUE(b->AllowAllUp());
    EXPECT_FALSE(c->AllowAllUp());
}

TEST_F(ButtonTest, DisablingClearsTheStatesAndEnablingAgainClicksNormally)
{
    TExplorerButton* button = addButton(10);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    button->setEnabled(false);
    EXPECT_FALSE(button->isPressed());
    EXPECT_FALSE(button->isHot());
    QTest::mouseRelease(button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(m_clicks[button], 0);
    clickAt(button);
    EXPECT_EQ(m_clicks[button], 0) << "a disabled button ignores the mouse";
    button->setEnabled(true);
    clickAt(button);
    EXPECT_EQ(m_clicks[button], 1);
}

TEST_F(ButtonTest, EnterAndLeaveSetHotAndFireTheirEvents)
{
    TExplorerButton* button = addButton(10);
    int entered = 0;
    int left = 0;
    button->OnEnter = [&](TExplorerButton*) { ++entered; };
    button->OnExit = [&](TExplorerButton*) { ++left; };
    QEnterEvent enter(kInside, kInside, button->mapToGlobal(kInside));
    QApplication::sendEvent(button, &enter);
    EXPECT_TRUE(button->isHot());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->isHot());
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(left, 1);
}

TEST_F(ButtonTest, AcceleratorLetterClicksTheButton)
{
    TExplorerButton* button = addButton(10);
    button->setCaption("&Submit");
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    QTest::keyClick(&m_window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(m_clicks[button], 1);
    EXPECT_FALSE(button->isPressed());

    button->setEnabled(false);
    QTest::keyClick(&m_window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(m_clicks[button], 1);
}

TEST(ExplorerButtonHint, IconOnlyLendsTheCaptionToTheHintAndTakesItBack)
{
    TExplorerButton button;
    button.setCaption("Save &As && Close");
    EXPECT_EQ(TExplorerButton::stripAccelerators(button.Caption()), "Save As & Close");
    button.setOptions(button.Options() | boIconOnly);
    EXPECT_EQ(button.Hint(), "Save As & Close");
    EXPECT_TRUE(button.ShowHint());
    button.setOptions(button.Options() & ~TExplorerButtonOptions(boIconOnly));
    EXPECT_EQ(button.Hint(), "");
    EXPECT_FALSE(button.ShowHint());

    // A hint of its own is kept either way.
    button.setHint("Save As");
    button.setShowHint(true);
    button.setOptions(button.Options() | boIconOnly);
    button.setOptions(button.Options() & ~TExplorerButtonOptions(boIconOnly));
    EXPECT_EQ(button.Hint(), "Save As");
}

// A pixel with the given sum of red, green and blue.
QRgb withSum(int sum)
{
    const int red = std::min(sum, 255);
    const int green = std::min(sum - red, 255);
    return qRgb(red, green, sum - red - green);
}

TEST(ExplorerButtonShading, ThresholdsPickWhiteHighlightShadowOrBlack)
{
    const QColor highlight(200, 210, 220);
    const QColor shadow(90, 80, 70);
    const QRgb key = qRgb(255, 0, 255);
    struct Case {
        TShadingType type;
        int white, highlight, shadow;
    } cases[] = {{stLight, 205, 127, 68}, {stMedium, 553, 231, 57}, {stDark, 335, 274, 175}};
    for (const Case& c : cases) {
        // Pixel 0 is the key; each threshold is tried at and just above it.
        const int sums[] = {c.white + 1, c.white,      c.highlight + 1,
                            c.highlight, c.shadow + 1, c.shadow};
        QImage bitmap(8, 1, QImage::Format_RGB32);
        bitmap.setPixel(0, 0, key);
        for (int i = 0; i < 6; ++i)
            bitmap.setPixel(i + 1, 0, withSum(sums[i]));
        bitmap.setPixel(7, 0, key);

        const QImage shaded = TExplorerButton::shadeImage(bitmap, c.type, highlight, shadow);
        const bool whiteAboveHighlight = c.white > c.highlight;
        EXPECT_EQ(shaded.pixel(1, 0), qRgb(255, 255, 255)) << c.type;
        if (whiteAboveHighlight) {
            EXPECT_EQ(shaded.pixel(2, 0), highlight.rgb()) << c.type;
        }
        EXPECT_EQ(shaded.pixel(3, 0), highlight.rgb()) << c.type;
        EXPECT_EQ(shaded.pixel(4, 0), shadow.rgb()) << c.type;
        EXPECT_EQ(shaded.pixel(5, 0), shadow.rgb()) << c.type;
        EXPECT_EQ(shaded.pixel(6, 0), qRgb(0, 0, 0)) << c.type;
        EXPECT_EQ(qAlpha(shaded.pixel(0, 0)), 0) << "the key stays transparent";
        EXPECT_EQ(qAlpha(shaded.pixel(7, 0)), 0) << "every key-coloured pixel does";
    }
}

TEST(ExplorerButtonShading, SetBitmapMakesTheShadedPictureUnlessNoFocusBitmapIsGiven)
{
    QImage bitmap(4, 4, QImage::Format_RGB32);
    bitmap.fill(qRgb(255, 0, 255));
    bitmap.setPixel(2, 2, qRgb(10, 10, 10));
    TExplorerButton button;
    button.setBitmap(bitmap);
    ASSERT_FALSE(button.IBitmap().isNull());
    EXPECT_EQ(button.IBitmap().pixel(2, 2), qRgb(0, 0, 0));

    button.setShadingType(stLight);
    EXPECT_EQ(button.IBitmap().pixel(2, 2), qRgb(0, 0, 0));

    TExplorerButton custom;
    custom.setNoFocusBitmap(bitmap);
    custom.setBitmap(bitmap);
    EXPECT_TRUE(custom.IBitmap().isNull());
}

TEST(ExplorerButtonPainting, KeyColouredPixelsLetTheBackgroundThrough)
{
    QWidget host;
    host.resize(64, 54);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 10));
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    auto* button = new TExplorerButton(&host);
    button->setGeometry(0, 0, 64, 54);
    button->setOptions(boShowBevel);
    QImage bitmap(16, 16, QImage::Format_RGB32);
    bitmap.fill(qRgb(255, 0, 255));
    bitmap.setPixel(8, 8, qRgb(0, 0, 200));
    button->setBitmap(bitmap);

    const QImage shot = host.grab().toImage();
    // The picture is centred: (24, 19) is its top-left corner.
    EXPECT_EQ(shot.pixel(24, 19), qRgb(10, 200, 10));
    EXPECT_EQ(shot.pixel(32, 27), qRgb(0, 0, 200));
}

TEST(ExplorerButtonPainting, DownPatternDithersFaceAndHighlight)
{
    QWidget host;
    host.resize(64, 54);
    auto* button = new TExplorerButton(&host);
    button->setGeometry(0, 0, 64, 54);
    button->setOptions({});
    button->setGroupIndex(1);
    button->setDown(true);
    const QImage shot = button->grab().toImage();
    const QRgb face = button->palette().color(QPalette::Button).rgb();
    const QRgb light = button->palette().color(QPalette::Light).rgb();
    EXPECT_EQ(shot.pixel(2, 2), light);
    EXPECT_EQ(shot.pixel(3, 2), face);
    EXPECT_EQ(shot.pixel(3, 3), light);
}

} // namespace

namespace {

// Bounding box of the pixels that satisfy a test.
QRect boundsOf(const QImage& image, const std::function<bool(QRgb)>& wanted)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (wanted(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(ExplorerButtonPainting, LayoutAndAlignmentPlacePictureAndCaption)
{
    struct Case {
        TButtonLayout layout;
        TButtonAlignment alignment;
    } cases[] = {{blBitmapTop, baCenter},   {blBitmapBottom, baCenter}, {blBitmapLeft, baCenter},
                 {blBitmapRight, baCenter}, {blBitmapTop, baLeft},      {blBitmapTop, baRight},
                 {blBitmapLeft, baLeft}};
    QImage picture(12, 12, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));
    picture.setPixel(0, 0, qRgb(255, 0, 255)); // the key: this one pixel stays clear

    for (const Case& c : cases) {
        QWidget host;
        host.resize(100, 60);
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::WindowText, Qt::black);
        host.setPalette(palette);
        host.setAutoFillBackground(true);
        auto* button = new TExplorerButton(&host);
        button->setGeometry(0, 0, 100, 60);
        button->setOptions(boShowBevel);
        button->setCaption("Save");
        button->setBitmap(picture);
        button->setLayout(c.layout);
        button->setAlignment(c.alignment);
        const QImage shot = host.grab().toImage().convertToFormat(QImage::Format_RGB32);

        const QRect pic = boundsOf(shot, [](QRgb p) { return p == qRgb(255, 0, 0); });
        const QRect text = boundsOf(shot, [](QRgb p) { return qRed(p) < 128 && qGreen(p) < 128; });
        SCOPED_TRACE(testing::Message() << "layout " << c.layout << " alignment " << c.alignment);
        ASSERT_EQ(pic.size(), QSize(12, 12));
        ASSERT_FALSE(text.isEmpty());
        EXPECT_NE(shot.pixel(pic.topLeft()), qRgb(255, 0, 0)) << "key pixel shows the background";

        switch (c.layout) {
        case blBitmapTop:
            EXPECT_LT(pic.bottom(), text.top());
            break;
        case blBitmapBottom:
            EXPECT_LT(text.bottom(), pic.top());
            break;
        case blBitmapLeft:
            EXPECT_LT(pic.right(), text.left());
            EXPECT_NEAR(pic.center().y(), 30, 1);
            break;
        case blBitmapRight:
            EXPECT_LT(text.right(), pic.left());
            EXPECT_NEAR(pic.center().y(), 30, 1);
            break;
        }
        const bool stacked = c.layout == blBitmapTop || c.layout == blBitmapBottom;
        switch (c.alignment) {
        case baLeft:
            EXPECT_EQ(pic.left(), 3);
            break;
        case baRight:
            EXPECT_EQ(pic.right(), 100 - 3 - 1);
            break;
        case baCenter:
            if (stacked) {
                EXPECT_NEAR(pic.center().x(), 50, 1);
                EXPECT_NEAR(text.center().x(), 50, 3);
            } else {
                EXPECT_NEAR(pic.united(text).center().x(), 50, 3);
            }
            break;
        }
    }
}

TEST(ExplorerButtonPainting, DisabledButtonShowsAnEmbossedPicture)
{
    QWidget host;
    host.resize(40, 40);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Light, QColor(250, 250, 250));
    palette.setColor(QPalette::Dark, QColor(100, 100, 100));
    host.setPalette(palette);
    auto* button = new TExplorerButton(&host);
    button->setGeometry(0, 0, 40, 40);
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 255));
    picture.setPixel(5, 5, qRgb(255, 0, 0));
    button->setBitmap(picture);
    button->setEnabled(false);
    const QImage shot = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Picture at (15, 15): the pixel in shadow, its lower-right neighbour in highlight.
    EXPECT_EQ(shot.pixel(20, 20), qRgb(100, 100, 100));
    EXPECT_EQ(shot.pixel(21, 21), qRgb(250, 250, 250));

    QImage own(10, 10, QImage::Format_RGB32);
    own.fill(qRgb(255, 0, 255));
    own.setPixel(5, 5, qRgb(0, 0, 255));
    button->setDisabledBitmap(own);
    EXPECT_EQ(button->grab().toImage().pixel(20, 20), qRgb(0, 0, 255));
}

} // namespace

namespace {

TEST_F(ButtonTest, RightClickOpensThePopupMenuAndDoesNotClick)
{
    TExplorerButton* button = addButton(10);
    QMenu menu;
    menu.addAction("Properties");
    button->setPopupMenu(&menu);
    int opened = 0;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] {
        ++opened;
        QTimer::singleShot(0, &menu, &QMenu::close);
    });
    QTest::mousePress(button, Qt::RightButton, {}, kInside);
    EXPECT_EQ(opened, 0) << "the menu waits for the release";
    QTest::mouseRelease(button, Qt::RightButton, {}, kInside);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(m_clicks[button], 0);
    EXPECT_FALSE(button->isPressed());
}

} // namespace
