// qvget: one HTTP request through THttpCli, or a batch of them for
// measuring. Used by the troubleshooting notes and by our own checks.
//
//   qvget [-v] [--post DATA] [--proxy HOST[:PORT]] [--proxy-port P]
//         [--proxy-user USER:PASS] [--agent TEXT] [--timeout S] URL
//   qvget --repeat M --parallel K [--timeout S] URL
//
// The single request writes the body to stdout; with -v it writes every
// request header line as sent, "status: CODE REASON", every received header
// line and "error: E" to stderr. Exit status 0 when the request completed
// with Error 0 and a status below 400, 1 otherwise, 2 for a usage error.
// --timeout S ends a request that makes no progress for S seconds with
// Error 10060 (default: no limit; 0: no limit).
//
// The batch runs M GETs over K clients, each client starting its next
// request from its own OnRequestDone, and writes
// "requests: M, errors: E, seconds: S, per second: R" to stderr, and for
// an https URL a second line "TLS sessions resumed: N of M" (the requests
// whose handshake resumed a kept session). A request counts as an error when
// it completes with a non-zero Error or a status of 400 or more.
//
// Every form takes http and https URLs alike; QUORVANE_CA_FILE names extra
// trusted certificates (PEM) beside the system's.

#include "base/ascii.h"
#include "net/http_cli.h"
#include "platform/message_wait.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>
#include <vector>

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Options {
    bool verbose = false;
    bool post = false;
    std::string postData;
    std::string proxy;
    std::string proxyPort;
    std::string proxyUser;
    std::string agent;
    bool agentSet = false;
    long repeat = 0;
    long parallel = 0;
    long timeout = 0;
    std::string url;
};

int usage()
{
    std::fprintf(stderr, "usage: qvget [-v] [--post DATA] [--proxy HOST[:PORT]] [--proxy-port P] "
                         "[--proxy-user USER:PASS] [--agent TEXT] [--timeout S] URL\n"
                         "       qvget --repeat M --parallel K [--timeout S] URL\n");
    return kExitUsage;
}

bool positiveNumber(const std::string& text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value > 0;
}

// Returns false on a usage error.
bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string value;
        if (arg == "-v") {
            o.verbose = true;
        } else if (arg == "--post") {
            if (!next(o.postData))
                return false;
            o.post = true;
        } else if (arg == "--proxy") {
            if (!next(o.proxy))
                return false;
        } else if (arg == "--proxy-port") {
            if (!next(o.proxyPort))
                return false;
        } else if (arg == "--proxy-user") {
            if (!next(o.proxyUser))
                return false;
        } else if (arg == "--agent") {
            if (!next(o.agent))
                return false;
            o.agentSet = true;
        } else if (arg == "--repeat") {
            if (!next(value) || !positiveNumber(value, o.repeat))
                return false;
        } else if (arg == "--timeout") {
            if (!next(value) || (value != "0" && !positiveNumber(value, o.timeout)))
                return false;
        } else if (arg == "--parallel") {
            if (!next(value) || !positiveNumber(value, o.parallel))
                return false;
        } else if (!arg.empty() && arg[0] == '-') {
            return false;
        } else if (o.url.empty()) {
            o.url = arg;
        } else {
            return false;
        }
    }
    if (o.url.empty())
        return false;
    // The batch takes both of its numbers and nothing of the single request.
    const bool batch = o.repeat > 0 || o.parallel > 0;
    if (batch && (o.repeat == 0 || o.parallel == 0 || o.verbose || o.post || !o.proxy.empty() ||
                  !o.proxyUser.empty() || o.agentSet))
        return false;
    return true;
}

