#pragma once

#include <cstdint>
#include <string>

namespace nettest {

// Certificates and TLS peers shared by every test of one binary run, made
// on first use: a test CA, server certificates signed by it (for localhost,
// 127.0.0.1 and ::1; for another name; one whose validity has ended), and a
// python3 process serving them on loopback ports (see tls_server.py for what
// each peer does). The process ends with the test binary.
class TlsFixture {
public:
    enum Peer { Good, Good6, WrongName, Expired, Reset, Https, Https6, Silent, kPeerCount };

    static TlsFixture& instance();

    bool ready() const { return m_ready; }
    const std::string& error() const { return m_error; }
    const std::string& folder() const { return m_folder; }
    // The CA's certificate (PEM): QUORVANE_CA_FILE for the tests.
    std::string caFile() const { return m_folder + "/ca.pem"; }
    // The good certificate and its key, for servers of other suites.
    std::string certFile() const { return m_folder + "/good.pem"; }
    std::string keyFile() const { return m_folder + "/server.key"; }
    uint16_t port(Peer peer) const { return m_ports[peer]; }
    // What the peers logged so far (one line per event).
    std::string log() const;

private:
    TlsFixture();
    ~TlsFixture();
    bool generate();
    bool startServer();

    bool m_ready = false;
    std::string m_error;
    std::string m_folder;
    uint16_t m_ports[kPeerCount] = {};
    int m_pid = -1;
    int m_stdin = -1;
};

// Names the fixture's CA in QUORVANE_CA_FILE for one scope (or removes the
// variable with an empty path) and restores the old value afterwards.
class ScopedCaFile {
public:
    explicit ScopedCaFile(const std::string& path);
    ~ScopedCaFile();

private:
    bool m_had = false;
    std::string m_old;
};

} // namespace nettest
