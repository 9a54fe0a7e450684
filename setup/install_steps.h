#pragma once

#include <functional>
#include <QString>
#include <QStringList>

namespace setup {

class RegistryReader;

// The steps of an installation and of setup's closing clean-up, each on its
// own so that the dialog reads as the sequence of steps and tests can check
// each one.

// `folder` + "/" + `name`, without doubling a separator already there.
QString joinFolder(const QString& folder, const QString& name);

// The proposed installation folder: "ProgramFilesDir" from the first
// registry key that holds it, else ~/.local/opt; then the product folder.
QString defaultInstallPath(const RegistryReader& registry);

// The absolute, clean form of the folder typed into the dialog. A leading
// "~" stands for the home folder; a relative path counts from `base`.
QString resolveFolder(const QString& typed, const QString& base);

// The x coordinate of the progress bar's end after `done` of `total` files:
// 101 + 229 * done / total, halves rounded upwards.
int progressAfter(int done, int total);
inline constexpr int kProgressStart = 101;
inline constexpr int kProgressEnd = 330;

// Free bytes for an unprivileged user on the file system that holds `path`
// (or would hold it: missing folders are looked up through their parents);
// -1 when the system cannot tell.
qint64 freeSpace(const QString& path);

// The first of `files` that is not a regular file in `folder`, or an empty
// string when all are there.
QString firstMissingFile(const QString& folder, const QStringList& files);

// Creates the folder with all missing parents. Failures are left to the copy
// that follows, which then cannot create its file.
void createFolder(const QString& folder);

// Copies `source` to `target` through a buffer of kCopyBufferSize bytes and
// gives the copy the source's permissions. The target is replaced only once
// the copy is complete. Throws SetupError ("Cannot open file ..." for the
// source, "Cannot create file ..." for the target, also when both name the
// same file, which copying would destroy).
void copyFile(const QString& source, const QString& target);

// The folder desktop menus read shortcuts from: $XDG_DATA_HOME/applications,
// by default ~/.local/share/applications.
QString applicationsFolder();
// The group folder of the product's shortcuts inside it.
QString groupFolder(const QString& applications);

// Creates the shortcut `name` for the program `target` in the group folder,
// after writing the uninstaller's list file beside the target (a failure to
// write the list does not stop the shortcut). Throws SetupError when the
// shortcut cannot be saved.
void createShortcut(const QString& target, const QString& name, const QString& applications);

// Starts a program detached from setup; returns false when it cannot start.
using Launcher = std::function<bool(const QString& program, const QStringList& arguments,
                                    const QString& workingFolder)>;
bool startDetached(const QString& program, const QStringList& arguments,
                   const QString& workingFolder);

// Setup's last act, whatever happened before: deletes the main program from
// the setup folder (the uninstaller stays) and starts the uninstaller there
// with the argument "setup" so that it removes the rest.
void closingCleanup(const QString& setupFolder, const Launcher& launch);

} // namespace setup
