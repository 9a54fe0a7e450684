#include "dbf_test_support.h"

#include "dbf/ndx_index.h"
#include "dbf/table_check.h"

#include <algorithm>
#include <functional>
#include <random>

using dbftest::EngineTest;

namespace {

class IndexTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        openLog();
    }

    // Record numbers in the order of the controlling index.
    std::vector<long> order()
    {
        std::vector<long> out;
        for (engine.GoTop(); !engine.Eof(); engine.Skip(1))
            out.push_back(engine.RecNo());
        return out;
    }

    std::vector<long> backwards()
    {
        std::vector<long> out;
        engine.GoBottom();
        while (!engine.Bof()) {
            out.push_back(engine.RecNo());
            engine.Skip(-1);
        }
        return out;
    }

    // Another user of the log in shared mode, ordered by url.ndx.
    bool openShared(dbf::DbfEngine& user)
    {
        user.setExceptions(true);
        user.setNetworkSharing(true);
        return user.Use(path("logs.dbf")) && user.SetIndexTo(path("url.ndx"));
    }

    std::string check()
    {
        return flushAndCheck(path("logs.dbf"), {path("url.ndx"), path("date.ndx")});
    }
};

TEST_F(IndexTest, LogIndexesHaveTheDocumentedGeometry)
{
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    ASSERT_TRUE(engine.MakeIndex("date", path("date")));
    const auto url = dbf::NdxIndex::readHeader(path("url.ndx"));
    EXPECT_EQ(url.keyLength, 50);
    EXPECT_EQ(url.groupLength, 60);
    EXPECT_EQ(url.keysPerNode, 8);
    EXPECT_EQ(url.keyType, 0);
    EXPECT_EQ(url.keyTypeLetter, 'C');
    EXPECT_EQ(url.root, 1u);
    EXPECT_EQ(url.nextFree, 2u);
    EXPECT_EQ(url.expression, "left(url,50)");
    const auto date = dbf::NdxIndex::readHeader(path("date.ndx"));
    EXPECT_EQ(date.keyLength, 10);
    EXPECT_EQ(date.groupLength, 20);
    EXPECT_EQ(date.keysPerNode, 25);
    EXPECT_EQ(readFile(path("url.ndx")).size(), 1024u);
}

TEST_F(IndexTest, HeaderRecordsTheTableForVerification)
{
    for (int i = 0; i < 3; ++i)
        appendLog("01/01/2026", true, "u");
    ASSERT_TRUE(engine.MakeIndex("date", path("date.ndx")));
    const std::string bytes = readFile(path("date.ndx"));
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
               uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
    };
    EXPECT_EQ(u32(492), 3u);
    EXPECT_EQ(u32(488), ~3u);
    EXPECT_EQ(bytes.substr(496, 9), std::string("LOGS.DBF\0", 9));
    dbf::IndexInfoResult info;
    ASSERT_TRUE(engine.IndexInfo(path("date.ndx"), info));
    EXPECT_EQ(info.recordCount, 3);
    EXPECT_EQ(info.tableName, "LOGS.DBF");
    std::string damaged = bytes;
    damaged[488] ^= 1;
    writeFile(path("date.ndx"), damaged);
    ASSERT_TRUE(engine.IndexInfo(path("date.ndx"), info));
    EXPECT_EQ(info.recordCount, -1);
}

TEST_F(IndexTest, EqualKeysFollowRecordOrderAfterBuildAndNewOnesGoFirst)
{
    for (int i = 0; i < 40; ++i)
        appendLog(i % 2 ? "02/02/2026" : "01/01/2026", true, "same");
    ASSERT_TRUE(engine.IndexOn("date", path("date.ndx")));
    std::vector<long> expected;
    for (long r = 1; r <= 40; r += 2)
        expected.push_back(r);
    for (long r = 2; r <= 40; r += 2)
        expected.push_back(r);
    EXPECT_EQ(order(), expected);
    appendLog("01/01/2026", true, "late");
    EXPECT_EQ(order().front(), 41);
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {path("date.ndx")}), "");
}

