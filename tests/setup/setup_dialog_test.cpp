#include "setup/desktop_entry.h"
#include "setup/setup_dialog.h"
#include "setup/setup_program.h"
#include "setup_fixture.h"

#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace setup;

namespace {

class SetupDialogTest : public SetupFixture {
protected:
    QString target() const { return home + "/.local/opt/QUORVane"; }

    std::unique_ptr<SetupDialog> makeDialog()
    {
        auto dialog = std::make_unique<SetupDialog>(setupFolder, target());
        // The machine's real free space must not decide a test.
        dialog->FreeSpaceProbe = [](const QString&) { return qint64(1) << 40; };
        return dialog;
    }

    static QString text(SetupDialog& dialog, int id)
    {
        QWidget* control = dialog.control(id);
        if (auto* label = qobject_cast<QLabel*>(control))
            return label->text();
        if (auto* button = qobject_cast<QPushButton*>(control))
            return button->text();
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            return edit->text();
        return "<none>";
    }
};

TEST_F(SetupDialogTest, ShowsItsControlsWithTheirIdsAndTexts)
{
    auto dialog = makeDialog();
    EXPECT_EQ(dialog->windowTitle(), "Setup of QUORVane");
    struct Case {
        int id;
        QString text;
    };
    for (const Case& c :
         {Case{123, "QUORVane 1.04"}, Case{100, "Default &Path:"}, Case{101, target()},
          Case{1, "&Browse"}, Case{3, "E&xit"}, Case{2, "&Install"}})
        EXPECT_EQ(text(*dialog, c.id), c.text) << c.id;
    EXPECT_TRUE(static_cast<QPushButton*>(dialog->control(2))->isDefault());

    const QFont title = dialog->control(123)->font();
    EXPECT_TRUE(title.bold());
    EXPECT_EQ(title.pixelSize(), 22 * dialog->logicalDpiY() / 72);

    // Everything, the progress bar included, lies inside the dialog.
    const QRect client = dialog->rect();
    EXPECT_TRUE(client.contains(SetupDialog::barOutline()));
    for (int id : {123, 100, 101, 1, 2, 3})
        EXPECT_TRUE(client.contains(dialog->control(id)->geometry())) << id;
    // The buttons sit above the bar.
    EXPECT_LT(dialog->control(2)->geometry().bottom(), SetupDialog::barOutline().top());
}

TEST_F(SetupDialogTest, InstallCopiesLinksAndReportsSuccess)
{
    auto dialog = makeDialog();
    dialog->show();
    dialog->install();

    EXPECT_EQ(shownTexts(), std::vector<QString>{"The installation was successful!\n"
                                                 "A shortcut was created on the Start menu."});
    EXPECT_EQ(MessageBox::shown().front().caption, "Information");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), SetupDialog::kEndCode);
    EXPECT_TRUE(dialog->installed());

    for (const char* name : {"quorvane", "uninst"}) {
        EXPECT_EQ(readFile(target() + "/" + name), readFile(setupFolder + "/" + name)) << name;
        EXPECT_TRUE(QFileInfo(target() + "/" + name).isExecutable()) << name;
    }
    struct Link {
        const char* name;
        const char* program;
    };
    for (const Link& link :
         {Link{"QUORVane 1.04", "quorvane"}, Link{"Uninstall QUORVane", "uninst"}}) {
        const auto keys = DesktopEntry::read(group() + "/" + link.name + ".desktop");
        ASSERT_FALSE(keys.empty()) << link.name;
        EXPECT_EQ(keys.at("Type"), "Application");
        EXPECT_EQ(keys.at("Name"), link.name);
        EXPECT_EQ(keys.at("Exec"), target() + "/" + link.program);
        EXPECT_EQ(keys.at("Path"), target());
    }
    const QByteArray folder = QFile::encodeName(target());
    EXPECT_EQ(readFile(target() + "/uninst.lst"),
              QFile::encodeName(group()) + "\r\n" + folder + "/\r\n" + folder + "/\r\n");
    // Setup's own folder is left to the closing clean-up.
    EXPECT_TRUE(QFileInfo::exists(setupFolder + "/quorvane"));
}

TEST_F(SetupDialogTest, ProgressEndsAt216Then330ForTwoFiles)
{
    auto dialog = makeDialog();
    std::vector<int> positions;
    dialog->OnProgress = [&](SetupDialog*, int progress) { positions.push_back(progress); };
    dialog->show();
    dialog->install();
    EXPECT_EQ(positions, (std::vector<int>{101, 216, 330}));
}

