#include "app_test_env.h"

#include "app/fedita.h"
#include "app/sitemap_import_dialog.h"
#include "platform/text_file.h"
#include "submission_peers.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

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

// --- Import sitemap ---------------------------------------------------------

class SitemapIntoEditor : public ProfileEditor {
protected:
    struct Url {
        std::string loc;
        std::string lastmod = {};
    };
    static std::string urlset(const std::vector<Url>& urls)
    {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
        for (const Url& url : urls) {
            xml += "<url><loc>" + url.loc + "</loc>";
            if (!url.lastmod.empty())
                xml += "<lastmod>" + url.lastmod + "</lastmod>";
            xml += "</url>\n";
        }
        return xml + "</urlset>\n";
    }
    void write(const QString& path, const std::string& content)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }
    // Runs "Import sitemap..." and answers its dialog with `answer`.
    template <typename Answer> void importThrough(Tfedita& editor, Answer answer)
    {
        QTimer::singleShot(0, &editor, [&] {
            auto* dialog = editor.findChild<TSitemapImportDialog*>();
            ASSERT_NE(dialog, nullptr);
            answer(*dialog);
        });
        editor.ImportSitemapClick();
    }
};

TEST_F(SitemapIntoEditor, AFileAddsItsNewPagesToTheListShownWithoutSaving)
{
    platform::writeTextLines(home() + "site.ini",
                             {"me@example.org", "Me", "", "https://www.example.org/",
                              "https://www.example.org/a%20b.html"});
    const QByteArray onDisk = fileBytes(home() + "site.ini");
    write(home() + "map.xml", urlset({{"https://www.example.org/"},
                                      {"https://www.example.org/typed%20page.html"},
                                      {"https://www.example.org/a%20b.html"},
                                      {"https://www.example.org/new.html"},
                                      {"https://www.example.org/new.html"},
                                      {"https://www.example.org/more.html"}}));
    Tfedita editor;
    editor.cargar(home() + "site.ini");
    // Unsaved edits: a changed name and a typed page (with a real space).
    nombre(editor)->setText("Me Myself");
    pages(editor)->appendPlainText("https://www.example.org/typed page.html");
    const QString typed = pages(editor)->toPlainText();

    QString suggested;
    importThrough(editor, [&](TSitemapImportDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Import sitemap");
        suggested = dialog.SourceEdit->text();
        EXPECT_FALSE(dialog.SinceCheck->isChecked());
        FileDialog::queuePath(home() + "map.xml");
        dialog.BrowseButton->click();
        const QString shots = qEnvironmentVariable("QUORVANE_SCREENSHOTS");
        if (!shots.isEmpty()) {
            dialog.SinceCheck->setChecked(true);
            dialog.grab().save(shots + "/sitemap_import.png");
            dialog.SinceCheck->setChecked(false);
        }
        dialog.accept();
    });
    EXPECT_EQ(suggested, "https://www.example.org/sitemap.xml");
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].caption, "Import sitemap");
    EXPECT_EQ(MessageBox::shown()[0].text, "added 2 pages (6 in the sitemap)");
    EXPECT_EQ(pages(editor)->toPlainText(),
              typed + "\nhttps://www.example.org/new.html\nhttps://www.example.org/more.html");
    EXPECT_EQ(nombre(editor)->text(), "Me Myself");
    EXPECT_TRUE(editor.unsavedChanges());
    EXPECT_EQ(fileBytes(home() + "site.ini"), onDisk);
    const QString shots = qEnvironmentVariable("QUORVANE_SCREENSHOTS");
    if (!shots.isEmpty()) {
        editor.show();
        editor.grab().save(shots + "/profile_editor_import.png");
    }

    // One Undo takes the whole import back; Save writes what is shown.
    pages(editor)->undo();
    EXPECT_EQ(pages(editor)->toPlainText(), typed);
    pages(editor)->redo();
    editor.savefile();
    EXPECT_EQ(lines("site.ini"),
              (std::vector<std::string>{
                  "me@example.org", "Me%20Myself", "", "https://www.example.org/",
                  "https://www.example.org/a%20b.html", "https://www.example.org/typed%20page.html",
                  "https://www.example.org/new.html", "https://www.example.org/more.html"}));
}

