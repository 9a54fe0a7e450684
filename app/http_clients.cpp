#include "http_clients.h"

#include "registry_keys.h"
#include "request_outcome.h"

#include "platform/ansi.h"

namespace app {
namespace {

constexpr const char* kAgent = "Mozilla/3.0 (compatible)";
constexpr const char* kAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
constexpr const char* kContentTypePost = "application/x-www-form-urlencoded";

} // namespace

HttpClients::HttpClients()
{
    for (auto& client : m_clients) {
        client = std::make_unique<THttpCli>();
        client->setAgent(kAgent);
        client->setAccept(kAccept);
        client->setNoCache(false);
        client->setContentTypePost(kContentTypePost);
        client->setMultiThreaded(true);
        client->setProxyPort(kDefaultProxyPort);
        client->setRequestTimeout(kDefaultRequestTimeout);
        // The log keeps no more of an answer, so no more is read.
        client->setRcvdLimit(kLoggedAnswerLimit);
    }
}

HttpClients::~HttpClients()
{
    // The clients go first: an aborted request must not outlive its streams.
    for (auto& client : m_clients) {
        client->OnRequestDone = nullptr;
        client.reset();
    }
}

int HttpClients::indexOf(const THttpCli* client) const
{
    for (int i = 0; i < kCount; ++i) {
        if (m_clients[static_cast<size_t>(i)].get() == client)
            return i;
    }
    return -1;
}

void HttpClients::setOnRequestDone(const THttpCli::TRequestDoneEvent& handler)
{
    for (auto& client : m_clients)
        client->OnRequestDone = handler;
}

void HttpClients::attachFreshStreams(int index)
{
    const auto at = static_cast<size_t>(index);
    THttpCli& http = *m_clients[at];
    http.setRcvdStream(nullptr);
    http.setSendStream(nullptr);
    m_received[at] = std::make_unique<QBuffer>();
    m_received[at]->open(QIODevice::ReadWrite);
    m_sent[at] = std::make_unique<QBuffer>();
    m_sent[at]->open(QIODevice::ReadWrite);
    http.setRcvdStream(m_received[at].get());
    http.setSendStream(m_sent[at].get());
}

bool HttpClients::allIdle() const
{
    for (const auto& client : m_clients) {
        if (client->State() != hsReady)
            return false;
    }
    return true;
}

void HttpClients::abortBusy()
{
    for (auto& client : m_clients) {
        if (client->State() != hsReady)
            client->Abort();
    }
}

void HttpClients::configureHTTP(THttpCli& client, const std::string& proxy,
                                const std::string& password, const std::string& userName,
                                const std::string& port, int timeoutSeconds)
{
    client.setProxy(proxy);
    client.setProxyPassword(password);
    client.setProxyUsername(userName);
    client.setProxyPort(port);
    client.setRequestTimeout(timeoutSeconds);
}

void HttpClients::readpreferences(RegistryStore& store)
{
    const QString key = kPreferencesKey;
    const std::string proxy = platform::toAnsi(readRegKey(store, key, "Proxy"));
    const std::string password = platform::toAnsi(readRegKey(store, key, "ProxyPassword"));
    const std::string userName = platform::toAnsi(readRegKey(store, key, "ProxyUserName"));
    std::string port = platform::toAnsi(readRegKey(store, key, "DefaultPort"));
    if (port.empty())
        port = kDefaultProxyPort;
    const int timeout = requestTimeoutSeconds(readRegKey(store, key, kRequestTimeoutValue));
    for (auto& client : m_clients)
        configureHTTP(*client, proxy, password, userName, port, timeout);
}

} // namespace app
