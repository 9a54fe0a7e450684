#include "net/http_cli.h"
#include "net/socket_error.h"
#include "net_test_support.h"
#include "tls_fixture.h"

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>
#include <QBuffer>
#include <QCoreApplication>

using nettest::drainEvents;
using nettest::LoopbackServer;
using nettest::Reply;
using nettest::ScopedCaFile;
using nettest::TlsFixture;
using nettest::waitUntil;
using platform::SocketLibrary;

namespace {

const std::string kAccept = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
const std::string kAgent = "User-Agent: Mozilla/3.0 (compatible)";

// What one request reports, as a caller sees it.
struct Result {
    int done = 0;
    int error = -1;
    int locationChanges = 0;
    std::string body;
    std::vector<std::string> commands;
};

class HttpsCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fixture().ready()) << fixture().error(); }
    static TlsFixture& fixture() { return TlsFixture::instance(); }
    static std::string base(TlsFixture::Peer peer, const std::string& host = "localhost")
    {
        return "https://" + host + ":" + std::to_string(fixture().port(peer));
    }

    // Runs one request on `http` (already configured) to its end.
    static Result run(THttpCli& http, THttpRequest kind = rqGet, int timeoutMs = 10000)
    {
        Result r;
        http.OnRequestDone = [&](THttpCli*, THttpRequest, uint16_t e) {
            ++r.done;
            r.error = e;
        };
        http.OnDocData = [&](THttpCli*, const char* d, int n) { r.body.append(d, n); };
        http.OnLocationChange = [&](THttpCli*) { ++r.locationChanges; };
        http.OnCommand = [&](THttpCli*, const std::string& line) { r.commands.push_back(line); };
        if (kind == rqPost)
            http.PostAsync();
        else if (kind == rqHead)
            http.HeadAsync();
        else
            http.GetAsync();
        EXPECT_TRUE(waitUntil([&] { return r.done > 0; }, timeoutMs));
        drainEvents();
        return r;
    }
};

TEST_F(HttpsCli, RequestsGoOutOverTlsByteForByte)
{
    ScopedCaFile ca(fixture().caFile());
    const std::string port = std::to_string(fixture().port(TlsFixture::Https));
    const std::string form = "url=http%3A%2F%2Fexample.org%2F&email=a%40b.example";
    const std::string post =
        "POST /echo/add HTTP/1.0\r\n" + kAccept +
        "\r\nContent-Type: application/x-www-form-urlencoded\r\n" + kAgent +
        "\r\nHost: localhost\r\nContent-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form;
    const struct {
        const char* name;
        std::string url;
        THttpRequest kind;
        std::string request; // what the server receives (and echoes)
    } cases[] = {
        {"GET", "https://localhost:" + port + "/echo?q=a b#top", rqGet,
         "GET /echo?q=a%20b HTTP/1.0\r\n" + kAccept + "\r\n" + kAgent +
             "\r\nHost: localhost\r\n\r\n"},
        {"scheme and host in capitals", "HTTPS://LOCALHOST:" + port + "/echo", rqGet,
         "GET /echo HTTP/1.0\r\n" + kAccept + "\r\n" + kAgent + "\r\nHost: LOCALHOST\r\n\r\n"},
        {"IPv4 literal", "https://127.0.0.1:" + port + "/echo", rqGet,
         "GET /echo HTTP/1.0\r\n" + kAccept + "\r\n" + kAgent + "\r\nHost: 127.0.0.1\r\n\r\n"},
        {"IPv6 literal", base(TlsFixture::Https6, "[::1]") + "/echo", rqGet,
         "GET /echo HTTP/1.0\r\n" + kAccept + "\r\n" + kAgent + "\r\nHost: [::1]\r\n\r\n"},
        {"POST", "https://localhost:" + port + "/echo/add", rqPost, post},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        THttpCli http;
        http.setURL(c.url);
        QBuffer body;
        body.setData(form.data(), static_cast<int>(form.size()));
        body.open(QIODevice::ReadOnly);
        http.setSendStream(&body);
        const Result r = run(http, c.kind);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(r.error, 0);
        EXPECT_EQ(http.StatusCode(), 200);
        EXPECT_EQ(r.body, c.request);
        EXPECT_EQ(http.RcvdCount(), static_cast<int64_t>(c.request.size()));
        EXPECT_EQ(http.State(), hsReady);
    }
}

