#pragma once

// Shared by the files of TCustomWSocket (custom_wsocket*.cpp) and by nothing
// else: small address and number helpers, the notification masks and the
// name lookup's worker state.

#include "base/ascii.h"
#include "net/custom_wsocket.h"
#include "net/hidden_window.h"
#include "net/tls_context.h"
#include "platform/message_wait.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <sys/ioctl.h>
#include <system_error>
#include <thread>
#include <unistd.h>
namespace wsocket_detail {

// How often a socket whose handler left data unread checks for the peer
// hanging up.
inline constexpr int kStallCheckMs = 100;

inline constexpr int kAllEvents = TCustomWSocket::FD_READ | TCustomWSocket::FD_WRITE |
                                  TCustomWSocket::FD_ACCEPT | TCustomWSocket::FD_CONNECT |
                                  TCustomWSocket::FD_CLOSE; // 59
inline constexpr int kResumeEvents = TCustomWSocket::FD_READ | TCustomWSocket::FD_WRITE |
                                     TCustomWSocket::FD_CONNECT | TCustomWSocket::FD_CLOSE; // 51
inline constexpr int kListenEvents = TCustomWSocket::FD_READ | TCustomWSocket::FD_WRITE |
                                     TCustomWSocket::FD_ACCEPT | TCustomWSocket::FD_CLOSE; // 43

inline bool startsWithDigit(const std::string& s)
{
    return !s.empty() && std::isdigit(static_cast<unsigned char>(s[0]));
}

// Reads a decimal number from the leading digits; reading stops at the first
// character that is not a digit.
inline long leadingNumber(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    long value = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        value = (value * 10 + (s[i] - '0')) % 100000;
    return value;
}

inline std::string dotted(in_addr_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// The text of an IPv4 or IPv6 socket address (no port).
inline std::string addressText(const sockaddr* sa)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (sa->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, text,
                  sizeof text);
    else if (sa->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
    return text;
}

inline uint16_t portOf(const sockaddr_storage& sa)
{
    return sa.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(sa).sin6_port
                                    : reinterpret_cast<const sockaddr_in&>(sa).sin_port;
}

inline void setAddressPort(sockaddr_storage& sa, uint16_t port)
{
    if (sa.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(sa).sin6_port = port;
    else
        reinterpret_cast<sockaddr_in&>(sa).sin_port = port;
}

inline socklen_t lengthOf(const sockaddr_storage& sa)
{
    return sa.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// An IPv6 literal ("::1", also written "[::1]"); false for anything else.
inline bool parseIpv6(const std::string& text, sockaddr_storage& sa)
{
    std::string t = text;
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']')
        t = t.substr(1, t.size() - 2);
    if (t.find(':') == std::string::npos)
        return false;
    sockaddr_in6 a{};
    if (inet_pton(AF_INET6, t.c_str(), &a.sin6_addr) != 1)
        return false;
    a.sin6_family = AF_INET6;
    sa = {};
    std::memcpy(&sa, &a, sizeof a);
    return true;
}

inline sockaddr_storage ipv4Address(in_addr_t address)
{
    sockaddr_storage sa{};
    auto& a = reinterpret_cast<sockaddr_in&>(sa);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    return sa;
}

// The addresses of a name in one family or both (AF_UNSPEC), through the
// function table; raises when there are none. `shown` is the name as given.
inline addrinfo* lookupName(platform::SocketLibrary& lib, const std::string& name, int family,
                            const std::string& shown)
{
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (name.empty() || lib.getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || !result)
        throw ESocketException("WSocketResolveHost: Cannot convert host address '" + shown + "'");
    return result;
}

// Connect errors that a non-blocking connect on Windows Sockets
// reports later, with the connect notification, rather than from the call.
inline bool isDeferredConnectError(int code)
{
    return code == wsock::WSAECONNREFUSED || code == wsock::WSAENETUNREACH ||
           code == wsock::WSAEHOSTUNREACH || code == wsock::WSAETIMEDOUT ||
           code == wsock::WSAECONNRESET;
}

inline qintptr notifyParam(int bits, int error)
{
    return static_cast<qintptr>((static_cast<uint32_t>(error & 0xFFFF) << 16) | (bits & 0xFFFF));
}

inline int lastErrno()
{
    return wsock::errorFromErrno(errno);
}

} // namespace wsocket_detail

// One name lookup running on a worker thread. The worker posts its result
// to the target window under the mutex; cancelling clears the target under
// the same mutex, so a cancelled or destroyed socket never hears from it.
struct TCustomWSocket::LookupJob {
    std::mutex mutex;
    HiddenWindow* target = nullptr;
    int handle = 0;
    int message = 0;
    std::vector<std::string> results;
};
