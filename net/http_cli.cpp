#include "net/http_cli.h"

#include "base/ascii.h"
#include "net/hidden_window.h"
#include "platform/message_wait.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <QCoreApplication>
#include <QDate>

namespace {

const char* const kCrLf = "\r\n";
const char* const kHttpVersion = "1.0";
const char* const kDefaultPort = "80";
const char* const kDefaultTlsPort = "443";
const char* const kDefaultProto = "http";
const char* const kTlsProto = "https";
const char* const kTunnelVersion = "1.1";
const char* const kLineTooLongText = "HTTP line too long";
const char* const kResolveFailure = "can't resolve hostname to IP address";
const char* const kAbortedText = "Connection aborted on request";
constexpr size_t kStatusPrefixLength = 8; // "HTTP/1.x"
constexpr size_t kStatusCodeOffset = 9;
constexpr size_t kStatusCodeLength = 3;
constexpr size_t kReasonOffset = 13;
constexpr size_t kHtmlTagLength = 6; // "<HTML>"

bool isTlsScheme(const std::string& proto)
{
    return base::equalsIgnoreCase(proto, kTlsProto);
}

const char* defaultPort(bool tls)
{
    return tls ? kDefaultTlsPort : kDefaultPort;
}

// The status code from characters 10 to 12 of a status line; 0 when they
// are not three digits, so that a malformed status never stops the exchange.
int32_t statusCodeOf(const std::string& line)
{
    if (line.size() < kStatusCodeOffset + kStatusCodeLength)
        return 0;
    int32_t code = 0;
    for (size_t i = kStatusCodeOffset; i < kStatusCodeOffset + kStatusCodeLength; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i])))
            return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

// A header value read as a decimal number; -1 when it is not one.
int32_t contentLengthOf(const std::string& value)
{
    size_t i = 0;
    while (i < value.size() && value[i] == ' ')
        ++i;
    if (i == value.size() || !std::isdigit(static_cast<unsigned char>(value[i])))
        return -1;
    int64_t n = 0;
    for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
        n = n * 10 + (value[i] - '0');
        if (n > INT32_MAX)
            return -1;
    }
    return static_cast<int32_t>(n);
}

std::string describe(int error)
{
    return SocketErrorDesc(error) + " (Error #" + std::to_string(error) + ")";
}

// The URL without its "#fragment", which names a place in the document
// and is never sent.
std::string withoutFragment(const std::string& url)
{
    return url.substr(0, url.find('#'));
}

