#include "html_test_support.h"

#include "html/document/drawn_form_control.h"
#include "html/document/html_form.h"
#include "html/document/html_table.h"
#include "html/document/image_obj.h"
#include "html/document/map_item.h"
#include "html/document/paragraph_space.h"
#include "html/document/url_target.h"
#include "html/parser/html_parser.h"
#include "html/render/document_renderer.h"

#include <gtest/gtest.h>

namespace {

template <typename T> std::vector<T*> blocksOf(TCell& cell)
{
    std::vector<T*> out;
    for (const auto& block : cell.Blocks())
        if (auto* b = dynamic_cast<T*>(block.get()))
            out.push_back(b);
    return out;
}

ThtmlTable* firstTable(TCell& cell)
{
    auto tables = blocksOf<ThtmlTable>(cell);
    return tables.empty() ? nullptr : tables.front();
}

// The nominal size of the first character of the section holding text.
int nominalSizeOf(TCell& doc, const std::string& text)
{
    for (TSection* s : allSections(doc))
        if (auto at = s->Buff.find(text); at != std::string::npos) {
            int size = 0;
            for (const TFontObj& f : s->Fonts)
                if (f.Pos <= static_cast<int>(at))
                    size = f.Font.NominalSize;
            return size;
        }
    return -1;
}

const TFontObj* runOf(TCell& doc, const std::string& text)
{
    for (TSection* s : allSections(doc))
        if (auto at = s->Buff.find(text); at != std::string::npos) {
            const TFontObj* run = nullptr;
            for (const TFontObj& f : s->Fonts)
                if (f.Pos <= static_cast<int>(at))
                    run = &f;
            return run;
        }
    return nullptr;
}

TEST(Parser, TextRunsCollapseBlanksAcrossTags)
{
    auto doc = parseHtml("  Hello   <b> big </b>  world \r\n");
    EXPECT_EQ(sectionTexts(*doc), (std::vector<std::string>{"Hello big world"}));
}

TEST(Parser, HeadingsGetTheirSizeBoldnessAndSpaces)
{
    auto doc = parseHtml("<h1>One</h1><H3 align=center>Three</h3><h>Plain</h>after");
    EXPECT_EQ(nominalSizeOf(*doc, "One"), 24);
    EXPECT_EQ(nominalSizeOf(*doc, "Three"), 14);
    EXPECT_TRUE(runOf(*doc, "Three")->Font.Bold);
    EXPECT_EQ(nominalSizeOf(*doc, "Plain"), 12);
    EXPECT_FALSE(runOf(*doc, "Plain")->Font.Bold);
    EXPECT_EQ(nominalSizeOf(*doc, "after"), 12);
    auto sections = allSections(*doc);
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(sections[1]->AlignmentCode, TSection::AlignCenter);
    EXPECT_EQ(blocksOf<THeadingSpace>(*doc).size(), 4u);
}

struct FontCase {
    const char* html;
    int nominal;
};

class ParserFontSizes : public ::testing::TestWithParam<FontCase> {};

TEST_P(ParserFontSizes, NominalSizeOfX)
{
    auto doc = parseHtml(GetParam().html);
    EXPECT_EQ(nominalSizeOf(*doc, "X"), GetParam().nominal) << GetParam().html;
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, ParserFontSizes,
    ::testing::Values(FontCase{"<font size=+2>X</font>", 18}, FontCase{"<font size=9>X", 36},
                      FontCase{"<font size=1>X", 8}, FontCase{"<font size=-5>X", 8},
                      FontCase{"<font size=\"4\">X", 14},
                      FontCase{"<basefont size=5><font size=+1>X", 24},
                      FontCase{"a<basefont size=5><font size=+1>X", 14},
                      FontCase{"<pre><font size=3>X</font></pre>", 10},
                      FontCase{"<pre><font size=7>X</font></pre>", 30},
                      FontCase{"<big>X</big>", 14}, FontCase{"<small>X</small>", 10},
                      FontCase{"<font size=7><big>X", 36}, FontCase{"<tt>X</tt>", 10},
                      FontCase{"<font size=6>a</font>X", 12}));

TEST(Parser, FontStackRefusesPushesBeyondItsLimitAndStaysBalanced)
{
    std::string html;
    for (int i = 0; i < 30; ++i)
        html += "<font size=7>";
    html += "deep";
    for (int i = 0; i < 30; ++i)
        html += "</font>";
    html += "X";
    auto doc = parseHtml(html);
    EXPECT_EQ(nominalSizeOf(*doc, "deep"), 36);
    EXPECT_EQ(nominalSizeOf(*doc, "X"), 12);
}

TEST(Parser, StyleTagsAreFlagsNotCounts)
{
    auto doc = parseHtml("<b><b>bold</b>plain <i>it</i><u>u</u><strike>s</strike>");
    EXPECT_TRUE(runOf(*doc, "bold")->Font.Bold);
    EXPECT_FALSE(runOf(*doc, "plain")->Font.Bold);
    EXPECT_TRUE(runOf(*doc, "it")->Font.Italic);
    EXPECT_TRUE(runOf(*doc, "u")->Font.Underline);
    EXPECT_TRUE(runOf(*doc, "s")->Font.StrikeOut);
}

TEST(Parser, FontColorFaceAndLinks)
{
    auto doc = parseHtml("<font color=red face=\" Arial , Helvetica\">R</font>"
                         "<a href=\"x.html\" target=_top>L</a><font color=nonsense>N</font>");
    EXPECT_EQ(runOf(*doc, "R")->Font.Color, QColor(Qt::red));
    EXPECT_EQ(runOf(*doc, "R")->Font.Name, "Arial");
    const TFontObj* link = runOf(*doc, "L");
    ASSERT_NE(link->UrlTarget, nullptr);
    EXPECT_EQ(link->UrlTarget->Url, "x.html");
    EXPECT_EQ(link->UrlTarget->Target, "_top");
    EXPECT_TRUE(link->Font.Underline);
    EXPECT_EQ(runOf(*doc, "N")->Font.Color, QColor(Qt::black));
    EXPECT_EQ(doc->Links.size(), 1u);
}

TEST(Parser, ParagraphsAddOneSpaceForARunOfParagraphTags)
{
    auto doc = parseHtml("a<p><p></p><P>b<p align=right>c");
    EXPECT_EQ(blocksOf<TParagraphSpace>(*doc).size(), 2u);
    auto sections = allSections(*doc);
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[2]->AlignmentCode, TSection::AlignRight);
}

