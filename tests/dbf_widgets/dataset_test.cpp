// The table component with the log's declaration: creation, indexes, typed
// access, notifications and the files left for other dBASE readers.
#include "widgets_test_support.h"

#include "dbf/dataset/tz_data_link.h"
#include "dbf/dataset/tz_messages.h"
#include "dbf/dataset/tz_session.h"

#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using tztest::TableTest;

namespace {

bool exists(const std::string& file)
{
    return std::filesystem::exists(file);
}

// Counts what a table tells the outside world.
struct Counter {
    int dataChanges = 0;  // OnDataChange with a nil field
    int fieldChanges = 0; // OnDataChange with a field
    int linkDataSet = 0;  // link: dataset changed
    int linkRecord = 0;   // link: record changed
    int linkActive = 0;   // link: opened or closed
    TTzDataLink link;

    explicit Counter(TTzDbf& table)
    {
        table.OnDataChange = [this](TTzDataSource*, TTzField* field) {
            (field ? fieldChanges : dataChanges)++;
        };
        link.OnDataSetChanged = [this] { ++linkDataSet; };
        link.OnRecordChanged = [this](TTzField*) { ++linkRecord; };
        link.OnActiveChanged = [this] { ++linkActive; };
        link.setDataSource(&table);
        linkActive = 0;
    }
};

} // namespace

TEST_F(TableTest, ActivatingTheLogCreatesTableMemoAndBothIndexes)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    ASSERT_TRUE(t.Active()) << (errors.empty() ? "" : errors.front().text);
    for (const char* file : {"logs.dbf", "logs.dbt", "url.ndx", "date.ndx"})
        EXPECT_TRUE(exists(path(file))) << file;
    EXPECT_EQ(t.RecCount(), 0);
    EXPECT_TRUE(t.Bof());
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.DataSet()->IsEmpty());
    EXPECT_EQ(t.DataSet()->State(), dsBrowse);
    EXPECT_EQ(engine.Alias(), "log");
    ASSERT_EQ(t.DataSet()->FieldCount(), 4);
    EXPECT_EQ(t.DataSet()->Fields()[3]->FieldName(), "url");
    EXPECT_EQ(t.DataSet()->Fields()[3]->Size(), 254);
    EXPECT_EQ(t.DataSet()->FindField("SUCCESS")->FieldType(), 'L');
    EXPECT_TRUE(errors.empty());
    t.setActive(false);
    EXPECT_EQ(t.DataSet()->State(), dsInactive);
    EXPECT_EQ(t.DataSet()->FieldCount(), 0);
    EXPECT_EQ(t.WorkArea(), 0);
}

TEST_F(TableTest, LogRecordsAreReadByDbfreadAndTheIndexesByPerlXBase)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    logadd("03/14/2026", true, "http://b.example/add?u=1", {"<html>", "ok</html>"});
    logadd("03/12/2026", false, std::string(300, 'z'));
    logadd("03/13/2026", true, "http://a.example/", {""});
    t.Go(2);
    EXPECT_EQ(t.GetCField("url"), std::string(254, 'z'));
    t.setActive(false);

    const std::string records = script(tztest::kPython, "read.py",
                                       "import dbfread\n"
                                       "t = dbfread.DBF('" +
                                           path("logs.dbf") +
                                           "', encoding='cp1252')\n"
                                           "for r in t:\n"
                                           "    print(r['DATE'], r['SUCCESS'], len(r['URL']), "
                                           "r['URL'][:24], repr(r['MESSAGE']))\n");
    EXPECT_EQ(records, "03/14/2026 True 24 http://b.example/add?u=1 '<html>\\r\\nok</html>'\n"
                       "03/12/2026 False 254 zzzzzzzzzzzzzzzzzzzzzzzz None\n"
                       "03/13/2026 True 17 http://a.example/ None\n");

    for (const auto& [file, order] : {std::pair{"url.ndx", "3 1 2 "}, {"date.ndx", "2 3 1 "}}) {
        const std::string walk = script("perl", "walk.pl",
                                        "use XBase::Index;\n"
                                        "my $i = XBase::Index->new('" +
                                            path(file) +
                                            "') or die XBase::Index->errstr;\n"
                                            "$i->prepare_select;\n"
                                            "while (my @d = $i->fetch) { print \"$d[1] \"; }\n");
        EXPECT_EQ(walk, order) << file;
    }
}

