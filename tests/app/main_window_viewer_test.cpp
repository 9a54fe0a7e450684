#include "app_test_env.h"

#include "app/form1.h"
#include "html/viewer/html_viewer.h"
#include "platform/application.h"
#include "platform/shell.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

namespace {

class MainWindowViewer : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        Application::setErrorReporter([this](const QString& message) { m_errors << message; });
    }
    void TearDown() override
    {
        Application::setErrorReporter(nullptr);
        AppTest::TearDown();
    }

    // Writes a small page and returns its absolute path.
    static QString writePage(const QString& path, const QString& title)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QString head = title.isEmpty() ? QString() : "<head><title>" + title + "</title></head>";
        file.write(("<html>" + head + "<body><p>" + title + " text</p></body></html>").toLatin1());
        return QFileInfo(path).absoluteFilePath();
    }

    static QMenu* historyMenu(TForm1& window)
    {
        for (QAction* action : window.menuBar()->actions())
            if (action->text() == "&History")
                return action->menu();
        return nullptr;
    }

    static QList<QAction*> historyEntries(TForm1& window)
    {
        return historyMenu(window)->actions().mid(0, 6);
    }

    static QAction* openLocal(TForm1& window)
    {
        QMenu* file = window.menuBar()->actions().first()->menu();
        for (QAction* action : file->actions())
            if (action->menu() && action->text() == "URL")
                return action->menu()->actions().first();
        return nullptr;
    }

    static void drop(TForm1& window, const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Straight to the window: outside a real drag the application would
        // route the drop to the drag manager's (absent) target.
        static_cast<QObject&>(window).event(&event);
    }

    QStringList m_errors;
};

TEST_F(MainWindowViewer, ViewerCarriesTheMainWindowSettings)
{
    TForm1 window;
    THTMLViewer* visor = window.visor();
    EXPECT_EQ(visor->DefBackground(), QColor(Qt::white));
    EXPECT_EQ(visor->DefFontName(), "Times New Roman");
    EXPECT_EQ(visor->DefPreFontName(), "Courier New");
    EXPECT_FALSE(visor->ViewImages());
    EXPECT_EQ(visor->ImageCacheCount(), 5);
    EXPECT_EQ(visor->HistoryMaxCount(), 6);
    EXPECT_EQ(visor->htOptions(), ThtmlViewerOptions(htOverLinksActive));
}

TEST_F(MainWindowViewer, HelpShowsWithoutAHistoryEntry)
{
    TForm1 window;
    // "Open Local..." is off while the viewer works on the page.
    bool offWhileProcessing = false;
    auto handler = window.visor()->OnProcessing;
    window.visor()->OnProcessing = [&](THTMLViewer* sender, bool on) {
        handler(sender, on);
        if (on)
            offWhileProcessing = !openLocal(window)->isEnabled();
    };
    window.Help1Click();
    EXPECT_TRUE(offWhileProcessing);
    EXPECT_EQ(window.visor()->DocumentTitle(), "Help");
    EXPECT_TRUE(window.visor()->CurrentFile().isEmpty());
    EXPECT_TRUE(window.visor()->History().isEmpty());
    EXPECT_FALSE(historyMenu(window)->menuAction()->isVisible());
}

TEST_F(MainWindowViewer, HistoryMenuShowsTheSixKeptPages)
{
    TForm1 window;
    // The last page lies deep enough for its address to pass 80 characters.
    const QString deep = home() + QString(90, 'd');
    ASSERT_TRUE(QDir().mkpath(deep));
    QStringList pages;
    for (int i = 1; i <= 7; ++i)
        pages << writePage(home() + QString("page%1.html").arg(i), QString("Page %1").arg(i));
    pages << writePage(deep + "/untitled.html", QString());
    for (const QString& page : pages)
        window.visor()->LoadFromFile(page);

    ASSERT_TRUE(historyMenu(window)->menuAction()->isVisible());
    QList<QAction*> entries = historyEntries(window);
    for (QAction* entry : entries)
        EXPECT_TRUE(entry->isVisible());
    // Newest first: the untitled deep page, then pages 7 down to 3.
    ASSERT_GT(pages[7].size(), 80);
    EXPECT_EQ(entries[0]->text(), pages[7].left(80));
    EXPECT_EQ(entries[1]->text(), pages[6] + "--Page 7");
    EXPECT_EQ(entries[5]->text(), pages[2] + "--Page 3");
    EXPECT_TRUE(entries[0]->isChecked());
    EXPECT_FALSE(entries[1]->isChecked());
    EXPECT_TRUE(window.windowTitle().isEmpty());

    // Choosing an entry goes there; the check mark and caption follow.
    window.HistoryClick(entries[3]->data().toInt());
    EXPECT_EQ(window.visor()->HistoryIndex(), 3);
    EXPECT_EQ(window.visor()->CurrentFile(), pages[4]);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(entries[i]->isChecked(), i == 3) << i;
    EXPECT_EQ(window.windowTitle(), "Page 5");
}