TEST(Parser, BreaksKeepTheAlignmentOfTheLineTheyEnd)
{
    auto doc = parseHtml("<p align=right>a<br>b<p>c");
    auto sections = allSections(*doc);
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[1]->AlignmentCode, TSection::AlignRight);
    EXPECT_EQ(sections[2]->AlignmentCode, TSection::AlignLeft);
}

TEST(Parser, BreaksEndLinesAndDoubleBreaksLeaveAnEmptyLine)
{
    auto doc = parseHtml("a<br>b<br><br>c<br clear=left>d<br clear=all>e");
    EXPECT_EQ(sectionTexts(*doc), (std::vector<std::string>{"a", "b", "", "c", "d", "e"}));
    auto sections = allSections(*doc);
    EXPECT_EQ(sections[4]->ClearAttr, 1);
    EXPECT_EQ(sections[5]->ClearAttr, 3);
}

TEST(Parser, ListsNumberIndentAndNest)
{
    auto doc = parseHtml("<ol start=3 type=a><li>x<li>y</ol><ul plain><li>p</ul>"
                         "<ul><li>one<ul><li>two</ul></ul><li>lone"
                         "<dl><dt>term<dd>def</dl><blockquote>q</blockquote>");
    auto items = blocksOf<TOListItem>(*doc);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->Number, 3);
    EXPECT_EQ(items[1]->Number, 4);
    EXPECT_EQ(TOListItem::MarkerText(items[1]->Number, items[1]->Style), "d.");
    auto bullets = blocksOf<TUListItem>(*doc);
    ASSERT_EQ(bullets.size(), 4u);
    EXPECT_TRUE(bullets[0]->Plain);
    EXPECT_EQ(bullets[1]->Depth, 1);
    EXPECT_EQ(bullets[1]->Indent, 35);
    EXPECT_EQ(bullets[2]->Depth, 2);
    EXPECT_EQ(bullets[2]->Indent, 70);
    EXPECT_EQ(bullets[3]->Indent, 15);
    auto defs = blocksOf<TDListItem>(*doc);
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_EQ(defs[0]->Indent, 0);
    EXPECT_EQ(defs[1]->Indent, 35);
    auto sections = allSections(*doc);
    EXPECT_EQ(sections.back()->Indent, 35); // block quote
}

TEST(Parser, MarkerTexts)
{
    EXPECT_EQ(TOListItem::MarkerText(1, '1'), "1.");
    EXPECT_EQ(TOListItem::MarkerText(2, 'A'), "B.");
    EXPECT_EQ(TOListItem::MarkerText(40, 'a'), "z.");
    EXPECT_EQ(TOListItem::MarkerText(4, 'I'), "IV.");
    EXPECT_EQ(TOListItem::MarkerText(19, 'i'), "xix.");
    EXPECT_EQ(TOListItem::MarkerText(25, 'I'), "XX.");
}

