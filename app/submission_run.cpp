#include "submission_run.h"

#include "app_state.h"
#include "engine_line.h"
#include "engines_list.h"
#include "http_clients.h"
#include "profile.h"
#include "request_outcome.h"
#include "submission_log.h"

#include "dbf/dataset/tz_dbf.h"
#include "platform/message_wait.h"
#include "platform/text_file.h"

#include <exception>
#include <optional>
#include <QBuffer>
#include <QCoreApplication>

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
    m_requestTotal = static_cast<int>(m_engineLines.size() * m_pages.size());
    m_requestsLogged = 0;
    m_requestsSucceeded = 0;
    m_cancelRequested = false;
    m_running = true;
    m_handedOut = false;

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
    m_running = false;
    if (failure)
        std::rethrow_exception(failure);
    return m_cancelRequested ? Outcome::Cancelled : Outcome::Finished;
}

bool SubmissionRun::handOut()
{
    for (const std::string& line : m_engineLines) {
        for (const std::string& page : m_pages) {
            deliverPending();
            if (m_cancelRequested)
                return false;
            const std::string expanded = procesa(line, page);
            while (!dispatchRequest(expanded)) {
                // Sleeps until a client is free for the run or Cancel.
                platform::deliverMessagesUntil(
                    [this] { return m_cancelRequested || anyClientIdle(); });
                if (m_cancelRequested)
                    return false;
            }
        }
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
    platform::deliverMessagesUntil([this] { return m_cancelRequested || allClientsIdle(); });
}

std::string SubmissionRun::procesa(const std::string& line, const std::string& page) const
{
    return app::procesa(line, page, m_profileEmail, m_profileName);
}

bool SubmissionRun::dispatchRequest(const std::string& line)
{
    for (int i = 0; i < HttpClients::kCount; ++i) {
        if (clientIdle(i)) {
            startRequest(line, i);
            return true;
        }
    }
    return false;
}

bool SubmissionRun::startRequest(const std::string& line, int clientIndex)
{
    m_clients.attachFreshStreams(clientIndex);
    THttpCli& client = m_clients.client(clientIndex);
    const EngineRequest request = splitEngineLine(line);
    if (request.method == HttpMethod::Post) {
        QBuffer& body = m_clients.sent(clientIndex);
        body.write(request.body.data(), static_cast<qint64>(request.body.size()));
        body.seek(0);
    }
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
    m_awaitingDone[static_cast<size_t>(clientIndex)] = true;
    if (OnRequestStarted)
        OnRequestStarted(clientIndex, request.url);
    return true;
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
std::vector<std::string> loggedMessage(const THttpCli& client, uint16_t error, bool success)
{
    std::vector<std::string> lines = answerLines(client);
    if (client.RcvdTruncated())
        lines.emplace_back(kAnswerCutLine);
    if (!success && lines.empty())
        lines.push_back(failureReason(client, error));
    return lines;
}

} // namespace

void SubmissionRun::requestDone(THttpCli& client, uint16_t error)
{
    const int index = m_clients.indexOf(&client);
    if (index >= 0)
        m_awaitingDone[static_cast<size_t>(index)] = false;
    // The answer goes from the client's stream into the record in memory,
    // never through a file.
    const bool success = requestSucceeded(client, error);
    logadd(success, client.URL(), loggedMessage(client, error, success));
}

void SubmissionRun::logadd(bool success, const std::string& url,
                           const std::optional<std::vector<std::string>>& message)
{
    // The record buffer is shared with the grid: a pending edit is settled
    // first so that it cannot end up on the new record.
    m_log.DataSet()->CheckBrowseMode();
    m_log.ClearRecord();
    m_log.SetCField("date", logDateText(m_log.engine()));
    m_log.SetLField("success", success);
    m_log.SetCField("url", url);
    if (message) {
        if (OnShowMessage)
            OnShowMessage(*message);
        // An empty answer leaves the memo field blank rather than pointing
        // at an empty memo.
        if (!message->empty())
            storeLogMessage(m_log, *message);
    }
    m_log.Append();
    ++m_requestsLogged;
    if (success)
        ++m_requestsSucceeded;
    if (OnProgress)
        OnProgress(*this);
    deliverPending();
}

QString SubmissionRun::summaryText() const
{
    return QString("%1 requests, %2 succeeded, %3 failed")
        .arg(m_requestsLogged)
        .arg(m_requestsSucceeded)
        .arg(m_requestsLogged - m_requestsSucceeded);
}

QString SubmissionRun::progressText() const
{
    return QString("Sended %1 of %2").arg(m_requestsLogged).arg(m_requestTotal);
}

} // namespace app