TEST_F(HttpsCli, AnswerLimitAndHeadWorkOverTls)
{
    ScopedCaFile ca(fixture().caFile());
    // An echo of a 200 kB POST, cut at 1000 bytes: the client stops reading
    // and closes, and the request still completes once, with Error 0.
    const std::string form(200000, 'f');
    QBuffer body;
    body.setData(form.data(), static_cast<int>(form.size()));
    body.open(QIODevice::ReadOnly);
    THttpCli http;
    http.setURL(base(TlsFixture::Https) + "/echo");
    http.setSendStream(&body);
    http.setRcvdLimit(1000);
    Result r = run(http, rqPost);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.body.size(), 1000u);
    EXPECT_TRUE(http.RcvdTruncated());
    EXPECT_EQ(http.SentCount(), static_cast<int64_t>(form.size()));

    http.setRcvdLimit(0);
    r = run(http, rqHead);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_TRUE(r.body.empty());
}

TEST_F(HttpsCli, CertificateAndHandshakeFailuresCompleteWithTheirCodeAndText)
{
    const struct {
        const char* name;
        bool trusted;
        TlsFixture::Peer peer;
        int code;
        const char* reason;
    } cases[] = {
        {"untrusted CA", false, TlsFixture::Https, 21002, "Certificate not trusted (Error #21002)"},
        {"wrong host name", true, TlsFixture::WrongName, 21003,
         "Certificate name mismatch (Error #21003)"},
        {"expired", true, TlsFixture::Expired, 21004, "Certificate expired (Error #21004)"},
        {"reset in the handshake", true, TlsFixture::Reset, 10054,
         "Connection reset by peer (Error #10054)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedCaFile ca(c.trusted ? fixture().caFile() : "");
        THttpCli http;
        http.setURL(base(c.peer) + "/echo");
        int docBegin = 0;
        http.OnDocBegin = [&](THttpCli*) { ++docBegin; };
        const Result r = run(http);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(r.error, c.code);
        EXPECT_EQ(http.StatusCode(), 404);
        EXPECT_EQ(http.ReasonPhrase(), c.reason);
        EXPECT_EQ(docBegin, 0);
        // Nothing of the request was sent before the server was verified.
        EXPECT_TRUE(r.commands.empty());
        EXPECT_EQ(http.State(), hsReady);
    }
    // The synchronous Get raises the same failure after its OnRequestDone.
    ScopedCaFile ca("");
    THttpCli http;
    http.setURL(base(TlsFixture::Https) + "/");
    try {
        http.Get();
        ADD_FAILURE() << "Get did not raise";
    } catch (const EHttpException& e) {
        EXPECT_STREQ(e.what(), "Certificate not trusted (Error #21002)");
    }
}

// Where the client connects: recorded by a replaced connect that refuses.
std::vector<int> g_connectPorts;

int refusingConnect(int, const sockaddr* addr, socklen_t)
{
    g_connectPorts.push_back(ntohs(reinterpret_cast<const sockaddr_in*>(addr)->sin_port));
    errno = ECONNREFUSED;
    return -1;
}

TEST_F(HttpsCli, SchemeChoosesTheDefaultPort)
{
    SocketLibrary& lib = SocketLibrary::instance();
    lib.setOverride(SocketLibrary::fnConnect, reinterpret_cast<void*>(&refusingConnect));
    const struct {
        const char* url;
        int port;
    } cases[] = {{"https://127.0.0.1/", 443},
                 {"HTTPS://127.0.0.1/x", 443},
                 {"Https://127.0.0.1:8443/", 8443},
                 {"http://127.0.0.1/", 80}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        g_connectPorts.clear();
        THttpCli http;
        http.setURL(c.url);
        const Result r = run(http);
        EXPECT_EQ(r.error, 10061);
        EXPECT_EQ(g_connectPorts, std::vector<int>{c.port});
    }
    lib.clearTestHooks();
}

TEST_F(HttpsCli, RelocationsMoveBetweenHttpAndHttps)
{
    ScopedCaFile ca(fixture().caFile());
    const std::string https = base(TlsFixture::Https);
    std::string finalUrl;
    LoopbackServer plain([&](const std::string& request, int) {
        if (request.rfind("GET /start ", 0) == 0)
            return Reply{
                "HTTP/1.0 301 Moved\r\nLocation: " + https + "/to?" + finalUrl + "\r\n\r\n", false};
        return Reply{"HTTP/1.0 200 OK\r\n\r\nback on http", false};
    });
    finalUrl = plain.url("/final");

    // http -> https -> http: scheme, host and port change each time.
    THttpCli http;
    http.setURL(plain.url("/start"));
    Result r = run(http);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.locationChanges, 2);
    EXPECT_EQ(r.body, "back on http");
    ASSERT_EQ(plain.requests().size(), 2u);
    EXPECT_EQ(plain.requests()[1].rfind("GET /final HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(fixture().log().find("https GET /to?" + finalUrl + " HTTP/1.0"), std::string::npos);

    // A relative relocation from an https page stays on https.
    http.setURL(https + "/to?/echo/relative");
    r = run(http);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.locationChanges, 1);
    EXPECT_EQ(r.body.rfind("GET /echo/relative HTTP/1.0\r\n", 0), 0u);
    EXPECT_EQ(http.Location(), "/echo/relative");
}

TEST_F(HttpsCli, TimeLimitAndAbortEndAHandshakeThatNeverComes)
{
    ScopedCaFile ca(fixture().caFile());
    THttpCli http;
    http.setURL(base(TlsFixture::Silent) + "/");
    http.setRequestTimeout(1);
    Result r = run(http, rqGet, 15000);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.error, 10060);
    EXPECT_EQ(http.StatusCode(), 404);
    EXPECT_EQ(http.ReasonPhrase(), "Connection timed out (Error #10060)");

    http.setRequestTimeout(0);
    http.OnSessionConnected = [](THttpCli* c) {
        // Aborted once connected: inside the handshake, from the loop.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [c] { c->Abort(); }, Qt::QueuedConnection);
    };
    r = run(http);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.error, 3);
    EXPECT_EQ(http.ReasonPhrase(), "Connection aborted on request");
}