// The request target as sent: blanks become "%20".
std::string encodeBlanks(const std::string& path)
{
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

// The name the socket looks up: an IPv6 literal without its brackets.
std::string socketHost(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

// A TCP port written as a decimal number from 1 to 65535.
bool validPort(const std::string& port)
{
    if (port.empty() || port.size() > 5)
        return false;
    int value = 0;
    for (char c : port) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

// Answers that never carry a body, whatever their header says.
bool answerWithoutBody(THttpRequest kind, int32_t status)
{
    return kind == rqHead || status == 204 || status == 304 || (status >= 100 && status < 200);
}

qintptr doneParam(THttpRequest kind, uint16_t error)
{
    return static_cast<qintptr>((static_cast<uint32_t>(error) << 16) | static_cast<uint32_t>(kind));
}

} // namespace

// ------------------------------------------------------------ helpers

void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path)
{
    proto.clear();
    user.clear();
    pass.clear();
    host.clear();
    port.clear();
    path.clear();
    if (url.empty())
        return;

    std::string rest;
    const size_t scheme = url.find("://");
    if (scheme != std::string::npos) {
        proto = url.substr(0, scheme);
        rest = url.substr(scheme + 3);
    } else if (url[0] == '/') {
        proto = kDefaultProto;
        if (url.size() > 1 && url[1] != '/') {
            path = url;
            return;
        }
        rest = url.substr(1);
    } else if (base::toLower(url.substr(0, 5)) == "http:") {
        proto = kDefaultProto;
        if (url.size() > 6 && url[6] != '/') {
            path = url.substr(5);
            return;
        }
        rest = url.substr(std::min<size_t>(6, url.size()));
    } else if (base::toLower(url.substr(0, 7)) == "mailto:") {
        proto = "mailto";
        rest = url.substr(url.find(':') + 1);
    } else {
        rest = url;
    }

    const size_t slash = rest.find('/');
    std::string authority = rest;
    if (slash != std::string::npos) {
        path = rest.substr(slash);
        authority = rest.substr(0, slash);
    }
    const size_t at = authority.rfind('@');
    const std::string hostPort = at == std::string::npos ? authority : authority.substr(at + 1);
    if (!hostPort.empty() && hostPort[0] == '[' && hostPort.find(']') != std::string::npos) {
        // An IPv6 literal: its colons are not the port's.
        const size_t close = hostPort.find(']');
        host = hostPort.substr(0, close + 1);
        if (close + 1 < hostPort.size() && hostPort[close + 1] == ':')
            port = hostPort.substr(close + 2);
    } else {
        const size_t colon = hostPort.rfind(':');
        host = hostPort.substr(0, colon);
        if (colon != std::string::npos)
            port = hostPort.substr(colon + 1);
    }
    if (at == std::string::npos)
        return;
    const std::string credentials = authority.substr(0, at);
    const size_t split = credentials.find(':');
    if (split == std::string::npos) {
        user = credentials;
    } else {
        user = credentials.substr(0, split);
        pass = credentials.substr(split + 1);
    }
}

std::string Base64Encode(const std::string& input)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((input.size() + 2) / 3 * 4);
    size_t i = 0;
    const auto byte = [&input](size_t k) { return static_cast<unsigned char>(input[k]); };
    for (; i + 2 < input.size(); i += 3) {
        const uint32_t v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i + 1 == input.size()) {
        const uint32_t v = byte(i) << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == input.size()) {
        const uint32_t v = (byte(i) << 16) | (byte(i + 1) << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string RFC1123Date(double dateTime)
{
    static const char weekdays[] = "MonTueWedThuFriSatSun";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const auto days = static_cast<int64_t>(std::floor(dateTime));
    const int weekday = static_cast<int>((((days - 2) % 7) + 7) % 7);
    const QDate date = QDate(1899, 12, 30).addDays(days);
    const double fraction = dateTime - static_cast<double>(days);
    // Rounded to the millisecond first, as the time of day is stored.
    const auto ms = static_cast<int64_t>(std::llround(fraction * 86400000.0));
    const int64_t seconds = std::min<int64_t>(ms / 1000, 86399);
    char text[64];
    std::snprintf(text, sizeof text, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d",
                  weekdays + 3 * weekday, date.day(), months + 3 * (date.month() - 1), date.year(),
                  static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return text;
}

std::string DocNameFromPath(const std::string& path)
{
    if (path.empty() || path == "/")
        return "document.htm";
    // The query is cut first: it may hold slashes of its own (an address
    // passed as a parameter), which must not decide the name.
    std::string p = path.substr(0, path.find('?'));
    if (!p.empty() && p.back() == '/')
        p.pop_back();
    const size_t slash = p.rfind('/');
    std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    return name.substr(0, THttpCli::kMaxDocNameLength);
}

// ------------------------------------------------------------ construction

THttpCli::THttpCli()
{
    m_window = new HiddenWindow([this](const platform::PostedMessage& m) { HandleMessage(m); });
    m_timeLimit.setSingleShot(true);
    QObject::connect(&m_timeLimit, &QTimer::timeout, m_window, [this] { TimeLimitReached(); });
    m_ctrlSocket.OnSessionClosed = [this](TCustomWSocket*, uint16_t error) {
        if (m_closedRoute == ClosedRoute::Relocation)
            LocationSessionClosed();
        else
            SocketSessionClosed(error);
    };
    m_ctrlSocket.OnDataAvailable = [this](TCustomWSocket*, uint16_t) { SocketDataAvailable(); };
    m_ctrlSocket.OnSessionConnected = [this](TCustomWSocket*, uint16_t error) {
        SocketSessionConnected(error);
    };
    m_ctrlSocket.OnDataSent = [this](TCustomWSocket*, uint16_t) { SocketDataSent(); };
    m_ctrlSocket.OnDnsLookupDone = [this](TCustomWSocket*, uint16_t error) {
        SocketDnsLookupDone(error);
    };
    m_ctrlSocket.OnTlsDone = [this](TCustomWSocket*, uint16_t error) { SocketTlsDone(error); };
}

THttpCli::~THttpCli()
{
    m_ctrlSocket.OnSessionClosed = nullptr;
    m_ctrlSocket.OnDataAvailable = nullptr;
    m_ctrlSocket.OnSessionConnected = nullptr;
    m_ctrlSocket.OnDataSent = nullptr;
    m_ctrlSocket.OnDnsLookupDone = nullptr;
    m_ctrlSocket.OnTlsDone = nullptr;
    m_timeLimit.stop();
    HiddenWindow::release(m_window);
}

void THttpCli::setMultiThreaded(bool v)
{
    m_multiThreaded = v;
    m_ctrlSocket.setMultiThreaded(v);
}

void THttpCli::StateChange(THttpClientState newState)
{
    const THttpClientState old = m_state;
    m_state = newState;
    if (newState == hsReady)
        m_timeLimit.stop();
    if (OnStateChange)
        OnStateChange(this);
    if (newState == hsReady && old != hsReady)
        m_window->post(kRequestDoneMessage, m_serial, doneParam(m_requestType, m_requestDoneError));
}

// ------------------------------------------------------------ starting

void THttpCli::GetAsync()
{
    StartRequest(rqGet);
}

void THttpCli::PostAsync()
{
    StartRequest(rqPost);
}

void THttpCli::HeadAsync()
{
    StartRequest(rqHead);
}

void THttpCli::Get()
{
    StartRequest(rqGet);
    const quintptr serial = m_serial;
    // Waits for the completion message itself, not only for hsReady, so
    // that OnRequestDone has run when Get returns. Both message pumps are
    // the thread's event loop.
    platform::deliverMessagesUntil([this, serial] { return m_doneSerial == serial; });
    if (m_statusCode >= 400)
        throw EHttpException(m_reasonPhrase, m_statusCode);
    if (m_requestDoneError != 0)
        throw EHttpException(describe(m_requestDoneError), m_requestDoneError);
}

void THttpCli::StartRequest(THttpRequest kind)
{
    if (m_state != hsReady)
        throw EHttpException("HTTP component is busy", kErrorBusy);
    if (kind == rqPost && !m_sendStream)
        throw EHttpException("HTTP component has nothing to post", kErrorNothingToPost);

    m_rcvdHeader.clear();
    m_requestType = kind;
    m_requestDoneError = 0;
    m_closedRoute = ClosedRoute::EndOfConnection;
    ++m_serial;
    m_relocations = 0;

    StateChange(hsNotConnected);
    m_docName.clear();
    m_statusCode = 0;
    m_reasonPhrase.clear();
    m_contentType.clear();
    m_rcvdCount = 0;
    m_sentCount = 0;
    m_rcvdTruncated = false;
    m_headerless = false;
    m_relocationLimitReached = false;
    m_headerLineCount = 0;
    m_bodyDataCount = 0;
    m_answerBytes = 0;
    m_bodyBytes = 0;
    m_bodyComplete = false;
    m_receiveError = 0;
    m_contentLength = -1;
    m_allowedToSend = false;
    m_location = m_url;
    m_receiveLen = 0;
    m_connected = false;
    m_locationChangeFlag = false;
    m_next = NextStep::None;
    m_tunnel = Tunnel::None;
    if (kind == rqPost)
        m_sendStreamStart = m_sendStream->pos();

    std::string proto, user, pass, host, port, path;
    ParseURL(withoutFragment(m_url), proto, user, pass, host, port, path);
    m_targetHost = host;
    m_targetPort = port;
    m_tls = isTlsScheme(proto);
    if (!user.empty())
        m_username = user;
    if (!pass.empty())
        m_password = pass;
    if (m_proxy.empty() || m_tls) {
        // Direct, or through the proxy's tunnel: the server sees the path.
        m_path = path;
    } else {
        m_path = (proto.empty() ? std::string(kDefaultProto) : proto) + "://" + host +
                 (port.empty() ? "" : ":" + port) + path;
    }
    if (m_proxy.empty()) {
        m_hostName = socketHost(host);
        m_port = port.empty() ? defaultPort(m_tls) : port;
    } else {
        std::string pProto, pUser, pPass, pHost, pPort, pPath;
        ParseURL(m_proxy, pProto, pUser, pPass, pHost, pPort, pPath);
        m_hostName = socketHost(pHost);
        m_port = pPort.empty() ? m_proxyPort : pPort;
    }
    if (m_path.empty())
        m_path = "/";
    m_docName = DocNameFromPath(path);

    StartLookup();
}

void THttpCli::StartLookup()
{
    StateChange(hsDnsLookup);
    Progress();
    if (m_hostName.empty()) {
        // No host to look up: complete through the normal path, so the
        // client never stays busy and the caller hears of it.
        Fail(wsock::WSAEINVAL, kResolveFailure);
        return;
    }
    if (!validPort(m_port)) {
        // Refused here rather than wrapped or looked up as a service name.
        Fail(wsock::WSAEINVAL, "can't connect: " + describe(wsock::WSAEINVAL));
        return;
    }
    try {
        m_ctrlSocket.DnsLookup(m_hostName);
    } catch (const ESocketException&) {
        const int code = m_ctrlSocket.LastError();
        Fail(static_cast<uint16_t>(code ? code : wsock::WSAEINVAL), kResolveFailure);
    }
}

// Records a local failure and ends the request through the end-of-connection
// step.
void THttpCli::Fail(uint16_t error, const std::string& reason)
{
    m_requestDoneError = error;
    m_statusCode = kLocalFailureStatus;
    m_reasonPhrase = reason;
    SocketSessionClosed();
}

// (Re)starts the time limit: the request has just made progress.
void THttpCli::Progress()
{
    if (m_requestTimeout > 0 && m_state != hsReady && m_state != hsAborting)
        m_timeLimit.start(m_requestTimeout * 1000);
}

void THttpCli::TimeLimitReached()
{
    if (m_state == hsReady || m_state == hsAborting)
        return;
    Terminate(wsock::WSAETIMEDOUT, describe(wsock::WSAETIMEDOUT), false);
}

// ------------------------------------------------------------ messages

void THttpCli::HandleMessage(const platform::PostedMessage& message)
{
    switch (message.message()) {
    case kRequestDoneMessage: {
        m_doneSerial = message.wParam();
        const auto kind = static_cast<THttpRequest>(message.lParam() & 0xFFFF);
        const auto error = static_cast<uint16_t>((message.lParam() >> 16) & 0xFFFF);
        // A copy runs, because the handler may delete this client and
        // with it the handler object itself.
        if (const TRequestDoneEvent handler = OnRequestDone)
            handler(this, kind, error);
        return;
    }
    case kSetReadyMessage:
        if (message.wParam() == m_serial && m_state != hsReady)
            StateChange(hsReady);
        return;
    case kRelocationMessage:
        if (message.wParam() == m_serial && m_state != hsReady && m_state != hsAborting)
            StartLookup();
        return;
    default:
        return;
    }
}

// ------------------------------------------------------------ socket events

void THttpCli::SocketDnsLookupDone(uint16_t error)
{
    if (m_state != hsDnsLookup)
        return;
    if (error != 0) {
        Fail(error, kResolveFailure);
        return;
    }
    StateChange(hsDnsLookupDone);
    Progress();
    try {
        m_ctrlSocket.setAddr(m_ctrlSocket.DnsResult());
        m_ctrlSocket.setPort(m_port);
        m_ctrlSocket.setProto("tcp");
        m_ctrlSocket.Connect();
    } catch (const ESocketException&) {
        // A refusal without a socket error number (a port that is not a
        // number, for instance) must not pass for success.
        const int code = m_ctrlSocket.LastError() ? m_ctrlSocket.LastError() : wsock::WSAEINVAL;
        m_requestDoneError = static_cast<uint16_t>(code);
        m_statusCode = kLocalFailureStatus;
        m_reasonPhrase = "can't connect: " + describe(code);
        try {
            m_ctrlSocket.Close();
        } catch (const ESocketException&) {
        }
        SocketSessionClosed();
    }
}

void THttpCli::SocketSessionConnected(uint16_t error)
{
    if (error != 0) {
        if (m_state == hsAborting)
            return;
        Fail(error, describe(error));
        return;
    }
    m_connected = true;
    m_tunnel = Tunnel::None;
    StateChange(hsConnected);
    Progress();
    if (OnSessionConnected)
        OnSessionConnected(this);
    if (!m_tls) {
        SendRequestHeader();
        return;
    }
    try {
        if (m_proxy.empty())
            m_ctrlSocket.StartTls(socketHost(m_targetHost));
        else
            OpenTunnel();
    } catch (const std::exception&) {
        m_ctrlSocket.Close();
    }
}

// The request goes out once TLS is up; a failed handshake has closed the
// socket already, and its close completes the request with the TLS code.
void THttpCli::SocketTlsDone(uint16_t error)
{
    if (m_state != hsConnected)
        return;
    if (error != 0) {
        m_requestDoneError = error;
        m_statusCode = kLocalFailureStatus;
        m_reasonPhrase = describe(error);
        return;
    }
    Progress();
    SendRequestHeader();
}

void THttpCli::SendRequestHeader()
{
    m_next = NextStep::HeaderLine;
    StateChange(hsWaitingHeader);
    try {
        switch (m_requestType) {
        case rqPost:
            SendRequest("POST");
            if (OnSendBegin)
                OnSendBegin(this);
            m_allowedToSend = true;
            SendNextBodyChunk();
            break;
        case rqHead:
            SendRequest("HEAD");
            break;
        default:
            SendRequest("GET");
            break;
        }
    } catch (const std::exception&) {
        m_ctrlSocket.Close();
    }
}

// Asks the proxy for a tunnel to the server; its answer is read by the
// header-line step (TunnelAnswerLine).
void THttpCli::OpenTunnel()
{
    const std::string authority =
        m_targetHost + ":" + (m_targetPort.empty() ? std::string(kDefaultTlsPort) : m_targetPort);
    std::string header;
    const auto line = [this, &header](const std::string& text) {
        if (OnCommand)
            OnCommand(this, text);
        header += text;
        header += kCrLf;
    };
    line("CONNECT " + authority + " HTTP/" + kTunnelVersion);
    line("Host: " + authority);
    if (!m_proxyUsername.empty())
        line("Proxy-Authorization: Basic " + Base64Encode(m_proxyUsername + ":" + m_proxyPassword));
    header += kCrLf;
    m_tunnel = Tunnel::Requested;
    m_next = NextStep::HeaderLine;
    StateChange(hsWaitingHeader);
    m_ctrlSocket.SendStr(header);
}

// One line of the proxy's answer to CONNECT. Returns true when the line is
// the tunnel's business; false hands it to the ordinary header step, which
// takes a refusal as the request's answer.
bool THttpCli::TunnelAnswerLine(const std::string& line)
{
    if (m_tunnel == Tunnel::Requested) {
        const std::string prefix = line.substr(0, kStatusPrefixLength);
        const bool status = prefix == "HTTP/1.0" || prefix == "HTTP/1.1";
        const int32_t code = status ? statusCodeOf(line) : 0;
        if (code >= 200 && code < 300) {
            m_tunnel = Tunnel::Accepted;
            return true;
        }
        m_tunnel = Tunnel::Refused;
        return false;
    }
    if (m_tunnel != Tunnel::Accepted)
        return false;
    if (line.empty())
        TunnelEstablished();
    return true;
}

// The proxy has opened the tunnel: TLS to the server starts inside it.
// Nothing of the proxy's answer belongs to the server's.
void THttpCli::TunnelEstablished()
{
    m_tunnel = Tunnel::Established;
    m_next = NextStep::None;
    m_receiveLen = 0;
    m_answerBytes = 0;
    StateChange(hsConnected);
    try {
        m_ctrlSocket.StartTls(socketHost(m_targetHost));
    } catch (const std::exception&) {
        m_ctrlSocket.Close();
    }
}

void THttpCli::SendRequest(const std::string& method)
{
    std::string header;
    const auto line = [this, &header](const std::string& text) {
        if (OnCommand)
            OnCommand(this, text);
        header += text;
        header += kCrLf;
    };
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    line(method + " " + encodeBlanks(m_path) + " HTTP/" + kHttpVersion);
    if (!m_sender.empty())
        line("From: " + m_sender);
    if (!m_accept.empty())
        line("Accept: " + m_accept);
    if (!m_reference.empty())
        line("Referer: " + m_reference);
    if (m_requestType == rqPost && !m_contentTypePost.empty())
        line("Content-Type: " + m_contentTypePost);
    if (!m_agent.empty())
        line("User-Agent: " + m_agent);
    line("Host: " + m_targetHost);
    if (m_noCache)
        line("Pragma: no-cache");
    if (m_requestType == rqPost)
        line("Content-Length: " + std::to_string(m_sendStream ? m_sendStream->size() : 0));
    if (m_modifiedSince != 0)
        line("If-Modified-Since: " + RFC1123Date(m_modifiedSince) + " GMT");
    if (!m_username.empty())
        line("Authorization: Basic " + Base64Encode(m_username + ":" + m_password));
    // Inside a tunnel the server would read the proxy's credentials.
    if (!m_proxy.empty() && !m_proxyUsername.empty() && m_tunnel == Tunnel::None)
        line("Proxy-Authorization: Basic " + Base64Encode(m_proxyUsername + ":" + m_proxyPassword));
    if (!m_cookie.empty())
        line("Cookie: " + m_cookie);
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
    header += kCrLf;
    m_ctrlSocket.SendStr(header);
}

void THttpCli::SendNextBodyChunk()
{
    if (!m_allowedToSend || !m_sendStream)
        return;
    char chunk[kSendChunkSize];
    const qint64 n = m_sendStream->read(chunk, kSendChunkSize);
    if (n > 0) {
        m_sentCount += n;
        if (OnSendData)
            OnSendData(this, chunk, static_cast<int>(n));
        m_ctrlSocket.Send(chunk, static_cast<int>(n));
        return;
    }
    m_allowedToSend = false;
    if (OnSendEnd)
        OnSendEnd(this);
}

void THttpCli::SocketDataSent()
{
    Progress();
    if (!m_allowedToSend)
        return;
    try {
        SendNextBodyChunk();
    } catch (const std::exception&) {
        m_ctrlSocket.Close();
    }
}

void THttpCli::SocketDataAvailable()
{
    if (m_receiveLen >= kReceiveBufferSize) {
        // A header line that does not fit the buffer: no answer can be read
        // from here on, so the request ends now rather than when the server
        // closes (or never).
        Terminate(wsock::WSAEMSGSIZE, kLineTooLongText, false);
        return;
    }
    const int n =
        m_ctrlSocket.Receive(m_receiveBuffer + m_receiveLen, kReceiveBufferSize - m_receiveLen);
    if (n < 0 && m_ctrlSocket.LastError() != wsock::WSAEWOULDBLOCK && m_receiveError == 0)
        m_receiveError = static_cast<uint16_t>(m_ctrlSocket.LastError());
    if (n <= 0 || m_requestType == rqNone)
        return;
    // Past the end of the answer (Content-Length reached, or the limit):
    // what else arrives is not part of it.
    if (m_bodyComplete)
        return;
    m_receiveLen += n;
    m_answerBytes += n;
    Progress();

    if (m_state == hsWaitingBody) {
        const int len = m_receiveLen;
        m_receiveLen = 0;
        BodyData(m_receiveBuffer, len);
        return;
    }
    const quintptr serial = m_serial;
    while (m_receiveLen > 0 && serial == m_serial) {
        if (m_state == hsWaitingBody && m_next == NextStep::Body) {
            // The header has ended: what follows it is body, byte for byte.
            const int len = m_receiveLen;
            m_receiveLen = 0;
            BodyData(m_receiveBuffer, len);
            return;
        }
        char* lf = static_cast<char*>(std::memchr(m_receiveBuffer, '\n', m_receiveLen));
        if (!lf)
            return;
        const int lineEnd = static_cast<int>(lf - m_receiveBuffer);
        int lineLen = lineEnd;
        if (lineLen > 0 && m_receiveBuffer[lineLen - 1] == '\r')
            --lineLen;
        const std::string line(m_receiveBuffer, static_cast<size_t>(lineLen));
        const std::string withEnd(m_receiveBuffer, static_cast<size_t>(lineEnd + 1));
        m_receiveLen -= lineEnd + 1;
        std::memmove(m_receiveBuffer, lf + 1, static_cast<size_t>(m_receiveLen));

        if (m_state != hsWaitingHeader && m_state != hsWaitingBody)
            continue;
        if (m_bodyComplete)
            return;
        switch (m_next) {
        case NextStep::HeaderLine: {
            const bool documentStarts = base::toUpper(line.substr(0, kHtmlTagLength)) == "<HTML>";
            HeaderLine(line);
            // No (more) header: the document starts with this line, whose
            // line end is part of the document too.
            if (documentStarts && m_next == NextStep::Body)
                BodyData(withEnd.data(), static_cast<int>(withEnd.size()));
            break;
        }
        case NextStep::Body:
            BodyData(withEnd.data(), static_cast<int>(withEnd.size()));
            break;
        case NextStep::None:
            StateChange(hsReady);
            return;
        }
    }
}

// ------------------------------------------------------------ header

void THttpCli::HeaderLine(const std::string& line)
{
    if (m_tunnel != Tunnel::None && TunnelAnswerLine(line))
        return;
    if (m_headerLineCount == 0 && OnHeaderBegin)
        OnHeaderBegin(this);
    ++m_headerLineCount;

    if (base::toUpper(line.substr(0, kHtmlTagLength)) == "<HTML>") {
        // A proxy's answer is never the server's page.
        m_headerless = m_rcvdHeader.empty() && m_tunnel != Tunnel::Refused;
        if (m_contentType.empty())
            m_contentType = "text/html";
        StateChange(hsWaitingBody);
        m_next = NextStep::Body;
        if (OnHeaderEnd)
            OnHeaderEnd(this);
        return;
    }
    if (line.empty()) {
        EndOfHeader();
        return;
    }
    m_rcvdHeader.push_back(line);
    HeaderField(line);
    // An answer of 400 or more is read on: its body explains the refusal.
    if (OnHeaderData)
        OnHeaderData(this);
}

void THttpCli::HeaderField(const std::string& line)
{
    const std::string prefix = line.substr(0, kStatusPrefixLength);
    if (prefix == "HTTP/1.0" || prefix == "HTTP/1.1") {
        m_statusCode = statusCodeOf(line);
        m_reasonPhrase = line.size() > kReasonOffset ? line.substr(kReasonOffset) : "";
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return;
    const std::string field = base::toLower(line.substr(0, colon));
    // One blank after the colon is assumed.
    const std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
    if (field == "location") {
        // A proxy that refuses the tunnel sends nobody elsewhere.
        if (m_tunnel == Tunnel::Refused)
            return;
        // Past the limit the response is taken as the final one.
        if (m_relocations < kMaxRelocations)
            Relocate(withoutFragment(value));
        else
            m_relocationLimitReached = true;
    } else if (field == "content-length") {
        m_contentLength = contentLengthOf(value);
    } else if (field == "content-type") {
        m_contentType = base::toLower(value);
    } else if (field == "www-authenticate") {
        m_authorizationRequest.push_back(value);
    } else if (field == "set-cookie") {
        bool accept = true;
        if (OnCookie)
            OnCookie(this, value, accept);
    }
}

void THttpCli::Relocate(const std::string& value)
{
    m_locationChangeFlag = true;
    std::string proto, user, pass, host, port, path;
    ParseURL(value, proto, user, pass, host, port, path);
    // An address that names no scheme stays with the current one.
    const bool named = value.find("://") != std::string::npos;
    const bool tls = named ? isTlsScheme(proto) : m_tls;
    if (!named)
        proto = m_tls ? kTlsProto : kDefaultProto;
    const bool absolute = named && !host.empty();
    // The server of the current request, port included, so that a relative
    // relocation stays on the same server.
    const auto origin = [this, &proto] {
        return proto + "://" + m_targetHost + (m_targetPort.empty() ? "" : ":" + m_targetPort);
    };
    if (!m_proxy.empty() && !tls) {
        // Plain http through the proxy: the request line carries the
        // absolute address.
        if (absolute) {
            // An absolute address without a path names the server's root.
            m_path = path.empty() ? value + "/" : value;
            // The "Host: " line follows the request to its new server.
            m_targetHost = host;
            m_targetPort = port;
        } else if (path.empty()) {
            // A bare document name, on the current server.
            m_path = origin() + "/" + host;
        } else if (!host.empty()) {
            m_path = value;
            m_targetHost = host;
            m_targetPort = port;
        } else {
            m_path = origin() + path;
        }
    } else if (!named && !value.empty() && value[0] == '/') {
        m_path = value;
    } else if (absolute || (!host.empty() && !path.empty())) {
        // Another server (or the same one under another scheme or port):
        // a new connection, to the default port of the scheme unless the
        // address names one.
        m_path = path.empty() ? "/" : path;
        m_targetHost = host;
        m_targetPort = port;
        if (m_proxy.empty()) {
            m_hostName = socketHost(host);
            m_port = port.empty() ? defaultPort(tls) : port;
        }
    } else if (path.empty()) {
        m_path = origin() + "/" + host;
    } else {
        m_path = origin() + path;
    }
    m_tls = tls;
    m_location = m_path;
}

void THttpCli::EndOfHeader()
{
    if (m_locationChangeFlag) {
        if (OnHeaderEnd)
            OnHeaderEnd(this);
        // The body of the redirect response is not wanted.
        m_receiveLen = 0;
        m_headerLineCount = 0;
        m_bodyDataCount = 0;
        m_closedRoute = ClosedRoute::Relocation;
        m_ctrlSocket.Close();
        // A socket already closed by the server fires no second close event.
        if (m_closedRoute == ClosedRoute::Relocation && m_locationChangeFlag)
            LocationSessionClosed();
        return;
    }
    ApplyExeRule();
    StateChange(hsWaitingBody);
    m_next = NextStep::Body;
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    if (m_state == hsWaitingBody &&
        (answerWithoutBody(m_requestType, m_statusCode) || m_contentLength == 0))
        FinishBody();
}

void THttpCli::ApplyExeRule()
{
    const size_t dot = m_docName.rfind('.');
    if (dot == std::string::npos || base::toLower(m_docName.substr(dot)) != ".exe" ||
        m_contentType != "text/html")
        return;
    m_docName = m_docName.substr(0, dot + 1) + "htm";
}

// ------------------------------------------------------------ body and end

void THttpCli::BodyData(const char* data, int len)
{
    if (m_bodyComplete)
        return;
    bool last = false;
    if (m_contentLength >= 0 && m_bodyBytes + len >= m_contentLength) {
        len = static_cast<int>(m_contentLength - m_bodyBytes);
        last = true;
    }
    if (m_rcvdLimit > 0 && m_rcvdCount + len >= m_rcvdLimit) {
        const auto room = static_cast<int>(m_rcvdLimit - m_rcvdCount);
        m_rcvdTruncated = m_rcvdTruncated || room < len || !last;
        len = room;
        last = true;
    }
    if (m_bodyDataCount == 0 && OnDocBegin)
        OnDocBegin(this);
    ++m_bodyDataCount;
    m_bodyBytes += len;
    m_rcvdCount += len;
    if (len > 0) {
        if (OnDocData)
            OnDocData(this, data, len);
        if (m_rcvdStream)
            m_rcvdStream->write(data, len);
    }
    if (last)
        FinishBody();
}

// The whole answer is in (or as much of it as is kept): the client closes
// the connection itself, so a server that keeps it open cannot hold the
// request, and the close completes the request with Error 0.
void THttpCli::FinishBody()
{
    m_bodyComplete = true;
    m_receiveLen = 0;
    if (m_ctrlSocket.State() != wsClosed)
        m_ctrlSocket.Close();
}

// A header-less answer's last line may lack its line end; at the close it
// is still part of the document.
void THttpCli::FlushHeaderlessLine()
{
    if (m_receiveLen <= 0 || m_next != NextStep::HeaderLine ||
        base::toUpper(std::string(m_receiveBuffer,
                                  std::min<size_t>(m_receiveLen, kHtmlTagLength))) != "<HTML>")
        return;
    const std::string line(m_receiveBuffer, static_cast<size_t>(m_receiveLen));
    m_receiveLen = 0;
    HeaderLine(line);
    BodyData(line.data(), static_cast<int>(line.size()));
}

// How a request ended whose connection has closed without a local failure.
uint16_t THttpCli::CompletionError(uint16_t socketError) const
{
    if (m_bodyComplete)
        return 0;
    if (socketError != 0)
        return socketError;
    if (m_receiveError != 0 && m_receiveError != wsock::WSAEWOULDBLOCK)
        return m_receiveError;
    // Nothing, part of a header, or less body than announced: the answer
    // is not whole.
    if (m_answerBytes == 0 || m_next != NextStep::Body ||
        (m_contentLength >= 0 && m_bodyBytes < m_contentLength))
        return wsock::WSAECONNABORTED;
    return 0;
}

void THttpCli::SocketSessionClosed(uint16_t socketError)
{
    m_connected = false;
    m_timeLimit.stop();
    if (m_state != hsAborting && m_state != hsReady && m_requestDoneError == 0 &&
        m_requestType != rqNone) {
        FlushHeaderlessLine();
        m_requestDoneError = CompletionError(socketError);
    }
    if (m_bodyDataCount > 0 && OnDocEnd)
        OnDocEnd(this);
    m_window->post(kSetReadyMessage, m_serial);
}

void THttpCli::LocationSessionClosed()
{
    m_connected = false;
    m_locationChangeFlag = false;
    m_closedRoute = ClosedRoute::EndOfConnection;
    ++m_relocations;
    m_answerBytes = 0;
    m_bodyBytes = 0;
    m_receiveError = 0;
    m_contentLength = -1;
    m_contentType.clear();
    m_next = NextStep::None;
    m_tunnel = Tunnel::None;
    if (m_requestType == rqPost && m_sendStream)
        m_sendStream->seek(m_sendStreamStart);
    if (OnLocationChange)
        OnLocationChange(this);
    m_window->post(kRelocationMessage, m_serial);
}

void THttpCli::Abort()
{
    if (m_state == hsReady) {
        if (m_ctrlSocket.State() != wsClosed)
            m_ctrlSocket.Close();
        return;
    }
    Terminate(kErrorAborted, kAbortedText, true);
}

// Ends the running request at once with the given error. replaceStatus:
// StatusCode and ReasonPhrase become the local failure's even when a
// status had arrived.
void THttpCli::Terminate(uint16_t error, const std::string& reason, bool replaceStatus)
{
    const THttpClientState old = m_state;
    StateChange(hsAborting);
    if (old == hsDnsLookup) {
        try {
            m_ctrlSocket.CancelDnsLookup();
        } catch (...) {
        }
    }
    if (replaceStatus || m_statusCode == 0) {
        m_statusCode = kLocalFailureStatus;
        m_reasonPhrase = reason;
    }
    m_requestDoneError = error;
    m_allowedToSend = false;
    m_closedRoute = ClosedRoute::EndOfConnection;
    if (old == hsDnsLookup)
        SocketSessionClosed();
    else
        m_ctrlSocket.Close();
    StateChange(hsReady);
}
