#pragma once

#include <optional>
#include <QString>

namespace setup {

// The list file setup leaves in the installation folder for the uninstaller:
// three lines ending CR LF,
//   1. the menu group folder holding the shortcuts,
//   2. the installation folder with a trailing "/",
//   3. the installation folder again (the short form of the name; file
//      systems here have no separate short names), with a trailing "/".
struct UninstallList {
    QString groupFolder;
    QString installFolder;

    // The list built for an installation folder and a group folder.
    static UninstallList forInstallation(const QString& installFolder, const QString& groupFolder);

    // The list file of an installation folder.
    static QString filePath(const QString& installFolder);

    // Writes the list file into the installation folder. Throws SetupError.
    void write() const;
    // Reads the list file of a folder. Empty when the file is missing or does
    // not hold the three lines.
    static std::optional<UninstallList> read(const QString& folder);
};

} // namespace setup