TEST_F(SetupDialogTest, ButtonsPressedWhileCopyingAreIgnored)
{
    auto dialog = makeDialog();
    std::vector<int> positions;
    dialog->OnProgress = [&](SetupDialog* sender, int progress) {
        positions.push_back(progress);
        if (progress != 216)
            return;
        EXPECT_FALSE(sender->control(SetupDialog::kIdExit)->isEnabled());
        sender->reject();  // Exit, Escape or the close box
        sender->install(); // a second Install
    };
    dialog->show();
    dialog->install();
    EXPECT_EQ(positions, (std::vector<int>{101, 216, 330}));
    EXPECT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_TRUE(dialog->installed());
}

TEST_F(SetupDialogTest, AMissingFileStopsBeforeAnythingIsCopied)
{
    for (const char* missing : {"quorvane", "uninst"}) {
        resetWorld();
        QFile::remove(setupFolder + "/" + missing);
        auto dialog = makeDialog();
        dialog->show();
        dialog->install();
        EXPECT_EQ(shownTexts(),
                  std::vector<QString>{"Some file(s) are missing. The installation is aborted!"});
        EXPECT_EQ(MessageBox::shown().front().caption, "Warning");
        EXPECT_TRUE(dialog->isVisible()) << missing;
        EXPECT_FALSE(dialog->installing());
        EXPECT_FALSE(QFileInfo::exists(target())) << missing;
        EXPECT_FALSE(QFileInfo::exists(applications())) << missing;
    }
}

TEST_F(SetupDialogTest, FreeSpaceBelowTheMinimumStopsOnlyWhenItIsKnown)
{
    struct Case {
        qint64 free;
        bool refused;
    };
    const Case cases[] = {
        {1, true},  {1099999, true}, {1100000, false},
        {0, false}, {-1, false},     {qint64(5) << 30, false}, // more than 32 bits can count
    };
    for (const Case& c : cases) {
        resetWorld();
        auto dialog = makeDialog();
        QString probed;
        dialog->FreeSpaceProbe = [&](const QString& folder) {
            probed = folder;
            return c.free;
        };
        dialog->show();
        dialog->install();
        EXPECT_EQ(probed, target());
        if (c.refused) {
            EXPECT_EQ(shownTexts(), std::vector<QString>{"The selected drive hasn't enough "
                                                         "free space to install the program!"});
            EXPECT_EQ(MessageBox::shown().front().caption, "Warning");
            EXPECT_FALSE(QFileInfo::exists(target())) << c.free;
        } else {
            EXPECT_TRUE(dialog->installed()) << c.free;
        }
    }
}

TEST_F(SetupDialogTest, ACopyFailureKeepsTheDialogOpenWithTheBarDrawn)
{
    // A file where the installation folder should be: nothing can be copied.
    writeFile(target(), "in the way");
    auto dialog = makeDialog();
    dialog->show();
    dialog->install();
    EXPECT_EQ(shownTexts(), std::vector<QString>{"The installation was wrong!"});
    EXPECT_EQ(MessageBox::shown().front().caption, "Error");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->installing());
    EXPECT_TRUE(dialog->control(SetupDialog::kIdInstall)->isEnabled());

    const QImage image = dialog->grab().toImage();
    EXPECT_EQ(image.pixelColor(99, 160), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(200, 151), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(200, 160), QColor(Qt::white));

    // Once the way is clear, Install works on a second press.
    QFile::remove(target());
    MessageBox::clearShown();
    dialog->install();
    EXPECT_TRUE(dialog->installed());
}

TEST_F(SetupDialogTest, TheBarIsNavyUpToTheProgressAndWhiteBeyond)
{
    auto dialog = makeDialog();
    QImage halfway;
    dialog->OnProgress = [&](SetupDialog* sender, int progress) {
        if (progress == 216)
            halfway = sender->grab().toImage();
    };
    dialog->show();
    const QImage before = dialog->grab().toImage();
    dialog->install();
    ASSERT_FALSE(halfway.isNull());
    const QByteArray shot = qgetenv("SETUP_SCREENSHOT");
    if (!shot.isEmpty())
        halfway.save(QString::fromLocal8Bit(shot));

    const QColor navy(0, 0, 128);
    EXPECT_EQ(halfway.pixelColor(100, 152), navy);
    EXPECT_EQ(halfway.pixelColor(215, 167), navy);
    EXPECT_EQ(halfway.pixelColor(216, 160), QColor(Qt::white));
    EXPECT_EQ(halfway.pixelColor(329, 160), QColor(Qt::white));
    EXPECT_EQ(halfway.pixelColor(330, 160), QColor(Qt::black));
    EXPECT_EQ(halfway.pixelColor(200, 168), QColor(Qt::black));
    // No bar before Install.
    EXPECT_NE(before.pixelColor(99, 160), QColor(Qt::black));
}