TEST(Parser, PreKeepsLinesAndRestoresTheFont)
{
    auto doc = parseHtml("<pre>\n  a  b\nc<br>d<p>e<h1>x</h1></pre><b>after");
    auto pres = blocksOf<TPreFormated>(*doc);
    ASSERT_EQ(pres.size(), 1u);
    EXPECT_EQ(sectionText(*pres[0]), "  a  b\\nc\\nd\\nex");
    EXPECT_EQ(pres[0]->Fonts.front().Font.Name, "Courier New");
    EXPECT_EQ(runOf(*doc, "after")->Font.Name, "Times New Roman");
    EXPECT_TRUE(runOf(*doc, "after")->Font.Bold);
}

TEST(Parser, PreEndsAtACellEnd)
{
    auto doc = parseHtml("<table><tr><td><pre>code</td><td>next</td></tr></table>");
    EXPECT_EQ(sectionTexts(*doc), (std::vector<std::string>{"code", "next"}));
}

TEST(Parser, LongPreformattedTextContinuesInAnotherBlock)
{
    std::string body;
    for (int i = 0; i < 3000; ++i)
        body += "line " + std::to_string(i % 10) + "\n";
    auto doc = parseHtml("<pre>" + body + "</pre>");
    std::size_t total = 0;
    for (TPreFormated* pre : blocksOf<TPreFormated>(*doc)) {
        EXPECT_LE(pre->Buff.size(), TPreFormated::kMaxChars);
        total += pre->Buff.size();
    }
    EXPECT_EQ(total, body.size() - 1);
}

TEST(Parser, TableSpansAreFilledAndCellsTakeTheirAttributes)
{
    auto doc = parseHtml("<table bgcolor=silver border cellpadding=80 cellspacing=3>"
                         "<caption align=BOTTOM>cap</caption>"
                         "<tr align=right valign=top><th>h1<td colspan=2 bgcolor=red>a"
                         "<tr><td rowspan=5>b<td>c<td width=30%>d</table>");
    ThtmlTable* table = firstTable(*doc);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->Border, 1);
    EXPECT_EQ(table->CellPadding, 50);
    EXPECT_EQ(table->CellSpacing, 5);
    table->Initialize();
    EXPECT_EQ(table->ColumnCount(), 3);
    EXPECT_EQ(table->RowCount(), 2);
    ASSERT_NE(table->CellAt(0, 0), nullptr);
    ASSERT_NE(table->CellAt(0, 1), nullptr);
    EXPECT_EQ(table->CellAt(0, 2), nullptr);
    EXPECT_EQ(table->CellAt(0, 1)->ColSpan, 2);
    EXPECT_EQ(*table->CellAt(0, 1)->BgColor, QColor(Qt::red));
    EXPECT_EQ(*table->CellAt(0, 0)->BgColor, QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(table->CellAt(0, 0)->VAlign, TCellObj::VTop);
    EXPECT_EQ(table->CellAt(1, 0)->RowSpan, 1); // limited to the rows that remain
    EXPECT_EQ(table->CellAt(1, 0)->VAlign, TCellObj::VMiddle);
    EXPECT_TRUE(table->CellAt(1, 2)->SpecPercent);
    EXPECT_EQ(table->CellAt(1, 2)->SpecWidth, 30);

    auto sections = allSections(*doc);
    ASSERT_EQ(sections.size(), 6u);
    EXPECT_EQ(sectionText(*sections[0]), "cap");
    EXPECT_EQ(sections[0]->AlignmentCode, TSection::AlignCenter);
    EXPECT_EQ(sectionText(*sections[1]), "h1");
    EXPECT_TRUE(sections[1]->Fonts.front().Font.Bold);
    EXPECT_EQ(sections[1]->AlignmentCode, TSection::AlignRight); // the row's alignment
    EXPECT_EQ(sections[3]->AlignmentCode, TSection::AlignLeft);
}

TEST(Parser, RowSpanLeavesBlanksInTheRowsBelow)
{
    auto doc = parseHtml("<table><tr><td rowspan=2>a<td>b<tr><td>c</table>");
    ThtmlTable* table = firstTable(*doc);
    table->Initialize();
    EXPECT_EQ(table->ColumnCount(), 2);
    EXPECT_EQ(table->CellAt(1, 0), nullptr);
    ASSERT_NE(table->CellAt(1, 1), nullptr);
    EXPECT_EQ(sectionTexts(const_cast<TCell&>(table->CellAt(1, 1)->Cell)),
              (std::vector<std::string>{"c"}));
}

