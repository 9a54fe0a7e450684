#include "headless.h"

#include "engines_list.h"
#include "http_clients.h"
#include "submission_log.h"
#include "submission_run.h"

#include "dbf/widgets/tz_dbf.h"
#include "platform/program_folder.h"
#include "platform/registry_store.h"
#include "platform/temp_file.h"

#include <csignal>
#include <cstdio>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <sys/socket.h>
#include <unistd.h>

namespace app {
namespace {

// SIGINT and SIGTERM become a byte on a socket pair, read by the event loop:
// a signal handler may do little more than write(), and the run reads its
// cancel flag only between events anyway.
class CancelSignals {
public:
    explicit CancelSignals(bool& cancelRequested) : m_cancelRequested(cancelRequested)
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_pair) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(s_pair[1], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            char byte = 0;
            if (::read(s_pair[1], &byte, 1) == 1)
                m_cancelRequested = true;
        });
        struct sigaction action = {};
        action.sa_handler = &CancelSignals::handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &m_oldInt);
        sigaction(SIGTERM, &action, &m_oldTerm);
        m_installed = true;
    }

    ~CancelSignals()
    {
        if (!m_installed)
            return;
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        m_notifier.reset();
        ::close(s_pair[0]);
        ::close(s_pair[1]);
        s_pair[0] = s_pair[1] = -1;
    }

    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;

private:
    static void handle(int)
    {
        const char byte = 1;
        if (s_pair[0] >= 0)
            (void)!::write(s_pair[0], &byte, 1);
    }

    static inline int s_pair[2] = {-1, -1};
    bool& m_cancelRequested;
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
    bool m_installed = false;
};

// Without windows the table layer reports on stderr: its own notices are
// kept quiet and an engine failure ends the program with its code and text.
void reportTableErrorsOnStderr()
{
    TTzODbf::setMessageMode(1);
    TTzODbf::setHaltReporter(&dbf::DbfEngine::defaultHaltReporter);
}

void say(std::FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// A path given on the command line names a file relative to where the
// command was started, not to the program folder it then works in.
QString fromStartFolder(const QString& path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

// 0 only when every request of the run was answered with success.
int exitCodeOf(SubmissionRun::Outcome outcome, const SubmissionRun& run)
{
    if (outcome == SubmissionRun::Outcome::Cancelled)
        return kExitCancelled;
    if (outcome == SubmissionRun::Outcome::Finished &&
        (run.requestsSucceeded() < run.requestsLogged() ||
         run.requestsLogged() < run.requestTotal()))
        return kExitSomeFailed;
    return kExitDone;
}

} // namespace

int runHeadlessSubmission(const QString& profileArgument, const QString& enginesArgument)
{
    const QString profilePath = fromStartFolder(profileArgument);
    const QString enginesPath = fromStartFolder(enginesArgument);
    platform::prepareProgramFolder();
    const QString engines = enginesPath.isEmpty() ? defaultEnginesFilePath() : enginesPath;
    reportTableErrorsOnStderr();

    HttpClients clients;
    RegistryStore registry;
    clients.readpreferences(registry);
    TTzDbf log;
    declareLog(log, platform::programFolder() + kLogFileName);

    bool cancelRequested = false;
    bool submissionOpen = false;
    const QString tempFileName = platform::createTempFile();
    SubmissionRun run(clients, log, tempFileName, cancelRequested);
    try {
        run.load(profilePath, engines);
    } catch (const std::exception& error) {
        say(stderr, "quorvane: " + QString::fromLocal8Bit(error.what()));
        QFile::remove(tempFileName);
        return kExitFailed;
    }

    clients.setOnRequestDone([&](THttpCli* client, THttpRequest, uint16_t error) {
        // Answers of requests aborted at the end arrive when the log is
        // already closed; they are not logged.
        if (submissionOpen)
            run.requestDone(*client, error);
    });
    run.OnProgress = [](const SubmissionRun& r) { say(stderr, r.progressText()); };
    run.OnError = [](const std::string& message) {
        say(stderr, "quorvane: " + QString::fromLocal8Bit(message.c_str()));
    };

    CancelSignals cancelSignals(cancelRequested);
    submissionOpen = true;
    openLog(log);
    SubmissionRun::Outcome outcome = run.run();
    clients.abortBusy();
    log.Pack();
    submissionOpen = false;
    log.setActive(false);
    QFile::remove(tempFileName);

    const int logged = run.requestsLogged();
    const int succeeded = run.requestsSucceeded();
    say(stdout, QString("%1 requests, %2 succeeded, %3 failed")
                    .arg(logged)
                    .arg(succeeded)
                    .arg(logged - succeeded));
    return exitCodeOf(outcome, run);
}

int exportLog(const QString& csvArgument)
{
    const QString csvPath = fromStartFolder(csvArgument);
    platform::prepareProgramFolder();
    const QString logPath = platform::programFolder() + kLogFileName;
    if (!QFileInfo::exists(logPath)) {
        say(stderr, "quorvane: there is no submission log " + logPath);
        return kExitFailed;
    }
    reportTableErrorsOnStderr();
    TTzDbf log;
    declareLog(log, logPath);
    openLog(log);
    int result = kExitDone;
    try {
        exportLogCsv(log, csvPath);
    } catch (const std::exception& error) {
        say(stderr, "quorvane: " + QString::fromLocal8Bit(error.what()));
        result = kExitFailed;
    }
    log.setActive(false);
    return result;
}

} // namespace app