TEST_F(TableTest, MovesAndBulkChangesResynchronizeButSettersOnlyRepaint)
{
    TTzDbf& t = makeLog();
    Counter count(t);
    t.setActive(true);
    EXPECT_EQ(count.linkActive, 1);
    EXPECT_EQ(count.dataChanges, 1); // the open itself

    struct Step {
        const char* name;
        std::function<void()> action;
        int dataChanges; // OnDataChange with nil field
        int records;     // record-changed notifications of the links
    };
    const std::vector<Step> steps = {
        {"ClearRecord", [&] { t.ClearRecord(); }, 0, 1},
        {"SetCField", [&] { t.SetCField("url", "http://x/"); }, 0, 1},
        {"SetLField", [&] { t.SetLField("success", true); }, 0, 1},
        {"SetMField", [&] { t.SetMField("message", {"m"}); }, 0, 1},
        {"Append", [&] { t.Append(); }, 1, 0},
        {"GoTop", [&] { t.GoTop(); }, 1, 0},
        {"Go", [&] { t.Go(1); }, 1, 0},
        {"SetIndexTo", [&] { t.SetIndexTo("date.ndx"); }, 1, 0},
        {"GetMField",
         [&] {
             std::vector<std::string> l;
             t.GetMField("message", l);
         },
         0, 0},
        {"Pack", [&] { t.Pack(); }, 1, 0},
        {"Zap", [&] { t.Zap(); }, 1, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const int data = count.dataChanges, records = count.linkRecord, sets = count.linkDataSet;
        step.action();
        EXPECT_EQ(count.dataChanges - data, step.dataChanges);
        EXPECT_EQ(count.linkDataSet - sets, step.dataChanges);
        EXPECT_EQ(count.linkRecord - records, step.records);
    }
    EXPECT_EQ(count.fieldChanges, 0);
    EXPECT_TRUE(errors.empty());

    // While controls are disabled the notifications wait for one at the end.
    logadd("03/14/2026", true, "a");
    const int before = count.dataChanges;
    t.DataSet()->DisableControls();
    t.GoTop();
    t.Go(1);
    EXPECT_EQ(count.dataChanges, before);
    t.DataSet()->EnableControls();
    EXPECT_EQ(count.dataChanges, before + 1);

    t.setActive(false);
    EXPECT_EQ(count.linkActive, 2);
}

TEST_F(TableTest, OnDataChangeReadsTheMemoOfTheNewRecord)
{
    TTzDbf& t = makeLog();
    std::vector<std::vector<std::string>> shown;
    t.OnDataChange = [&](TTzDataSource*, TTzField*) {
        std::vector<std::string> lines;
        t.GetMField("MESSAGE", lines);
        shown.push_back(lines);
    };
    t.setActive(true);
    logadd("03/14/2026", true, "http://a/", {"first", "answer"});
    logadd("03/14/2026", false, "http://b/");
    t.Go(1);
    const std::vector<std::vector<std::string>> expected = {
        {}, {"first", "answer"}, {}, {"first", "answer"}};
    EXPECT_EQ(shown, expected);
}

TEST_F(TableTest, TypedAccessorsCheckFieldNameAndType)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    struct Case {
        std::function<void()> call;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[&] { t.SetCField("nourl", "x"); }, "Field 'nourl' not in 'log' [SetCField]"},
        {[&] { t.SetLField("url", true); },
         "'SetLField()' expects field 'url' to be of type:\r\n'logical'.'url' actually is: "
         "'Character'"},
        {[&] { t.SetCField("success", "T"); },
         "'SetCField()' expects field 'success' to be of type:\r\n'character'.'success' "
         "actually is: 'Logical'"},
        {[&] { t.SetMField("date", {}); },
         "'SetMField()' expects field 'date' to be of type:\r\n'memo'.'date' actually is: "
         "'Character'"},
        {[&] {
             std::vector<std::string> l{"kept?"};
             t.GetMField("url", l);
             EXPECT_TRUE(l.empty());
         },
         "'GetMField()' expects field 'url' to be of type:\r\n'memo'.'url' actually is: "
         "'Character'"},
    };
    for (const Case& c : cases) {
        errors.clear();
        c.call();
        ASSERT_EQ(errors.size(), 1u) << c.message;
        EXPECT_EQ(errors[0].code, 220);
        EXPECT_EQ(errors[0].text, "Error # 220 (Invalid parameter)\r\n" + c.message);
    }
}

