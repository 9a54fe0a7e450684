// THTMLViewer as its hosts use it: loading, history, links and anchors,
// local paths, META refresh, selection and the clipboard.
#include "viewer_test_support.h"

#include "html/document/image_obj.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/images/image_cache.h"
#include "html/viewer/url_to_local_path.h"
#include "platform/exception.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QScrollBar>

namespace {

using Strings = std::vector<std::string>;

std::string longPage(const std::string& title, const std::string& extra = {})
{
    std::string page = "<title>" + title + "</title>" + extra;
    for (int i = 0; i < 80; ++i)
        page += "<p>Paragraph " + std::to_string(i) + " of " + title;
    page += "<p><a name=Spot>Spot</a> here";
    for (int i = 0; i < 40; ++i)
        page += "<p>Tail " + std::to_string(i);
    return page;
}

struct HistoryFixture : ::testing::Test {
    void SetUp() override
    {
        f.viewer->OnHistoryChange = [this](THTMLViewer*) { ++changes; };
        for (int i = 1; i <= 8; ++i)
            files.push_back(
                pages.write(QString("f%1.htm").arg(i), longPage("Page " + std::to_string(i))));
    }
    QString abs(int i) const
    {
        return QFileInfo(files[static_cast<std::size_t>(i - 1)]).absoluteFilePath();
    }

    ViewerFixture f;
    PageFolder pages;
    std::vector<QString> files;
    int changes = 0;
};

TEST_F(HistoryFixture, KeepsTheNewestEntriesUpToTheMaximum)
{
    for (int i = 1; i <= 7; ++i)
        f.viewer->LoadFromFile(files[static_cast<std::size_t>(i - 1)]);
    ASSERT_EQ(f.viewer->History().size(), 6);
    EXPECT_EQ(f.viewer->History().front(), abs(7));
    EXPECT_EQ(f.viewer->History().back(), abs(2));
    EXPECT_EQ(f.viewer->TitleHistory().front(), "Page 7");
    EXPECT_EQ(f.viewer->HistoryIndex(), 0);
    EXPECT_EQ(changes, 7);
}

TEST_F(HistoryFixture, LoadingAfterGoingBackDropsTheForwardEntries)
{
    for (int i = 1; i <= 4; ++i)
        f.viewer->LoadFromFile(files[static_cast<std::size_t>(i - 1)]);
    f.viewer->setHistoryIndex(f.viewer->HistoryIndex() + 1);
    f.viewer->setHistoryIndex(f.viewer->HistoryIndex() + 1);
    EXPECT_EQ(f.viewer->CurrentFile(), abs(2));
    EXPECT_EQ(f.viewer->HistoryIndex(), 2);
    f.viewer->LoadFromFile(files[7]);
    EXPECT_EQ(f.viewer->History(), (QStringList{abs(8), abs(2), abs(1)}));
    EXPECT_EQ(f.viewer->HistoryIndex(), 0);
}

TEST_F(HistoryFixture, GoingBackRestoresThePosition)
{
    f.viewer->LoadFromFile(files[0]);
    f.viewer->ScrollTo(300);
    const int position = f.viewer->Position();
    f.viewer->LoadFromFile(files[1]);
    EXPECT_EQ(f.viewer->VScrollPosition(), 0);
    f.viewer->setHistoryIndex(1);
    EXPECT_EQ(f.viewer->CurrentFile(), abs(1));
    EXPECT_EQ(f.viewer->Position(), position);
    f.viewer->setHistoryIndex(0);
    EXPECT_EQ(f.viewer->CurrentFile(), abs(2));
}

TEST_F(HistoryFixture, ReloadingTheShownFileMakesNoEntryAndKeepsThePosition)
{
    f.viewer->LoadFromFile(files[0]);
    f.viewer->ScrollTo(200);
    const int changesBefore = changes;
    f.viewer->LoadFromFile(files[0]);
    EXPECT_EQ(f.viewer->History().size(), 1);
    EXPECT_EQ(changes, changesBefore);
    EXPECT_EQ(f.viewer->VScrollPosition(), 200);
}

TEST_F(HistoryFixture, MaximumZeroRecordsNothing)
{
    f.viewer->LoadFromFile(files[0]);
    f.viewer->setHistoryMaxCount(0);
    EXPECT_TRUE(f.viewer->History().empty());
    const int changesBefore = changes;
    for (int i = 2; i <= 4; ++i)
        f.viewer->LoadFromFile(files[static_cast<std::size_t>(i - 1)]);
    EXPECT_TRUE(f.viewer->History().empty());
    EXPECT_EQ(changes, changesBefore);
}

TEST_F(HistoryFixture, LoadStringsMakesNoEntryAndEmptiesCurrentFile)
{
    f.viewer->LoadFromFile(files[0]);
    f.viewer->LoadStrings({"<title>Help</title><p>help"});
    EXPECT_TRUE(f.viewer->CurrentFile().isEmpty());
    EXPECT_EQ(f.viewer->DocumentTitle(), "Help");
    EXPECT_EQ(f.viewer->History().size(), 1);
}

TEST_F(HistoryFixture, MissingFileRaisesAndChangesNothing)
{
    f.viewer->LoadFromFile(files[0]);
    try {
        f.viewer->LoadFromFile(pages.path("missing.htm"));
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.message(), "Can't locate file: " + pages.path("missing.htm").toStdString());
    }
    EXPECT_EQ(f.viewer->CurrentFile(), abs(1));
    EXPECT_EQ(f.viewer->DocumentTitle(), "Page 1");
    EXPECT_FALSE(f.viewer->Processing());
}

