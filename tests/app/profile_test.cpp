#include "app_test_env.h"

#include "app/profile.h"
#include "platform/exception.h"
#include "platform/text_file.h"

#include <QDate>

namespace {

TEST(Spaces, SacaespAndPoneespTouchOnlySpacesAndPercentTwenty)
{
    struct {
        const char* plain;
        const char* stored;
    } cases[] = {{"John Smith", "John%20Smith"},
                 {"  two  ", "%20%20two%20%20"},
                 {"", ""},
                 {"a\tb+c", "a\tb+c"}};
    for (const auto& c : cases) {
        EXPECT_EQ(app::sacaesp(c.plain), c.stored);
        EXPECT_EQ(app::poneesp(c.stored), c.plain);
    }
    EXPECT_EQ(app::poneesp("100%2050%25"), "100 50%25");
    EXPECT_EQ(app::poneesp("%2"), "%2");
}

TEST(ProfileName, SaveNameIsLowerCaseWithIni)
{
    struct {
        const char* typed;
        const char* saved;
    } cases[] = {{"/p/MySite", "/p/mysite.ini"},
                 {"/p/Site.TXT", "/p/site.ini"},
                 {"/p/site.ini", "/p/site.ini"},
                 {"/p/Site.INI", "/p/site.ini"},
                 {"/p/my.site.txt", "/p/my.site.ini"},
                 {"/p/site.", "/p/site.ini"},
                 {"/Upper/Case/A.ini", "/Upper/Case/a.ini"}};
    for (const auto& c : cases)
        EXPECT_EQ(app::profileSavePath(c.typed), QString(c.saved)) << c.typed;
}

using ProfileFile = AppTest;

TEST_F(ProfileFile, DateUpdateRewritesOnlyLineThree)
{
    QString path = home() + "d.ini";
    platform::writeTextLines(path, {"e", "n", "old", "p1", "", "p2"});
    EXPECT_TRUE(app::updateProfileDate(path, "24.12.2026"));
    EXPECT_EQ(platform::readTextLines(path),
              (std::vector<std::string>{"e", "n", "24.12.2026", "p1", "", "p2"}));

    // A file cut short has no date line: it stays exactly as it was.
    platform::writeTextLines(path, {"e", "n"});
    EXPECT_FALSE(app::updateProfileDate(path, "24.12.2026"));
    EXPECT_EQ(platform::readTextLines(path), (std::vector<std::string>{"e", "n"}));

    EXPECT_THROW(app::updateProfileDate(home() + "absent.ini", "x"), EInOutError);
}

TEST_F(ProfileFile, DateTextFollowsTheConfiguredFormat)
{
    EXPECT_EQ(app::shortDateText(QDate(2026, 3, 7)), "07.03.2026");
    qputenv("QUORVANE_DATE_FORMAT", "yyyy-MM-dd");
    EXPECT_EQ(app::shortDateText(QDate(2026, 3, 7)), "2026-03-07");
}

} // namespace
