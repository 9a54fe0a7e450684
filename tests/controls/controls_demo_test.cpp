// Builds the program's tool strip and About-box background from the controls
// and checks what a user would see. With QUORVANE_DEMO_DIR set, the pictures
// are also written there as PNGs for a person to look at.
#include "controls/explorer_button.h"
#include "controls/gradient.h"

#include <gtest/gtest.h>
#include <QDialog>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

constexpr TColor kStripStart = rgbColor(233, 217, 27);
constexpr TColor kStripEnd = rgbColor(248, 242, 173);
constexpr int kStripHeight = 57;
const QSize kButtonSize(64, 54);

void saveForPeople(const QImage& image, const char* name)
{
    const QString folder = qEnvironmentVariable("QUORVANE_DEMO_DIR");
    if (!folder.isEmpty())
        image.save(QDir(folder).filePath(name));
}

TGradient* stripGradient(QWidget* parent)
{
    auto* gradient = new TGradient(parent);
    gradient->setColorStart(kStripStart);
    gradient->setColorEnd(kStripEnd);
    return gradient;
}

TEST(ControlsDemo, ToolStripWithOneHotAndOnePressedButton)
{
    QWidget window;
    window.setGeometry(50, 50, 320, kStripHeight + 20);
    auto* strip = new QWidget(&window);
    strip->setGeometry(0, 0, 320, kStripHeight);
    // Small captions, as tool strips have them: two lines and a 24-pixel
    // picture fit the 54-pixel buttons.
    QFont captionFont("Arial");
    captionFont.setPixelSize(11);
    strip->setFont(captionFont);
    stripGradient(strip);

    const struct {
        const char* caption;
        const char* picture;
    } commands[] = {{"Edit/Create profile", ":/icons/profile-24.png"},
                    {"Submit", ":/icons/submit-24.png"},
                    {"Download URL", ":/icons/download-24.png"},
                    {"Open Local URL", ":/icons/open-local-24.png"}};
    std::vector<TExplorerButton*> buttons;
    int x = 2;
    for (const auto& command : commands) {
        auto* button = new TExplorerButton(strip);
        button->setGeometry(
            QRect(QPoint(x, (kStripHeight - kButtonSize.height()) / 2), kButtonSize));
        button->setCaption(command.caption);
        QImage picture(command.picture);
        ASSERT_FALSE(picture.isNull()) << command.picture;
        button->setBitmap(picture);
        button->setOptions(boPopupMark | boShowBevel);
        button->setWordWrap(true);
        buttons.push_back(button);
        x += kButtonSize.width();
    }
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    TExplorerButton* hot = buttons[1];
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), hot->mapToGlobal(QPointF(10, 10)));
    QCoreApplication::sendEvent(hot, &enter);
    TExplorerButton* pressed = buttons[2];
    QTest::mousePress(pressed, Qt::LeftButton, {}, QPoint(10, 10));

    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QTest::mouseRelease(pressed, Qt::LeftButton, {}, QPoint(10, 10));
    saveForPeople(shot, "tool-strip.png");

    const QRgb light = hot->palette().color(QPalette::Light).rgb();
    const QRgb dark = hot->palette().color(QPalette::Dark).rgb();
    // The strip runs from the start colour at the top to the end colour at
    // the bottom, right of the buttons as well.
    const int free = 300;
    EXPECT_LE(std::abs(qRed(shot.pixel(free, 0)) - 233), 1);
    EXPECT_LE(std::abs(qBlue(shot.pixel(free, kStripHeight - 1)) - 173), 1);
    // Hot: raised bevel. Pressed: sunken bevel. The others: no bevel.
    EXPECT_EQ(shot.pixel(hot->geometry().topLeft()), light);
    EXPECT_EQ(shot.pixel(hot->geometry().bottomRight()), dark);
    EXPECT_EQ(shot.pixel(pressed->geometry().topLeft()), dark);
    EXPECT_EQ(shot.pixel(pressed->geometry().bottomRight()), light);
    const QPoint flatCorner = buttons[0]->geometry().topLeft();
    EXPECT_EQ(shot.pixel(flatCorner), shot.pixel(free, flatCorner.y()));
}

TEST(ControlsDemo, EditorButtonsBesideTheirPictures)
{
    QWidget window;
    window.setGeometry(50, 50, 409, 80);
    const struct {
        const char* caption;
        const char* picture;
        QRect geometry;
    } commands[] = {{"Open...", ":/icons/open-16.png", {2, 2, 72, 26}},
                    {"Save", ":/icons/save-16.png", {74, 2, 72, 26}},
                    {"Save As...", ":/icons/save-as-16.png", {146, 2, 90, 26}},
                    {"Start Submission", ":/icons/start-24.png", {2, 40, 140, 34}},
                    {"Grouped", ":/icons/submit-16.png", {146, 40, 84, 34}},
                    {"Menu", ":/icons/download-24.png", {240, 2, 60, 72}}};
    std::vector<TExplorerButton*> buttons;
    for (const auto& command : commands) {
        auto* button = new TExplorerButton(&window);
        button->setGeometry(command.geometry);
        button->setCaption(command.caption);
        button->setBitmap(QImage(command.picture));
        button->setOptions(boPopupMark | boShowBevel);
        button->setWordWrap(true);
        button->setLayout(blBitmapLeft);
        buttons.push_back(button);
    }
    buttons[5]->setLayout(blBitmapTop);
    QMenu menu;
    menu.addAction("Item");
    buttons[5]->setDropDownMenu(&menu);
    buttons[1]->setEnabled(false);
    buttons[4]->setGroupIndex(1);
    buttons[4]->setDown(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), buttons[2]->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(buttons[2], &enter);

    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    saveForPeople(shot, "editor-buttons.png");
    EXPECT_EQ(shot.pixel(buttons[2]->geometry().topLeft()),
              buttons[2]->palette().color(QPalette::Light).rgb());
}

TEST(ControlsDemo, AboutBoxOnTheGradient)
{
    QDialog about;
    about.setWindowFlag(Qt::Tool);
    about.setWindowTitle("About Quorvane");
    about.setFixedSize(298, 240);
    stripGradient(&about);

    auto* icon = new QLabel(&about);
    icon->setPixmap(QPixmap(":/icons/quorvane-48.png"));
    icon->setGeometry(16, 16, 48, 48);
    auto* product = new QLabel("Quorvane", &about);
    QFont productFont("Times New Roman", 18, QFont::Bold, true);
    product->setFont(productFont);
    product->setStyleSheet("color: navy");
    product->setGeometry(80, 20, 200, 30);
    auto* version = new QLabel("Version 1.04", &about);
    version->setGeometry(80, 56, 200, 20);
    auto* freeware = new QLabel("Quorvane is Freeware", &about);
    QFont bold = freeware->font();
    bold.setBold(true);
    freeware->setFont(bold);
    freeware->setStyleSheet("color: navy");
    freeware->setAlignment(Qt::AlignCenter);
    freeware->setGeometry(0, 120, 298, 20);
    auto* ok = new QPushButton("OK", &about);
    ok->setDefault(true);
    ok->setGeometry(111, 196, 75, 25);

    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QImage shot = about.grab().toImage().convertToFormat(QImage::Format_RGB32);
    saveForPeople(shot, "about-box.png");

    // The gradient fills the whole box behind the labels.
    EXPECT_LE(std::abs(qRed(shot.pixel(290, 0)) - 233), 1);
    EXPECT_LE(std::abs(qBlue(shot.pixel(290, 239)) - 173), 1);
    EXPECT_EQ(shot.pixel(290, 100), shot.pixel(5, 100));
}

} // namespace
