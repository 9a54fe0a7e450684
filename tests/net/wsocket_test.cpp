#include "net/buffer.h"
#include "net/wsocket.h"
#include "net_test_support.h"

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <sys/socket.h>
#include <unistd.h>

using nettest::drainEvents;
using nettest::waitUntil;

namespace {

std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ESocketException& e) {
        return e.message();
    }
    return "(no exception)";
}

TEST(TBuffer, WritesWhatFitsSendsFromTheFrontAndIsReused)
{
    TBuffer b(0);
    EXPECT_EQ(b.BufSize(), 1514);
    const std::string data(2000, 'd');
    EXPECT_EQ(b.Write(data.data(), 2000), 1514);
    b.Remove(500);
    int len = 0;
    b.Peek(len);
    EXPECT_EQ(len, 1014);
    b.SetBufSize(100); // never drops unsent bytes
    EXPECT_EQ(b.BufSize(), 1014);
    b.Remove(1014);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.WrCount(), 0);
    EXPECT_EQ(b.RdCount(), 0);
    EXPECT_EQ(b.Write("xy", 2), 2);
    EXPECT_EQ(std::string(b.Peek(len), 2), "xy");
}

TEST(WSocket, DnsLookupOfDottedAddressCompletesBeforeReturning)
{
    TWSocket s;
    int done = -1;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t error) { done = error; };
    s.DnsLookup("127.0.0.1");
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
}

TEST(WSocket, DnsLookupOfNameCompletesFromTheLoop)
{
    TWSocket s;
    int done = -1;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t error) { done = error; };
    s.DnsLookup("localhost");
    EXPECT_EQ(done, -1);
    ASSERT_TRUE(waitUntil([&] { return done != -1; }));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
}

TEST(WSocket, DnsLookupOfUnresolvableNameReportsHostNotFound)
{
    TWSocket s;
    int done = -1;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t error) { done = error; };
    // A label longer than 63 characters is refused by the resolver itself.
    s.DnsLookup(std::string(70, 'a') + ".example");
    ASSERT_TRUE(waitUntil([&] { return done != -1; }));
    EXPECT_EQ(done, 11001);
}

