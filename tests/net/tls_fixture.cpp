#include "tls_fixture.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#if !defined(QUORVANE_TLS_SERVER) || !defined(QUORVANE_TLS_CERTS)
#error "QUORVANE_TLS_SERVER and QUORVANE_TLS_CERTS must name tls_server.py and tls_certs.sh"
#endif

namespace nettest {
namespace {

constexpr int kStartupMs = 15000;

// Runs a shell command in `folder`; true when it exits with 0.
bool run(const std::string& folder, const std::string& command)
{
    const std::string line = "cd '" + folder + "' && (" + command + ") >>openssl.log 2>&1";
    return std::system(line.c_str()) == 0;
}

} // namespace

TlsFixture& TlsFixture::instance()
{
    static TlsFixture fixture;
    return fixture;
}

TlsFixture::TlsFixture()
{
    char pattern[] = "/tmp/quorvane-tls-XXXXXX";
    if (!mkdtemp(pattern)) {
        m_error = "mkdtemp failed";
        return;
    }
    m_folder = pattern;
    m_ready = generate() && startServer();
}

TlsFixture::~TlsFixture()
{
    if (m_stdin >= 0)
        ::close(m_stdin);
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_folder.empty())
        std::system(("rm -rf '" + m_folder + "'").c_str());
}

bool TlsFixture::generate()
{
    const bool ok = run(m_folder, std::string("/bin/bash '") + QUORVANE_TLS_CERTS + "' .");
    if (!ok)
        m_error = "making the test certificates failed; see " + m_folder + "/openssl.log";
    return ok;
}

bool TlsFixture::startServer()
{
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) < 0 || ::pipe2(out, O_CLOEXEC) < 0) {
        m_error = "pipe failed";
        return false;
    }
    const std::string logPath = m_folder + "/server.log";
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The peers die with the test binary, even when it crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::execl("/usr/bin/python3", "python3", QUORVANE_TLS_SERVER, m_folder.c_str(),
                logPath.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_pid = pid;
    if (pid < 0) {
        ::close(out[0]);
        m_error = "fork failed";
        return false;
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartupMs);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{out[0], POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        char buf[256];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    static const char* const names[kPeerCount] = {"good",  "good6", "wrong", "expired",
                                                  "reset", "http",  "http6", "silent"};
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
        const size_t eq = word.find('=');
        for (int i = 0; i < kPeerCount && eq != std::string::npos; ++i)
            if (word.compare(0, eq, names[i]) == 0)
                m_ports[i] = static_cast<uint16_t>(std::atoi(word.c_str() + eq + 1));
    }
    for (uint16_t port : m_ports) {
        if (port == 0) {
            m_error = "the TLS peers did not start: '" + line + "'";
            return false;
        }
    }
    return true;
}

std::string TlsFixture::log() const
{
    std::ifstream f(m_folder + "/server.log");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

ScopedCaFile::ScopedCaFile(const std::string& path)
{
    if (const char* old = std::getenv("QUORVANE_CA_FILE")) {
        m_had = true;
        m_old = old;
    }
    if (path.empty())
        ::unsetenv("QUORVANE_CA_FILE");
    else
        ::setenv("QUORVANE_CA_FILE", path.c_str(), 1);
}

ScopedCaFile::~ScopedCaFile()
{
    if (m_had)
        ::setenv("QUORVANE_CA_FILE", m_old.c_str(), 1);
    else
        ::unsetenv("QUORVANE_CA_FILE");
}

} // namespace nettest
