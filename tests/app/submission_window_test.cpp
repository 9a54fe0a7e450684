// The submission window end to end: a real main window, its six clients and
// its log, against the answer server on 127.0.0.1; the files it leaves are
// read back by python3-dbfread and Perl XBase.

#include "app_test_env.h"
#include "submission_fixture.h"

#include "app/form1.h"
#include "app/fsearch.h"
#include "app/http_clients.h"
#include "app/registry_keys.h"
#include "dbf/dataset/tz_dbf.h"
#include "dbf/widgets/tz_grid.h"
#include "dbf/widgets/tz_navigator.h"
#include "platform/registry_store.h"
#include "platform/text_file.h"

#include <functional>
#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

class SubmissionWindow : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_GT(m_server.port(), 0);
        m_today = QDate::currentDate().toString("dd.MM.yyyy").toStdString();
        // Failures are logged at their first attempt here; retries have
        // tests of their own.
        RegistryStore store;
        app::writeRegKey(store, app::kPreferencesKey, app::kRetriesValue, "0");
    }

    void writeEngines(const std::vector<std::string>& lines)
    {
        platform::writeTextLines(home() + "engines.txt", lines);
    }
    QString writeProfile(const std::vector<std::string>& pages)
    {
        std::vector<std::string> lines{"me@example.org", "John%20Smith", "old"};
        lines.insert(lines.end(), pages.begin(), pages.end());
        platform::writeTextLines(home() + "site.ini", lines);
        return home() + "site.ini";
    }
    std::string profileDate() { return platform::readTextLines(home() + "site.ini").at(2); }

    void submit(TForm1& form, const std::function<void(Tfsearch&)>& inside)
    {
        submitWithProfile(form, home() + "site.ini", inside, [this] { ++m_beeps; });
    }

    std::string url(const std::string& path) const { return m_server.base() + path; }

    // A run over `pages` against one GET engine, stopped by `cancel` while
    // it is still handing out: once `started` requests are out and `logged`
    // answers are in. No further request starts, the busy clients are
    // aborted, the date line stays and only the answers in are logged.
    void cancelWhileHandingOut(const std::vector<std::string>& pages, int started, int logged,
                               const std::function<void(Tfsearch&)>& cancel)
    {
        writeEngines({"GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url"});
        writeProfile(pages);
        TForm1 form;
        int starts = 0;
        submit(form, [&](Tfsearch& window) {
            window.run().OnRequestStarted = [&](int, const std::string&) { ++starts; };
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &window, [&] {
                if (starts < started || window.run().requestsLogged() < logged)
                    return;
                poll.stop();
                cancel(window);
                EXPECT_EQ(window.progressText(), "Closing...");
            });
            poll.start(10);
            window.StartClick();
            EXPECT_FALSE(window.run().handedOut());
            EXPECT_FALSE(window.isVisible());
        });
        EXPECT_EQ(starts, started);
        EXPECT_EQ(profileDate(), "old");
        EXPECT_TRUE(form.httpClients().allIdle());
        EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), size_t(logged));
    }

    // A key pressed and released on a widget; what it ignores goes on to
    // its parents, as with a real key.
    static void key(QWidget* widget, int code, const QString& text = {})
    {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &release);
    }

    // Types into the grid's selected cell: the first key opens the editor.
    static void typeIntoCell(TTzGrid* grid, const QString& text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            QWidget* target = i == 0 ? static_cast<QWidget*>(grid) : grid->InplaceEditor();
            key(target, text.at(i).toUpper().unicode(), text.mid(i, 1));
            ASSERT_TRUE(grid->EditorMode());
        }
    }

    AnswerServer m_server;
    std::string m_today;
    int m_beeps = 0;
};