TEST_F(SetupDialogTest, BrowseAppendsTheProductFolderWithoutDoublingTheSeparator)
{
    auto dialog = makeDialog();
    struct Case {
        QString picked;
        QString expected;
    };
    const Case cases[] = {
        {"/media/usb/", "/media/usb/QUORVane"},
        {"/", "/QUORVane"},
        {home + "/apps", home + "/apps/QUORVane"},
        {"", home + "/apps/QUORVane"}, // Cancel changes nothing
    };
    for (const Case& c : cases) {
        FolderPicker::queueAnswer(c.picked);
        static_cast<QPushButton*>(dialog->control(SetupDialog::kIdBrowse))->click();
        EXPECT_EQ(text(*dialog, SetupDialog::kIdPath), c.expected) << c.picked.toStdString();
        EXPECT_EQ(dialog->installPath(), c.expected);
    }
    // The picker opens at the current path.
    EXPECT_EQ(FolderPicker::requests().front(), target());
}

TEST_F(SetupDialogTest, InstallingIntoTheSetupFolderItselfFailsWithoutHarm)
{
    const QByteArray program = readFile(setupFolder + "/quorvane");
    auto dialog = makeDialog();
    static_cast<QLineEdit*>(dialog->control(SetupDialog::kIdPath))->setText(setupFolder);
    dialog->show();
    dialog->install();
    EXPECT_EQ(shownTexts(), std::vector<QString>{"The installation was wrong!"});
    EXPECT_EQ(readFile(setupFolder + "/quorvane"), program);
}

class SetupProgramTest : public SetupFixture {
protected:
    struct Launch {
        QString program;
        QStringList arguments;
        QString folder;
    };

    // Runs setup with `act` pressing buttons once the dialog is shown.
    int runSetup(const std::function<void(SetupDialog*)>& act)
    {
        SetupProgram program(setupFolder);
        program.launcher = [this](const QString& exe, const QStringList& args,
                                  const QString& folder) {
            launches.push_back({exe, args, folder});
            return true;
        };
        program.OnDialogShown = act;
        return program.run();
    }

    std::vector<Launch> launches;
};

TEST_F(SetupProgramTest, LeavingWithoutInstallingStillCleansUpTheSetupFolder)
{
    using Action = std::function<void(SetupDialog*)>;
    const Action exitButton = [](SetupDialog* dialog) {
        static_cast<QPushButton*>(dialog->control(SetupDialog::kIdExit))->click();
    };
    const Action closeBox = [](SetupDialog* dialog) { dialog->close(); };
    for (const Action& act : {exitButton, closeBox}) {
        resetWorld();
        launches.clear();
        EXPECT_EQ(runSetup(act), 1);
        EXPECT_FALSE(QFileInfo::exists(setupFolder + "/quorvane"));
        EXPECT_TRUE(QFileInfo::exists(setupFolder + "/uninst"));
        EXPECT_TRUE(QFileInfo::exists(setupFolder + "/setup"));
        ASSERT_EQ(launches.size(), 1u);
        EXPECT_EQ(launches[0].program, setupFolder + "/uninst");
        EXPECT_EQ(launches[0].arguments, QStringList{"setup"});
        EXPECT_EQ(launches[0].folder, setupFolder);
        EXPECT_TRUE(MessageBox::shown().empty());
        EXPECT_FALSE(QFileInfo::exists(home + "/.local/opt"));
    }
}

TEST_F(SetupProgramTest, AnInstallationEndsWithTheSameCleanUp)
{
    const QByteArray program = readFile(setupFolder + "/quorvane");
    EXPECT_EQ(runSetup([](SetupDialog* dialog) { dialog->install(); }), 0);
    EXPECT_EQ(readFile(home + "/.local/opt/QUORVane/quorvane"), program);
    EXPECT_FALSE(QFileInfo::exists(setupFolder + "/quorvane"));
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments, QStringList{"setup"});
}

TEST_F(SetupProgramTest, TheUninstallerReallyStartsDetached)
{
    // A stand-in uninstaller that leaves a note of how it was started.
    const QString note = setupFolder + "/started";
    writeFile(
        setupFolder + "/uninst",
        "#!/bin/sh\nprintf '%s|%s' \"$*\" \"$(pwd)\" > started.tmp && mv started.tmp started\n",
        0755);
    QFileSystemWatcher watcher({setupFolder});
    QEventLoop loop;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (QFileInfo::exists(note))
            loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit); // watchdog

    SetupProgram program(setupFolder);
    program.OnDialogShown = [](SetupDialog* dialog) { dialog->reject(); };
    program.run();
    if (!QFileInfo::exists(note))
        loop.exec();
    EXPECT_EQ(readFile(note), "setup|" + QFile::encodeName(setupFolder));
}

} // namespace
