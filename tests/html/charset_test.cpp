#include "html_test_support.h"

#include "html/parser/charsets.h"
#include "html/parser/html_parser.h"
#include "html/render/document_renderer.h"

#include <gtest/gtest.h>
#include <QStringDecoder>

namespace {

struct Page {
    std::unique_ptr<TSectionList> doc;
    std::string text; // all section texts joined with "|"
    int charset = -1; // charset of the font of the first text
};

Page parsePage(const std::string& bytes, const std::string& httpContentType = {})
{
    Page page;
    page.doc = std::make_unique<TSectionList>();
    html::applyViewerDefaults(*page.doc);
    THtmlParser parser(*page.doc);
    parser.ParsePage(bytes, httpContentType);
    for (TSection* s : allSections(*page.doc)) {
        if (s->Buff.empty())
            continue;
        if (!page.text.empty())
            page.text += "|";
        page.text += s->Buff;
        if (page.charset < 0 && !s->Fonts.empty())
            page.charset = s->Fonts.front().Font.Charset;
    }
    return page;
}

// "Café, 5 € – ✓" in UTF-8: accented letters, the euro sign, an en dash and
// a check mark the program's code page cannot hold.
const std::string kUtf8Body = "Caf\xC3\xA9, 5 \xE2\x82\xAC \xE2\x80\x93 \xE2\x9C\x93";
const std::string kAnsiBody = "Caf\xE9, 5 \x80 \x96 ?";

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::string http;
};

TEST(Charset, Utf8PagesBecomeTheProgramsCodePage)
{
    const std::string title = "<title>\xC3\x84rger</title>";
    const std::vector<Utf8Case> cases = {
        {"meta http-equiv",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" +
             title + "</head><body>" + kUtf8Body,
         ""},
        {"html5 meta", "<!doctype html><meta charset=utf-8>" + title + kUtf8Body, ""},
        {"byte-order mark", "\xEF\xBB\xBF" + title + kUtf8Body, ""},
        {"http header", title + kUtf8Body, "text/html; charset=\"utf-8\""},
        {"http header wins over meta",
         "<meta http-equiv=content-type content='text/html; charset=windows-1251'>" + title +
             kUtf8Body,
         "text/html;charset=UTF-8"},
    };
    for (const Utf8Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Page page = parsePage(c.bytes, c.http);
        EXPECT_EQ(page.text, kAnsiBody);
        EXPECT_EQ(page.doc->Title, "\xC4rger");
        EXPECT_EQ(page.charset, 0);
    }
}

TEST(Charset, PagesWithoutDeclarationOrInOldCodePagesStayAsWritten)
{
    // Bytes the program has always read as they stand.
    const std::string cp1251 = "<meta http-equiv=\"content-type\" content=\"text/html; "
                               "charset=windows-1251\">\xCF\xF0\xE8";
    EXPECT_EQ(parsePage(cp1251).text, "\xCF\xF0\xE8");
    EXPECT_EQ(parsePage(cp1251).charset, 204);
    EXPECT_EQ(parsePage("Caf\xE9 \xC3\xA9").text, "Caf\xE9 \xC3\xA9");
    // An unknown HTTP charset leaves the page's own declaration in charge.
    EXPECT_EQ(parsePage(cp1251, "text/html; charset=x-unknown").charset, 204);
    // A UTF-8 declaration inside a comment declares nothing.
    EXPECT_EQ(parsePage("<!-- <meta charset=utf-8> -->\xC3\xA9").text, "\xC3\xA9");
}

struct TableCase {
    const char* name;
    std::string declaration; // META content, or "" for the HTTP header below
    std::string http;
    std::string bytes;
    std::string expected;
    int charset;
};

