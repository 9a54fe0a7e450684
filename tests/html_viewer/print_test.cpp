// Printing the shown document: pages cut between lines and at PAGE
// elements, header and footer bands, what a print leaves out, and the
// look-alikes of the form fields. Set QUORVANE_PRINT_SHOT to a file name to
// keep the first preview page for a look.
#include "viewer_test_support.h"

#include "html/document/form_control_obj.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/viewer/document_printer.h"
#include "html/viewer/document_walk.h"
#include "html/viewer/page_breaks.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

constexpr int kPdfDpi = 300;
constexpr int kPreviewDpi = 72;

std::string manyParagraphs(int count)
{
    std::string page = "<title>Long</title>";
    for (int i = 0; i < count; ++i)
        page += "<p>Paragraph " + std::to_string(i) +
                " with enough words in it to make a line or two of ordinary text.";
    return page;
}

// Pages in a PDF file, counted from the file itself.
int pdfPageCount(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString text = QString::fromLatin1(file.readAll());
    return static_cast<int>(text.count(QRegularExpression("/Type\\s*/Page(?![s])")));
}

QPageLayout a4(double marginPoints = 0)
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(marginPoints, marginPoints, marginPoints, marginPoints),
                       QPageLayout::Point);
}

const std::string kFormPage =
    "<h2>Add your site</h2><form action=/add method=post><table border=1 bgcolor=#E0E0FF>"
    "<tr><td>Address</td><td><input name=url size=30></td></tr>"
    "<tr><td>Password</td><td><input type=password name=pw value=secret></td></tr>"
    "<tr><td>Options</td><td><input type=checkbox name=news checked> news "
    "<input type=radio name=lang checked> English <input type=radio name=lang> Spanish</td></tr>"
    "<tr><td>Category</td><td><select name=cat><option>Arts<option selected>Business</select>"
    "</td></tr><tr><td>Regions</td><td><select name=reg multiple size=3><option selected>Europe"
    "<option>Americas<option selected>Asia<option>Africa</select></td></tr>"
    "<tr><td>About</td><td><textarea name=desc rows=3 cols=24>A short text\nabout the site"
    "</textarea></td></tr></table><p><input type=submit value=\"Add URL\"> <input type=reset>"
    "</form>";

struct Band {
    int page;
    int w;
    int h;
};

struct PrintFixture : ::testing::Test {
    PrintFixture()
    {
        f.viewer->OnPrintHeader = [this](THTMLViewer* sender, QPainter* canvas, int page, int w,
                                         int h, bool& stop) {
            EXPECT_EQ(sender, f.viewer.get());
            ASSERT_NE(canvas, nullptr);
            headers.push_back({page, w, h});
            stop = page == stopAfterHeader;
        };
        f.viewer->OnPrintFooter = [this](THTMLViewer*, QPainter*, int page, int w, int h,
                                         bool& stop) {
            footers.push_back({page, w, h});
            if (page == stopAfterFooter)
                stop = true;
        };
    }
    int printPdf(const QString& name)
    {
        pdfPath = dir.filePath(name);
        QPdfWriter writer(pdfPath);
        writer.setResolution(kPdfDpi);
        writer.setPageLayout(a4(10));
        return f.viewer->Print(writer);
    }

    ViewerFixture f{500, 400};
    QTemporaryDir dir;
    QString pdfPath;
    std::vector<Band> headers;
    std::vector<Band> footers;
    int stopAfterHeader = 0;
    int stopAfterFooter = 0;
};

TEST_F(PrintFixture, ALongDocumentPrintsOnSeveralPagesWithABandPairEach)
{
    f.load(manyParagraphs(150));
    const int pages = printPdf("long.pdf");
    ASSERT_GT(pages, 2);
    EXPECT_EQ(pdfPageCount(pdfPath), pages);
    ASSERT_EQ(headers.size(), static_cast<std::size_t>(pages));
    ASSERT_EQ(footers.size(), static_cast<std::size_t>(pages));
    // The bands span the sheet and are as high as the 2-inch margins.
    const int sheetWidth = a4().fullRectPixels(kPdfDpi).width();
    for (int i = 0; i < pages; ++i) {
        EXPECT_EQ(headers[static_cast<std::size_t>(i)].page, i + 1);
        EXPECT_EQ(footers[static_cast<std::size_t>(i)].page, i + 1);
        EXPECT_EQ(headers[static_cast<std::size_t>(i)].w, sheetWidth);
        EXPECT_EQ(headers[static_cast<std::size_t>(i)].h, 2 * kPdfDpi);
        EXPECT_EQ(footers[static_cast<std::size_t>(i)].h, 2 * kPdfDpi);
    }
    // Narrower margins hold the same text on fewer pages.
    f.viewer->setPrintMarginTop(0.5);
    f.viewer->setPrintMarginBottom(0.5);
    f.viewer->setPrintMarginLeft(0.5);
    f.viewer->setPrintMarginRight(0.5);
    EXPECT_LT(printPdf("narrow.pdf"), pages);
}

