// What the windows do so that no typing is lost without a word: profiles
// matched against the files that exist, questions before a file is created
// or replaced, unsaved changes offered for saving, failed writes reported
// with the old file kept, and the keys a desktop user reaches for.

#include "app_test_env.h"

#include "app/engine_line.h"
#include "app/engines_list.h"
#include "app/fedita.h"
#include "app/form1.h"
#include "app/fpref.h"
#include "app/http_clients.h"
#include "html/viewer/html_viewer.h"
#include "platform/text_file.h"

#include <cerrno>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTimer>

namespace {

class WindowSafety : public AppTest {
protected:
    void TearDown() override
    {
        platform::setWriteFaultHook(nullptr);
        AppTest::TearDown();
    }

    std::vector<std::string> lines(const QString& name) const
    {
        return platform::readTextLines(home() + name);
    }
    QStringList profiles() const { return QDir(home()).entryList({"*.ini", "*.INI"}, QDir::Files); }

    static QLineEdit* email(Tfedita& editor) { return editor.findChild<QLineEdit*>("email"); }
    static QPlainTextEdit* memo(TForm1& form) { return form.findChild<QPlainTextEdit*>("Memo1"); }

    // The texts of the boxes shown so far.
    static QStringList shownTexts()
    {
        QStringList texts;
        for (const MessageBox::Shown& box : MessageBox::shown())
            texts << box.text;
        return texts;
    }

    static void press(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(widget, &event);
    }

    // Runs the action or shortcut of the window that answers the keys.
    static bool runKeys(QWidget& window, const QKeySequence& keys)
    {
        for (QAction* action : window.findChildren<QAction*>()) {
            if (action->shortcuts().contains(keys) && action->isEnabled()) {
                action->trigger();
                return true;
            }
        }
        for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
            if (shortcut->key() == keys && shortcut->isEnabled()) {
                emit shortcut->activated();
                return true;
            }
        }
        return false;
    }
};

// A name typed in the dialog means the existing profile whatever its letter
// case; the editor shows that file and Save writes it, never a second one.
TEST_F(WindowSafety, TypedProfileNameOpensTheExistingFile)
{
    struct Case {
        const char* existing;
        const char* typed;
    } cases[] = {
        {"mysite.ini", "MySite"},     {"mysite.ini", "MySite.ini"}, {"MySite.ini", "MySite.ini"},
        {"MySite.ini", "mysite.ini"}, {"site.ini", "SITE.INI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.existing) + " typed as " + c.typed);
        for (const QString& old : profiles())
            QFile::remove(home() + old);
        platform::writeTextLines(home() + c.existing,
                                 {"kept@example.org", "Kept", "", "http://k/"});
        Tfedita editor;
        MessageBox::clearShown();
        ASSERT_TRUE(editor.openChosen(home() + c.typed));
        EXPECT_TRUE(MessageBox::shown().empty());
        EXPECT_EQ(editor.windowTitle(), c.existing);
        EXPECT_EQ(email(editor)->text(), "kept@example.org");
        email(editor)->setText("new@example.org");
        editor.savefile();
        EXPECT_EQ(profiles(), QStringList{c.existing});
        EXPECT_EQ(lines(c.existing),
                  (std::vector<std::string>{"new@example.org", "Kept", "", "http://k/"}));
    }
}

// The main window's command goes the same way, and a new name is only taken
// after the question, under the lower-case ".ini" name.
TEST_F(WindowSafety, NewProfileIsCreatedOnlyAfterTheQuestion)
{
    TForm1 form;
    struct Case {
        bool yes;
    } cases[] = {{false}, {true}};
    for (const Case& c : cases) {
        MessageBox::clearShown();
        FileDialog::queuePath(home() + "NewSite");
        MessageBox::queueAnswer(c.yes);
        bool editorShown = false;
        QTimer::singleShot(0, &form, [&] {
            if (auto* editor = form.findChild<Tfedita*>()) {
                editorShown = editor->isVisible();
                EXPECT_EQ(editor->windowTitle(), "newsite.ini");
                email(*editor)->setText("n@example.org");
                editor->savefile();
                editor->accept();
            }
        });
        form.openprofile();
        QCoreApplication::processEvents();
        EXPECT_EQ(shownTexts(),
                  QStringList{"newsite.ini does not exist. Do you want to create it?"});
        EXPECT_EQ(editorShown, c.yes);
        EXPECT_EQ(profiles(), c.yes ? QStringList{"newsite.ini"} : QStringList{});
    }
}

// Saving under a name that meets another existing file asks first, with No
// as the button Enter presses; No leaves that file alone.
TEST_F(WindowSafety, SaveAsOverAnotherProfileAsksFirst)
{
    for (bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "replace" : "keep");
        platform::writeTextLines(home() + "other.ini", {"other@example.org", "O", "", "http://o/"});
        Tfedita editor;
        editor.cargar(home() + "mine.ini");
        email(editor)->setText("mine@example.org");
        MessageBox::clearShown();
        MessageBox::queueAnswer(replace);
        FileDialog::queuePath(home() + "Other");
        editor.SaveAs1Click();
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_EQ(MessageBox::shown()[0].text,
                  "other.ini already exists. Do you want to replace it?");
        EXPECT_EQ(MessageBox::shown()[0].initial, MessageBox::Default::No);
        EXPECT_EQ(lines("other.ini")[0], replace ? "mine@example.org" : "other@example.org");
        EXPECT_EQ(editor.windowTitle(), replace ? "other.ini" : "mine.ini");
        EXPECT_EQ(profiles(), QStringList{"other.ini"});
    }
}

