#include "html_test_support.h"

#include "html/document/drawn_form_control.h"
#include "html/document/html_form.h"
#include "html/document/url_target.h"
#include "html/parser/entities.h"

#include <gtest/gtest.h>
#include <set>

namespace {

std::string joinedTexts(const std::string& html)
{
    auto doc = parseHtml(html);
    std::string out;
    for (TSection* section : allSections(*doc)) {
        if (!out.empty())
            out += "|";
        out += section->Buff;
    }
    return out;
}

struct MarkupCase {
    const char* name;
    std::string html;
    std::string text;
};

TEST(Markup, StyleSheetsAndProcessingInstructionsAreNotShown)
{
    const std::vector<MarkupCase> cases = {
        {"style in head", "<head><style>body { color: red }</style></head>shown", "shown"},
        {"style with attributes and markup-like rules",
         "a<STYLE type=\"text/css\">p > b { x: '<b>' }</STYLE >b", "ab"},
        {"style with an old comment", "<style><!-- td { } --></style>x", "x"},
        {"style never closed", "x<style>p { }", "x"},
        {"style inside a table", "<table><style>td{}</style><tr><td>c</table>", "c"},
        {"stray style end tag", "a</style>b", "ab"},
        {"xml declaration", "<?xml version=\"1.0\" encoding=\"utf-8\"?><html>page", "page"},
        {"other processing instruction", "a<?php echo 1 ?>b", "ab"},
        {"a lone <? stays text", "if a <? b", "if a <? b"},
    };
    for (const MarkupCase& c : cases)
        EXPECT_EQ(joinedTexts(c.html), c.text) << c.name;
}

TEST(Markup, NamedAndHexadecimalReferences)
{
    const std::vector<MarkupCase> cases = {
        {"dashes and quotes", "&mdash;&ldquo;q&rdquo;&lsquo;&sbquo;&bdquo;",
         "\x97\x93q\x94\x91\x82\x84"},
        {"euro, bullet, dagger, per mille", "&euro;&bull;&dagger;&Dagger;&permil;",
         "\x80\x95\x86\x87\x89"},
        {"letters of the code page", "&Scaron;&scaron;&OElig;&oelig;&Yuml;&fnof;&circ;&tilde;",
         "\x8A\x9A\x8C\x9C\x9F\x83\x88\x98"},
        {"outside the code page", "&alpha;&rarr;&thetasym;&hearts;", "????"},
        {"the old spellings stay", "&rsquo;&ndash;&hellip;&trade;", "'-...\x99"},
        {"case matters", "&Alpha;&ALPHA;", "?&ALPHA;"},
        {"names longer than eight letters stay", "&thetasymx;", "&thetasymx;"},
        {"hexadecimal", "&#x41;&#X42;&#x20ac;&#xE9;&#x3b1;", "AB\x80\xE9?"},
        {"hexadecimal without digits stays", "&#xg;", "&#xg;"},
        {"seven hexadecimal digits stay", "&#x0000041;", "&#x0000041;"},
        {"decimal as before", "&#65;&#8364;&#13;", "A\x80&#13;"},
        {"in attribute values", "<a href=\"a?x=1&amp;y=&#x32;\">&euro;</a>", "\x80"},
    };
    for (const MarkupCase& c : cases)
        EXPECT_EQ(joinedTexts(c.html), c.text) << c.name;
    auto doc = parseHtml("<a href=\"a?x=1&amp;y=&#x32;&mdash;\">l</a>");
    ASSERT_EQ(doc->Links.size(), 1u);
    EXPECT_EQ(doc->Links.front()->Url, "a?x=1&y=2\x97");
}

TEST(Markup, TheFullSetOfNamedReferences)
{
    EXPECT_EQ(html::namedEntityCount(), 252u);
    for (const char* name : {"nbsp", "yuml", "euro", "mdash", "diams", "alefsym", "thetasym",
                             "lArr", "larr", "Prime", "prime", "sigmaf"})
        EXPECT_TRUE(html::namedEntity(name).has_value()) << name;
}

TEST(Markup, TabsInsidePreAdvanceToTheNextMultipleOfEight)
{
    const std::vector<MarkupCase> cases = {
        {"at line start", "<pre>\tx</pre>", "        x"},
        {"after text", "<pre>ab\tc\n1234567\td\n12345678\te</pre>",
         "ab      c\r1234567 d\r12345678        e"},
        {"across tags and entities", "<pre>a<b>b</b>&amp;\tc</pre>", "ab&     c"},
        {"two tabs", "<pre>\t\tx</pre>", "                x"},
        {"after a BR inside PRE", "<pre>abc<br>\tx</pre>", "abc\r        x"},
        {"outside PRE a tab is a blank", "a\t\tb", "a b"},
    };
    for (const MarkupCase& c : cases)
        EXPECT_EQ(joinedTexts(c.html), c.text) << c.name;
}

TEST(Markup, ButtonElementsBecomeButtonsOfTheForm)
{
    auto doc = parseHtml("<form action=\"/add\"><input name=url>"
                         "<button name=go value=Add><b>Add</b> my  site</button>"
                         "<button type=reset>Clear</button>"
                         "<button type=button>Plain</button>"
                         "<button>Bare</button> after</form>");
    ASSERT_EQ(doc->Forms.size(), 1u);
    const auto& controls = doc->Forms.front()->Controls;
    ASSERT_EQ(controls.size(), 5u);
    struct Expected {
        TDrawnFormControl::Kind kind;
        std::string name, value, caption;
    };
    const std::vector<Expected> expected = {
        {TDrawnFormControl::Kind::Submit, "go", "Add", "Add my site"},
        {TDrawnFormControl::Kind::Reset, "", "", "Clear"},
        {TDrawnFormControl::Kind::Button, "", "", "Plain"},
        {TDrawnFormControl::Kind::Submit, "", "", "Bare"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        auto* button = dynamic_cast<TDrawnFormControl*>(controls[i + 1].get());
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->ControlKind(), expected[i].kind) << i;
        EXPECT_EQ(button->Name, expected[i].name) << i;
        EXPECT_EQ(button->Value, expected[i].value) << i;
        EXPECT_EQ(button->Caption, expected[i].caption) << i;
    }
    // The captions are not text of the page; the text after the last one is.
    EXPECT_EQ(sectionTexts(*parseHtml("<button>Go</button> after")),
              std::vector<std::string>{"{obj} after"});
}

TEST(Markup, ButtonWithoutEndTagEndsAtTheNextConstruct)
{
    auto doc = parseHtml("<form><button>Send<table><tr><td>cell</table></form>");
    ASSERT_EQ(doc->Forms.size(), 1u);
    auto* button = dynamic_cast<TDrawnFormControl*>(doc->Forms.front()->Controls.at(0).get());
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->Caption, "Send");
    bool cellShown = false;
    for (const std::string& text : sectionTexts(*doc))
        cellShown = cellShown || text == "cell";
    EXPECT_TRUE(cellShown);
}

} // namespace
