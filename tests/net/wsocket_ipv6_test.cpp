#include "net/socket_error.h"
#include "net/wsocket.h"
#include "net_test_support.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <netdb.h>
#include <unistd.h>

using nettest::waitUntil;
using platform::SocketLibrary;

namespace {

// Names the replaced resolver knows, each with its addresses in order.
std::map<std::string, std::vector<std::string>> g_names;

int fakeGetAddrInfo(const char* node, const char*, const addrinfo* hints, addrinfo** result)
{
    *result = nullptr;
    const auto it = g_names.find(node ? node : "");
    if (it == g_names.end())
        return EAI_NONAME;
    addrinfo** tail = result;
    for (const std::string& text : it->second) {
        auto* sa = new sockaddr_storage{};
        socklen_t len = 0;
        int family = AF_INET;
        if (text.find(':') != std::string::npos) {
            family = AF_INET6;
            auto* a = reinterpret_cast<sockaddr_in6*>(sa);
            a->sin6_family = AF_INET6;
            inet_pton(AF_INET6, text.c_str(), &a->sin6_addr);
            len = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(sa);
            a->sin_family = AF_INET;
            inet_pton(AF_INET, text.c_str(), &a->sin_addr);
            len = sizeof *a;
        }
        // A caller that asks for one family gets only that one.
        if (hints && hints->ai_family != AF_UNSPEC && hints->ai_family != family) {
            delete sa;
            continue;
        }
        auto* ai = new addrinfo{};
        ai->ai_family = family;
        ai->ai_socktype = SOCK_STREAM;
        ai->ai_addrlen = len;
        ai->ai_addr = reinterpret_cast<sockaddr*>(sa);
        *tail = ai;
        tail = &ai->ai_next;
    }
    return *result ? 0 : EAI_NONAME;
}

void fakeFreeAddrInfo(addrinfo* list)
{
    while (list) {
        addrinfo* next = list->ai_next;
        delete reinterpret_cast<sockaddr_storage*>(list->ai_addr);
        delete list;
        list = next;
    }
}

// IPv6 connects fail at once with "network unreachable"; IPv4 ones are real.
int unreachableIpv6Connect(int fd, const sockaddr* addr, socklen_t len)
{
    if (addr->sa_family == AF_INET6) {
        errno = ENETUNREACH;
        return -1;
    }
    return ::connect(fd, addr, len);
}

class WSocketIpv6 : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& lib = SocketLibrary::instance();
        lib.setOverride(SocketLibrary::fnGetAddrInfo, reinterpret_cast<void*>(&fakeGetAddrInfo));
        lib.setOverride(SocketLibrary::fnFreeAddrInfo, reinterpret_cast<void*>(&fakeFreeAddrInfo));
    }
    void TearDown() override
    {
        SocketLibrary::instance().clearTestHooks();
        g_names.clear();
    }
};

// A listening socket on [::1] that accepts one client and answers "hello".
struct Ipv6Server {
    TWSocket listener;
    std::unique_ptr<TWSocket> session;
    std::string peer;

    Ipv6Server()
    {
        listener.setAddr("::1");
        listener.setPort("0");
        listener.OnSessionAvailable = [this](TCustomWSocket* s, uint16_t) {
            session = std::make_unique<TWSocket>();
            session->Dup(s->Accept());
            peer = session->GetPeerAddr();
            session->SendStr("hello");
        };
        listener.Listen();
    }
    std::string port() const { return listener.LocalPort(); }
};

struct Client {
    TWSocket socket;
    int connected = -1;
    int connectedCount = 0;
    std::string received;

    Client(const std::string& addr, const std::string& port)
    {
        socket.setAddr(addr);
        socket.setPort(port);
        socket.OnSessionConnected = [this](TCustomWSocket*, uint16_t e) {
            connected = e;
            ++connectedCount;
        };
        socket.OnDataAvailable = [this](TCustomWSocket* s, uint16_t) {
            char buf[64];
            const int n = s->Receive(buf, sizeof buf);
            if (n > 0)
                received.append(buf, static_cast<size_t>(n));
        };
    }
};

