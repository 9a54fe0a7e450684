#include "net/wsocket_internal.h"

// TCustomWSocket: connecting, and the server side.

using namespace wsocket_detail;

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