TEST_F(TableTest, NumericFieldsAreNamedWithWidthAndDecimals)
{
    auto t = std::make_unique<TTzDbf>(nullptr, engine);
    t->setName("prices");
    t->setDbfFileName(QString::fromStdString(path("prices")));
    t->setDbfFields({"price, N, 10, 2"});
    t->setActive(true);
    ASSERT_TRUE(exists(path("prices.dbf")));
    t->SetCField("price", "1");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].text.find("actually is: 'Numeric, width: 10 decimals: 2'"),
              std::string::npos)
        << errors[0].text;
}

TEST_F(TableTest, AClosedTableIsReportedWithTheOperationAndRaised)
{
    TTzDbf& t = makeLog();
    EXPECT_THROW(t.SetCField("url", "x"), dbf::EDbfError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 1103);
    EXPECT_EQ(errors[0].text,
              "Error # 1103 (Invalid Operation )\r\nDatabase is not open [SetCField]");
}

TEST_F(TableTest, LayerErrorsTakeTheEnginesWayToItsOneHaltReporter)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    engine.OnError = nullptr;
    std::vector<Error> halted;
    TTzODbf::setHaltReporter(
        [&](int code, const std::string& text) {
            halted.push_back({code, text});
        },
        engine);
    t.SetCField("nourl", "x");
    ASSERT_EQ(halted.size(), 1u);
    EXPECT_EQ(halted[0].code, 220);
    EXPECT_EQ(halted[0].text,
              "Error # 220 (Invalid parameter)\r\nField 'nourl' not in 'log' [SetCField]");
    EXPECT_EQ(engine.ErrorCode(), 220);
    EXPECT_EQ(engine.ErrorMessage(), "Field 'nourl' not in 'log' [SetCField]");
    EXPECT_EQ(t.ErrorCode(), 220);

    // Switched off around a call, nothing is reported; exceptions raise.
    engine.setErrorCheck(false);
    t.SetLField("url", true);
    engine.setErrorCheck(true);
    engine.setExceptions(true);
    EXPECT_THROW(t.SetLField("url", true), dbf::EDbfError);
    engine.setExceptions(false);
    EXPECT_EQ(halted.size(), 1u);
    TTzODbf::setHaltReporter(nullptr, engine);
    EXPECT_TRUE(engine.haltReporter());
}

TEST_F(TableTest, CreateIndexModesDecideWhichIndexesAreRebuilt)
{
    struct Case {
        TCreateIndexType mode;
        bool damageUrl; // overwrite url.ndx with garbage
        bool staleDate; // records appended while date.ndx was not open
        std::vector<QString> built;
    };
    const std::vector<Case> cases = {
        {ciAlways, false, false, {"url.ndx", "date.ndx"}},
        {ciNotFound, false, true, {}},
        {ciNotFound, true, false, {"url.ndx"}},
        {ciVerifyHeader, false, true, {"date.ndx"}},
        {ciVerifyHeader, false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode));
        std::filesystem::remove(path("logs.dbf"));
        std::filesystem::remove(path("logs.dbt"));
        TTzDbf& t = makeLog(ciAlways);
        t.setActive(true);
        logadd("03/14/2026", true, "http://a/");
        if (c.staleDate) {
            t.SetIndexTo("url.ndx");
            logadd("03/15/2026", true, "http://b/");
        }
        t.setActive(false);
        if (c.damageUrl)
            std::ofstream(path("url.ndx"), std::ios::binary) << std::string(1024, '\x7f');

        std::vector<QString> built;
        t.OnAfterMakeIndex = [&](TTzDbf*, const QString& name) { built.push_back(name); };
        t.setCreateIndex(c.mode);
        errors.clear();
        t.setActive(true);
        EXPECT_TRUE(errors.empty()) << errors.front().text;
        EXPECT_EQ(built, c.built);
        // Both indexes are open afterwards and the url index controls.
        t.GoTop();
        EXPECT_EQ(engine.IndexOrder(), 1);
        t.setActive(false);
    }
}

