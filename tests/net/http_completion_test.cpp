// How a request ends against servers that misbehave: the time limit,
// answers ended by Content-Length on a connection left open, resets, early
// closes, short bodies, bounded answers and URL forms sent as they must be.

#include "net/http_cli.h"
#include "net_test_support.h"

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <QBuffer>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using nettest::LoopbackServer;
using nettest::Reply;
using nettest::waitUntil;

namespace {

// A peer on 127.0.0.1 that hands every accepted connection to a function
// of the test, on its own thread: for what the line-based server cannot do
// (reset, never answer, stream without end).
class RawServer {
public:
    explicit RawServer(std::function<void(int fd)> handler) : m_handler(std::move(handler))
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 8);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0 || m_stop)
                    break;
                m_handler(fd);
                ::close(fd);
            }
        });
    }
    ~RawServer()
    {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::atomic<bool> m_stop{false};

private:
    std::function<void(int)> m_handler;
    int m_listen = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
};

// Reads the request header, so that the client's send has completed.
void readRequest(int fd)
{
    std::string got;
    char buf[4096];
    while (got.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return;
        got.append(buf, static_cast<size_t>(n));
    }
}

void sendAll(int fd, const std::string& bytes)
{
    (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// Waits until the client hangs up (or a bound passes), for servers that
// keep the connection open.
void waitForClose(int fd, const std::atomic<bool>& stop)
{
    char buf[256];
    timeval tv{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    for (int i = 0; i < 100 && !stop; ++i) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            return;
    }
}

struct Done {
    int count = 0;
    int error = -1;
};

Done runGet(THttpCli& http, const std::string& url)
{
    Done done;
    http.setURL(url);
    http.OnRequestDone = [&done](THttpCli*, THttpRequest, uint16_t e) {
        ++done.count;
        done.error = e;
    };
    http.GetAsync();
    EXPECT_TRUE(waitUntil([&] { return done.count > 0; }, 20000));
    nettest::drainEvents();
    EXPECT_EQ(done.count, 1);
    return done;
}

TEST(HttpCompletion, MisbehavingServersEndWithTheirCodes)
{
    struct Case {
        std::string name;
        std::function<void(int fd, const std::atomic<bool>& stop)> serve;
        int error;
        int status;
        std::string body;
    };
    const Case cases[] = {
        {"keeps the connection open after Content-Length",
         [](int fd, const std::atomic<bool>& stop) {
             readRequest(fd);
             sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
             waitForClose(fd, stop);
         },
         0, 200, "hello"},
        {"resets",
         [](int fd, const std::atomic<bool>&) {
             readRequest(fd);
             linger l{1, 0};
             ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
         },
         10054, 0, ""},
        {"closes before any byte", [](int fd, const std::atomic<bool>&) { readRequest(fd); }, 10053,
         0, ""},
        {"closes inside the header",
         [](int fd, const std::atomic<bool>&) {
             readRequest(fd);
             sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Ty");
         },
         10053, 200, ""},
        {"short body",
         [](int fd, const std::atomic<bool>&) {
             readRequest(fd);
             sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc");
         },
         10053, 200, "abc"},
        {"500 with a body read to its end",
         [](int fd, const std::atomic<bool>&) {
             readRequest(fd);
             sendAll(fd, "HTTP/1.0 500 Oops\r\n\r\ntoo many requests");
         },
         0, 500, "too many requests"},
        {"never answers",
         [](int fd, const std::atomic<bool>& stop) {
             readRequest(fd);
             waitForClose(fd, stop);
         },
         10060, 404, ""},
        {"stops after the status line",
         [](int fd, const std::atomic<bool>& stop) {
             readRequest(fd);
             sendAll(fd, "HTTP/1.0 200 OK\r\n");
             waitForClose(fd, stop);
         },
         10060, 200, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawServer server([&](int fd) { c.serve(fd, server.m_stop); });
        THttpCli http;
        http.setRequestTimeout(1);
        std::string body;
        http.OnDocData = [&body](THttpCli*, const char* d, int n) { body.append(d, n); };
        const Done done = runGet(http, server.url("/x"));
        EXPECT_EQ(done.error, c.error);
        EXPECT_EQ(http.StatusCode(), c.status);
        EXPECT_EQ(body, c.body);
        EXPECT_EQ(http.State(), hsReady);
        if (c.error == 10060 && c.status == 404) {
            EXPECT_EQ(http.ReasonPhrase(), "Connection timed out (Error #10060)");
        }
    }
}

TEST(HttpCompletion, SynchronousGetRaisesTransportFailures)
{
    RawServer server([](int fd) { readRequest(fd); });
    THttpCli http;
    http.setURL(server.url("/x"));
    try {
        http.Get();
        ADD_FAILURE() << "no exception";
    } catch (const EHttpException& e) {
        // An empty close: no status arrived, the transport error is raised.
        EXPECT_EQ(e.ErrorCode(), 10053);
    }
    RawServer cut([](int fd) {
        readRequest(fd);
        sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    });
    http.setURL(cut.url("/x"));
    try {
        http.Get();
        ADD_FAILURE() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.ErrorCode(), 10053);
        EXPECT_STREQ(e.what(), "Connection aborted (Error #10053)");
    }
}

// 200 MB offered, at most the limit kept: the client closes at the limit.
TEST(HttpCompletion, AnswerBeyondTheLimitIsCutAndTheClientCloses)
{
    constexpr int64_t kLimit = 1024 * 1024;
    std::atomic<int64_t> sent{0};
    RawServer server([&](int fd) {
        readRequest(fd);
        sendAll(fd, "HTTP/1.0 200 OK\r\n\r\n");
        const std::string chunk(65536, 'y');
        for (int64_t total = 0; total < 200LL * 1024 * 1024; total += chunk.size()) {
            if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0)
                break;
            sent += static_cast<int64_t>(chunk.size());
        }
    });
    THttpCli http;
    http.setRcvdLimit(kLimit);
    QBuffer body;
    body.open(QIODevice::ReadWrite);
    http.setRcvdStream(&body);
    const Done done = runGet(http, server.url("/big"));
    EXPECT_EQ(done.error, 0);
    EXPECT_TRUE(http.RcvdTruncated());
    EXPECT_EQ(http.RcvdCount(), kLimit);
    EXPECT_EQ(body.size(), kLimit);
    EXPECT_LT(sent.load(), 200LL * 1024 * 1024);
}

TEST(HttpCompletion, PortsOutsideTheRangeAndNamesAreRefused)
{
    for (const char* url : {"http://127.0.0.1:65536/", "http://127.0.0.1:99999999/",
                            "http://127.0.0.1:http/", "http://127.0.0.1:0/"}) {
        SCOPED_TRACE(url);
        THttpCli http;
        const Done done = runGet(http, url);
        EXPECT_EQ(done.error, 10022);
        EXPECT_EQ(http.ReasonPhrase(), "can't connect: Invalid argument (Error #10022)");
    }
}

TEST(HttpCompletion, BlanksAreEncodedAndFragmentsNotSent)
{
    LoopbackServer server([](const std::string&, int) {
        return Reply{"HTTP/1.0 302 Found\r\nLocation: /next page#top\r\n\r\n", false};
    });
    THttpCli http;
    int done = 0;
    http.OnRequestDone = [&done](THttpCli*, THttpRequest, uint16_t) { ++done; };
    http.OnLocationChange = [&http](THttpCli*) {
        // One relocation is enough to see what it sends.
        http.OnLocationChange = nullptr;
    };
    http.setURL(server.url("/a b?q=x y#frag"));
    http.GetAsync();
    ASSERT_TRUE(waitUntil([&] { return done > 0; }, 20000));
    const std::vector<std::string> requests = server.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "GET /a%20b?q=x%20y HTTP/1.0");
    EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")), "GET /next%20page HTTP/1.0");
}

} // namespace
