#include "net/custom_socks_wsocket.h"

#include <arpa/inet.h>

namespace {

constexpr char kSocks4Version = 4;
constexpr char kSocks5Version = 5;
constexpr char kCommandConnect = 1;
constexpr unsigned char kSocks4Granted = 0x5A;
constexpr char kMethodNone = 0;
constexpr char kMethodUserPass = 2;
constexpr unsigned char kNoAcceptableMethod = 0xFF;
constexpr char kAddressIPv4 = 1;
constexpr char kAddressDomain = 3;
constexpr char kAddressIPv6 = 4;
constexpr size_t kSocks4ReplySize = 8;

std::string portBytes(uint16_t networkOrder)
{
    const auto* p = reinterpret_cast<const char*>(&networkOrder);
    return std::string(p, 2);
}

} // namespace

void TCustomSocksWSocket::setSocksLevel(const std::string& value)
{
    if (State() != wsClosed) {
        RaiseException("Can't change socks level if not closed");
        return;
    }
    if (value != "4" && value != "4A" && value != "4a" && value != "5") {
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    m_socksLevel = value == "4a" ? "4A" : value;
}

void TCustomSocksWSocket::setSocksServer(const std::string& value)
{
    if (State() != wsClosed) {
        RaiseException("Can't change socks server if not closed");
        return;
    }
    m_socksServer = value;
}

void TCustomSocksWSocket::setSocksPort(const std::string& value)
{
    if (State() != wsClosed) {
        RaiseException("Can't change socks port if not closed");
        return;
    }
    m_socksPort = value;
}

void TCustomSocksWSocket::Connect()
{
    if (!SocksEnabled()) {
        TCustomWSocket::Connect();
        return;
    }
    if (Proto() != "tcp") {
        RaiseException("tcp is the only protocol supported thru socks server");
        return;
    }
    m_targetAddr = Addr();
    m_targetPort = Port();
    setAddr(m_socksServer);
    setPort(m_socksPort.empty() ? "1080" : m_socksPort);
    m_step = Step::Idle;
    TCustomWSocket::Connect();
}

void TCustomSocksWSocket::Listen()
{
    if (SocksEnabled()) {
        RaiseException("listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::TriggerSessionConnected(uint16_t error)
{
    if (!SocksEnabled() || error != 0 || m_targetAddr.empty()) {
        TCustomWSocket::TriggerSessionConnected(error);
        return;
    }
    m_reply.clear();
    if (m_socksLevel == "5")
        SendGreeting();
    else
        SendRequest();
}

void TCustomSocksWSocket::SendGreeting()
{
    m_step = Step::Greeting;
    std::string greeting{kSocks5Version};
    if (m_socksAuthentication == socksAuthenticateUsercode)
        greeting += {2, kMethodNone, kMethodUserPass};
    else
        greeting += {1, kMethodNone};
    SendStr(greeting);
}

void TCustomSocksWSocket::SendRequest()
{
    m_step = Step::Requesting;
    const uint16_t port = Lib().hostToNet16(static_cast<uint16_t>(std::atoi(m_targetPort.c_str())));
    const in_addr_t dottedAddr = Lib().inet_addr(m_targetAddr.c_str());
    const bool isDotted = dottedAddr != INADDR_NONE || m_targetAddr == "255.255.255.255";
    std::string request;
    if (m_socksLevel == "5") {
        request = {kSocks5Version, kCommandConnect, 0};
        if (isDotted) {
            request += kAddressIPv4;
            request.append(reinterpret_cast<const char*>(&dottedAddr), 4);
        } else {
            request += kAddressDomain;
            request += static_cast<char>(m_targetAddr.size());
            request += m_targetAddr;
        }
        request += portBytes(port);
    } else {
        in_addr_t address = dottedAddr;
        if (!isDotted && m_socksLevel == "4") {
            try {
                address = WSocketResolveHost(m_targetAddr);
            } catch (const ESocketException& e) {
                Fail(kSocksResolveError, e.message());
                return;
            }
        } else if (!isDotted) {
            address = htonl(1); // 0.0.0.1 asks the server to resolve the name
        }
        request = {kSocks4Version, kCommandConnect};
        request += portBytes(port);
        request.append(reinterpret_cast<const char*>(&address), 4);
        request += m_socksUsercode;
        request += '\0';
        if (!isDotted && m_socksLevel == "4A") {
            request += m_targetAddr;
            request += '\0';
        }
    }
    SendStr(request);
}

bool TCustomSocksWSocket::TriggerDataAvailable(uint16_t error)
{
    if (m_step == Step::Idle)
        return TCustomWSocket::TriggerDataAvailable(error);
    char buf[512];
    const int n = Receive(buf, sizeof buf);
    if (n <= 0)
        return true;
    m_reply.append(buf, static_cast<size_t>(n));
    HandleReply();
    return true;
}

void TCustomSocksWSocket::TriggerDataSent(uint16_t error)
{
    if (m_step == Step::Idle)
        TCustomWSocket::TriggerDataSent(error);
}

void TCustomSocksWSocket::HandleReply()
{
    const auto byte = [this](size_t i) { return static_cast<unsigned char>(m_reply[i]); };
    if (m_socksLevel != "5") {
        if (m_reply.size() < kSocks4ReplySize)
            return;
        if (byte(1) != kSocks4Granted)
            Fail(kSocksRequestRejected, "SOCKS request rejected");
        else
            Succeed();
        return;
    }
    switch (m_step) {
    case Step::Greeting: {
        if (m_reply.size() < 2)
            return;
        if (byte(0) != kSocks5Version) {
            Fail(kSocksVersionError, "SOCKS version error");
            return;
        }
        const unsigned char method = byte(1);
        m_reply.erase(0, 2);
        if (method == kNoAcceptableMethod ||
            (method == kMethodUserPass && m_socksAuthentication != socksAuthenticateUsercode)) {
            Fail(kSocksAuthMethodError, "SOCKS authentication method not supported");
            return;
        }
        if (method == kMethodUserPass) {
            m_step = Step::Authenticating;
            if (OnSocksAuthState)
                OnSocksAuthState(this, socksAuthStart);
            std::string auth{1, static_cast<char>(m_socksUsercode.size())};
            auth += m_socksUsercode;
            auth += static_cast<char>(m_socksPassword.size());
            auth += m_socksPassword;
            SendStr(auth);
            return;
        }
        if (OnSocksAuthState)
            OnSocksAuthState(this, socksAuthNotRequired);
        SendRequest();
        return;
    }
    case Step::Authenticating:
        if (m_reply.size() < 2)
            return;
        if (byte(1) != 0) {
            if (OnSocksAuthState)
                OnSocksAuthState(this, socksAuthFailure);
            Fail(kSocksAuthenticationFailed, "SOCKS authentication failed");
            return;
        }
        m_reply.erase(0, 2);
        if (OnSocksAuthState)
            OnSocksAuthState(this, socksAuthSuccess);
        SendRequest();
        return;
    case Step::Requesting: {
        if (m_reply.size() < 5)
            return;
        if (byte(0) != kSocks5Version) {
            Fail(kSocksVersionError, "SOCKS version error");
            return;
        }
        if (byte(1) != 0) {
            Fail(kSocksRequestRejected, "SOCKS request rejected");
            return;
        }
        size_t addressSize = 4;
        if (byte(3) == kAddressDomain)
            addressSize = 1 + byte(4);
        else if (byte(3) == kAddressIPv6)
            addressSize = 16;
        else if (byte(3) != kAddressIPv4) {
            Fail(kSocksProtocolError, "SOCKS protocol error");
            return;
        }
        if (m_reply.size() < 4 + addressSize + 2)
            return;
        Succeed();
        return;
    }
    case Step::Idle:
        return;
    }
}

void TCustomSocksWSocket::Succeed()
{
    m_step = Step::Idle;
    m_reply.clear();
    const auto token = aliveToken();
    if (OnSocksConnected)
        OnSocksConnected(this, 0);
    if (token.expired() || State() != wsConnected)
        return;
    TCustomWSocket::TriggerSessionConnected(0);
}

void TCustomSocksWSocket::Fail(int error, const std::string& msg)
{
    m_step = Step::Idle;
    m_reply.clear();
    const auto token = aliveToken();
    if (OnSocksError)
        OnSocksError(this, error, msg);
    if (token.expired())
        return;
    TCustomWSocket::TriggerSessionConnected(static_cast<uint16_t>(error));
    if (token.expired())
        return;
    if (State() != wsClosed)
        Close();
}