TEST_F(TableTest, DeclinedIndexBuildLeavesTheTableOpenWithoutIt)
{
    // ciNotFound meets the missing files first, then asks to build them.
    TTzDbf& t = makeLog(ciNotFound);
    t.OnBeforeMakeIndex = [](TTzDbf*, const QString& name, bool& canMake) {
        canMake = name != "date.ndx";
    };
    t.setActive(true);
    EXPECT_TRUE(t.Active());
    EXPECT_TRUE(exists(path("url.ndx")));
    EXPECT_FALSE(exists(path("date.ndx")));
    EXPECT_EQ(t.IndexOrder(), 1); // url.ndx is open and controls
    logadd("03/14/2026", true, "http://a/");
    EXPECT_EQ(t.RecCount(), 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(TableTest, SetIndexToSwitchesBetweenIndexAndRecordOrder)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    for (const char* url : {"http://c/", "http://a/", "http://b/"})
        logadd("03/14/2026", true, url);
    const auto walk = [&] {
        std::string order;
        for (t.GoTop(); !t.Eof(); t.Skip(1))
            order += std::to_string(t.RecNo());
        return order;
    };
    t.SetIndexTo("url.ndx");
    EXPECT_EQ(walk(), "231");
    t.SetIndexTo("");
    EXPECT_EQ(walk(), "123");
    // Only the open index follows new records.
    logadd("03/14/2026", true, "http://0/");
    t.SetIndexTo("url.ndx");
    EXPECT_EQ(walk(), "231");
    logadd("03/14/2026", true, "http://1/");
    EXPECT_EQ(walk(), "5231");
    // With error checking off a missing index only leaves its code, even
    // when the change handler uses the table again.
    t.OnDataChange = [&](TTzDataSource*, TTzField*) { t.GetCField("url"); };
    engine.setErrorCheck(false);
    EXPECT_FALSE(t.SetIndexTo("success.ndx"));
    engine.setErrorCheck(true);
    EXPECT_EQ(t.ErrorCode(), 2);
    EXPECT_EQ(walk(), "12345");
    EXPECT_TRUE(errors.empty());
}

TEST_F(TableTest, DbfFieldsGrammar)
{
    using Fields = std::vector<std::string>;
    struct Case {
        Fields lines;
        bool rangeError;
        bool malformed;
        std::string described; // name:type:length:decimals of each field
    };
    const std::vector<Case> cases = {
        {{" date , c , 10 , 0 ", "averyverylongname, N, 19, 15"},
         false,
         false,
         "date:C:10:0 averyveryl:N:19:15 "},
        {{"skip, X, 999, 99", "ok, L, 1, 0"}, false, false, "ok:L:1:0 "},
        {{"a, N, 20, 0"}, true, false, ""},
        {{"a, N, 10, 16"}, true, false, ""},
        {{"a, N, 5, 4"}, true, false, ""},
        {{"a, N, 5, 3"}, false, false, "a:N:5:3 "},
        {{"a, C, 255, 0"}, true, false, ""},
        {{"a, Q, 1, 0"}, true, false, ""},
        {{"a, C, ten, 0"}, true, false, ""},
        {{"a, C, 1, 0", "b, C, 1", "c, C, 1, 0"}, false, true, "a:C:1:0 "},
        {{"a, C, 1, 0, 0"}, false, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.front());
        try {
            const TTzDbf::FieldParse parsed = TTzDbf::parseFields(c.lines);
            EXPECT_FALSE(c.rangeError);
            EXPECT_EQ(parsed.malformed, c.malformed);
            std::string described;
            for (const dbf::FieldDef& f : parsed.fields)
                described += f.name + ":" + f.type + ":" + std::to_string(f.length) + ":" +
                             std::to_string(f.decimals) + " ";
            EXPECT_EQ(described, c.described);
        } catch (const ETzDataError& e) {
            EXPECT_TRUE(c.rangeError);
            EXPECT_STREQ(e.what(), "Range check error");
        }
    }
}

TEST_F(TableTest, AMalformedDeclarationCreatesNothing)
{
    TTzDbf::setMessageMode(1);
    TTzDbf& t = makeLog();
    t.setDbfFields({"date, C, 10, 0", "url C 254 0"});
    t.setActive(true);
    EXPECT_FALSE(t.Active());
    EXPECT_FALSE(exists(path("logs.dbf")));
    t.setDbfFields({});
    t.setActive(true);
    EXPECT_FALSE(t.Active());
    EXPECT_FALSE(exists(path("logs.dbf")));
    TTzDbf::setMessageMode(2);
}

TEST_F(TableTest, IndexListGrammar)
{
    const auto entries = TTzDbf::parseIndexList({"1,url.ndx,left(url,50)", " 2 , date.ndx , date",
                                                 "no commas", "3,x.ndx," + std::string(120, 'e')});
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].order, 1);
    EXPECT_EQ(entries[0].expression, "left(url,50)");
    EXPECT_EQ(entries[1].order, 2);
    EXPECT_EQ(entries[1].file, "date.ndx");
    EXPECT_EQ(entries[1].expression, "date");
    EXPECT_EQ(entries[2].expression.size(), 100u);
}

