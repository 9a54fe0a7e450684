#include "net/socket_error.h"
#include "net/wsocket.h"
#include "net_test_support.h"
#include "tls_fixture.h"

#include <gtest/gtest.h>

using nettest::ScopedCaFile;
using nettest::TlsFixture;
using nettest::waitUntil;

namespace {

// A client socket that connects to a loopback peer, starts TLS once
// connected and records what it hears.
struct TlsClient {
    TWSocket socket;
    int tlsDone = -1;
    int tlsDoneCount = 0;
    int closed = -1;
    int closedCount = 0;
    std::string received;
    // Sent once the handshake has completed, or with sendEarly right after
    // StartTls (it must wait in the queue until the handshake is done).
    std::string command;
    bool sendEarly = false;

    TlsClient(const std::string& addr, uint16_t port, const std::string& serverName)
    {
        socket.setAddr(addr);
        socket.setPort(std::to_string(port));
        socket.OnSessionConnected = [this, serverName](TCustomWSocket* s, uint16_t e) {
            if (e != 0)
                return;
            s->StartTls(serverName);
            if (sendEarly)
                s->SendStr(command);
        };
        socket.OnTlsDone = [this](TCustomWSocket* s, uint16_t e) {
            tlsDone = e;
            ++tlsDoneCount;
            if (e == 0 && !command.empty() && !sendEarly)
                s->SendStr(command);
        };
        socket.OnDataAvailable = [this](TCustomWSocket* s, uint16_t) {
            char buf[8192];
            const int n = s->Receive(buf, sizeof buf);
            if (n > 0)
                received.append(buf, static_cast<size_t>(n));
        };
        socket.OnSessionClosed = [this](TCustomWSocket*, uint16_t e) {
            closed = e;
            ++closedCount;
        };
    }
    void connect() { socket.Connect(); }
};

class WSocketTls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fixture().ready()) << fixture().error(); }
    static TlsFixture& fixture() { return TlsFixture::instance(); }
    static uint16_t port(TlsFixture::Peer p) { return fixture().port(p); }
};

TEST_F(WSocketTls, HandshakeThenExactBytesBothWays)
{
    ScopedCaFile ca(fixture().caFile());
    // A DNS name, an IPv4 and an IPv6 literal are each checked against the
    // certificate's names.
    const struct {
        const char* addr;
        TlsFixture::Peer peer;
        const char* name;
        bool sendEarly;
    } cases[] = {{"127.0.0.1", TlsFixture::Good, "localhost", false},
                 {"127.0.0.1", TlsFixture::Good, "localhost", true},
                 {"127.0.0.1", TlsFixture::Good, "127.0.0.1", false},
                 {"::1", TlsFixture::Good6, "::1", false},
                 {"::1", TlsFixture::Good6, "[::1]", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.addr) + " as " + c.name + (c.sendEarly ? ", sent early" : ""));
        TlsClient client(c.addr, port(c.peer), c.name);
        const std::string text = "binary \x01\x02\xff and text";
        client.command = "ECHO " + text + "\n";
        client.sendEarly = c.sendEarly;
        client.connect();
        ASSERT_TRUE(waitUntil([&] { return client.received.size() >= text.size(); }));
        EXPECT_EQ(client.tlsDone, 0);
        EXPECT_TRUE(client.socket.TlsActive());
        EXPECT_EQ(client.received, text);
        EXPECT_EQ(client.socket.ReadCount(), static_cast<int32_t>(text.size()));
        client.socket.Close();
        EXPECT_EQ(client.closed, 0);
        EXPECT_FALSE(client.socket.TlsActive());
        EXPECT_EQ(client.tlsDoneCount, 1);
    }
}

TEST_F(WSocketTls, VerificationFailuresEndWithTheirCodeAndText)
{
    const struct {
        bool trusted;
        TlsFixture::Peer peer;
        const char* name;
        int code;
        const char* text;
    } cases[] = {
        {false, TlsFixture::Good, "localhost", 21002, "Certificate not trusted"},
        {true, TlsFixture::WrongName, "localhost", 21003, "Certificate name mismatch"},
        {true, TlsFixture::Good, "127.0.0.2", 21003, "Certificate name mismatch"},
        {true, TlsFixture::Good, "other.localhost", 21003, "Certificate name mismatch"},
        {true, TlsFixture::Expired, "localhost", 21004, "Certificate expired"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " expecting " + c.text);
        ScopedCaFile ca(c.trusted ? fixture().caFile() : "");
        TlsClient client("127.0.0.1", port(c.peer), c.name);
        client.command = "ECHO never\n";
        client.connect();
        ASSERT_TRUE(waitUntil([&] { return client.closedCount > 0; }));
        nettest::drainEvents();
        EXPECT_EQ(client.tlsDone, c.code);
        EXPECT_EQ(client.tlsDoneCount, 1);
        EXPECT_EQ(SocketErrorDesc(client.tlsDone), c.text);
        // The close that follows carries the same failure, never success.
        EXPECT_EQ(client.closed, c.code);
        EXPECT_EQ(client.closedCount, 1);
        EXPECT_EQ(client.socket.State(), wsClosed);
        EXPECT_TRUE(client.received.empty());
    }
}