TEST_F(SitemapIntoEditor, SinceStartsAtTheLastRunAndKeepsLaterPages)
{
    platform::writeTextLines(home() + "dated.ini", {"e", "n", "05.11.2026"});
    write(home() + "map.xml", urlset({{"http://s.example/old", "2026-11-04"},
                                      {"http://s.example/same", "2026-11-05T08:00:00+00:00"},
                                      {"http://s.example/later", "2026-12-01"},
                                      {"http://s.example/undated", ""}}));
    Tfedita editor;
    editor.cargar(home() + "dated.ini");
    QDate offered;
    importThrough(editor, [&](TSitemapImportDialog& dialog) {
        offered = dialog.SinceDate->date();
        EXPECT_FALSE(dialog.SinceDate->isEnabled());
        dialog.SinceCheck->setChecked(true);
        EXPECT_TRUE(dialog.SinceDate->isEnabled());
        dialog.SourceEdit->setText(home() + "map.xml");
        dialog.accept();
    });
    EXPECT_EQ(offered, QDate(2026, 11, 5));
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "added 2 pages (4 in the sitemap)");
    EXPECT_EQ(pages(editor)->toPlainText(), "http://s.example/same\nhttp://s.example/later");
}

TEST_F(SitemapIntoEditor, AnErrorIsShownAndTheListStaysAsItWas)
{
    write(home() + "broken.xml", "<urlset><url><loc>http://s.example/a</loc></url>");
    write(home() + "other.xml", "<rss><channel/></rss>");
    write(home() + "loop.xml",
          "<sitemapindex><sitemap><loc>loop.xml</loc></sitemap></sitemapindex>");
    const QString sources[] = {home() + "broken.xml", home() + "other.xml", home() + "loop.xml",
                               home() + "missing.xml"};
    for (const QString& source : sources) {
        SCOPED_TRACE(source.toStdString());
        MessageBox::clearShown();
        Tfedita editor;
        editor.cargar(home() + "p.ini");
        pages(editor)->setPlainText("http://s.example/kept");
        importThrough(editor, [&](TSitemapImportDialog& dialog) {
            dialog.SourceEdit->setText(source);
            dialog.accept();
        });
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_EQ(MessageBox::shown()[0].caption, "Import sitemap");
        EXPECT_TRUE(MessageBox::shown()[0].text.contains(QFileInfo(source).fileName()))
            << MessageBox::shown()[0].text.toStdString();
        EXPECT_EQ(pages(editor)->toPlainText(), "http://s.example/kept");
        EXPECT_TRUE(editor.isEnabled());
    }

    // Cancel imports nothing and says nothing.
    MessageBox::clearShown();
    Tfedita editor;
    importThrough(editor, [](TSitemapImportDialog& dialog) { dialog.reject(); });
    EXPECT_TRUE(MessageBox::shown().empty());
    EXPECT_FALSE(editor.unsavedChanges());
}

TEST_F(SitemapIntoEditor, AWebSitemapComesThroughTheEditorsOwnClient)
{
    QTemporaryDir site;
    AnswerServer server(PAGE_SERVER_SCRIPT, QStringList{site.path()});
    ASSERT_GT(server.port(), 0);
    const std::string base = server.base();
    write(site.path() + "/sitemap.xml", urlset({{base + "a.html"}, {base + "b.html"}}));
    Tfedita editor;
    editor.cargar(home() + "web.ini");
    pages(editor)->setPlainText(QString::fromStdString(base + "a.html"));
    // The suggested address is the sitemap's usual place on the first page's site.
    importThrough(editor, [](TSitemapImportDialog& dialog) { dialog.accept(); });
    EXPECT_EQ(server.received(), QStringList{"GET /sitemap.xml"});
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "added 1 pages (2 in the sitemap)");
    EXPECT_EQ(pages(editor)->toPlainText(),
              QString::fromStdString(base + "a.html\n" + base + "b.html"));
}

} // namespace