TEST_F(HistoryFixture, AnchorLinkInTheShownFileScrollsAndRecordsAStep)
{
    const QString page = pages.write("links.htm", "<a href='#spot'>to spot</a>" + longPage("L"));
    f.viewer->LoadFromFile(page);
    f.click(f.linkPoint("#spot"));
    EXPECT_GT(f.viewer->VScrollPosition(), 0);
    EXPECT_EQ(f.viewer->History().size(), 2);
    EXPECT_EQ(f.viewer->History()[0], f.viewer->History()[1]);
    EXPECT_EQ(f.viewer->Visited().front(), QFileInfo(page).absoluteFilePath() + "#spot");
    // Back returns to the top of the same file.
    f.viewer->setHistoryIndex(1);
    EXPECT_EQ(f.viewer->VScrollPosition(), 0);
}

TEST_F(HistoryFixture, LinkToAnotherFileLoadsItAndJumpsToTheAnchor)
{
    const QString page = pages.write("links.htm", "<a href='f3.htm#SPOT'>three</a>");
    f.viewer->LoadFromFile(page);
    bool handledAsked = false;
    f.viewer->OnHotSpotClick = [&](THTMLViewer*, const std::string& src, bool& handled) {
        handledAsked = src == "f3.htm#SPOT" && !handled;
    };
    f.click(f.linkPoint("f3.htm#SPOT"));
    EXPECT_TRUE(handledAsked);
    EXPECT_EQ(f.viewer->CurrentFile(), abs(3));
    EXPECT_GT(f.viewer->VScrollPosition(), 0);
    EXPECT_EQ(f.viewer->History().size(), 2);
    EXPECT_EQ(f.viewer->Visited().front(), abs(3) + "#SPOT");
}

TEST_F(HistoryFixture, HandledLinksAndUnknownExtensionsDoNothing)
{
    pages.write("notes.txt", "text");
    const QString page =
        pages.write("links.htm", "<a href='notes.txt'>notes</a> <a href='f2.htm'>two</a>");
    f.viewer->LoadFromFile(page);
    f.click(f.linkPoint("notes.txt"));
    EXPECT_EQ(f.viewer->CurrentFile(), QFileInfo(page).absoluteFilePath());
    f.viewer->OnHotSpotClick = [](THTMLViewer*, const std::string&, bool& handled) {
        handled = true;
    };
    f.click(f.linkPoint("f2.htm"));
    EXPECT_EQ(f.viewer->CurrentFile(), QFileInfo(page).absoluteFilePath());
    EXPECT_EQ(f.viewer->LinkURL(), "f2.htm");
}

