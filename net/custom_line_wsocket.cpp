#include "net/custom_line_wsocket.h"

#include "net/hidden_window.h"
#include "platform/posted_message.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kReadChunk = 4096;
}

TCustomLineWSocket::TCustomLineWSocket() = default;

void TCustomLineWSocket::setLineMode(bool value)
{
    if (value == m_lineMode)
        return;
    m_lineMode = value;
    if (!m_rcvdBuf.empty())
        Window()->post(kLineModeMessage);
}

int TCustomLineWSocket::Receive(void* buf, int len)
{
    if (m_pendingPos < m_pending.size()) {
        const int n =
            static_cast<int>(std::min<size_t>(std::max(len, 0), m_pending.size() - m_pendingPos));
        std::memcpy(buf, m_pending.data() + m_pendingPos, static_cast<size_t>(n));
        m_pendingPos += static_cast<size_t>(n);
        setReadCount(ReadCount() + n);
        return n;
    }
    return TCustomSocksWSocket::Receive(buf, len);
}

int32_t TCustomLineWSocket::RcvdCount()
{
    if (m_pendingPos < m_pending.size())
        return static_cast<int32_t>(m_pending.size() - m_pendingPos);
    if (m_lineMode)
        return 0;
    return TCustomSocksWSocket::RcvdCount();
}

void TCustomLineWSocket::AppendReceived(const char* data, int len)
{
    if (m_lineEcho && State() == wsConnected)
        Send(data, len);
    if (!m_lineEdit) {
        m_rcvdBuf.append(data, static_cast<size_t>(len));
        return;
    }
    for (int i = 0; i < len; ++i) {
        const char c = data[i];
        if (c == kBackspace) {
            if (!m_rcvdBuf.empty())
                m_rcvdBuf.pop_back();
        } else if (c == kTab) {
            const size_t lineStart = m_rcvdBuf.rfind('\n');
            const size_t column =
                m_rcvdBuf.size() - (lineStart == std::string::npos ? 0 : lineStart + 1);
            m_rcvdBuf.append(kTabWidth - column % kTabWidth, ' ');
        } else {
            m_rcvdBuf += c;
        }
    }
}

bool TCustomLineWSocket::TriggerDataAvailable(uint16_t error)
{
    if (!m_lineMode || m_lineEnd.empty())
        return TCustomSocksWSocket::TriggerDataAvailable(error);
    char chunk[kReadChunk];
    const int n = TCustomSocksWSocket::Receive(chunk, sizeof chunk);
    if (n > 0) {
        // Counted when the handler reads the line, not here.
        setReadCount(ReadCount() - n);
        AppendReceived(chunk, n);
    }
    DeliverLines(error);
    return true;
}

bool TCustomLineWSocket::DeliverPending(uint16_t error)
{
    const auto token = aliveToken();
    if (!OnDataAvailable) {
        m_pending.clear();
        m_pendingPos = 0;
        return true;
    }
    while (m_pendingPos < m_pending.size()) {
        const size_t before = m_pendingPos;
        OnDataAvailable(this, error);
        if (token.expired())
            return false;
        // A handler that does not read its line would be called for ever.
        if (m_pendingPos == before)
            break;
    }
    m_pending.clear();
    m_pendingPos = 0;
    return true;
}

bool TCustomLineWSocket::DeliverLines(uint16_t error)
{
    for (;;) {
        const size_t end = m_rcvdBuf.find(m_lineEnd);
        if (end == std::string::npos)
            return true;
        m_pending = m_rcvdBuf.substr(0, end + m_lineEnd.size());
        m_pendingPos = 0;
        m_rcvdBuf.erase(0, end + m_lineEnd.size());
        if (!DeliverPending(error))
            return false;
        if (!m_lineMode)
            return true;
    }
}

void TCustomLineWSocket::HandleMessage(const platform::PostedMessage& message)
{
    if (message.message() != kLineModeMessage) {
        TCustomSocksWSocket::HandleMessage(message);
        return;
    }
    if (m_rcvdBuf.empty())
        return;
    if (m_lineMode && !m_lineEnd.empty()) {
        DeliverLines(0);
        return;
    }
    m_pending.swap(m_rcvdBuf);
    m_rcvdBuf.clear();
    m_pendingPos = 0;
    DeliverPending(0);
}

void TCustomLineWSocket::TriggerSessionClosed(uint16_t error)
{
    if (m_lineMode && !m_rcvdBuf.empty()) {
        m_pending.swap(m_rcvdBuf);
        m_rcvdBuf.clear();
        m_pendingPos = 0;
        const auto token = aliveToken();
        if (!DeliverPending(0) || token.expired())
            return;
    }
    m_rcvdBuf.clear();
    m_rcvdBuf.shrink_to_fit();
    TCustomSocksWSocket::TriggerSessionClosed(error);
}
