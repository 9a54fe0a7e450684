#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

using Action = app::CommandLine::Action;

TEST(CommandLine, RecognisesEachForm)
{
    struct {
        std::vector<std::string> arguments;
        Action action;
        std::string page;
    } cases[] = {
        {{}, Action::Run, ""},
        {{"page.html"}, Action::Run, "page.html"},
        {{"file:///tmp/a b.html"}, Action::Run, "file:///tmp/a b.html"},
        {{"-"}, Action::Run, "-"},
        {{"--help"}, Action::Help, ""},
        {{"page.html", "--version"}, Action::Version, ""},
        {{"--frobnicate"}, Action::Error, ""},
        {{"a.html", "b.html"}, Action::Error, ""},
    };
    for (const auto& c : cases) {
        app::CommandLine parsed = app::parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.action, c.action);
        if (c.action == Action::Run) {
            EXPECT_EQ(parsed.page, c.page);
        }
        if (c.action == Action::Error) {
            EXPECT_FALSE(parsed.error.empty());
        }
    }
    EXPECT_EQ(app::versionText(), "Quorvane 1.04");
    EXPECT_EQ(app::usageText().rfind("usage: quorvane", 0), 0u);
}

} // namespace
