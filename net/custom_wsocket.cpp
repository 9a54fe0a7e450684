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

namespace {

// How often a socket whose handler left data unread checks for the peer
// hanging up.
constexpr int kStallCheckMs = 100;

constexpr int kAllEvents = TCustomWSocket::FD_READ | TCustomWSocket::FD_WRITE |
                           TCustomWSocket::FD_ACCEPT | TCustomWSocket::FD_CONNECT |
                           TCustomWSocket::FD_CLOSE; // 59
constexpr int kResumeEvents = TCustomWSocket::FD_READ | TCustomWSocket::FD_WRITE |
                              TCustomWSocket::FD_CONNECT | TCustomWSocket::FD_CLOSE; // 51
constexpr int kListenEvents = TCustomWSocket::FD_READ | TCustomWSocket::FD_WRITE |
                              TCustomWSocket::FD_ACCEPT | TCustomWSocket::FD_CLOSE; // 43

std::string trim(const std::string& s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

bool startsWithDigit(const std::string& s)
{
    return !s.empty() && std::isdigit(static_cast<unsigned char>(s[0]));
}

// Reads a decimal number from the leading digits; reading stops at the first
// character that is not a digit.
long leadingNumber(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    long value = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        value = (value * 10 + (s[i] - '0')) % 100000;
    return value;
}

std::string dotted(in_addr_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// The text of an IPv4 or IPv6 socket address (no port).
std::string addressText(const sockaddr* sa)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (sa->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, text,
                  sizeof text);
    else if (sa->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
    return text;
}

uint16_t portOf(const sockaddr_storage& sa)
{
    return sa.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(sa).sin6_port
                                    : reinterpret_cast<const sockaddr_in&>(sa).sin_port;
}

void setAddressPort(sockaddr_storage& sa, uint16_t port)
{
    if (sa.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(sa).sin6_port = port;
    else
        reinterpret_cast<sockaddr_in&>(sa).sin_port = port;
}

socklen_t lengthOf(const sockaddr_storage& sa)
{
    return sa.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// An IPv6 literal ("::1", also written "[::1]"); false for anything else.
bool parseIpv6(const std::string& text, sockaddr_storage& sa)
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

sockaddr_storage ipv4Address(in_addr_t address)
{
    sockaddr_storage sa{};
    auto& a = reinterpret_cast<sockaddr_in&>(sa);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    return sa;
}

// The addresses of a name in one family or both (AF_UNSPEC), through the
// function table; raises when there are none. `shown` is the name as given.
addrinfo* lookupName(platform::SocketLibrary& lib, const std::string& name, int family,
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
bool isDeferredConnectError(int code)
{
    return code == wsock::WSAECONNREFUSED || code == wsock::WSAENETUNREACH ||
           code == wsock::WSAEHOSTUNREACH || code == wsock::WSAETIMEDOUT ||
           code == wsock::WSAECONNRESET;
}

qintptr notifyParam(int bits, int error)
{
    return static_cast<qintptr>((static_cast<uint32_t>(error & 0xFFFF) << 16) | (bits & 0xFFFF));
}

int lastErrno()
{
    return wsock::errorFromErrno(errno);
}

} // namespace

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

TCustomWSocket::TCustomWSocket() : m_lib(platform::SocketLibrary::instance())
{
    m_lib.addUser();
    m_window = new HiddenWindow([this](const platform::PostedMessage& m) {
        try {
            HandleMessage(m);
        } catch (const std::exception& e) {
            BgException(e);
        }
    });
    m_stallTimer.setInterval(kStallCheckMs);
    QObject::connect(&m_stallTimer, &QTimer::timeout, m_window, [this] { onStallCheck(); });
    SetDefaults();
}

TCustomWSocket::~TCustomWSocket()
{
    m_destroying = true;
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    try {
        if (m_state != wsClosed || m_handle != INVALID_SOCKET)
            InternalClose(true, 0);
    } catch (...) {
    }
    DetachNotifiers();
    // The socket may die inside a notifier's own activation: the notifiers
    // go when the loop is back in control.
    if (m_readNotifier)
        m_readNotifier.release()->deleteLater();
    if (m_writeNotifier)
        m_writeNotifier.release()->deleteLater();
    ReleaseTls(false);
    if (m_handle != INVALID_SOCKET)
        ::close(m_handle);
    m_stallTimer.stop();
    HiddenWindow::release(m_window);
    m_lib.removeUser();
}

// ---------------------------------------------------------------- properties

bool TCustomWSocket::AssignOrCheckClosed(std::string& field, const std::string& value,
                                         const char* name, bool& resolved, bool sameValueIgnored)
{
    const std::string v = trim(value);
    if (sameValueIgnored && v == field)
        return false;
    if (m_state != wsClosed) {
        RaiseException(std::string("Cannot change ") + name + " if not closed");
        return false;
    }
    field = v;
    resolved = false;
    return true;
}

void TCustomWSocket::setAddr(const std::string& value)
{
    AssignOrCheckClosed(m_addr, value, "Addr", m_addrResolved, true);
}

void TCustomWSocket::setPort(const std::string& value)
{
    AssignOrCheckClosed(m_port, value, "Port", m_portResolved, true);
}

void TCustomWSocket::setProto(const std::string& value)
{
    AssignOrCheckClosed(m_proto, value, "Proto", m_protoResolved, true);
}

void TCustomWSocket::setLocalPort(const std::string& value)
{
    AssignOrCheckClosed(m_localPort, value, "LocalPort", m_localPortResolved, false);
}

TSocketSendFlags TCustomWSocket::SendFlags() const
{
    if (m_sendFlags != wsSendNormal && m_sendFlags != wsSendUrgent) {
        const_cast<TCustomWSocket*>(this)->RaiseException("Invalid internal SendFlags");
        return wsSendNormal;
    }
    return static_cast<TSocketSendFlags>(m_sendFlags);
}

void TCustomWSocket::setSendFlags(int value)
{
    if (value != wsSendNormal && value != wsSendUrgent) {
        RaiseException("Invalid SendFlags");
        return;
    }
    m_sendFlags = value;
}

int32_t TCustomWSocket::RcvdCount()
{
    if (m_handle == INVALID_SOCKET)
        return 0;
    if (TlsActive())
        return TlsPending();
    int count = 0;
    if (m_lib.ioctl(m_handle, FIONREAD, &count) < 0) {
        SocketError("ioctlSocket", lastErrno());
        return -1;
    }
    return count;
}

// ------------------------------------------------------------ error reports

void TCustomWSocket::RaiseException(const std::string& message)
{
    if (OnError && !m_destroying) {
        OnError(this);
        return;
    }
    throw ESocketException(message);
}

void TCustomWSocket::SocketError(const std::string& function, int code)
{
    if (code == 0)
        code = lastErrno();
    m_lastError = code;
    if (code == wsock::WSAECONNRESET || code == wsock::WSAENOTCONN) {
        // The session is gone: drop the handle quietly, without a close event.
        ReleaseTls(false);
        DetachNotifiers();
        if (m_handle != INVALID_SOCKET)
            m_lib.close(m_handle);
        m_handle = INVALID_SOCKET;
        ChangeState(wsClosed);
    }
    RaiseException("Error " + std::to_string(code) + " in function " + function + "\r\n" +
                   SocketErrorDesc(code));
}

void TCustomWSocket::BgException(const std::exception& e)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, e, canClose);
        } catch (...) {
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

void TCustomWSocket::ChangeState(TSocketState newState)
{
    const TSocketState old = m_state;
    m_state = newState;
    // A socket being destroyed reports nothing: its owner may be half gone.
    if (OnChangeState && !m_destroying)
        OnChangeState(this, old, newState);
}

void TCustomWSocket::SetDefaults()
{
    m_addr.clear();
    m_port.clear();
    m_proto = "tcp";
    m_localPort = "0";
    m_addrResolved = m_portResolved = m_protoResolved = m_localPortResolved = false;
    m_lingerOnOff = wsLingerOn;
    m_lingerTimeout = 0;
    m_state = wsClosed;
    m_readCount = 0;
    m_flushTimeout = kDefaultFlushTimeout;
    m_allSent = true;
    m_paused = false;
    m_closeEventFired = false;
}

// ------------------------------------------------------- name resolution

in_addr_t TCustomWSocket::WSocketResolveHost(const std::string& host)
{
    if (host.empty() || host.size() > kMaxHostLength)
        throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
    const std::string h = trim(host);
    if (startsWithDigit(h)) {
        const in_addr_t a = m_lib.inet_addr(h.c_str());
        if (a == INADDR_NONE && h != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
        return a;
    }
    addrinfo* result = lookupName(m_lib, h, AF_INET, host);
    const in_addr_t a = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    m_lib.freeaddrinfo(result);
    return a;
}

std::vector<sockaddr_storage> TCustomWSocket::ResolveAddresses(const std::string& host)
{
    std::vector<sockaddr_storage> list;
    sockaddr_storage sa{};
    const std::string h = trim(host);
    if (parseIpv6(h, sa)) {
        list.push_back(sa);
        return list;
    }
    // Results of this socket's last lookup, first one in Addr: the others
    // are the fall-backs.
    if (!m_dnsResultList.empty() && h == m_dnsResultList.front()) {
        for (const std::string& text : m_dnsResultList) {
            if (parseIpv6(text, sa))
                list.push_back(sa);
            else if (const in_addr_t a = m_lib.inet_addr(text.c_str()); a != INADDR_NONE)
                list.push_back(ipv4Address(a));
        }
        if (!list.empty())
            return list;
    }
    if (startsWithDigit(h) || host.empty() || host.size() > kMaxHostLength) {
        list.push_back(ipv4Address(WSocketResolveHost(host)));
        return list;
    }
    addrinfo* result = lookupName(m_lib, h, AF_UNSPEC, host);
    for (addrinfo* p = result; p; p = p->ai_next) {
        if ((p->ai_family != AF_INET && p->ai_family != AF_INET6) ||
            p->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        sa = {};
        std::memcpy(&sa, p->ai_addr, p->ai_addrlen);
        list.push_back(sa);
    }
    m_lib.freeaddrinfo(result);
    if (list.empty())
        throw ESocketException("WSocketResolveHost: Cannot convert host address '" + host + "'");
    return list;
}

uint16_t TCustomWSocket::WSocketResolvePort(const std::string& port, const std::string& proto)
{
    if (port.empty() || port.size() >= kMaxPortLength)
        throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (startsWithDigit(port))
        return m_lib.hostToNet16(static_cast<uint16_t>(leadingNumber(port)));
    servent* s = m_lib.getservbyname(port.c_str(), proto.empty() ? nullptr : proto.c_str());
    if (!s)
        throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "'");
    return static_cast<uint16_t>(s->s_port);
}

int TCustomWSocket::WSocketResolveProto(const std::string& proto)
{
    if (proto.empty() || proto.size() >= kMaxPortLength)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (startsWithDigit(proto))
        return static_cast<int>(leadingNumber(proto));
    const int number = m_lib.protocolNumber(proto);
    if (number >= 0)
        return number;
    // A system without a protocols database still knows these two.
    if (proto == "tcp")
        return IPPROTO_TCP;
    if (proto == "udp")
        return IPPROTO_UDP;
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "'");
}

// ------------------------------------------------------------- DNS lookups

// The steps shared by both lookups: an empty name is refused, a pending
// lookup is forgotten without an event, and the results are cleared. False
// when the name was refused.
bool TCustomWSocket::PrepareLookup(const std::string& text)
{
    if (text.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, wsock::WSAEINVAL);
        return false;
    }
    if (m_lookupHandle != 0) {
        std::lock_guard lock(m_lookup->mutex);
        m_lookup->target = nullptr;
    }
    m_lookupHandle = 0;
    m_lookup.reset();
    m_dnsResult.clear();
    m_dnsResultList.clear();
    return true;
}

void TCustomWSocket::DnsLookup(const std::string& host)
{
    if (!PrepareLookup(host))
        return;
    const in_addr_t a = m_lib.inet_addr(host.c_str());
    sockaddr_storage v6{};
    if (parseIpv6(host, v6)) {
        m_dnsResult = addressText(reinterpret_cast<sockaddr*>(&v6));
        m_dnsResultList.push_back(m_dnsResult);
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
        return;
    }
    if (a != INADDR_NONE || host == "255.255.255.255") {
        m_dnsResult = dotted(a);
        m_dnsResultList.push_back(m_dnsResult);
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
        return;
    }
    StartLookup(host, kLookupMessage);
}

void TCustomWSocket::ReverseDnsLookup(const std::string& addr)
{
    if (PrepareLookup(addr))
        StartLookup(addr, kReverseLookupMessage);
}

void TCustomWSocket::StartLookup(const std::string& text, int message)
{
    static std::atomic<int> nextHandle{1};
    auto job = std::make_shared<LookupJob>();
    job->target = m_window;
    job->handle = nextHandle++;
    job->message = message;

    using GetAddrInfo = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    using FreeAddrInfo = void (*)(addrinfo*);
    using GetNameInfo =
        int (*)(const sockaddr*, socklen_t, char*, socklen_t, char*, socklen_t, int);
    const auto getAddrInfo =
        reinterpret_cast<GetAddrInfo>(m_lib.address(platform::SocketLibrary::fnGetAddrInfo));
    const auto freeAddrInfo =
        reinterpret_cast<FreeAddrInfo>(m_lib.address(platform::SocketLibrary::fnFreeAddrInfo));
    const auto getNameInfo =
        reinterpret_cast<GetNameInfo>(m_lib.address(platform::SocketLibrary::fnGetNameInfo));
    // The address to name, for a reverse lookup; AF_UNSPEC when the text is
    // not an address.
    sockaddr_storage reverseAddress{};
    if (message == kReverseLookupMessage && !parseIpv6(text, reverseAddress)) {
        const in_addr_t a = m_lib.inet_addr(text.c_str());
        if (a != INADDR_NONE)
            reverseAddress = ipv4Address(a);
    }

    auto work = [job, text, getAddrInfo, freeAddrInfo, getNameInfo, reverseAddress] {
        int error = 0;
        std::vector<std::string> results;
        if (job->message == kLookupMessage) {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* list = nullptr;
            const int rc = getAddrInfo(text.c_str(), nullptr, &hints, &list);
            error = wsock::errorFromResolver(rc, errno);
            for (addrinfo* p = list; rc == 0 && p; p = p->ai_next) {
                const std::string a = addressText(p->ai_addr);
                if (!a.empty() && std::find(results.begin(), results.end(), a) == results.end())
                    results.push_back(a);
            }
            if (list)
                freeAddrInfo(list);
            if (error == 0 && results.empty())
                error = wsock::WSANO_DATA;
        } else {
            char host[NI_MAXHOST] = {};
            const int rc = reverseAddress.ss_family == AF_UNSPEC
                               ? EAI_NONAME
                               : getNameInfo(reinterpret_cast<const sockaddr*>(&reverseAddress),
                                             lengthOf(reverseAddress), host, sizeof host, nullptr,
                                             0, NI_NAMEREQD);
            error = wsock::errorFromResolver(rc, errno);
            if (error == 0)
                results.push_back(host);
        }
        std::lock_guard lock(job->mutex);
        job->results = std::move(results);
        if (job->target)
            job->target->post(job->message, static_cast<quintptr>(job->handle),
                              notifyParam(0, error));
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error& e) {
        RaiseException(text + ": can't start DNS lookup, error #" +
                       std::to_string(wsock::errorFromErrno(e.code().value())));
        return;
    }
    m_lookup = std::move(job);
    m_lookupHandle = m_lookup->handle;
}

void TCustomWSocket::HandleLookupDone(const platform::PostedMessage& message)
{
    if (m_lookupHandle == 0 || static_cast<int>(message.wParam()) != m_lookupHandle)
        return;
    const uint16_t error = static_cast<uint16_t>((message.lParam() >> 16) & 0xFFFF);
    std::vector<std::string> results;
    {
        std::lock_guard lock(m_lookup->mutex);
        results = std::move(m_lookup->results);
    }
    m_lookupHandle = 0;
    m_lookup.reset();
    if (error == 0) {
        // A connect to the first result tries the others too.
        m_addrResolved = false;
        m_dnsResultList = std::move(results);
        if (!m_dnsResultList.empty())
            m_dnsResult = m_dnsResultList.front();
    }
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, error);
}

void TCustomWSocket::CancelDnsLookup()
{
    if (m_lookupHandle == 0)
        return;
    {
        std::lock_guard lock(m_lookup->mutex);
        m_lookup->target = nullptr;
    }
    m_lookupHandle = 0;
    m_lookup.reset();
    if (!m_destroying && OnDnsLookupDone)
        OnDnsLookupDone(this, wsock::WSAEINTR);
}

// ------------------------------------------------------------ connecting

void TCustomWSocket::Connect()
{
    if (m_handle != INVALID_SOCKET && m_state != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (m_port.empty()) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (m_addr.empty()) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (m_proto.empty()) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    try {
        if (!m_protoResolved) {
            m_protoNum = WSocketResolveProto(m_proto);
            m_sockType = m_protoNum == kUdpProtocol ? SOCK_DGRAM : SOCK_STREAM;
            m_protoResolved = true;
        }
        if (!m_portResolved) {
            m_portNum = WSocketResolvePort(m_port, m_proto);
            m_portResolved = true;
        }
        if (!m_localPortResolved) {
            m_localPortNum = WSocketResolvePort(m_localPort, m_proto);
            m_localPortResolved = true;
        }
        if (!m_addrResolved) {
            m_addrList = ResolveAddresses(m_addr);
            m_addrResolved = true;
        }
    } catch (const ESocketException& e) {
        RaiseException("connect: " + e.message());
        return;
    }
    DeleteBufferedData();
    m_addrIndex = 0;
    ConnectAddress(true);
}

void TCustomWSocket::ConnectAddress(bool first)
{
    m_sin = m_addrList[m_addrIndex];
    setAddressPort(m_sin, m_portNum);
    const bool more = m_sockType == SOCK_STREAM && m_addrIndex + 1 < m_addrList.size();
    const int fd =
        m_lib.socket(m_sin.ss_family, m_sockType | SOCK_NONBLOCK | SOCK_CLOEXEC, m_protoNum);
    if (fd < 0) {
        // A family this system cannot use: the next address may do.
        if (more) {
            ++m_addrIndex;
            ConnectAddress(first);
            return;
        }
        SocketError("Connect (socket)", lastErrno());
        return;
    }
    m_handle = fd;
    if (first)
        ChangeState(wsOpened);

    const int on = 1;
    if (m_sockType == SOCK_DGRAM) {
        BindLocal(fd);
        if (m_sin.ss_family == AF_INET &&
            reinterpret_cast<const sockaddr_in&>(m_sin).sin_addr.s_addr == INADDR_BROADCAST &&
            m_lib.setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) < 0) {
            SocketError("setsockopt(SO_BROADCAST)", lastErrno());
            return;
        }
    } else {
        if (m_localPortNum != 0)
            BindLocal(fd);
        ApplyLinger();
        if (m_lib.setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) < 0) {
            SocketError("setsockopt(SO_KEEPALIVE)", lastErrno());
            return;
        }
        // The option only concerns binding to a local port: a socket that
        // connect binds to a port of the system's choosing never asks it, so
        // it is not set there (one system call less per connection).
        if (m_localPortNum != 0 &&
            m_lib.setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
            SocketError("setsockopt(SO_REUSEADDR)", lastErrno());
            return;
        }
    }
    SetNotifications(kAllEvents);

    if (m_sockType == SOCK_DGRAM) {
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (m_lib.connect(fd, reinterpret_cast<const sockaddr*>(&m_sin), lengthOf(m_sin)) == 0 ||
        errno == EINPROGRESS || errno == EWOULDBLOCK) {
        if (first)
            ChangeState(wsConnecting);
        UpdateWriteNotifier();
        return;
    }
    const int code = lastErrno();
    // With addresses left to try, or while trying them, every failure is
    // reported from the loop, where the next address is taken.
    if (isDeferredConnectError(code) || more || !first) {
        // Reported like any other connect outcome: later, from the loop.
        if (first)
            ChangeState(wsConnecting);
        m_connectPosted = true;
        UpdateWriteNotifier();
        m_window->post(kNotifyMessage, static_cast<quintptr>(fd), notifyParam(FD_CONNECT, code));
        return;
    }
    m_lastError = code;
    SocketError("Connect", code);
}

bool TCustomWSocket::ConnectNextAddress()
{
    if (m_sockType != SOCK_STREAM || m_addrIndex + 1 >= m_addrList.size() ||
        m_handle == INVALID_SOCKET)
        return false;
    DetachNotifiers();
    m_window->discardPosted(kNotifyMessage);
    m_lib.close(m_handle);
    m_handle = INVALID_SOCKET;
    ++m_addrIndex;
    ConnectAddress(false);
    return true;
}

void TCustomWSocket::BindLocal(int fd)
{
    // The wildcard address of the remote end's family.
    sockaddr_storage local{};
    local.ss_family = m_sin.ss_family == AF_INET6 ? AF_INET6 : AF_INET;
    setAddressPort(local, m_localPortNum);
    if (m_lib.bind(fd, reinterpret_cast<sockaddr*>(&local), lengthOf(local)) < 0) {
        RaiseException("winsock.bind failed, error #" + std::to_string(lastErrno()));
        return;
    }
    socklen_t len = sizeof local;
    if (m_lib.getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) < 0) {
        RaiseException("winsock.getsockname failed, error #" + std::to_string(lastErrno()));
        return;
    }
    m_localPort = std::to_string(m_lib.netToHost16(portOf(local)));
}

void TCustomWSocket::ApplyLinger()
{
    if (m_lingerOnOff == wsLingerNoSet)
        return;
    if (m_handle == INVALID_SOCKET) {
        RaiseException("Cannot set linger option at this time");
        return;
    }
    linger l{};
    l.l_onoff = m_lingerOnOff == wsLingerOn ? 1 : 0;
    l.l_linger = m_lingerTimeout;
    if (m_lib.setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &l, sizeof l) < 0)
        SocketError("setsockopt(SO_LINGER)", lastErrno());
}

