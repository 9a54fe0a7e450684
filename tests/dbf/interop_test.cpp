// Files written by the engine are read by other dBASE readers installed on
// this machine, and files they write are used by the engine.
#include "dbf_test_support.h"

#include "dbf/table_check.h"

#include <random>
#include <sstream>

using dbftest::EngineTest;

namespace {

const char* const kPython = "/usr/bin/python3";

class InteropTest : public EngineTest {
protected:
    std::string python(const std::string& script)
    {
        writeFile(path("script.py"), script);
        int status = -1;
        const std::string out =
            run(std::string(kPython) + " " + path("script.py") + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }

    std::string qvdbf(const std::string& arguments, int* status = nullptr)
    {
        return run(std::string(QVDBF_PATH) + " " + arguments + " 2>&1", status);
    }
};

TEST_F(InteropTest, DbfreadReadsTheLogTableAndItsMemos)
{
    openLog();
    appendLog("03/14/2026", true, "http://example.com/a?b=c",
              {"<html>", "body \xE9t\xE9", "</html>"});
    appendLog("03/15/2026", false, std::string(254, 'u'));
    appendLog("03/16/2026", true, "http://x/", {std::string(600, 'm')});
    engine.Go(2);
    engine.DeleteRec();
    engine.CloseDbf();
    const std::string out = python("import dbfread\n"
                                   "t = dbfread.DBF('" +
                                   path("logs.dbf") +
                                   "', encoding='cp1252', load=True)\n"
                                   "print(len(t.records), len(t.deleted))\n"
                                   "for r in t.records + t.deleted:\n"
                                   "    m = r['MESSAGE']\n"
                                   "    print(repr(r['DATE']), r['SUCCESS'], len(r['URL']), "
                                   "r['URL'][:24], repr(m[:30] if m else m), len(m or ''))\n");
    EXPECT_EQ(out, "2 1\n"
                   "'03/14/2026' True 24 http://example.com/a?b=c '<html>\\r\\nbody "
                   "\xC3\xA9t\xC3\xA9\\r\\n</html>' 25\n"
                   "'03/16/2026' True 9 http://x/ 'mmmmmmmmmmmmmmmmmmmmmmmmmmmmmm' 600\n"
                   "'03/15/2026' False 254 uuuuuuuuuuuuuuuuuuuuuuuu None 0\n");
}

TEST_F(InteropTest, DbfreadReadsNumbersFloatsAndDates)
{
    ASSERT_TRUE(engine.CreateDBF(
        path("n.dbf"),
        {{"qty", 'N', 6, 0}, {"price", 'N', 10, 2}, {"ratio", 'F', 12, 4}, {"day", 'D', 8, 0}}));
    ASSERT_TRUE(engine.Use(path("n.dbf")));
    engine.setCentury(true);
    const double prices[] = {3.5, -12.25, 0};
    for (int i = 0; i < 3; ++i) {
        engine.ClearRecord();
        engine.SetFieldNumber(1, i * 100 - 7);
        engine.SetFieldNumber(2, prices[i]);
        engine.SetFieldNumber(3, 1.0 / (i + 3));
        engine.SetFieldText(4, i == 2 ? "" : "02/2" + std::to_string(i) + "/2024");
        engine.Append();
    }
    engine.CloseDbf();
    const std::string out = python("import dbfread\n"
                                   "for r in dbfread.DBF('" +
                                   path("n.dbf") +
                                   "'):\n"
                                   "    print(r['QTY'], r['PRICE'], r['RATIO'], r['DAY'])\n");
    EXPECT_EQ(out, "-7 3.5 0.3333 2024-02-20\n93 -12.25 0.25 2024-02-21\n193 0.0 0.2 None\n");
}

TEST_F(InteropTest, PerlXBaseWalksOurIndexesInOurOrder)
{
    openLog();
    std::mt19937 random(5);
    for (int i = 0; i < 700; ++i)
        appendLog("0" + std::to_string(1 + random() % 9) + "/01/2026", true,
                  "http://h" + std::to_string(random() % 300) + ".example/");
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    ASSERT_TRUE(engine.MakeIndex("date", path("date.ndx")));
    ASSERT_TRUE(engine.SetIndexTo(path("url.ndx") + " " + path("date.ndx")));
    for (int i = 0; i < 300; ++i) // insertions with splits on top of the build
        appendLog("0" + std::to_string(1 + random() % 9) + "/01/2026", true,
                  "http://h" + std::to_string(random() % 300) + ".example/");
    for (const char* name : {"url.ndx", "date.ndx"}) {
        SCOPED_TRACE(name);
        engine.SetIndexTo(path(name));
        std::ostringstream ours;
        for (engine.GoTop(); !engine.Eof(); engine.Skip(1))
            ours << engine.RecNo() << "\n";
        engine.SetIndexTo("");
        engine.FlushFile();
        writeFile(path("walk.pl"), "use XBase::Index;\n"
                                   "my $i = XBase::Index->new('" +
                                       path(name) +
                                       "') or die XBase::Index->errstr;\n"
                                       "$i->prepare_select;\n"
                                       "while (my @d = $i->fetch) { print \"$d[1]\\n\"; }\n");
        int status = -1;
        const std::string theirs = run("perl " + path("walk.pl") + " 2>&1", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(theirs, ours.str());
    }
}

TEST_F(InteropTest, EngineUsesATableWrittenByAnotherProgram)
{
    python("import dbf\n"
           "t = dbf.Table('" +
           path("peer.dbf") +
           "', 'name C(20); qty N(5,0); price N(8,2); born D; note M', dbf_type='db3')\n"
           "t.open(dbf.READ_WRITE)\n"
           "t.append(('alpha', 3, 2.5, dbf.Date(2020,1,2), 'memo one\\r\\nline two'))\n"
           "t.append(('beta', 4, 1.25, None, ''))\n"
           "t.append(('gamma', 5, 9.75, dbf.Date(1999,12,31), 'third'))\n"
           "t.close()\n");
    ASSERT_TRUE(engine.Use(path("peer.dbf") + " EXCLUSIVE"));
    EXPECT_EQ(engine.RecCount(), 3);
    EXPECT_EQ(engine.FieldText(1), "alpha" + std::string(15, ' '));
    EXPECT_EQ(engine.GetMemoField(5), (std::vector<std::string>{"memo one", "line two"}));
    engine.ClearRecord();
    engine.SetFieldText(1, "delta");
    engine.SetFieldNumber(3, 4.5);
    engine.SetMemoField(5, {"appended memo"});
    ASSERT_TRUE(engine.Append());
    engine.Go(2);
    engine.DeleteRec();
    ASSERT_TRUE(engine.Pack());
    engine.CloseDbf();
    EXPECT_EQ(dbf::checkTable(path("peer.dbf"), {}), "");
    const std::string out =
        python("import dbfread\n"
               "for r in dbfread.DBF('" +
               path("peer.dbf") +
               "'):\n"
               "    print(r['NAME'], r['QTY'], r['PRICE'], r['BORN'], repr(r['NOTE']))\n");
    EXPECT_EQ(out, "alpha 3 2.5 2020-01-02 'memo one\\r\\nline two'\n"
                   "gamma 5 9.75 1999-12-31 'third'\n"
                   "delta 0 4.5 None 'appended memo'\n");
}

TEST_F(InteropTest, QvdbfCommandsAndExitCodes)
{
    const std::string table = path("t.dbf");
    int status = -1;
    qvdbf("create " + table + " date,C,10,0 success,L,1,0 message,M,10,0 url,C,254,0", &status);
    EXPECT_EQ(status, 0);
    qvdbf("append " + table + " date=03/14/2026 success=T 'message=a\\nb' url=http://b/", &status);
    EXPECT_EQ(status, 0);
    qvdbf("append " + table + " date=03/13/2026 success=F url=http://a/", &status);
    qvdbf("index " + table + " " + path("url.ndx") + " 'left(url,50)'", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qvdbf("dump " + table + " --index " + path("url.ndx")),
              "{\"recno\":2,\"deleted\":false,\"date\":\"03/13/2026\",\"success\":false,"
              "\"message\":\"\",\"url\":\"http://a/\"}\n"
              "{\"recno\":1,\"deleted\":false,\"date\":\"03/14/2026\",\"success\":true,"
              "\"message\":\"a\\r\\nb\",\"url\":\"http://b/\"}\n");
    EXPECT_EQ(qvdbf("keys " + table + " " + path("url.ndx")).substr(0, 28),
              "{\"recno\":2,\"key\":\"http://a/ ");
    qvdbf("check " + table + " " + path("url.ndx"), &status);
    EXPECT_EQ(status, 0);
    qvdbf("delete " + table + " 1", &status);
    EXPECT_EQ(status, 0);
    qvdbf("pack " + table, &status);
    EXPECT_EQ(status, 0);
    // The index was not open during the pack: check notices it is stale.
    const std::string stale = qvdbf("check " + table + " " + path("url.ndx"), &status);
    EXPECT_EQ(status, 1) << stale;
    const std::string error = qvdbf("delete " + table + " 5", &status);
    EXPECT_EQ(status, 212);
    EXPECT_EQ(error.substr(0, 34), "Error # 212 (Request beyond range)");
    qvdbf("frobnicate", &status);
    EXPECT_EQ(status, 2);
    qvdbf("create " + table + " bad", &status);
    EXPECT_EQ(status, 2);
    qvdbf("zap " + table, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(table).size(), 162u);
}

} // namespace
