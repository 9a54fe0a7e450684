// Datagrams, pausing, reverse lookups and connections through SOCKS.
#include "net/wsocket.h"
#include "net_test_support.h"

#include <gtest/gtest.h>
#include <QProcess>
#include <QRegularExpression>

using nettest::LoopbackServer;
using nettest::Reply;
using nettest::waitUntil;

namespace {

TEST(WSocketUdp, DatagramSocketsConnectAtOnceAndExchange)
{
    TWSocket server;
    int serverConnected = 0;
    std::string received;
    server.setProto("udp");
    server.setAddr("127.0.0.1");
    server.setPort("0");
    server.OnSessionConnected = [&](TCustomWSocket*, uint16_t e) { serverConnected += e == 0; };
    server.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[100];
        sockaddr_in from{};
        const int n = s->ReceiveFrom(buf, sizeof buf, from);
        if (n > 0)
            received.append(buf, n);
    };
    server.Listen();
    EXPECT_EQ(server.State(), wsConnected);
    EXPECT_EQ(serverConnected, 1);

    TWSocket client;
    int clientConnected = 0;
    client.setProto("udp");
    client.setAddr("127.0.0.1");
    client.setPort(server.GetXPort());
    client.OnSessionConnected = [&](TCustomWSocket*, uint16_t e) { clientConnected += e == 0; };
    client.Connect();
    EXPECT_EQ(clientConnected, 1); // at once, inside Connect
    client.SendStr("ping");
    ASSERT_TRUE(waitUntil([&] { return received == "ping"; }));
}

TEST(WSocket, PausedSocketHoldsItsEventsUntilResumed)
{
    LoopbackServer server([](const std::string&, int) { return Reply{"answer", true}; });
    TWSocket s;
    std::string received;
    s.OnSessionConnected = [](TCustomWSocket* c, uint16_t) {
        c->SendStr("question\r\n\r\n");
        c->Pause();
    };
    s.OnDataAvailable = [&](TCustomWSocket* c, uint16_t) { received += c->ReceiveStr(); };
    s.setAddr("127.0.0.1");
    s.setPort(std::to_string(server.port()));
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    waitUntil([&] { return server.requests().size() == 1; });
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(received, "");
    s.Resume();
    ASSERT_TRUE(waitUntil([&] { return received == "answer"; }));
}

TEST(WSocket, ReverseLookupFindsTheName)
{
    TWSocket s;
    int done = -1;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { done = e; };
    s.ReverseDnsLookup("127.0.0.1");
    ASSERT_TRUE(waitUntil([&] { return done != -1; }));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "localhost");
    EXPECT_EQ(s.DnsResultList().size(), 1u);
}

// A SOCKS 4/4A/5 server in python3, started for one test. It reports every
// request it receives as "CONNECT VERSION HOST PORT USER".
class SocksServer {
public:
    SocksServer(const std::string& user, const std::string& password)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start("/usr/bin/python3",
                        {"-u", QUORVANE_SOCKS_SERVER, QString::fromStdString(user),
                         QString::fromStdString(password)});
        static const QRegularExpression ready("port (\\d+)");
        waitUntil([&] {
            m_output += m_process.readAll();
            return ready.match(QString::fromUtf8(m_output)).hasMatch() ||
                   m_process.state() == QProcess::NotRunning;
        });
        const auto m = ready.match(QString::fromUtf8(m_output));
        if (m.hasMatch())
            m_port = m.captured(1).toStdString();
    }
    ~SocksServer()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    const std::string& port() const { return m_port; }

    // Waits for the next request line the server reports; empty on timeout.
    std::string nextRequest()
    {
        std::string line;
        waitUntil([&] {
            m_output += m_process.readAll();
            const qsizetype at = m_output.indexOf("CONNECT ");
            const qsizetype end = at < 0 ? -1 : m_output.indexOf('\n', at);
            if (end < 0)
                return false;
            line = m_output.mid(at, end - at).trimmed().toStdString();
            m_output.remove(0, end + 1);
            return true;
        });
        return line;
    }

private:
    QProcess m_process;
    QByteArray m_output;
    std::string m_port;
};

