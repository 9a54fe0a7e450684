#include "html/parser/html_tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using html::Attr;
using html::Tag;

namespace {

// The tokens of a text, written compactly: text as its characters, tags as
// <NAME> or </NAME>, headings with their level.
std::vector<std::string> tokens(const std::string& source)
{
    THtmlTokenizer tok(source);
    std::vector<std::string> out;
    for (Tag t = tok.Next(); t != Tag::Eof; t = tok.Next()) {
        if (t == Tag::Text)
            out.push_back(tok.TokenText());
        else
            out.push_back(std::string(tok.IsEnd() ? "</" : "<") + std::string(html::tagName(t)) +
                          (tok.HeadingLevel() ? std::to_string(tok.HeadingLevel()) : "") + ">");
    }
    return out;
}

std::vector<std::string> tokensOf(THtmlTokenizer& tok)
{
    std::vector<std::string> out;
    for (Tag t = tok.Next(); t != Tag::Eof; t = tok.Next()) {
        if (t == Tag::Text)
            out.push_back(tok.TokenText());
        else
            out.push_back(std::string(tok.IsEnd() ? "</" : "<") + std::string(html::tagName(t)) +
                          ">");
    }
    return out;
}

std::string textOf(const std::string& source)
{
    std::string all;
    for (const std::string& t : tokens(source))
        all += t;
    return all;
}

const TAttribute* firstAttribute(THtmlTokenizer& tok, const std::string& source, Attr which)
{
    (void)source;
    tok.Next();
    return tok.Attributes().Find(which);
}

struct TextCase {
    const char* source;
    const char* expected;
};

class TokenizerText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TokenizerText, ReadsAsExpected)
{
    EXPECT_EQ(textOf(GetParam().source), GetParam().expected) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Entities, TokenizerText,
    ::testing::Values(TextCase{"a&amp;b", "a&b"}, TextCase{"a&AMP;b", "a&AMP;b"},
                      TextCase{"&#65;", "A"}, TextCase{"x&#9;y", "x y"}, TextCase{"&#13;", "&#13;"},
                      TextCase{"&hellip;", "..."}, TextCase{"&nbsp", "\xA0"},
                      TextCase{"&lt;&gt;&quot;", "<>\""}, TextCase{"&#123456;", "&#123456;"},
                      TextCase{"&copyright;", "&copyright;"}, TextCase{"&trade;", "\x99"},
                      TextCase{"&#8364;", "\x80"}, TextCase{"&eacute;t&eacute;", "\xE9t\xE9"},
                      TextCase{"&yuml;", "\xFF"}, TextCase{"&unknown;", "&unknown;"},
                      TextCase{"AT&T", "AT&T"}));

INSTANTIATE_TEST_SUITE_P(Whitespace, TokenizerText,
                         ::testing::Values(TextCase{"a   \r\n\t b", "a b"}, TextCase{"a\nb", "a b"},
                                           TextCase{"a < b", "a < b"}, TextCase{"a <3", "a <3"},
                                           TextCase{"a\x01"
                                                    "b",
                                                    "ab"}));

INSTANTIATE_TEST_SUITE_P(
    Comments, TokenizerText,
    ::testing::Values(TextCase{"a<!-- x -->b", "ab"}, TextCase{"a<!-- x -- y -->b", "ab"},
                      TextCase{"a<!-- x --\r\n >b", "ab"}, TextCase{"a<!---->b", "ab"},
                      TextCase{"a<!-- x --->b", "ab"}, TextCase{"<!DOCTYPE html>x", "x"},
                      TextCase{"a<!-- 1 --><!-- 2 -->b", "ab"}, TextCase{"a<!-- never ends", "a"}));

TEST(Tokenizer, TagNamesMatchInAnyCaseAndHeadingsCarryTheirLevel)
{
    EXPECT_EQ(tokens("<b>x</B><Table><h3>t</H3><h>u<h7>"),
              (std::vector<std::string>{"<B>", "x", "</B>", "<TABLE>", "<H3>", "t", "</H3>", "<H>",
                                        "u", "<H>"}));
}

TEST(Tokenizer, UnknownTagsAndEndTagsOfEmptyElementsAreUnknown)
{
    EXPECT_EQ(tokens("<blink>x</br><frob a=1>"),
              (std::vector<std::string>{"<#unknown>", "x", "</#unknown>", "<#unknown>"}));
}

TEST(Tokenizer, CommentLeftOpenStopsQuietly)
{
    THtmlTokenizer tok("text<!-- and the rest <b>bold</b>");
    EXPECT_EQ(tok.Next(), Tag::Text);
    EXPECT_EQ(tok.TokenText(), "text");
    EXPECT_EQ(tok.Next(), Tag::Eof);
    EXPECT_TRUE(tok.OpenCommentAtEnd());
}

TEST(Tokenizer, TextTokensAreCutAtOneHundredCharacters)
{
    const std::string text(250, 'x');
    const auto t = tokens(text);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].size(), 100u);
    EXPECT_EQ(t[2].size(), 50u);
}

TEST(Tokenizer, PreformattedTextKeepsBlanksAndLineEnds)
{
    THtmlTokenizer tok("a  b\r\n\r\nc\n");
    tok.SetPreformatted(true);
    ASSERT_EQ(tok.Next(), Tag::Text);
    EXPECT_EQ(tok.TokenText(), "a  b\r\rc\r");
}

TEST(Tokenizer, NoBreakTurnsBlanksIntoUnbreakableSpaces)
{
    THtmlTokenizer tok("a  b");
    tok.SetNoBreak(true);
    ASSERT_EQ(tok.Next(), Tag::Text);
    EXPECT_EQ(tok.TokenText(), "a\xA0"
                               "b");
}

