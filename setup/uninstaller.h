#pragma once

#include <QString>
#include <QStringList>

namespace setup {

struct UninstallList;

// The uninstaller. It works only on the folder it sits in, and only in two
// situations it recognises:
// - an installation folder (started without arguments, beside the list file
//   setup wrote, which names this very folder): after one confirmation it
//   removes what setup created, the two shortcuts (only while they still
//   start the installed programs), the two programs, the list file, then the
//   shortcut group folder and the installation folder if nothing else is
//   left in them;
// - a setup folder (started by setup with the argument "setup", beside the
//   setup program and without a list file): it silently removes "setup" and
//   then itself.
// In any other situation it says what it found and changes nothing.
class Uninstaller {
public:
    enum ExitCode {
        kDone = 0,
        kNotDone = 1, // declined, or something could not be removed
        kRefused = 2,
    };
    enum class Situation { Installation, SetupFolder, Unknown };

    explicit Uninstaller(QString ownFolder);

    // Works out the situation, acts on it and returns an ExitCode.
    int run(const QStringList& arguments);

    // The situation for these arguments; `findings` receives what was found
    // when it is Unknown.
    Situation situation(const QStringList& arguments, QString* findings) const;

    static constexpr char kCaption[] = "Uninstall QUORVane";

private:
    int uninstall(const UninstallList& list);
    int cleanSetupFolder();
    int refuse(const QString& findings);

    QString m_folder;
};

} // namespace setup