TEST(Parser, CellsStartFromTheStateAtTheTableTag)
{
    auto doc = parseHtml("<b><table><tr><td><i>a<font size=7>b<td>c</table>d</b>e");
    EXPECT_TRUE(runOf(*doc, "c")->Font.Bold);
    EXPECT_FALSE(runOf(*doc, "c")->Font.Italic);
    EXPECT_EQ(nominalSizeOf(*doc, "c"), 12);
    EXPECT_TRUE(runOf(*doc, "d")->Font.Bold);
    EXPECT_FALSE(runOf(*doc, "e")->Font.Bold);
}

TEST(Parser, StrayContentInATableGetsACell)
{
    auto doc = parseHtml("<table>text<tr><td>a</td></tr></table>");
    EXPECT_EQ(sectionTexts(*doc), (std::vector<std::string>{"text", "a"}));
}

TEST(Parser, NestedTablesAndListsInCells)
{
    auto doc = parseHtml("<table><tr><td><ul><li>i1<li>i2</td><td><table><tr><td>in"
                         "</table></td></tr></table>after");
    EXPECT_EQ(sectionTexts(*doc), (std::vector<std::string>{"i1", "i2", "in", "after"}));
}

TEST(Parser, FormsAndControls)
{
    auto doc = parseHtml("<input name=before>"
                         "<form action=\"/add\" method=POST target=t enctype=x>"
                         "<input type=hidden name=h value=1><input type=TEXT name=u size=30>"
                         "<input type=image src=go.gif name=go>"
                         "<select name=s><option value=\"v1\"> One <option selected>Two"
                         "<option>   </select>"
                         "<textarea name=t>l1\nl2</textarea><input type=submit></form>"
                         "<input type=checkbox name=after>");
    ASSERT_EQ(doc->Forms.size(), 3u);
    EXPECT_EQ(doc->Forms[0]->Method, "Get");
    EXPECT_EQ(doc->Forms[0]->Controls.size(), 1u);
    const ThtmlForm& form = *doc->Forms[1];
    EXPECT_EQ(form.Method, "POST");
    EXPECT_EQ(form.Action, "/add");
    EXPECT_EQ(form.Target, "t");
    EXPECT_EQ(form.EncType, "x");
    ASSERT_EQ(form.Controls.size(), 6u);
    EXPECT_EQ(doc->FormControlList.size(), 8u);
    EXPECT_EQ(doc->Forms[2]->Controls.size(), 1u);

    auto* select = dynamic_cast<TDrawnFormControl*>(form.Controls[3].get());
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(select->ControlKind(), TDrawnFormControl::Kind::Combo);
    ASSERT_EQ(select->Options.size(), 2u);
    EXPECT_EQ(select->Options[0].Text, "One");
    EXPECT_EQ(select->Options[0].Value, "v1");
    EXPECT_TRUE(select->Options[1].Selected);
    auto* area = dynamic_cast<TDrawnFormControl*>(form.Controls[4].get());
    EXPECT_EQ(area->Lines, (std::vector<std::string>{"l1", "l2"}));
    auto* submit = dynamic_cast<TDrawnFormControl*>(form.Controls[5].get());
    EXPECT_EQ(submit->Value, "Submit");

    // Hidden inputs take no place; the image input is an image.
    auto sections = allSections(*doc);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sectionText(*sections[0]), "{obj}{obj}{obj}{obj}{obj}{obj}{obj}");
    EXPECT_EQ(sections[0]->FormControls().size(), 6u);
    ASSERT_EQ(doc->ImageList.size(), 1u);
    EXPECT_EQ(doc->ImageList[0]->FormControl, form.Controls[2].get());
}

TEST(Parser, MapsKeepTheirAreasUnlessInterrupted)
{
    auto doc = parseHtml("<map name=\"#nav\"><area shape=rect coords=\"0,0,10,10\" href=a.html>"
                         "<area shape=circle coords=\"20,20,5\" href=b.html></map>"
                         "<map name=broken><b><i><u>text</map>");
    ASSERT_EQ(doc->Maps.size(), 1u);
    const TMapItem& map = *doc->Maps[0];
    EXPECT_EQ(map.MapName, "#NAV");
    std::string url, target;
    EXPECT_TRUE(map.GetURL(5, 5, url, target));
    EXPECT_EQ(url, "a.html");
    EXPECT_TRUE(map.GetURL(22, 21, url, target));
    EXPECT_EQ(url, "b.html");
    EXPECT_FALSE(map.GetURL(50, 50, url, target));
    EXPECT_TRUE(runOf(*doc, "text")->Font.Underline);
}

