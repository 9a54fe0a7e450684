#include "command_line.h"

#include "app_info.h"

namespace app {

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine result;
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

std::string usageText()
{
    return "usage: quorvane [FILE | file://ADDRESS]\n"
           "       quorvane --help | --version\n"
           "Submits the pages of a website to a list of search-engine add-URL services.\n"
           "FILE, or a file:// address, is a page shown in the viewer at start.\n";
}

std::string versionText()
{
    return std::string(kApplicationTitle) + ' ' + kVersion;
}

} // namespace app