// Esc (and the close button) offer unsaved changes for saving; Cancel keeps
// the editor open, No drops the changes, Yes writes them. Ctrl+S saves.
TEST_F(WindowSafety, EditorAsksBeforeDroppingChangesAndSavesWithCtrlS)
{
    const std::vector<std::string> original{"old@example.org", "Old", "", "http://o/"};
    struct Case {
        MessageBox::Answer answer;
        bool staysOpen;
        const char* written;
    } cases[] = {
        {MessageBox::Answer::Cancel, true, "old@example.org"},
        {MessageBox::Answer::No, false, "old@example.org"},
        {MessageBox::Answer::Yes, false, "typed@example.org"},
    };
    for (const Case& c : cases) {
        platform::writeTextLines(home() + "p.ini", original);
        Tfedita editor;
        editor.cargar(home() + "p.ini");
        editor.show();
        // Without changes Esc closes at once.
        MessageBox::clearShown();
        press(&editor, Qt::Key_Escape);
        EXPECT_FALSE(editor.isVisible());
        EXPECT_TRUE(MessageBox::shown().empty());

        editor.show();
        email(editor)->setText("typed@example.org");
        MessageBox::queueAnswer(c.answer);
        press(&editor, Qt::Key_Escape);
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_EQ(MessageBox::shown()[0].text, "Do you want to save p.ini?");
        EXPECT_TRUE(MessageBox::shown()[0].withCancel);
        EXPECT_EQ(editor.isVisible(), c.staysOpen);
        EXPECT_EQ(lines("p.ini")[0], c.written);
    }

    Tfedita editor;
    editor.cargar(home() + "p.ini");
    email(editor)->setText("keys@example.org");
    ASSERT_TRUE(runKeys(editor, QKeySequence::Save));
    EXPECT_EQ(lines("p.ini")[0], "keys@example.org");
    EXPECT_FALSE(editor.unsavedChanges());
}

// A write that fails (a full disk) is reported and leaves the old file
// whole: the profile in the editor, the engines list of the main window.
TEST_F(WindowSafety, FailedWritesAreReportedAndKeepTheOldFile)
{
    const std::vector<std::string> profile{"me@example.org", "Me", "01.01.2026", "http://a/",
                                           "http://b/"};
    platform::writeTextLines(home() + "p.ini", profile);
    platform::setWriteFaultHook([](const QString&) { return ENOSPC; });

    Tfedita editor;
    editor.cargar(home() + "p.ini");
    email(editor)->setText("lost@example.org");
    EXPECT_THROW(editor.savefile(), EInOutError);
    editor.show();
    MessageBox::clearShown();
    MessageBox::queueAnswer(MessageBox::Answer::Yes);
    press(&editor, Qt::Key_Escape);
    // The error is shown and the editor stays open with the changes.
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(MessageBox::shown().size(), 2u);
    EXPECT_EQ(email(editor)->text(), "lost@example.org");
    EXPECT_EQ(lines("p.ini"), profile);

    platform::setWriteFaultHook(nullptr);
    TForm1 form;
    const QByteArray engines = fileBytes(home() + "engines.txt");
    form.appendEngineLine("GEThttp://new.example/?q=##url");
    platform::setWriteFaultHook([](const QString&) { return ENOSPC; });
    form.show();
    MessageBox::clearShown();
    MessageBox::queueAnswer(MessageBox::Answer::Yes);
    form.close();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(MessageBox::shown().size(), 2u);
    EXPECT_EQ(fileBytes(home() + "engines.txt"), engines);
    EXPECT_TRUE(form.enginesModified());
    platform::setWriteFaultHook(nullptr);
}

