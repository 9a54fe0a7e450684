#include "html_test_support.h"

#include "html/document/html_table.h"
#include "html/document/image_obj.h"
#include "html/document/paragraph_space.h"
#include "html/document/process_error.h"
#include "html/render/document_renderer.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

namespace {

TSection* onlySection(TSectionList& doc)
{
    auto sections = allSections(doc);
    return sections.size() == 1 ? sections.front() : nullptr;
}

TEST(Layout, TextWrapsWithinTheWidth)
{
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "word" + std::to_string(i) + " ";
    auto doc = layoutHtml(text, 300);
    TSection* s = onlySection(*doc);
    ASSERT_NE(s, nullptr);
    ASSERT_GT(s->Lines().size(), 3u);
    int y = s->Lines().front().Y;
    for (const LineRec& line : s->Lines()) {
        EXPECT_LE(line.Width, 300);
        EXPECT_EQ(line.Y, y);
        y += line.LineHt;
        // Lines break after a blank, never inside a word.
        const std::string head = s->Buff.substr(line.Start, 4);
        EXPECT_EQ(head, "word");
    }
    EXPECT_EQ(doc->DocHeight(), y);
    EXPECT_EQ(doc->MaxWidth(), 300);
}

TEST(Layout, AWordWiderThanTheWindowOverflows)
{
    const std::string word(80, 'W');
    auto doc = layoutHtml("short " + word + " tail", 200);
    TSection* s = onlySection(*doc);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->Lines().size(), 3u);
    const LineRec& wide = s->Lines()[1];
    EXPECT_EQ(s->Buff.substr(wide.Start, 80), word);
    EXPECT_GT(wide.Width, 200);
    EXPECT_GT(doc->MaxWidth(), 200);
}

TEST(Layout, LinesAreAlignedLeftCentredAndRight)
{
    auto doc = layoutHtml("<p>left<p align=center>mid<p align=right>right", 400);
    auto sections = allSections(*doc);
    ASSERT_EQ(sections.size(), 3u);
    const LineRec& left = sections[0]->Lines().front();
    const LineRec& mid = sections[1]->Lines().front();
    const LineRec& right = sections[2]->Lines().front();
    EXPECT_EQ(left.X, 0);
    EXPECT_EQ(mid.X, (400 - mid.Width) / 2);
    EXPECT_EQ(right.X, 400 - right.Width - 1);
}

TEST(Layout, SpacesScaleWithTheBaseFontSize)
{
    auto doc = parseHtml("a<p>b<h1>c</h1>");
    doc->SetDefFontSize(24);
    doc->DoLogic(500);
    std::vector<int> heights;
    for (const auto& block : doc->Blocks())
        if (dynamic_cast<TParagraphSpace*>(block.get()))
            heights.push_back(block->SectionHeight);
    EXPECT_EQ(heights, (std::vector<int>{28, 32, 32}));
}

TEST(Layout, ImagesWithoutPictureGetABoxForTheirAltText)
{
    auto doc = layoutHtml("<img src=a.gif alt=\"A rather long alternative text\">"
                          "<img src=b.gif><img src=c.gif alt=\"long alt text\" width=10 height=12>"
                          "<img src=d.gif width=20>");
    ASSERT_EQ(doc->ImageList.size(), 4u);
    const TImageObj& alt = *doc->ImageList[0];
    const TFontMetrics& arial = doc->Fonts().metrics("Arial", 8);
    EXPECT_EQ(alt.ObjWidth, arial.textWidth(alt.Alt) + 26);
    EXPECT_EQ(alt.ObjHeight, 24);
    EXPECT_EQ(doc->ImageList[1]->ObjWidth, 26);
    EXPECT_EQ(doc->ImageList[1]->ObjHeight, 24);
    EXPECT_EQ(doc->ImageList[2]->ObjWidth, 10);
    EXPECT_EQ(doc->ImageList[2]->ObjHeight, 12);
    EXPECT_EQ(doc->ImageList[3]->ObjWidth, 26);
}