TEST(Tokenizer, EveryCharacterKeepsItsSourceIndex)
{
    THtmlTokenizer tok("<b>a&amp;b\r\n c</b>");
    tok.Next();
    ASSERT_EQ(tok.Next(), Tag::Text);
    EXPECT_EQ(tok.TokenText(), "a&b c");
    EXPECT_EQ(tok.TokenIndex(), (std::vector<int>{3, 4, 9, 10, 13}));
}

struct AttributeCase {
    const char* source;
    Attr which;
    const char* text;
    int number;
};

class TokenizerAttributes : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(TokenizerAttributes, ValueTextAndNumber)
{
    const AttributeCase& c = GetParam();
    THtmlTokenizer tok(c.source);
    const TAttribute* a = firstAttribute(tok, c.source, c.which);
    ASSERT_NE(a, nullptr) << c.source;
    EXPECT_EQ(a->Text, c.text) << c.source;
    EXPECT_EQ(a->Number, c.number) << c.source;
}

INSTANTIATE_TEST_SUITE_P(
    Values, TokenizerAttributes,
    ::testing::Values(AttributeCase{"<img alt=\"a  b\">", Attr::Alt, "a  b", 0},
                      AttributeCase{"<img alt='it is'>", Attr::Alt, "it is", 0},
                      AttributeCase{"<img alt=\"a>b\" src=x>", Attr::Alt, "a>b", 0},
                      AttributeCase{"<img alt=\" padded \">", Attr::Alt, "padded", 0},
                      AttributeCase{"<img alt=\"two\r\nlines\">", Attr::Alt, "twolines", 0},
                      AttributeCase{"<img alt=\"&lt;x&gt;\">", Attr::Alt, "<x>", 0},
                      AttributeCase{"<a href=a&amp;b>", Attr::Href, "a&amp;b", 0},
                      AttributeCase{"<img width=50%>", Attr::Width, "50%", 50},
                      AttributeCase{"<img width=\"50%\">", Attr::Width, "50%", 50},
                      AttributeCase{"<img width=120>", Attr::Width, "120", 120},
                      AttributeCase{"<img width=12px>", Attr::Width, "12px", 0},
                      AttributeCase{"<font size=+2>", Attr::Size, "+2", 2},
                      AttributeCase{"<font size=-1>", Attr::Size, "-1", -1},
                      AttributeCase{"<table border>", Attr::Border, "", 1},
                      AttributeCase{"<table border=0>", Attr::Border, "0", 0},
                      AttributeCase{"<a href=foo.html target=x>", Attr::Href, "foo.html", 0},
                      AttributeCase{"<a target = x href = \"y\">", Attr::Href, "y", 0},
                      AttributeCase{"<meta http-equiv=refresh>", Attr::HttpEquiv, "refresh", 0},
                      AttributeCase{"<td bgcolor=#FF0000>", Attr::BgColor, "#FF0000", 0}));

TEST(Tokenizer, TagsWithoutAttributeUseKeepTheLastList)
{
    THtmlTokenizer tok("<img src=a><b class=x>");
    tok.Next();
    tok.Next();
    EXPECT_EQ(tok.Attributes().TextOf(Attr::Src), "a");
}

TEST(Tokenizer, ScriptContentIsRawWithCrLfLineEnds)
{
    THtmlTokenizer tok("<script language=js><!-- if (a<b && c) x = \"&amp;\";\n// --></SCRIPT >x");
    ASSERT_EQ(tok.Next(), Tag::Script);
    EXPECT_EQ(tok.Attributes().TextOf(Attr::Language), "js");
    EXPECT_EQ(tok.ReadScript(true), "<!-- if (a<b && c) x = \"&amp;\";\r\n// --></SCRIPT >x");
}

TEST(Tokenizer, ScriptEndsAtItsEndTag)
{
    THtmlTokenizer tok("<script>a</b></Script>after");
    tok.Next();
    EXPECT_EQ(tok.ReadScript(true), "a</b>");
    ASSERT_EQ(tok.Next(), Tag::Text);
    EXPECT_EQ(tok.TokenText(), "after");
}

TEST(Tokenizer, TextAreaContentIsReadAsLinesWithEntities)
{
    THtmlTokenizer tok("<textarea>one &amp; <b>\r\ntwo</textareax>\nthree</TEXTAREA>after");
    ASSERT_EQ(tok.Next(), Tag::Textarea);
    EXPECT_EQ(tok.ReadTextArea(),
              (std::vector<std::string>{"one & <b>", "two</textareax>", "three"}));
    ASSERT_EQ(tok.Next(), Tag::Text);
    EXPECT_EQ(tok.TokenText(), "after");
}

TEST(Tokenizer, IncludeCommentsAreReadInPlace)
{
    THtmlTokenizer tok("a<!--#insert file=\"x.htm\" n=2 -->c");
    std::string command;
    std::vector<std::string> params;
    tok.OnInclude = [&](const std::string& c, const std::vector<std::string>& p,
                        std::string& buffer) {
        command = c;
        params = p;
        buffer = "<b>B</b>";
    };
    EXPECT_EQ(tokensOf(tok), (std::vector<std::string>{"a", "<B>", "B", "</B>", "c"}));
    EXPECT_EQ(command, "insert");
    EXPECT_EQ(params, (std::vector<std::string>{"file=\"x.htm\"", "n=\"2\""}));
}

TEST(Tokenizer, CommentsAreSkippedWithoutIncludeHandler)
{
    EXPECT_EQ(textOf("a<!--#insert file=x -->c"), "ac");
}

} // namespace