TEST_F(PrintFixture, StopPrintingEndsThePrintAfterThatPage)
{
    f.load(manyParagraphs(150));
    stopAfterFooter = 2;
    EXPECT_EQ(printPdf("stopped.pdf"), 2);
    EXPECT_EQ(pdfPageCount(pdfPath), 2);
    EXPECT_EQ(headers.size(), 2u);

    headers.clear();
    footers.clear();
    stopAfterFooter = 0;
    stopAfterHeader = 1;
    EXPECT_EQ(printPdf("first.pdf"), 1);
    // The page the header stopped is still finished.
    EXPECT_EQ(footers.size(), 1u);
}

TEST_F(PrintFixture, APageElementStartsANewPage)
{
    f.load("<p>One<page><p>Two<page><h1>Three</h1><page>");
    EXPECT_EQ(printPdf("breaks.pdf"), 3);
    EXPECT_EQ(pdfPageCount(pdfPath), 3);
    f.load("<p>Nothing to break");
    EXPECT_EQ(printPdf("single.pdf"), 1);
    f.load("");
    EXPECT_EQ(printPdf("empty.pdf"), 1);
}

TEST_F(PrintFixture, PagesEndBetweenLinesOfText)
{
    // Table cells side by side, a rule and lines of different heights.
    std::string page;
    for (int i = 0; i < 40; ++i)
        page += "<table border=1><tr><td>Left cell " + std::to_string(i) +
                "<br>second line</td><td><font size=6>Big</font> right</td></tr></table>"
                "<hr><p><font size=" +
                std::to_string(1 + i % 7) + ">Line of text " + std::to_string(i) + "</font>";
    f.load(page);
    TSectionList& doc = f.viewer->Document();
    doc.DoLogic(400);
    std::vector<std::pair<int, int>> lines;
    html_viewer::ForEachBlock(doc, [&lines](TSectionBase& block) {
        if (auto* section = dynamic_cast<TSection*>(&block))
            for (const LineRec& line : section->Lines())
                lines.emplace_back(line.Y, line.Y + line.LineHt);
    });
    for (const int pageHeight : {97, 150, 333, 700}) {
        const std::vector<int> bottoms = html_viewer::PageBottoms(doc, pageHeight);
        ASSERT_FALSE(bottoms.empty());
        EXPECT_EQ(bottoms.back(), doc.DocHeight());
        int top = 0;
        for (const int bottom : bottoms) {
            EXPECT_GT(bottom, top) << pageHeight;
            EXPECT_LE(bottom - top, pageHeight);
            for (const auto& [lineTop, lineBottom] : lines)
                EXPECT_FALSE(lineTop < bottom && bottom < lineBottom)
                    << "page height " << pageHeight << " cuts " << lineTop << ".." << lineBottom
                    << " at " << bottom;
            top = bottom;
        }
    }
}

TEST_F(PrintFixture, ALineTallerThanAPageIsCutWhereThePageEnds)
{
    f.load("<p>Small<p><img src=x width=40 height=300 alt=Tall><p>After");
    TSectionList& doc = f.viewer->Document();
    doc.DoLogic(400);
    const std::vector<int> bottoms = html_viewer::PageBottoms(doc, 100);
    EXPECT_GE(bottoms.size(), 4u);
    EXPECT_EQ(bottoms.back(), doc.DocHeight());
}

TEST(PrintMargins, MarginsThatLeaveNoRoomGiveWayInProportion)
{
    TSectionList doc;
    struct Case {
        TPrintMargins margins;
        QRect content; // on a 1000 x 2000 sheet at 100 dpi
    };
    const Case cases[] = {
        {{2, 2, 2, 2}, QRect(200, 200, 600, 1600)},
        {{0, 0, 0, 0}, QRect(0, 0, 1000, 2000)},
        {{1, 3, 0.5, 0.25}, QRect(100, 50, 600, 1925)},
        // 9 inches of margins across a 10-inch sheet, 25 inches down a
        // 20-inch one: each pair leaves one inch.
        {{3, 6, 15, 10}, QRect(300, 1140, 100, 100)},
        {{-1, 20, 1, 1}, QRect(0, 100, 100, 1800)},
    };
    for (const Case& c : cases) {
        const TDocumentPrinter printer(doc, c.margins, false);
        EXPECT_EQ(printer.ContentRect(QSize(1000, 2000), 100), c.content)
            << c.margins.Left << " " << c.margins.Right << " " << c.margins.Top;
    }
}

// Non-white pixels of an image inside a rectangle.
int inkIn(const QImage& image, const QRect& area)
{
    int ink = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                ++ink;
    return ink;
}

bool hasColour(const QImage& image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                return true;
    return false;
}

