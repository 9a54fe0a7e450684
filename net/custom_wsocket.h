#pragma once

#include "net/buffer.h"
#include "net/socket_error.h"
#include "platform/socket_library.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <QSocketNotifier>
#include <QTimer>
#include <string>
#include <vector>

class HiddenWindow;
struct ssl_st;
namespace platform {
class PostedMessage;
}

enum TSocketState {
    wsInvalidState = 0,
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5,
    wsListening = 6,
    wsClosed = 7
};

enum TSocketSendFlags { wsSendNormal = 0, wsSendUrgent = 1 };

enum TSocketLingerOnOff { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

using TSocket = int;
constexpr TSocket INVALID_SOCKET = -1;

// The event-driven TCP/UDP socket: connect, listen, queued sending and
// notifications turned into events, all on the thread that created it.
//
// Contracts callers rely on:
// - Nothing blocks except the explicit waits (Flush, the wait facility) and
//   the name resolution done by Connect and Listen for names that are not
//   yet resolved (DnsLookup is asynchronous).
// - Every event is delivered from the event loop of the owning thread.
//   OnDataSent is never fired inside Send; OnDnsLookupDone for a name is never
//   fired inside DnsLookup (for a dotted address it is, before DnsLookup
//   returns).
// - OnSessionClosed fires at most once per session.
// - Misuse is reported through OnError when a handler is assigned (the text
//   is dropped), otherwise by raising ESocketException; errors that arrive
//   with notifications are passed as the Error argument of the events.
// - After every event handler the socket checks whether the handler closed
//   or destroyed it before it touches its own state again. A handler that
//   deletes the socket destroys its own function object with it, so, as with
//   `delete this`, it must not use its captures afterwards.
//
// TLS (client side): StartTls on a connected stream socket runs the
// handshake from the same readiness events; OnTlsDone reports its outcome
// once, from the loop. A failure (a code 21001-21007, or a socket error such
// as 10054 for a reset) closes the socket afterwards and OnSessionClosed
// follows with the same code. A Close or Abort by the owner during the
// handshake ends it without OnTlsDone. Once established, Send encrypts and
// Receive returns decrypted bytes; Close sends close_notify first.
class TCustomWSocket {
public:
    using TNotifyEvent = std::function<void(TCustomWSocket* sender)>;
    using TErrorEvent = std::function<void(TCustomWSocket* sender, uint16_t error)>;
    using TChangeStateEvent =
        std::function<void(TCustomWSocket* sender, TSocketState oldState, TSocketState newState)>;
    using TBgExceptionEvent =
        std::function<void(TCustomWSocket* sender, const std::exception& e, bool& canClose)>;

    // Messages of the socket's hidden window.
    static constexpr int kNotifyMessage = 1025; // wParam handle, lParam bit | error << 16
    static constexpr int kLookupMessage = 1026; // wParam lookup handle, error << 16
    static constexpr int kReverseLookupMessage = 1027;
    static constexpr int kLineModeMessage = 1044;
    static constexpr int kTlsMessage = 1045; // wParam handle, lParam error << 16

    // Notification bits, numbered as Windows Sockets numbers them.
    static constexpr int FD_READ = 0x01;
    static constexpr int FD_WRITE = 0x02;
    static constexpr int FD_OOB = 0x04;
    static constexpr int FD_ACCEPT = 0x08;
    static constexpr int FD_CONNECT = 0x10;
    static constexpr int FD_CLOSE = 0x20;

    static constexpr int kMaxHostLength = 256;
    static constexpr int kMaxPortLength = 32;
    static constexpr int kDiscardChunk = 1024;
    static constexpr int kListenBacklog = 5;
    static constexpr int kDefaultFlushTimeout = 60;
    static constexpr int kUdpProtocol = 17;

    TCustomWSocket();
    virtual ~TCustomWSocket();
    TCustomWSocket(const TCustomWSocket&) = delete;
    TCustomWSocket& operator=(const TCustomWSocket&) = delete;

