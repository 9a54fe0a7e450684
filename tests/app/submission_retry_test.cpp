// The submission window with statuses, retries and the skip setting: the
// "Status" column of a new log (none for an old one), the panel during a
// wait and Cancel ending it, back-off after refused connections, and the
// skip check box remembered in the registry.

#include "app_test_env.h"
#include "submission_fixture.h"

#include "app/form1.h"
#include "app/fsearch.h"
#include "app/registry_keys.h"
#include "app/submission_log.h"
#include "dbf/dataset/tz_dbf.h"
#include "dbf/widgets/tz_grid.h"
#include "platform/registry_store.h"
#include "platform/text_file.h"

#include <chrono>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTimer>

namespace {

using namespace std::chrono_literals;

class SubmissionRetry : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_server = std::make_unique<AnswerServer>(INDEXNOW_SERVER_SCRIPT, QStringList{});
        ASSERT_GT(m_server->port(), 0);
    }

    static QString registryValue(const char* name)
    {
        RegistryStore store;
        return app::readRegKey(store, app::kPreferencesKey, name);
    }
    std::string endpoint(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_server->port()) + "/" + path;
    }
    void writeFiles(const std::vector<std::string>& engines, const std::vector<std::string>& pages)
    {
        platform::writeTextLines(home() + "engines.txt", engines);
        std::vector<std::string> lines{"me@example.org", "Me", "old"};
        lines.insert(lines.end(), pages.begin(), pages.end());
        platform::writeTextLines(home() + "site.ini", lines);
    }
    void submit(TForm1& form, const std::function<void(Tfsearch&)>& inside)
    {
        submitWithProfile(form, home() + "site.ini", inside);
    }
    static std::vector<std::string> columnTitles(Tfsearch& window)
    {
        std::vector<std::string> titles;
        for (int i = 0; i < window.grid()->Columns().Count(); ++i)
            titles.push_back(window.grid()->Columns()[i]->Title.Caption.toStdString());
        return titles;
    }

    std::unique_ptr<AnswerServer> m_server;
};

TEST_F(SubmissionRetry, CancelDuringAWaitEndsTheRunAtOnceAndTheGridShowsStatuses)
{
    writeFiles({"GET" + endpoint("s202?u=##url"), "GET" + endpoint("always429/600/a?u=##url")},
               {"p"});
    TForm1 form;
    QString waitText;
    QElapsedTimer clock;
    submit(form, [&](Tfsearch& window) {
        EXPECT_EQ(columnTitles(window),
                  (std::vector<std::string>{"Date", "Success", "Status", "Url"}));
        const auto showWaiting = window.run().OnWaiting;
        window.run().OnWaiting = [&](const std::string& url, const std::string& text) {
            showWaiting(url, text);
            if (text.empty())
                return;
            waitText = window.progressText();
            saveScreenshot(window, "submission_waiting");
            QTimer::singleShot(0, &window, [&] { window.CancelClick(); });
        };
        clock.start();
        window.StartClick();
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_FALSE(window.isVisible());
    });
    EXPECT_EQ(waitText, "429 Too Many Requests: trying again in 600 s (attempt 2 of 3)");
    // The answer that came is logged with its status; the waiting one is not.
    TTzDbf log;
    app::declareLog(log, home() + app::kLogFileName);
    app::openLog(log);
    ASSERT_EQ(log.RecCount(), 1);
    EXPECT_EQ(log.GetCField("status").substr(0, 13), "202 Accepted ");
    log.setActive(false);
}

TEST_F(SubmissionRetry, RefusedConnectionsAreTriedAgainAfterTheBackoffAndLoggedOnce)
{
    writeFiles({"GEThttp://127.0.0.1:1/refused?u=##url"}, {"p"});
    TForm1 form;
    int starts = 0;
    std::vector<std::string> waits;
    submit(form, [&](Tfsearch& window) {
        window.run().setMaxRetryWait(20ms);
        window.run().OnRequestStarted = [&](int, const std::string&) { ++starts; };
        const auto showWaiting = window.run().OnWaiting;
        window.run().OnWaiting = [&](const std::string& url, const std::string& text) {
            showWaiting(url, text);
            if (!text.empty())
                waits.push_back(text);
        };
        window.StartClick();
        EXPECT_EQ(window.summaryText(), "1 requests, 0 succeeded, 1 failed");
        EXPECT_EQ(window.progressText(), "Sended 1 of 1");
        EXPECT_EQ(form.log().GetCField("status").substr(0, 35),
                  "Connection refused after 3 attempts");
    });
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(waits, (std::vector<std::string>{
                         "Connection refused: trying again in 1 s (attempt 2 of 3)",
                         "Connection refused: trying again in 1 s (attempt 3 of 3)"}));
}

TEST_F(SubmissionRetry, OldLogHasNoStatusColumn)
{
    writeFourFieldLog(home() + app::kLogFileName);
    writeFiles({"GET" + endpoint("s202?u=##url")}, {"p"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        EXPECT_EQ(columnTitles(window), (std::vector<std::string>{"Date", "Success", "Url"}));
        window.StartClick();
        EXPECT_EQ(form.log().RecCount(), 1);
        EXPECT_FALSE(app::logHasStatus(form.log()));
    });
}

TEST_F(SubmissionRetry, SkipSettingIsRememberedAndLeavesOutRecentPages)
{
    writeFiles({"GET" + endpoint("s202?u=##url")}, {"a", "b"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        EXPECT_FALSE(window.skipRecentBox()->isChecked());
        EXPECT_EQ(window.skipRecentDaysBox()->value(), 7);
        EXPECT_FALSE(window.skipRecentDaysBox()->isEnabled());
        EXPECT_EQ(window.skipRecentBox()->text(), "Skip pages sent successfully in the last");
        window.StartClick();
        EXPECT_EQ(window.summaryText(), "2 requests, 2 succeeded, 0 failed");
    });
    writeFiles({"GET" + endpoint("s202?u=##url")}, {"a", "b", "c"});
    submit(form, [&](Tfsearch& window) {
        window.skipRecentBox()->setChecked(true);
        EXPECT_TRUE(window.skipRecentDaysBox()->isEnabled());
        window.skipRecentDaysBox()->setValue(5);
        window.StartClick();
        EXPECT_EQ(window.summaryText(), "3 requests, 1 sent, 2 skipped, 1 succeeded, 0 failed");
        saveScreenshot(window, "submission_statuses");
    });
    EXPECT_EQ(registryValue("SkipRecent"), "1");
    EXPECT_EQ(registryValue("SkipRecentDays"), "5");
    submit(form, [&](Tfsearch& window) {
        EXPECT_TRUE(window.skipRecentBox()->isChecked());
        EXPECT_EQ(window.skipRecentDaysBox()->value(), 5);
    });
}

} // namespace
