#include "headless.h"

#include "app_state.h"
#include "engines_list.h"
#include "http_clients.h"
#include "submission_log.h"
#include "submission_run.h"

#include "dbf/dataset/tz_dbf.h"
#include "platform/program_folder.h"
#include "platform/registry_store.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
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

void say(std::FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// Without windows the table layer reports on stderr: its own notices are
// kept quiet, and a failure of the table (a log that another run holds, a
// damaged log) is written with the engine's text; the temporary file is
// removed and the program ends with kExitTableError.
void reportTableErrorsOnStderr(const QString& tempFileName = {})
{
    TTzODbf::setMessageMode(1);
    TTzODbf::setHaltReporter([tempFileName](int, const std::string& text) {
        QString message = QString::fromLocal8Bit(text.c_str());
        message.replace("\r\n", "\n");
        say(stderr, "quorvane: the submission log cannot be used.\n" + message);
        if (!tempFileName.isEmpty())
            QFile::remove(tempFileName);
        std::exit(kExitTableError);
    });
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

int runHeadlessSubmission(const QString& profileArgument, const QString& enginesArgument,
                          int skipRecentDays)
{
    const QString profilePath = fromStartFolder(profileArgument);
    const QString enginesPath = fromStartFolder(enginesArgument);
    platform::prepareProgramFolder();
    const QString engines = enginesPath.isEmpty() ? defaultEnginesFilePath() : enginesPath;

    AppState state;
    reportTableErrorsOnStderr(state.tempFileName());
    HttpClients& clients = state.clients();
    RegistryStore registry;
    clients.readpreferences(registry);
    TTzDbf& log = state.log();

    SubmissionRun run(state);
    run.readSettings(registry);
    run.setSkipRecentDays(skipRecentDays);
    try {
        run.load(profilePath, engines);
    } catch (const std::exception& error) {
        say(stderr, "quorvane: " + QString::fromLocal8Bit(error.what()));
        return kExitFailed;
    }

    run.receiveRequestDone();
    run.OnProgress = [](const SubmissionRun& r) { say(stderr, r.progressText()); };
    run.OnWaiting = [](const std::string& url, const std::string& text) {
        if (!text.empty())
            say(stderr, QString::fromLocal8Bit((url + ": " + text).c_str()));
    };
    bool writeFailed = false;
    run.OnError = [&writeFailed](const std::string& message) {
        writeFailed = true;
        say(stderr, "quorvane: " + QString::fromLocal8Bit(message.c_str()));
    };

    CancelSignals cancelSignals(state.cancelRequested);
    state.submissionOpen = true;
    openLog(log);
    SubmissionRun::Outcome outcome = run.run();
    clients.abortBusy();
    log.Pack();
    state.submissionOpen = false;
    log.setActive(false);

    say(stdout, run.summaryText());
    if (outcome == SubmissionRun::Outcome::Cancelled)
        return kExitCancelled;
    // The profile's date line could not be written: the run is not done.
    if (writeFailed)
        return kExitFailed;
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
        const LogExport exported = exportLogCsv(log, csvPath);
        for (const std::string& line : damageLines(exported))
            say(stderr, "quorvane: " + QString::fromLocal8Bit(line.c_str()));
        if (!exported.damaged.empty())
            result = kExitDamaged;
    } catch (const std::exception& error) {
        say(stderr, "quorvane: " + QString::fromLocal8Bit(error.what()));
        result = kExitFailed;
    }
    log.setActive(false);
    return result;
}

} // namespace app