TEST(Layout, ImageSizesFollowTheirAttributesAndProportions)
{
    auto doc = parseHtml("<img src=a width=40 height=30><img src=b width=50%>"
                         "<img src=c height=50><img src=d>");
    doc->ViewImages = true;
    QImage picture(100, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (TImageObj* image : doc->ImageList)
        image->SetPicture(picture);
    doc->DoLogic(400);
    EXPECT_EQ(doc->ImageList[0]->ObjWidth, 40);
    EXPECT_EQ(doc->ImageList[0]->ObjHeight, 30);
    EXPECT_EQ(doc->ImageList[1]->ObjWidth, 200);
    EXPECT_EQ(doc->ImageList[1]->ObjHeight, 40);
    EXPECT_EQ(doc->ImageList[2]->ObjWidth, 250);
    EXPECT_EQ(doc->ImageList[3]->ObjWidth, 100);
    EXPECT_EQ(doc->ImageList[3]->ObjHeight, 20);
}

TEST(Layout, UnloadableImagesShowTheErrorPicture)
{
    auto doc = parseHtml("<img src=missing.gif alt=x>");
    doc->ViewImages = true;
    doc->GetImage = [](const std::string&, QImage&) { return false; };
    doc->LoadImages();
    EXPECT_EQ(doc->ImageList[0]->PictureState, TImageObj::State::Error);
}

TEST(Layout, FloatingImagesNarrowTheLinesBesideThem)
{
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "text ";
    auto doc = layoutHtml("<img src=a align=left width=100 height=60>" + text, 300);
    const TImageObj& image = *doc->ImageList[0];
    EXPECT_EQ(image.Left, 5);
    TSection* s = onlySection(*doc);
    ASSERT_NE(s, nullptr);
    const LineRec& first = s->Lines().front();
    EXPECT_EQ(first.X, 110);
    const LineRec& last = s->Lines().back();
    EXPECT_GE(last.Y, image.Top + image.ObjHeight);
    EXPECT_EQ(last.X, 0);
}

std::string columns(int n)
{
    std::string html = "<table><tr>";
    for (int i = 0; i < n; ++i)
        html += "<td>x";
    return html + "</table>";
}

TEST(Layout, TwoHundredColumnsLayOut)
{
    auto doc = parseHtml(columns(200));
    EXPECT_NO_THROW(doc->DoLogic(800));
    auto* table = dynamic_cast<ThtmlTable*>(doc->Blocks().front().get());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->ColumnCount(), 200);
}

TEST(Layout, MoreThanTwoHundredColumnsAreRefused)
{
    for (const std::string& html :
         {columns(201), std::string("<table><tr><td colspan=150>a<td colspan=60>b</table>"),
          std::string("<table><tr><td colspan=2000000000>a</table>")}) {
        auto doc = parseHtml(html);
        try {
            doc->DoLogic(800);
            FAIL() << "no error for " << html.substr(0, 60);
        } catch (const EProcessError& e) {
            EXPECT_STREQ(e.what(), "Table has too many Columns");
        }
    }
}

TEST(Layout, TableRowsTakeTheTallestCellAndCellsAlignVertically)
{
    auto doc = layoutHtml("<table cellspacing=0 cellpadding=0><tr>"
                          "<td valign=top>a<td>b<td valign=bottom>c<td>1<br>2<br>3<br>4</table>");
    auto* table = dynamic_cast<ThtmlTable*>(doc->Blocks().front().get());
    ASSERT_NE(table, nullptr);
    const TCellObj* top = table->CellAt(0, 0);
    const TCellObj* middle = table->CellAt(0, 1);
    const TCellObj* bottom = table->CellAt(0, 2);
    const TCellObj* tall = table->CellAt(0, 3);
    EXPECT_EQ(top->Ht, tall->Ht);
    auto y = [](const TCellObj* cell) { return cell->Cell.Blocks().front()->YPosition; };
    const int line = top->Cell.Blocks().front()->SectionHeight;
    EXPECT_EQ(y(top), top->Y);
    EXPECT_EQ(y(bottom), bottom->Y + bottom->Ht - line);
    EXPECT_EQ(y(middle), middle->Y + (middle->Ht - line) / 2);
}