TEST_F(WSocketTls, ResetDuringTheHandshakeIsReportedOnce)
{
    ScopedCaFile ca(fixture().caFile());
    TlsClient client("127.0.0.1", port(TlsFixture::Reset), "localhost");
    client.connect();
    ASSERT_TRUE(waitUntil([&] { return client.closedCount > 0; }));
    nettest::drainEvents();
    EXPECT_EQ(client.tlsDone, wsock::WSAECONNRESET);
    EXPECT_EQ(client.tlsDoneCount, 1);
    EXPECT_EQ(client.closed, wsock::WSAECONNRESET);
    EXPECT_EQ(client.closedCount, 1);
}

TEST_F(WSocketTls, LargeAnswerIsReadCompletely)
{
    ScopedCaFile ca(fixture().caFile());
    constexpr int kSize = 6 * 1024 * 1024 + 123;
    TlsClient client("127.0.0.1", port(TlsFixture::Good), "localhost");
    client.command = "BIG " + std::to_string(kSize) + "\n";
    // Small reads leave decrypted bytes inside TLS after every call: each
    // must still be delivered without waiting for more from the network.
    client.socket.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[1000];
        const int n = s->Receive(buf, sizeof buf);
        if (n > 0)
            client.received.append(buf, static_cast<size_t>(n));
    };
    client.received.reserve(kSize);
    client.connect();
    ASSERT_TRUE(waitUntil([&] { return client.closedCount > 0; }, 60000));
    EXPECT_EQ(client.closed, 0);
    ASSERT_EQ(client.received.size(), static_cast<size_t>(kSize));
    bool pattern = true;
    for (int i = 0; i < kSize && pattern; i += 4099)
        pattern = static_cast<unsigned char>(client.received[i]) == i % 251;
    EXPECT_TRUE(pattern);
}

TEST_F(WSocketTls, ResumeDeliversBytesAlreadyInsideTls)
{
    ScopedCaFile ca(fixture().caFile());
    TlsClient client("127.0.0.1", port(TlsFixture::Good), "localhost");
    client.command = "ECHO abcdef\n";
    // One byte per call, pausing after the first: the other five are
    // decrypted or read ahead already, and the peer sends nothing more.
    client.socket.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char c = 0;
        if (s->Receive(&c, 1) == 1)
            client.received += c;
        if (client.received.size() == 1)
            s->Pause();
    };
    client.connect();
    ASSERT_TRUE(waitUntil([&] { return !client.received.empty(); }));
    nettest::drainEvents();
    EXPECT_EQ(client.received, "a");
    client.socket.Resume();
    ASSERT_TRUE(waitUntil([&] { return client.received.size() == 6; }));
    EXPECT_EQ(client.received, "abcdef");
}

TEST_F(WSocketTls, OrderlyCloseBothWays)
{
    ScopedCaFile ca(fixture().caFile());
    {
        // The server ends with close_notify.
        TlsClient client("127.0.0.1", port(TlsFixture::Good), "localhost");
        client.command = "CLOSE\n";
        client.connect();
        ASSERT_TRUE(waitUntil([&] { return client.closedCount > 0; }));
        EXPECT_EQ(client.closed, 0);
        EXPECT_EQ(client.received, "bye");
    }
    {
        // The client ends with close_notify.
        TlsClient client("127.0.0.1", port(TlsFixture::Good), "localhost");
        client.command = "HOLD client-close\n";
        client.socket.OnDataSent = [](TCustomWSocket* s, uint16_t) { s->Close(); };
        client.connect();
        ASSERT_TRUE(waitUntil([&] { return client.closedCount > 0; }));
        EXPECT_EQ(client.closed, 0);
        ASSERT_TRUE(
            waitUntil([&] { return fixture().log().find("client-close ") != std::string::npos; }));
        EXPECT_NE(fixture().log().find("client-close clean"), std::string::npos);
    }
}

TEST_F(WSocketTls, EndsWithoutCloseNotifyWithAResetOrWithABadRecord)
{
    ScopedCaFile ca(fixture().caFile());
    const struct {
        const char* command;
        const char* received;
        int closed;
    } cases[] = {{"RAGGED\n", "bye", 0},
                 {"RESET\n", "", wsock::WSAECONNRESET},
                 {"GARBAGE\n", "", wsock::kTlsConnectionFailed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        TlsClient client("127.0.0.1", port(TlsFixture::Good), "localhost");
        client.command = c.command;
        client.connect();
        ASSERT_TRUE(waitUntil([&] { return client.closedCount > 0; }));
        nettest::drainEvents();
        EXPECT_EQ(client.tlsDone, 0);
        EXPECT_EQ(client.received, c.received);
        EXPECT_EQ(client.closed, c.closed);
        EXPECT_EQ(client.closedCount, 1);
    }
}

TEST_F(WSocketTls, RepeatedConnectionsResumeTheSession)
{
    ScopedCaFile ca(fixture().caFile());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TlsClient client("127.0.0.1", port(TlsFixture::Good), "localhost");
        client.command = "CLOSE\n";
        client.connect();
        ASSERT_TRUE(waitUntil([&] { return client.closedCount > 0; }));
        EXPECT_EQ(client.tlsDone, 0);
        // The first connection may have to make a session (earlier tests may
        // have made one already); the later ones resume it.
        if (i > 0) {
            EXPECT_TRUE(client.socket.TlsSessionReused());
        }
    }
}

TEST_F(WSocketTls, StartTlsOnASocketThatIsNotConnectedRaises)
{
    TWSocket s;
    EXPECT_THROW(s.StartTls("localhost"), ESocketException);
    int errors = 0;
    s.OnError = [&](TCustomWSocket*) { ++errors; };
    s.StartTls("localhost");
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(s.TlsActive());
}

} // namespace