// Go and then Skip must continue from the record's own entry among
// thousands of equal keys, whether the keys stand as a build left them or
// were inserted (in front of their equals) or moved by Replace afterwards.
TEST_F(IndexTest, SkipAfterGoContinuesFromTheRecordAmongEqualKeys)
{
    const char* days[] = {"01/01/2026", "01/02/2026", "01/03/2026"};
    for (int i = 0; i < 1500; ++i)
        appendLog(days[i % 7 == 0 ? 0 : i % 7 < 5 ? 1 : 2], true, "u");
    ASSERT_TRUE(engine.IndexOn("date", path("date.ndx")));
    auto expectNeighbours = [&](const char* stage) {
        const std::vector<long> walk = order();
        ASSERT_EQ(walk.size(), size_t(engine.RecCount())) << stage;
        for (size_t i = 0; i < walk.size(); i += (i % 50 == 0 ? 1 : 7)) {
            ASSERT_TRUE(engine.Go(walk[i]));
            ASSERT_TRUE(engine.Skip(1));
            if (i + 1 < walk.size())
                ASSERT_EQ(engine.RecNo(), walk[i + 1]) << stage << " after " << walk[i];
            else
                ASSERT_TRUE(engine.Eof()) << stage;
            ASSERT_TRUE(engine.Go(walk[i]));
            engine.Skip(-1);
            if (i > 0)
                ASSERT_EQ(engine.RecNo(), walk[i - 1]) << stage << " before " << walk[i];
            else
                ASSERT_TRUE(engine.Bof()) << stage;
        }
    };
    expectNeighbours("built");
    for (int i = 0; i < 120; ++i)
        appendLog(days[1], true, "late");
    for (long r : {3L, 700L, 1499L}) {
        ASSERT_TRUE(engine.Go(r));
        engine.SetFieldText(1, days[1]);
        ASSERT_TRUE(engine.Replace());
    }
    expectNeighbours("changed");
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {path("date.ndx")}), "");
}

TEST_F(IndexTest, InsertionsSplitNodesAndKeepTheTreeValid)
{
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    ASSERT_TRUE(engine.MakeIndex("date", path("date.ndx")));
    ASSERT_TRUE(engine.SetIndexTo(path("url.ndx") + " " + path("date.ndx")));
    std::mt19937 random(7);
    std::vector<std::pair<std::string, long>> expected;
    for (long r = 1; r <= 600; ++r) {
        const std::string url = "http://site" + std::to_string(random() % 997) + ".example/";
        appendLog("0" + std::to_string(1 + random() % 9) + "/01/2026", r % 3 == 0, url);
        expected.emplace_back(url, r);
    }
    EXPECT_EQ(check(), "");
    EXPECT_GT(dbf::NdxIndex::readHeader(path("url.ndx")).nextFree, 80u);
    // Equal urls: the later record comes first.
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second > b.second;
    });
    std::vector<long> wanted;
    for (const auto& e : expected)
        wanted.push_back(e.second);
    EXPECT_EQ(order(), wanted);
    std::reverse(wanted.begin(), wanted.end());
    EXPECT_EQ(backwards(), wanted);
}

TEST_F(IndexTest, BuildSpillsToDiskAndGivesTheSameTree)
{
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i)
        appendLog("01/01/2026", true, "k" + std::to_string(random() % 5000));
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    engine.setSortMemory(4096); // forces many spilled runs
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("spilled.ndx")));
    EXPECT_EQ(readFile(path("url.ndx")), readFile(path("spilled.ndx")));
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {path("spilled.ndx")}), "");
}

TEST_F(IndexTest, ReplaceMovesTheKeyAndFindLocatesIt)
{
    appendLog("01/01/2026", true, "charlie");
    appendLog("01/01/2026", true, "alpha");
    appendLog("01/01/2026", true, "bravo");
    ASSERT_TRUE(engine.IndexOn("upper(left(url,10))", path("url.ndx")));
    EXPECT_EQ(order(), (std::vector<long>{2, 3, 1}));
    EXPECT_TRUE(engine.Find("BRAVO"));
    EXPECT_EQ(engine.RecNo(), 3);
    engine.SetFieldText(4, "zulu");
    ASSERT_TRUE(engine.Replace());
    EXPECT_EQ(order(), (std::vector<long>{2, 1, 3}));
    EXPECT_FALSE(engine.Find("MISSING"));
    EXPECT_TRUE(engine.Eof());
    EXPECT_TRUE(engine.Find("CH"));
    EXPECT_EQ(engine.RecNo(), 1);
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {path("url.ndx")}), "");
    ASSERT_TRUE(engine.SetIndexTo(""));
    EXPECT_EQ(order(), (std::vector<long>{1, 2, 3}));
    EXPECT_EQ(codeOf([&] { engine.Find("A"); }), 220);
    EXPECT_EQ(engine.ErrorMessage(), "Cannot use Find() with index order 0 (natural order) [Find]");
}