TEST(WSocket, EmptyHostNameRaisesOrReportsThroughOnError)
{
    TWSocket s;
    EXPECT_EQ(messageOf([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
    int errors = 0;
    int done = -1;
    s.OnError = [&](TCustomWSocket*) { ++errors; };
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t error) { done = error; };
    s.DnsLookup("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done, 10022);
}

TEST(WSocket, CancelledLookupReportsInterruptedOnce)
{
    TWSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t error) { done.push_back(error); };
    s.DnsLookup("localhost");
    s.CancelDnsLookup();
    s.CancelDnsLookup();
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(done, std::vector<int>{10004});
}

TEST(WSocket, ConnectChecksAndResolutionMessages)
{
    struct Case {
        std::string addr, port, proto, message;
    };
    const Case cases[] = {
        {"127.0.0.1", "", "tcp", "Connect: No Port Specified"},
        {"", "80", "tcp", "Connect: No IP Address Specified"},
        {"127.0.0.1", "80", "", "Connect: No Protocol Specified"},
        {"127.0.0.1", "nosuchservice", "tcp",
         "connect: WSocketResolvePort: Cannot convert port 'nosuchservice'"},
        {"127.0.0.1", "80", "nosuchproto",
         "connect: WSocketResolveProto: Cannot convert protocol 'nosuchproto'"},
        {"1.2.3.4.5", "80", "tcp", "connect: WSocketResolveHost: '1.2.3.4.5' Invalid IP address."},
        {std::string(300, 'h'), "80", "tcp",
         "connect: WSocketResolveHost: '" + std::string(300, 'h') + "' Invalid Hostname."}};
    for (const Case& c : cases) {
        TWSocket s;
        s.setAddr(c.addr);
        s.setPort(c.port);
        s.setProto(c.proto);
        EXPECT_EQ(messageOf([&] { s.Connect(); }), c.message);
        EXPECT_EQ(s.State(), wsClosed);
    }
}

TEST(WSocket, SendWhenNotConnectedFails)
{
    TWSocket s;
    int result = 0;
    EXPECT_EQ(messageOf([&] { result = s.SendStr("x"); }),
              "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(s.LastError(), 10057);
    int errors = 0;
    s.OnError = [&](TCustomWSocket*) { ++errors; };
    EXPECT_EQ(s.SendStr("x"), -1);
    EXPECT_EQ(errors, 1);
}

TEST(WSocket, RefusedConnectionReportsThenCloses)
{
    TWSocket s;
    std::vector<std::string> events;
    s.OnSessionConnected = [&](TCustomWSocket*, uint16_t e) {
        events.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [&](TCustomWSocket*, uint16_t e) {
        events.push_back("closed " + std::to_string(e));
    };
    s.setAddr("127.0.0.1");
    s.setPort(std::to_string(nettest::unusedPort()));
    s.Connect();
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }));
    drainEvents();
    EXPECT_EQ(events, (std::vector<std::string>{"connected 10061", "closed 0"}));
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocket, PeerEndingTheSessionReportsHowItEnded)
{
    // The peer closes normally (error 0) or resets the connection (10054),
    // with or without data still on its way; the data comes first.
    struct Case {
        std::string data;
        bool reset;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"", false, {"data ", "closed 0"}},
        {"last words", false, {"data last words", "data ", "closed 0"}},
        {"", true, {"data ", "closed 10054"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data + (c.reset ? " reset" : " close"));
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
        ASSERT_EQ(::listen(listener, 1), 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

        TWSocket s;
        std::vector<std::string> events;
        bool connected = false;
        s.OnSessionConnected = [&](TCustomWSocket*, uint16_t e) { connected = e == 0; };
        s.OnDataAvailable = [&](TCustomWSocket* sock, uint16_t) {
            char buf[100];
            const int n = sock->Receive(buf, sizeof buf);
            events.push_back("data " + std::string(buf, n > 0 ? n : 0));
        };
        s.OnSessionClosed = [&](TCustomWSocket*, uint16_t e) {
            events.push_back("closed " + std::to_string(e));
        };
        s.setAddr("127.0.0.1");
        s.setPort(std::to_string(ntohs(address.sin_port)));
        s.Connect();
        ASSERT_TRUE(waitUntil([&] { return connected; }));
        const int peer = ::accept(listener, nullptr, nullptr);
        ASSERT_GE(peer, 0);
        if (!c.data.empty()) {
            ASSERT_EQ(::send(peer, c.data.data(), c.data.size(), 0),
                      static_cast<ssize_t>(c.data.size()));
        }
        if (c.reset) {
            const linger abortive{1, 0};
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        }
        ::close(peer);
        ::close(listener);
        EXPECT_TRUE(waitUntil([&] { return s.State() == wsClosed; }));
        drainEvents();
        EXPECT_EQ(events, c.events);
    }
}

TEST(WSocket, PropertiesChangeOnlyWhileClosed)
{
    nettest::LoopbackServer server([](const std::string&, int) {
        return nettest::Reply{"", true};
    });
    TWSocket s;
    s.setAddr(" 127.0.0.1 ");
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    s.setPort(std::to_string(server.port()));
    s.Connect();
    EXPECT_EQ(messageOf([&] { s.setAddr("10.0.0.1"); }), "Cannot change Addr if not closed");
    EXPECT_EQ(messageOf([&] { s.setAddr("127.0.0.1"); }), "(no exception)"); // same value
    EXPECT_EQ(messageOf([&] { s.setPort("1"); }), "Cannot change Port if not closed");
    EXPECT_EQ(messageOf([&] { s.setProto("udp"); }), "Cannot change Proto if not closed");
    EXPECT_EQ(messageOf([&] { s.setLocalPort("0"); }), "Cannot change LocalPort if not closed");
    EXPECT_EQ(messageOf([&] { s.setSendFlags(7); }), "Invalid SendFlags");
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    s.Close();
    EXPECT_EQ(s.Addr(), ""); // defaults are restored after a close
}

TEST(WSocket, ConnectSendReceiveAndOneCloseEventPerSession)
{
    nettest::LoopbackServer server([](const std::string& request, int) {
        return nettest::Reply{"echo:" + request, false};
    });
    TWSocket s;
    std::vector<TSocketState> states;
    int connected = 0, sent = 0, closed = 0;
    bool insideSend = false;
    bool sentInsideSend = false;
    std::string received;
    s.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState n) { states.push_back(n); };
    s.OnSessionConnected = [&](TCustomWSocket* sock, uint16_t e) {
        ++connected;
        ASSERT_EQ(e, 0);
        insideSend = true;
        sock->SendStr("hello\r\n\r\n");
        insideSend = false;
    };
    s.OnDataSent = [&](TCustomWSocket*, uint16_t) {
        ++sent;
        sentInsideSend = sentInsideSend || insideSend;
    };
    s.OnDataAvailable = [&](TCustomWSocket* sock, uint16_t) { received += sock->ReceiveStr(); };
    s.OnSessionClosed = [&](TCustomWSocket* sock, uint16_t) {
        ++closed;
        sock->Close(); // an explicit Close inside the close event adds nothing
    };
    s.setAddr("127.0.0.1");
    s.setPort(std::to_string(server.port()));
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return closed > 0; }));
    s.Close();
    drainEvents();
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(sent, 1);
    EXPECT_FALSE(sentInsideSend);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(received, "echo:hello\r\n\r\n");
    EXPECT_EQ(s.State(), wsClosed);
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states[0], wsOpened);
    EXPECT_EQ(states[1], wsConnecting);
    EXPECT_EQ(states[2], wsConnected);
    EXPECT_EQ(states.back(), wsClosed);
}

