#include "app_test_env.h"

#include "app/fedita.h"
#include "platform/text_file.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {

class ProfileEditor : public AppTest {
protected:
    static QLineEdit* nombre(Tfedita& editor) { return editor.findChild<QLineEdit*>("nombre"); }
    static QLineEdit* email(Tfedita& editor) { return editor.findChild<QLineEdit*>("email"); }
    static QPlainTextEdit* pages(Tfedita& editor)
    {
        return editor.findChild<QPlainTextEdit*>("pages");
    }
    std::vector<std::string> lines(const QString& name) const
    {
        return platform::readTextLines(home() + name);
    }
};

TEST_F(ProfileEditor, JohnSmithRoundTrip)
{
    Tfedita editor;
    editor.cargar(home() + "john.ini");
    EXPECT_EQ(editor.windowTitle(), "john.ini");
    nombre(editor)->setText("John Smith");
    email(editor)->setText("john@example.com");
    pages(editor)->setPlainText("http://my.example.com/a page.html\nhttp://my.example.com/b.html");
    editor.savefile();
    EXPECT_EQ(lines("john.ini"), (std::vector<std::string>{"john@example.com", "John%20Smith", "",
                                                           "http://my.example.com/a%20page.html",
                                                           "http://my.example.com/b.html"}));

    Tfedita again;
    again.cargar(home() + "john.ini");
    EXPECT_EQ(nombre(again)->text(), "John Smith");
    EXPECT_EQ(email(again)->text(), "john@example.com");
    EXPECT_EQ(pages(again)->toPlainText(),
              "http://my.example.com/a%20page.html\nhttp://my.example.com/b.html");
    EXPECT_FALSE(again.profileModified());
}

TEST_F(ProfileEditor, SaveNamesTheFileLowerCaseIni)
{
    struct {
        const char* typed;
        const char* written;
    } cases[] = {{"MySite", "mysite.ini"}, {"Site.TXT", "site.ini"}};
    for (const auto& c : cases) {
        Tfedita editor;
        editor.cargar(home() + "start.ini");
        email(editor)->setText("a@example.com");
        FileDialog::queuePath(home() + c.typed);
        editor.SaveAs1Click();
        EXPECT_TRUE(QFile::exists(home() + c.written)) << c.typed;
        EXPECT_FALSE(QFile::exists(home() + c.typed)) << c.typed;
        EXPECT_EQ(editor.windowTitle(), c.written);
        EXPECT_EQ(editor.fileName(), home() + c.written);
    }
}

TEST_F(ProfileEditor, SaveAsEmptiesTheDateLine)
{
    platform::writeTextLines(home() + "dated.ini", {"e@example.com", "N", "01.01.2026", "p"});
    Tfedita editor;
    editor.cargar(home() + "dated.ini");
    EXPECT_EQ(editor.profileLastDate(), "01.01.2026");

    editor.savefile();
    EXPECT_EQ(lines("dated.ini")[2], "01.01.2026");

    FileDialog::queuePath(home() + "copy.ini");
    editor.SaveAs1Click();
    EXPECT_EQ(lines("copy.ini"), (std::vector<std::string>{"e@example.com", "N", "", "p"}));
    EXPECT_EQ(editor.profileLastDate(), "");

    // Cancelling Save As writes nothing and keeps the file name.
    FileDialog::queuePath("");
    editor.SaveAs1Click();
    EXPECT_EQ(editor.fileName(), home() + "copy.ini");
}

TEST_F(ProfileEditor, LiteralPercentTwentyInTheNameReadsAsSpace)
{
    platform::writeTextLines(home() + "p.ini", {"e", "Ann%20Lee%20", "", "http://x/a%20b", ""});
    Tfedita editor;
    editor.cargar(home() + "p.ini");
    EXPECT_EQ(nombre(editor)->text(), "Ann Lee ");
    // Page lines are shown as stored, the empty one included.
    EXPECT_EQ(pages(editor)->toPlainText(), "http://x/a%20b\n");
}

TEST_F(ProfileEditor, MissingFileGivesAnEmptyProfile)
{
    platform::writeTextLines(home() + "full.ini", {"e", "n", "d", "p"});
    Tfedita editor;
    editor.cargar(home() + "full.ini");
    editor.cargar(home() + "new.ini");
    EXPECT_EQ(nombre(editor)->text(), "");
    EXPECT_EQ(email(editor)->text(), "");
    EXPECT_EQ(pages(editor)->toPlainText(), "");
    EXPECT_EQ(editor.profileLastDate(), "");
    EXPECT_FALSE(QFile::exists(home() + "new.ini"));
}

TEST_F(ProfileEditor, ChangesAreTrackedAndSaveKeepsTheMark)
{
    Tfedita editor;
    editor.cargar(home() + "m.ini");
    EXPECT_FALSE(editor.profileModified());
    pages(editor)->setPlainText("http://x/");
    EXPECT_TRUE(editor.profileModified());
    editor.savefile();
    EXPECT_TRUE(editor.profileModified());
}

TEST_F(ProfileEditor, OpenAsksToSaveChangesThenLoads)
{
    platform::writeTextLines(home() + "other.ini", {"o@example.com", "O", "", "http://o/"});
    Tfedita editor;
    editor.cargar(home() + "first.ini");
    email(editor)->setText("f@example.com");

    MessageBox::queueAnswer(true);
    FileDialog::queuePath(home() + "other.ini");
    editor.Open1Click();
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "Do you want to save first.ini?");
    EXPECT_EQ(lines("first.ini")[0], "f@example.com");
    EXPECT_EQ(FileDialog::requests().back().title, "Edit/Create profile");
    EXPECT_EQ(email(editor)->text(), "o@example.com");
    EXPECT_EQ(editor.windowTitle(), "other.ini");

    // Unchanged: no question. Answering No writes nothing.
    FileDialog::queuePath("");
    editor.Open1Click();
    EXPECT_EQ(MessageBox::shown().size(), 1u);
    email(editor)->setText("changed@example.com");
    MessageBox::queueAnswer(false);
    FileDialog::queuePath("");
    editor.Open1Click();
    EXPECT_EQ(lines("other.ini")[0], "o@example.com");
    EXPECT_FALSE(editor.profileModified());
}

TEST_F(ProfileEditor, EditsFollowTheWindowSize)
{
    Tfedita editor;
    EXPECT_EQ(editor.size(), QSize(409, 320));
    editor.resize(600, 500);
    editor.show();
    EXPECT_EQ(nombre(editor)->width(), 585);
    EXPECT_EQ(email(editor)->width(), 585);
    EXPECT_EQ(pages(editor)->width(), 585);
    EXPECT_EQ(pages(editor)->height(), 328);
    QString shots = qEnvironmentVariable("QUORVANE_SCREENSHOTS");
    if (!shots.isEmpty()) {
        editor.resize(409, 320);
        editor.cargar(home() + "shot.ini");
        nombre(editor)->setText("John Smith");
        email(editor)->setText("john@example.com");
        pages(editor)->setPlainText("http://www.example.com/\nhttp://www.example.com/about.html");
        editor.grab().save(shots + "/profile_editor.png");
    }
}

} // namespace