TEST_F(SubmissionWindow, RunsEveryPageForEveryEngineAndLogsEachAnswer)
{
    writeEngines({"GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url",
                  "POSThttp://127.0.0.1:" + std::to_string(m_server.port()) +
                      "/echo/##url?e=##email&n=##name"});
    writeProfile({"a", "empty", "c"});
    TForm1 form;
    std::vector<std::string> started;
    submit(form, [&](Tfsearch& window) {
        EXPECT_EQ(window.windowTitle(), "site.ini - old");
        EXPECT_TRUE(form.submissionOpen);
        EXPECT_TRUE(form.log().Active());
        QWidget* start = window.findChild<QWidget*>("Start");
        ASSERT_NE(start, nullptr);
        window.run().OnRequestStarted = [&](int, const std::string& u) {
            started.push_back(u);
            if (started.size() == 1) {
                // The button is off during a run, a second start is refused,
                // and the close button waits for the end of the run.
                EXPECT_FALSE(start->isEnabled());
                window.StartClick();
                window.close();
                EXPECT_TRUE(window.isVisible());
            }
        };
        window.StartClick();
        EXPECT_EQ(window.progressText(), "Sended 6 of 6");
        EXPECT_FALSE(window.progressVisible());
        EXPECT_EQ(m_beeps, 1);
        EXPECT_TRUE(start->isEnabled());
        EXPECT_TRUE(window.grid()->Options() & dgEditing);
        EXPECT_FALSE(window.isVisible());
    });
    EXPECT_FALSE(form.submissionOpen);
    EXPECT_FALSE(form.log().Active());

    const std::string post = "?e=me@example.org&n=John%20Smith";
    EXPECT_EQ(started,
              (std::vector<std::string>{url("a"), url("empty"), url("c"), url("echo/a") + post,
                                        url("echo/empty") + post, url("echo/c") + post}));
    EXPECT_EQ(profileDate(), m_today);

    // Records arrive in the order of the answers; compare them as a set.
    std::vector<LogRow> rows = readLogWithDbfread(home() + "logs.dbf");
    std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.url < b.url; });
    const std::string echoBody = post.substr(1);
    std::vector<LogRow> expected = {
        {m_today, true, url("a"), "<html><body>answer /a</body></html>"},
        {m_today, true, url("c"), "<html><body>answer /c</body></html>"},
        {m_today, true, url("echo/a") + post, "POST /echo/a" + post + "|" + echoBody},
        {m_today, true, url("echo/c") + post, "POST /echo/c" + post + "|" + echoBody},
        {m_today, true, url("echo/empty") + post, "POST /echo/empty" + post + "|" + echoBody},
        {m_today, true, url("empty"), ""},
    };
    EXPECT_EQ(rows, expected);

    // The indexes hold every record in key order.
    QStringList urlKeys = readIndexKeysWithXBase(home() + "url.ndx");
    QStringList sortedUrls;
    for (const LogRow& row : rows)
        sortedUrls << QString::fromStdString(row.url.substr(0, 50));
    sortedUrls.sort();
    EXPECT_EQ(urlKeys, sortedUrls);
    EXPECT_EQ(readIndexKeysWithXBase(home() + "date.ndx").size(), 6);
}

TEST_F(SubmissionWindow, FailuresAndOddAnswersAreLoggedByTheirOutcome)
{
    const std::string longPage = "long?" + std::string(300, 'x');
    writeEngines({"GEThttp://127.0.0.1:1/refused", // nothing listens on port 1
                  "GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url"});
    writeProfile({"missing"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) { window.StartClick(); });
    writeProfile({longPage});
    submit(form, [&](Tfsearch& window) { window.StartClick(); });

    std::vector<LogRow> rows = readLogWithDbfread(home() + "logs.dbf");
    ASSERT_EQ(rows.size(), 4u);
    std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.url < b.url; });
    // A refused connection is a failure whose message says why; a 404 is a
    // failure with the body that came with its header; the long address is
    // cut to the field's 254 characters.
    const LogRow refused{m_today, false, "http://127.0.0.1:1/refused",
                         "Connection refused (Error #10061)"};
    EXPECT_EQ(rows[0], refused);
    EXPECT_EQ(rows[1], refused);
    EXPECT_EQ(rows[2].url, url(longPage).substr(0, 254));
    EXPECT_TRUE(rows[2].success);
    EXPECT_EQ(rows[3], (LogRow{m_today, false, url("missing"), "<p>gone</p>"}));
}

