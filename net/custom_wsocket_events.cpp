#include "net/wsocket_internal.h"

// TCustomWSocket: readiness notifications turned into events, and the read loop.

using namespace wsocket_detail;

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
