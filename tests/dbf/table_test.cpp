#include "dbf_test_support.h"

#include "dbf/real48.h"
#include "dbf/table_check.h"

#include <cmath>

using dbf::FieldDef;
using dbftest::EngineTest;

namespace {

class TableTest : public EngineTest {};

TEST_F(TableTest, LogLayoutHasTheDocumentedGeometry)
{
    ASSERT_TRUE(engine.CreateDBF(path("logs.dbf"), logFields()));
    const std::string bytes = readFile(path("logs.dbf"));
    ASSERT_EQ(bytes.size(), 162u);
    EXPECT_EQ(uint8_t(bytes[0]), 0x83);
    EXPECT_EQ(uint8_t(bytes[1]), 126); // 2026 from the test clock
    EXPECT_EQ(uint8_t(bytes[2]), 3);
    EXPECT_EQ(uint8_t(bytes[3]), 14);
    EXPECT_EQ(uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8, 161);
    EXPECT_EQ(uint8_t(bytes[10]) | uint8_t(bytes[11]) << 8, 276);
    EXPECT_EQ(uint8_t(bytes[160]), 0x0D);
    EXPECT_EQ(uint8_t(bytes[161]), 0x1A);
    EXPECT_EQ(bytes.substr(32, 5), std::string("DATE\0", 5));
    EXPECT_EQ(readFile(path("logs.dbt")).size(), 513u);

    ASSERT_TRUE(engine.CreateDBF(path("plain.dbf"), {{"n", 'N', 5, 0}}));
    EXPECT_EQ(uint8_t(readFile(path("plain.dbf"))[0]), 0x03);
}

TEST_F(TableTest, FieldDefinitionsAreCheckedAndNormalised)
{
    struct Case {
        FieldDef field;
        int code;
    };
    const Case cases[] = {
        {{"name", 'C', 254, 0}, 0}, {{"name", 'C', 255, 0}, 211}, {{"name", 'C', 0, 0}, 211},
        {{"  ", 'C', 5, 0}, 220},   {{"name", 'X', 5, 0}, 211},   {{"name", 'n', 8, 2}, 0},
        {{"name", 'N', 3, 2}, 211}, {{"d", 'D', 3, 0}, 0},        {{"flag", 'l', 9, 4}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.name + " " + c.field.type + std::to_string(c.field.length));
        EXPECT_EQ(codeOf([&] { engine.CreateDBF(path("t.dbf"), {c.field}); }), c.code);
    }
    ASSERT_TRUE(engine.CreateDBF(path("t.dbf"), {{" averylongname", 'd', 3, 2}, {"f", 'l', 9, 4}}));
    ASSERT_TRUE(engine.Use(path("t.dbf")));
    EXPECT_EQ(engine.Field(1), "AVERYLONGN");
    EXPECT_EQ(engine.FieldLen(1), 8);
    EXPECT_EQ(engine.FieldDec(1), 0);
    EXPECT_EQ(engine.FieldLen(2), 1);
    EXPECT_EQ(codeOf([&] { engine.FieldType(3); }), 220);
    EXPECT_EQ(engine.ErrorMessage(), "Invalid field number. [FieldType(3)]");
}

TEST_F(TableTest, ValuesAreStoredAsDbaseText)
{
    ASSERT_TRUE(engine.CreateDBF(path("v.dbf"), {{"c", 'C', 5, 0},
                                                 {"n", 'N', 10, 2},
                                                 {"i", 'N', 4, 0},
                                                 {"l", 'L', 1, 0},
                                                 {"d", 'D', 8, 0},
                                                 {"m", 'M', 10, 0}}));
    ASSERT_TRUE(engine.Use(path("v.dbf") + " EXCLUSIVE"));
    engine.setCentury(true);
    engine.ClearRecord();
    engine.SetFieldText(1, "abcdefgh");
    engine.SetFieldNumber(2, 3.5);
    engine.SetFieldNumber(3, 123456);
    engine.SetFieldLogical(4, true);
    engine.SetFieldText(5, "12/31/2025");
    // The record is written, with the number that does not fit as "*"s.
    EXPECT_EQ(codeOf([&] { engine.Append(); }), 201);
    engine.ClearRecord();
    ASSERT_TRUE(engine.Append());
    ASSERT_TRUE(engine.CloseDbf());

    const std::string bytes = readFile(path("v.dbf"));
    const size_t header = 32 + 32 * 6 + 1;
    const size_t length = 39;
    EXPECT_EQ(bytes.substr(header, length),
              std::string(" abcde") + "      3.50" + "****" + "T" + "20251231" + "          ");
    EXPECT_EQ(bytes.substr(header + length, length),
              std::string(" ") + "     " + "      0.00" + "   0" + "F" + "        " + "          ");
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(bytes.size(), header + 2 * length + 1);
    EXPECT_EQ(uint8_t(bytes[4]), 2);

    ASSERT_TRUE(engine.Use(path("v.dbf")));
    EXPECT_EQ(engine.FieldText(1), "abcde");
    EXPECT_DOUBLE_EQ(engine.FieldNumber(2), 3.5);
    EXPECT_TRUE(engine.FieldLogical(4));
    EXPECT_EQ(engine.FieldText(5), "12/31/2025");
    engine.setCentury(false);
    engine.Go(1);
    EXPECT_EQ(engine.FieldText(5), "12/31/25");
    engine.Go(2);
    EXPECT_EQ(engine.FieldText(5), "  /  /  ");
}

TEST_F(TableTest, DateStylesShapeTheBufferText)
{
    struct Case {
        const char* format;
        const char* shown;
    };
    const Case cases[] = {{"M/d/yy", "07/04/26"},
                          {"yyyy.MM.dd", "2026.07.04"},
                          {"dd/MM/yyyy", "04/07/2026"},
                          {"dd-MM-yy", "04-07-26"},
                          {"dd.MM.yyyy", "04.07.2026"}};
    ASSERT_TRUE(engine.CreateDBF(path("d.dbf"), {{"d", 'D', 8, 0}}));
    ASSERT_TRUE(engine.Use(path("d.dbf")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        engine.setDateFormat(c.format);
        engine.ClearRecord();
        engine.SetFieldText(1, c.shown);
        ASSERT_TRUE(engine.Append());
        EXPECT_EQ(engine.RawFieldText(1), "20260704");
        EXPECT_EQ(engine.FieldText(1), c.shown);
    }
}

TEST_F(TableTest, RewritingARecordKeepsDatesOfOtherCenturies)
{
    ASSERT_TRUE(engine.CreateDBF(path("d.dbf"), {{"d", 'D', 8, 0}, {"n", 'N', 3, 0}}));
    ASSERT_TRUE(engine.Use(path("d.dbf")));
    engine.setCentury(true);
    engine.ClearRecord();
    engine.SetFieldText(1, "12/31/1999");
    ASSERT_TRUE(engine.Append());
    ASSERT_TRUE(engine.IndexOn("d", path("d.ndx")));
    engine.setCentury(false);
    engine.Go(1);
    EXPECT_EQ(engine.FieldText(1), "12/31/99");
    engine.SetFieldNumber(2, 5);
    ASSERT_TRUE(engine.Replace());
    EXPECT_EQ(engine.RawFieldText(1), "19991231");
    EXPECT_EQ(flushAndCheck(path("d.dbf"), {path("d.ndx")}), "");
    engine.SetFieldText(1, "01/02/99"); // a new two-digit text takes this century
    ASSERT_TRUE(engine.Replace());
    EXPECT_EQ(engine.RawFieldText(1), "20990102");
}

TEST_F(TableTest, LogicalReadingAcceptsTheUsualSpellings)
{
    ASSERT_TRUE(engine.CreateDBF(path("l.dbf"), {{"l", 'L', 1, 0}}));
    std::string bytes = readFile(path("l.dbf"));
    bytes.pop_back();
    const std::string values = "TtYyFN ?";
    for (char v : values)
        bytes += std::string(" ") + v;
    bytes[4] = char(values.size());
    writeFile(path("l.dbf"), bytes + "\x1A");
    ASSERT_TRUE(engine.Use(path("l.dbf")));
    std::string seen;
    for (long r = 1; r <= 8; ++r) {
        engine.Go(r);
        seen += engine.FieldLogical(1) ? '1' : '0';
    }
    EXPECT_EQ(seen, "11110000");
}

TEST_F(TableTest, SkipFollowsBofAndEofRules)
{
    openLog();
    EXPECT_TRUE(engine.Bof());
    EXPECT_TRUE(engine.Eof());
    EXPECT_EQ(engine.RecNo(), 0);
    EXPECT_EQ(codeOf([&] { engine.Skip(1); }), 212);
    EXPECT_NE(engine.ErrorMessage().find("\"LOGS\" is empty."), std::string::npos);
    for (int i = 0; i < 3; ++i)
        appendLog("01/01/2026", true, "u" + std::to_string(i));
    ASSERT_TRUE(engine.GoBottom());
    EXPECT_EQ(engine.RecNo(), 3);
    ASSERT_TRUE(engine.Skip(1));
    EXPECT_TRUE(engine.Eof());
    EXPECT_EQ(engine.RecNo(), 4);
    EXPECT_EQ(engine.FieldText(4), std::string(254, ' '));
    EXPECT_EQ(codeOf([&] { engine.Skip(1); }), 212);
    EXPECT_EQ(engine.ErrorMessage(), "Database \"LOGS\" is past EOF. [SKIP]");
    ASSERT_TRUE(engine.Skip(-1));
    EXPECT_EQ(engine.RecNo(), 3);
    ASSERT_TRUE(engine.Skip(-5));
    EXPECT_TRUE(engine.Bof());
    EXPECT_EQ(engine.RecNo(), 1);
    EXPECT_EQ(codeOf([&] { engine.Go(9); }), 212);
    EXPECT_EQ(engine.ErrorMessage(), "Invalid record number = 9  [GetDbfRecord]");
}

TEST_F(TableTest, DeletedRecordsHideOnlyWhenAsked)
{
    openLog();
    for (int i = 1; i <= 4; ++i)
        appendLog("01/01/2026", true, "u" + std::to_string(i));
    engine.Go(2);
    ASSERT_TRUE(engine.DeleteRec());
    EXPECT_TRUE(engine.Deleted());
    engine.Go(1);
    engine.setHideDeleted(true);
    engine.Skip(1);
    EXPECT_EQ(engine.RecNo(), 3);
    engine.setHideDeleted(false);
    engine.Go(1);
    engine.Skip(1);
    EXPECT_EQ(engine.RecNo(), 2);
    ASSERT_TRUE(engine.RecallRec());
    EXPECT_FALSE(engine.Deleted());
    engine.CloseDbf();
    EXPECT_EQ(readFile(path("logs.dbf"))[161 + 276], ' ');
}

TEST_F(TableTest, PackRemovesDeletedRecordsAndTheirMemos)
{
    openLog();
    for (int i = 1; i <= 6; ++i)
        appendLog("01/01/2026", i % 2 == 0, "u" + std::to_string(i), {"memo " + std::to_string(i)});
    for (long r : {1L, 4L}) {
        engine.Go(r);
        engine.DeleteRec();
    }
    ASSERT_TRUE(engine.Pack());
    EXPECT_EQ(engine.RecCount(), 4);
    EXPECT_EQ(engine.RecNo(), 1);
    std::vector<std::string> urls;
    std::vector<std::string> memos;
    for (engine.GoTop(); !engine.Eof(); engine.Skip(1)) {
        urls.push_back(engine.FieldText(4).substr(0, 2));
        memos.push_back(engine.GetMemoField(3).at(0));
    }
    EXPECT_EQ(urls, (std::vector<std::string>{"u2", "u3", "u5", "u6"}));
    EXPECT_EQ(memos, (std::vector<std::string>{"memo 2", "memo 3", "memo 5", "memo 6"}));
    engine.CloseDbf();
    EXPECT_EQ(readFile(path("logs.dbf")).size(), 161u + 4 * 276 + 1);
    EXPECT_EQ(readFile(path("logs.dbt")).size(), 512u * 5);
    EXPECT_FALSE(std::filesystem::exists(path("logs.$$$")));
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {}), "");
}

