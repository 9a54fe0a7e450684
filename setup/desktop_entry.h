#pragma once

#include <map>
#include <QByteArray>
#include <QString>

namespace setup {

// A menu shortcut: a freedesktop .desktop file that starts a program in its
// own folder. Setup writes one per installed program; the uninstaller removes
// a shortcut only when it still starts the program it was made for.
class DesktopEntry {
public:
    // `name` is the menu text, `target` the absolute path of the program.
    DesktopEntry(QString name, QString target);

    // The shortcut file for `name` inside the group folder.
    static QString fileName(const QString& groupFolder, const QString& name);

    // The file contents: [Desktop Entry], Type, Name, Exec, Path, Terminal.
    QByteArray contents() const;
    // The Exec value before the file's own string escaping: the target,
    // quoted when it holds characters the Exec syntax reserves.
    QString exec() const;
    // The working folder: the target's folder.
    QString path() const;

    // Writes the file, replacing an older one. Throws SetupError.
    void save(const QString& file) const;
    // True when `file` is a shortcut whose Exec and Path are this entry's.
    bool isSavedIn(const QString& file) const;

    // The keys of a .desktop file's [Desktop Entry] group with their values
    // unescaped; empty when the file cannot be read.
    static std::map<QString, QString> read(const QString& file);

private:
    QString m_name;
    QString m_target;
};

} // namespace setup
