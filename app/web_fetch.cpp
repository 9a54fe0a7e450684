#include "web_fetch.h"

#include "net/http_cli.h"
#include "net/socket_error.h"

#include <utility>

namespace app {
namespace {

// Puts a client's handlers and stream back when the fetch ends, however it
// ends.
class BorrowedClient {
public:
    explicit BorrowedClient(THttpCli& client)
        : m_client(client), m_done(client.OnRequestDone), m_data(client.OnDocData),
          m_stream(client.RcvdStream()), m_limit(client.RcvdLimit())
    {
    }
    ~BorrowedClient()
    {
        m_client.OnRequestDone = std::move(m_done);
        m_client.OnDocData = std::move(m_data);
        m_client.setRcvdStream(m_stream);
        m_client.setRcvdLimit(m_limit);
    }
    BorrowedClient(const BorrowedClient&) = delete;
    BorrowedClient& operator=(const BorrowedClient&) = delete;

private:
    THttpCli& m_client;
    THttpCli::TRequestDoneEvent m_done;
    THttpCli::TDataEvent m_data;
    QIODevice* m_stream;
    int64_t m_limit;
};

} // namespace

FetchResult fetchWithClient(THttpCli& client, const std::string& address, size_t maxBytes)
{
    BorrowedClient borrowed(client);
    FetchResult result;
    bool done = false;
    bool cut = false;
    client.setRcvdStream(nullptr);
    // The run's clients keep at most a log record's worth of an answer; a
    // fetch needs one byte past its own limit to tell that it was exceeded.
    client.setRcvdLimit(static_cast<int64_t>(maxBytes) + 1);
    client.OnDocData = [&](THttpCli* sender, const char* data, int len) {
        if (cut)
            return;
        result.body.append(data, static_cast<size_t>(len));
        if (result.body.size() > maxBytes) {
            result.body.resize(maxBytes + 1);
            cut = true;
            // Abort reports a status of its own; keep the server's.
            result.status = sender->StatusCode();
            result.reason = sender->ReasonPhrase();
            sender->Abort();
        }
    };
    client.OnRequestDone = [&](THttpCli*, THttpRequest, uint16_t error) {
        done = true;
        result.error = error;
    };
    client.setURL(address);
    try {
        client.Get();
    } catch (const EHttpException&) {
        // Get raises for an error status after the request has ended; the
        // status is read below. A request that never started is passed on.
        if (!done)
            throw;
    }
    if (cut) {
        // Aborted here because the answer was too long: the server did
        // answer, and the caller sees the length.
        result.error = 0;
        return result;
    }
    result.status = client.StatusCode();
    result.reason = client.ReasonPhrase();
    if (result.error != 0) {
        result.failure = result.reason.empty() ? SocketErrorDesc(result.error) : result.reason;
    }
    return result;
}

Fetcher clientFetcher(THttpCli& client)
{
    return [&client](const std::string& address, size_t maxBytes) {
        return fetchWithClient(client, address, maxBytes);
    };
}

} // namespace app