// ------------------------------------------------------------ server side

void TCustomWSocket::Listen()
{
    if (m_port.empty()) {
        m_lastError = wsock::WSAEINVAL;
        RaiseException("listen: port not assigned");
        return;
    }
    if (m_proto.empty()) {
        m_lastError = wsock::WSAEINVAL;
        RaiseException("listen: protocol not assigned");
        return;
    }
    if (m_addr.empty()) {
        m_lastError = wsock::WSAEINVAL;
        RaiseException("listen: address not assigned");
        return;
    }
    try {
        m_protoNum = WSocketResolveProto(m_proto);
        m_sockType = m_protoNum == kUdpProtocol ? SOCK_DGRAM : SOCK_STREAM;
        m_protoResolved = true;
        m_portNum = WSocketResolvePort(m_port, m_proto);
        m_portResolved = true;
        m_addrList = ResolveAddresses(m_addr);
        m_addrResolved = true;
    } catch (const ESocketException& e) {
        RaiseException("listen: " + e.message());
        return;
    }
    m_addrIndex = 0;
    m_sin = m_addrList.front();
    setAddressPort(m_sin, m_portNum);
    const int fd =
        m_lib.socket(m_sin.ss_family, m_sockType | SOCK_NONBLOCK | SOCK_CLOEXEC, m_protoNum);
    if (fd < 0) {
        SocketError("socket", lastErrno());
        return;
    }
    m_handle = fd;
    const int on = 1;
    // A restarted server must not wait for old connections to time out.
    m_lib.setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (m_lib.bind(fd, reinterpret_cast<sockaddr*>(&m_sin), lengthOf(m_sin)) < 0) {
        const int code = lastErrno();
        m_lib.close(fd);
        m_handle = INVALID_SOCKET;
        SocketError("Bind", code);
        return;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    if (m_lib.getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) == 0)
        m_localPort = std::to_string(m_lib.netToHost16(portOf(bound)));
    ChangeState(wsBound);
    if (m_sockType == SOCK_STREAM) {
        if (m_lib.listen(fd, kListenBacklog) < 0) {
            SocketError("Listen", lastErrno());
            return;
        }
        ChangeState(wsListening);
        SetNotifications(kListenEvents);
    } else {
        ChangeState(wsListening);
        ChangeState(wsConnected);
        SetNotifications(kListenEvents);
        TriggerSessionConnected(0);
    }
}

