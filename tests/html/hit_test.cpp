#include "html_test_support.h"

#include "html/document/form_control_obj.h"
#include "html/document/image_obj.h"
#include "html/document/url_target.h"
#include "html/render/document_renderer.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(HitTest, FindsTheCharacterAndItsLink)
{
    const std::string html = "plain <a href=\"next.html\" target=right>linked</a> end";
    auto doc = layoutHtml(html);
    TSection* s = allSections(*doc).front();
    const LineRec& line = s->Lines().front();
    int x = 0, y = 0;
    const int linked = static_cast<int>(html.find("linked"));
    ASSERT_TRUE(doc->CharPosition(linked + 2, x, y));
    EXPECT_EQ(y, line.Y);

    THitResult hit;
    ASSERT_TRUE(doc->HitTest(x + 1, line.Y + 2, hit));
    EXPECT_EQ(hit.charIndex, linked + 2);
    ASSERT_NE(hit.link, nullptr);
    EXPECT_EQ(hit.url, "next.html");
    EXPECT_EQ(hit.target, "right");

    THitResult plain;
    ASSERT_TRUE(doc->HitTest(1, line.Y + 2, plain));
    EXPECT_EQ(plain.charIndex, 0);
    EXPECT_EQ(plain.link, nullptr);

    THitResult below;
    EXPECT_FALSE(doc->HitTest(1, doc->DocHeight() + 50, below));
}

TEST(HitTest, ImagesMapsAndControls)
{
    auto doc = layoutHtml("<a href=map.cgi><img src=a width=100 height=50 ismap></a>"
                          "<img src=b width=100 height=50 usemap=#m>"
                          "<map name=m><area shape=rect coords=0,0,49,49 href=left.html target=t>"
                          "<area shape=default href=right.html></map>"
                          "<input name=field>");
    ASSERT_EQ(doc->ImageList.size(), 2u);
    const TImageObj& isMap = *doc->ImageList[0];
    THitResult hit;
    ASSERT_TRUE(doc->HitTest(isMap.Left + 7, isMap.Top + 9, hit));
    EXPECT_EQ(hit.image, &isMap);
    EXPECT_EQ(hit.url, "map.cgi?7,9");

    const TImageObj& useMap = *doc->ImageList[1];
    THitResult left, right;
    ASSERT_TRUE(doc->HitTest(useMap.Left + 10, useMap.Top + 10, left));
    EXPECT_EQ(left.url, "left.html");
    EXPECT_EQ(left.target, "t");
    ASSERT_TRUE(doc->HitTest(useMap.Left + 90, useMap.Top + 10, right));
    EXPECT_EQ(right.url, "right.html");

    ASSERT_EQ(doc->FormControlList.size(), 1u);
    const TFormControlObj& field = *doc->FormControlList[0];
    THitResult control;
    ASSERT_TRUE(doc->HitTest(field.Left + 3, field.Top + 3, control));
    EXPECT_EQ(control.control, &field);
}

TEST(Selection, SelectedTextFollowsSourceIndexes)
{
    const std::string html = "<p>first para</p><p>second <b>bold</b> para</p>";
    auto doc = layoutHtml(html);
    doc->SelStart = static_cast<int>(html.find("para"));
    doc->SelEnd = static_cast<int>(html.find("bold")) + 2;
    EXPECT_EQ(doc->SelectedText(), "para\r\nsecond bo");
    doc->SelStart = doc->SelEnd;
    EXPECT_EQ(doc->SelectedText(), "");
}

TEST(Selection, SelectedCharactersArePaintedHighlighted)
{
    auto doc = layoutHtml("<font size=7>MMMM</font>");
    TSection* s = allSections(*doc).front();
    const LineRec& line = s->Lines().front();
    const QRect clip(0, 0, 200, line.LineHt);
    const QImage before = html::paintDocument(*doc, clip, clip.size(), 0, 0);
    doc->SelStart = s->SIndex[1];
    doc->SelEnd = s->SIndex[3];
    const QImage after = html::paintDocument(*doc, clip, clip.size(), 0, 0);
    int x1 = 0, y = 0, x3 = 0;
    ASSERT_TRUE(doc->CharPosition(s->SIndex[1], x1, y));
    ASSERT_TRUE(doc->CharPosition(s->SIndex[3], x3, y));
    // Inside the selection the background is the highlight colour, outside
    // it is unchanged.
    EXPECT_EQ(after.pixel(x1 + 1, 1), doc->SelectionColor.rgb());
    EXPECT_EQ(after.pixel(x3 - 1, 1), doc->SelectionColor.rgb());
    EXPECT_EQ(after.pixel(x3 + 3, 1), before.pixel(x3 + 3, 1));
    EXPECT_EQ(after.pixel(x1 - 3, 1), before.pixel(x1 - 3, 1));
}

TEST(Links, VisitedAndHoverColours)
{
    auto doc = layoutHtml("<body link=#0000FF vlink=#FF0000 olink=#00FF00><a href=x>LLLL</a>");
    TSection* s = allSections(*doc).front();
    const QRect clip(0, 0, 100, s->Lines().front().LineHt);
    auto colours = [&] {
        const QImage shot = html::paintDocument(*doc, clip, clip.size(), 0, 0);
        std::set<QRgb> found;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                found.insert(shot.pixel(x, y));
        return found;
    };
    EXPECT_TRUE(colours().count(qRgb(0, 0, 255)));
    doc->Links.front()->Visited = true;
    EXPECT_TRUE(colours().count(qRgb(255, 0, 0)));
    doc->HoverLink = doc->Links.front().get();
    EXPECT_TRUE(colours().count(qRgb(0, 255, 0)));
}

} // namespace