// Closing the main window with a changed engines list: Yes saves, No drops
// the changes, Cancel keeps the window open.
TEST_F(WindowSafety, MainWindowCloseQuestionCanCallTheCloseOff)
{
    struct Case {
        MessageBox::Answer answer;
        bool staysOpen;
        bool saved;
    } cases[] = {{MessageBox::Answer::Cancel, true, false},
                 {MessageBox::Answer::No, false, false},
                 {MessageBox::Answer::Yes, false, true}};
    for (const Case& c : cases) {
        QFile::remove(home() + "engines.txt");
        TForm1 form;
        form.appendEngineLine("AAAhttp://first.example/?q=##url");
        form.show();
        MessageBox::clearShown();
        MessageBox::queueAnswer(c.answer);
        form.close();
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_TRUE(MessageBox::shown()[0].withCancel);
        EXPECT_EQ(form.isVisible(), c.staysOpen);
        EXPECT_EQ(QFile::exists(form.tempFileName()), c.staysOpen);
        EXPECT_EQ(fileBytes(home() + "engines.txt").startsWith("AAAhttp"), c.saved);
    }
}

// Keys of the main window: an Alt letter on every menu of the bar, Tab
// leaves the engines box instead of typing a tab, Alt+Left and Alt+Right
// walk the viewer's history.
TEST_F(WindowSafety, MainWindowKeys)
{
    TForm1 form;
    for (QAction* top : form.menuBar()->actions())
        EXPECT_TRUE(top->text().contains('&')) << top->text().toStdString();

    QPlainTextEdit* box = memo(form);
    const QString before = box->toPlainText();
    press(box, Qt::Key_Tab);
    EXPECT_EQ(box->toPlainText(), before);
    EXPECT_TRUE(box->tabChangesFocus());

    const QString first = home() + "first.html";
    const QString second = home() + "second.html";
    platform::writeTextLines(first, {"<title>First</title><p>one</p>"});
    platform::writeTextLines(second, {"<title>Second</title><p>two</p>"});
    form.visor()->LoadFromFile(first);
    form.visor()->LoadFromFile(second);
    ASSERT_EQ(form.visor()->History().size(), 2);
    ASSERT_TRUE(runKeys(form, QKeySequence(Qt::ALT | Qt::Key_Left)));
    EXPECT_EQ(form.visor()->DocumentTitle(), "First");
    ASSERT_TRUE(runKeys(form, QKeySequence(Qt::ALT | Qt::Key_Right)));
    EXPECT_EQ(form.visor()->DocumentTitle(), "Second");
    // At the newest page there is nothing ahead.
    ASSERT_TRUE(runKeys(form, QKeySequence(Qt::ALT | Qt::Key_Right)));
    EXPECT_EQ(form.visor()->DocumentTitle(), "Second");
}

// Blanks and tabs around an engine line are not part of the method word or
// the address.
TEST_F(WindowSafety, EngineLinesAreTrimmedBeforeTheyAreSplit)
{
    struct Case {
        const char* line;
        app::HttpMethod method;
        const char* url;
    } cases[] = {
        {" POSThttp://a.example/add?u=1", app::HttpMethod::Post, "http://a.example/add?u=1"},
        {"\tGEThttp://b.example/?q=2 \t", app::HttpMethod::Get, "http://b.example/?q=2"},
        {"  post http://c.example/", app::HttpMethod::Post, " http://c.example/"},
    };
    for (const Case& c : cases) {
        const app::EngineRequest request = app::splitEngineLine(c.line);
        EXPECT_EQ(request.method, c.method) << c.line;
        EXPECT_EQ(request.url, c.url) << c.line;
    }
    EXPECT_EQ(app::runnableEngineLines({" GEThttp://x/##url\t", "  ", "POSThttp://y/?a=1 "}),
              (app::Lines{"GEThttp://x/##url", "POSThttp://y/?a=1"}));
}

// A proxy password with blanks works again after a restart.
TEST_F(WindowSafety, ProxyPasswordKeepsItsBlanksAcrossARestart)
{
    {
        TForm1 form;
        QTimer::singleShot(0, &form, [&] {
            auto* dialog = form.findChild<TFPref*>();
            ASSERT_NE(dialog, nullptr);
            dialog->pas->setText(" pa ss ");
            dialog->un->setText("user ");
            dialog->accept();
        });
        form.ProgramOptions1Click();
    }
    TForm1 restarted;
    for (int i = 0; i < app::HttpClients::kCount; ++i) {
        EXPECT_EQ(restarted.httpClients().client(i).ProxyPassword(), " pa ss ") << i;
        EXPECT_EQ(restarted.httpClients().client(i).ProxyUsername(), "user ") << i;
    }
}

} // namespace
