// What the submission window tells its user: progress from the first
// request on, a summary at the end, failed records that stand out with a
// reason, a log held by another run or a damaged one, and no key press that
// clears the log by accident. Runs go to the answer server on 127.0.0.1.

#include "app_test_env.h"
#include "submission_fixture.h"

#include "app/app_state.h"
#include "app/form1.h"
#include "app/fsearch.h"
#include "app/http_clients.h"
#include "app/registry_keys.h"
#include "app/submission_log.h"
#include "dbf/dataset/tz_dbf.h"
#include "dbf/widgets/tz_grid.h"
#include "platform/registry_store.h"
#include "platform/text_file.h"

#include <arpa/inet.h>
#include <cerrno>
#include <functional>
#include <netinet/in.h>
#include <QDate>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port of 127.0.0.1 that nobody listens on: requests to it fail at once.
quint16 closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

class SubmissionFeedback : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_GT(m_server.port(), 0);
        m_today = QDate::currentDate().toString("dd.MM.yyyy").toStdString();
        m_closedPort = closedPort();
        ASSERT_GT(m_closedPort, 0);
        // Refused connections are not tried again here: these tests are
        // about what one answer shows.
        RegistryStore store;
        app::writeRegKey(store, app::kPreferencesKey, app::kRetriesValue, "0");
    }

    void TearDown() override
    {
        TForm1::endProgram = [](int code) { std::exit(code); };
        AppTest::TearDown();
    }

    std::string served(const std::string& path) const
    {
        return "GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/" + path;
    }
    std::string refused(const std::string& path) const
    {
        return "GEThttp://127.0.0.1:" + std::to_string(m_closedPort) + "/" + path;
    }
    void writeEngines(const std::vector<std::string>& lines)
    {
        platform::writeTextLines(home() + "engines.txt", lines);
    }
    void writeProfile(const std::vector<std::string>& pages, const std::string& date = "old")
    {
        std::vector<std::string> lines{"me@example.org", "Me", date};
        lines.insert(lines.end(), pages.begin(), pages.end());
        platform::writeTextLines(home() + "site.ini", lines);
    }

    void submit(TForm1& form, const std::function<void(Tfsearch&)>& inside)
    {
        submitWithProfile(form, home() + "site.ini", inside);
    }

    // Saves a picture of the window when QUORVANE_SHOT_DIR names a folder.
    static void screenshot(QWidget& window, const char* name)
    {
        const QString folder = qEnvironmentVariable("QUORVANE_SHOT_DIR");
        if (!folder.isEmpty())
            window.grab().save(folder + '/' + name + ".png");
    }

    static QStringList shownTexts()
    {
        QStringList texts;
        for (const MessageBox::Shown& box : MessageBox::shown())
            texts << box.text;
        return texts;
    }

    AnswerServer m_server;
    std::string m_today;
    quint16 m_closedPort = 0;
};

TEST_F(SubmissionFeedback, RunShowsProgressThenASummaryAndMarksFailures)
{
    writeEngines({served("##url"), refused("##url")});
    writeProfile({"a", "b"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        auto* bar = window.progressBar();
        ASSERT_NE(bar, nullptr);
        int starts = 0;
        bool shotDuring = false;
        window.run().OnRequestStarted = [&](int, const std::string&) {
            if (++starts == 1) {
                // Before the first answer the panel already counts.
                EXPECT_TRUE(window.progressVisible());
                EXPECT_TRUE(bar->isVisible());
                EXPECT_EQ(window.progressText(), "Sended 0 of 4");
                EXPECT_EQ(bar->maximum(), 4);
                EXPECT_EQ(bar->value(), 0);
            }
        };
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (!shotDuring && window.run().requestsLogged() >= 1 && window.progressVisible()) {
                shotDuring = true;
                EXPECT_EQ(bar->value(), window.run().requestsLogged());
                screenshot(window, "submission-during-run");
            }
        });
        poll.start(5);
        window.StartClick();
        poll.stop();
        EXPECT_FALSE(window.progressVisible());
        EXPECT_EQ(window.summaryText(), "4 requests, 2 succeeded, 2 failed");

        // Failed rows are drawn on their own colour, the others on the
        // grid's.
        TTzGrid* grid = window.grid();
        ASSERT_TRUE(grid->OnRowColor);
        int marked = 0;
        for (const TTzRowImage& row : grid->Rows().rows) {
            const bool failed = row.texts.at(1) != "T";
            EXPECT_EQ(grid->OnRowColor(row).isValid(), failed);
            marked += failed ? 1 : 0;
        }
        EXPECT_EQ(marked, 2);

        // A failed record without an answer shows the reason the run
        // stored for it.
        const std::string failedUrl = refused("a").substr(3);
        goToUrl(form.log(), failedUrl);
        ASSERT_EQ(window.shownMessage().size(), 1u);
        EXPECT_NE(window.shownMessage()[0].find("Connection refused (Error #10061)"),
                  std::string::npos);
        grid->update();
        screenshot(window, "submission-after-run");

        // The summary stays until the next run starts.
        window.run().OnRequestStarted = [&](int, const std::string&) {
            EXPECT_EQ(window.summaryText(), "");
        };
        window.StartClick();
        EXPECT_EQ(window.summaryText(), "4 requests, 2 succeeded, 2 failed");
    });
}