TSocket TCustomWSocket::Accept()
{
    if (m_state != wsListening) {
        RaiseException("not a listening socket");
        return INVALID_SOCKET;
    }
    ++m_acceptCalls;
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    const int fd = m_lib.accept(m_handle, reinterpret_cast<sockaddr*>(&peer), &len);
    if (m_notifiersAttached && !m_paused)
        m_readNotifier->setEnabled(true);
    if (fd < 0) {
        SocketError("Accept", lastErrno());
        return INVALID_SOCKET;
    }
    return fd;
}

void TCustomWSocket::Dup(TSocket handle)
{
    if (handle == INVALID_SOCKET || handle == 0) {
        SocketError("Dup", wsock::WSAEINVAL);
        return;
    }
    if (m_handle != INVALID_SOCKET && m_state != wsClosed) {
        ReleaseTls(false);
        DetachNotifiers();
        const int rc = m_lib.close(m_handle);
        m_handle = INVALID_SOCKET;
        if (rc < 0) {
            SocketError("Dup (closesocket)", lastErrno());
            return;
        }
    }
    m_handle = handle;
    m_sockType = SOCK_STREAM;
    m_lib.fcntl(handle, F_SETFL, m_lib.fcntl(handle, F_GETFL, 0) | O_NONBLOCK);
    socklen_t len = sizeof m_sin;
    m_lib.getpeername(handle, reinterpret_cast<sockaddr*>(&m_sin), &len);
    ApplyLinger();
    SetNotifications(kResumeEvents);
    ChangeState(wsConnected);
}