TEST(Parser, HeadElementsAndHooks)
{
    TSectionList doc;
    html::applyViewerDefaults(doc);
    THtmlParser parser(doc);
    std::vector<std::string> metas;
    std::string script, language, sound;
    int loop = 0;
    parser.OnMeta = [&](const std::string& h, const std::string& n, const std::string& c) {
        metas.push_back(h + "|" + n + "|" + c);
    };
    parser.OnScript = [&](const std::string& l, std::string s) {
        language = l;
        script = s;
    };
    parser.OnSoundRequest = [&](const std::string& src, int l) {
        sound = src;
        loop = l;
    };
    parser.ParseHTML("<html><head><title> The  title </title>"
                     "<meta http-equiv=Content-Type content=\"text/html; charset=windows-1251\">"
                     "<meta name=author content=me><base href=\"http://x/\" target=main>"
                     "<script language=JavaScript>var a = 1;</script><bgsound src=s.wav>"
                     "</head><body text=red link=green bgcolor=\"#FFFF00\" olink=lime>Body"
                     "<body bgcolor=blue></body></html>");
    EXPECT_EQ(doc.Title, "The title");
    EXPECT_EQ(doc.Base, "http://x/");
    EXPECT_EQ(doc.BaseTarget, "main");
    EXPECT_EQ(metas, (std::vector<std::string>{"Content-Type||text/html; charset=windows-1251",
                                               "|author|me"}));
    EXPECT_EQ(language, "JavaScript");
    EXPECT_EQ(script, "var a = 1;");
    EXPECT_EQ(sound, "s.wav");
    EXPECT_EQ(loop, 1);
    EXPECT_EQ(doc.Background, QColor(Qt::yellow));
    EXPECT_EQ(doc.HotSpotColor, QColor(0x00, 0x80, 0x00));
    EXPECT_TRUE(doc.HoverColoring);
    const TFontObj* body = runOf(doc, "Body");
    EXPECT_EQ(body->Font.Color, QColor(Qt::red));
    EXPECT_EQ(body->Font.Charset, 204);
    EXPECT_EQ(sectionTexts(doc), (std::vector<std::string>{"Body"}));
}

TEST(Parser, ScriptsWithoutHandlerAreNotShown)
{
    auto doc = parseHtml("a<script><!-- document.write('<b>x</b>') // --></script>b");
    EXPECT_EQ(sectionTexts(*doc), (std::vector<std::string>{"ab"}));
}

TEST(Parser, AnchorsAreUpperCaseWithoutHash)
{
    auto doc = layoutHtml("<p>x<a name=\"#Top\"></a><h2><a name=Sec2>Two</a></h2>");
    ASSERT_EQ(doc->AnchorList.size(), 2u);
    EXPECT_EQ(doc->AnchorList[0].first, "TOP");
    EXPECT_EQ(doc->AnchorList[1].first, "SEC2");
    EXPECT_GT(doc->AnchorPosition("SEC2"), doc->AnchorPosition("TOP"));
    EXPECT_EQ(doc->AnchorPosition("NONE"), -1);
}

TEST(Parser, CommentLeftOpenKeepsWhatCameBefore)
{
    auto doc = parseHtml("<table><tr><td>kept<!-- never closed <td>lost");
    EXPECT_EQ(sectionTexts(*doc), (std::vector<std::string>{"kept"}));
}

TEST(Parser, PlainTextIsOnePreformattedBlock)
{
    TSectionList doc;
    html::applyViewerDefaults(doc);
    THtmlParser parser(doc);
    parser.ParsePlainText("<b>not bold</b>\r\n\tx &amp;\n");
    auto pres = blocksOf<TPreFormated>(doc);
    ASSERT_EQ(pres.size(), 1u);
    EXPECT_EQ(sectionText(*pres[0]), "<b>not bold</b>\\n x &amp;");
    EXPECT_TRUE(pres[0]->Fonts.front().Font.FixedPitch);
}

TEST(Parser, NobrMakesSpacesUnbreakableAndWbrBreaks)
{
    auto doc = parseHtml("<nobr>a b<wbr>c</nobr> d");
    auto sections = allSections(*doc);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0]->Buff, "a\xA0"
                                 "b\x02"
                                 "c d");
}

TEST(Parser, DeepNestingIsFlattened)
{
    std::string html;
    for (int i = 0; i < 5000; ++i)
        html += "<ul><table><tr><td><center>";
    html += "deep";
    auto doc = parseHtml(html);
    auto texts = sectionTexts(*doc);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "deep");
}

} // namespace
