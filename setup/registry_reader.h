#pragma once

#include <QString>

namespace setup {

// Reads values from the registry store, the INI file registry.ini in
// $XDG_CONFIG_HOME/quorvane/ (default ~/.config/quorvane/). Each key is a
// section named by its full path, root first, e.g.
//   [HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\]
// followed by "Name=Value" lines; inside a value "\\", "\n" and "\r" stand
// for a backslash, a line feed and a carriage return. Key paths and value
// names match without regard to case or to a trailing backslash, as registry
// look-ups do. The installer only reads the store; it never writes it.
class RegistryReader {
public:
    // Uses the default file location.
    RegistryReader();
    // Uses the given file; tests point this at a temporary folder.
    explicit RegistryReader(QString filePath);

    // The value, or an empty string when the file, the key or the value is
    // missing.
    QString value(const QString& key, const QString& name) const;

    static QString defaultFilePath();

private:
    QString m_filePath;
};

} // namespace setup