// ------------------------------------------------------------ notifications

void TCustomWSocket::SetNotifications(int mask)
{
    m_selectMask = mask;
    if (m_handle == INVALID_SOCKET || mask == 0) {
        if (m_readNotifier)
            m_readNotifier->setEnabled(false);
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
        m_stallTimer.stop();
        return;
    }
    AttachNotifiers();
    m_stalled = false;
    m_stallTimer.stop();
    m_readNotifier->setEnabled((mask & (FD_READ | FD_ACCEPT | FD_CLOSE)) != 0);
    UpdateWriteNotifier();
}

void TCustomWSocket::UpdateWriteNotifier()
{
    if (!m_notifiersAttached)
        return;
    const bool wanted = m_handle != INVALID_SOCKET && !m_paused &&
                        (m_selectMask & (FD_WRITE | FD_CONNECT)) != 0 &&
                        (m_state == wsConnecting ? !m_connectPosted : m_writePending);
    m_writeNotifier->setEnabled(wanted);
}

// One pair of notifiers serves every session of the socket: a new handle is
// given to the same objects, which saves creating, connecting and deleting
// two objects (and posting their deferred deletion) per connection.
void TCustomWSocket::AttachNotifiers()
{
    if (!m_readNotifier) {
        m_readNotifier = std::make_unique<QSocketNotifier>(m_handle, QSocketNotifier::Read);
        m_readNotifier->setEnabled(false);
        QObject::connect(m_readNotifier.get(), &QSocketNotifier::activated, m_window,
                         [this] { onReadReady(); });
        m_writeNotifier = std::make_unique<QSocketNotifier>(m_handle, QSocketNotifier::Write);
        m_writeNotifier->setEnabled(false);
        QObject::connect(m_writeNotifier.get(), &QSocketNotifier::activated, m_window,
                         [this] { onWriteReady(); });
    } else if (m_readNotifier->socket() != m_handle) {
        m_readNotifier->setSocket(m_handle);
        m_writeNotifier->setSocket(m_handle);
    }
    m_notifiersAttached = true;
}

