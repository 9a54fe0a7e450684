// Opening the log costs what the log shows, not what it holds: indexes that
// were closed cleanly with the table are opened as they are, and every other
// index (left by a crash, or behind a change made by another program) is
// rebuilt so that it matches the table.

#include "widgets_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

using tztest::TableTest;

class IndexCurrency : public TableTest {
protected:
    // The log as the program declares it, counting the index builds.
    TTzDbf& openCounting()
    {
        log.reset();
        TTzDbf& t = makeLog(ciAlways);
        t.setSkipCurrentIndexes(true);
        built.clear();
        t.OnBeforeMakeIndex = [this](TTzDbf*, const QString& name, bool&) {
            built.push_back(name.toStdString());
        };
        t.setActive(true);
        EXPECT_TRUE(t.Active());
        return t;
    }

    // The url of every record in url.ndx order.
    std::vector<std::string> urlOrder(TTzDbf& t)
    {
        std::vector<std::string> urls;
        EXPECT_TRUE(t.SetIndexTo("url.ndx"));
        for (t.GoTop(); !t.Eof(); t.Skip(1)) {
            std::string url = t.GetCField("url");
            url.erase(url.find_last_not_of(' ') + 1);
            urls.push_back(url);
        }
        return urls;
    }

    std::vector<std::string> built;
};

TEST_F(IndexCurrency, CleanlyClosedIndexesAreOpenedWithoutARebuild)
{
    TTzDbf& first = openCounting();
    EXPECT_EQ(built, (std::vector<std::string>{"url.ndx", "date.ndx"}));
    logadd("14.03.2026", true, "http://b.example/");
    logadd("14.03.2026", false, "http://a.example/");
    first.setActive(false);

    TTzDbf& second = openCounting();
    EXPECT_TRUE(built.empty());
    EXPECT_EQ(urlOrder(second),
              (std::vector<std::string>{"http://a.example/", "http://b.example/"}));
    // The indexes opened as they were are maintained as before.
    logadd("15.03.2026", true, "http://0.example/");
    EXPECT_EQ(urlOrder(second), (std::vector<std::string>{"http://0.example/", "http://a.example/",
                                                          "http://b.example/"}));
    second.setActive(false);

    // Without the setting the component rebuilds at every open, as before.
    log.reset();
    TTzDbf& plain = makeLog(ciAlways);
    int builds = 0;
    plain.OnBeforeMakeIndex = [&](TTzDbf*, const QString&, bool&) { ++builds; };
    plain.setActive(true);
    EXPECT_EQ(builds, 2);
}

TEST_F(IndexCurrency, IndexesLeftByACrashAreRebuilt)
{
    TTzDbf& first = openCounting();
    logadd("14.03.2026", true, "http://b.example/");
    first.setActive(false);

    // A process that appends and dies without closing anything.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TTzDbf& crashing = openCounting();
        logadd("14.03.2026", true, "http://a.example/");
        crashing.engine().FlushFile();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));

    TTzDbf& reopened = openCounting();
    EXPECT_EQ(built, (std::vector<std::string>{"url.ndx", "date.ndx"}));
    EXPECT_EQ(reopened.RecCount(), 2);
    EXPECT_EQ(urlOrder(reopened),
              (std::vector<std::string>{"http://a.example/", "http://b.example/"}));
}

TEST_F(IndexCurrency, IndexesBehindAnotherProgramsChangeAreRebuilt)
{
    TTzDbf& first = openCounting();
    logadd("14.03.2026", true, "http://b.example/");
    logadd("14.03.2026", true, "http://c.example/");
    first.setActive(false);

    // Perl XBase changes an address; url.ndx knows nothing of it.
    script("perl", "change.pl",
           "use XBase;\n"
           "my $t = XBase->new('" +
               path("logs.dbf") +
               "') or die XBase->errstr;\n"
               "$t->update_record_hash(1, 'URL' => 'http://a.example/') or die $t->errstr;\n"
               "$t->close;\n");

    TTzDbf& reopened = openCounting();
    EXPECT_EQ(built, (std::vector<std::string>{"url.ndx", "date.ndx"}));
    EXPECT_EQ(urlOrder(reopened),
              (std::vector<std::string>{"http://a.example/", "http://b.example/"}));
}

} // namespace
