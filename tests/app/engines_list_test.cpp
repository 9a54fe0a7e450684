#include "app_test_env.h"

#include "app/engine_line.h"
#include "app/engines_list.h"

namespace {

using EnginesList = AppTest;

TEST_F(EnginesList, SortIsCaseInsensitiveAndKeepsTiesInOrder)
{
    EXPECT_EQ(app::sortedEngineLines({"POSTb", "GETa", "getc"}),
              (app::Lines{"GETa", "getc", "POSTb"}));
    EXPECT_EQ(app::sortedEngineLines({"GETx", "getx", "GETX"}),
              (app::Lines{"GETx", "getx", "GETX"}));
    EXPECT_EQ(app::sortedEngineLines({}), app::Lines{});
}

TEST(RunnableLines, BlankLinesAreLeftOut)
{
    EXPECT_EQ(app::runnableEngineLines({"", "GETa", "  ", "POSTb", "\t"}),
              (app::Lines{"GETa", "POSTb"}));
}

TEST(DefaultEngines, HaveTheFiveShapes)
{
    app::Lines lines = app::defaultEngineLines();
    ASSERT_EQ(lines.size(), 5u);
    const char* paths[] = {
        "/cgi-bin/newurl?ad=1&q=##url", "/addurl?q=##url&dq=", "/addurl.asp?MM=1&success_page=",
        "/cgi-bin/spider_now.pl?query=##url&email=##email",
        "/cgi-bin/urlsubmit.pl?page=##url&contact=##name&email=##email&sb.x=45&sb.y=10"};
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find(paths[i]), std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].find(' '), std::string::npos) << lines[i];
        app::EngineRequest request = app::splitEngineLine(lines[i]);
        EXPECT_EQ(request.url.rfind("http://", 0), 0u) << lines[i];
        EXPECT_EQ(request.method, i == 4 ? app::HttpMethod::Post : app::HttpMethod::Get);
    }
    // The third line's fixed values come in their order.
    const std::string& third = lines[2];
    size_t at = 0;
    for (const char* piece :
         {"MM=1", "success_page=http://", "/addurl.asp&", "failure_page=http://", "/help/oops.asp&",
          "ACTION=subscribe", "SOURCE=hotbot", "LIST=hotbot-addurl", "ip=", "redirect=http://",
          "/addurl2.html&", "newurl=##url", "email=##email", "send=Add%20my%20URL"}) {
        size_t found = third.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece;
        at = found;
    }
}

} // namespace
