#include "net/wsocket_internal.h"

// TCustomWSocket: name resolution and asynchronous lookups.

using namespace wsocket_detail;

// ------------------------------------------------------- name resolution

in_addr_t TCustomWSocket::WSocketResolveHost(const std::string& host)
{
    if (host.empty() || host.size() > kMaxHostLength)
        throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
    const std::string h = base::trimmed(host);
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
    const std::string h = base::trimmed(host);
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