// A date line that cannot be written (a full disk) is reported, and the
// profile keeps every line it had.
TEST_F(SubmissionFeedback, DateLineThatCannotBeWrittenIsReported)
{
    writeEngines({served("##url")});
    writeProfile({"a", "b"});
    const QByteArray before = fileBytes(home() + "site.ini");
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        platform::setWriteFaultHook(
            [](const QString& path) { return path.endsWith("site.ini") ? ENOSPC : 0; });
        MessageBox::clearShown();
        window.StartClick();
        platform::setWriteFaultHook(nullptr);
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_TRUE(MessageBox::shown()[0].text.contains("site.ini"))
            << MessageBox::shown()[0].text.toStdString();
        EXPECT_EQ(window.summaryText(), "2 requests, 2 succeeded, 0 failed");
    });
    EXPECT_EQ(fileBytes(home() + "site.ini"), before);
}

// Alt+S starts a run; Enter never clears the log, and the question starts
// on No.
TEST_F(SubmissionFeedback, ClearLogIsNeverPressedByEnter)
{
    writeEngines({served("##url")});
    writeProfile({"a"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        // Alt+S starts the run from the keyboard.
        QShortcut* start = nullptr;
        for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
            if (shortcut->key() == QKeySequence(Qt::ALT | Qt::Key_S))
                start = shortcut;
        }
        ASSERT_NE(start, nullptr);
        emit start->activated();
        ASSERT_EQ(form.log().RecCount(), 1);
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
            EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
        }
        MessageBox::clearShown();
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Return}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&window, &press);
        }
        EXPECT_TRUE(MessageBox::shown().empty());
        EXPECT_EQ(form.log().RecCount(), 1);

        MessageBox::queueAnswer(false);
        window.Button1Click();
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_EQ(MessageBox::shown()[0].initial, MessageBox::Default::No);
        EXPECT_EQ(form.log().RecCount(), 1);
    });
}

// Start Submission with nothing to send says what is missing; the caption
// of a profile never submitted ends with its name.
TEST_F(SubmissionFeedback, NothingToSendIsReported)
{
    struct Case {
        std::vector<std::string> engines;
        std::vector<std::string> pages;
        const char* says;
    } cases[] = {
        {{served("##url")}, {}, "The profile site.ini has no pages to submit."},
        {{"", "  "}, {"a"}, "has no engine lines to send."},
    };
    for (const Case& c : cases) {
        writeEngines(c.engines);
        writeProfile(c.pages, "");
        TForm1 form;
        submit(form, [&](Tfsearch& window) {
            EXPECT_EQ(window.windowTitle(), "site.ini");
            MessageBox::clearShown();
            int starts = 0;
            window.run().OnRequestStarted = [&](int, const std::string&) { ++starts; };
            window.StartClick();
            ASSERT_EQ(MessageBox::shown().size(), 1u) << c.says;
            EXPECT_TRUE(MessageBox::shown()[0].text.endsWith(c.says))
                << MessageBox::shown()[0].text.toStdString();
            EXPECT_EQ(starts, 0);
        });
    }
}