void TCustomWSocket::DetachNotifiers()
{
    if (m_readNotifier) {
        m_readNotifier->setEnabled(false);
        m_writeNotifier->setEnabled(false);
    }
    m_notifiersAttached = false;
    m_stalled = false;
    m_stallTimer.stop();
    m_writePending = false;
    m_connectPosted = false;
}

void TCustomWSocket::onReadReady()
{
    if (m_handle == INVALID_SOCKET || m_paused)
        return;
    try {
        if (m_tlsHandshaking) {
            TlsHandshakeStep();
            return;
        }
        const auto token = aliveToken();
        if (m_state == wsListening) {
            // As with Windows Sockets, the next accept notification waits
            // until Accept has been called.
            const uint64_t before = m_acceptCalls;
            HandleNotification(FD_ACCEPT, 0);
            if (!token.expired() && m_acceptCalls == before && m_notifiersAttached)
                m_readNotifier->setEnabled(false);
            return;
        }
        if (m_sockType == SOCK_DGRAM) {
            HandleNotification(FD_READ, 0);
            return;
        }
        // A connect in progress is settled by the write notifier, which reads
        // the pending error; reading it here would clear it.
        if (m_state == wsConnecting) {
            m_readNotifier->setEnabled(false);
            return;
        }
        int bits = 0;
        int error = 0;
        pollfd p{m_handle, static_cast<short>(POLLIN | POLLRDHUP), 0};
        m_lib.poll(&p, 1, 0);
        if (HungUp(p.revents)) {
            // Data may still wait in front of the end of the stream.
            int available = 0;
            m_lib.ioctl(m_handle, FIONREAD, &available);
            if (available > 0)
                bits |= FD_READ;
            bits |= FD_CLOSE;
            error = PendingError(p.revents);
        } else if (p.revents & POLLIN) {
            // Readable and not at its end: data waits.
            bits |= FD_READ;
        }
        if (bits == 0)
            return;
        const uint64_t before = m_recvCalls;
        const TSocket handle = m_handle;
        HandleNotification(bits, static_cast<uint16_t>(error));
        if (token.expired() || m_handle != handle || !(bits & FD_READ))
            return;
        // The handler left bytes unread: rest the read notifier, which would
        // otherwise fire without end, and watch for the peer hanging up.
        if (m_recvCalls == before && m_notifiersAttached && RcvdCount() > 0) {
            m_readNotifier->setEnabled(false);
            m_stalled = true;
            m_stallTimer.start();
        }
    } catch (const std::exception& e) {
        BgException(e);
    }
}

void TCustomWSocket::onStallCheck()
{
    if (m_handle == INVALID_SOCKET || !m_stalled) {
        m_stallTimer.stop();
        return;
    }
    try {
        pollfd p{m_handle, static_cast<short>(POLLIN | POLLRDHUP), 0};
        m_lib.poll(&p, 1, 0);
        if (HungUp(p.revents)) {
            m_stallTimer.stop();
            m_stalled = false;
            HandleNotification(FD_CLOSE, static_cast<uint16_t>(PendingError(p.revents)));
        }
    } catch (const std::exception& e) {
        BgException(e);
    }
}

bool TCustomWSocket::HungUp(short revents)
{
    return (revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

int TCustomWSocket::PendingError(short revents)
{
    // Without POLLERR there is no error to fetch: a plain end of stream
    // reports 0, and the call can be saved.
    if (!(revents & POLLERR))
        return 0;
    int soError = 0;
    socklen_t len = sizeof soError;
    m_lib.getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &soError, &len);
    return wsock::errorFromErrno(soError);
}

void TCustomWSocket::onWriteReady()
{
    if (m_handle == INVALID_SOCKET || m_paused)
        return;
    try {
        m_writeNotifier->setEnabled(false);
        if (m_state == wsConnecting) {
            int soError = 0;
            socklen_t len = sizeof soError;
            m_lib.getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &soError, &len);
            HandleNotification(FD_CONNECT, static_cast<uint16_t>(wsock::errorFromErrno(soError)));
            return;
        }
        m_writePending = false;
        if (m_tlsHandshaking) {
            TlsHandshakeStep();
            return;
        }
        HandleNotification(FD_WRITE, 0);
    } catch (const std::exception& e) {
        BgException(e);
    }
}

void TCustomWSocket::HandleMessage(const platform::PostedMessage& message)
{
    switch (message.message()) {
    case kNotifyMessage:
        if (static_cast<TSocket>(message.wParam()) != m_handle || m_paused)
            return;
        if (m_state == wsConnecting)
            m_connectPosted = false;
        HandleNotification(static_cast<int>(message.lParam() & 0xFFFF),
                           static_cast<uint16_t>((message.lParam() >> 16) & 0xFFFF));
        return;
    case kLookupMessage:
    case kReverseLookupMessage:
        HandleLookupDone(message);
        return;
    case kTlsMessage: {
        if (static_cast<TSocket>(message.wParam()) != m_handle || !m_tlsHandshaking)
            return;
        const int code = static_cast<int>((message.lParam() >> 16) & 0xFFFF);
        if (code == 0)
            TlsHandshakeStep();
        else
            TlsFail(code);
        return;
    }
    default:
        return;
    }
}