TEST_F(TableTest, BatchedAppendsReadBackAndReachTheDiskOnFlush)
{
    engine.setBatchAppends(true);
    openLog();
    ASSERT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
    ASSERT_TRUE(engine.SetIndexTo(path("url.ndx")));
    for (int i = 0; i < 500; ++i)
        appendLog("01/01/2026", true, "u" + std::to_string(9999 - i),
                  {"memo " + std::to_string(i)});
    EXPECT_LT(readFile(path("logs.dbf")).size(), 161u + 500 * 276);
    engine.Go(3);
    EXPECT_EQ(engine.GetMemoField(3), std::vector<std::string>{"memo 2"});
    engine.GoTop();
    EXPECT_EQ(engine.RecNo(), 500);
    appendLog("01/01/2026", true, "zz", {"last"});
    EXPECT_EQ(flushAndCheck(path("logs.dbf"), {path("url.ndx")}), "");
    EXPECT_EQ(readFile(path("logs.dbf")).size(), 161u + 501 * 276 + 1);
}

TEST_F(TableTest, ZapLeavesHeaderEndMarkerAndEmptyMemo)
{
    openLog();
    appendLog("01/01/2026", true, "u", {"text"});
    ASSERT_TRUE(engine.Zap());
    EXPECT_EQ(engine.RecCount(), 0);
    EXPECT_TRUE(engine.Eof());
    EXPECT_TRUE(engine.Bof());
    const std::string bytes = readFile(path("logs.dbf"));
    EXPECT_EQ(bytes.size(), 162u);
    EXPECT_EQ(bytes[4], 0);
    EXPECT_EQ(readFile(path("logs.dbt")).size(), 513u);
}

