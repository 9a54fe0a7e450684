#include "net/wsocket.h"
#include "platform/socket_library.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

using platform::SocketLibrary;

class SocketLibraryTest : public testing::Test {
protected:
    void TearDown() override { SocketLibrary::instance().clearTestHooks(); }
    SocketLibrary& lib = SocketLibrary::instance();
};

int failingStartup()
{
    return 5;
}

int protocolLookups = 0;
protoent* countingGetProtoByName(const char* name)
{
    ++protocolLookups;
    return ::getprotobyname(name);
}

TEST_F(SocketLibraryTest, ReleasedWhenTheLastSocketDiesAndBoundAgain)
{
    ASSERT_EQ(lib.users(), 0);
    {
        TWSocket a;
        TWSocket b;
        EXPECT_EQ(lib.users(), 2);
        a.DnsLookup("127.0.0.1");
        EXPECT_TRUE(lib.isLoaded());
    }
    EXPECT_EQ(lib.users(), 0);
    EXPECT_FALSE(lib.isLoaded());
    const int loads = lib.loadCount();
    {
        TWSocket c;
        EXPECT_FALSE(lib.isLoaded()); // bound on first use, not at construction
        c.DnsLookup("127.0.0.1");
        EXPECT_EQ(c.DnsResult(), "127.0.0.1");
    }
    EXPECT_EQ(lib.loadCount(), loads + 1);
}

TEST_F(SocketLibraryTest, LoadFailuresRaiseTheirTexts)
{
    struct Case {
        std::function<void()> arrange;
        std::string message;
    };
    const Case cases[] = {
        {[&] { lib.setLibraryName("libquorvane-nothing.so"); },
         "Unable to load libquorvane-nothing.so Error #" + std::to_string(ENOENT)},
        {[&] {
             lib.setOverride(SocketLibrary::fnStartup, reinterpret_cast<void*>(&failingStartup));
         },
         "libc.so.6: WSAStartup error #5"},
        {[&] { lib.setHidden(SocketLibrary::fnInetAddr, true); },
         "Procedure inet_addr not found in libc.so.6 Error #" + std::to_string(ENOSYS)}};
    for (const Case& c : cases) {
        lib.release();
        c.arrange();
        TWSocket s;
        try {
            s.DnsLookup("10.0.0.1");
            ADD_FAILURE() << "no exception for: " << c.message;
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.message(), c.message);
        }
        lib.clearTestHooks();
    }
}

TEST_F(SocketLibraryTest, ProtocolNumbersAreLookedUpOnceAndKeptAcrossReleases)
{
    lib.setOverride(SocketLibrary::fnGetProtoByName,
                    reinterpret_cast<void*>(&countingGetProtoByName));
    protocolLookups = 0;
    EXPECT_EQ(lib.protocolNumber("tcp"), IPPROTO_TCP);
    EXPECT_EQ(lib.protocolNumber("udp"), IPPROTO_UDP);
    lib.release();
    EXPECT_EQ(lib.protocolNumber("tcp"), IPPROTO_TCP);
    EXPECT_EQ(lib.protocolNumber("no-such-protocol"), -1);
    EXPECT_EQ(lib.protocolNumber("no-such-protocol"), -1);
    // An unknown name is asked again: only numbers found are kept.
    EXPECT_EQ(protocolLookups, 4);
}

} // namespace
