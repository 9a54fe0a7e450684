#include "app_test_env.h"

#include "app/about_box.h"
#include "app/engines_list.h"
#include "app/fedita.h"
#include "app/form1.h"
#include "controls/explorer_button.h"
#include "html/viewer/html_viewer.h"
#include "platform/application.h"
#include "platform/text_file.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>

namespace {

class MainWindow : public AppTest {
protected:
    static QPlainTextEdit* memo(TForm1& window)
    {
        return window.findChild<QPlainTextEdit*>("Memo1");
    }
    static QString stripCaption(TForm1& window)
    {
        return window.findChild<QLabel*>("EnginesCaption")->text();
    }
    static void type(TForm1& window, const QString& text)
    {
        memo(window)->moveCursor(QTextCursor::End);
        memo(window)->insertPlainText(text);
    }
    static size_t questionsAsked() { return MessageBox::shown().size(); }
};

// One line per menu entry: the path of captions, the shortcut and whether it
// is enabled; "-" for a separator.
void describeMenu(const QMenu* menu, const QString& prefix, QStringList& out)
{
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            out << prefix + "-";
        } else if (action->menu()) {
            describeMenu(action->menu(), prefix + action->text() + " > ", out);
        } else {
            QString line = prefix + action->text();
            if (!action->shortcut().isEmpty())
                line += " [" + action->shortcut().toString() + "]";
            if (!action->isVisible())
                line += " (hidden)";
            else if (!action->isEnabled())
                line += " (off)";
            out << line;
        }
    }
}

TEST_F(MainWindow, FirstStartShowsAndWritesTheDefaultList)
{
    TForm1 window;
    QString path = home() + "engines.txt";
    EXPECT_EQ(window.enginesFileName(), path);
    EXPECT_EQ(window.enginesLines(), app::defaultEngineLines());
    EXPECT_EQ(platform::readTextLines(path), app::defaultEngineLines());
    EXPECT_TRUE(fileBytes(path).endsWith("sb.y=10\r\n"));
    EXPECT_EQ(stripCaption(window), "Engines List [" + path + "]");
    EXPECT_FALSE(window.enginesModified());
    EXPECT_EQ(window.logFileName(), home() + "logs.dbf");
    EXPECT_TRUE(QFile::exists(window.tempFileName()));
    EXPECT_EQ(window.windowTitle(), "Quorvane");
}

TEST_F(MainWindow, ExistingListIsLoadedUnchanged)
{
    platform::writeTextLines(home() + "engines.txt", {"POSTb", "GETa"});
    TForm1 window;
    EXPECT_EQ(window.enginesLines(), (std::vector<std::string>{"POSTb", "GETa"}));
    EXPECT_FALSE(window.enginesModified());
}

TEST_F(MainWindow, MenusCarryTheirCaptionsAndShortcuts)
{
    TForm1 window;
    QStringList items;
    QStringList titles;
    for (QAction* top : window.menuBar()->actions()) {
        titles << top->text() + (top->isVisible() ? "" : " (hidden)");
        describeMenu(top->menu(), top->text() + " > ", items);
    }
    EXPECT_EQ(titles, (QStringList{"&File", "&History (hidden)", "&Help"}));
    QStringList expected{
        "&File > URL > Open Local... [Ctrl+O] (off)",
        "&File > URL > Download... [Ctrl+D] (off)",
        "&File > -",
        "&File > Edit/Create profile",
        "&File > -",
        "&File > Engines List > Open...",
        "&File > Engines List > Save",
        "&File > Engines List > Save As...",
        "&File > -",
        "&File > Submit [Ctrl+T]",
        "&File > -",
        "&File > Program Options",
        "&File > -",
        "&File > &Exit",
    };
    for (int i = 0; i < 6; ++i)
        expected << "&History > XX (hidden)";
    expected << "&Help > Contents [F1]"
             << "&Help > -"
             << "&Help > About...";
    EXPECT_EQ(items, expected);
}

