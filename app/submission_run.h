#pragma once

#include "engine_line.h"
#include "retry_policy.h"

#include "net/http_cli.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <QString>
#include <string>
#include <vector>

class QObject;
class RegistryStore;
class THttpCli;
class TTzDbf;

namespace app {

class AppState;
class HttpClients;

// One submission run: every page of a profile sent to every line of an
// engines list file, engine-major, through six clients with up to six
// requests in flight, each result appended to the log. The submission window
// and the headless mode both drive it; they differ only in how they show
// progress and messages.
//
// Everything runs on the thread of the event loop. run() hands out requests
// and, whenever no client is free, waits for events; the clients' request-done
// events arrive during those waits and go straight to requestDone() while the
// run receives them (receiveRequestDone). The shared state's cancel flag,
// set from a button or a signal, makes run() stop handing out and stop
// waiting.
class SubmissionRun {
public:
    // Works on the state's clients and log and reads its cancel flag after
    // every delivery of events.
    explicit SubmissionRun(AppState& state);
    ~SubmissionRun();
    SubmissionRun(const SubmissionRun&) = delete;
    SubmissionRun& operator=(const SubmissionRun&) = delete;

    // Binds the six clients' request-done events to requestDone(), which logs
    // an answer only while the state's submissionOpen is set (answers of
    // requests aborted at the close arrive later and are dropped). The
    // handler bound before is kept and put back by releaseRequestDone() and
    // by the destructor.
    void receiveRequestDone();
    void releaseRequestDone();

    // Reads the profile and the engines list file; throws EInOutError when
    // one of them cannot be read. Blank engine lines are left out.
    void load(const QString& profilePath, const QString& enginesPath);

    const QString& profilePath() const { return m_profilePath; }
    const std::string& profileEmail() const { return m_profileEmail; }
    const std::string& profileName() const { return m_profileName; }
    const std::string& profileDate() const { return m_profileDate; }
    const std::vector<std::string>& engineLines() const { return m_engineLines; }
    const std::vector<std::string>& pages() const { return m_pages; }
    // Requests of the run that are sent: one per page and line, or per page
    // of a batch; the skipped ones are not counted here.
    int requestTotal() const { return m_requestTotal; }
    int requestsLogged() const { return m_requestsLogged; }
    int requestsSucceeded() const { return m_requestsSucceeded; }
    // Requests left out because they had been sent successfully of late.
    int requestsSkipped() const { return m_requestsSkipped; }

    // The IndexNow key that "##key" and batch lines carry.
    void setIndexNowKey(std::string key) { m_indexNowKey = std::move(key); }
    // How many more times a retryable outcome is tried (0: never again).
    void setRetries(int retries) { m_retries = retries; }
    int retries() const { return m_retries; }
    // Reads the IndexNow key and "Retries" from the registry.
    void readSettings(RegistryStore& store);
    // Requests whose address already has a successful record in the log
    // from fewer than `days` days ago are not sent; 0 sends everything.
    void setSkipRecentDays(int days) { m_skipRecentDays = days; }
    int skipRecentDays() const { return m_skipRecentDays; }
    // No wait before another attempt lasts longer than this (tests make
    // the back-off short).
    void setMaxRetryWait(std::chrono::milliseconds wait) { m_maxRetryWait = wait; }
    // The jitter of the back-off.
    void setRandomSource(RandomSource random) { m_random = std::move(random); }
    bool running() const { return m_running; }
    // True once the last request of the current run has been handed out.
    bool handedOut() const { return m_handedOut; }

    enum class Outcome { NothingToDo, AlreadyRunning, Finished, Cancelled };
    // Hands out every pair and waits for the answers. After the last pair is
    // handed out (and only then) the profile's date line is rewritten. A run
    // cannot be started inside another; that call returns AlreadyRunning.
    Outcome run();

    // Expands one engine line for one page with the profile's values.
    std::string procesa(const std::string& line, const std::string& page) const;
    // A client is free for the run when it is ready and its last request's
    // done event has been delivered: the client turns ready before that
    // event arrives, and a request started in between would take over the
    // address and the answer that the event is about to log.
    bool clientIdle(int clientIndex) const;
    bool anyClientIdle() const;
    bool allClientsIdle() const;
    // True when an idle client, agHTTP1 first, took the run's request with
    // this index.
    bool dispatchRequest(size_t request);
    // Prepares the client's streams and starts the request. A request that
    // cannot be started is skipped silently; the result is then false.
    bool startRequest(size_t request, int clientIndex);