TEST_F(TableTest, ActiveWhileLoadingWaitsForLoaded)
{
    TTzDbf& t = makeLog();
    t.BeginLoading();
    t.setActive(true);
    EXPECT_FALSE(t.Active());
    EXPECT_FALSE(exists(path("logs.dbf")));
    t.Loaded();
    EXPECT_TRUE(t.Active());
}

TEST_F(TableTest, FileNameAndExclusiveChangesReopenTheTable)
{
    TTzDbf& t = makeLog();
    t.setDbfFileName(QString::fromStdString("  " + path("other") + "  "));
    EXPECT_EQ(t.DbfFileName().toStdString(), path("other.dbf"));
    t.setActive(true);
    logadd("03/14/2026", true, "http://a/");
    t.setDbfFileName(QString::fromStdString(path("logs.dbf")));
    EXPECT_TRUE(t.Active());
    EXPECT_EQ(engine.DbfPath(), path("logs.dbf"));
    EXPECT_EQ(t.RecCount(), 0);
    t.setExclusive(false);
    EXPECT_TRUE(t.Active());
    EXPECT_FALSE(t.Exclusive());
}

TEST_F(TableTest, TwoTablesKeepTheirOwnWorkAreasAndHideDeletedSettings)
{
    TTzDbf& first = makeLog();
    first.setActive(true);
    logadd("03/14/2026", true, "http://a/");
    logadd("03/14/2026", true, "http://b/");
    first.SetIndexTo("");
    first.Go(1);
    first.DataSet()->Delete();
    EXPECT_TRUE(first.Deleted());

    TTzDbf second(nullptr, engine);
    second.setName("second_table_name");
    second.setDbfFileName(QString::fromStdString(path("second")));
    second.setDbfFields({"name, C, 5, 0"});
    second.setHideDeletedRecs(true);
    second.setActive(true);
    EXPECT_EQ(engine.Alias(), "second_tab");
    EXPECT_NE(second.WorkArea(), first.WorkArea());
    EXPECT_EQ(TTzSession::instance().FindTable("LOG"), &first);

    // The first table still shows its deleted record; hiding belongs to the second.
    first.GoTop();
    EXPECT_EQ(first.RecNo(), 1);
    first.setHideDeletedRecs(true);
    first.GoTop();
    EXPECT_EQ(first.RecNo(), 2);
}

