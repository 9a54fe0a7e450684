#pragma once

#include "net/custom_socks_wsocket.h"

// Adds line mode. With LineMode set, received bytes collect in a buffer and
// OnDataAvailable fires once per complete line (ending with LineEnd); the
// handler reads the line with Receive. Without it, data is delivered as it
// arrives. A partial line still buffered when the session closes is
// delivered as the last line before OnSessionClosed.
class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    static constexpr char kBackspace = 8;
    static constexpr char kTab = 9;
    static constexpr int kTabWidth = 8;

    TCustomLineWSocket();

    bool LineMode() const { return m_lineMode; }
    // Switching while bytes are buffered delivers them again, from the event
    // loop, under the new mode.
    void setLineMode(bool value);
    const std::string& LineEnd() const { return m_lineEnd; }
    void setLineEnd(const std::string& value) { m_lineEnd = value; }
    bool LineEcho() const { return m_lineEcho; }
    void setLineEcho(bool value) { m_lineEcho = value; }
    bool LineEdit() const { return m_lineEdit; }
    void setLineEdit(bool value) { m_lineEdit = value; }

    int Receive(void* buf, int len) override;
    int32_t RcvdCount() override;

protected:
    bool TriggerDataAvailable(uint16_t error) override;
    void TriggerSessionClosed(uint16_t error) override;
    void HandleMessage(const platform::PostedMessage& message) override;

private:
    void AppendReceived(const char* data, int len);
    // Fires OnDataAvailable until the pending bytes have been read. Returns
    // false when the socket went away meanwhile.
    bool DeliverPending(uint16_t error);
    bool DeliverLines(uint16_t error);

    bool m_lineMode = false;
    std::string m_lineEnd = "\r\n";
    bool m_lineEcho = false;
    bool m_lineEdit = false;
    std::string m_rcvdBuf; // received, not yet a complete line
    std::string m_pending; // the line being delivered
    size_t m_pendingPos = 0;
};