// Records the events of one session through a SOCKS server: the handshake's
// outcome, the connection, the data that comes back for "hi" and the close.
void recordSessionThroughSocks(TWSocket& s, std::vector<std::string>& events)
{
    s.OnSocksConnected = [&events](TCustomWSocket*, uint16_t) {
        events.push_back("socks connected");
    };
    s.OnSocksError = [&events](TCustomWSocket*, int e, const std::string&) {
        events.push_back("socks error " + std::to_string(e));
    };
    s.OnSessionConnected = [&events](TCustomWSocket* sock, uint16_t e) {
        events.push_back("connected " + std::to_string(e));
        if (e == 0)
            sock->SendStr("hi\r\n\r\n");
    };
    s.OnDataAvailable = [&events](TCustomWSocket* sock, uint16_t) {
        const std::string data = sock->ReceiveStr();
        if (!data.empty())
            events.push_back("data " + data);
    };
    s.OnSessionClosed = [&events](TCustomWSocket*, uint16_t) { events.push_back("closed"); };
}

TEST(WSocketSocks, HandshakeThenDataAndRefusedCredentials)
{
    LoopbackServer target([](const std::string& request, int) {
        return Reply{"through:" + request, false};
    });
    SocksServer socks("agent", "s3cret");
    ASSERT_FALSE(socks.port().empty());
    struct Case {
        std::string password;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"s3cret", {"socks connected", "connected 0", "data through:hi\r\n\r\n", "closed"}},
        {"wrong", {"socks error 20005", "connected 20005", "closed"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        TWSocket s;
        std::vector<std::string> events;
        s.setSocksServer("127.0.0.1");
        s.setSocksPort(socks.port());
        s.setSocksAuthentication(socksAuthenticateUsercode);
        s.setSocksUsercode("agent");
        s.setSocksPassword(c.password);
        recordSessionThroughSocks(s, events);
        s.setAddr("127.0.0.1");
        s.setPort(std::to_string(target.port()));
        s.Connect();
        ASSERT_TRUE(waitUntil([&] { return !events.empty() && events.back() == "closed"; }));
        EXPECT_EQ(events, c.events);
    }
}

TEST(WSocketSocks, Socks4And4AAnd5WithoutAuthentication)
{
    LoopbackServer target([](const std::string& request, int) {
        return Reply{"through:" + request, false};
    });
    SocksServer socks("-", "-");
    ASSERT_FALSE(socks.port().empty());
    const std::string port = std::to_string(target.port());
    const std::string refusedPort = "1"; // the server rejects requests for it
    const std::vector<std::string> through{"socks connected", "connected 0",
                                           "data through:hi\r\n\r\n", "closed"};
    const std::vector<std::string> rejected{"socks error 20004", "connected 20004", "closed"};
    struct Case {
        std::string level;
        std::string addr;
        std::string usercode;
        std::string port;
        std::vector<std::string> events;
        std::string request; // as the server saw it
    };
    const Case cases[] = {
        // SOCKS 4 carries an address: a name is resolved by the client.
        {"4", "127.0.0.1", "agent", port, through, "CONNECT 4 127.0.0.1 " + port + " agent"},
        {"4", "localhost", "", port, through, "CONNECT 4 127.0.0.1 " + port + " -"},
        // SOCKS 4A hands the name to the server.
        {"4A", "localhost", "agent", port, through, "CONNECT 4A localhost " + port + " agent"},
        {"4A", "127.0.0.1", "", port, through, "CONNECT 4 127.0.0.1 " + port + " -"},
        {"5", "127.0.0.1", "", port, through, "CONNECT 5 127.0.0.1 " + port + " -"},
        {"5", "localhost", "", port, through, "CONNECT 5 localhost " + port + " -"},
        {"4", "127.0.0.1", "", refusedPort, rejected, "CONNECT 4 127.0.0.1 1 -"},
        {"5", "127.0.0.1", "", refusedPort, rejected, "CONNECT 5 127.0.0.1 1 -"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("SOCKS " + c.level + " to " + c.addr + ":" + c.port);
        TWSocket s;
        std::vector<std::string> events;
        std::vector<TSocksAuthState> authStates;
        s.setSocksServer("127.0.0.1");
        s.setSocksPort(socks.port());
        s.setSocksLevel(c.level);
        s.setSocksUsercode(c.usercode);
        recordSessionThroughSocks(s, events);
        s.OnSocksAuthState = [&](TCustomWSocket*, TSocksAuthState state) {
            authStates.push_back(state);
        };
        s.setAddr(c.addr);
        s.setPort(c.port);
        s.Connect();
        ASSERT_TRUE(waitUntil([&] { return !events.empty() && events.back() == "closed"; }));
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(socks.nextRequest(), c.request);
        // Only SOCKS 5 negotiates authentication; this server asks for none.
        EXPECT_EQ(authStates, c.level == "5" ? std::vector<TSocksAuthState>{socksAuthNotRequired}
                                             : std::vector<TSocksAuthState>{});
    }
}

} // namespace
