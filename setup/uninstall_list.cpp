#include "setup/uninstall_list.h"

#include "setup/product.h"
#include "setup/setup_error.h"

#include <QFile>
#include <QSaveFile>

namespace setup {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr int kLineCount = 3;

QString withTrailingSlash(const QString& folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

} // namespace

UninstallList UninstallList::forInstallation(const QString& installFolder,
                                             const QString& groupFolder)
{
    return {groupFolder, withTrailingSlash(installFolder)};
}

QString UninstallList::filePath(const QString& installFolder)
{
    return withTrailingSlash(installFolder) + kUninstallListFile;
}

void UninstallList::write() const
{
    const QString file = filePath(installFolder);
    QByteArray bytes;
    bytes += QFile::encodeName(groupFolder) + kLineEnd;
    bytes += QFile::encodeName(installFolder) + kLineEnd;
    bytes += QFile::encodeName(installFolder) + kLineEnd;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw SetupError(QString("Cannot create file %1").arg(file));
}

std::optional<UninstallList> UninstallList::read(const QString& folder)
{
    QFile in(filePath(folder));
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<QByteArray> lines = in.readAll().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    if (lines.size() != kLineCount)
        return std::nullopt;
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            return std::nullopt;
    }
    return UninstallList{QFile::decodeName(lines[0]), QFile::decodeName(lines[1])};
}

} // namespace setup