TEST_F(SubmissionWindow, SeventhRequestGoesToTheFirstFreeClientAndCancelWhileDraining)
{
    writeEngines({"GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url"});
    writeProfile({"hang1", "hang2", "quick3", "hang4", "hang5", "hang6", "quick7", "quick8"});
    TForm1 form;
    std::vector<int> clients;
    submit(form, [&](Tfsearch& window) {
        window.run().OnRequestStarted = [&](int client, const std::string&) {
            clients.push_back(client);
        };
        // Once all eight are handed out and both quick answers are in, the
        // run only waits for the hanging ones: cancel then.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (window.run().handedOut() && window.run().requestsLogged() == 3)
                window.CancelClick();
        });
        poll.start(10);
        window.StartClick();
        EXPECT_EQ(window.progressText(), "Closing...");
    });
    EXPECT_EQ(clients, (std::vector<int>{0, 1, 2, 3, 4, 5, 2, 2}));
    // The date line was written when the last request was handed out.
    EXPECT_EQ(profileDate(), m_today);
    // The aborted requests were not logged.
    EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), 3u);
    EXPECT_TRUE(form.httpClients().allIdle());
}

TEST_F(SubmissionWindow, CancelWhileHandingOutStopsAtOnce)
{
    // Six requests hang and two more wait for a client.
    cancelWhileHandingOut({"hang1", "hang2", "hang3", "hang4", "hang5", "hang6", "hang7", "hang8"},
                          6, 0, [](Tfsearch& window) { window.CancelClick(); });
}

TEST_F(SubmissionWindow, TitlesOrderTheLogClearAndDeleteChangeIt)
{
    writeEngines({"GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url"});
    writeProfile({"b", "c", "a"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        window.StartClick();
        TTzDbf& log = form.log();
        auto urlsInOrder = [&] {
            std::vector<std::string> urls;
            log.GoTop();
            for (long i = 0; i < log.RecCount(); ++i) {
                std::string u = log.GetCField("url");
                urls.push_back(u.substr(0, u.find_last_not_of(' ') + 1));
                log.Skip(1);
            }
            return urls;
        };
        window.TzGrid1DepressTitle("url");
        EXPECT_TRUE(window.sortedByColumn());
        EXPECT_EQ(urlsInOrder(), (std::vector<std::string>{url("a"), url("b"), url("c")}));
        window.TzGrid1DepressTitle("date");
        EXPECT_FALSE(window.sortedByColumn());
        EXPECT_EQ(log.RecCount(), 3);
        EXPECT_EQ(m_beeps, 1); // the run's end
        window.TzGrid1DepressTitle("success");
        EXPECT_EQ(m_beeps, 2);
        EXPECT_FALSE(window.sortedByColumn());
        window.TzGrid1DepressTitle("date");
        EXPECT_TRUE(window.sortedByColumn());
        window.TzGrid1DepressTitle("date");

        // Delete the first record; it goes for good when the window closes.
        log.GoTop();
        window.navigator()->BtnClick(nbDelete);
        EXPECT_TRUE(log.Deleted());
    });
    EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), 2u);

    // Clear log: No keeps everything, Yes empties the table.
    submit(form, [&](Tfsearch& window) {
        MessageBox::queueAnswer(false);
        window.Button1Click();
        EXPECT_EQ(form.log().RecCount(), 2);
        MessageBox::queueAnswer(true);
        window.Button1Click();
        EXPECT_EQ(form.log().RecCount(), 0);
        EXPECT_EQ(MessageBox::shown().back().text, "Do you want to clear the log record?");
    });
    EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), 0u);
}

TEST_F(SubmissionWindow, DismissedProfileDialogOpensNothingAndDownloadsAreNotLogged)
{
    writeEngines({"GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url"});
    TForm1 form;
    FileDialog::queuePath("");
    form.Submit1Click();
    EXPECT_TRUE(form.cancelRequested);
    EXPECT_FALSE(form.submissionOpen);
    EXPECT_FALSE(QFile::exists(home() + "logs.dbf"));

    // A download through agHTTP1 completes while no submission is open.
    QBuffer page;
    page.open(QIODevice::ReadWrite);
    THttpCli& http = form.agHTTP1();
    http.setRcvdStream(&page);
    http.setURL(url("page"));
    http.Get();
    http.setRcvdStream(nullptr);
    EXPECT_EQ(page.data(), QByteArray("<html><body>answer /page</body></html>"));
    EXPECT_FALSE(QFile::exists(home() + "logs.dbf"));
}

