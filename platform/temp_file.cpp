#include "temp_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <unistd.h>

namespace platform {

QString createTempFile()
{
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + "/qvXXXXXX");
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    ::close(fd);
    QString path = QFile::decodeName(pattern);
    if (QFileInfo(path).suffix().isEmpty()) {
        // Keep the created file under the name callers will use.
        QString dotted = path + '.';
        if (!QFile::rename(path, dotted)) {
            QFile::remove(path);
            return {};
        }
        path = dotted;
    }
    return path;
}

} // namespace platform