TEST_F(MainWindowViewer, ShortHistoryHidesTheRestAndEscapesAmpersands)
{
    TForm1 window;
    QString page = writePage(home() + "a.html", "Q&A");
    window.visor()->LoadFromFile(page);
    QList<QAction*> entries = historyEntries(window);
    EXPECT_TRUE(entries[0]->isVisible());
    EXPECT_EQ(entries[0]->text(), page + "--Q&&A");
    for (int i = 1; i < 6; ++i)
        EXPECT_FALSE(entries[i]->isVisible()) << i;
    EXPECT_EQ(window.windowTitle(), "Q&A");
}

TEST_F(MainWindowViewer, CommandLinePageShowsAtFirstShow)
{
    const QString plain = writePage(home() + "start page.html", "Start");
    struct Case {
        const char* name;
        QString argument;
    } cases[] = {
        {"path", plain},
        {"file address", "file://" + plain},
        {"escaped file address", "file://" + QString(plain).replace(" ", "%20")},
    };
    for (const Case& c : cases) {
        TForm1 window(c.argument);
        EXPECT_TRUE(window.visor()->CurrentFile().isEmpty()) << c.name;
        window.show();
        EXPECT_EQ(window.visor()->CurrentFile(), plain) << c.name;
        EXPECT_EQ(window.windowTitle(), "Start") << c.name;
    }
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MainWindowViewer, MissingCommandLinePageIsReportedAndTheWindowShows)
{
    TForm1 window(home() + "missing.html");
    window.show();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(m_errors, QStringList{"Can't locate file: " + home() + "missing.html"});
    EXPECT_TRUE(window.visor()->CurrentFile().isEmpty());
}

TEST_F(MainWindowViewer, DroppedFilesShowOnlyTheFirst)
{
    TForm1 window;
    QList<QUrl> urls;
    for (const char* name : {"one.html", "two.html", "three.html"})
        urls << QUrl::fromLocalFile(writePage(home() + name, name));
    drop(window, urls);
    EXPECT_EQ(window.visor()->CurrentFile(), home() + "one.html");
    EXPECT_EQ(window.visor()->History().size(), 1);

    // Nothing local in the drop: nothing happens.
    drop(window, {QUrl("http://example.org/page.html")});
    EXPECT_EQ(window.visor()->CurrentFile(), home() + "one.html");
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MainWindowViewer, FileDroppedOnThePageShows)
{
    // A drop on the page itself goes through the viewer's drawing panel,
    // which passes what its host does not take on to the window.
    TForm1 window;
    window.show();
    QWidget* panel = window.visor()->PaintPanel();
    const QString page = writePage(home() + "onpage.html", "On the page");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(page)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &drop);
    EXPECT_EQ(window.visor()->CurrentFile(), page);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MainWindowViewer, DroppedFileWithALongPathShows)
{
    TForm1 window;
    QString folder = home() + QString(120, 'x') + '/' + QString(120, 'y');
    ASSERT_TRUE(QDir().mkpath(folder));
    QString page = writePage(folder + "/long.html", "Long");
    ASSERT_GT(page.size(), 200);
    drop(window, {QUrl::fromLocalFile(page)});
    EXPECT_EQ(window.visor()->CurrentFile(), page);
    EXPECT_TRUE(m_errors.isEmpty());
}

} // namespace

TEST_F(MainWindowViewer, HelpLinksShowTheBuiltInPagesOrGoToTheDesktop)
{
    TForm1 window;
    QStringList opened;
    platform::setShellOpener([&](const QString& address) {
        opened << address;
        return true;
    });
    struct Case {
        std::string src;
        bool handled;
        std::string title; // the page shown afterwards, when any
        QString opened;    // what went to the desktop, when anything
    };
    const Case cases[] = {
        {"addingengines.html", true, "Adding Engines", ""},
        {"license.html", true, "License Agreement", ""},
        {"mailto:quorvane@example.org", true, "", "mailto:quorvane@example.org"},
        {"http://www.example.org/quorvane/", true, "", "http://www.example.org/quorvane/"},
        {"page.html#part", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.src);
        opened.clear();
        window.Help1Click();
        bool handled = !c.handled;
        window.visorHotSpotClick(c.src, handled);
        EXPECT_EQ(handled, c.handled);
        if (!c.title.empty()) {
            EXPECT_EQ(window.visor()->DocumentTitle(), c.title);
        }
        EXPECT_EQ(opened, c.opened.isEmpty() ? QStringList() : QStringList{c.opened});
        EXPECT_TRUE(window.visor()->History().empty());
    }
    platform::setShellOpener(nullptr);
}