TEST(Layout, CentredTablesAndPercentWidths)
{
    auto doc = layoutHtml("<table align=center width=50% cellspacing=0 border=0><tr>"
                          "<td width=25%>a<td>b</table>",
                          800);
    auto* table = dynamic_cast<ThtmlTable*>(doc->Blocks().front().get());
    ASSERT_NE(table, nullptr);
    const auto& widths = table->ColumnWidths();
    ASSERT_EQ(widths.size(), 2u);
    EXPECT_EQ(widths[0] + widths[1] + 1, 400);
    EXPECT_NEAR(widths[0], 100, 1);
    EXPECT_EQ(table->CellAt(0, 0)->X, 200 + 1);
}

TEST(Layout, BackgroundImageScrollsWithTheText)
{
    auto doc = layoutHtml("text");
    doc->ViewImages = true;
    QImage tile(8, 8, QImage::Format_RGB32);
    tile.fill(Qt::white);
    for (int y = 0; y < 8; ++y)
        tile.setPixel(3, y, qRgb(255, 0, 0));
    doc->BackgroundImage = tile;
    // The same document point keeps its colour at two scroll positions.
    for (int scroll : {0, 5, 13}) {
        const QRect clip(0, scroll, 40, 20);
        const QImage shot = html::paintDocument(*doc, clip, QSize(40, 20), 0, -scroll);
        for (int x = 0; x < 40; ++x)
            EXPECT_EQ(shot.pixel(x, 19) == qRgb(255, 0, 0), x % 8 == 3)
                << "x " << x << " scroll " << scroll;
    }
}

TEST(Layout, PaintingTooLargeAnImageIsOutOfResources)
{
    auto doc = layoutHtml("x");
    EXPECT_THROW(html::paintDocument(*doc, QRect(0, 0, 10, 10), QSize(100000, 100000), 0, 0),
                 EOutOfResources);
}

} // namespace

namespace {

// A 1 x 1 GIF with two colours; with two frames it loops forever, each
// frame shown for 100 ms.
QByteArray tinyGif(bool animated)
{
    QByteArray gif = QByteArray::fromHex("474946383961"
                                         "01000100"
                                         "800000"
                                         "FFFFFF000000");
    if (animated)
        gif += QByteArray::fromHex("21FF0B") + "NETSCAPE2.0" +
               QByteArray::fromHex("030100"
                                   "0000");
    const QByteArray control = QByteArray::fromHex("21F904000A000000");
    const QByteArray frame = QByteArray::fromHex("2C0000000001000100"
                                                 "00");
    gif += control + frame +
           QByteArray::fromHex("02024401"
                               "00");
    if (animated)
        gif += control + frame +
               QByteArray::fromHex("02024C01"
                                   "00");
    return gif + QByteArray::fromHex("3B");
}

TEST(Layout, PicturesLoadNextToThePageAndAnimatedGifsMove)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto& [name, data] :
         {std::pair{QString("still.gif"), tinyGif(false)},
          std::pair{QString("moving.gif"), tinyGif(true)},
          std::pair{QString("page.html"), QByteArray("<img src=still.gif><img src=moving.gif>"
                                                     "<img src=absent.gif>")}}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }
    TSectionList doc;
    html::applyViewerDefaults(doc);
    doc.ViewImages = true;
    html::loadDocumentFile(doc, dir.filePath("page.html"));
    ASSERT_EQ(doc.ImageList.size(), 3u);
    EXPECT_EQ(doc.ImageList[0]->PictureState, TImageObj::State::Loaded);
    EXPECT_EQ(doc.ImageList[0]->Animation, nullptr);
    EXPECT_EQ(doc.ImageList[1]->PictureState, TImageObj::State::Loaded);
    EXPECT_EQ(doc.ImageList[2]->PictureState, TImageObj::State::Error);
    doc.DoLogic(400);
    EXPECT_EQ(doc.ImageList[0]->ObjWidth, 1);
    ASSERT_TRUE(doc.HasAnimations());
    const QRgb before = doc.ImageList[1]->CurrentPicture().pixel(0, 0);
    EXPECT_FALSE(doc.AdvanceAnimations(TSectionList::kAnimationInterval));
    EXPECT_TRUE(doc.AdvanceAnimations(TSectionList::kAnimationInterval));
    EXPECT_NE(doc.ImageList[1]->CurrentPicture().pixel(0, 0), before);
}

} // namespace