    // Properties.
    const std::string& Addr() const { return m_addr; }
    void setAddr(const std::string& value);
    const std::string& Port() const { return m_port; }
    void setPort(const std::string& value);
    const std::string& Proto() const { return m_proto; }
    void setProto(const std::string& value);
    const std::string& LocalPort() const { return m_localPort; }
    void setLocalPort(const std::string& value);
    const std::string& DnsResult() const { return m_dnsResult; }
    const std::vector<std::string>& DnsResultList() const { return m_dnsResultList; }
    TSocketState State() const { return m_state; }
    int32_t ReadCount() const { return m_readCount; }
    void setReadCount(int32_t value) { m_readCount = value; }
    // Bytes waiting to be read now; asks the system each time.
    virtual int32_t RcvdCount();
    int32_t LastError() const { return m_lastError; }
    bool MultiThreaded() const { return m_multiThreaded; }
    void setMultiThreaded(bool value) { m_multiThreaded = value; }
    int32_t FlushTimeout() const { return m_flushTimeout; }
    void setFlushTimeout(int32_t value) { m_flushTimeout = value; }
    TSocketSendFlags SendFlags() const;
    // Accepts only wsSendNormal and wsSendUrgent; an int so that a bad value
    // can be refused rather than made impossible to express.
    void setSendFlags(int value);
    TSocketLingerOnOff LingerOnOff() const { return m_lingerOnOff; }
    void setLingerOnOff(TSocketLingerOnOff value) { m_lingerOnOff = value; }
    int32_t LingerTimeout() const { return m_lingerTimeout; }
    void setLingerTimeout(int32_t value) { m_lingerTimeout = value; }
    TSocket HSocket() const { return m_handle; }

    // Operations.
    virtual void Connect();
    virtual void Listen();
    TSocket Accept();
    void Dup(TSocket handle);
    void Close();
    void Abort();
    void Shutdown(int how);
    void DnsLookup(const std::string& host);
    void ReverseDnsLookup(const std::string& addr);
    void CancelDnsLookup();
    int Send(const void* data, int len);
    int SendStr(const std::string& s);
    virtual int Receive(void* buf, int len);
    std::string ReceiveStr();
    int ReceiveFrom(void* buf, int len, sockaddr_in& from);
    int SendTo(const sockaddr_in& to, const void* data, int len);
    void Flush();
    void Pause();
    void Resume();
    void ProcessMessages();
    std::string GetPeerAddr();
    std::string GetXPort();
    int GetPeerName(sockaddr_in& name);
    int GetSockName(sockaddr_in& name);
    bool AllSent() const { return m_allSent; }
    // Starts a client TLS handshake on a connected socket (also one inside a
    // proxy tunnel). serverName is checked against the peer's certificate
    // and sent as SNI unless it is an IP literal. Misuse (not connected, TLS
    // already started) raises as other misuse does.
    void StartTls(const std::string& serverName);
    // From StartTls until the session closes.
    bool TlsActive() const { return m_ssl != nullptr || m_tlsHandshaking; }
    // The last completed handshake resumed a cached session.
    bool TlsSessionReused() const { return m_tlsReused; }

    // Events.
    TErrorEvent OnDataAvailable;
    TErrorEvent OnDataSent;
    TErrorEvent OnSessionClosed;
    TErrorEvent OnSessionAvailable;
    TErrorEvent OnSessionConnected;
    TErrorEvent OnDnsLookupDone;
    TErrorEvent OnTlsDone;
    TChangeStateEvent OnChangeState;
    TNotifyEvent OnLineTooLong;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

protected:
    // Resolution routines; they block and raise ESocketException.
    in_addr_t WSocketResolveHost(const std::string& host);
    // Every address for Connect and Listen to try, in order: an IPv6 or IPv4
    // literal, the results of this socket's last DnsLookup when Addr is the
    // first of them, else all IPv4 and IPv6 addresses of the name.
    std::vector<sockaddr_storage> ResolveAddresses(const std::string& host);
    uint16_t WSocketResolvePort(const std::string& port, const std::string& proto);
    int WSocketResolveProto(const std::string& proto);

    // Reports a misuse: OnError when assigned, else ESocketException.
    void RaiseException(const std::string& message);
    // Reports a failed system call named `function` with the socket error
    // code given (or taken from errno when 0).
    void SocketError(const std::string& function, int code = 0);

    void ChangeState(TSocketState newState);
    // Closing routine shared by Close and Abort.
    void InternalClose(bool shutdownFirst, uint16_t error);
    void SetDefaults();
    void ApplyLinger();
    void BindLocal(int fd);

    // Hooks for the classes built on this one.
    virtual void HandleMessage(const platform::PostedMessage& message);
    virtual void HandleNotification(int bits, uint16_t error);
    // Fires OnDataAvailable; returns false when no handler is assigned.
    virtual bool TriggerDataAvailable(uint16_t error);
    virtual void TriggerSessionConnected(uint16_t error);
    virtual void TriggerSessionClosed(uint16_t error);
    virtual void TriggerDataSent(uint16_t error);
    void ReadLoop(uint16_t error);
    void TryToSend();
    void PutDataInSendBuffer(const void* data, int len);
    void DeleteBufferedData();
    // Raw read used by Receive and by line mode.
    int DoRecv(void* buf, int len, int flags);