void TCustomWSocket::HandleNotification(int bits, uint16_t error)
{
    const auto token = aliveToken();
    const TSocket handle = m_handle;
    // After every handler: stop when it destroyed or closed this socket.
    const auto gone = [&] { return token.expired() || m_handle != handle; };

    if (bits & FD_CONNECT) {
        // A failed attempt with addresses left goes on with the next one;
        // the error of the last attempt is the one reported.
        if (error != 0 && ConnectNextAddress())
            return;
        ChangeState(wsConnected);
        UpdateWriteNotifier();
        if (m_notifiersAttached && !m_paused && (m_selectMask & (FD_READ | FD_CLOSE)))
            m_readNotifier->setEnabled(true);
        TriggerSessionConnected(error);
        if (gone())
            return;
        if (error != 0 && m_state != wsClosed) {
            Close();
            return;
        }
    }
    if (bits & FD_READ) {
        ReadLoop(error);
        if (gone())
            return;
    }
    if (bits & FD_WRITE) {
        TryToSend();
        if (gone())
            return;
        if (m_allSent) {
            TriggerDataSent(error);
            if (gone())
                return;
        }
    }
    if (bits & FD_ACCEPT) {
        if (OnSessionAvailable)
            OnSessionAvailable(this, error);
        if (gone())
            return;
    }
    if ((bits & FD_CLOSE) && m_state != wsConnecting) {
        ReadLoop(0);
        if (gone())
            return;
        if (OnSessionClosed && !m_closeEventFired) {
            m_closeEventFired = true;
            TriggerSessionClosed(error);
            if (gone())
                return;
        }
        if (m_state != wsClosed)
            Close();
    }
}

bool TCustomWSocket::TriggerDataAvailable(uint16_t error)
{
    if (!OnDataAvailable)
        return false;
    OnDataAvailable(this, error);
    return true;
}

void TCustomWSocket::TriggerSessionConnected(uint16_t error)
{
    if (OnSessionConnected)
        OnSessionConnected(this, error);
}

void TCustomWSocket::TriggerSessionClosed(uint16_t error)
{
    if (OnSessionClosed)
        OnSessionClosed(this, error);
}

void TCustomWSocket::TriggerDataSent(uint16_t error)
{
    if (OnDataSent)
        OnDataSent(this, error);
}

void TCustomWSocket::ReadLoop(uint16_t error)
{
    const auto token = aliveToken();
    const TSocket handle = m_handle;
    for (;;) {
        m_lastError = 0;
        const uint64_t before = m_recvCalls;
        bool handled = false;
        try {
            handled = TriggerDataAvailable(error);
        } catch (...) {
            // A failing handler ends this round; the data stays unread.
            return;
        }
        if (token.expired() || m_handle != handle || handle == INVALID_SOCKET)
            return;
        if (!handled) {
            char discard[kDiscardChunk];
            if (DoRecv(discard, sizeof discard, 0) < 0 && m_lastError == wsock::WSAEWOULDBLOCK) {
                m_lastError = 0;
                return;
            }
        }
        if (m_tlsBroken) {
            CloseBrokenTls();
            return;
        }
        // A handler that paused the socket gets nothing more until Resume.
        if (m_lastError != 0 || m_paused)
            return;
        // A handler that read nothing would make this loop spin for ever.
        if (handled && m_recvCalls == before)
            return;
        // A read that got less than it asked for emptied the system's
        // buffer: nothing is left to ask about. Bytes arriving since wake
        // the read notifier again.
        if (m_drained)
            return;
        // Bytes TLS has already taken from the system are not in its count.
        if (m_ssl && (SSL_pending(m_ssl) > 0 || SSL_has_pending(m_ssl)))
            continue;
        int available = 0;
        if (m_lib.ioctl(m_handle, FIONREAD, &available) < 0 || available == 0)
            return;
    }
}

// ------------------------------------------------------------ receiving

int TCustomWSocket::DoRecv(void* buf, int len, int flags)
{
    if (m_handle == INVALID_SOCKET) {
        m_lastError = wsock::WSAENOTCONN;
        return -1;
    }
    ++m_recvCalls;
    bool unstalled = false;
    if (m_stalled) {
        m_stalled = false;
        unstalled = true;
        m_stallTimer.stop();
        if (m_notifiersAttached && !m_paused)
            m_readNotifier->setEnabled(true);
    }
    if (TlsActive()) {
        const int n = TlsRecv(buf, len, flags);
        // The notifier only sees the system's buffer, not what TLS holds.
        if (unstalled)
            PostTlsReadIfPending();
        return n;
    }
    const ssize_t n = m_lib.recv(m_handle, buf, static_cast<size_t>(std::max(len, 0)), flags);
    if (n < 0)
        m_lastError = lastErrno();
    m_drained = m_sockType == SOCK_STREAM && !(flags & MSG_PEEK) && n < len;
    return static_cast<int>(n);
}

int TCustomWSocket::Receive(void* buf, int len)
{
    const int n = DoRecv(buf, len, 0);
    if (n > 0)
        m_readCount += n;
    return n;
}

std::string TCustomWSocket::ReceiveStr()
{
    const int count = RcvdCount();
    if (count <= 0)
        return {};
    std::string s(static_cast<size_t>(count), '\0');
    const int n = Receive(s.data(), count);
    s.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return s;
}

int TCustomWSocket::ReceiveFrom(void* buf, int len, sockaddr_in& from)
{
    if (m_handle == INVALID_SOCKET) {
        m_lastError = wsock::WSAENOTCONN;
        return -1;
    }
    ++m_recvCalls;
    socklen_t fromLen = sizeof from;
    const ssize_t n = m_lib.recvfrom(m_handle, buf, static_cast<size_t>(std::max(len, 0)), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0)
        m_lastError = lastErrno();
    else
        m_readCount += static_cast<int32_t>(n);
    return static_cast<int>(n);
}

int TCustomWSocket::SendTo(const sockaddr_in& to, const void* data, int len)
{
    if (m_handle == INVALID_SOCKET) {
        m_lastError = wsock::WSAENOTCONN;
        return -1;
    }
    const ssize_t n = m_lib.sendto(m_handle, data, static_cast<size_t>(std::max(len, 0)),
                                   MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n < 0)
        m_lastError = lastErrno();
    return static_cast<int>(n);
}

// ------------------------------------------------------------ sending

void TCustomWSocket::DeleteBufferedData()
{
    m_bufList.clear();
    m_allSent = true;
    m_writePending = false;
}

void TCustomWSocket::PutDataInSendBuffer(const void* data, int len)
{
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        if (m_bufList.empty() || m_bufList.back()->WrCount() >= m_bufList.back()->BufSize())
            m_bufList.push_back(std::make_unique<TBuffer>(m_bufSize));
        const int n = m_bufList.back()->Write(p, len);
        p += n;
        len -= n;
    }
}

int TCustomWSocket::Send(const void* data, int len)
{
    if (m_state != wsConnected) {
        m_lastError = wsock::WSAENOTCONN;
        SocketError("Send", wsock::WSAENOTCONN);
        return -1;
    }
    if (len <= 0)
        return 0;
    m_allSent = false;
    PutDataInSendBuffer(data, len);
    const auto token = aliveToken();
    const TSocket handle = m_handle;
    TryToSend();
    if (token.expired() || m_handle != handle)
        return len;
    if (m_allSent)
        m_window->post(kNotifyMessage, static_cast<quintptr>(handle), notifyParam(FD_WRITE, 0));
    return len;
}

