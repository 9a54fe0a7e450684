#pragma once

#include "net/http_cli.h"

#include <array>
#include <memory>
#include <QBuffer>
#include <string>

class RegistryStore;

namespace app {

// The six HTTP clients `agHTTP1` to `agHTTP6` that a submission run keeps
// busy, with the settings every one of them carries, and the pair of
// in-memory streams each one receives into and sends from. A pair lives
// until the next request on the same client replaces it, or until the
// clients go, so a client never refers to a released stream.
class HttpClients {
public:
    static constexpr int kCount = 6;
    static constexpr const char* kDefaultProxyPort = "80";

    HttpClients();
    ~HttpClients();
    HttpClients(const HttpClients&) = delete;
    HttpClients& operator=(const HttpClients&) = delete;

    // index 0 is agHTTP1.
    THttpCli& client(int index) { return *m_clients[static_cast<size_t>(index)]; }
    THttpCli& agHTTP1() { return client(0); }
    int indexOf(const THttpCli* client) const;

    // Binds one handler to the request-done event of all six clients.
    void setOnRequestDone(const THttpCli::TRequestDoneEvent& handler);
    // The handler bound to the six clients.
    const THttpCli::TRequestDoneEvent& onRequestDone() const { return m_clients[0]->OnRequestDone; }

    // Releases the client's stream pair and attaches a new empty one; the
    // returned buffers are open (received: write, send: read and write).
    void attachFreshStreams(int index);
    QBuffer& received(int index) { return *m_received[static_cast<size_t>(index)]; }
    QBuffer& sent(int index) { return *m_sent[static_cast<size_t>(index)]; }

    bool allIdle() const;
    // Aborts every client that is not idle, agHTTP1 first.
    void abortBusy();

    // Sets the four proxy properties and the request time limit (seconds,
    // 0 for none) of one client.
    static void configureHTTP(THttpCli& client, const std::string& proxy,
                              const std::string& password, const std::string& userName,
                              const std::string& port, int timeoutSeconds);
    // Reads the proxy settings and the request time limit from the registry
    // store and applies them to all six clients, agHTTP1 first. An empty
    // port means "80"; a missing time limit means 60 seconds.
    void readpreferences(RegistryStore& store);

private:
    std::array<std::unique_ptr<THttpCli>, kCount> m_clients;
    std::array<std::unique_ptr<QBuffer>, kCount> m_received;
    std::array<std::unique_ptr<QBuffer>, kCount> m_sent;
};

} // namespace app