TEST_F(TableTest, DatasetMovesStopOnRealRecordsWithTheEndFlags)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    for (int i = 1; i <= 3; ++i)
        logadd("03/14/2026", true, "http://" + std::to_string(i) + "/");
    t.SetIndexTo("");
    TTzDataSet& ds = *t.DataSet();
    ds.First();
    EXPECT_TRUE(ds.Bof());
    EXPECT_TRUE(ds.Next());
    EXPECT_FALSE(ds.Bof());
    EXPECT_TRUE(ds.Next());
    EXPECT_FALSE(ds.Next());
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(t.RecNo(), 3);
    EXPECT_TRUE(ds.Prior());
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_FALSE(ds.MoveBy(-5));
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_FALSE(ds.MoveBy(10));
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(t.RecNo(), 3);
    ds.Delete();
    EXPECT_TRUE(t.Deleted());
    ds.Restore();
    EXPECT_FALSE(t.Deleted());
}

TEST_F(TableTest, ReadWindowReadsOnlyTheRowsAroundTheCurrentRecord)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    for (int i = 1; i <= 50; ++i)
        logadd("03/14/2026", i % 2 == 0, "http://" + std::to_string(100 + i) + "/");
    t.SetIndexTo("");
    t.Go(3);
    long reads = 0;
    engine.SetRecordHooks({}, [&](uint8_t*, size_t) { ++reads; });
    const TTzRowWindow window = t.ReadWindow(5, 10);
    ASSERT_EQ(window.rows.size(), 10u);
    EXPECT_EQ(window.current, 2);
    EXPECT_EQ(window.rows.front().recNo, 1);
    EXPECT_EQ(window.rows.back().recNo, 10);
    EXPECT_EQ(window.rows[2].texts[3].substr(0, 11), "http://103/");
    EXPECT_EQ(window.rows[1].texts[1], "T");
    EXPECT_LT(reads, 40);
    EXPECT_EQ(t.RecNo(), 3);
}