TEST_F(IndexTest, PackZapAndReindexKeepIndexesInStep)
{
    for (int i = 0; i < 50; ++i)
        appendLog("01/0" + std::to_string(1 + i % 9) + "/2026", true, "u" + std::to_string(i),
                  {"memo"});
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    ASSERT_TRUE(engine.MakeIndex("date", path("date.ndx")));
    ASSERT_TRUE(engine.SetIndexTo(path("url.ndx") + " " + path("date.ndx")));
    for (long r = 1; r <= 50; r += 3) {
        engine.Go(r);
        engine.DeleteRec();
    }
    ASSERT_TRUE(engine.Pack());
    EXPECT_EQ(engine.RecCount(), 33);
    EXPECT_EQ(check(), "");
    ASSERT_TRUE(engine.Reindex());
    EXPECT_EQ(check(), "");
    ASSERT_TRUE(engine.Set_Order_To(2));
    EXPECT_EQ(order().size(), 33u);
    EXPECT_EQ(codeOf([&] { engine.Set_Order_To(3); }), 220);
    ASSERT_TRUE(engine.Zap());
    EXPECT_EQ(readFile(path("url.ndx")).size(), 1024u);
    appendLog("01/01/2026", true, "after zap");
    EXPECT_EQ(check(), "");
    EXPECT_EQ(order(), std::vector<long>{1});
}

TEST_F(IndexTest, UniqueIndexKeepsTheFirstRecordOfEachKey)
{
    for (const char* url : {"b", "a", "b", "c", "a"})
        appendLog("01/01/2026", true, url);
    ASSERT_TRUE(engine.IndexOn("left(url,5)", path("u.ndx") + " UNIQUE"));
    EXPECT_EQ(order(), (std::vector<long>{2, 1, 4}));
    appendLog("01/01/2026", true, "a");
    appendLog("01/01/2026", true, "d");
    EXPECT_EQ(order(), (std::vector<long>{2, 1, 4, 7}));
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {path("u.ndx")}), "");
}

TEST_F(IndexTest, ExpressionsAndKeysOutsideTheLimitsAreRefused)
{
    appendLog("01/01/2026", true, "u");
    struct Case {
        std::string expression;
        int code;
    };
    const Case cases[] = {
        {"left(url,10)+'" + std::string(85, 'x') + "'", 0},   // 100 characters are allowed
        {"left(url,10)+'" + std::string(86, 'x') + "'", 300}, // 101 are not
        {"left(url,101)", 266},
        {"left(url,100)", 0},
        {"success", 220},
        {"", 254},
        {"nosuchfield", 220},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(codeOf([&] { engine.MakeIndex(c.expression, path("x.ndx")); }), c.code);
    }
    EXPECT_EQ(codeOf([&] { engine.MakeIndex("date", ""); }), 220);
    EXPECT_EQ(engine.ErrorMessage(), "index filename not specified [MakeIndex()]");
    EXPECT_EQ(codeOf([&] { engine.SetIndexTo(path("missing.ndx")); }), 2);
    EXPECT_EQ(codeOf([&] { engine.SetIndexToLFN(path("x.ndx"), 17); }), 220);
}

TEST_F(IndexTest, AFailedReplacementOfTheControllingIndexFallsBackToRecordOrder)
{
    appendLog("20261208", true, "http://b.example.org/");
    appendLog("20261208", true, "http://a.example.org/");
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("a.ndx")));
    ASSERT_TRUE(engine.SetIndexToLFN(path("a.ndx"), 1));
    EXPECT_EQ(codeOf([&] { engine.SetIndexToLFN(path("missing.ndx"), 1); }), 2);
    EXPECT_EQ(order(), (std::vector<long>{1, 2}));
}

