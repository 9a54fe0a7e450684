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
        {{"--submit", "site.ini"}, Action::Submit, ""},
        {{"--submit", "site.ini", "--engines", "e.txt"}, Action::Submit, ""},
        {{"--submit", "--engines", "e.txt", "site.ini"}, Action::Submit, ""},
        {{"--submit"}, Action::Error, ""},
        {{"--submit", "a.ini", "b.ini"}, Action::Error, ""},
        {{"--submit", "a.ini", "--engines"}, Action::Error, ""},
        {{"--submit", "a.ini", "--frobnicate"}, Action::Error, ""},
        {{"--export-log", "out.csv"}, Action::ExportLog, ""},
        {{"--export-log"}, Action::Error, ""},
        {{"--export-log", "a.csv", "b.csv"}, Action::Error, ""},
        {{"--submit", "a.ini", "--help"}, Action::Help, ""},
    };
    for (const auto& c : cases) {
        app::CommandLine parsed = app::parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.action, c.action);
        if (c.action == Action::Run) {
            EXPECT_EQ(parsed.page, c.page);
        }
        if (c.action == Action::Submit) {
            EXPECT_EQ(parsed.profile, "site.ini");
            EXPECT_EQ(parsed.engines, c.arguments.size() > 2 ? "e.txt" : "");
        }
        if (c.action == Action::ExportLog) {
            EXPECT_EQ(parsed.csv, "out.csv");
        }
        if (c.action == Action::Error) {
            EXPECT_FALSE(parsed.error.empty());
        }
    }
    EXPECT_EQ(app::versionText(), "Quorvane 1.04");
    EXPECT_EQ(app::usageText().rfind("usage: quorvane", 0), 0u);
}

TEST(CommandLine, StartPageIsTakenFromTheStartingFolder)
{
    struct {
        std::string page;
        QString expected;
    } cases[] = {
        {"", ""},
        {"page.html", "/home/u/site/page.html"},
        {"sub/page.html#top", "/home/u/site/sub/page.html#top"},
        {"/tmp/page.html", "/tmp/page.html"},
        {"file:///tmp/a%20b.html", "file:///tmp/a%20b.html"},
        {"FILE://x/page.html", "FILE://x/page.html"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::startPage(c.page, "/home/u/site"), c.expected) << c.page;
}

} // namespace