TEST_F(SubmissionWindow, ExportWritesTheLogAsCsvThroughTheSaveDialog)
{
    writeEngines({"GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url"});
    writeProfile({"a", "empty"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        window.StartClick();
        auto* exportButton = window.findChild<QPushButton*>("ExportButton");
        auto* clearButton = window.findChild<QPushButton*>("Button1");
        ASSERT_NE(exportButton, nullptr);
        ASSERT_NE(clearButton, nullptr);
        EXPECT_EQ(exportButton->text(), "Export...");
        EXPECT_EQ(exportButton->parentWidget(), clearButton->parentWidget());
        EXPECT_GT(exportButton->x(), clearButton->x());

        // A cancelled dialog writes nothing.
        FileDialog::queuePath("");
        exportButton->click();
        EXPECT_TRUE(QDir(home()).entryList({"*.csv"}).isEmpty());
        EXPECT_EQ(FileDialog::requests().back().title, "Export Log");
        EXPECT_EQ(FileDialog::requests().back().defaultSuffix, "csv");

        // A date being edited in the grid is part of the file.
        goToUrl(form.log(), url("a"));
        window.grid()->setSelectedIndex(0);
        typeIntoCell(window.grid(), "01.02.2026");
        FileDialog::queuePath(home() + "results.csv");
        exportButton->click();
        EXPECT_EQ(form.log().DataSet()->State(), dsBrowse);
        EXPECT_TRUE(window.isVisible());
    });

    QList<QByteArray> lines = fileBytes(home() + "results.csv").split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "date,success,url,message,status\r");
    EXPECT_EQ(lines[3], "");
    lines = lines.mid(1, 2);
    std::sort(lines.begin(), lines.end());
    const QByteArray today = QByteArray::fromStdString(m_today);
    EXPECT_EQ(lines[0], QByteArray::fromStdString("01.02.2026,true," + url("a") +
                                                  ",<html><body>answer /a</body></html>,200 X\r"));
    EXPECT_EQ(lines[1], today + ",true," + QByteArray::fromStdString(url("empty")) + ",,200 X\r");
}

TEST_F(SubmissionWindow, EscInTheGridDropsItsEditsThenClosesTheWindow)
{
    writeEngines({"GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/##url"});
    writeProfile({"a", "b"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        window.StartClick();
        TTzDbf& log = form.log();
        TTzGrid* grid = window.grid();
        grid->setFocus();
        goToUrl(log, url("a"));
        grid->setSelectedIndex(2);

        // Esc in the cell editor drops the edit; the window stays.
        typeIntoCell(grid, "http://changed/");
        key(grid->InplaceEditor(), Qt::Key_Escape);
        EXPECT_FALSE(grid->EditorMode());
        EXPECT_EQ(log.DataSet()->State(), dsBrowse);
        EXPECT_EQ(log.GetCField("url").substr(0, url("a").size()), url("a"));
        EXPECT_TRUE(window.isVisible());

        // Esc on a new row drops it; the window stays.
        key(grid, Qt::Key_Insert);
        EXPECT_EQ(log.DataSet()->State(), dsInsert);
        key(grid, Qt::Key_Escape);
        EXPECT_EQ(log.DataSet()->State(), dsBrowse);
        EXPECT_EQ(log.RecCount(), 2);
        EXPECT_TRUE(window.isVisible());

        // With nothing to drop, Esc is the window's Cancel: it closes.
        key(grid, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(form.cancelRequested);
    });
    EXPECT_FALSE(form.submissionOpen);
    EXPECT_FALSE(form.log().Active());
    EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), 2u);
}

TEST_F(SubmissionWindow, EscDuringARunCancelsItLikeTheCancelButton)
{
    // Three answers are in, six requests hang and one waits for a client.
    cancelWhileHandingOut(
        {"a", "b", "c", "hang1", "hang2", "hang3", "hang4", "hang5", "hang6", "hang7"}, 9, 3,
        [](Tfsearch& window) {
            EXPECT_TRUE(window.progressVisible());
            EXPECT_EQ(window.progressText(), "Sended 3 of 10");
            EXPECT_EQ(window.grid()->Rows().rows.size(), 3u);
            // Cells take no edits while results are being appended.
            EXPECT_FALSE(window.grid()->Options() & dgEditing);
            // What the user sees at this moment, for a person to look at.
            window.grab().save(QCoreApplication::applicationDirPath() +
                               "/submission_window_running.png");
            key(window.grid(), Qt::Key_Escape);
        });
}

} // namespace