TEST_F(MainWindow, LayoutFromTopToBottom)
{
    TForm1 window;
    window.show();
    QWidget* toolBar = window.findChild<QWidget*>("ToolBar");
    ASSERT_NE(toolBar, nullptr);
    EXPECT_EQ(toolBar->height(), 57);
    QStringList captions;
    for (TExplorerButton* button : toolBar->findChildren<TExplorerButton*>()) {
        captions << button->Caption();
        EXPECT_EQ(button->size(), QSize(64, 54));
    }
    EXPECT_EQ(captions,
              (QStringList{"Edit/Create profile", "Submit", "Download URL", "Open Local URL"}));

    auto* splitter = window.findChild<QSplitter*>("Splitter1");
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->handleWidth(), 4);
    THTMLViewer* visor = window.findChild<THTMLViewer*>("visor");
    ASSERT_NE(visor, nullptr);
    EXPECT_EQ(visor, window.visor());
    EXPECT_EQ(visor->DefBackground(), QColor(Qt::white));
    EXPECT_LT(toolBar->mapTo(&window, QPoint()).y(), visor->mapTo(&window, QPoint()).y());
    EXPECT_EQ(splitter->widget(1)->height(), 60);
    EXPECT_EQ(window.findChild<QWidget*>("EnginesCaptionStrip")->height(), 17);
    EXPECT_EQ(memo(window)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo(window)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window.size(), QSize(screen.width() * 9 / 10, screen.height() * 7 / 8));
    // Centred up to the frame the platform adds.
    EXPECT_NEAR(window.geometry().center().x(), screen.center().x(), 3);
    EXPECT_NEAR(window.geometry().center().y(), screen.center().y(), 3);

    // Kept for looking at: QUORVANE_SCREENSHOTS names a folder.
    QString shots = qEnvironmentVariable("QUORVANE_SCREENSHOTS");
    if (!shots.isEmpty()) {
        window.Help1Click();
        window.grab().save(shots + "/main_window_help.png");
        window.visor()->Clear();
        window.grab().save(shots + "/main_window.png");
    }
}

TEST_F(MainWindow, CaptionReducesDoubledAmpersand)
{
    QApplication::setApplicationDisplayName("Q&&A");
    TForm1 window;
    EXPECT_EQ(window.windowTitle(), "Q&A");
}

TEST_F(MainWindow, EditingMarksTheListAndCloseAsksOnce)
{
    TForm1 window;
    window.show();
    type(window, "\nGETb");
    EXPECT_TRUE(window.enginesModified());
    QString temp = window.tempFileName();

    MessageBox::queueAnswer(true);
    EXPECT_TRUE(window.close());
    ASSERT_EQ(questionsAsked(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "Do you want to save " + home() + "engines.txt?");
    app::Lines saved = app::defaultEngineLines();
    saved.push_back("GETb");
    EXPECT_EQ(platform::readTextLines(home() + "engines.txt"), app::sortedEngineLines(saved));
    EXPECT_FALSE(QFile::exists(temp));
}

TEST_F(MainWindow, CloseWithoutChangesAsksNothing)
{
    TForm1 window;
    window.show();
    QString temp = window.tempFileName();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(questionsAsked(), 0u);
    EXPECT_FALSE(QFile::exists(temp));
}

TEST_F(MainWindow, AnsweringNoClosesWithoutWriting)
{
    TForm1 window;
    window.show();
    type(window, "\nGETb");
    MessageBox::queueAnswer(false);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(questionsAsked(), 1u);
    EXPECT_EQ(platform::readTextLines(home() + "engines.txt"), app::defaultEngineLines());
}

TEST_F(MainWindow, FailedSaveOnCloseKeepsTheWindowOpen)
{
    TForm1 window;
    window.show();
    QStringList errors;
    Application::setErrorReporter([&](const QString& message) { errors << message; });
    // The list file's place is taken by a folder, so writing it fails.
    QFile::remove(home() + "engines.txt");
    QDir(home()).mkdir("engines.txt");
    type(window, "\nGETb");
    EXPECT_FALSE(window.close());
    Application::setErrorReporter({});
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.enginesModified());
    EXPECT_TRUE(QFile::exists(window.tempFileName()));
}

TEST_F(MainWindow, SaveWritesSortedCopyAndKeepsTheBoxOrder)
{
    TForm1 window;
    memo(window)->setPlainText("POSTb\nGETa\ngetc");
    MessageBox::queueAnswer(false);
    window.Saveengines1Click();
    EXPECT_TRUE(window.enginesModified());
    EXPECT_EQ(platform::readTextLines(home() + "engines.txt"), app::defaultEngineLines());

    MessageBox::queueAnswer(true);
    window.Saveengines1Click();
    EXPECT_FALSE(window.enginesModified());
    EXPECT_EQ(fileBytes(home() + "engines.txt"), QByteArray("GETa\r\ngetc\r\nPOSTb\r\n"));
    EXPECT_EQ(window.enginesLines(), (std::vector<std::string>{"POSTb", "GETa", "getc"}));
}

TEST_F(MainWindow, OpenLoadsAnotherListAndCountsAsAChange)
{
    QString other = home() + "Other.txt";
    platform::writeTextLines(other, {"GETx", "POSTy"});
    TForm1 window;

    FileDialog::queuePath("");
    window.Loadoptionsenginesfiles1Click();
    EXPECT_EQ(window.enginesFileName(), home() + "engines.txt");

    FileDialog::clearRequests();
    FileDialog::queuePath(other);
    window.Loadoptionsenginesfiles1Click();
    ASSERT_EQ(FileDialog::requests().size(), 1u);
    const FileDialog::Options& asked = FileDialog::requests()[0];
    EXPECT_EQ(asked.title, "Loading Optional Engines file");
    EXPECT_EQ(asked.folder, home());
    EXPECT_TRUE(asked.mustExist);
    EXPECT_EQ(window.enginesLines(), (std::vector<std::string>{"GETx", "POSTy"}));
    EXPECT_EQ(window.enginesFileName(), other);
    EXPECT_EQ(stripCaption(window), "Engines List [" + other + "]");
    EXPECT_TRUE(window.enginesModified());
    EXPECT_EQ(questionsAsked(), 0u);
}