// The window opens on the order in which the answers arrived, which is what
// a second title press returns to.
TEST_F(SubmissionFeedback, LogOpensInTheOrderOfArrival)
{
    {
        app::AppState state;
        app::openLog(state.log());
        for (const char* url : {"http://z.example/", "http://a.example/", "http://m.example/"}) {
            state.log().ClearRecord();
            state.log().SetCField("url", url);
            state.log().SetLField("success", true);
            state.log().Append();
        }
        state.log().setActive(false);
    }
    writeEngines({served("##url")});
    writeProfile({"a"});
    TForm1 form;
    submit(form, [&](Tfsearch& window) {
        EXPECT_FALSE(window.sortedByColumn());
        EXPECT_EQ(form.log().RecNo(), 1);
        EXPECT_EQ(form.log().GetCField("url").substr(0, 17), "http://z.example/");
        const TTzRowWindow& rows = window.grid()->Rows();
        ASSERT_FALSE(rows.rows.empty());
        EXPECT_EQ(rows.rows.front().recNo, 1);
    });
}

// A scheduled run holding the log is a normal case: the user is told, the
// submission window does not open and the program goes on.
TEST_F(SubmissionFeedback, LogHeldByAnotherRunIsReported)
{
    {
        app::AppState state;
        app::openLog(state.log());
        state.log().setActive(false);
    }
    FileLockHolder holder(home() + "logs.dbf");
    ASSERT_TRUE(holder.locked());

    writeEngines({served("##url")});
    writeProfile({"a"});
    TForm1 form;
    int ended = -1;
    TForm1::endProgram = [&](int code) { ended = code; };
    bool shown = false;
    QTimer::singleShot(0, &form, [&] { shown = form.submissionWindow() != nullptr; });
    FileDialog::queuePath(home() + "site.ini");
    MessageBox::clearShown();
    form.Submit1Click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(shown);
    EXPECT_EQ(ended, -1);
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_TRUE(MessageBox::shown()[0].text.contains("is in use by another run"))
        << MessageBox::shown()[0].text.toStdString();
    EXPECT_FALSE(form.log().Active());
    EXPECT_FALSE(form.submissionOpen);

    // Once the other run is over, the window opens as usual.
    holder.release();
    submit(form, [&](Tfsearch& window) { EXPECT_TRUE(form.log().Active()); });
}

// Any other failure of the table shows the "Program halted." box with the
// engine's text, offers to save the changed engines list and ends the
// program, leaving no temporary file.
TEST_F(SubmissionFeedback, DamagedLogHaltsAfterOfferingToSave)
{
    platform::writeTextLines(home() + "logs.dbf", {"this is no table"});
    writeEngines({served("##url")});
    writeProfile({"a"});
    TForm1 form;
    form.appendEngineLine("GEThttp://kept.example/?q=##url");
    int ended = -1;
    TForm1::endProgram = [&](int code) { ended = code; };
    FileDialog::queuePath(home() + "site.ini");
    MessageBox::clearShown();
    MessageBox::queueAnswer(false); // not before the run
    MessageBox::queueAnswer(true);  // the error box
    MessageBox::queueAnswer(true);  // but before the end
    form.Submit1Click();
    const std::deque<MessageBox::Shown>& boxes = MessageBox::shown();
    ASSERT_EQ(boxes.size(), 3u) << shownTexts().join(" | ").toStdString();
    EXPECT_EQ(boxes[1].caption, "Program halted.");
    EXPECT_TRUE(boxes[1].text.startsWith("Error # ")) << boxes[1].text.toStdString();
    EXPECT_EQ(boxes[2].text, "Do you want to save " + home() + "engines.txt?");
    EXPECT_GT(ended, 0);
    EXPECT_TRUE(fileBytes(home() + "engines.txt").contains("kept.example"));
    EXPECT_FALSE(QFile::exists(form.tempFileName()));
}

// The submission window works on the shared state alone: no main window,
// answers delivered straight to its run.
TEST_F(SubmissionFeedback, WindowNeedsOnlyTheSharedState)
{
    writeEngines({served("##url")});
    writeProfile({"a", "b"});
    app::AppState state;
    state.enginesFileName = home() + "engines.txt";
    {
        Tfsearch window(state);
        window.OnBeep = [] {};
        FileDialog::queuePath(home() + "site.ini");
        ASSERT_TRUE(window.FormCreate());
        EXPECT_TRUE(state.submissionOpen);
        window.StartClick();
        EXPECT_EQ(window.run().requestsLogged(), 2);
        EXPECT_EQ(window.summaryText(), "2 requests, 2 succeeded, 0 failed");
        window.close();
    }
    EXPECT_FALSE(state.submissionOpen);
    EXPECT_FALSE(state.log().Active());
    EXPECT_FALSE(state.clients().onRequestDone());
    EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), 2u);
}

} // namespace