TEST_F(WSocketIpv6, LiteralsAndIpv6OnlyNamesConnect)
{
    Ipv6Server server;
    ASSERT_EQ(server.listener.State(), wsListening);
    g_names["v6only.test"] = {"::1"};
    // Connect resolves the name itself; a lookup first hands its result on.
    for (const bool lookupFirst : {false, true}) {
        for (const std::string addr : {"::1", "v6only.test"}) {
            SCOPED_TRACE(addr + (lookupFirst ? " after a lookup" : ""));
            Client client(addr, server.port());
            if (lookupFirst) {
                int done = -1;
                client.socket.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { done = e; };
                client.socket.DnsLookup(addr);
                ASSERT_TRUE(waitUntil([&] { return done != -1; }));
                ASSERT_EQ(done, 0);
                EXPECT_EQ(client.socket.DnsResult(), "::1");
                client.socket.setAddr(client.socket.DnsResult());
            }
            client.socket.Connect();
            ASSERT_TRUE(waitUntil([&] { return client.received == "hello"; }));
            EXPECT_EQ(client.connected, 0);
            EXPECT_EQ(client.socket.GetPeerAddr(), "::1");
            EXPECT_EQ(server.peer, "::1");
            client.socket.Close();
            server.session.reset();
        }
    }
}

TEST_F(WSocketIpv6, LookupListsEveryAddressOfBothFamilies)
{
    g_names["both.test"] = {"::1", "127.0.0.1", "::1", "127.0.0.2"};
    TWSocket s;
    int done = -1;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { done = e; };
    s.DnsLookup("both.test");
    ASSERT_TRUE(waitUntil([&] { return done != -1; }));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"::1", "127.0.0.1", "127.0.0.2"}));
    EXPECT_EQ(s.DnsResult(), "::1");
}

TEST_F(WSocketIpv6, ConnectTriesEveryAddressInOrder)
{
    Ipv6Server server;
    // Nothing listens on 127.0.0.1 at the port of the [::1] listener.
    g_names["refused-first.test"] = {"127.0.0.1", "::1"};
    for (const bool lookupFirst : {false, true}) {
        SCOPED_TRACE(lookupFirst ? "after a lookup" : "named in Addr");
        Client client("refused-first.test", server.port());
        if (lookupFirst) {
            int done = -1;
            client.socket.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { done = e; };
            client.socket.DnsLookup("refused-first.test");
            ASSERT_TRUE(waitUntil([&] { return done != -1; }));
            client.socket.setAddr(client.socket.DnsResult());
        }
        client.socket.Connect();
        ASSERT_TRUE(waitUntil([&] { return client.received == "hello"; }));
        EXPECT_EQ(client.connected, 0);
        EXPECT_EQ(client.connectedCount, 1);
        EXPECT_EQ(client.socket.GetPeerAddr(), "::1");
        client.socket.Close();
        server.session.reset();
    }
}

TEST_F(WSocketIpv6, WhenEveryAddressFailsTheLastErrorIsReported)
{
    SocketLibrary::instance().setOverride(SocketLibrary::fnConnect,
                                          reinterpret_cast<void*>(&unreachableIpv6Connect));
    const std::string port = std::to_string(nettest::unusedPort());
    const struct {
        std::vector<std::string> addresses;
        int error;
    } cases[] = {{{"::1", "127.0.0.1"}, wsock::WSAECONNREFUSED},
                 {{"127.0.0.1", "::1"}, wsock::WSAENETUNREACH},
                 {{"::1"}, wsock::WSAENETUNREACH}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.addresses.front() + " first");
        g_names["failing.test"] = c.addresses;
        Client client("failing.test", port);
        int closed = 0;
        client.socket.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++closed; };
        client.socket.Connect();
        ASSERT_TRUE(waitUntil([&] { return client.connectedCount > 0; }));
        nettest::drainEvents();
        EXPECT_EQ(client.connected, c.error);
        EXPECT_EQ(client.connectedCount, 1);
        EXPECT_EQ(client.socket.State(), wsClosed);
    }
}

} // namespace
