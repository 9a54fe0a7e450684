#include "net/http_cli.h"
#include "net/socket_error.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

namespace {

struct UrlCase {
    const char* url;
    const char* proto;
    const char* user;
    const char* pass;
    const char* host;
    const char* port;
    const char* path;
};

void PrintTo(const UrlCase& c, std::ostream* os)
{
    *os << '"' << c.url << '"';
}

class ParseUrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(ParseUrlTest, SplitsIntoParts)
{
    const UrlCase& c = GetParam();
    std::string proto, user, pass, host, port, path;
    ParseURL(c.url, proto, user, pass, host, port, path);
    EXPECT_EQ(proto, c.proto);
    EXPECT_EQ(user, c.user);
    EXPECT_EQ(pass, c.pass);
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
    EXPECT_EQ(path, c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ParseUrlTest,
    testing::Values(UrlCase{"", "", "", "", "", "", ""},
                    UrlCase{"http://www.example.com", "http", "", "", "www.example.com", "", ""},
                    UrlCase{"http://www.example.com:8080/a/b?x=1", "http", "", "",
                            "www.example.com", "8080", "/a/b?x=1"},
                    UrlCase{"http://joe:pw@host/p", "http", "joe", "pw", "host", "", "/p"},
                    UrlCase{"http://joe:pw@host:81/p", "http", "joe", "pw", "host", "81", "/p"},
                    UrlCase{"http://joe@host/", "http", "joe", "", "host", "", "/"},
                    UrlCase{"/cgi-bin/add.cgi", "http", "", "", "", "", "/cgi-bin/add.cgi"},
                    UrlCase{"HTTP:/index.html", "http", "", "", "", "", "/index.html"},
                    UrlCase{"mailto:joe@example.com", "mailto", "joe", "", "example.com", "", ""},
                    UrlCase{"proxy.local:3128", "", "", "", "proxy.local", "3128", ""},
                    UrlCase{"page.html", "", "", "", "page.html", "", ""},
                    UrlCase{"ftp://files/x", "ftp", "", "", "files", "", "/x"},
                    UrlCase{"http://[::1]:8080/a", "http", "", "", "[::1]", "8080", "/a"},
                    UrlCase{"http://[::1]/a", "http", "", "", "[::1]", "", "/a"},
                    UrlCase{"http://u:p@[fe80::1]:81", "http", "u", "p", "[fe80::1]", "81", ""}));

TEST(Base64Encode, EncodesWithPadding)
{
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"user:secret", "dXNlcjpzZWNyZXQ="},
                                                         {"\xff\xfe", "//4="}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(Base64Encode(in), out) << in;
}

TEST(RFC1123Date, FormatsDaysSince1899WithoutConversion)
{
    // 2 = Monday 1 January 1900; 36526.5 = Saturday 1 January 2000, noon.
    EXPECT_EQ(RFC1123Date(2.0), "Mon, 01 Jan 1900 00:00:00");
    EXPECT_EQ(RFC1123Date(36526.5), "Sat, 01 Jan 2000 12:00:00");
    EXPECT_EQ(RFC1123Date(45291.0 + 13.0 / 24 + 5.0 / 1440 + 9.0 / 86400),
              "Sun, 31 Dec 2023 13:05:09");
}

TEST(DocName, DerivedFromThePath)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "document.htm"},
        {"/", "document.htm"},
        {"/index.html", "index.html"},
        {"/dir/sub/", "sub"},
        {"/cgi-bin/add.cgi?url=x&email=y", "add.cgi"},
        {"/add.cgi?url=http://a.example/b", "add.cgi"}};
    for (const auto& [path, name] : cases)
        EXPECT_EQ(DocNameFromPath(path), name) << path;
}

TEST(SocketErrorDesc, KnownAndUnknownNumbers)
{
    EXPECT_EQ(SocketErrorDesc(0), "No Error");
    EXPECT_EQ(SocketErrorDesc(10061), "Connection refused");
    EXPECT_EQ(SocketErrorDesc(10057), "Socket is not connected");
    EXPECT_EQ(SocketErrorDesc(10092), "WinSock DLL cannot support this application");
    EXPECT_EQ(SocketErrorDesc(11004), "No Data");
    EXPECT_EQ(SocketErrorDesc(12345), "Not a WinSock error");
}

TEST(SocketErrorDesc, SystemCodesMapToSocketNumbers)
{
    const std::pair<int, int> errnos[] = {{ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},
                                          {ECONNRESET, 10054},   {ENOTCONN, 10057},
                                          {EWOULDBLOCK, 10035},  {EHOSTUNREACH, 10065},
                                          {ENETUNREACH, 10051},  {EADDRINUSE, 10048},
                                          {EPIPE, 10054},        {0, 0}};
    for (const auto& [e, code] : errnos)
        EXPECT_EQ(wsock::errorFromErrno(e), code) << e;
    EXPECT_EQ(wsock::errorFromResolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(wsock::errorFromResolver(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(wsock::errorFromResolver(EAI_FAIL, 0), 11003);
    EXPECT_EQ(SocketErrorDesc(wsock::errorFromErrno(ENOENT)), "Not a WinSock error");
}

} // namespace