TEST_F(HistoryFixture, RelativeLinkAfterLoadStringsResolvesAgainstTheCurrentFolder)
{
    const QString before = QDir::currentPath();
    QDir::setCurrent(pages.dir.path());
    f.viewer->LoadStrings({"<a href='f4.htm'>four</a>"});
    f.click(f.linkPoint("f4.htm"));
    QDir::setCurrent(before);
    EXPECT_EQ(f.viewer->CurrentFile(), abs(4));
}

TEST_F(HistoryFixture, VisitedLinksAreMarkedAndTheListIsLimited)
{
    const QString page =
        pages.write("links.htm", "<a href='f1.htm'>one</a> <a href='f2.htm'>two</a>");
    f.viewer->setVisitedMaxCount(1);
    f.viewer->LoadFromFile(page);
    f.click(f.linkPoint("f1.htm"));
    f.viewer->setHistoryIndex(1);
    const auto& links = f.viewer->Document().Links;
    ASSERT_EQ(links.size(), 2u);
    EXPECT_TRUE(links[0]->Visited);
    EXPECT_FALSE(links[1]->Visited);
    f.click(f.linkPoint("f2.htm"));
    EXPECT_EQ(f.viewer->Visited(), (QStringList{abs(2)}));

    f.viewer->setVisitedMaxCount(0);
    EXPECT_TRUE(f.viewer->Visited().empty());
    f.viewer->LoadFromFile(page);
    f.click(f.linkPoint("f1.htm"));
    EXPECT_TRUE(f.viewer->Visited().empty());
}

TEST_F(HistoryFixture, HoverReportsTheLinkAsWritten)
{
    f.viewer->LoadStrings({"<p>text <a href='f1.htm'>one</a>"});
    Strings covered;
    f.viewer->OnHotSpotCovered = [&](THTMLViewer*, const std::string& src) {
        covered.push_back(src);
    };
    const QPoint link = f.linkPoint("f1.htm");
    f.moveTo(link, false);
    f.moveTo(link + QPoint(1, 0), false);
    f.moveTo(f.textPoint("text"), false);
    EXPECT_EQ(covered, (Strings{"f1.htm", ""}));
    EXPECT_EQ(f.viewer->PaintPanel()->cursor().shape(), Qt::IBeamCursor);
}