    // A token that dies with the object: callers keep a weak copy across a
    // user callback and stop when it has expired.
    std::weak_ptr<int> aliveToken() const { return m_alive; }
    bool Destroying() const { return m_destroying; }
    void setDestroying() { m_destroying = true; }
    void BgException(const std::exception& e);
    void SetNotifications(int mask);
    void UpdateWriteNotifier();
    HiddenWindow* Window() const { return m_window; }
    platform::SocketLibrary& Lib() const { return m_lib; }

    // Current session's remote end (IPv4 or IPv6).
    sockaddr_storage m_sin{};
    bool m_closeEventFired = false;
    bool m_terminated = false;

private:
    struct LookupJob;

    void onReadReady();
    void onWriteReady();
    void onStallCheck();
    // Reading the readiness of a stream socket from poll's result.
    static bool HungUp(short revents);
    int PendingError(short revents);
    void AttachNotifiers();
    void DetachNotifiers();
    bool PrepareLookup(const std::string& text);
    void StartLookup(const std::string& text, int message);
    void HandleLookupDone(const platform::PostedMessage& message);
    // Opens a socket for m_addrList[m_addrIndex] and starts connecting.
    void ConnectAddress(bool first);
    // After a failed connect: tries the next address; false when none is
    // left.
    bool ConnectNextAddress();
    void TlsHandshakeStep();
    void TlsFail(int code);
    // Frees the TLS connection; with notifyPeer an established session
    // sends close_notify first.
    void ReleaseTls(bool notifyPeer);
    int TlsRecv(void* buf, int len, int flags);
    int32_t TlsPending();
    // Bytes already inside TLS give no readiness event: a read notification
    // is posted for them instead (after Resume, after a stall).
    void PostTlsReadIfPending();
    // Ends a session whose TLS layer failed while reading.
    void CloseBrokenTls();
    bool AssignOrCheckClosed(std::string& field, const std::string& value, const char* name,
                             bool& resolved, bool sameValueIgnored);

    platform::SocketLibrary& m_lib;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    HiddenWindow* m_window = nullptr;
    TSocket m_handle = INVALID_SOCKET;
    TSocketState m_state = wsClosed;

    std::string m_addr;
    std::string m_port;
    std::string m_proto = "tcp";
    std::string m_localPort = "0";
    bool m_addrResolved = false;
    bool m_portResolved = false;
    bool m_protoResolved = false;
    bool m_localPortResolved = false;
    int m_protoNum = 6;
    int m_sockType = SOCK_STREAM;
    uint16_t m_localPortNum = 0; // network byte order
    uint16_t m_portNum = 0;      // network byte order
    std::vector<sockaddr_storage> m_addrList;
    size_t m_addrIndex = 0;

    std::string m_dnsResult;
    std::vector<std::string> m_dnsResultList;
    int32_t m_readCount = 0;
    int32_t m_lastError = 0;
    bool m_multiThreaded = false;
    int32_t m_flushTimeout = kDefaultFlushTimeout;
    int m_sendFlags = wsSendNormal;
    TSocketLingerOnOff m_lingerOnOff = wsLingerOn;
    int32_t m_lingerTimeout = 0;

    std::deque<std::unique_ptr<TBuffer>> m_bufList;
    int m_bufSize = TBuffer::kDefaultSize;
    bool m_allSent = true;
    bool m_paused = false;
    bool m_destroying = false;

    int m_selectMask = 0;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    // The notifiers watch the current handle.
    bool m_notifiersAttached = false;
    // Reads the handler left pending without reading anything: the read
    // notifier rests and a slow timer watches for the peer hanging up.
    QTimer m_stallTimer;
    bool m_stalled = false;
    uint64_t m_recvCalls = 0;
    // The last read of a stream socket emptied the system's buffer.
    bool m_drained = false;
    uint64_t m_acceptCalls = 0;
    // Waiting for room in the system's send buffer.
    bool m_writePending = false;
    // A connect failure reported by the call itself is on its way as a
    // posted notification; the write notifier must not report it again.
    bool m_connectPosted = false;

    ssl_st* m_ssl = nullptr;
    bool m_tlsHandshaking = false;
    // A fatal TLS error happened: no close_notify, the session ends with
    // m_tlsError.
    bool m_tlsBroken = false;
    int m_tlsError = 0;
    bool m_tlsReused = false;
    // The peer's end of the TLS session has been posted as a close.
    bool m_tlsEndPosted = false;
    // Session cache key (server name and port) while TLS runs.
    std::string m_tlsKey;

    std::shared_ptr<LookupJob> m_lookup;
    int m_lookupHandle = 0;
};