TEST_F(IndexTest, TwoUsersOfASharedTableKeepOneValidIndex)
{
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    engine.CloseDbf();
    dbf::DbfEngine first, second;
    for (dbf::DbfEngine* user : {&first, &second})
        ASSERT_TRUE(openShared(*user));
    for (int i = 0; i < 120; ++i) {
        dbf::DbfEngine& user = i % 2 ? second : first;
        ASSERT_TRUE(user.ALock());
        user.ClearRecord();
        user.SetFieldText(4, "http://u" + std::to_string((i * 37) % 101) + "/");
        ASSERT_TRUE(user.Append());
        ASSERT_TRUE(user.Unlock());
    }
    first.CloseDbf();
    second.CloseDbf();
    EXPECT_FALSE(std::filesystem::exists(path("logs.@S@")) &&
                 readFile(path("logs.@S@")).size() > 1);
    EXPECT_EQ(dbf::checkTable(path("logs.dbf"), {path("url.ndx")}), "");
}

// Indexes built by a key-maker function: the options shape their keys (and
// only theirs), appends keep them in order, Find applies the same shaping,
// and opening one without the function is refused with 223.
TEST_F(IndexTest, KeyMakerIndexesHonourSoundexAndDescending)
{
    const char* names[] = {"Robert", "Rupert", "Ashcraft", "Tymczak", "Pfister", "Rubin"};
    for (const char* name : names)
        appendLog("01/01/2026", true, name);
    EXPECT_EQ(codeOf([&] { engine.MakeIndex("", path("k.ndx")); }), 254);
    EXPECT_EQ(engine.ErrorMessage(), "Neither Expression nor KeyMaker defined");

    engine.setKeyMaker([](const dbf::KeyRecord& record) {
        dbf::ExprValue value;
        value.text = record.field("url").substr(0, 12);
        return value;
    });
    struct Case {
        const char* options;
        std::vector<long> order;
        const char* find;
        long found;
    };
    const Case cases[] = {
        {"", {3, 5, 1, 6, 2, 4}, "Rup", 2},
        {" DESCENDING", {4, 2, 6, 1, 5, 3}, "Rob", 1},
        // A130 P236 R163 R163 R150 T522, equal codes in record order.
        {" SOUNDEX", {3, 5, 6, 1, 2, 4}, "Robbert", 1},
        {" SOUNDEX DESCENDING", {4, 1, 2, 6, 5, 3}, "Ashcroft", 3},
    };
    for (const Case& c : cases) {
        const std::string file = path("k.ndx") + c.options;
        ASSERT_TRUE(engine.IndexOn("", file)) << c.options;
        EXPECT_EQ(order(), c.order) << c.options;
        EXPECT_TRUE(engine.Find(c.find)) << c.options;
        EXPECT_EQ(engine.RecNo(), c.found) << c.options;
        EXPECT_EQ(dbf::NdxIndex::readHeader(path("k.ndx")).expression, "");
    }
    // Appends go through the same function and options.
    appendLog("01/01/2026", true, "Rubin");
    appendLog("01/01/2026", true, "Aaron");
    // T522 R163 R163 R150 R150 P236 A650 A261; the new Rubin before its equal.
    EXPECT_EQ(order(), (std::vector<long>{4, 1, 2, 7, 6, 5, 8, 3}));
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {path("k.ndx")}), "");

    // Options given with an expression index change nothing.
    ASSERT_TRUE(engine.IndexOn("left(url,12)", path("e.ndx") + " SOUNDEX DESCENDING"));
    EXPECT_EQ(order(), (std::vector<long>{8, 3, 5, 1, 6, 7, 2, 4}));

    engine.CloseDbf();
    engine.setKeyMaker(nullptr);
    ASSERT_TRUE(engine.Use(path("logs.dbf")));
    EXPECT_EQ(codeOf([&] { engine.SetIndexTo(path("k.ndx")); }), 223);
    EXPECT_EQ(engine.ErrorMessage(),
              "Index file " + path("k.ndx") + " was created using KeyMaker function.");
}

