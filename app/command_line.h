#pragma once

#include <string>
#include <vector>

// The main program's command line:
//   quorvane [FILE | file://ADDRESS]
//   quorvane --help
//   quorvane --version
namespace app {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::string page;  // Run: the page to show at start, empty for none
    std::string error; // Error: what was wrong
};

CommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();
std::string versionText();

} // namespace app