TEST_F(TableTest, FixCountTrustsTheFileSizeOverTheHeader)
{
    openLog();
    for (int i = 0; i < 3; ++i)
        appendLog("01/01/2026", true, "u");
    engine.CloseDbf();
    std::string bytes = readFile(path("logs.dbf"));
    bytes[4] = 9; // a count left behind by a crash
    writeFile(path("logs.dbf"), bytes);
    engine.setAutoFixRecCount(true);
    ASSERT_TRUE(engine.Use(path("logs.dbf")));
    EXPECT_EQ(engine.RecCount(), 3);
    engine.CloseDbf();
    engine.setAutoFixRecCount(false);
    // Without the option a count ahead of the file is still capped by its
    // size, since records past the end cannot exist ...
    ASSERT_TRUE(engine.Use(path("logs.dbf")));
    EXPECT_EQ(engine.RecCount(), 3);
    EXPECT_EQ(codeOf([&] { engine.Go(5); }), 212);
    engine.CloseDbf();
    // ... while a count behind the file is taken as it stands.
    bytes[4] = 2;
    writeFile(path("logs.dbf"), bytes);
    ASSERT_TRUE(engine.Use(path("logs.dbf")));
    EXPECT_EQ(engine.RecCount(), 2);
}

TEST_F(TableTest, HeaderDateComesFromTheClockWhenTheTableChanges)
{
    openLog();
    engine.setClock([] { return dbf::CalendarDate{1999, 12, 31}; });
    appendLog("01/01/2026", true, "u");
    engine.CloseDbf();
    const std::string bytes = readFile(path("logs.dbf"));
    EXPECT_EQ(uint8_t(bytes[1]), 99);
    EXPECT_EQ(uint8_t(bytes[2]), 12);
    EXPECT_EQ(uint8_t(bytes[3]), 31);
}