TEST_F(IndexTest, NumericKeyMakerRunsDownWithDescending)
{
    for (int day : {5, 1, 9, 3})
        appendLog("01/0" + std::to_string(day) + "/2026", true, "u");
    engine.setKeyMaker([](const dbf::KeyRecord& record) {
        dbf::ExprValue value;
        value.type = 'N';
        value.number = std::stod(record.field("date").substr(3, 2)) * 10 + double(record.recno());
        return value;
    });
    ASSERT_TRUE(engine.IndexOn("", path("n.ndx") + " DESCENDING"));
    EXPECT_EQ(order(), (std::vector<long>{3, 1, 4, 2}));
    EXPECT_TRUE(engine.Find("34"));
    EXPECT_EQ(engine.RecNo(), 4);
    appendLog("01/07/2026", true, "u");
    EXPECT_EQ(order(), (std::vector<long>{3, 5, 1, 4, 2}));
}

// A rebuild that fails leaves the controlling slot empty: moving in index
// order then reports the missing index instead of following it.
TEST_F(IndexTest, MovingWithoutTheControllingIndexReportsIt)
{
    EXPECT_EQ(codeOf([&] { engine.Reindex(); }), 221);
    EXPECT_EQ(engine.ErrorMessage(), "No open indexes with LOGS [Reindex]");
    for (int i = 0; i < 3; ++i)
        appendLog("01/01/2026", true, "u" + std::to_string(i));
    engine.setKeyMaker([](const dbf::KeyRecord& record) {
        dbf::ExprValue value;
        value.text = record.field("url").substr(0, 10);
        return value;
    });
    ASSERT_TRUE(engine.IndexOn("", path("k.ndx")));
    engine.setKeyMaker(nullptr);
    EXPECT_EQ(codeOf([&] { engine.Reindex(); }), 254);
    struct Case {
        std::function<void()> call;
        const char* message;
    };
    const Case cases[] = {
        {[&] { engine.GoTop(); }, "Index not open. [_FindFirstRec]"},
        {[&] { engine.GoBottom(); }, "Index not open. [_FindLastRec]"},
        {[&] { engine.Skip(1); }, "Index not open. [_FindNextRec]"},
        {[&] { engine.Skip(-1); }, "Index not open. [_FindPriorRec]"},
        {[&] { engine.Find("u1"); }, "No primary index active. (DBF=LOGS)"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(engine.Go(2));
        EXPECT_EQ(codeOf(c.call), 221) << c.message;
        EXPECT_EQ(engine.ErrorMessage(), c.message);
    }
    ASSERT_TRUE(engine.Set_Order_To(0));
    EXPECT_TRUE(engine.GoTop());
}

// A reader walking a shared index while another user appends (splitting the
// nodes under its cursor and moving the root) continues from its own record
// in the index as it now stands: no entry repeated, none after it missed.
TEST_F(IndexTest, SharedWalkFollowsChangesOfAnotherUser)
{
    for (int i = 0; i < 60; ++i)
        appendLog("01/01/2026", true, "http://u" + std::to_string(100 + i * 5) + "/");
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    engine.CloseDbf();
    dbf::DbfEngine reader, writer;
    for (dbf::DbfEngine* user : {&reader, &writer})
        ASSERT_TRUE(openShared(*user));
    auto urlOf = [](dbf::DbfEngine& user) { return user.FieldText(4); };
    for (int step = 0; step < 2; ++step) {
        std::vector<std::string> seen;
        if (step == 0) {
            ASSERT_TRUE(reader.GoTop());
        } else {
            ASSERT_TRUE(reader.GoBottom());
        }
        for (int i = 0; i < 20; ++i) {
            seen.push_back(urlOf(reader));
            ASSERT_TRUE(reader.Skip(step == 0 ? 1 : -1));
        }
        const std::string here = urlOf(reader);
        const long hereRecno = reader.RecNo();
        // Another user adds keys all over the order, splitting every node.
        for (int i = 0; i < 400; ++i) {
            ASSERT_TRUE(writer.ALock());
            writer.ClearRecord();
            writer.SetFieldText(4, "http://u" + std::to_string(100 + (i * 37) % 300) + "x/");
            ASSERT_TRUE(writer.Append());
            ASSERT_TRUE(writer.Unlock());
        }
        // The rest of the walk, and what a fresh walk says it must be.
        std::vector<std::string> rest;
        while (step == 0 ? !reader.Eof() : !reader.Bof()) {
            rest.push_back(urlOf(reader));
            reader.Skip(step == 0 ? 1 : -1);
        }
        std::vector<std::pair<std::string, long>> all;
        dbf::DbfEngine fresh;
        ASSERT_TRUE(openShared(fresh));
        for (fresh.GoTop(); !fresh.Eof(); fresh.Skip(1))
            all.emplace_back(fresh.FieldText(4), fresh.RecNo());
        fresh.CloseDbf();
        if (step == 1)
            std::reverse(all.begin(), all.end());
        const auto at = std::find(all.begin(), all.end(), std::make_pair(here, hereRecno));
        ASSERT_NE(at, all.end());
        std::vector<std::string> expected;
        for (auto it = at; it != all.end(); ++it)
            expected.push_back(it->first);
        EXPECT_EQ(rest, expected) << "step " << step;
    }
    reader.CloseDbf();
    writer.CloseDbf();
    EXPECT_EQ(dbf::checkTable(path("logs.dbf"), {path("url.ndx")}), "");
}

TEST_F(IndexTest, NumericAndDateKeysOrderByValue)
{
    engine.CloseDbf();
    ASSERT_TRUE(engine.CreateDBF(path("n.dbf"), {{"amount", 'N', 8, 2}, {"day", 'D', 8, 0}}));
    ASSERT_TRUE(engine.Use(path("n.dbf")));
    engine.setCentury(true);
    const double amounts[] = {10.5, -3, 200, 0.25};
    const char* days[] = {"03/01/2024", "12/31/1999", "01/01/2000", "  /  /    "};
    for (int i = 0; i < 4; ++i) {
        engine.ClearRecord();
        engine.SetFieldNumber(1, amounts[i]);
        engine.SetFieldText(2, days[i]);
        engine.Append();
    }
    ASSERT_TRUE(engine.IndexOn("amount", path("a.ndx")));
    EXPECT_EQ(order(), (std::vector<long>{2, 4, 1, 3}));
    ASSERT_TRUE(engine.IndexOn("day", path("d.ndx")));
    EXPECT_EQ(order(), (std::vector<long>{4, 2, 3, 1}));
    EXPECT_TRUE(engine.Find("20000101"));
    EXPECT_EQ(engine.RecNo(), 3);
    EXPECT_EQ(dbf::NdxIndex::readHeader(path("d.ndx")).keyTypeLetter, 'D');
    EXPECT_EQ(flushAndCheck(path("n.dbf"), {path("a.ndx"), path("d.ndx")}), "");
}

} // namespace

