#pragma once

#include <QString>
#include <string>
#include <vector>

// The main program's command line:
//   quorvane [FILE | file://ADDRESS]
//   quorvane --submit PROFILE.ini [--engines FILE] [--skip-recent DAYS]
//   quorvane --export-log FILE.csv
//   quorvane --import-sitemap SOURCE PROFILE.ini [--since YYYY-MM-DD]
//   quorvane --check-key PROFILE.ini
//   quorvane --help
//   quorvane --version
namespace app {

struct CommandLine {
    enum class Action { Run, Submit, ExportLog, ImportSitemap, CheckKey, Help, Version, Error };
    Action action = Action::Run;
    std::string page;       // Run: the page to show at start, empty for none
    std::string profile;    // Submit, ImportSitemap, CheckKey: the profile file
    std::string engines;    // Submit: the engines list file, empty for the default
    int skipRecentDays = 0; // Submit: leave out what succeeded in these last days
    std::string csv;        // ExportLog: the file to write
    std::string sitemap;    // ImportSitemap: an http(s) address or a file
    std::string since;      // ImportSitemap: "YYYY-MM-DD", empty for every entry
    std::string error;      // Error: what was wrong
};

// The most days --skip-recent takes: about ten years.
inline constexpr int kMaxSkipRecentDays = 3660;

CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The page argument as the main window takes it. The program works in its
// own folder, so a relative path is made absolute against the folder the
// command was started in; "file:" addresses and absolute paths stay as given.
QString startPage(const std::string& page, const QString& startFolder);

std::string usageText();
std::string versionText();

} // namespace app