int TCustomWSocket::SendStr(const std::string& s)
{
    return Send(s.data(), static_cast<int>(s.size()));
}

void TCustomWSocket::TryToSend()
{
    // Bytes queued during a TLS handshake wait for its end.
    if (m_handle == INVALID_SOCKET || m_bufList.empty() || m_tlsHandshaking)
        return;
    const int flags = MSG_NOSIGNAL | (m_sendFlags == wsSendUrgent ? MSG_OOB : 0);
    for (;;) {
        TBuffer& block = *m_bufList.front();
        int len = 0;
        const char* p = block.Peek(len);
        if (len > 0) {
            ssize_t n = 0;
            int code = 0;
            if (m_ssl) {
                size_t written = 0;
                const int rc = SSL_write_ex(m_ssl, p, static_cast<size_t>(len), &written);
                n = static_cast<ssize_t>(written);
                if (rc != 1) {
                    const int e = SSL_get_error(m_ssl, rc);
                    n = -1;
                    if (e == SSL_ERROR_WANT_WRITE || e == SSL_ERROR_WANT_READ) {
                        ERR_clear_error();
                        code = wsock::WSAEWOULDBLOCK;
                    } else {
                        m_tlsBroken = true;
                        code = tls::transferError(e);
                        // Sending after the peer ended the session.
                        if (code == 0)
                            code = wsock::WSAECONNRESET;
                    }
                }
            } else {
                n = m_sockType == SOCK_DGRAM
                        ? m_lib.sendto(m_handle, p, static_cast<size_t>(len), flags,
                                       reinterpret_cast<const sockaddr*>(&m_sin), lengthOf(m_sin))
                        : m_lib.send(m_handle, p, static_cast<size_t>(len), flags);
                if (n < 0)
                    code = lastErrno();
            }
            if (n < 0) {
                if (code == wsock::WSAEWOULDBLOCK) {
                    m_writePending = true;
                    UpdateWriteNotifier();
                    return;
                }
                if (code == wsock::WSAEINVAL || code == wsock::WSAENOTSOCK ||
                    code == wsock::WSAECONNRESET || code == wsock::WSAENOTCONN || m_tlsBroken) {
                    m_lastError = code;
                    m_closeEventFired = true;
                    const auto token = aliveToken();
                    Close();
                    if (!token.expired())
                        TriggerSessionClosed(static_cast<uint16_t>(code));
                    return;
                }
                SocketError("TryToSend failed", code);
                return;
            }
            block.Remove(static_cast<int>(n));
            if (n < len) {
                m_writePending = true;
                UpdateWriteNotifier();
                return;
            }
        }
        if (m_bufList.size() > 1) {
            m_bufList.pop_front();
            continue;
        }
        m_allSent = true;
        return;
    }
}

void TCustomWSocket::Flush()
{
    const auto flushed = [this] { return m_handle == INVALID_SOCKET || m_allSent; };
    TryToSend();
    if (flushed())
        return;
    ProcessMessages();
    // The write notifier sends the rest as room appears.
    platform::deliverMessagesUntil(
        [&] { return flushed() || m_terminated || QCoreApplication::closingDown(); });
}

void TCustomWSocket::Pause()
{
    m_paused = true;
    SetNotifications(0);
}

void TCustomWSocket::Resume()
{
    m_paused = false;
    SetNotifications(kResumeEvents);
    PostTlsReadIfPending();
}

void TCustomWSocket::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (QCoreApplication::closingDown())
        m_terminated = true;
}

// ------------------------------------------------------------ closing

void TCustomWSocket::Shutdown(int how)
{
    if (m_handle != INVALID_SOCKET)
        m_lib.shutdown(m_handle, how);
}

void TCustomWSocket::Close()
{
    InternalClose(true, 0);
}

void TCustomWSocket::Abort()
{
    CancelDnsLookup();
    DeleteBufferedData();
    if (m_state == wsConnected && m_sockType == SOCK_STREAM && m_handle != INVALID_SOCKET) {
        m_lingerOnOff = wsLingerOff;
        try {
            ApplyLinger();
        } catch (...) {
        }
    }
    InternalClose(false, 0);
}

void TCustomWSocket::InternalClose(bool shutdownFirst, uint16_t error)
{
    ReleaseTls(shutdownFirst);
    if (m_handle == INVALID_SOCKET) {
        if (m_state != wsClosed) {
            ChangeState(wsClosed);
            try {
                SetDefaults();
            } catch (...) {
            }
        }
        return;
    }
    if (shutdownFirst)
        m_lib.shutdown(m_handle, SHUT_WR);
    DetachNotifiers();
    m_window->discardPosted(kNotifyMessage);
    const int fd = m_handle;
    m_handle = INVALID_SOCKET;
    // Linux releases the descriptor even when close reports EINTR, so there
    // is never a second attempt.
    if (m_lib.close(fd) < 0 && errno != EINTR && errno != EWOULDBLOCK) {
        SocketError("Disconnect (closesocket)", lastErrno());
        return;
    }
    ChangeState(wsClosed);
    if (!m_destroying && !m_closeEventFired && OnSessionClosed) {
        m_closeEventFired = true;
        const auto token = aliveToken();
        TriggerSessionClosed(error);
        if (token.expired())
            return;
        // The handler may have started a new session already.
        if (m_handle != INVALID_SOCKET)
            return;
    }
    try {
        SetDefaults();
    } catch (...) {
    }
}

// ------------------------------------------------------------ addresses

std::string TCustomWSocket::GetPeerAddr()
{
    if (m_state != wsConnected)
        return "error";
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (m_lib.getpeername(m_handle, reinterpret_cast<sockaddr*>(&peer), &len) < 0) {
        SocketError("GetPeerName", lastErrno());
        return "error";
    }
    return addressText(reinterpret_cast<sockaddr*>(&peer));
}

std::string TCustomWSocket::GetXPort()
{
    if (m_state != wsBound && m_state != wsConnected && m_state != wsListening)
        return "error";
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (m_lib.getsockname(m_handle, reinterpret_cast<sockaddr*>(&local), &len) < 0)
        return "error";
    return std::to_string(m_lib.netToHost16(portOf(local)));
}

int TCustomWSocket::GetPeerName(sockaddr_in& name)
{
    if (m_state != wsConnected)
        return -1;
    socklen_t len = sizeof name;
    return m_lib.getpeername(m_handle, reinterpret_cast<sockaddr*>(&name), &len);
}

int TCustomWSocket::GetSockName(sockaddr_in& name)
{
    if (m_handle == INVALID_SOCKET)
        return -1;
    socklen_t len = sizeof name;
    return m_lib.getsockname(m_handle, reinterpret_cast<sockaddr*>(&name), &len);
}

