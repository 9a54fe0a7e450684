#include "program_folder.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

QString programFolder()
{
    QString folder = qEnvironmentVariable("QUORVANE_HOME");
    if (folder.isEmpty()) {
        QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        if (dataHome.isEmpty())
            dataHome = QDir::homePath() + "/.local/share";
        folder = dataHome + "/quorvane";
    }
    folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!folder.endsWith('/'))
        folder += '/';
    return folder;
}

QString prepareProgramFolder()
{
    QString folder = programFolder();
    QDir().mkpath(folder);
    QDir::setCurrent(folder);
    return folder;
}

} // namespace platform
