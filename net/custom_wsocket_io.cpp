#include "net/wsocket_internal.h"

// TCustomWSocket: receiving and the send queue.

using namespace wsocket_detail;

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