void configure(THttpCli& http, const Options& o)
{
    http.setURL(o.url);
    if (!o.proxy.empty())
        http.setProxy(o.proxy);
    if (!o.proxyPort.empty())
        http.setProxyPort(o.proxyPort);
    if (!o.proxyUser.empty()) {
        const size_t colon = o.proxyUser.find(':');
        http.setProxyUsername(o.proxyUser.substr(0, colon));
        http.setProxyPassword(colon == std::string::npos ? "" : o.proxyUser.substr(colon + 1));
    }
    if (o.agentSet)
        http.setAgent(o.agent);
    http.setRequestTimeout(static_cast<int>(o.timeout));
}

int runSingle(const Options& o)
{
    THttpCli http;
    configure(http, o);
    QBuffer body;
    if (o.post) {
        body.setData(o.postData.data(), static_cast<int>(o.postData.size()));
        body.open(QIODevice::ReadOnly);
        http.setSendStream(&body);
    }
    http.OnDocData = [](THttpCli*, const char* data, int len) {
        std::fwrite(data, 1, static_cast<size_t>(len), stdout);
    };
    bool statusShown = false;
    if (o.verbose) {
        http.OnCommand = [](THttpCli*, const std::string& line) {
            std::fprintf(stderr, "%s\n", line.c_str());
        };
        http.OnHeaderData = [&statusShown](THttpCli* c) {
            if (!statusShown && c->StatusCode() != 0) {
                std::fprintf(stderr, "status: %d %s\n", c->StatusCode(), c->ReasonPhrase().c_str());
                statusShown = true;
            }
            std::fprintf(stderr, "%s\n", c->RcvdHeader().back().c_str());
        };
    }
    int exitCode = kExitFailure;
    http.OnRequestDone = [&](THttpCli* c, THttpRequest, uint16_t error) {
        std::fflush(stdout);
        if (o.verbose) {
            // A response without a status line, or no response at all.
            if (!statusShown)
                std::fprintf(stderr, "status: %d %s\n", c->StatusCode(), c->ReasonPhrase().c_str());
            std::fprintf(stderr, "error: %u\n", error);
        }
        exitCode = error == 0 && c->StatusCode() < 400 ? kExitSuccess : kExitFailure;
        QCoreApplication::quit();
    };
    try {
        if (o.post)
            http.PostAsync();
        else
            http.GetAsync();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailure;
    }
    QCoreApplication::exec();
    return exitCode;
}

int runBatch(const Options& o)
{
    std::vector<std::unique_ptr<THttpCli>> clients;
    long started = 0;
    long finished = 0;
    long errors = 0;
    long resumed = 0;
    QElapsedTimer clock;
    const auto startNext = [&](THttpCli* c) {
        if (started >= o.repeat)
            return;
        ++started;
        c->GetAsync();
    };
    for (long i = 0; i < o.parallel; ++i) {
        auto http = std::make_unique<THttpCli>();
        configure(*http, o);
        http->OnRequestDone = [&](THttpCli* c, THttpRequest, uint16_t error) {
            ++finished;
            if (error != 0 || c->StatusCode() >= 400)
                ++errors;
            else if (c->CtrlSocket().TlsSessionReused())
                ++resumed;
            if (finished == o.repeat)
                QCoreApplication::quit();
            else
                startNext(c);
        };
        clients.push_back(std::move(http));
    }
    clock.start();
    for (auto& c : clients)
        startNext(c.get());
    QCoreApplication::exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::fprintf(stderr, "requests: %ld, errors: %ld, seconds: %.3f, per second: %.1f\n", o.repeat,
                 errors, seconds, seconds > 0 ? o.repeat / seconds : 0.0);
    if (base::equalsIgnoreCase(o.url.substr(0, 8), "https://"))
        std::fprintf(stderr, "TLS sessions resumed: %ld of %ld\n", resumed, o.repeat);
    return errors == 0 ? kExitSuccess : kExitFailure;
}

} // namespace

int main(int argc, char** argv)
{
    platform::preferQtEventDispatcher();
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(argc, argv, o))
        return usage();
    return o.repeat > 0 ? runBatch(o) : runSingle(o);
}
