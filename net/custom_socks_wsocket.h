#pragma once

#include "net/custom_wsocket.h"

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

// Adds connections through a SOCKS 4, 4A or 5 server. With SocksServer
// empty the socket connects directly and nothing here is involved. With a
// server, Connect goes to the server and the handshake runs before
// OnSessionConnected; a failed handshake fires OnSocksError, then
// OnSessionConnected with the error, and closes the socket.
class TCustomSocksWSocket : public TCustomWSocket {
public:
    using TSocksErrorEvent =
        std::function<void(TCustomWSocket* sender, int error, const std::string& msg)>;
    using TSocksAuthStateEvent =
        std::function<void(TCustomWSocket* sender, TSocksAuthState authState)>;

    // Handshake failures (outside the socket error numbers).
    static constexpr int kSocksProtocolError = 20001;
    static constexpr int kSocksVersionError = 20002;
    static constexpr int kSocksAuthMethodError = 20003;
    static constexpr int kSocksRequestRejected = 20004;
    static constexpr int kSocksAuthenticationFailed = 20005;
    static constexpr int kSocksResolveError = 20006;

    const std::string& SocksLevel() const { return m_socksLevel; }
    void setSocksLevel(const std::string& value);
    const std::string& SocksServer() const { return m_socksServer; }
    void setSocksServer(const std::string& value);
    const std::string& SocksPort() const { return m_socksPort; }
    void setSocksPort(const std::string& value);
    const std::string& SocksUsercode() const { return m_socksUsercode; }
    void setSocksUsercode(const std::string& value) { m_socksUsercode = value; }
    const std::string& SocksPassword() const { return m_socksPassword; }
    void setSocksPassword(const std::string& value) { m_socksPassword = value; }
    TSocksAuthentication SocksAuthentication() const { return m_socksAuthentication; }
    void setSocksAuthentication(TSocksAuthentication value) { m_socksAuthentication = value; }

    void Connect() override;
    void Listen() override;

    TErrorEvent OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    void TriggerSessionConnected(uint16_t error) override;
    bool TriggerDataAvailable(uint16_t error) override;
    // The handshake's own sends are not the caller's.
    void TriggerDataSent(uint16_t error) override;

private:
    enum class Step { Idle, Greeting, Authenticating, Requesting };

    void SendGreeting();
    void SendRequest();
    void HandleReply();
    void Fail(int error, const std::string& msg);
    void Succeed();
    bool SocksEnabled() const { return !m_socksServer.empty(); }

    std::string m_socksLevel = "5";
    std::string m_socksServer;
    std::string m_socksPort;
    std::string m_socksUsercode;
    std::string m_socksPassword;
    TSocksAuthentication m_socksAuthentication = socksNoAuthentication;

    Step m_step = Step::Idle;
    std::string m_targetAddr;
    std::string m_targetPort;
    std::string m_reply;
};
