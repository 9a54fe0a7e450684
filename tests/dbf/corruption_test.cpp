// Damaged files give the engine's error codes, never a crash or a hang.
#include "dbf_test_support.h"

#include "dbf/table_check.h"

#include <filesystem>
#include <random>

using dbftest::EngineTest;

namespace {

class CorruptionTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        openLog();
        for (int i = 0; i < 120; ++i)
            appendLog("0" + std::to_string(1 + i % 9) + "/01/2026", i % 2 == 0,
                      "http://site" + std::to_string(i * 7 % 50) + "/",
                      {"memo", std::to_string(i)});
        EXPECT_TRUE(engine.MakeIndex("left(url,50)", path("url.ndx")));
        EXPECT_TRUE(engine.MakeIndex("date", path("date.ndx")));
        engine.CloseDbf();
        for (const char* name : {"logs.dbf", "logs.dbt", "url.ndx", "date.ndx"})
            m_original[name] = readFile(path(name));
    }

    void restore()
    {
        for (const auto& [name, bytes] : m_original)
            writeFile(path(name), bytes);
    }

    // Writes a damaged copy of one file: `edit` changes the bytes.
    template <typename F> void damage(const std::string& name, F&& edit)
    {
        restore();
        std::string bytes = m_original[name];
        edit(bytes);
        writeFile(path(name), bytes);
    }

    std::map<std::string, std::string> m_original;
};

void put32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = char(value >> (8 * i));
}

TEST_F(CorruptionTest, DamagedTablesGiveTheirCodes)
{
    struct Case {
        const char* what;
        std::function<void(std::string&)> edit;
        int code;
    };
    const Case cases[] = {
        {"short header", [](std::string& b) { b.resize(20); }, 210},
        {"bad version byte", [](std::string& b) { b[0] = 0x01; }, 210},
        {"header length without fields",
         [](std::string& b) {
             b[8] = 40;
             b[9] = 0;
         },
         210},
        {"header length past the end",
         [](std::string& b) {
             b[8] = char(0xFF);
             b[9] = char(0xFF);
         },
         100},
        {"record length too short",
         [](std::string& b) {
             b[10] = 10;
             b[11] = 0;
         },
         210},
        {"unknown field type", [](std::string& b) { b[32 + 11] = 'Q'; }, 211},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        damage("logs.dbf", c.edit);
        EXPECT_EQ(codeOf([&] { engine.Use(path("logs.dbf")); }), c.code);
        EXPECT_FALSE(engine.IsOpen());
    }
    damage("logs.dbf", [](std::string& b) { b[0] = 0x01; });
    codeOf([&] { engine.Use(path("logs.dbf")); });
    EXPECT_EQ(engine.ErrorMessage(),
              path("logs.dbf") + " is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]");
    restore();
    std::filesystem::remove(path("logs.dbt"));
    EXPECT_EQ(codeOf([&] { engine.Use(path("logs.dbf")); }), 2);
    EXPECT_EQ(engine.ErrorMessage(), "Problem with memo [USE(" + path("logs.dbf") + ")]");
}

TEST_F(CorruptionTest, MemoPointerPastTheEndIsAnInvalidAddress)
{
    damage("logs.dbf", [](std::string& b) { b.replace(161 + 12, 10, "     99999"); });
    ASSERT_TRUE(engine.Use(path("logs.dbf")));
    EXPECT_EQ(codeOf([&] { engine.GetMemoField(3); }), 1003);
    engine.CloseDbf();
    EXPECT_NE(dbf::checkTable(path("logs.dbf"), {}), "");
}

TEST_F(CorruptionTest, DamagedIndexesGiveTheirCodes)
{
    struct Case {
        const char* what;
        std::function<void(std::string&)> edit;
        int code;
    };
    const Case cases[] = {
        {"shorter than a node", [](std::string& b) { b.resize(700); }, 222},
        {"expression garbage", [](std::string& b) { b.replace(24, 5, "((((("); }, 222},
        {"key length 0",
         [](std::string& b) {
             b[12] = 0;
             b[13] = 0;
         },
         266},
        {"root pointer 0", [](std::string& b) { put32(b, 0, 0); }, 222},
        {"root past the end", [](std::string& b) { put32(b, 0, 5000); }, 222},
        {"child pointer 0",
         [](std::string& b) {
             const uint32_t root = uint8_t(b[0]) | uint8_t(b[1]) << 8;
             put32(b, root * 512 + 4, 0);
         },
         254},
        {"child past the end",
         [](std::string& b) {
             const uint32_t root = uint8_t(b[0]) | uint8_t(b[1]) << 8;
             put32(b, root * 512 + 4, 99999);
         },
         222},
        {"too many keys in a node", [](std::string& b) { put32(b, 512, 400); }, 222},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        damage("url.ndx", c.edit);
        ASSERT_TRUE(engine.Use(path("logs.dbf")));
        int code = codeOf([&] { engine.SetIndexTo(path("url.ndx")); });
        if (code == 0)
            code = codeOf([&] {
                for (engine.GoTop(); !engine.Eof() && engine.ErrorCode() == 0; engine.Skip(1)) {
                }
            });
        EXPECT_EQ(code, c.code);
        engine.CloseDbf();
        EXPECT_NE(dbf::checkTable(path("logs.dbf"), {path("url.ndx")}), "");
    }
}

// Random damage to any of the four files, then every kind of use. The test
// passes when nothing crashes or hangs; the engine may report any code.
TEST_F(CorruptionTest, RandomDamageIsSurvived)
{
    std::mt19937 random(20261208);
    const char* names[] = {"logs.dbf", "logs.dbt", "url.ndx", "date.ndx"};
    engine.setErrorCheck(false);
    for (int round = 0; round < 250; ++round) {
        const std::string name = names[random() % 4];
        damage(name, [&](std::string& b) {
            const int flips = 1 + int(random() % 6);
            for (int i = 0; i < flips; ++i) {
                // Damage the headers more often: that is where the pointers are.
                const size_t span = random() % 2 ? std::min<size_t>(b.size(), 1024) : b.size();
                b[random() % span] = char(random());
            }
            if (random() % 10 == 0)
                b.resize(random() % b.size());
        });
        dbf::checkTable(path("logs.dbf"), {path("url.ndx"), path("date.ndx")});
        if (!engine.Use(path("logs.dbf")))
            continue;
        const long count = engine.RecCount();
        long steps = 0;
        for (engine.GoTop(); !engine.Eof() && engine.ErrorCode() == 0 && steps < count + 5;
             ++steps) {
            engine.GetMemoField(3);
            engine.Skip(1);
        }
        for (const char* index : {"url.ndx", "date.ndx"}) {
            if (!engine.SetIndexTo(path(index)))
                continue;
            steps = 0;
            for (engine.GoTop(); !engine.Eof() && engine.ErrorCode() == 0 && steps < 2 * count + 5;
                 ++steps)
                engine.Skip(1);
            engine.GoBottom();
            engine.Skip(-3);
            engine.Find("http://site1");
            engine.ClearRecord();
            engine.SetFieldText(4, "http://new/");
            engine.Append();
        }
        engine.CloseDbf();
    }
    engine.setErrorCheck(true);
    SUCCEED();
}

} // namespace
