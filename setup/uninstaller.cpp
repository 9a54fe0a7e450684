#include "setup/uninstaller.h"

#include "setup/desktop_entry.h"
#include "setup/install_steps.h"
#include "setup/message_box.h"
#include "setup/product.h"
#include "setup/uninstall_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace setup {

namespace {

QString canonicalFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

// Removes a file setup created; notes it in `kept` when it stays behind.
void removeFile(const QString& file, QStringList* kept)
{
    if (QFileInfo(file).isSymLink() || QFileInfo::exists(file)) {
        if (!QFile::remove(file))
            kept->append(file + " (could not be removed)");
    }
}

// Removes a folder only when it is empty; notes it when it stays behind.
void removeFolderIfEmpty(const QString& folder, QStringList* kept)
{
    if (!QFileInfo(folder).isDir())
        return;
    if (!QDir().rmdir(folder))
        kept->append(folder + " (holds other files)");
}

} // namespace

Uninstaller::Uninstaller(QString ownFolder) : m_folder(QDir::cleanPath(std::move(ownFolder))) {}

Uninstaller::Situation Uninstaller::situation(const QStringList& arguments, QString* findings) const
{
    const QString listFile = UninstallList::filePath(m_folder);
    const bool hasList = QFileInfo::exists(listFile);
    if (arguments == QStringList{kSetupArgument}) {
        if (hasList) {
            *findings = QString("The uninstaller was asked to clean up the setup folder %1, "
                                "but that folder holds the installation list %2.")
                            .arg(m_folder, listFile);
            return Situation::Unknown;
        }
        if (!QFileInfo(joinFolder(m_folder, kSetupProgram)).isFile()) {
            *findings = QString("The uninstaller was asked to clean up the setup folder %1, "
                                "but no setup program is there.")
                            .arg(m_folder);
            return Situation::Unknown;
        }
        return Situation::SetupFolder;
    }
    if (!arguments.isEmpty()) {
        *findings =
            QString("The uninstaller does not know the arguments \"%1\".").arg(arguments.join(' '));
        return Situation::Unknown;
    }
    if (!hasList) {
        *findings = QString("No installation of QUORVane was found in %1: the list file %2 "
                            "is missing.")
                        .arg(m_folder, kUninstallListFile);
        return Situation::Unknown;
    }
    const std::optional<UninstallList> list = UninstallList::read(m_folder);
    if (!list) {
        *findings = QString("The list file %1 is damaged.").arg(listFile);
        return Situation::Unknown;
    }
    if (canonicalFolder(list->installFolder) != canonicalFolder(m_folder)) {
        *findings = QString("The list file names the installation folder %1, but the "
                            "uninstaller runs in %2.")
                        .arg(list->installFolder, m_folder);
        return Situation::Unknown;
    }
    if (QFileInfo(list->groupFolder).fileName() != kGroupFolder ||
        QFileInfo(list->groupFolder).isRelative()) {
        *findings =
            QString("The list file names an unexpected shortcut folder %1.").arg(list->groupFolder);
        return Situation::Unknown;
    }
    return Situation::Installation;
}

int Uninstaller::run(const QStringList& arguments)
{
    QString findings;
    switch (situation(arguments, &findings)) {
    case Situation::Installation:
        return uninstall(*UninstallList::read(m_folder));
    case Situation::SetupFolder:
        return cleanSetupFolder();
    case Situation::Unknown:
        break;
    }
    return refuse(findings);
}

int Uninstaller::uninstall(const UninstallList& list)
{
    const QString question =
        QString("Do you want to remove QUORVane from %1 and its shortcuts from the menu?")
            .arg(m_folder);
    if (!MessageBox::question(kCaption, question))
        return kNotDone;

    QStringList kept;
    const QStringList files = filesToLink();
    const QStringList names = shortcutNames();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString link = DesktopEntry::fileName(list.groupFolder, names[i]);
        if (!QFileInfo::exists(link))
            continue;
        // A shortcut that no longer starts the installed program is the
        // user's now.
        if (DesktopEntry(names[i], joinFolder(list.installFolder, files[i])).isSavedIn(link))
            removeFile(link, &kept);
        else
            kept.append(link + " (no longer starts this installation)");
    }
    const QStringList programs = filesToCopy();
    for (const QString& name : programs) {
        if (name != kUninstaller)
            removeFile(joinFolder(m_folder, name), &kept);
    }
    removeFile(UninstallList::filePath(m_folder), &kept);
    // Last of the files: the running uninstaller itself.
    removeFile(joinFolder(m_folder, kUninstaller), &kept);
    removeFolderIfEmpty(list.groupFolder, &kept);
    removeFolderIfEmpty(m_folder, &kept);

    if (kept.isEmpty()) {
        MessageBox::show(kCaption, "QUORVane was removed.", MessageBox::Icon::Information);
        return kDone;
    }
    MessageBox::show(kCaption, "QUORVane was removed, except for:\n" + kept.join('\n'),
                     MessageBox::Icon::Warning);
    return kNotDone;
}

int Uninstaller::cleanSetupFolder()
{
    bool removed = QFile::remove(joinFolder(m_folder, kSetupProgram));
    removed = QFile::remove(joinFolder(m_folder, kUninstaller)) && removed;
    return removed ? kDone : kNotDone;
}

int Uninstaller::refuse(const QString& findings)
{
    MessageBox::show(kCaption, findings + "\n\nNothing was changed.", MessageBox::Icon::Warning);
    return kRefused;
}

} // namespace setup