TEST_F(PrintFixture, ThePreviewPutsTheBodyBetweenTheMarginsAndTheBandsInThem)
{
    f.viewer->OnPrintHeader = [](THTMLViewer*, QPainter* canvas, int page, int w, int h, bool&) {
        canvas->drawText(QRect(0, 0, w, h), Qt::AlignCenter, QString("Page %1").arg(page));
    };
    f.load(kFormPage + manyParagraphs(60));
    f.control<QLineEdit>(0)->setText("http://www.example.com/");
    const std::vector<QImage> pages = f.viewer->PrintPreview(a4(), kPreviewDpi);
    ASSERT_GE(pages.size(), 2u);
    const QImage& first = pages.front();
    EXPECT_EQ(first.size(), QSize(595, 842)); // A4 in points
    const int m = 2 * kPreviewDpi;
    EXPECT_GT(inkIn(first, QRect(m, m, first.width() - 2 * m, first.height() - 2 * m)), 1000);
    EXPECT_GT(inkIn(first, QRect(0, 0, first.width(), m)), 20);     // the header
    EXPECT_EQ(inkIn(first, QRect(0, 0, m - 1, first.height())), 0); // left margin
    EXPECT_EQ(inkIn(first, QRect(first.width() - m + 1, m, m, first.height())), 0);
    if (const QByteArray path = qgetenv("QUORVANE_PRINT_SHOT"); !path.isEmpty()) {
        EXPECT_TRUE(f.viewer->PrintPreview(a4(), 2 * kPreviewDpi)
                        .at(0)
                        .save(QString::fromLocal8Bit(path), "PNG"));
    }
}

TEST_F(PrintFixture, PrintingLeavesOutBackgroundPicturesAndCellColoursUnlessAsked)
{
    f.viewer->OnBitmapRequest = [](THTMLViewer*, const std::string&, QImage& bitmap, QColor&) {
        bitmap = QImage(8, 8, QImage::Format_RGB32);
        bitmap.fill(QColor(0, 200, 0));
    };
    f.viewer->setViewImages(true);
    f.load("<body background=tile.gif><table><tr><td bgcolor=#FF0000>Red cell</td></tr>"
           "</table><p>Text");
    const QImage screen = f.viewer->PaintPanel()->grab().toImage();
    EXPECT_TRUE(hasColour(screen, qRgb(0, 200, 0)));
    EXPECT_TRUE(hasColour(screen, qRgb(255, 0, 0)));

    QImage page = f.viewer->PrintPreview(a4(), kPreviewDpi).at(0);
    EXPECT_FALSE(hasColour(page, qRgb(0, 200, 0)));
    EXPECT_FALSE(hasColour(page, qRgb(255, 0, 0)));
    f.viewer->sethtOptions(f.viewer->htOptions() | htPrintTableBackground);
    page = f.viewer->PrintPreview(a4(), kPreviewDpi).at(0);
    EXPECT_TRUE(hasColour(page, qRgb(255, 0, 0)));
    // The screen keeps its colours.
    EXPECT_TRUE(hasColour(f.viewer->PaintPanel()->grab().toImage(), qRgb(255, 0, 0)));
}

TEST_F(PrintFixture, TheViewStaysWhereItWasAndCannotBeReplacedWhilePrinting)
{
    f.load(manyParagraphs(100));
    f.viewer->ScrollTo(700);
    const int position = f.viewer->Position();
    const int height = f.viewer->Document().DocHeight();
    f.viewer->OnPrintHeader = [](THTMLViewer* sender, QPainter*, int, int, int, bool&) {
        EXPECT_TRUE(sender->Processing());
        sender->LoadStrings({"<p>Another page"}); // ignored while printing
    };
    EXPECT_GT(printPdf("kept.pdf"), 1);
    EXPECT_EQ(f.viewer->DocumentTitle(), "Long");
    EXPECT_EQ(f.viewer->Position(), position);
    EXPECT_EQ(f.viewer->VScrollPosition(), 700);
    EXPECT_EQ(f.viewer->Document().DocHeight(), height);
    EXPECT_FALSE(f.viewer->Processing());
}

// The look-alike of a control drawn on a white picture of its size.
QImage look(TFormControlObj* control)
{
    QImage image(control->Width() + 2, control->Height() + 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    control->PaintLook(painter, 1, 1);
    return image;
}

TEST_F(PrintFixture, FormFieldsPrintAsLookAlikesOfTheirPresentState)
{
    f.load(kFormPage);
    const auto& controls = f.viewer->FormControlList();
    ASSERT_EQ(controls.size(), 10u);
    // Every kind draws a box with something in it.
    for (TFormControlObj* c : controls) {
        const QImage image = look(c);
        EXPECT_GT(inkIn(image, image.rect()), 20) << c->Name;
    }
    // What the user changed is what prints: typed text, a box cleared, a
    // radio button chosen.
    auto ink = [&controls](int i) {
        const QImage image = look(controls[static_cast<std::size_t>(i)]);
        return inkIn(image, image.rect());
    };
    const int emptyEdit = ink(0);
    const int checkedBox = ink(2);
    const int clearRadio = ink(4);
    f.control<QLineEdit>(0)->setText("http://www.example.com/");
    f.control<QCheckBox>(2)->setChecked(false);
    f.control<QRadioButton>(4)->setChecked(true);
    EXPECT_GT(ink(0), emptyEdit + 20);
    EXPECT_LT(ink(2), checkedBox - 5);
    EXPECT_GT(ink(4), clearRadio + 5);
}

} // namespace
