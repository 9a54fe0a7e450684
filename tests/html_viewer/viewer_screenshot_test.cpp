// Paints a submission page with every kind of control, scrolled, with a
// selection and a link under the pointer. Set QUORVANE_VIEWER_SHOT to a file
// name to keep the picture for a look.
#include "viewer_test_support.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>

namespace {

const char* const kSubmissionPage = R"(<html><head><title>Add your site</title></head>
<body bgcolor=#FFFFF0>
<h2>Add a page to the index</h2>
<p>Fill in the form below and press <b>Submit</b>. See the <a href="help.htm">help page</a>
or the <a href="rules.htm">listing rules</a> first.
<form action="/cgi-bin/add.pl" method=post>
<input type=hidden name=source value=form>
<table border=1 cellpadding=4>
<tr><td>Page address</td><td><input name=url size=30 value="##url"></td></tr>
<tr><td>E-mail</td><td><input name=email size=24 value="##email"></td></tr>
<tr><td>Password</td><td><input type=password name=pw size=12 value=secret></td></tr>
<tr><td>Options</td><td><input type=checkbox name=news checked> news
 <input type=checkbox name=adult> adult</td></tr>
<tr><td>Language</td><td><input type=radio name=lang value=en checked> English
 <input type=radio name=lang value=es> Spanish</td></tr>
<tr><td>Category</td><td><select name=cat><option>Arts<option selected>Business
 <option>Computers</select></td></tr>
<tr><td>Regions</td><td><select name=reg multiple size=3><option selected>Europe
 <option>Americas<option selected>Asia<option>Africa</select></td></tr>
<tr><td>Description</td><td><textarea name=desc rows=3 cols=28>A short text
about the site</textarea></td></tr>
</table>
<p><input type=submit name=go value="Add URL"> <input type=reset> <input type=button value=Preview>
 or press <input type=image name=send src=send.gif alt="Send">
</form>
<p>Pages are reviewed within two weeks. <a href="faq.htm">Questions?</a>
</body></html>)";

TEST(ViewerScreenshot, SubmissionPageWithEveryControlScrolledSelectedAndHovered)
{
    ViewerFixture f(560, 420);
    f.viewer->setDefOverLinkColor(Qt::red);
    f.load(kSubmissionPage);
    f.viewer->ScrollTo(40);
    const QPoint from = f.textPoint("Fill in", 0);
    const QPoint to = f.textPoint("form below", 4);
    ASSERT_GE(from.x(), 0);
    ASSERT_GE(to.x(), 0);
    f.press(from);
    f.moveTo(to, true);
    f.release(to);
    EXPECT_GT(f.viewer->SelLength(), 0);
    const QPoint link = f.linkPoint("help.htm");
    ASSERT_GE(link.x(), 0);
    f.moveTo(link, false);
    EXPECT_EQ(f.viewer->LinkURL(), "help.htm");

    const QPixmap shot = f.viewer->grab();
    ASSERT_FALSE(shot.isNull());
    // The hovered link takes the hover colour.
    const QImage image = shot.toImage();
    const QPoint origin = f.viewer->PaintPanel()->pos();
    bool red = false;
    for (int x = -20; x < 40 && !red; ++x)
        for (int y = -8; y < 8 && !red; ++y)
            red = image.pixelColor(origin + link + QPoint(x, y)) == QColor(Qt::red);
    EXPECT_TRUE(red);
    if (const QByteArray path = qgetenv("QUORVANE_VIEWER_SHOT"); !path.isEmpty()) {
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path), "PNG"));
    }
}

} // namespace
