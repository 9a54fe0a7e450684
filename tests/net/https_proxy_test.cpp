#include "net/http_cli.h"
#include "net_test_support.h"
#include "tls_fixture.h"

#include <gtest/gtest.h>

using nettest::drainEvents;
using nettest::LoopbackServer;
using nettest::Reply;
using nettest::ScopedCaFile;
using nettest::Tinyproxy;
using nettest::TlsFixture;
using nettest::waitUntil;

namespace {

const char* const kUser = "agent";
const char* const kPassword = "s3cret";
const char* const kCredentials = "Proxy-Authorization: Basic YWdlbnQ6czNjcmV0";

// https through a real tinyproxy: one that lets CONNECT reach every port,
// and one that allows only port 443 (so the test servers are refused).
class HttpsProxy : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        open = new Tinyproxy(kUser, kPassword);
        strict = new Tinyproxy(kUser, kPassword, "ConnectPort 443\n");
    }
    static void TearDownTestSuite()
    {
        delete open;
        delete strict;
        open = strict = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(TlsFixture::instance().ready()) << TlsFixture::instance().error();
        if (!open->started() || !strict->started())
            GTEST_SKIP() << open->error() << strict->error();
    }

    static std::string target(TlsFixture::Peer peer = TlsFixture::Https)
    {
        return "127.0.0.1:" + std::to_string(TlsFixture::instance().port(peer));
    }

    struct Result {
        int done = 0;
        int error = -1;
        std::string body;
        std::vector<std::string> commands;
    };

    static Result run(THttpCli& http, Tinyproxy& proxy, bool credentials)
    {
        http.setProxy("127.0.0.1");
        http.setProxyPort(std::to_string(proxy.port()));
        http.setProxyUsername(credentials ? kUser : "");
        http.setProxyPassword(credentials ? kPassword : "");
        Result r;
        http.OnRequestDone = [&](THttpCli*, THttpRequest, uint16_t e) {
            ++r.done;
            r.error = e;
        };
        http.OnDocData = [&](THttpCli*, const char* d, int n) { r.body.append(d, n); };
        http.OnCommand = [&](THttpCli*, const std::string& line) { r.commands.push_back(line); };
        http.GetAsync();
        EXPECT_TRUE(waitUntil([&] { return r.done > 0; }, 15000));
        drainEvents();
        return r;
    }

    static Tinyproxy* open;
    static Tinyproxy* strict;
};

Tinyproxy* HttpsProxy::open = nullptr;
Tinyproxy* HttpsProxy::strict = nullptr;

TEST_F(HttpsProxy, TunnelCarriesTheRequestWithItsPathAlone)
{
    ScopedCaFile ca(TlsFixture::instance().caFile());
    THttpCli http;
    http.setURL("https://" + target() + "/echo/through?x=1");
    const Result r = run(http, *open, true);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(http.StatusCode(), 200);
    // The proxy hears CONNECT with its credentials, the server the request
    // with the path alone and without the proxy's credentials.
    ASSERT_GE(r.commands.size(), 3u);
    EXPECT_EQ(r.commands[0], "CONNECT " + target() + " HTTP/1.1");
    EXPECT_EQ(r.commands[1], "Host: " + target());
    EXPECT_EQ(r.commands[2], kCredentials);
    EXPECT_EQ(r.body, "GET /echo/through?x=1 HTTP/1.0\r\n"
                      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                      "User-Agent: Mozilla/3.0 (compatible)\r\nHost: 127.0.0.1\r\n\r\n");
    // Only the server's answer is the request's.
    ASSERT_FALSE(http.RcvdHeader().empty());
    EXPECT_EQ(http.RcvdHeader()[0], "HTTP/1.0 200 OK");
}

TEST_F(HttpsProxy, RefusedTunnelCompletesWithTheProxyStatus)
{
    ScopedCaFile ca(TlsFixture::instance().caFile());
    const struct {
        const char* name;
        Tinyproxy* proxy;
        bool credentials;
        std::string target;
        int status;
    } cases[] = {
        {"no credentials", open, false, target(), 407},
        {"port not allowed", strict, true, target(), 403},
        {"server unreachable", open, true, "127.0.0.1:" + std::to_string(nettest::unusedPort()),
         500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        THttpCli http;
        http.setURL("https://" + c.target + "/echo");
        const Result r = run(http, *c.proxy, c.credentials);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(r.error, 0);
        EXPECT_EQ(http.StatusCode(), c.status);
        EXPECT_FALSE(http.ReasonPhrase().empty());
        // The proxy's explanation is kept like any answer's body.
        EXPECT_FALSE(r.body.empty());
        EXPECT_EQ(r.body.find("GET /echo"), std::string::npos);
        ASSERT_FALSE(http.RcvdHeader().empty());
        EXPECT_EQ(http.RcvdHeader()[0].rfind("HTTP/1.", 0), 0u);
        EXPECT_EQ(http.State(), hsReady);
    }
}

TEST_F(HttpsProxy, RelocationsThroughTheProxyChangeScheme)
{
    ScopedCaFile ca(TlsFixture::instance().caFile());
    std::string https;
    LoopbackServer plain([&](const std::string& request, int) {
        if (request.find(" /start ") != std::string::npos)
            return Reply{"HTTP/1.0 302 Found\r\nLocation: " + https + "\r\n\r\n", false};
        return Reply{"HTTP/1.0 200 OK\r\n\r\nplain again", false};
    });
    // http (absolute URL to the proxy) -> https (tunnel) -> http.
    https = "https://" + target() + "/to?" + plain.url("/final");
    THttpCli http;
    http.setURL(plain.url("/start"));
    const Result r = run(http, *open, true);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.body, "plain again");
    std::vector<std::string> requestLines;
    for (const std::string& c : r.commands)
        if (c.rfind("GET ", 0) == 0 || c.rfind("CONNECT ", 0) == 0)
            requestLines.push_back(c);
    EXPECT_EQ(requestLines, (std::vector<std::string>{
                                "GET " + plain.url("/start") + " HTTP/1.0",
                                "CONNECT " + target() + " HTTP/1.1",
                                "GET /to?" + plain.url("/final") + " HTTP/1.0",
                                "GET " + plain.url("/final") + " HTTP/1.0",
                            }));
    EXPECT_EQ(plain.requests().size(), 2u);
}

} // namespace
