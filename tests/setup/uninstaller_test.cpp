#include "setup/setup_dialog.h"
#include "setup/uninstaller.h"
#include "setup_fixture.h"

#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTimer>

using namespace setup;

namespace {

class UninstallerTest : public SetupFixture {
public:
    QString target() const { return home + "/.local/opt/QUORVane"; }

    // Installs through the dialog, as a user would.
    void install()
    {
        SetupDialog dialog(setupFolder, target());
        dialog.FreeSpaceProbe = [](const QString&) { return qint64(-1); };
        dialog.show();
        dialog.install();
        ASSERT_TRUE(dialog.installed());
        setup::MessageBox::clearShown();
    }

    // What exists under the private world except the setup folder.
    std::map<QString, QByteArray> installedWorld() const
    {
        std::map<QString, QByteArray> world = snapshot(home);
        for (const auto& [name, bytes] : snapshot(dataHome))
            world["data/" + name] = bytes;
        return world;
    }
};

TEST_F(UninstallerTest, RemovesExactlyWhatSetupCreatedAndKeepsForeignFiles)
{
    const auto before = installedWorld();
    install();
    writeFile(target() + "/notes.txt", "mine");
    setup::MessageBox::queueAnswer(true);
    EXPECT_EQ(Uninstaller(target()).run({}), Uninstaller::kNotDone);

    auto expected = before;
    expected[".local"] = "<dir>";
    expected[".local/opt"] = "<dir>";
    expected[".local/opt/QUORVane"] = "<dir>";
    expected[".local/opt/QUORVane/notes.txt"] = "mine";
    expected["data/applications"] = "<dir>";
    EXPECT_EQ(installedWorld(), expected);
    ASSERT_EQ(setup::MessageBox::shown().size(), 2u);
    EXPECT_EQ(setup::MessageBox::shown()[0].caption, "Uninstall QUORVane");
    EXPECT_EQ(setup::MessageBox::shown()[1].text,
              "QUORVane was removed, except for:\n" + target() + " (holds other files)");
}

TEST_F(UninstallerTest, AnInstallationAloneLeavesNoTrace)
{
    install();
    setup::MessageBox::queueAnswer(true);
    EXPECT_EQ(Uninstaller(target()).run({}), Uninstaller::kDone);
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_FALSE(QFileInfo::exists(group()));
    // Folders that were there before setup ran stay.
    EXPECT_TRUE(QFileInfo::exists(applications()));
    EXPECT_TRUE(QFileInfo::exists(home + "/.local/opt"));
    EXPECT_EQ(setup::MessageBox::shown().back().text, "QUORVane was removed.");
}

TEST_F(UninstallerTest, LeavesShortcutsTheUserChangedAndGroupFoldersTheUserFilled)
{
    install();
    const QString changed = group() + "/QUORVane 1.04.desktop";
    writeFile(changed, "[Desktop Entry]\nType=Application\nName=Mine\nExec=/usr/bin/other\n");
    writeFile(group() + "/other.desktop", "[Desktop Entry]\n");
    setup::MessageBox::queueAnswer(true);
    EXPECT_EQ(Uninstaller(target()).run({}), Uninstaller::kNotDone);
    EXPECT_TRUE(QFileInfo::exists(changed));
    EXPECT_TRUE(QFileInfo::exists(group() + "/other.desktop"));
    EXPECT_FALSE(QFileInfo::exists(group() + "/Uninstall QUORVane.desktop"));
    EXPECT_FALSE(QFileInfo::exists(target()));
}

TEST_F(UninstallerTest, AnsweringNoChangesNothing)
{
    install();
    const auto before = installedWorld();
    setup::MessageBox::queueAnswer(false);
    EXPECT_EQ(Uninstaller(target()).run({}), Uninstaller::kNotDone);
    EXPECT_EQ(installedWorld(), before);
}

TEST_F(UninstallerTest, RefusesEverySituationItDoesNotKnow)
{
    struct Case {
        const char* what;
        std::function<QString(UninstallerTest*)> arrange; // returns the uninstaller's folder
        QStringList arguments;
    };
    const Case cases[] = {
        {"no list file", [](UninstallerTest* t) { return t->home; }, {}},
        {"unknown argument", [](UninstallerTest* t) { return t->target(); }, {"--all"}},
        {"setup argument in an installation",
         [](UninstallerTest* t) { return t->target(); },
         {"setup"}},
        {"setup argument without setup program",
         [](UninstallerTest* t) {
             QFile::remove(t->setupFolder + "/setup");
             return t->setupFolder;
         },
         {"setup"}},
        {"damaged list",
         [](UninstallerTest* t) {
             writeFile(t->target() + "/uninst.lst", "just one line\r\n");
             return t->target();
         },
         {}},
        {"list of a moved installation",
         [](UninstallerTest* t) {
             const QString moved = t->home + "/moved";
             QDir().rename(t->target(), moved);
             return moved;
         },
         {}},
        {"list naming a strange group folder",
         [](UninstallerTest* t) {
             writeFile(t->target() + "/uninst.lst", QFile::encodeName(t->home) + "\r\n" +
                                                        QFile::encodeName(t->target()) + "/\r\n" +
                                                        QFile::encodeName(t->target()) + "/\r\n");
             return t->target();
         },
         {}},
    };
    for (const Case& c : cases) {
        resetWorld();
        install();
        const QString folder = c.arrange(this);
        const auto before = snapshot(path(""));
        EXPECT_EQ(Uninstaller(folder).run(c.arguments), Uninstaller::kRefused) << c.what;
        EXPECT_EQ(snapshot(path("")), before) << c.what;
        ASSERT_EQ(setup::MessageBox::shown().size(), 1u) << c.what;
        EXPECT_TRUE(setup::MessageBox::shown()[0].text.endsWith("Nothing was changed.")) << c.what;
    }
}

TEST_F(UninstallerTest, InASetupFolderRemovesSetupAndItselfOnly)
{
    writeFile(setupFolder + "/README", "read me");
    EXPECT_EQ(Uninstaller(setupFolder).run({"setup"}), Uninstaller::kDone);
    EXPECT_EQ(snapshot(setupFolder),
              (std::map<QString, QByteArray>{{"README", "read me"},
                                             {"quorvane", readFile(setupFolder + "/quorvane")}}));
    EXPECT_TRUE(setup::MessageBox::shown().empty());
}

// Waits, at most a while, until `done` holds after a change in `folder`.
bool waitForFolder(const QString& folder, const std::function<bool()>& done)
{
    QFileSystemWatcher watcher({folder});
    if (done())
        return true;
    QEventLoop loop;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // watchdog
    loop.exec();
    return done();
}

TEST_F(UninstallerTest, TheRealProgramsInstallAndRemoveEndToEnd)
{
    // The setup folder of a distribution: the real setup and uninstaller
    // beside a stand-in main program.
    for (const auto& [name, built] : {std::pair<const char*, const char*>{"setup", SETUP_PROGRAM},
                                      {"uninst", UNINST_PROGRAM}}) {
        QFile::remove(setupFolder + "/" + name);
        ASSERT_TRUE(QFile::copy(built, setupFolder + "/" + name)) << name;
    }
    writeFile(setupFolder + "/quorvane", "#!/bin/sh\necho 'Quorvane 1.04'\n", 0755);

    QProcess setupRun;
    setupRun.start(setupFolder + "/setup", {"--unattended", target()});
    ASSERT_TRUE(setupRun.waitForFinished(60000));
    EXPECT_EQ(setupRun.exitCode(), 0) << setupRun.readAllStandardError().toStdString();

    QProcess version;
    version.start(target() + "/quorvane", {"--version"});
    ASSERT_TRUE(version.waitForFinished(30000));
    EXPECT_EQ(version.readAllStandardOutput(), "Quorvane 1.04\n");
    EXPECT_TRUE(QFileInfo::exists(group() + "/QUORVane 1.04.desktop"));

    // The uninstaller that setup started clears the setup folder.
    EXPECT_TRUE(waitForFolder(setupFolder, [this] { return QDir(setupFolder).isEmpty(); }))
        << QDir(setupFolder)
               .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
               .join(' ')
               .toStdString();

    QProcess uninstRun;
    uninstRun.start(target() + "/uninst", {"--unattended"});
    ASSERT_TRUE(uninstRun.waitForFinished(60000));
    EXPECT_EQ(uninstRun.exitCode(), 0) << uninstRun.readAllStandardError().toStdString();
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_FALSE(QFileInfo::exists(group()));
}

} // namespace
