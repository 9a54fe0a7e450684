#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <QProcess>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

// Runs the event loop until the condition holds or the time is up (a
// watchdog: a test that waits in vain fails instead of hanging). Returns the
// condition's last value.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Delivers everything already posted, so that a test can check that no
// further event follows.
void drainEvents();

// What the loopback server answers to one request.
struct Reply {
    std::string bytes;
    // Keep the connection open after the bytes until the client closes it.
    bool hold = false;
};

// A small HTTP peer on 127.0.0.1 with an ephemeral port, served from its own
// thread, one connection at a time. It reads a request (header, then as
// many body bytes as Content-Length says), records it, writes the reply and
// closes.
class LoopbackServer {
public:
    using Responder = std::function<Reply(const std::string& request, int index)>;

    explicit LoopbackServer(Responder responder);
    ~LoopbackServer();

    uint16_t port() const { return m_port; }
    std::string url(const std::string& path = "/") const;
    std::vector<std::string> requests() const;
    int connections() const { return m_connections; }

private:
    void run();
    void serve(int fd, int index);

    Responder m_responder;
    int m_listen = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A port on 127.0.0.1 that nobody listens on (bound, then released).
uint16_t unusedPort();

// A real tinyproxy with Basic credentials, run as the calling user from a
// private temporary folder, in the foreground, stopped when this object dies.
// extraConfig lines (each ending in a line feed) are added to its
// configuration, e.g. "ConnectPort 443\n".
class Tinyproxy {
public:
    Tinyproxy(const std::string& user, const std::string& password,
              const std::string& extraConfig = "");
    ~Tinyproxy();
    bool started() const { return m_started; }
    uint16_t port() const { return m_port; }
    std::string error() const { return m_error; }

private:
    std::unique_ptr<QProcess> m_process;
    std::string m_folder;
    uint16_t m_port = 0;
    bool m_started = false;
    std::string m_error;
};

// A python3 static file server on an ephemeral port, serving one folder.
class PythonHttpServer {
public:
    explicit PythonHttpServer(const std::string& folder);
    ~PythonHttpServer();
    bool started() const { return m_port != 0; }
    uint16_t port() const { return m_port; }

private:
    std::unique_ptr<QProcess> m_process;
    uint16_t m_port = 0;
};

} // namespace nettest
