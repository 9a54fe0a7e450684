#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// What the installer installs and the fixed texts it shows. The installer and
// the uninstaller agree on these names; nothing else in the project uses them.
namespace setup {

inline constexpr char kProductTitle[] = "QUORVane 1.04";
// Appended to a browsed or default folder to form the installation folder.
inline constexpr char kProductFolder[] = "QUORVane";
// The menu group folder, under the applications folder, holding both shortcuts.
inline constexpr char kGroupFolder[] = "QUORVane";

inline constexpr char kMainProgram[] = "quorvane";
inline constexpr char kUninstaller[] = "uninst";
inline constexpr char kSetupProgram[] = "setup";
// The argument setup passes to the uninstaller when it ends.
inline constexpr char kSetupArgument[] = "setup";
// The list file the uninstaller reads. The executable already carries the
// bare name "uninst" on this system, so the list file needs its own name.
inline constexpr char kUninstallListFile[] = "uninst.lst";

inline constexpr char kMainShortcut[] = "QUORVane 1.04";
inline constexpr char kUninstallShortcut[] = "Uninstall QUORVane";
inline constexpr char kShortcutSuffix[] = ".desktop";

// Below this many free bytes on the target file system setup refuses to start.
inline constexpr qint64 kMinimumFreeSpace = 1100000;
inline constexpr int kCopyBufferSize = 8192;

// Files copied from the setup folder, in order.
QStringList filesToCopy();
// Files that get a shortcut, in order, with the matching shortcut names.
QStringList filesToLink();
QStringList shortcutNames();

// Numbers of the installer's messages.
enum MessageId {
    kMessageNoSpace = 1001,
    kMessageMissingFiles = 1002,
    kMessageSuccess = 1003,
    kMessageFailed = 1004,
};
// Longest message text, in characters; longer texts are cut.
inline constexpr int kMessageLength = 254;

// The text of a message; an unknown number gives an empty text.
QString messageText(int id);

} // namespace setup