TEST_F(TableTest, WorkAreasAliasesAndMissingTables)
{
    engine.setNetworkSharing(true);
    openLog();
    EXPECT_EQ(engine.Alias(), "LOGS");
    ASSERT_TRUE(engine.CreateDBF(path("other.dbf"), {{"a", 'C', 1, 0}}));
    ASSERT_TRUE(engine.Select(0));
    EXPECT_EQ(engine.CurrentArea(), 2);
    EXPECT_EQ(codeOf([&] { engine.Use(path("other.dbf") + " ALIAS logs"); }), 220);
    ASSERT_TRUE(engine.CreateDBF(path("second.dbf"), {{"a", 'C', 1, 0}}));
    ASSERT_TRUE(engine.Use(path("second.dbf") + " EXCLUSIVE ALIAS Second"));
    EXPECT_EQ(engine.Alias(), "Second");
    engine.Select(3);
    EXPECT_EQ(codeOf([&] { engine.Append(); }), 215);
    EXPECT_EQ(engine.ErrorMessage(), "No database in use [APPEND]  WorkArea = 3");
    EXPECT_EQ(codeOf([&] { engine.Use(path("missing.dbf")); }), 2);
    for (int area = 3; area <= dbf::DbfEngine::kMaxWorkAreas; ++area) {
        engine.Select(area);
        ASSERT_TRUE(engine.Use(path("other.dbf") + " ALIAS A" + std::to_string(area)));
    }
    EXPECT_EQ(codeOf([&] { engine.Select(0); }), 220);
    EXPECT_EQ(engine.ErrorMessage(), "No free workarea available [Select(0)]");
}

