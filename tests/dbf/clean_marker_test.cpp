// The clean marker tells a program that the indexes of a table still match it,
// so that they need no rebuild at open; it must never vouch for an index that
// missed a change.
#include "dbf_test_support.h"

#include "dbf/clean_marker.h"

#include <functional>

using dbftest::EngineTest;

namespace {

class CleanMarkerTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        openLog();
        for (int i = 0; i < 30; ++i)
            appendLog("03/14/2026", i % 2 == 0, "http://site/" + std::to_string(i), {"answer"});
        ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
        ASSERT_TRUE(engine.MakeIndex("date", path("date.ndx")));
        ASSERT_TRUE(engine.SetIndexTo(path("url.ndx") + " " + path("date.ndx")));
        ASSERT_TRUE(engine.CloseDbf());
    }

    bool current() { return engine.IndexesCurrent(path("logs"), {path("url"), path("date")}); }

    void reopen(bool withIndexes = true)
    {
        ASSERT_TRUE(engine.Use(path("logs.dbf") + " EXCLUSIVE"));
        if (withIndexes) {
            ASSERT_TRUE(engine.SetIndexTo(path("url.ndx") + " " + path("date.ndx")));
        }
    }
};

TEST_F(CleanMarkerTest, CleanCloseVouchesForTheOpenIndexes)
{
    EXPECT_TRUE(current());
    EXPECT_TRUE(engine.IndexesCurrent(path("logs.dbf"), {path("url.ndx")}));
    EXPECT_FALSE(engine.IndexesCurrent(path("logs.dbf"), {path("other.ndx")}));
    // Reading the table changes nothing.
    reopen();
    engine.GoTop();
    engine.Skip(5);
    EXPECT_TRUE(current());
    engine.CloseDbf();
    EXPECT_TRUE(current());
}

TEST_F(CleanMarkerTest, EveryChangeRemovesTheMarkerBeforeItReachesTheFiles)
{
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"append", [&] { appendLog("03/15/2026", true, "http://new/"); }},
        {"replace",
         [&] {
             engine.Go(3);
             engine.SetFieldText(4, "x");
             engine.Replace();
         }},
        {"delete",
         [&] {
             engine.Go(2);
             engine.DeleteRec();
         }},
        {"zap", [&] { engine.Zap(); }},
        {"index", [&] { engine.MakeIndex("left(url,20)", path("other.ndx")); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        reopen();
        ASSERT_TRUE(current());
        change();
        // The marker is gone while the table is still open, as a crash would leave it.
        EXPECT_FALSE(dbf::fileExists(dbf::CleanMarker::pathFor(path("logs.dbf"))));
        EXPECT_FALSE(current());
        engine.CloseDbf();
        // Indexes open through the change followed it: the close vouches again.
        EXPECT_TRUE(current());
    }
}

TEST_F(CleanMarkerTest, AnIndexThatMissedAChangeIsNotCurrent)
{
    reopen(false);
    appendLog("03/15/2026", true, "http://unindexed/");
    // Opened after the append, the indexes do not hold the new record.
    ASSERT_TRUE(engine.SetIndexTo(path("url.ndx") + " " + path("date.ndx")));
    engine.CloseDbf();
    EXPECT_FALSE(current());
    EXPECT_FALSE(dbf::fileExists(dbf::CleanMarker::pathFor(path("logs.dbf"))));
    // A rebuild makes them current again.
    reopen();
    ASSERT_TRUE(engine.Reindex());
    engine.CloseDbf();
    EXPECT_TRUE(current());
}

TEST_F(CleanMarkerTest, ChangesByOthersOrDamageDefeatTheMarker)
{
    const std::string marker = dbf::CleanMarker::pathFor(path("logs.dbf"));
    const std::string good = readFile(marker);
    const std::vector<std::pair<const char*, std::function<void()>>> damages = {
        {"table rewritten", [&] { writeFile(path("logs.dbf"), readFile(path("logs.dbf"))); }},
        {"index rewritten", [&] { writeFile(path("url.ndx"), readFile(path("url.ndx"))); }},
        {"marker cut short", [&] { writeFile(marker, good.substr(0, good.size() - 4)); }},
        {"marker emptied", [&] { writeFile(marker, ""); }},
        {"marker removed", [&] { std::remove(marker.c_str()); }},
    };
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        reopen();
        engine.CloseDbf(); // unchanged: the marker stays as it was
        ASSERT_TRUE(current());
        damage();
        EXPECT_FALSE(current());
        // A session with a rebuild puts things right for the next case.
        reopen();
        ASSERT_TRUE(engine.Reindex());
        engine.CloseDbf();
    }
}

TEST_F(CleanMarkerTest, AFailedChangeLeavesNoMarker)
{
    reopen();
    engine.setErrorCheck(false);
    engine.Go(40); // fails: no such record
    engine.SetFieldText(4, "x");
    engine.Replace(); // at EOF: refused before anything changed
    engine.setErrorCheck(true);
    engine.CloseDbf();
    EXPECT_TRUE(current());
}

} // namespace
