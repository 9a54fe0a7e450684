#include "html_test_support.h"

#include "html/document/process_error.h"
#include "html/render/document_renderer.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>

namespace {

// A page that sets every numeric attribute to the given value.
std::string extremePage(const std::string& v)
{
    return "<basefont size=" + v + "><body topmargin=" + v + " leftmargin=" + v + ">" +
           "<font size=" + v + ">a</font><font size=+" + v + ">b</font><font size=-" + v +
           ">c</font>" + "<hr size=" + v + " width=" + v + "><hr width=" + v + "%>" +
           "<img src=x.gif width=" + v + " height=" + v + " hspace=" + v + " vspace=" + v +
           " border=" + v + "><img src=y.gif width=" + v + "% align=left>" +
           "<img src=z.gif height=" + v + "><img src=w.gif width=" + v + ">" +
           "<table border=" + v + " cellpadding=" + v + " cellspacing=" + v + " width=" + v +
           " hspace=" + v + " vspace=" + v + ">" + "<tr><td rowspan=" + v + " width=" + v +
           " height=" + v + ">cell" + "<td width=" + v + "%>pct</table>" + "<table width=" + v +
           "%><tr><td>t</table>" + "<ol start=" + v + "><li>one<li>two</ol>" +
           "<form><input size=" + v + " maxlength=" + v + "><select size=" + v +
           "><option>o</select><textarea rows=" + v + " cols=" + v +
           "></textarea><input type=image src=i.gif width=" + v + " height=" + v + "></form>";
}

class ExtremeAttributes : public ::testing::TestWithParam<std::string> {};

// Values near the ends of the integer range once overflowed in layout
// arithmetic and gave negative or absurd document heights.
TEST_P(ExtremeAttributes, LayOutToSaneNonNegativeSizes)
{
    auto doc = parseHtml(extremePage(GetParam()));
    const int height = doc->DoLogic(780);
    EXPECT_GE(height, 0);
    EXPECT_LT(height, 10'000'000);
    EXPECT_GE(doc->MaxWidth(), 0);
    EXPECT_LT(doc->MaxWidth(), 10'000'000);
    // Painting the top of the page walks every block's drawing code.
    const QImage top = html::paintDocument(*doc, QRect(0, 0, 800, 600), QSize(800, 600), 0, 0);
    EXPECT_FALSE(top.isNull());
}

// A huge COLSPAN asks for more columns than a table may have: the load
// fails with the table error instead of overflowing.
TEST_P(ExtremeAttributes, HugeColspanFailsWithTheTableError)
{
    const long long span = std::strtoll(GetParam().c_str(), nullptr, 10);
    auto doc = parseHtml("<table><tr><td colspan=" + GetParam() + ">a<td>b</table>");
    if (span > 199 && span <= std::numeric_limits<int>::max()) {
        EXPECT_THROW(doc->DoLogic(780), EProcessError);
    } else {
        EXPECT_GE(doc->DoLogic(780), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, ExtremeAttributes,
                         ::testing::Values("2147483647", "-2147483648", "2147483646", "1000000",
                                           "99999999999", "65536", "0", "-1"));

} // namespace
