#include "setup/desktop_entry.h"
#include "setup/install_steps.h"
#include "setup/registry_reader.h"
#include "setup/setup_error.h"
#include "setup/uninstall_list.h"
#include "setup_fixture.h"

#include <QFileInfo>

using namespace setup;

namespace {

using InstallSteps = SetupFixture;

TEST(JoinFolder, NeverDoublesTheSeparator)
{
    struct Case {
        const char* folder;
        const char* expected;
    };
    for (const Case& c : {Case{"/opt", "/opt/QUORVane"}, Case{"/opt/", "/opt/QUORVane"},
                          Case{"/", "/QUORVane"}, Case{"/media/usb", "/media/usb/QUORVane"}})
        EXPECT_EQ(joinFolder(c.folder, "QUORVane"), c.expected) << c.folder;
}

TEST(ProgressAfter, GrowsFrom101To330WithHalvesRoundedUp)
{
    struct Case {
        int done, total, expected;
    };
    for (const Case& c : {Case{1, 2, 216}, Case{2, 2, 330}, Case{1, 1, 330}, Case{1, 3, 177},
                          Case{2, 3, 254}, Case{3, 3, 330}, Case{1, 4, 158}, Case{0, 5, 101}})
        EXPECT_EQ(progressAfter(c.done, c.total), c.expected) << c.done << "/" << c.total;
}

TEST_F(InstallSteps, DefaultPathComesFromTheFirstRegistryKeyHoldingAValue)
{
    const QString registry = configHome + "/quorvane/registry.ini";
    struct Case {
        const char* contents;
        QString expected;
    };
    const Case cases[] = {
        {"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\]\n"
         "ProgramFilesDir=/opt/first\n"
         "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\]\n"
         "ProgramFilesDir=/opt/second\n",
         "/opt/first/QUORVane"},
        {"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\]\n"
         "ProgramFilesDir=/opt/second/\n",
         "/opt/second/QUORVane"},
        // Registry look-ups ignore case and the key's trailing backslash.
        {"[hkey_local_machine\\software\\microsoft\\windows\\currentversion]\n"
         "programfilesdir=/srv/apps\n",
         "/srv/apps/QUORVane"},
        {"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\]\n"
         "ProgramFilesDir=\n"
         "OtherValue=/nowhere\n",
         home + "/.local/opt/QUORVane"},
        {"", home + "/.local/opt/QUORVane"},
    };
    for (const Case& c : cases) {
        writeFile(registry, c.contents);
        EXPECT_EQ(defaultInstallPath(RegistryReader()), c.expected) << c.contents;
    }
    QFile::remove(registry);
    EXPECT_EQ(defaultInstallPath(RegistryReader()), home + "/.local/opt/QUORVane");
    // Setup only reads the store.
    EXPECT_FALSE(QFileInfo::exists(registry));
}

TEST_F(InstallSteps, ResolveFolderExpandsHomeAndCountsRelativePathsFromTheBase)
{
    EXPECT_EQ(resolveFolder("~/apps/QUORVane", "/base"), home + "/apps/QUORVane");
    EXPECT_EQ(resolveFolder("apps/QUORVane/", "/base"), "/base/apps/QUORVane");
    EXPECT_EQ(resolveFolder(" /opt//QUORVane ", "/base"), "/opt/QUORVane");
}

TEST_F(InstallSteps, FreeSpaceOfAMissingFolderIsThatOfItsFileSystem)
{
    const qint64 existing = freeSpace(home);
    EXPECT_GT(existing, 0);
    const qint64 missing = freeSpace(home + "/not/yet/there");
    // Both figures come from the same file system; other writers may move
    // it a little between the two calls.
    EXPECT_NEAR(double(missing), double(existing), 64.0 * 1024 * 1024);
}

TEST_F(InstallSteps, CopyFileCopiesEveryByteAndThePermissions)
{
    for (int size : {0, 1, 8191, 8192, 16384, 20000}) {
        const QString source = path("copy/source");
        const QString target = path("copy/target");
        const QByteArray bytes = programBytes("x", size);
        writeFile(source, bytes, 0755);
        copyFile(source, target);
        EXPECT_EQ(readFile(target), bytes) << size;
        EXPECT_TRUE(QFileInfo(target).permissions() & QFile::ExeOwner) << size;
    }
}

TEST_F(InstallSteps, CopyFileFailuresNameTheFileAndDestroyNothing)
{
    const QString source = setupFolder + "/quorvane";
    const QByteArray original = readFile(source);
    struct Case {
        QString source;
        QString target;
        const char* message;
    };
    const Case cases[] = {
        {setupFolder + "/absent", path("out/absent"), "Cannot open file "},
        {source, path("no/such/folder/quorvane"), "Cannot create file "},
        // Copying a file onto itself would truncate it.
        {source, source, "Cannot create file "},
        {source, setupFolder + "/../quorvane-1.04/quorvane", "Cannot create file "},
    };
    for (const Case& c : cases) {
        try {
            copyFile(c.source, c.target);
            ADD_FAILURE() << "no error for " << c.target.toStdString();
        } catch (const SetupError& error) {
            EXPECT_EQ(QString(error.what()).left(int(strlen(c.message))), c.message);
        }
    }
    EXPECT_EQ(readFile(source), original);
}

TEST_F(InstallSteps, FirstMissingFileFollowsTheTableOrder)
{
    EXPECT_EQ(firstMissingFile(setupFolder, {"quorvane", "uninst"}), "");
    QFile::remove(setupFolder + "/uninst");
    EXPECT_EQ(firstMissingFile(setupFolder, {"quorvane", "uninst"}), "uninst");
    QFile::remove(setupFolder + "/quorvane");
    QDir().mkdir(setupFolder + "/quorvane"); // a folder is not the program
    EXPECT_EQ(firstMissingFile(setupFolder, {"quorvane", "uninst"}), "quorvane");
}

TEST(DesktopEntryExec, QuotesOnlyWhatTheExecSyntaxReserves)
{
    struct Case {
        const char* target;
        const char* exec;
    };
    const Case cases[] = {
        {"/opt/QUORVane/quorvane", "/opt/QUORVane/quorvane"},
        {"/home/a b/QUORVane/quorvane", "\"/home/a b/QUORVane/quorvane\""},
        {"/x/100%/quorvane", "/x/100%%/quorvane"},
        {"/x/$HOME/quorvane", "\"/x/\\$HOME/quorvane\""},
        {"/x/it's/quorvane", "\"/x/it's/quorvane\""},
        {"/x/back\\slash/quorvane", "\"/x/back\\\\slash/quorvane\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DesktopEntry("n", c.target).exec(), c.exec) << c.target;
}

TEST_F(InstallSteps, DesktopEntryReadsBackWhatItSaved)
{
    const QString file = path("entries/x.desktop");
    QDir().mkpath(path("entries"));
    for (const char* target : {"/opt/QUORVane/quorvane", "/home/a b/back\\slash/$x/quorvane"}) {
        const DesktopEntry entry("QUORVane 1.04", target);
        entry.save(file);
        const auto keys = DesktopEntry::read(file);
        EXPECT_EQ(keys.at("Type"), "Application");
        EXPECT_EQ(keys.at("Name"), "QUORVane 1.04");
        EXPECT_EQ(keys.at("Exec"), entry.exec());
        EXPECT_EQ(keys.at("Path"), QFileInfo(target).absolutePath());
        EXPECT_TRUE(entry.isSavedIn(file));
        EXPECT_FALSE(DesktopEntry("QUORVane 1.04", "/elsewhere/quorvane").isSavedIn(file));
    }
    EXPECT_FALSE(DesktopEntry("n", "/opt/q").isSavedIn(path("entries/missing.desktop")));
}

TEST_F(InstallSteps, UninstallListHoldsThreeCrLfLines)
{
    const QString install = path("installed/QUORVane");
    QDir().mkpath(install);
    UninstallList::forInstallation(install, "/menu/QUORVane").write();
    const QByteArray expected = "/menu/QUORVane\r\n" + QFile::encodeName(install) + "/\r\n" +
                                QFile::encodeName(install) + "/\r\n";
    EXPECT_EQ(readFile(install + "/uninst.lst"), expected);
    const auto list = UninstallList::read(install);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->groupFolder, "/menu/QUORVane");
    EXPECT_EQ(list->installFolder, install + "/");

    for (const char* damaged :
         {"", "/menu/QUORVane\r\n", "a\r\nb\r\nc\r\nd\r\n", "a\r\n\r\nc\r\n"}) {
        writeFile(install + "/uninst.lst", damaged);
        EXPECT_FALSE(UninstallList::read(install).has_value()) << damaged;
    }
}

} // namespace
