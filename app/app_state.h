#pragma once

#include <memory>
#include <QString>
#include <string>

class TTzDbf;

namespace app {

class HttpClients;

// What the windows of the program share for the whole run: the six HTTP
// clients, the submission log, the engines list's file name and the flags of
// a submission. The main window keeps one; a submission window works on it
// alone, so it needs nothing else of the main window; the headless run keeps
// one of its own.
class AppState {
public:
    // Declares the log in the program folder (closed) and creates the
    // temporary file that holds one downloaded page at a time.
    AppState();
    // Removes the temporary file.
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    HttpClients& clients() const { return *m_clients; }
    TTzDbf& log() const { return *m_log; }
    const QString& logFileName() const { return m_logFileName; }
    const QString& tempFileName() const { return m_tempFileName; }
    // Removes the temporary file now (the program is about to end).
    void removeTempFile();

    // The engines list file a run reads, and whether the list box holds
    // changes not yet written there.
    QString enginesFileName;
    bool enginesModified = false;
    // The address of the page shown in the main viewer.
    std::string siteAddress;
    // True while a submission window has a profile chosen and the log open:
    // only then are answers logged and messages shown.
    bool submissionOpen = false;
    // Set by Cancel (and by dismissing the profile dialog); read by the run
    // after every delivery of events.
    bool cancelRequested = false;

private:
    std::unique_ptr<HttpClients> m_clients;
    std::unique_ptr<TTzDbf> m_log;
    QString m_logFileName;
    QString m_tempFileName;
};

} // namespace app
