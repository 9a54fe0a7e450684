#include "app/engine_line.h"

#include <gtest/gtest.h>
#include <ostream>

using app::EngineRequest;
using app::HttpMethod;

namespace {

struct ExpandCase {
    const char* what;
    const char* line;
    const char* page;
    const char* email;
    const char* name;
    const char* expected;
};

void PrintTo(const ExpandCase& c, std::ostream* out)
{
    *out << c.what;
}

class Expand : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(Expand, ReplacesTheFirstOccurrenceOfEachPlaceholder)
{
    const ExpandCase& c = GetParam();
    EXPECT_EQ(app::procesa(c.line, c.page, c.email, c.name), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    EngineLine, Expand,
    ::testing::Values(
        ExpandCase{"all three, page keeps its %20",
                   "GEThttp://e.example.org/add?u=##url&e=##email&n=##name",
                   "http://my.example.com/a%20b.html", "me@example.com", "John%20Smith",
                   "GEThttp://e.example.org/add?u=http://my.example.com/a%20b.html"
                   "&e=me@example.com&n=John%20Smith"},
        ExpandCase{"only the first ##url is replaced", "GEThttp://e.example.org/?a=##url&b=##url",
                   "P", "E", "N", "GEThttp://e.example.org/?a=P&b=##url"},
        ExpandCase{"second ##email and ##name stay",
                   "GEThttp://x/?a=##email&b=##email&c=##name&d=##name", "P", "E", "N",
                   "GEThttp://x/?a=E&b=##email&c=N&d=##name"},
        ExpandCase{"placeholders in any order", "POSThttp://x/?n=##name&e=##email&u=##url", "P",
                   "E", "N", "POSThttp://x/?n=N&e=E&u=P"},
        ExpandCase{"special characters pass unchanged", "GEThttp://x/?u=##url&e=##email",
                   "http://s.example.com/?a=1&b=2#top", "a+b@example.com", "N",
                   "GEThttp://x/?u=http://s.example.com/?a=1&b=2#top&e=a+b@example.com"},
        ExpandCase{"a ##name inside an inserted value is replaced", "GEThttp://x/?u=##url",
                   "http://s/##name", "E", "Joe", "GEThttp://x/?u=http://s/Joe"},
        ExpandCase{"name without e-mail is still replaced", "GEThttp://x/?u=##url&n=##name", "P",
                   "E", "N", "GEThttp://x/?u=P&n=N"},
        ExpandCase{"a line without ##url gets no page", "GEThttp://x/?e=##email", "P", "E", "N",
                   "GEThttp://x/?e=E"},
        ExpandCase{"upper-case placeholders are not placeholders", "GEThttp://x/?u=##URL", "P", "E",
                   "N", "GEThttp://x/?u=##URL"},
        ExpandCase{"empty line", "", "P", "E", "N", ""}));

struct SplitCase {
    const char* what;
    const char* line;
    HttpMethod method;
    const char* url;
    const char* body;
};

void PrintTo(const SplitCase& c, std::ostream* out)
{
    *out << c.what;
}

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, YieldsMethodUrlAndBody)
{
    const SplitCase& c = GetParam();
    EngineRequest request = app::splitEngineLine(c.line);
    EXPECT_EQ(request.method, c.method) << c.what;
    EXPECT_EQ(request.url, c.url) << c.what;
    EXPECT_EQ(request.body, c.body) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    EngineLine, Split,
    ::testing::Values(
        SplitCase{"GET keeps its query", "GEThttp://x.example.org/add?q=1&r=2", HttpMethod::Get,
                  "http://x.example.org/add?q=1&r=2", ""},
        SplitCase{"POST sends the query as body too", "POSThttp://x.example.org/p.pl?a=1&b=2",
                  HttpMethod::Post, "http://x.example.org/p.pl?a=1&b=2", "a=1&b=2"},
        SplitCase{"lower-case post", "posthttp://x.example.org/p?a=1", HttpMethod::Post,
                  "http://x.example.org/p?a=1", "a=1"},
        SplitCase{"mixed-case post", "PoStHTTP://x/p?a=1", HttpMethod::Post, "HTTP://x/p?a=1",
                  "a=1"},
        SplitCase{"body is after the first question mark", "POSThttp://x/p?a=?b&c=d",
                  HttpMethod::Post, "http://x/p?a=?b&c=d", "a=?b&c=d"},
        SplitCase{"POST without query sends the address as body", "POSThttp://x/p",
                  HttpMethod::Post, "http://x/p", "http://x/p"},
        SplitCase{"any three letters are a GET", "PUThttp://x/p?a=1", HttpMethod::Get,
                  "http://x/p?a=1", ""},
        SplitCase{"lower-case get", "gethttp://x/", HttpMethod::Get, "http://x/", ""},
        SplitCase{"%20 is kept", "GEThttp://x/?n=John%20Smith", HttpMethod::Get,
                  "http://x/?n=John%20Smith", ""},
        SplitCase{"short line", "GE", HttpMethod::Get, "", ""},
        SplitCase{"POS is not POST", "POShttp://x/", HttpMethod::Get, "http://x/", ""}));

TEST(EngineLine, ExpansionThenSplitGivesTheRequest)
{
    std::string expanded =
        app::procesa("POSThttp://d.example.com/cgi-bin/urlsubmit.pl?page=##url&contact=##name"
                     "&email=##email&sb.x=45&sb.y=10",
                     "http://my.example.com/", "me@example.com", "John%20Smith");
    EngineRequest request = app::splitEngineLine(expanded);
    EXPECT_EQ(request.method, HttpMethod::Post);
    EXPECT_EQ(request.url, "http://d.example.com/cgi-bin/urlsubmit.pl?page=http://my.example.com/"
                           "&contact=John%20Smith&email=me@example.com&sb.x=45&sb.y=10");
    EXPECT_EQ(request.body, "page=http://my.example.com/&contact=John%20Smith"
                            "&email=me@example.com&sb.x=45&sb.y=10");
}

TEST(EngineLine, BlankLinesAreRecognised)
{
    EXPECT_TRUE(app::isBlankEngineLine(""));
    EXPECT_TRUE(app::isBlankEngineLine(" \t "));
    EXPECT_FALSE(app::isBlankEngineLine(" GEThttp://x/"));
}

} // namespace
