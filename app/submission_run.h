#pragma once

#include "net/http_cli.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <QString>
#include <string>
#include <vector>

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
    int requestTotal() const { return m_requestTotal; }
    int requestsLogged() const { return m_requestsLogged; }
    int requestsSucceeded() const { return m_requestsSucceeded; }
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
    // True when an idle client, agHTTP1 first, took the expanded line.
    bool dispatchRequest(const std::string& line);
    // Prepares the client's streams and starts its request. A request that
    // cannot be started is skipped silently; the result is then false.
    bool startRequest(const std::string& line, int clientIndex);

    // A client's request is done: its answer is logged with the client's
    // address.
    void requestDone(THttpCli& client, uint16_t error);
    // Appends one record for a result, with the answer's lines (when there
    // are any) as its message, shows the message, counts the result and
    // reports progress.
    void logadd(bool success, const std::string& url,
                const std::optional<std::vector<std::string>>& message);

    // Text of the progress label: "Sended N of M".
    QString progressText() const;
    // The account of the last run: "N requests, S succeeded, F failed",
    // counting the logged results.
    QString summaryText() const;

    // A request was handed to a client (index 0 is agHTTP1).
    std::function<void(int clientIndex, const std::string& url)> OnRequestStarted;
    // Progress after every logged result.
    std::function<void(const SubmissionRun& run)> OnProgress;
    // The body of a logged result, as lines, to be shown.
    std::function<void(const std::vector<std::string>& lines)> OnShowMessage;
    // The date line could not be written; the run goes on.
    std::function<void(const std::string& message)> OnError;

private:
    bool handOut();
    void writeProfileDate();
    void waitUntilIdle();

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

    int m_requestTotal = 0;
    int m_requestsLogged = 0;
    int m_requestsSucceeded = 0;
    bool m_running = false;
    bool m_handedOut = false;
    std::array<bool, 6> m_awaitingDone{};
};

} // namespace app