TEST(UrlToLocalPath, DecodesEscapesAndFileAddresses)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"file:///C|/My%20Pages/index.htm", "C:/My Pages/index.htm"},
        {"FILE:///tmp/a%20b.html", "/tmp/a b.html"},
        {"file://server/share/x.htm", "server/share/x.htm"},
        {"dir\\sub/page.htm", "dir/sub/page.htm"},
        {"%41bc", "%41bc"},     // a "%" first stops the decoding
        {"a%4", "a%4"},         // too short
        {"a%zz%41", "a%zz%41"}, // not hexadecimal: stops at the first "%"
        {"a%2541", "aA"},       // decoded again from the first "%"
        {"page.htm", "page.htm"},
        {"a%7Cb", "a|b"}, // no "/": "|" stays
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlToLocalPath(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(MetaRefresh, ReportsDelayAndAddressAfterTheLoad)
{
    const struct {
        const char* content;
        int delay; // -1: no event
        const char* url;
    } cases[] = {
        {"0; URL=next.htm", 1, "next.htm"},
        {"5", 5, ""},
        {" 3 ;url=Other.HTML", 3, "Other.HTML"},
        {"x;url=a.htm", -1, ""},
        {"-2;url=a.htm", -1, ""},
    };
    for (const auto& c : cases) {
        ViewerFixture f;
        int delay = -1;
        std::string url;
        bool loaded = false;
        f.viewer->OnMetaRefresh = [&](THTMLViewer* v, int d, const std::string& u) {
            loaded = !v->Processing();
            delay = d;
            url = u;
        };
        f.load(std::string("<meta http-equiv=Refresh content='") + c.content + "'><p>x");
        EXPECT_EQ(delay, c.delay) << c.content;
        EXPECT_EQ(url, c.url) << c.content;
        if (c.delay >= 0) {
            EXPECT_TRUE(loaded);
        }
    }
}

TEST(Selection, DragSelectsAndCopiesTheText)
{
    ViewerFixture f;
    f.load("<p>Hello wide world</p><p>Second line");
    const QPoint from = f.textPoint("wide");
    const QPoint to = f.textPoint("world", 4);
    ASSERT_GE(from.x(), 0);
    ASSERT_GE(to.x(), 0);
    EXPECT_EQ(f.viewer->SelLength(), 0);
    f.press(from);
    f.moveTo(to, true);
    f.release(to);
    EXPECT_EQ(f.viewer->SelLength(), 9);
    EXPECT_EQ(f.viewer->SelText(), "wide worl");
    f.viewer->CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "wide worl");

    // Dragged backwards the length is negative.
    f.press(to);
    f.moveTo(from, true);
    f.release(from);
    EXPECT_EQ(f.viewer->SelLength(), -9);

    f.doubleClick(f.textPoint("Second", 2));
    EXPECT_EQ(f.viewer->SelText(), "Second");

    f.viewer->setNoSelect(true);
    EXPECT_EQ(f.viewer->SelLength(), 0);
}

TEST(Selection, ADraggedSelectionIsNotALinkClick)
{
    ViewerFixture f;
    f.load("<p><a href='x.htm'>a long link text</a>");
    int clicks = 0;
    f.viewer->OnHotSpotClick = [&](THTMLViewer*, const std::string&, bool& handled) {
        handled = true;
        ++clicks;
    };
    const QPoint from = f.textPoint("long");
    const QPoint to = f.textPoint("text");
    f.press(from);
    f.moveTo(to, true);
    f.release(to);
    EXPECT_EQ(clicks, 0);
    f.click(to);
    EXPECT_EQ(clicks, 1);
}

TEST(Scrolling, KeysAndBarsFollowTheDocument)
{
    ViewerFixture f(300, 200);
    f.load(longPage("S"));
    EXPECT_TRUE(f.viewer->VScrollBar()->isVisible());
    EXPECT_EQ(f.viewer->VScrollBar()->singleStep(), 16);
    EXPECT_EQ(f.viewer->HScrollBar()->singleStep(), 15);
    f.key(f.viewer.get(), Qt::Key_Down);
    EXPECT_EQ(f.viewer->VScrollPosition(), 16);
    f.key(f.viewer.get(), Qt::Key_End);
    EXPECT_EQ(f.viewer->VScrollPosition(), f.viewer->VScrollBar()->maximum());
    f.key(f.viewer.get(), Qt::Key_Home);
    EXPECT_EQ(f.viewer->VScrollPosition(), 0);
    f.key(f.viewer.get(), Qt::Key_PageDown);
    EXPECT_EQ(f.viewer->VScrollPosition(), f.viewer->PaintPanel()->height() - 16);
    // A narrower viewer lays out again and keeps the place in the text.
    const int position = f.viewer->Position();
    f.viewer->resize(250, 200);
    EXPECT_EQ(f.viewer->Position(), position);
    EXPECT_TRUE(f.viewer->JumpToAnchor("#spot"));
    EXPECT_FALSE(f.viewer->JumpToAnchor("nowhere"));
}

