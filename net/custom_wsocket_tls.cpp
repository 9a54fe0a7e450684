#include "net/wsocket_internal.h"

// TCustomWSocket: the client side of TLS.

using namespace wsocket_detail;

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