TEST(Charset, TableSetsBecomeTheWindowsCodePageOfTheirFontCharset)
{
    const std::vector<TableCase> cases = {
        // "Привет ёЁ" and a box-drawing line the code page lacks.
        {"koi8-r", "text/html; charset=koi8-r", "", "\xF0\xD2\xC9\xD7\xC5\xD4 \xA3\xB3\x80",
         "\xCF\xF0\xE8\xE2\xE5\xF2 \xB8\xA8?", 204},
        // "Łódź Śląsk" and Ť.
        {"iso-8859-2", "text/html; charset=ISO-8859-2", "",
         "\xA3\xF3\x64\xBC \xA6\x6C\xB1\x73\x6B \xAB", "\xA3\xF3\x64\x9F \x8C\x6C\xB9\x73\x6B \x8D",
         238},
        // "Мир №" in ISO-8859-5.
        {"iso-8859-5", "text/html; charset=iso-8859-5", "", "\xBC\xD8\xE0 \xF0",
         "\xCC\xE8\xF0 \xB9", 204},
        // "Ελλάδα" in ISO-8859-7.
        {"iso-8859-7", "text/html; charset=iso-8859-7", "", "\xC5\xEB\xEB\xDC\xE4\xE1",
         "\xC5\xEB\xEB\xDC\xE4\xE1", 161},
        // "Ūdens ķēde" in ISO-8859-4; cp1257 has them elsewhere.
        {"iso-8859-4", "text/html; charset=iso-8859-4", "", "\xDE\x64\x65\x6E\x73 \xF3\xBA\x64\x65",
         "\xDB\x64\x65\x6E\x73 \xED\xE7\x64\x65", 186},
        // The HTTP header names the set; the page claims Western.
        {"http koi8-r over meta", "text/html; charset=iso-8859-1", "text/html; charset=KOI8-R",
         "\xE4\xC1", "\xc4\xe0", 204},
        // A C1 control of an ISO set stands for nothing printable.
        {"iso control", "text/html; charset=iso-8859-2", "", "a\x85", "a?", 238},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Page page = parsePage("<meta http-equiv=\"Content-Type\" content=\"" + c.declaration +
                                        "\">" + c.bytes,
                                    c.http);
        EXPECT_EQ(page.text, c.expected);
        EXPECT_EQ(page.charset, c.charset);
    }
}

TEST(Charset, Html5MetaCharsetSetsTheFontCharsetOfTheWholePage)
{
    const Page page = parsePage("<b>\xF0</b><meta charset=\"koi8-r\">");
    EXPECT_EQ(page.text, "\xCF");
    EXPECT_EQ(page.charset, 204);
}

// The tables are written from the standards; where the system's converter
// knows the same sets, both must agree on every byte.
TEST(Charset, TablesAgreeWithTheSystemConverterWhereItHasThem)
{
    const std::vector<std::pair<const char*, const html::UpperHalfTable*>> sets = {
        {"KOI8-R", &html::koi8rTable()},         {"ISO-8859-2", &html::iso8859_2Table()},
        {"ISO-8859-4", &html::iso8859_4Table()}, {"ISO-8859-5", &html::iso8859_5Table()},
        {"ISO-8859-7", &html::iso8859_7Table()},
    };
    int compared = 0;
    for (const auto& [name, table] : sets) {
        QStringDecoder decoder(name);
        if (!decoder.isValid())
            continue;
        ++compared;
        for (int b = 0xA0; b < 0x100; ++b) {
            const char byte = static_cast<char>(b);
            const QString s = decoder.decode(QByteArrayView(&byte, 1));
            const char16_t theirs = s.size() == 1 && s[0] != QChar(0xFFFD) ? s[0].unicode() : 0;
            const char16_t ours = (*table)[b - 0x80];
            if (theirs != 0 || ours != 0) {
                EXPECT_EQ(ours, theirs) << name << " byte " << std::hex << b;
            }
        }
    }
    if (compared == 0)
        GTEST_SKIP() << "no system converter for these sets";
}

TEST(Charset, ContentTypeCharsetParameter)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"text/html; charset=utf-8", "utf-8"},
        {"text/html;charset=\"ISO-8859-2\"", "iso-8859-2"},
        {"text/html; Charset = koi8-r ; foo=bar", "koi8-r"},
        {"text/html", ""},
        {"", ""},
    };
    for (const auto& [header, charset] : cases)
        EXPECT_EQ(html::contentTypeCharset(header), charset) << header;
}

} // namespace