TEST_F(MainWindow, OpenOfAnUnreadableFileChangesNothing)
{
    TForm1 window;
    FileDialog::queuePath(home() + "absent.txt");
    EXPECT_ANY_THROW(window.Loadoptionsenginesfiles1Click());
    EXPECT_EQ(window.enginesLines(), app::defaultEngineLines());
    EXPECT_EQ(window.enginesFileName(), home() + "engines.txt");
    EXPECT_FALSE(window.enginesModified());
}

TEST_F(MainWindow, SaveAsWritesWithoutAskingAndRenamesTheList)
{
    TForm1 window;
    memo(window)->setPlainText("POSTb\nGETa");
    QString target = home() + "mine.txt";
    FileDialog::queuePath(target);
    window.SaveEnginesAs1Click();
    EXPECT_EQ(FileDialog::requests().back().title, "Saving Engines file");
    EXPECT_EQ(questionsAsked(), 0u);
    EXPECT_EQ(fileBytes(target), QByteArray("GETa\r\nPOSTb\r\n"));
    EXPECT_EQ(window.enginesFileName(), target);
    EXPECT_EQ(stripCaption(window), "Engines List [" + target + "]");
    EXPECT_FALSE(window.enginesModified());
}

TEST_F(MainWindow, SubmitOffersToSaveAChangedList)
{
    TForm1 window;
    // The profile dialog that follows is dismissed each time.
    FileDialog::queuePath("");
    window.Submit1Click();
    EXPECT_EQ(questionsAsked(), 0u);
    window.appendEngineLine("GEThttp://new.example.org/?u=##url");
    EXPECT_TRUE(window.enginesModified());
    MessageBox::queueAnswer(true);
    FileDialog::queuePath("");
    window.Submit1Click();
    EXPECT_EQ(questionsAsked(), 1u);
    EXPECT_FALSE(window.enginesModified());
    EXPECT_EQ(platform::readTextLines(home() + "engines.txt").size(), 6u);
}

TEST_F(MainWindow, AppendedLinesFollowTheLastLine)
{
    TForm1 window;
    memo(window)->setPlainText("GETa\n");
    window.appendEngineLine("GETb");
    window.appendEngineLine("GETc");
    EXPECT_EQ(window.enginesLines(), (std::vector<std::string>{"GETa", "GETb", "GETc"}));
    memo(window)->clear();
    window.appendEngineLine("GETd");
    EXPECT_EQ(window.enginesLines(), (std::vector<std::string>{"GETd"}));
    EXPECT_TRUE(window.enginesModified());
}

TEST_F(MainWindow, EditCreateProfileOpensTheEditorOnTheChosenFile)
{
    TForm1 window;
    FileDialog::queuePath("");
    window.openprofile();
    EXPECT_EQ(FileDialog::requests().back().title, "Edit/Create profile");
    EXPECT_TRUE(FileDialog::requests().back().promptCreate);

    platform::writeTextLines(home() + "site.ini", {"me@example.com", "John%20Smith", "", "p"});
    FileDialog::queuePath(home() + "site.ini");
    QString seenTitle;
    QString seenName;
    QTimer::singleShot(0, [&] {
        auto* editor = qobject_cast<Tfedita*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        seenTitle = editor->windowTitle();
        seenName = editor->findChild<QLineEdit*>("nombre")->text();
        editor->close();
    });
    window.openprofile();
    EXPECT_EQ(seenTitle, "site.ini");
    EXPECT_EQ(seenName, "John Smith");
}

TEST_F(MainWindow, AboutBoxShowsNameVersionAndFreewareNotice)
{
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About Quorvane");
    EXPECT_EQ(box.size(), QSize(298, 240));
    EXPECT_TRUE(box.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(box.findChild<QLabel*>("ProductName")->text(), "Quorvane");
    EXPECT_EQ(box.findChild<QLabel*>("Version")->text(), "Version 1.04");
    auto* freeware = box.findChild<QLabel*>("Comments");
    EXPECT_EQ(freeware->text(), "Quorvane is Freeware");
    EXPECT_TRUE(freeware->font().bold());
    auto* ok = box.findChild<QPushButton*>("OKButton");
    EXPECT_TRUE(ok->isDefault());
    box.show();
    QString shots = qEnvironmentVariable("QUORVANE_SCREENSHOTS");
    if (!shots.isEmpty())
        box.grab().save(shots + "/about_box.png");
    ok->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

} // namespace
