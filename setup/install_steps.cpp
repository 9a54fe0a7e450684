#include "setup/install_steps.h"

#include "setup/desktop_entry.h"
#include "setup/product.h"
#include "setup/registry_reader.h"
#include "setup/setup_error.h"
#include "setup/uninstall_list.h"

#include <limits>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace setup {

namespace {

// The registry keys that may name the folder programs are installed in, in
// the order they are asked.
constexpr const char* kProgramFilesKeys[] = {
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\",
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\",
};
constexpr char kProgramFilesValue[] = "ProgramFilesDir";
// Per-user programs live here when the registry names no folder.
constexpr char kFallbackProgramFolder[] = "/.local/opt";

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

QString joinFolder(const QString& folder, const QString& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString defaultInstallPath(const RegistryReader& registry)
{
    QString base;
    for (const char* key : kProgramFilesKeys) {
        base = registry.value(key, kProgramFilesValue);
        if (!base.isEmpty())
            break;
    }
    if (base.isEmpty())
        base = QDir::homePath() + kFallbackProgramFolder;
    return joinFolder(base, kProductFolder);
}

QString resolveFolder(const QString& typed, const QString& base)
{
    QString path = typed.trimmed();
    if (path == "~" || path.startsWith("~/"))
        path = QDir::homePath() + path.mid(1);
    return QDir::cleanPath(QDir(base).absoluteFilePath(path));
}

int progressAfter(int done, int total)
{
    constexpr int kSpan = kProgressEnd - kProgressStart;
    return kProgressStart + (2 * kSpan * done + total) / (2 * total);
}

qint64 freeSpace(const QString& path)
{
    QFileInfo info(path);
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return -1;
        info = QFileInfo(parent);
    }
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(info.absoluteFilePath()).constData(), &fs) != 0)
        return -1;
    // Computed in 64 bits: a large file system must never look full.
    const unsigned long long bytes =
        static_cast<unsigned long long>(fs.f_bavail) * static_cast<unsigned long long>(fs.f_frsize);
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<qint64>::max());
    return static_cast<qint64>(bytes > kMax ? kMax : bytes);
}

QString firstMissingFile(const QString& folder, const QStringList& files)
{
    for (const QString& name : files) {
        if (!QFileInfo(joinFolder(folder, name)).isFile())
            return name;
    }
    return {};
}

void createFolder(const QString& folder)
{
    QDir().mkpath(folder);
}

void copyFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw SetupError(QString("Cannot open file %1").arg(source));
    if (sameFile(source, target))
        throw SetupError(QString("Cannot create file %1").arg(target));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw SetupError(QString("Cannot create file %1").arg(target));
    char buffer[kCopyBufferSize];
    for (;;) {
        const qint64 got = in.read(buffer, kCopyBufferSize);
        if (got < 0)
            throw SetupError(QString("Cannot read file %1").arg(source));
        if (out.write(buffer, got) != got)
            throw SetupError(QString("Cannot write file %1").arg(target));
        if (got < kCopyBufferSize)
            break;
    }
    if (!out.commit())
        throw SetupError(QString("Cannot write file %1").arg(target));
    QFile::setPermissions(target, in.permissions());
}

QString applicationsFolder()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + "/.local/share";
    return dataHome + "/applications";
}

QString groupFolder(const QString& applications)
{
    return joinFolder(applications, kGroupFolder);
}

void createShortcut(const QString& target, const QString& name, const QString& applications)
{
    const QString group = groupFolder(applications);
    try {
        UninstallList::forInstallation(QFileInfo(target).absolutePath(), group).write();
        createFolder(group);
    } catch (const SetupError&) {
        // Without the list the uninstaller refuses to run; the shortcut is
        // still worth having.
    }
    createFolder(group);
    DesktopEntry(name, target).save(DesktopEntry::fileName(group, name));
}

bool startDetached(const QString& program, const QStringList& arguments,
                   const QString& workingFolder)
{
    // The started program outlives setup, so it must not write into setup's
    // output channels: whoever reads them may be gone by then.
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

void closingCleanup(const QString& setupFolder, const Launcher& launch)
{
    const QStringList files = filesToCopy();
    for (const QString& name : files) {
        if (name != kUninstaller)
            QFile::remove(joinFolder(setupFolder, name));
    }
    launch(joinFolder(setupFolder, kUninstaller), {kSetupArgument}, setupFolder);
}

} // namespace setup
