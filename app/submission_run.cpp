#include "submission_run.h"

#include "app_state.h"
#include "engine_line.h"
#include "engines_list.h"
#include "http_clients.h"
#include "indexnow.h"
#include "profile.h"
#include "request_outcome.h"
#include "request_status.h"
#include "submission_log.h"

#include "dbf/dataset/tz_dbf.h"
#include "net/socket_error.h"
#include "platform/message_wait.h"
#include "platform/text_file.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

namespace app {
namespace {

// Delivers the events that are waiting, without blocking.
void deliverPending()
{
    QCoreApplication::processEvents();
}

} // namespace

SubmissionRun::SubmissionRun(AppState& state)
    : m_state(state), m_clients(state.clients()), m_log(state.log()),
      m_cancelRequested(state.cancelRequested)
{
    m_clientRequest.fill(-1);
    // Batch lines change a client's content type for their POST; every
    // other request goes out with the one the client came with.
    for (int i = 0; i < HttpClients::kCount; ++i)
        m_formContentType[static_cast<size_t>(i)] = m_clients.client(i).ContentTypePost();
}

SubmissionRun::~SubmissionRun()
{
    releaseRequestDone();
}

void SubmissionRun::receiveRequestDone()
{
    if (m_receiving)
        return;
    m_previousRequestDone = m_clients.onRequestDone();
    m_clients.setOnRequestDone([this](THttpCli* client, THttpRequest, uint16_t error) {
        if (m_state.submissionOpen)
            requestDone(*client, error);
    });
    m_receiving = true;
}

void SubmissionRun::releaseRequestDone()
{
    if (!m_receiving)
        return;
    m_clients.setOnRequestDone(m_previousRequestDone);
    m_previousRequestDone = nullptr;
    m_receiving = false;
}

void SubmissionRun::load(const QString& profilePath, const QString& enginesPath)
{
    // Both files are read before anything changes, so a failure leaves the
    // run as it was.
    Profile profile = readProfile(profilePath);
    Lines engineLines = runnableEngineLines(readEnginesFile(enginesPath));
    m_profilePath = profilePath;
    m_profileEmail = std::move(profile.email);
    m_profileName = std::move(profile.name);
    m_profileDate = std::move(profile.lastDate);
    m_pages = std::move(profile.pages);
    m_engineLines = std::move(engineLines);
}

SubmissionRun::Outcome SubmissionRun::run()
{
    if (m_running)
        return Outcome::AlreadyRunning;
    if (m_engineLines.empty() || m_pages.empty())
        return Outcome::NothingToDo;
    m_requestsLogged = 0;
    m_requestsSucceeded = 0;
    m_cancelRequested = false;
    m_running = true;
    m_handedOut = false;
    m_requests = plannedRequests();
    m_requestTotal = 0;
    for (const Request& request : m_requests)
        m_requestTotal += static_cast<int>(request.logUrls.size());
    m_clientRequest.fill(-1);
    m_retryReady.clear();
    m_retriesWaiting = 0;
    m_waits = std::make_unique<QObject>();
    if (OnRunStarted)
        OnRunStarted(*this);

    // An error that ends the handing out early still lets the requests in
    // flight finish and be logged before it is reported.
    std::exception_ptr failure;
    try {
        handOut();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!m_cancelRequested) {
        m_handedOut = true;
        writeProfileDate();
        waitUntilIdle();
    }
    // Requests still waiting to be tried again are dropped with their
    // timers; like aborted ones, they are not logged.
    m_waits.reset();
    m_retryReady.clear();
    m_retriesWaiting = 0;
    restoreContentTypes();
    m_running = false;
    if (failure)
        std::rethrow_exception(failure);
    return m_cancelRequested ? Outcome::Cancelled : Outcome::Finished;
}

void SubmissionRun::readSettings(RegistryStore& store)
{
    m_indexNowKey = readIndexNowKey(store);
    m_retries = readRetries(store);
}

std::vector<SubmissionRun::Request> SubmissionRun::plannedRequests()
{
    std::vector<Request> requests;
    m_requestsSkipped = 0;
    for (const std::string& line : m_engineLines)
        addLineRequests(line, requests);
    return requests;
}

bool SubmissionRun::recentlySent(const std::string& url)
{
    if (m_skipRecentDays <= 0 || !sentSuccessfullyWithin(m_log, url, m_skipRecentDays))
        return false;
    ++m_requestsSkipped;
    return true;
}

void SubmissionRun::addLineRequests(const std::string& line, std::vector<Request>& requests)
{
    if (isIndexNowLine(line)) {
        // A page counts as sent when any IndexNow endpoint took it: the
        // endpoints share what they receive.
        std::vector<std::string> pages;
        for (const std::string& page : m_pages) {
            if (!pageHost(page).empty() && !recentlySent(page))
                pages.push_back(page);
        }
        IndexNowSubmission submission = indexNowSubmission(line, pages, m_indexNowKey);
        for (IndexNowBatch& batch : submission.batches) {
            requests.push_back({HttpMethod::Post, submission.endpoint, std::move(batch.body),
                                submission.contentType, std::move(batch.pages), true, 0});
        }
        return;
    }
    // A line that carries the IndexNow key talks to an IndexNow endpoint.
    const bool indexNow = line.find(kKeyPlaceholder) != std::string::npos;
    for (const std::string& page : m_pages) {
        EngineRequest split = splitEngineLine(procesa(line, page));
        if (recentlySent(split.url))
            continue;
        requests.push_back(
            {split.method, split.url, std::move(split.body), {}, {split.url}, indexNow, 0});
    }
}

bool SubmissionRun::handOutOne(size_t request)
{
    // Sleeps until a client is free for the run or Cancel.
    while (!dispatchRequest(request)) {
        platform::deliverMessagesUntil([this] { return m_cancelRequested || anyClientIdle(); });
        if (m_cancelRequested)
            return false;
    }
    return true;
}

bool SubmissionRun::sendReadyRetries()
{
    while (!m_retryReady.empty()) {
        const size_t retry = m_retryReady.front();
        m_retryReady.pop_front();
        if (!handOutOne(retry))
            return false;
    }
    return true;
}

bool SubmissionRun::handOut()
{
    for (size_t i = 0; i < m_requests.size(); ++i) {
        deliverPending();
        if (m_cancelRequested)
            return false;
        // Requests whose wait is over go before the next new one.
        if (!sendReadyRetries() || !handOutOne(i))
            return false;
    }
    return true;
}

void SubmissionRun::writeProfileDate()
{
    try {
        // A profile too short to have a date line is left as it is.
        updateProfileDate(m_profilePath, shortDateText(QDate::currentDate()));
    } catch (const std::exception& error) {
        if (OnError)
            OnError(error.what());
    }
}

bool SubmissionRun::clientIdle(int clientIndex) const
{
    return m_clients.client(clientIndex).State() == hsReady &&
           !m_awaitingDone[static_cast<size_t>(clientIndex)];
}

bool SubmissionRun::anyClientIdle() const
{
    for (int i = 0; i < HttpClients::kCount; ++i) {
        if (clientIdle(i))
            return true;
    }
    return false;
}

bool SubmissionRun::allClientsIdle() const
{
    for (int i = 0; i < HttpClients::kCount; ++i) {
        if (!clientIdle(i))
            return false;
    }
    return true;
}

void SubmissionRun::waitUntilIdle()
{
    for (;;) {
        platform::deliverMessagesUntil([this] {
            return m_cancelRequested || !m_retryReady.empty() ||
                   (m_retriesWaiting == 0 && allClientsIdle());
        });
        if (m_cancelRequested || m_retryReady.empty())
            return;
        // A request's wait is over: it goes to the next free client.
        if (!sendReadyRetries())
            return;
    }
}

std::string SubmissionRun::procesa(const std::string& line, const std::string& page) const
{
    return app::procesa(line, page, m_profileEmail, m_profileName, m_indexNowKey);
}

bool SubmissionRun::dispatchRequest(size_t request)
{
    for (int i = 0; i < HttpClients::kCount; ++i) {
        if (clientIdle(i)) {
            startRequest(request, i);
            return true;
        }
    }
    return false;
}

bool SubmissionRun::startRequest(size_t index, int clientIndex)
{
    Request& request = m_requests.at(index);
    const auto at = static_cast<size_t>(clientIndex);
    m_clients.attachFreshStreams(clientIndex);
    THttpCli& client = m_clients.client(clientIndex);
    if (request.method == HttpMethod::Post) {
        QBuffer& body = m_clients.sent(clientIndex);
        body.write(request.body.data(), static_cast<qint64>(request.body.size()));
        body.seek(0);
    }
    client.setContentTypePost(request.contentType.empty() ? m_formContentType[at]
                                                          : request.contentType);
    client.setURL(request.url);
    try {
        if (request.method == HttpMethod::Post)
            client.PostAsync();
        else
            client.GetAsync();
    } catch (const std::exception&) {
        // A request that cannot even start is skipped: there is no answer
        // to log for it.
        return false;
    }
    ++request.attempts;
    m_awaitingDone[at] = true;
    m_clientRequest[at] = static_cast<long>(index);
    if (OnRequestStarted)
        OnRequestStarted(clientIndex, request.url);
    if (request.attempts > 1 && OnWaiting)
        OnWaiting(request.url, {});
    return true;
}

void SubmissionRun::restoreContentTypes()
{
    for (int i = 0; i < HttpClients::kCount; ++i)
        m_clients.client(i).setContentTypePost(m_formContentType[static_cast<size_t>(i)]);
}

namespace {

// Everything the client has received for its request, as lines.
std::vector<std::string> answerLines(const THttpCli& client)
{
    QIODevice* received = client.RcvdStream();
    if (!received)
        return {};
    const auto split = [](const QByteArray& bytes) {
        return answerTextLines(
            std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    };
    if (const auto* buffer = qobject_cast<const QBuffer*>(received))
        return split(buffer->data());
    const qint64 at = received->pos();
    received->seek(0);
    const QByteArray bytes = received->readAll();
    received->seek(at);
    return split(bytes);
}

// The record's message: the answer as received, a last line saying so when
// it was cut, or for a failure without an answer the reason in one line.
// IndexNow endpoints often answer with a status alone; their record then
// says what that status means to them.
std::vector<std::string> loggedMessage(const THttpCli& client, uint16_t error, bool success,
                                       bool indexNow)
{
    std::vector<std::string> lines = answerLines(client);
    if (client.RcvdTruncated())
        lines.emplace_back(kAnswerCutLine);
    if (!lines.empty())
        return lines;
    const std::string_view meaning =
        indexNow && error == 0 ? indexNowStatusMeaning(client.StatusCode()) : std::string_view();
    if (!meaning.empty()) {
        std::string line = "HTTP " + std::to_string(client.StatusCode());
        if (!client.ReasonPhrase().empty())
            line += ' ' + client.ReasonPhrase();
        lines.push_back(line + ": " + std::string(meaning));
    } else if (!success) {
        lines.push_back(failureReason(client, error));
    }
    return lines;
}

// The log's status text for a finished request.
std::string statusText(const THttpCli& client, uint16_t error, int attempts)
{
    const int status = client.HeaderlessAnswer() ? 0 : client.StatusCode();
    return logStatusText(error, status, client.ReasonPhrase(),
                         error != 0 ? SocketErrorDesc(error) : std::string(), attempts);
}

} // namespace

void SubmissionRun::requestDone(THttpCli& client, uint16_t error)
{
    const int index = m_clients.indexOf(&client);
    long request = -1;
    if (index >= 0) {
        const auto at = static_cast<size_t>(index);
        m_awaitingDone[at] = false;
        request = m_clientRequest[at];
        m_clientRequest[at] = -1;
    }
    if (request < 0 || static_cast<size_t>(request) >= m_requests.size()) {
        // Not a request of this run's plan: logged as it stands.
        const bool success = requestSucceeded(client, error);
        logadd(success, client.URL(), loggedMessage(client, error, success, false),
               statusText(client, error, 1));
        return;
    }
    if (scheduleRetry(client, error, static_cast<size_t>(request)))
        return;
    finishRequest(client, error, static_cast<size_t>(request));
}

bool SubmissionRun::scheduleRetry(THttpCli& client, uint16_t error, size_t index)
{
    if (m_cancelRequested || !m_waits)
        return false;
    const Request& request = m_requests[index];
    const AttemptOutcome outcome{error, client.StatusCode(), client.RcvdHeader()};
    const RetryDecision decision = decideRetry(outcome, request.attempts, m_retries,
                                               QDateTime::currentDateTimeUtc(), m_random);
    if (!decision.retry)
        return false;
    const std::chrono::milliseconds wait = std::min(decision.wait, m_maxRetryWait);
    // The wait is a timer of the event loop: the other clients go on, and
    // Cancel ends it at once (the timers go with m_waits).
    ++m_retriesWaiting;
    QTimer::singleShot(wait, m_waits.get(), [this, index] {
        --m_retriesWaiting;
        m_retryReady.push_back(index);
    });
    if (OnWaiting)
        OnWaiting(request.url, retryWaitText(statusText(client, error, 1), wait,
                                             request.attempts + 1, m_retries + 1));
    return true;
}

void SubmissionRun::finishRequest(THttpCli& client, uint16_t error, size_t index)
{
    // The answer goes from the client's stream into the records in memory,
    // never through a file. A batch's answer is every one of its pages'.
    const Request& request = m_requests[index];
    const bool success = requestSucceeded(client, error);
    const std::vector<std::string> message =
        loggedMessage(client, error, success, request.indexNow);
    const std::string status = statusText(client, error, request.attempts);
    if (OnShowMessage)
        OnShowMessage(message);
    for (const std::string& url : request.logUrls) {
        appendRecord(success, url, message, status);
        reportLogged();
    }
}

void SubmissionRun::logadd(bool success, const std::string& url,
                           const std::optional<std::vector<std::string>>& message,
                           const std::string& status)
{
    if (message && OnShowMessage)
        OnShowMessage(*message);
    appendRecord(success, url, message ? *message : std::vector<std::string>{}, status);
    reportLogged();
}

void SubmissionRun::appendRecord(bool success, const std::string& url,
                                 const std::vector<std::string>& message, const std::string& status)
{
    // The record buffer is shared with the grid: a pending edit is settled
    // first so that it cannot end up on the new record.
    m_log.DataSet()->CheckBrowseMode();
    m_log.ClearRecord();
    m_log.SetCField("date", logDateText(m_log.engine()));
    m_log.SetLField("success", success);
    m_log.SetCField("url", url);
    // A log made before the status field keeps its four fields.
    if (!status.empty() && logHasStatus(m_log))
        m_log.SetCField(kStatusField, status);
    // An empty answer leaves the memo field blank rather than pointing at
    // an empty memo.
    if (!message.empty())
        storeLogMessage(m_log, message);
    m_log.Append();
    ++m_requestsLogged;
    if (success)
        ++m_requestsSucceeded;
}

void SubmissionRun::reportLogged()
{
    if (OnProgress)
        OnProgress(*this);
    deliverPending();
}

QString SubmissionRun::summaryText() const
{
    const int failed = m_requestsLogged - m_requestsSucceeded;
    if (m_requestsSkipped == 0)
        return QString("%1 requests, %2 succeeded, %3 failed")
            .arg(m_requestsLogged)
            .arg(m_requestsSucceeded)
            .arg(failed);
    return QString("%1 requests, %2 sent, %3 skipped, %4 succeeded, %5 failed")
        .arg(m_requestsLogged + m_requestsSkipped)
        .arg(m_requestsLogged)
        .arg(m_requestsSkipped)
        .arg(m_requestsSucceeded)
        .arg(failed);
}

QString SubmissionRun::progressText() const
{
    return QString("Sended %1 of %2").arg(m_requestsLogged).arg(m_requestTotal);
}

} // namespace app
