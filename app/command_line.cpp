#include "command_line.h"

#include "app_info.h"

#include <optional>
#include <QDate>
#include <QDir>
#include <QFile>

namespace app {

namespace {

CommandLine failed(std::string error)
{
    CommandLine result;
    result.action = CommandLine::Action::Error;
    result.error = std::move(error);
    return result;
}

bool isOption(const std::string& argument)
{
    return argument.size() > 1 && argument[0] == '-';
}

// A whole number of days from 1 to kMaxSkipRecentDays, or nothing.
std::optional<int> skipDays(const std::string& text)
{
    bool ok = false;
    const int days = QString::fromStdString(text).toInt(&ok);
    if (!ok || days < 1 || days > kMaxSkipRecentDays)
        return std::nullopt;
    return days;
}

// The windowless commands take their own arguments and nothing else.
CommandLine parseSubmit(const std::vector<std::string>& rest)
{
    CommandLine result;
    result.action = CommandLine::Action::Submit;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--engines") {
            if (i + 1 >= rest.size() || !result.engines.empty())
                return failed("--engines needs one file");
            result.engines = rest[++i];
        } else if (rest[i] == "--skip-recent") {
            const std::optional<int> days =
                i + 1 < rest.size() ? skipDays(rest[i + 1]) : std::nullopt;
            if (!days || result.skipRecentDays != 0)
                return failed("--skip-recent needs one number of days from 1 to " +
                              std::to_string(kMaxSkipRecentDays));
            result.skipRecentDays = *days;
            ++i;
        } else if (isOption(rest[i])) {
            return failed("unknown option " + rest[i]);
        } else if (result.profile.empty()) {
            result.profile = rest[i];
        } else {
            return failed("more than one profile given");
        }
    }
    if (result.profile.empty())
        return failed("--submit needs a profile");
    return result;
}

// A command that takes one file and nothing else; the file goes to `field`.
CommandLine parseOneFile(const std::vector<std::string>& rest, CommandLine::Action action,
                         std::string CommandLine::*field, const char* error)
{
    if (rest.size() != 1 || isOption(rest[0]))
        return failed(error);
    CommandLine result;
    result.action = action;
    result.*field = rest[0];
    return result;
}

// --import-sitemap SOURCE PROFILE [--since YYYY-MM-DD]
CommandLine parseImportSitemap(const std::vector<std::string>& rest)
{
    CommandLine result;
    result.action = CommandLine::Action::ImportSitemap;
    std::vector<std::string> plain;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--since") {
            if (i + 1 >= rest.size() || !result.since.empty())
                return failed("--since needs one date YYYY-MM-DD");
            result.since = rest[++i];
            if (!QDate::fromString(QString::fromStdString(result.since), "yyyy-MM-dd").isValid())
                return failed("--since needs a date YYYY-MM-DD, not " + result.since);
        } else if (isOption(rest[i])) {
            return failed("unknown option " + rest[i]);
        } else {
            plain.push_back(rest[i]);
        }
    }
    if (plain.size() != 2)
        return failed("--import-sitemap needs a sitemap and a profile");
    result.sitemap = plain[0];
    result.profile = plain[1];
    return result;
}

// The windowless commands and what reads their arguments.
CommandLine parseHeadless(const std::string& command, const std::vector<std::string>& rest)
{
    if (command == "--submit")
        return parseSubmit(rest);
    if (command == "--export-log")
        return parseOneFile(rest, CommandLine::Action::ExportLog, &CommandLine::csv,
                            "--export-log needs one file");
    if (command == "--import-sitemap")
        return parseImportSitemap(rest);
    return parseOneFile(rest, CommandLine::Action::CheckKey, &CommandLine::profile,
                        "--check-key needs one profile");
}

bool isHeadlessCommand(const std::string& argument)
{
    return argument == "--submit" || argument == "--export-log" || argument == "--import-sitemap" ||
           argument == "--check-key";
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine result;
    if (!arguments.empty() && isHeadlessCommand(arguments[0])) {
        const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
        for (const std::string& argument : rest) {
            if (argument == "--help" || argument == "-h")
                return parseCommandLine({argument});
        }
        return parseHeadless(arguments[0], rest);
    }
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            result.action = CommandLine::Action::Help;
            return result;
        }
        if (argument == "--version") {
            result.action = CommandLine::Action::Version;
            return result;
        }
        // A lone "-" is left as a file name; anything else with a leading
        // dash is an option we do not know.
        if (argument.size() > 1 && argument[0] == '-') {
            result.action = CommandLine::Action::Error;
            result.error = "unknown option " + argument;
            return result;
        }
        if (!result.page.empty()) {
            result.action = CommandLine::Action::Error;
            result.error = "more than one page given";
            return result;
        }
        result.page = argument;
    }
    return result;
}

QString startPage(const std::string& page, const QString& startFolder)
{
    QString name = QFile::decodeName(page.c_str());
    if (name.isEmpty() || name.startsWith("file:", Qt::CaseInsensitive) ||
        !QDir::isRelativePath(name))
        return name;
    return QDir(startFolder).absoluteFilePath(name);
}

std::string usageText()
{
    return "usage: quorvane [FILE | file://ADDRESS]\n"
           "       quorvane --submit PROFILE.ini [--engines FILE] [--skip-recent DAYS]\n"
           "       quorvane --export-log FILE.csv\n"
           "       quorvane --import-sitemap SOURCE PROFILE.ini [--since YYYY-MM-DD]\n"
           "       quorvane --check-key PROFILE.ini\n"
           "       quorvane --help | --version\n"
           "Submits the pages of a website to a list of search-engine add-URL services.\n"
           "FILE, or a file:// address, is a page shown in the viewer at start.\n"
           "--submit runs a submission without windows (the program folder's\n"
           "engines.txt unless --engines names another list). With --skip-recent,\n"
           "a request whose address the log shows sent successfully in the last\n"
           "DAYS days is not sent again, and the summary counts such requests as\n"
           "skipped. Answers 429 and 503, time-outs and failed connections are\n"
           "tried again (registry value \"Retries\", default 2).\n"
           "--export-log writes the submission log as CSV (exit code 3: written,\n"
           "but damaged records were found and named on stderr); --import-sitemap\n"
           "adds the pages of a sitemap (an http(s) address or a file) to a profile;\n"
           "--check-key checks that every host of a profile serves the IndexNow key.\n"
           "Exit status of --submit: 0 when every request succeeded, 4 when at least\n"
           "one failed, 1 when the profile or engines list cannot be read (or the date\n"
           "line cannot be written), 3 when the log cannot be used, 130 when\n"
           "interrupted.\n";
}

std::string versionText()
{
    return std::string(kApplicationTitle) + ' ' + kVersion;
}

} // namespace app