// Whole numbers of more than nine digits do not fit 32 bits: they travel in
// a 64-bit slot and come back exactly; a stored number beyond even that is
// left as it stands when the record is rewritten.
TEST_F(TableTest, NumbersThatDoNotFitOverflowTheFieldInsteadOfBeingClamped)
{
    ASSERT_TRUE(engine.CreateDBF(
        path("o.dbf"), {{"wide", 'N', 20, 0}, {"small", 'N', 5, 0}, {"real", 'N', 8, 2}}));
    ASSERT_TRUE(engine.Use(path("o.dbf") + " EXCLUSIVE"));
    const struct {
        int field;
        std::string text; // set through the text, or
        double number;    // through the number when the text is empty
        int code;
        std::string stored;
    } cases[] = {
        {1, "99999999999999999999", 0, 0, "99999999999999999999"}, // beyond 64 bits, fits
        {1, "-9999999999999999999", 0, 0, "-9999999999999999999"},
        {1, "123456789012345678901", 0, 201, std::string(20, '*')}, // beyond the width
        {1, "", 1e25, 201, std::string(20, '*')},
        {1, "", 3e19, 0, "30000000000000000000"},
        {1, "9223372036854775807", 0, 0, " 9223372036854775807"},
        {2, "123456", 0, 201, "*****"},
        {2, "-1234", 0, 0, "-1234"},
        {3, "", 123456.5, 201, "********"},
    };
    long recno = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.empty() ? std::to_string(c.number) : c.text);
        engine.ClearRecord();
        if (c.text.empty())
            engine.SetFieldNumber(c.field, c.number);
        else
            engine.SetFieldText(c.field, c.text);
        EXPECT_EQ(codeOf([&] { engine.Append(); }), c.code);
        ++recno;
        EXPECT_EQ(engine.RecCount(), recno); // written all the same
        EXPECT_EQ(engine.RawFieldText(c.field), c.stored);
    }
}

TEST_F(TableTest, LongWholeNumbersStayExact)
{
    ASSERT_TRUE(engine.CreateDBF(
        path("n.dbf"), {{"big", 'N', 15, 0}, {"huge", 'N', 19, 0}, {"small", 'N', 5, 0}}));
    ASSERT_TRUE(engine.Use(path("n.dbf")));
    EXPECT_EQ(engine.BufferSize(), 1u + 8 + 8 + 4);
    engine.ClearRecord();
    ASSERT_TRUE(engine.SetFieldText(1, "123456789012345"));
    ASSERT_TRUE(engine.SetFieldText(2, "-922337203685477580"));
    ASSERT_TRUE(engine.SetFieldNumber(3, 42));
    ASSERT_TRUE(engine.Append());
    engine.ClearRecord();
    ASSERT_TRUE(engine.SetFieldNumber(1, 4294967296.0 * 3));
    ASSERT_TRUE(engine.Append());
    ASSERT_TRUE(engine.CloseDbf());

    const std::string file = readFile(path("n.dbf"));
    const size_t header = 32 + 3 * 32 + 1, record = 1 + 15 + 19 + 5;
    EXPECT_EQ(file.substr(header + 1, 15), "123456789012345");
    EXPECT_EQ(file.substr(header + 16, 19), "-922337203685477580");
    EXPECT_EQ(file.substr(header + record + 1, 15), "    12884901888");

    // A value no 64-bit slot holds, written by another program.
    std::string patched = file;
    patched.replace(header + 16, 19, "9999999999999999999");
    writeFile(path("n.dbf"), patched);
    ASSERT_TRUE(engine.Use(path("n.dbf")));
    ASSERT_TRUE(engine.Go(1));
    EXPECT_EQ(engine.FieldText(1), "123456789012345");
    EXPECT_DOUBLE_EQ(engine.FieldNumber(1), 123456789012345.0);
    ASSERT_TRUE(engine.SetFieldNumber(3, 43));
    ASSERT_TRUE(engine.Replace());
    ASSERT_TRUE(engine.CloseDbf());
    EXPECT_EQ(readFile(path("n.dbf")).substr(header + 1, 39),
              "1234567890123459999999999999999999   43");

    int status = -1;
    const std::string dump =
        run(std::string(QVDBF_PATH) + " dump " + path("n.dbf") + " 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(dump.find("\"big\":123456789012345,\"huge\":9999999999999999999"), std::string::npos)
        << dump;
}

