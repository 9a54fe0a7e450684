// What the viewer hands its host about the drawing panel: widgets for the
// PANEL elements of a page, and drag and drop over the page.
#include "viewer_test_support.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

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
    // Old widgets are out of sight at once and freed by the loop.
    EXPECT_TRUE(created[0].second->isHidden());
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

// A window that takes dropped files, as the main window does.
class DropWindow : public QWidget {
public:
    DropWindow() { setAcceptDrops(true); }
    int enters = 0;
    QList<QUrl> dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        ++enters;
        event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

struct DragFixture : ::testing::Test {
    DragFixture()
    {
        viewer = new THTMLViewer(&window);
        viewer->setGeometry(10, 10, 300, 200);
        viewer->LoadStrings({"<p>A page to drop a file on"});
        window.resize(400, 300);
        window.show();
        mime.setUrls({QUrl::fromLocalFile("/tmp/dropped.htm")});
    }
    QWidget* panel() const { return viewer->PaintPanel(); }
    bool enter(QPoint p)
    {
        QDragEnterEvent event(p, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel(), &event);
        return event.isAccepted();
    }
    bool move(QPoint p)
    {
        QDragMoveEvent event(p, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel(), &event);
        return event.isAccepted();
    }
    void drop(QPoint p)
    {
        QDropEvent event(p, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel(), &event);
    }

    DropWindow window;
    THTMLViewer* viewer;
    QMimeData mime;
};

TEST_F(DragFixture, WithoutHandlersDropsGoOnToTheWindow)
{
    EXPECT_TRUE(enter(QPoint(20, 30)));
    EXPECT_EQ(window.enters, 1);
    drop(QPoint(20, 30));
    EXPECT_EQ(window.dropped, mime.urls());
}

TEST_F(DragFixture, TheHostSeesEveryStepAndTakesTheDrop)
{
    struct Step {
        QDropEvent* source;
        QPoint at;
        TDragState state;
    };
    std::vector<Step> steps;
    QPoint droppedAt(-1, -1);
    QList<QUrl> droppedUrls;
    viewer->OnDragOver = [&](THTMLViewer* sender, QDropEvent* source, int x, int y,
                             TDragState state, bool& accept) {
        EXPECT_EQ(sender, viewer);
        EXPECT_TRUE(accept);
        steps.push_back({source, QPoint(x, y), state});
    };
    viewer->OnDragDrop = [&](THTMLViewer* sender, QDropEvent* source, int x, int y) {
        EXPECT_EQ(sender, viewer);
        droppedAt = QPoint(x, y);
        droppedUrls = source->mimeData()->urls();
    };
    EXPECT_TRUE(enter(QPoint(20, 30)));
    EXPECT_TRUE(move(QPoint(25, 40)));
    QDragLeaveEvent leave;
    QApplication::sendEvent(panel(), &leave);
    EXPECT_TRUE(enter(QPoint(50, 60)));
    drop(QPoint(50, 60));

    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].state, dsDragEnter);
    EXPECT_EQ(steps[0].at, QPoint(20, 30));
    EXPECT_NE(steps[0].source, nullptr);
    EXPECT_EQ(steps[1].state, dsDragMove);
    EXPECT_EQ(steps[1].at, QPoint(25, 40));
    EXPECT_EQ(steps[2].state, dsDragLeave);
    EXPECT_EQ(steps[2].source, nullptr);
    EXPECT_EQ(steps[3].state, dsDragEnter);
    EXPECT_EQ(droppedAt, QPoint(50, 60));
    EXPECT_EQ(droppedUrls, mime.urls());
    EXPECT_EQ(window.enters, 0);
    EXPECT_TRUE(window.dropped.isEmpty());
}

TEST_F(DragFixture, WhatTheHostDeclinesGoesOnToTheWindow)
{
    bool dropped = false;
    viewer->OnDragOver = [](THTMLViewer*, QDropEvent*, int, int y, TDragState, bool& accept) {
        accept = y < 100; // only the upper part of the page takes drops
    };
    viewer->OnDragDrop = [&](THTMLViewer*, QDropEvent*, int, int) { dropped = true; };
    EXPECT_TRUE(enter(QPoint(20, 150)));
    EXPECT_EQ(window.enters, 1);
    drop(QPoint(20, 150));
    EXPECT_FALSE(dropped);
    EXPECT_EQ(window.dropped, mime.urls());
}

} // namespace