// An index update of a shared table that fails part way must still give the
// semaphore back; otherwise every other user's next move in the index waits
// for it and fails.
TEST_F(IndexTest, AFailedSharedIndexUpdateGivesTheSemaphoreBack)
{
    for (int i = 0; i < 3; ++i)
        appendLog("01/01/2026", true, "http://site" + std::to_string(i) + ".example/");
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    engine.CloseDbf();
    dbf::DbfEngine writer, reader;
    ASSERT_TRUE(openShared(writer));
    ASSERT_TRUE(openShared(reader));
    writer.setExceptions(false);
    writer.setErrorCheck(false);
    reader.setExceptions(false);
    reader.setErrorCheck(false);
    bool failedInside = false;
    for (long nth = 1; nth <= 4; ++nth) {
        ASSERT_TRUE(writer.ALock());
        writer.ClearRecord();
        writer.SetFieldText(4, "http://new" + std::to_string(nth) + ".example/");
        dbf::fault::set(dbf::fault::Kind::Write, nth, dbf::fault::Action::NoSpace);
        failedInside = !writer.Append() || failedInside;
        dbf::fault::clear();
        writer.Unlock();
        // Whatever the failed append left in the files, the index can be
        // walked again at once.
        reader.GoTop();
        EXPECT_NE(reader.ErrorCode(), dbf::kSemaphoreError) << nth << ": " << reader.ErrorMessage();
    }
    EXPECT_TRUE(failedInside);
}