TEST_F(TableTest, CallerBufferMustMatchTheLayout)
{
    openLog();
    EXPECT_EQ(engine.BufferSize(), 1u + 11 + 1 + 4 + 255);
    engine.CloseDbf();
    std::vector<uint8_t> buffer(100);
    EXPECT_EQ(codeOf([&] { engine.Use(path("logs.dbf"), buffer.data(), buffer.size()); }), 220);
    buffer.resize(272);
    ASSERT_TRUE(engine.Use(path("logs.dbf"), buffer.data(), buffer.size()));
    EXPECT_EQ(engine.FieldAddress(0), buffer.data());
    EXPECT_EQ(engine.FieldAddress(4), buffer.data() + 17);
}

// Layers on top of the engine report their own failures through report():
// each switch setting must route the error the same way an engine failure takes.
TEST_F(TableTest, ReportTakesTheConfiguredWay)
{
    struct Case {
        bool errorCheck;
        bool exceptions;
        bool handler;
        const char* expected; // "none", "handler", "exception" or "halt"
    };
    const Case cases[] = {
        {false, true, true, "none"},
        {true, true, true, "handler"},
        {true, true, false, "exception"},
        {true, false, false, "halt"},
    };
    for (const Case& c : cases) {
        std::string took = "none";
        std::string text;
        engine.setErrorCheck(c.errorCheck);
        engine.setExceptions(c.exceptions);
        engine.OnError = nullptr;
        if (c.handler)
            engine.OnError = [&](dbf::DbfEngine*, int, const std::string& t) {
                took = "handler";
                text = t;
            };
        engine.setHaltReporter([&](int, const std::string& t) {
            took = "halt";
            text = t;
        });
        try {
            engine.report(1103, "Invalid Operation [Post]");
        } catch (const dbf::EDbfError& e) {
            took = "exception";
            text = e.what();
            EXPECT_EQ(e.detail(), "Invalid Operation [Post]");
        }
        EXPECT_EQ(took, c.expected) << c.expected;
        EXPECT_EQ(engine.ErrorCode(), 1103);
        EXPECT_EQ(engine.ErrorMessage(), "Invalid Operation [Post]");
        if (took != "none") {
            EXPECT_EQ(text, "Error # 1103 (Invalid Operation )\r\nInvalid Operation [Post]");
        }
    }
    engine.OnError = nullptr;
    engine.setErrorCheck(true);
    engine.setExceptions(true);

    // The current reporter can be read back to be chained or restored, and an
    // empty one brings the default back.
    int chained = 0;
    engine.setHaltReporter([&](int code, const std::string&) { chained = code; });
    const dbf::DbfEngine::HaltReporter saved = engine.haltReporter();
    saved(7, "");
    EXPECT_EQ(chained, 7);
    engine.setHaltReporter(nullptr);
    ASSERT_TRUE(engine.haltReporter());
    EXPECT_EQ(engine.haltReporter().target<void (*)(int, const std::string&)>()[0],
              &dbf::DbfEngine::defaultHaltReporter);
}

TEST_F(TableTest, FailuresAreReportedTheWayTheCallerChose)
{
    engine.setExceptions(false);
    int haltedWith = 0;
    std::string haltText;
    engine.setHaltReporter([&](int code, const std::string& text) {
        haltedWith = code;
        haltText = text;
    });
    EXPECT_FALSE(engine.Go(1));
    EXPECT_EQ(haltedWith, 215);
    EXPECT_EQ(haltText,
              "Error # 215 (No database in use)\r\nNo database in use [Go]  WorkArea = 1");

    int handled = 0;
    engine.OnError = [&](dbf::DbfEngine* sender, int code, const std::string&) {
        EXPECT_EQ(sender, &engine);
        handled = code;
    };
    engine.GoTop();
    EXPECT_EQ(handled, 215);

    engine.OnError = nullptr;
    engine.setExceptions(true);
    try {
        engine.Skip(1);
        FAIL() << "no exception";
    } catch (const dbf::EDbfError& e) {
        EXPECT_EQ(e.code(), 215);
    }
    engine.setErrorCheck(false);
    EXPECT_FALSE(engine.Skip(1));
    EXPECT_EQ(engine.ErrorCode(), 215);
    engine.setErrorCheck(true);
    EXPECT_EQ(dbf::errorDescription(1250), "Network Error");
    EXPECT_EQ(dbf::errorDescription(9999), "Undefined error");
}

