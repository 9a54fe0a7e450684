#include "net/wsocket_internal.h"

// TCustomWSocket: construction, properties, error reports, closing and
// address queries. The other parts: custom_wsocket_lookup.cpp (name
// resolution and lookups), custom_wsocket_connect.cpp (connecting and the
// server side), custom_wsocket_events.cpp (notifications), custom_wsocket_io.cpp
// (receiving and sending), custom_wsocket_tls.cpp (TLS).

using namespace wsocket_detail;

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
    const std::string v = base::trimmed(value);
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
