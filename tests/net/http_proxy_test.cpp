#include "net/http_cli.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

using nettest::LoopbackServer;
using nettest::Reply;
using nettest::waitUntil;

namespace {

class HttpProxy : public testing::Test {
protected:
    static void SetUpTestSuite() { proxy = new nettest::Tinyproxy("agent", "s3cret"); }
    static void TearDownTestSuite()
    {
        delete proxy;
        proxy = nullptr;
    }
    void SetUp() override
    {
        if (!proxy->started())
            GTEST_SKIP() << proxy->error();
    }
    static nettest::Tinyproxy* proxy;
};

nettest::Tinyproxy* HttpProxy::proxy = nullptr;

struct Outcome {
    int done = 0;
    int error = -1;
    std::vector<std::string> commands;
    std::string body;
};

Outcome run(THttpCli& http)
{
    Outcome o;
    http.OnRequestDone = [&](THttpCli*, THttpRequest, uint16_t e) {
        ++o.done;
        o.error = e;
    };
    http.OnCommand = [&](THttpCli*, const std::string& line) { o.commands.push_back(line); };
    http.OnDocData = [&](THttpCli*, const char* d, int n) { o.body.append(d, n); };
    http.GetAsync();
    waitUntil([&] { return o.done > 0; });
    nettest::drainEvents();
    return o;
}

TEST_F(HttpProxy, CredentialsDecideBetween407AndSuccess)
{
    LoopbackServer server([](const std::string&, int) {
        return Reply{"HTTP/1.0 200 OK\r\n\r\nvia proxy", false};
    });
    const std::string url = server.url("/page?x=1");
    THttpCli http;
    http.setProxy("127.0.0.1");
    http.setProxyPort(std::to_string(proxy->port()));
    http.setURL(url);
    Outcome denied = run(http);
    EXPECT_EQ(denied.done, 1);
    EXPECT_EQ(denied.error, 0);
    EXPECT_EQ(http.StatusCode(), 407);
    EXPECT_TRUE(server.requests().empty());

    http.setProxyUsername("agent");
    http.setProxyPassword("s3cret");
    Outcome allowed = run(http);
    EXPECT_EQ(allowed.error, 0);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(allowed.body, "via proxy");
    ASSERT_GE(allowed.commands.size(), 5u);
    EXPECT_EQ(allowed.commands[0], "GET " + url + " HTTP/1.0");
    EXPECT_EQ(allowed.commands[3], "Host: 127.0.0.1");
    EXPECT_EQ(allowed.commands[4], "Proxy-Authorization: Basic YWdlbnQ6czNjcmV0");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].rfind("GET /page?x=1 HTTP/1.0\r\n", 0), 0u);
}

TEST_F(HttpProxy, ProxyPortWrittenInTheProxyWinsAndWrongPasswordIsRefused)
{
    LoopbackServer server([](const std::string&, int) {
        return Reply{"HTTP/1.0 200 OK\r\n\r\n", false};
    });
    THttpCli http;
    http.setProxy("http://127.0.0.1:" + std::to_string(proxy->port()));
    http.setProxyPort("1"); // ignored: the proxy names its own port
    http.setProxyUsername("agent");
    http.setProxyPassword("wrong");
    http.setURL(server.url("/"));
    Outcome o = run(http);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(http.StatusCode(), 401);
}

TEST_F(HttpProxy, RelocationsThroughTheProxyKeepServerAndPort)
{
    LoopbackServer second([](const std::string&, int) {
        return Reply{"HTTP/1.0 200 OK\r\n\r\nfinal", false};
    });
    const std::string absolute = second.url("/final");
    LoopbackServer first([&](const std::string& request, int) {
        if (request.rfind("GET /start ", 0) == 0)
            return Reply{"HTTP/1.0 302 Found\r\nLocation: /next\r\n\r\n", false};
        return Reply{"HTTP/1.0 302 Found\r\nLocation: " + absolute + "\r\n\r\n", false};
    });
    THttpCli http;
    http.setProxy("127.0.0.1:" + std::to_string(proxy->port()));
    http.setProxyUsername("agent");
    http.setProxyPassword("s3cret");
    http.setURL(first.url("/start"));
    int relocations = 0;
    http.OnLocationChange = [&](THttpCli*) { ++relocations; };
    Outcome o = run(http);
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(relocations, 2);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(o.body, "final");
    std::vector<std::string> requestLines;
    for (const std::string& c : o.commands)
        if (c.rfind("GET ", 0) == 0)
            requestLines.push_back(c);
    EXPECT_EQ(requestLines, (std::vector<std::string>{"GET " + first.url("/start") + " HTTP/1.0",
                                                      "GET " + first.url("/next") + " HTTP/1.0",
                                                      "GET " + absolute + " HTTP/1.0"}));
    EXPECT_EQ(first.requests().size(), 2u);
    EXPECT_EQ(second.requests().size(), 1u);
}

} // namespace
