// Closing the main window while a page is being downloaded: the download
// waits inside the command, so the window stops it and closes once the
// command has ended, instead of closing over a download that goes on.

#include "app_test_env.h"
#include "submission_peers.h"

#include "app/form1.h"
#include "html/viewer/html_viewer.h"
#include "platform/application.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

namespace {

// The download of /hang would last a minute; the client gives up sooner,
// so a window that failed to stop it fails the test instead of hanging.
constexpr int kClientTimeLimit = 15;

class CloseDuringDownload : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_GT(m_server.port(), 0);
        Application::setErrorReporter([this](const QString& message) { m_errors << message; });
        m_window = std::make_unique<TForm1>();
        m_window->show();
        m_window->agHTTP1().setRequestTimeout(kClientTimeLimit);
    }
    void TearDown() override
    {
        m_window.reset();
        Application::setErrorReporter(nullptr);
        AppTest::TearDown();
    }

    // Downloads the address and, once the server has the request, closes
    // the window. Returns what close() answered at that moment.
    bool downloadAndCloseMeanwhile(const std::string& address)
    {
        bool closeAnswer = true;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (m_server.received().isEmpty())
                return;
            poll.stop();
            closeAnswer = m_window->close();
        });
        poll.start();
        m_window->LoadClick(address);
        return closeAnswer;
    }

    AnswerServer m_server;
    std::unique_ptr<TForm1> m_window;
    QStringList m_errors;
};

TEST_F(CloseDuringDownload, StopsTheDownloadThenClosesWithoutAnError)
{
    const QString temp = m_window->tempFileName();
    ASSERT_TRUE(QFile::exists(temp));
    QElapsedTimer clock;
    clock.start();
    // The close asked for during the download waits for it to stop.
    EXPECT_FALSE(downloadAndCloseMeanwhile(m_server.base() + "hang"));
    EXPECT_LT(clock.elapsed(), kClientTimeLimit * 1000 / 2);

    EXPECT_FALSE(m_window->isVisible());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    // The window's temporary file went with it and did not come back.
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_EQ(m_window->agHTTP1().State(), hsReady);
    EXPECT_EQ(m_window->agHTTP1().RcvdStream(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(CloseDuringDownload, AChangedEnginesListIsStillOfferedAndCancelKeepsTheWindow)
{
    m_window->appendEngineLine("GEThttp://new.example/add?u=##url");
    MessageBox::queueAnswer(MessageBox::Answer::Cancel);
    EXPECT_FALSE(downloadAndCloseMeanwhile(m_server.base() + "hang"));
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_TRUE(MessageBox::shown()[0].text.startsWith("Do you want to save "));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(m_window->tempFileName()));

    // The window works on as before: the next download shows its page.
    m_window->LoadClick(m_server.base() + "page.html");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(m_window->visor()->CurrentFile(), m_window->tempFileName());
}

TEST_F(CloseDuringDownload, ClosingWhenNoDownloadRunsIsAsBefore)
{
    m_window->LoadClick(m_server.base() + "page.html");
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    const QString temp = m_window->tempFileName();
    EXPECT_TRUE(m_window->close());
    EXPECT_FALSE(QFile::exists(temp));
}

} // namespace
