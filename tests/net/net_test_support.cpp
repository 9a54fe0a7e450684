#include "net_test_support.h"

#include "platform/message_wait.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <poll.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

namespace {

constexpr int kPollMs = 50;
constexpr int kReadTimeoutMs = 5000;
constexpr int kStartTimeoutMs = 10000;

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

size_t contentLength(const std::string& header)
{
    const std::string h = lower(header);
    const size_t at = h.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    return static_cast<size_t>(std::strtoul(h.c_str() + at + 17, nullptr, 10));
}

// Waits for the descriptor to become readable; false on timeout or stop.
bool readable(int fd, const std::atomic<bool>& stop, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs && !stop; waited += kPollMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) > 0)
            return true;
    }
    return false;
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // Wakes the loop now and then so the deadline is seen without events.
    QTimer tick;
    tick.start(kPollMs);
    platform::deliverMessagesUntil([&] { return condition() || deadline.hasExpired(); });
    return condition();
}

void drainEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

LoopbackServer::LoopbackServer(Responder responder) : m_responder(std::move(responder))
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
    ::listen(m_listen, 16);
    m_thread = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

std::string LoopbackServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> LoopbackServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackServer::run()
{
    int index = 0;
    while (!m_stop) {
        if (!readable(m_listen, m_stop, kPollMs))
            continue;
        const int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            continue;
        ++m_connections;
        serve(fd, index++);
        ::close(fd);
    }
}

void LoopbackServer::serve(int fd, int index)
{
    std::string request;
    char buf[16384];
    size_t headerEnd = std::string::npos;
    while (!m_stop) {
        headerEnd = request.find("\r\n\r\n");
        if (headerEnd != std::string::npos &&
            request.size() >= headerEnd + 4 + contentLength(request.substr(0, headerEnd + 2)))
            break;
        if (!readable(fd, m_stop, kReadTimeoutMs))
            break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        request.append(buf, static_cast<size_t>(n));
    }
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    const Reply reply = m_responder(request, index);
    size_t sent = 0;
    while (sent < reply.bytes.size()) {
        const ssize_t n =
            ::send(fd, reply.bytes.data() + sent, reply.bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
    if (reply.hold) {
        // Until the client hangs up (or the test ends).
        while (!m_stop) {
            if (readable(fd, m_stop, kPollMs) && ::recv(fd, buf, sizeof buf, 0) <= 0)
                return;
        }
        return;
    }
    ::shutdown(fd, SHUT_WR);
    while (readable(fd, m_stop, kReadTimeoutMs) && ::recv(fd, buf, sizeof buf, 0) > 0) {
    }
}

uint16_t unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

Tinyproxy::Tinyproxy(const std::string& user, const std::string& password,
                     const std::string& extraConfig)
{
    const QString program = "/usr/bin/tinyproxy";
    if (!QFile::exists(program)) {
        m_error = "tinyproxy is not installed";
        return;
    }
    QTemporaryDir dir;
    dir.setAutoRemove(false);
    m_folder = dir.path().toStdString();
    m_port = unusedPort();
    const QString conf = dir.filePath("tinyproxy.conf");
    QFile f(conf);
    f.open(QIODevice::WriteOnly);
    // No LogFile: in the foreground tinyproxy logs to stderr, where the
    // fixture sees that it is ready.
    const std::string text = "Port " + std::to_string(m_port) +
                             "\nListen 127.0.0.1\nTimeout 30\nLogLevel Info\nPidFile \"" +
                             m_folder + "/tinyproxy.pid\"\nMaxClients 20\nBasicAuth " + user + " " +
                             password + "\nAllow 127.0.0.1\n" + extraConfig;
    f.write(text.data(), static_cast<qint64>(text.size()));
    f.close();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(program, {"-d", "-c", conf});
    QByteArray output;
    m_started = waitUntil(
                    [&] {
                        output += m_process->readAll();
                        return output.contains("Accepting connections") ||
                               m_process->state() == QProcess::NotRunning;
                    },
                    kStartTimeoutMs) &&
                output.contains("Accepting connections");
    if (!m_started)
        m_error = "tinyproxy did not start: " + output.toStdString();
}

Tinyproxy::~Tinyproxy()
{
    if (m_process) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000))
            m_process->kill();
        m_process->waitForFinished(5000);
    }
    if (!m_folder.empty())
        QDir(QString::fromStdString(m_folder)).removeRecursively();
}

PythonHttpServer::PythonHttpServer(const std::string& folder)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start("/usr/bin/python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                          "--directory", QString::fromStdString(folder)});
    QByteArray output;
    static const QRegularExpression served("port (\\d+)");
    waitUntil(
        [&] {
            output += m_process->readAll();
            return served.match(QString::fromUtf8(output)).hasMatch() ||
                   m_process->state() == QProcess::NotRunning;
        },
        kStartTimeoutMs);
    const auto match = served.match(QString::fromUtf8(output));
    if (match.hasMatch())
        m_port = static_cast<uint16_t>(match.captured(1).toUInt());
}

PythonHttpServer::~PythonHttpServer()
{
    m_process->terminate();
    if (!m_process->waitForFinished(5000))
        m_process->kill();
    m_process->waitForFinished(5000);
}

} // namespace nettest
