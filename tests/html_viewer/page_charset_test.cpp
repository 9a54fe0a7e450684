#include "viewer_test_support.h"

#include "html/document/section.h"
#include "html/document/section_list.h"

#include <gtest/gtest.h>

namespace {

// All text of the shown document.
std::string shownText(THTMLViewer& viewer)
{
    std::string text;
    for (const auto& block : viewer.Document().Blocks())
        if (auto* s = dynamic_cast<TSection*>(block.get()))
            text += s->Buff;
    return text;
}

// "Señor – 10 €, ✓" in UTF-8.
const std::string kUtf8 = "<title>Se\xC3\xB1or \xE2\x82\xAC</title><p>Se\xC3\xB1or \xE2\x80\x93 "
                          "10 \xE2\x82\xAC, \xE2\x9C\x93";
const std::string kAnsiText = "Se\xF1or \x96 10 \x80, ?";
const std::string kAnsiTitle = "Se\xF1or \x80";

TEST(PageCharset, DownloadedPageReadByItsHttpContentType)
{
    ViewerFixture f;
    PageFolder pages;
    const QString page = pages.write("download.htm", kUtf8);
    f.viewer->LoadFromFile(page, "text/html; charset=utf-8");
    EXPECT_EQ(shownText(*f.viewer), kAnsiText);
    EXPECT_EQ(f.viewer->DocumentTitle(), kAnsiTitle);
    ASSERT_FALSE(f.viewer->TitleHistory().empty());
    EXPECT_EQ(f.viewer->TitleHistory().front(), kAnsiTitle);

    // Going back to the download reads it with the same header again.
    const QString other = pages.write("other.htm", "<title>Other</title>x");
    f.viewer->LoadFromFile(other);
    f.viewer->setHistoryIndex(1);
    EXPECT_EQ(f.viewer->DocumentTitle(), kAnsiTitle);
    EXPECT_EQ(shownText(*f.viewer), kAnsiText);

    // Opened from disk without a header, the same bytes say nothing of UTF-8.
    f.viewer->LoadFromFile(other);
    f.viewer->LoadFromFile(page);
    EXPECT_NE(shownText(*f.viewer), kAnsiText);
}

TEST(PageCharset, FilesAndStringsReadByTheirOwnDeclaration)
{
    ViewerFixture f;
    PageFolder pages;
    const std::string declared = "<meta charset=\"utf-8\">" + kUtf8;
    f.viewer->LoadFromFile(pages.write("meta.htm", declared));
    EXPECT_EQ(shownText(*f.viewer), kAnsiText);
    f.viewer->LoadFromFile(pages.write("bom.htm", "\xEF\xBB\xBF" + kUtf8));
    EXPECT_EQ(shownText(*f.viewer), kAnsiText);
    // Answers shown from the log arrive as lines.
    f.viewer->LoadStrings({"<html><head><meta http-equiv=\"Content-Type\" "
                           "content=\"text/html; charset=utf-8\">",
                           kUtf8});
    EXPECT_EQ(shownText(*f.viewer), kAnsiText);
    EXPECT_EQ(f.viewer->DocumentTitle(), kAnsiTitle);
}

} // namespace