TEST_F(TableTest, SharedTablesNeedLocksAndExcludeExclusiveUsers)
{
    engine.setNetworkSharing(true);
    openLog();
    engine.CloseDbf();
    ASSERT_TRUE(engine.Use(path("logs.dbf")));
    engine.ClearRecord();
    EXPECT_EQ(codeOf([&] { engine.Append(); }), 5);
    ASSERT_TRUE(engine.ALock());
    ASSERT_TRUE(engine.Append());
    ASSERT_TRUE(engine.Unlock());
    EXPECT_EQ(codeOf([&] { engine.DeleteRec(); }), 1200);

    // A second user of the same file: shared works, exclusive is refused,
    // and a record lock held by one excludes the other.
    dbf::DbfEngine other;
    other.setExceptions(true);
    other.setNetworkSharing(true);
    EXPECT_TRUE(other.Use(path("logs.dbf")));
    ASSERT_TRUE(engine.RLock());
    other.setErrorCheck(false);
    EXPECT_FALSE(other.RLock());
    EXPECT_EQ(other.ErrorCode(), 33);
    ASSERT_TRUE(engine.DeleteRec());
    ASSERT_TRUE(engine.UnlockRec());
    EXPECT_TRUE(other.RLock());
    other.CloseDbf();
    dbf::DbfEngine third;
    third.setNetworkSharing(true);
    third.setErrorCheck(false);
    EXPECT_FALSE(third.Use(path("logs.dbf") + " EXCLUSIVE"));
    EXPECT_EQ(third.ErrorCode(), 32);
}

TEST(Real48, RoundTripsTheValuesNumbersTakeInTheBuffer)
{
    for (double v : {0.0, 1.0, -1.0, 3.5, 0.01, 123456.78, -98765.4321, 1e20, 2.5e-10}) {
        uint8_t bytes[6];
        dbf::encodeReal48(v, bytes);
        EXPECT_NEAR(dbf::decodeReal48(bytes), v, std::fabs(v) * 1e-11) << v;
    }
    uint8_t one[6];
    dbf::encodeReal48(1.0, one);
    EXPECT_EQ(one[0], 129);
    EXPECT_EQ(one[5], 0);
}

TEST(DateText, JulianDaysAndNames)
{
    EXPECT_EQ(dbf::julianDay({1, 1, 1}), 1721426);
    EXPECT_EQ(dbf::julianDay({2000, 1, 1}), 2451545);
    EXPECT_EQ(dbf::fromJulianDay(2451545), (dbf::CalendarDate{2000, 1, 1}));
    EXPECT_EQ(dbf::julianDay({2026, 2, 29}), 0);
    EXPECT_EQ(dbf::dayOfWeek({2000, 1, 1}), 7);
    EXPECT_EQ(dbf::dayName(0, 1), "Sunday");
    EXPECT_EQ(dbf::monthName(5, 3), "M\xE4rz");
    EXPECT_EQ(dbf::monthName(3, 1), "Gennaio");
    EXPECT_EQ(dbf::dateStyleFromFormat("dd.MM.yyyy"), 5);
    EXPECT_EQ(dbf::dateStyleFromFormat("d-M-yy"), 3);
    EXPECT_EQ(dbf::dateStyleFromFormat("dd/MM/yy"), 2);
    EXPECT_EQ(dbf::dateStyleFromFormat("yyyy-MM-dd"), 1);
    EXPECT_EQ(dbf::dateStyleFromFormat("M/d/yy"), 0);
    EXPECT_TRUE(dbf::fourDigitYearFromFormat("dd.MM.yyyy"));
    EXPECT_FALSE(dbf::fourDigitYearFromFormat("M/d/yy"));
}

// Error checking switched off for a scope comes back as it was, also when
// the scope is left by an exception.
TEST(ErrorCheckOffTest, RestoresTheSettingHoweverTheScopeEnds)
{
    for (const bool before : {true, false}) {
        dbf::DbfEngine engine;
        engine.setErrorCheck(before);
        {
            const dbf::ErrorCheckOff quiet(engine);
            EXPECT_FALSE(engine.errorCheck());
        }
        EXPECT_EQ(engine.errorCheck(), before);
        try {
            const dbf::ErrorCheckOff quiet(engine);
            throw std::runtime_error("left early");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(engine.errorCheck(), before);
    }
}

} // namespace