TEST_F(TableTest, ReadWindowMatchesAWalkInEveryOrder)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    for (int i = 1; i <= 40; ++i)
        logadd(i % 3 ? "03/14/2026" : "03/15/2026", true,
               "http://" + std::to_string((i * 7) % 13) + "/");
    for (long r : {5, 6, 20, 39}) {
        t.Go(r);
        t.DataSet()->Delete();
    }
    struct Case {
        const char* index;
        bool hide;
    };
    for (const Case& c : {Case{"", false}, Case{"url.ndx", false}, Case{"date.ndx", false},
                          Case{"date.ndx", true}, Case{"", true}}) {
        SCOPED_TRACE(std::string(c.index) + (c.hide ? " hiding deleted" : ""));
        t.setHideDeletedRecs(c.hide);
        t.SetIndexTo(c.index);
        std::vector<long> walk;
        for (t.GoTop(); !t.Eof(); t.Skip(1))
            walk.push_back(t.RecNo());
        for (size_t at :
             {size_t(0), size_t(3), walk.size() / 2, walk.size() - 2, walk.size() - 1}) {
            t.Go(walk[at]);
            const TTzRowWindow window = t.ReadWindow(4, 9);
            const size_t first = at >= 4 ? at - 4 : 0;
            std::vector<long> expected(walk.begin() + long(first),
                                       walk.begin() + long(std::min(walk.size(), first + 9)));
            std::vector<long> shown;
            for (const TTzRowImage& row : window.rows)
                shown.push_back(row.recNo);
            EXPECT_EQ(shown, expected) << "at " << at;
            EXPECT_EQ(window.current, int(at - first));
            // The table stands where it stood, and moves on from there.
            EXPECT_EQ(t.RecNo(), walk[at]);
            if (at + 1 < walk.size()) {
                EXPECT_TRUE(t._Next());
                EXPECT_EQ(t.RecNo(), walk[at + 1]);
            }
        }
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(TableTest, ALockHeldElsewhereCallsTheLockEventOrRaises)
{
    engine.setNetworkSharing(true);
    TTzDbf& t = makeLog();
    t.setActive(true);
    logadd("03/14/2026", true, "http://a/");
    t.setExclusive(false); // reopens shared
    ASSERT_TRUE(t.Active());
    ASSERT_EQ(t.RecCount(), 1);
    engine.Select(t.WorkArea());
    ASSERT_FALSE(engine.currentArea()->exclusive());

    // Another process holds every record and file lock of the table.
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(done[1]); // or the read below never sees the end
        const int fd = ::open(path("logs.dbf").c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = off_t(engine.config().lockBase);
        lock.l_len = 0; // to the end of all possible offsets
        const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        char byte;
        (void)!::read(done[0], &byte, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    int failures = 0;
    t.OnRLockFailedOnDelete = [&](TTzODbf* sender) {
        EXPECT_EQ(sender, &t);
        ++failures;
    };
    t.GoTop();
    t.DataSet()->Delete();
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(t.Deleted());
    try {
        t.DataSet()->Restore();
        ADD_FAILURE() << "no exception";
    } catch (const ETzDataError& e) {
        EXPECT_STREQ(e.what(), "Lock failed [_Restore]");
        EXPECT_EQ(e.messageId(), 57620);
    }

    ::close(done[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ::close(done[0]);
    // With the lock gone the same delete goes through.
    t.DataSet()->Delete();
    EXPECT_TRUE(t.Deleted());
}

TEST_F(TableTest, FieldsTakeTypedTextOrRefuseIt)
{
    MessageBox::clearShown();
    auto t = std::make_unique<TTzDbf>(nullptr, engine);
    t->setName("kinds");
    t->setDbfFileName(QString::fromStdString(path("kinds")));
    t->setDbfFields({"name, C, 5, 0", "price, N, 8, 2", "day, D, 8, 0", "paid, L, 1, 0"});
    t->setActive(true);
    TTzDataSet* ds = t->DataSet();
    struct Case {
        const char* field;
        const char* text;
        bool stored;
        const char* shown; // the field's text afterwards
    };
    const std::vector<Case> cases = {
        {"name", "abcdefgh", true, "abcde"},
        {"price", " 12.5 ", true, "12.50"},
        {"price", "", true, "0.00"},
        {"price", "12,5", false, "0.00"},
        {"price", "1e2x", false, "0.00"},
        {"day", "03/14/2026", true, "03/14/2026"},
        {"day", "02/30/2026", false, "03/14/2026"},
        {"paid", "y", true, "T"},
        {"paid", "n", true, "F"},
        {"paid", "maybe", false, "F"},
    };
    for (const Case& c : cases) {
        TTzField* field = ds->FindField(c.field);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->SetAsString(c.text), c.stored) << c.field << " " << c.text;
        EXPECT_EQ(field->AsString(), c.shown) << c.field << " " << c.text;
    }
    // The bad date was reported with its message; nothing went to the engine.
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "Invalid Date '02/30/2026' specified (Field: day)");
    EXPECT_TRUE(errors.empty());
}

TEST_F(TableTest, LeavingAnUntouchedNewRecordWritesNothingAndReadingRowsKeepsEdits)
{
    TTzDbf& t = makeLog();
    t.setActive(true);
    for (int i = 1; i <= 5; ++i)
        logadd("03/14/2026", true, "http://" + std::to_string(i) + "/");
    t.SetIndexTo("");
    TTzDataSet* ds = t.DataSet();
    ds->Last();
    ds->Insert();
    ds->First(); // nothing was typed into the new record
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(t.RecCount(), 5);

    ds->Insert();
    t.SetCField("url", "http://pending/");
    // Reading the rows around the current record leaves the new record as it is.
    const TTzRowWindow window = t.ReadWindow(3, 6);
    EXPECT_EQ(window.rows.size(), 5u);
    EXPECT_EQ(t.GetCField("url").substr(0, 15), "http://pending/");
    ds->First();
    EXPECT_EQ(t.RecCount(), 6);
    t.Go(6);
    EXPECT_EQ(t.GetCField("url").substr(0, 15), "http://pending/");
}
