#pragma once

#include <map>
#include <QString>

// Stands in for the system registry: one INI file, registry.ini, in
// $XDG_CONFIG_HOME/quorvane/ (default ~/.config/quorvane/). Each key path is
// one section written with its root first, e.g.
//   [HKEY_LOCAL_MACHINE\Software\Tallmoor\quorvane\]
// and every value is a string line "Name=Value". The file is created with
// mode 0600 and every write replaces it through a temporary file renamed
// over the old one, so a crash never leaves half a file.
class RegistryStore {
public:
    // Uses the default file location.
    RegistryStore();
    // Uses the given file; tests point this at a temporary folder.
    explicit RegistryStore(QString filePath);

    QString filePath() const { return m_filePath; }

    // True when the section exists in the file.
    bool keyExists(const QString& key) const;
    // The value, or an empty string when the key or the value is missing or
    // the file cannot be read.
    QString value(const QString& key, const QString& name) const;
    // Creates the key (an empty section) when missing. Returns false when
    // the file could not be written.
    bool createKey(const QString& key);
    // Creates the key when needed and stores the value. Returns false when
    // the file could not be written.
    bool setValue(const QString& key, const QString& name, const QString& value);

    static QString defaultFilePath();

private:
    using Section = std::map<QString, QString>;
    using Sections = std::map<QString, Section>;

    Sections load() const;
    bool save(const Sections& sections) const;

    QString m_filePath;
};
