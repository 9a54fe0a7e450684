// What the viewer hands its host about the drawing panel: widgets for the
// PANEL elements of a page, and drag and drop over the page.
#include "viewer_test_support.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QImage>
#include <QPointer>

namespace {

struct PanelFixture : ::testing::Test {
    void SetUp() override
    {
        f.viewer->OnPanelCreate = [this](THTMLViewer* sender, const std::string& name,
                                         QWidget* panel) {
            EXPECT_EQ(sender, f.viewer.get());
            created.push_back({name, panel});
        };
        f.viewer->OnPanelDestroy = [this](THTMLViewer* sender, QWidget* panel) {
            EXPECT_EQ(sender, f.viewer.get());
            destroyed.push_back(panel);
        };
    }

    ViewerFixture f{400, 300};
    std::vector<std::pair<std::string, QPointer<QWidget>>> created;
    std::vector<QWidget*> destroyed;
};

const char* const kTwoPanels = "<p>Before <panel name=Top width=50 height=40> after"
                               "<table><tr><td><panel name=InTable width=30 height=20>"
                               "</table><p>End";

TEST_F(PanelFixture, EachPanelOfThePageGetsAWidgetOverItsBox)
{
    f.load(kTwoPanels);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].first, "Top");
    EXPECT_EQ(created[1].first, "InTable");
    QWidget* top = created[0].second;
    ASSERT_TRUE(top);
    EXPECT_EQ(top->parentWidget(), f.viewer->PaintPanel());
    EXPECT_EQ(top->size(), QSize(50, 40));
    EXPECT_EQ(created[1].second->size(), QSize(30, 20));
    EXPECT_TRUE(destroyed.empty());
    // The widget stands on the box the page paints for the panel: its grey
    // frame lies right under the widget's corner.
    QWidget* drawing = f.viewer->PaintPanel();
    ASSERT_TRUE(drawing->rect().contains(top->geometry()));
    QImage page(drawing->size(), QImage::Format_RGB32);
    drawing->render(&page, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    EXPECT_EQ(page.pixelColor(top->pos()), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(page.pixelColor(top->pos() + QPoint(5, 5)), QColor(0xF0, 0xF0, 0xF0));
}

TEST_F(PanelFixture, PanelsMoveWithTheScrolledPageAndLeaveTheViewOutOfSight)
{
    std::string page = "<p>Head <panel name=P width=60 height=30>";
    for (int i = 0; i < 60; ++i)
        page += "<p>Line " + std::to_string(i);
    f.load(page);
    ASSERT_EQ(created.size(), 1u);
    QWidget* panel = created[0].second;
    const QPoint before = panel->pos();
    f.viewer->ScrollTo(10);
    EXPECT_EQ(panel->pos(), before - QPoint(0, 10));
    f.viewer->ScrollTo(600);
    EXPECT_FALSE(f.viewer->PaintPanel()->rect().intersects(panel->geometry()));
}

TEST_F(PanelFixture, TheNextLoadEndsThePanelsOfTheOldPage)
{
    f.load(kTwoPanels);
    ASSERT_EQ(created.size(), 2u);
    f.load("<p>No panels <panel name=New>");
    ASSERT_EQ(destroyed.size(), 2u);
    EXPECT_EQ(destroyed[0], created[0].second.data());
    EXPECT_EQ(destroyed[1], created[1].second.data());
    ASSERT_EQ(created.size(), 3u);
    EXPECT_EQ(created[2].first, "New");
    EXPECT_EQ(created[2].second->size(), QSize(100, 100)); // no WIDTH or HEIGHT
    f.viewer->Clear();
    EXPECT_EQ(destroyed.size(), 3u);
    // Old widgets are off the drawing panel at once and freed by the loop.
    EXPECT_NE(created[0].second->parentWidget(), f.viewer->PaintPanel());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(created[0].second.isNull());
}

TEST(Panels, WithoutAHandlerNoWidgetIsMade)
{
    ViewerFixture f(400, 300);
    const int children = f.viewer->PaintPanel()->children().size();
    f.load(kTwoPanels);
    EXPECT_EQ(f.viewer->PaintPanel()->children().size(), children);
}

} // namespace