// ------------------------------------------------------------ TLS

void TCustomWSocket::StartTls(const std::string& serverName)
{
    if (m_state != wsConnected || m_handle == INVALID_SOCKET || m_sockType != SOCK_STREAM) {
        RaiseException("StartTls: Socket is not connected");
        return;
    }
    if (TlsActive()) {
        RaiseException("StartTls: TLS already started");
        return;
    }
    m_tlsKey = serverName + '|' + m_port;
    m_tlsHandshaking = true;
    m_tlsBroken = false;
    m_tlsError = 0;
    m_tlsReused = false;
    m_tlsEndPosted = false;
    m_ssl = tls::newClientConnection(m_handle, serverName, &m_tlsKey);
    // TLS sends its handshake and the first request in separate small
    // writes; with Nagle's algorithm the second would wait for the peer's
    // delayed acknowledgement of the first (some 40 ms per connection).
    const int on = 1;
    m_lib.setsockopt(m_handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    int code = wsock::kTlsSetupFailed;
    if (m_ssl) {
        // The first step only sends the greeting; the outcome needs the
        // server's answer and comes from the readiness events.
        const int rc = SSL_do_handshake(m_ssl);
        const int e = SSL_get_error(m_ssl, rc);
        if (e == SSL_ERROR_WANT_READ) {
            code = -1;
        } else if (e == SSL_ERROR_WANT_WRITE) {
            m_writePending = true;
            code = -1;
        } else {
            code = rc == 1 ? 0 : tls::handshakeError(m_ssl, e);
        }
    }
    if (m_stalled) {
        m_stalled = false;
        m_stallTimer.stop();
    }
    if (m_notifiersAttached && !m_paused && (m_selectMask & (FD_READ | FD_CLOSE)))
        m_readNotifier->setEnabled(true);
    UpdateWriteNotifier();
    if (code >= 0)
        m_window->post(kTlsMessage, static_cast<quintptr>(m_handle), notifyParam(0, code));
}

void TCustomWSocket::TlsHandshakeStep()
{
    const int rc = SSL_do_handshake(m_ssl);
    if (rc == 1) {
        m_tlsHandshaking = false;
        m_tlsReused = SSL_session_reused(m_ssl) == 1;
        const auto token = aliveToken();
        const TSocket handle = m_handle;
        const auto gone = [&] { return token.expired() || m_handle != handle; };
        if (OnTlsDone)
            OnTlsDone(this, 0);
        if (gone())
            return;
        // Bytes queued during the handshake go out now.
        if (!m_allSent) {
            HandleNotification(FD_WRITE, 0);
            if (gone())
                return;
        }
        // Data that came with the server's last handshake flight is already
        // inside TLS: no readiness event would announce it.
        if (m_ssl && SSL_has_pending(m_ssl))
            HandleNotification(FD_READ, 0);
        return;
    }
    const int e = SSL_get_error(m_ssl, rc);
    if (e == SSL_ERROR_WANT_READ)
        return;
    if (e == SSL_ERROR_WANT_WRITE) {
        m_writePending = true;
        UpdateWriteNotifier();
        return;
    }
    TlsFail(tls::handshakeError(m_ssl, e));
}

void TCustomWSocket::TlsFail(int code)
{
    m_tlsHandshaking = false;
    m_tlsBroken = true;
    m_lastError = code;
    const auto token = aliveToken();
    const TSocket handle = m_handle;
    if (OnTlsDone)
        OnTlsDone(this, static_cast<uint16_t>(code));
    if (token.expired() || m_handle != handle)
        return;
    DeleteBufferedData();
    InternalClose(false, static_cast<uint16_t>(code));
}

void TCustomWSocket::ReleaseTls(bool notifyPeer)
{
    if (!m_ssl && !m_tlsHandshaking)
        return;
    tls::freeConnection(m_ssl, notifyPeer && !m_tlsHandshaking && !m_tlsBroken);
    m_ssl = nullptr;
    m_tlsHandshaking = false;
    m_tlsBroken = false;
    m_tlsEndPosted = false;
}

int TCustomWSocket::TlsRecv(void* buf, int len, int flags)
{
    if (m_tlsHandshaking || m_tlsBroken || !m_ssl) {
        m_lastError = m_tlsBroken ? m_tlsError : wsock::WSAEWOULDBLOCK;
        m_drained = true;
        return -1;
    }
    size_t got = 0;
    const size_t want = static_cast<size_t>(std::max(len, 0));
    const int rc = (flags & MSG_PEEK) ? SSL_peek_ex(m_ssl, buf, want, &got)
                                      : SSL_read_ex(m_ssl, buf, want, &got);
    if (rc == 1) {
        // A full read may leave records behind; the read loop asks TLS and
        // the system whether more waits.
        m_drained = false;
        return static_cast<int>(got);
    }
    m_drained = true;
    const int e = SSL_get_error(m_ssl, rc);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        if (e == SSL_ERROR_WANT_WRITE) {
            m_writePending = true;
            UpdateWriteNotifier();
        }
        m_lastError = wsock::WSAEWOULDBLOCK;
        return -1;
    }
    const int code = tls::transferError(e);
    if (code == 0) {
        // close_notify or the end of the stream. A peer that sends
        // close_notify and keeps its end open gives no hang-up to wait for,
        // so the close is posted here.
        if (!m_tlsEndPosted) {
            m_tlsEndPosted = true;
            m_window->post(kNotifyMessage, static_cast<quintptr>(m_handle),
                           notifyParam(FD_CLOSE, 0));
        }
        return 0;
    }
    m_tlsBroken = true;
    m_tlsError = code;
    m_lastError = code;
    return -1;
}

int32_t TCustomWSocket::TlsPending()
{
    if (m_tlsHandshaking || m_tlsBroken || !m_ssl)
        return 0;
    if (SSL_pending(m_ssl) == 0) {
        // Decrypts the next record, if one has arrived, without consuming it.
        char c = 0;
        size_t got = 0;
        if (SSL_peek_ex(m_ssl, &c, 1, &got) != 1)
            ERR_clear_error();
    }
    return SSL_pending(m_ssl);
}

void TCustomWSocket::PostTlsReadIfPending()
{
    if (m_ssl && !m_tlsHandshaking && !m_tlsBroken && !m_paused &&
        (SSL_pending(m_ssl) > 0 || SSL_has_pending(m_ssl)))
        m_window->post(kNotifyMessage, static_cast<quintptr>(m_handle), notifyParam(FD_READ, 0));
}

void TCustomWSocket::CloseBrokenTls()
{
    const int code = m_tlsError ? m_tlsError : wsock::kTlsConnectionFailed;
    m_lastError = code;
    DeleteBufferedData();
    InternalClose(false, static_cast<uint16_t>(code));
}