// "localhost" resolves to ::1 alone.
int ipv6OnlyGetAddrInfo(const char* node, const char*, const addrinfo*, addrinfo** result)
{
    *result = nullptr;
    if (std::string(node ? node : "") != "localhost")
        return EAI_NONAME;
    auto* a = new sockaddr_in6{};
    a->sin6_family = AF_INET6;
    a->sin6_addr = in6addr_loopback;
    auto* ai = new addrinfo{};
    ai->ai_family = AF_INET6;
    ai->ai_socktype = SOCK_STREAM;
    ai->ai_addrlen = sizeof *a;
    ai->ai_addr = reinterpret_cast<sockaddr*>(a);
    *result = ai;
    return 0;
}

void ipv6OnlyFreeAddrInfo(addrinfo* ai)
{
    delete reinterpret_cast<sockaddr_in6*>(ai->ai_addr);
    delete ai;
}

TEST_F(HttpsCli, NameThatResolvesOnlyToIpv6)
{
    ScopedCaFile ca(fixture().caFile());
    SocketLibrary& lib = SocketLibrary::instance();
    lib.setOverride(SocketLibrary::fnGetAddrInfo, reinterpret_cast<void*>(&ipv6OnlyGetAddrInfo));
    lib.setOverride(SocketLibrary::fnFreeAddrInfo, reinterpret_cast<void*>(&ipv6OnlyFreeAddrInfo));
    THttpCli http;
    http.setURL(base(TlsFixture::Https6) + "/echo/v6");
    const Result r = run(http);
    lib.clearTestHooks();
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(r.body.rfind("GET /echo/v6 HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(r.body.find("\r\nHost: localhost\r\n"), std::string::npos);
}

} // namespace