    // One request of the run: what is sent, and the addresses its answer is
    // logged under (one for a plain line, the pages for a batch).
    struct Request {
        HttpMethod method = HttpMethod::Get;
        std::string url;
        std::string body;
        std::string contentType; // empty: the client's form content type
        std::vector<std::string> logUrls;
        bool indexNow = false; // an IndexNow endpoint answers
        int attempts = 0;
    };
    // Every request of the run for the loaded lines and pages, in order
    // (engine-major), leaving out the recently sent ones; counts those in
    // requestsSkipped().
    std::vector<Request> plannedRequests();

    // A client's request is done: it is tried again after a wait when the
    // outcome asks for it and attempts are left, else its answer is logged
    // under each of its addresses.
    void requestDone(THttpCli& client, uint16_t error);
    // Appends one record for a result, with the answer's lines (when there
    // are any) as its message and, when the log has that field, the status
    // text; shows the message, counts the result and reports progress.
    void logadd(bool success, const std::string& url,
                const std::optional<std::vector<std::string>>& message,
                const std::string& status = {});

    // Text of the progress label: "Sended N of M".
    QString progressText() const;
    // The account of the last run: "N requests, S succeeded, F failed",
    // counting the logged results; when requests were skipped "N requests,
    // T sent, K skipped, S succeeded, F failed".
    QString summaryText() const;

    // A request was handed to a client (index 0 is agHTTP1).
    std::function<void(int clientIndex, const std::string& url)> OnRequestStarted;
    // Progress after every logged result.
    std::function<void(const SubmissionRun& run)> OnProgress;
    // The body of a logged result, as lines, to be shown.
    std::function<void(const std::vector<std::string>& lines)> OnShowMessage;
    // The date line could not be written; the run goes on.
    std::function<void(const std::string& message)> OnError;
    // The requests are planned; requestTotal() is known.
    std::function<void(const SubmissionRun& run)> OnRunStarted;
    // A request waits before it is tried again: its address and what the
    // wait is for ("429 Too Many Requests: trying again in 4 s (attempt 2
    // of 3)"); an empty text when it is sent again.
    std::function<void(const std::string& url, const std::string& text)> OnWaiting;

private:
    bool handOut();
    bool handOutOne(size_t request);
    bool sendReadyRetries();
    void writeProfileDate();
    void waitUntilIdle();
    void addLineRequests(const std::string& line, std::vector<Request>& requests);
    bool recentlySent(const std::string& url);
    void finishRequest(THttpCli& client, uint16_t error, size_t request);
    bool scheduleRetry(THttpCli& client, uint16_t error, size_t request);
    void restoreContentTypes();
    void appendRecord(bool success, const std::string& url, const std::vector<std::string>& message,
                      const std::string& status);
    void reportLogged();

    AppState& m_state;
    HttpClients& m_clients;
    TTzDbf& m_log;
    bool& m_cancelRequested;
    bool m_receiving = false;
    THttpCli::TRequestDoneEvent m_previousRequestDone;

    QString m_profilePath;
    std::string m_profileEmail;
    std::string m_profileName;
    std::string m_profileDate;
    std::vector<std::string> m_engineLines;
    std::vector<std::string> m_pages;

    std::string m_indexNowKey;
    int m_retries = kDefaultRetries;
    int m_skipRecentDays = 0;
    std::chrono::milliseconds m_maxRetryWait = kMaxRetryWait;
    RandomSource m_random = systemRandomSource();

    int m_requestTotal = 0;
    int m_requestsLogged = 0;
    int m_requestsSucceeded = 0;
    int m_requestsSkipped = 0;
    bool m_running = false;
    bool m_handedOut = false;
    std::array<bool, 6> m_awaitingDone{};

    // The run's requests; the clients' requests by index (none: -1), the
    // retries whose wait is over, and how many still wait.
    std::vector<Request> m_requests;
    std::array<long, 6> m_clientRequest{};
    std::array<std::string, 6> m_formContentType;
    std::deque<size_t> m_retryReady;
    int m_retriesWaiting = 0;
    // Owns the wait timers: dropping it ends every wait at once.
    std::unique_ptr<QObject> m_waits;
};

} // namespace app
