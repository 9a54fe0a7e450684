#include "setup/product.h"

#include <map>

namespace setup {

QStringList filesToCopy()
{
    return {kMainProgram, kUninstaller};
}

QStringList filesToLink()
{
    return {kMainProgram, kUninstaller};
}

QStringList shortcutNames()
{
    return {kMainShortcut, kUninstallShortcut};
}

QString messageText(int id)
{
    static const std::map<int, const char*> kTable = {
        {kMessageNoSpace, "The selected drive hasn't enough free space to install the program!"},
        {kMessageMissingFiles, "Some file(s) are missing. The installation is aborted!"},
        {kMessageSuccess,
         "The installation was successful!\nA shortcut was created on the Start menu."},
        {kMessageFailed, "The installation was wrong!"},
    };
    auto found = kTable.find(id);
    if (found == kTable.end())
        return {};
    return QString::fromLatin1(found->second).left(kMessageLength);
}

} // namespace setup