TEST(WSocket, ServerSideListenAcceptDupAndLineMode)
{
    TWSocket listener;
    TWSocket peer;
    TWSocket client;
    std::vector<std::string> lines;
    bool peerClosed = false;
    listener.setAddr("127.0.0.1");
    listener.setPort("0");
    listener.OnSessionAvailable = [&](TCustomWSocket* l, uint16_t) { peer.Dup(l->Accept()); };
    listener.Listen();
    ASSERT_EQ(listener.State(), wsListening);
    const std::string port = listener.GetXPort();
    ASSERT_NE(port, "error");

    peer.setLineMode(true);
    peer.OnDataAvailable = [&](TCustomWSocket* p, uint16_t) {
        char buf[64];
        const int n = p->Receive(buf, sizeof buf);
        if (n > 0)
            lines.emplace_back(buf, n);
    };
    peer.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { peerClosed = true; };
    client.setLingerOnOff(wsLingerNoSet); // a graceful close keeps the last bytes
    client.OnSessionConnected = [&](TCustomWSocket* c, uint16_t) {
        c->SendStr("first\r\nsecond\r\npart");
    };
    client.OnDataSent = [&](TCustomWSocket* c, uint16_t) { c->Close(); };
    client.setAddr("127.0.0.1");
    client.setPort(port);
    client.Connect();
    ASSERT_TRUE(waitUntil([&] { return peerClosed; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"first\r\n", "second\r\n", "part"}));
    EXPECT_EQ(peer.State(), wsClosed);
    EXPECT_EQ(messageOf([&] { peer.Accept(); }), "not a listening socket");
}

TEST(WSocket, LineModeEditsAndEchoes)
{
    TWSocket listener;
    TWSocket peer;
    TWSocket client;
    std::string line;
    std::string echoed;
    listener.setAddr("127.0.0.1");
    listener.setPort("0");
    listener.OnSessionAvailable = [&](TCustomWSocket* l, uint16_t) { peer.Dup(l->Accept()); };
    listener.Listen();
    peer.setLineMode(true);
    peer.setLineEdit(true);
    peer.setLineEcho(true);
    peer.OnDataAvailable = [&](TCustomWSocket* p, uint16_t) {
        char buf[64];
        const int n = p->Receive(buf, sizeof buf);
        if (n > 0)
            line.append(buf, n);
    };
    client.OnSessionConnected = [](TCustomWSocket* c, uint16_t) { c->SendStr("ab\bc\tx\r\n"); };
    client.OnDataAvailable = [&](TCustomWSocket* c, uint16_t) { echoed += c->ReceiveStr(); };
    client.setAddr("127.0.0.1");
    client.setPort(listener.GetXPort());
    client.Connect();
    ASSERT_TRUE(waitUntil([&] { return !line.empty() && echoed.size() == 8; }));
    EXPECT_EQ(line, "ac      x\r\n");
    EXPECT_EQ(echoed, "ab\bc\tx\r\n");
}

TEST(WSocket, ListenChecksAndSocksSettings)
{
    TWSocket s;
    s.setAddr("127.0.0.1");
    EXPECT_EQ(messageOf([&] { s.Listen(); }), "listen: port not assigned");
    EXPECT_EQ(s.LastError(), 10022);
    EXPECT_EQ(messageOf([&] { s.setSocksLevel("6"); }), "Invalid socks level. Must be 4, 4A or 5.");
    s.setSocksLevel("4A");
    s.setSocksServer("127.0.0.1");
    s.setPort("80");
    EXPECT_EQ(messageOf([&] { s.Listen(); }), "listening is not supported thru socks server");
    s.setProto("udp");
    EXPECT_EQ(messageOf([&] { s.Connect(); }),
              "tcp is the only protocol supported thru socks server");
}

TEST(WSocket, FailingSystemFunctionIsReportedWithItsName)
{
    auto& lib = platform::SocketLibrary::instance();
    using ConnectFn = int (*)(int, const sockaddr*, socklen_t);
    static const ConnectFn failing = [](int, const sockaddr*, socklen_t) {
        errno = EADDRNOTAVAIL;
        return -1;
    };
    TWSocket s;
    lib.setOverride(platform::SocketLibrary::fnConnect, reinterpret_cast<void*>(failing));
    s.setAddr("127.0.0.1");
    s.setPort("80");
    const std::string message = messageOf([&] { s.Connect(); });
    lib.clearTestHooks();
    EXPECT_EQ(message, "Error 10049 in function Connect\r\nAddress not available");
    EXPECT_EQ(s.LastError(), 10049);
}

TEST(WSocket, WaitUntilTimesOut)
{
    TWSocket s;
    s.setTimeout(50);
    bool never = false;
    EXPECT_EQ(s.WaitUntilReady(never), TCustomSyncWSocket::kWaitTimeout);
    bool soon = false;
    QTimer::singleShot(10, [&] { soon = true; });
    s.setTimeout(0);
    EXPECT_EQ(s.WaitUntilReady(soon), 0);
}

} // namespace
