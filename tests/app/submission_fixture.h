#pragma once

// Helpers of the tests that drive the submission window through the main
// window's Submit command.

#include "submission_peers.h"

#include "app/form1.h"
#include "app/fsearch.h"
#include "app/submission_log.h"
#include "dbf/dataset/tz_dbf.h"
#include "platform/file_dialog.h"

#include <functional>
#include <gtest/gtest.h>
#include <QProcess>
#include <QTimer>

// Opens the submission window through the Submit command with the profile
// chosen, runs `inside` while it is shown modally, then closes it. Beeps go
// to `onBeep`. A watchdog cancels a run that hangs.
inline void submitWithProfile(
    TForm1& form, const QString& profile, const std::function<void(Tfsearch&)>& inside,
    const std::function<void()>& onBeep = [] {})
{
    FileDialog::queuePath(profile);
    bool ran = false;
    QTimer::singleShot(0, &form, [&] {
        Tfsearch* window = form.submissionWindow();
        ASSERT_NE(window, nullptr);
        window->OnBeep = onBeep;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, window, [window] {
            ADD_FAILURE() << "watchdog";
            window->CancelClick();
        });
        watchdog.start(kPeerTimeoutMs);
        inside(*window);
        ran = true;
        if (window->isVisible())
            window->close();
    });
    form.Submit1Click();
    EXPECT_TRUE(ran);
}

// Creates the log `path` the way it was made before the status field: four
// fields, one record for each address given (dated 01.02.2020, success).
inline void writeFourFieldLog(const QString& path, const std::vector<std::string>& urls = {})
{
    TTzDbf log;
    app::declareLog(log, path);
    log.setDbfFields({"date, C, 10, 0", "success, L, 1, 0", "message, M, 10, 0", "url, C, 254, 0"});
    app::openLog(log);
    ASSERT_TRUE(log.Active());
    for (const std::string& url : urls) {
        log.ClearRecord();
        log.SetCField("date", "01.02.2020");
        log.SetLField("success", true);
        log.SetCField("url", url);
        log.Append();
    }
    log.setActive(false);
}

// Saves a picture of the window when QUORVANE_SHOT_DIR names a folder.
inline void saveScreenshot(QWidget& window, const char* name)
{
    const QString folder = qEnvironmentVariable("QUORVANE_SHOT_DIR");
    if (!folder.isEmpty())
        window.grab().save(folder + '/' + name + ".png");
}

// Makes the log record with this address the current one.
inline void goToUrl(TTzDbf& log, const std::string& address)
{
    log.GoTop();
    for (long i = 0; i < log.RecCount(); ++i) {
        if (log.GetCField("url").substr(0, address.size() + 1) == address + " ")
            return;
        log.Skip(1);
    }
    ADD_FAILURE() << "no record for " << address;
}

// Another process holding a file the way another run of the program holds
// its log: an exclusive lock until release() or the end of the object.
class FileLockHolder {
public:
    explicit FileLockHolder(const QString& path)
    {
        m_process.start(kSystemPython, {"-c",
                                        "import fcntl, sys\n"
                                        "f = open(sys.argv[1], 'rb')\n"
                                        "fcntl.flock(f, fcntl.LOCK_EX)\n"
                                        "print('locked', flush=True)\n"
                                        "sys.stdin.read()\n",
                                        path});
        if (m_process.waitForReadyRead(kPeerTimeoutMs))
            m_locked = m_process.readLine().trimmed() == "locked";
    }
    ~FileLockHolder() { release(); }
    FileLockHolder(const FileLockHolder&) = delete;
    FileLockHolder& operator=(const FileLockHolder&) = delete;

    bool locked() const { return m_locked; }
    void release()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(kPeerTimeoutMs))
            m_process.kill();
        m_process.waitForFinished(kPeerTimeoutMs);
        m_locked = false;
    }

private:
    QProcess m_process;
    bool m_locked = false;
};