TEST(Processing, IsReportedAroundEveryLoad)
{
    ViewerFixture f;
    Strings events;
    f.viewer->OnProcessing = [&](THTMLViewer*, bool on) { events.push_back(on ? "on" : "off"); };
    f.load("<p>x");
    f.viewer->setMarginHeight(20);
    EXPECT_EQ(events, (Strings{"on", "off", "on", "off"}));
    EXPECT_EQ(f.viewer->MarginHeight(), 20);
    f.viewer->setMarginWidth(500);
    EXPECT_EQ(f.viewer->MarginWidth(), 200);
}

TEST(Processing, TooWideTableReachesTheCallerAfterProcessingEnds)
{
    ViewerFixture f;
    std::string table = "<table><tr>";
    for (int i = 0; i < 201; ++i)
        table += "<td>x";
    table += "</table>";
    EXPECT_THROW(f.load(table), Exception);
    EXPECT_FALSE(f.viewer->Processing());
    f.viewer->grab();
    f.load("<p>fine");
    EXPECT_GE(f.textPoint("fine").x(), 0);
}

TEST(Images, ComeFromTheHostOrTheCacheAndMayArriveLater)
{
    ImageCache::Shared().Clear();
    ViewerFixture f;
    f.viewer->setViewImages(true);
    QImage red(10, 12, QImage::Format_RGB32);
    red.fill(Qt::red);
    QByteArray bmp;
    {
        QBuffer out(&bmp);
        out.open(QIODevice::WriteOnly);
        red.save(&out, "BMP");
    }
    QBuffer stream(&bmp);
    stream.open(QIODevice::ReadOnly);
    Strings asked;
    f.viewer->OnBitmapRequest = [&](THTMLViewer*, const std::string& src, QImage& bitmap, QColor&) {
        asked.push_back("bitmap " + src);
        if (src == "host.bmp")
            bitmap = red;
    };
    f.viewer->OnImageRequest = [&](THTMLViewer*, const std::string& src, QIODevice*& s) {
        asked.push_back("stream " + src);
        if (src == "stream.bmp")
            s = &stream;
        else if (src == "later.bmp")
            s = THTMLViewer::WaitStream();
    };
    f.load("<img src=host.bmp><img src=stream.bmp><img src=later.bmp><img src=missing.bmp>");
    const auto& images = f.viewer->Document().ImageList;
    ASSERT_EQ(images.size(), 4u);
    EXPECT_EQ(images[0]->PictureState, TImageObj::State::Loaded);
    EXPECT_EQ(images[0]->ObjWidth, 10);
    EXPECT_EQ(images[1]->PictureState, TImageObj::State::Loaded);
    EXPECT_EQ(images[1]->ObjHeight, 12);
    EXPECT_NE(images[2]->PictureState, TImageObj::State::Error);
    EXPECT_EQ(images[3]->PictureState, TImageObj::State::Error);
    EXPECT_EQ(asked, (Strings{"bitmap host.bmp", "bitmap stream.bmp", "stream stream.bmp",
                              "bitmap later.bmp", "stream later.bmp", "bitmap missing.bmp",
                              "stream missing.bmp"}));

    QBuffer late(&bmp);
    late.open(QIODevice::ReadOnly);
    EXPECT_TRUE(f.viewer->InsertImage(" LATER.BMP", &late));
    EXPECT_EQ(images[2]->PictureState, TImageObj::State::Loaded);
    EXPECT_EQ(images[2]->ObjWidth, 10);
    EXPECT_FALSE(f.viewer->InsertImage("later.bmp", &late));

    // Shown again, the pictures come from the cache without asking.
    asked.clear();
    f.load("<img src=HOST.BMP>");
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(f.viewer->Document().ImageList[0]->PictureState, TImageObj::State::Loaded);

    // Unused pictures leave the cache after the given number of loads.
    f.viewer->setImageCacheCount(0);
    f.load("<p>no pictures");
    f.load("<p>none again");
    EXPECT_EQ(ImageCache::Shared().Count(), 0);
    f.viewer->setImageCacheCount(25);
    EXPECT_EQ(f.viewer->ImageCacheCount(), 20);
    f.viewer->setImageCacheCount(5);
}

} // namespace
