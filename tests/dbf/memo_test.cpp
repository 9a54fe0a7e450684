#include "dbf_test_support.h"

#include "dbf/memo_file.h"

using dbftest::EngineTest;

namespace {

class MemoTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        openLog();
    }

    int32_t store(const std::vector<std::string>& lines)
    {
        engine.ClearRecord();
        EXPECT_TRUE(engine.SetMemoField(3, lines));
        EXPECT_TRUE(engine.Append());
        return engine.FieldMemoBlock(3);
    }

    std::string memoBytes()
    {
        engine.FlushFile();
        return readFile(path("logs.dbt"));
    }
};

TEST_F(MemoTest, FirstMemoTakesBlockOneAndEndsOnABlockBoundary)
{
    EXPECT_EQ(store({"first line", "second line"}), 1);
    const std::string bytes = memoBytes();
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(bytes.substr(512, 25), "first line\r\nsecond line\x1A\x1A");
    EXPECT_EQ(bytes[537], '\0');
    EXPECT_EQ(bytes[0], 2); // next free block
    EXPECT_EQ(engine.GetMemoField(3), (std::vector<std::string>{"first line", "second line"}));
}

TEST_F(MemoTest, BlockBoundariesAreExact)
{
    EXPECT_EQ(store({std::string(510, 'a')}), 1); // 510 bytes + 0x1A 0x1A fill block 1 ...
    EXPECT_EQ(store({std::string(511, 'b')}), 2); // ... and 511 + 0x1A 0x1A spill into a second
    EXPECT_EQ(store({"c"}), 4);
    EXPECT_EQ(memoBytes().size(), 5u * 512);
    engine.Go(2);
    EXPECT_EQ(engine.GetMemoField(3).size(), 3u); // 254 + 254 + 4 characters
    engine.Go(1);
    EXPECT_EQ(engine.GetMemoField(3).at(0), std::string(254, 'a'));
}

TEST_F(MemoTest, EmptyTextWritesNothing)
{
    EXPECT_EQ(store({}), 0);
    EXPECT_EQ(store({""}), 0);
    EXPECT_EQ(memoBytes().size(), 513u);
    EXPECT_EQ(engine.RawFieldText(3), "          "); // blank: no memo
    EXPECT_TRUE(engine.GetMemoField(3).empty());
}

TEST_F(MemoTest, RewrittenMemoGoesToTheEnd)
{
    store({"old"});
    store({"other"});
    engine.Go(1);
    ASSERT_TRUE(engine.SetMemoField(3, {"new text"}));
    ASSERT_TRUE(engine.Replace());
    EXPECT_EQ(engine.FieldMemoBlock(3), 3);
    EXPECT_EQ(memoBytes().substr(512, 4), "old\x1A");
    engine.Go(1);
    EXPECT_EQ(engine.GetMemoField(3), std::vector<std::string>{"new text"});
}

TEST_F(MemoTest, LongLinesSplitAtABlankAndLineCountIsCapped)
{
    const std::string words = std::string(250, 'x') + " tail-of-the-line";
    std::vector<std::string> many(1100, "l");
    many[0] = words;
    store(many);
    const auto lines = engine.GetMemoField(3);
    ASSERT_EQ(lines.size(), 1024u);
    EXPECT_EQ(lines[0], std::string(250, 'x') + " ");
    EXPECT_EQ(lines[1], "tail-of-the-line");
    EXPECT_EQ(dbf::splitMemoLines("a\x8D\nb\rc"), (std::vector<std::string>{"a", "b\rc"}));
}

// Between flushes the header's next free block may run ahead of the data but
// never behind it: a copy taken at any moment (what a crash leaves) must take
// new memos after the old ones, and a flush writes the exact value again.
TEST_F(MemoTest, HeaderNeverNamesABlockThatHoldsAMemo)
{
    auto nextFree = [](const std::string& bytes) {
        return uint32_t(uint8_t(bytes[0])) | uint32_t(uint8_t(bytes[1])) << 8 |
               uint32_t(uint8_t(bytes[2])) << 16;
    };
    for (int i = 0; i < 300; ++i) {
        store({"memo " + std::to_string(i)});
        if (i % 37 == 0 || i == 299) {
            const std::string bytes = readFile(path("logs.dbt"));
            ASSERT_GE(uint64_t(nextFree(bytes)) * 512, bytes.size()) << i;
        }
    }
    for (const char* name : {"logs.dbf", "logs.dbt"})
        std::filesystem::copy_file(path(name), path(std::string("crash") + (name + 4)));
    EXPECT_EQ(nextFree(memoBytes()), 301u);

    dbf::DbfEngine after;
    after.setExceptions(true);
    after.setAutoFixRecCount(true);
    ASSERT_TRUE(after.Use(path("crash.dbf")));
    ASSERT_EQ(after.RecCount(), 300);
    after.ClearRecord();
    ASSERT_TRUE(after.SetMemoField(3, {"after the crash"}));
    ASSERT_TRUE(after.Append());
    EXPECT_EQ(after.FieldMemoBlock(3), 301);
    after.Go(300);
    EXPECT_EQ(after.GetMemoField(3), std::vector<std::string>{"memo 299"});
    ASSERT_TRUE(after.CloseDbf());
    EXPECT_EQ(nextFree(readFile(path("crash.dbt"))), 302u);
    EXPECT_EQ(dbf::checkTable(path("crash.dbf"), {}), "");
}

TEST_F(MemoTest, BadPointersAndBinaryMemos)
{
    store({"text"});
    engine.Go(1);
    engine.SetFieldText(3, "-5");
    EXPECT_EQ(engine.GetMemoField(3), std::vector<std::string>{"(BLOB)"});
    engine.SetFieldText(3, "7");
    EXPECT_EQ(codeOf([&] { engine.GetMemoField(3); }), 1003);
    EXPECT_NE(engine.ErrorMessage().find("[GetMemo]"), std::string::npos);
}

TEST_F(MemoTest, DBase4VariantRoundTrips)
{
    engine.CloseDbf();
    engine.setMemoStyle(dbf::MemoStyle::DBase4);
    ASSERT_TRUE(engine.CreateDBF(path("four.dbf"), logFields()));
    EXPECT_EQ(uint8_t(readFile(path("four.dbf"))[0]), 0x8B);
    const std::string header = readFile(path("four.dbt"));
    ASSERT_EQ(header.size(), 24u);
    EXPECT_EQ(header.substr(8, 4), "FOUR");
    EXPECT_EQ(header[18], 2);
    EXPECT_EQ(header[19], 1);
    ASSERT_TRUE(engine.Use(path("four.dbf")));
    engine.ClearRecord();
    engine.SetMemoField(3, {"one", "two"});
    engine.Append();
    EXPECT_EQ(engine.FieldMemoBlock(3), 1);
    engine.FlushFile();
    const std::string bytes = readFile(path("four.dbt"));
    EXPECT_EQ(bytes.substr(512, 8), std::string("\xFF\xFF\x08\x00\x10\x00\x00\x00", 8));
    EXPECT_EQ(bytes.substr(520, 8), "one\r\ntwo");
    EXPECT_EQ(engine.GetMemoField(3), (std::vector<std::string>{"one", "two"}));
    engine.ClearRecord();
    engine.Append();
    engine.Go(1);
    engine.DeleteRec();
    ASSERT_TRUE(engine.Pack());
    EXPECT_EQ(engine.RecCount(), 1);
}

} // namespace

namespace {

// A memo written through a text channel reads back line by line; appending
// keeps the old text (long lines whole) and stores a new memo at the end;
// misuse gives the text-file codes.
TEST_F(MemoTest, TextChannelWritesReadsAndAppends)
{
    dbf::MemoChannel channel(engine);
    EXPECT_EQ(codeOf([&] { channel.Reset(); }), 102);
    EXPECT_EQ(engine.ErrorMessage(), "File not assigned [AssignMemo]");

    engine.ClearRecord();
    ASSERT_TRUE(engine.AssignMemoField(channel, 3));
    ASSERT_TRUE(channel.Rewrite());
    const std::string longLine = std::string(300, 'w');
    channel.Write("first ");
    channel.WriteLn("line");
    channel.WriteLn(longLine);
    ASSERT_TRUE(channel.Close());
    EXPECT_EQ(engine.FieldMemoBlock(3), 1);
    ASSERT_TRUE(engine.Append());

    ASSERT_TRUE(channel.Reset());
    std::vector<std::string> read;
    while (!channel.Eof())
        read.push_back(channel.ReadLn());
    EXPECT_EQ(read, (std::vector<std::string>{"first line", longLine.substr(0, 254),
                                              longLine.substr(254)}));
    EXPECT_EQ(codeOf([&] { channel.WriteLn("x"); }), 105);
    channel.Close();
    EXPECT_EQ(codeOf([&] { channel.ReadLn(); }), 104);

    // A plain variable works as well, and the channel stays with its area.
    int32_t block = engine.FieldMemoBlock(3);
    dbf::MemoChannel byBlock(engine);
    ASSERT_TRUE(engine.AssignMemo(byBlock, block));
    ASSERT_TRUE(engine.Select(2));
    ASSERT_TRUE(byBlock.Append());
    byBlock.WriteLn("added");
    ASSERT_TRUE(byBlock.Close());
    ASSERT_TRUE(engine.Select(1));
    EXPECT_EQ(block, 2);
    EXPECT_EQ(readFile(path("logs.dbt")).substr(1024, 20), "first line\r\n" + std::string(8, 'w'));
    EXPECT_EQ(engine.GetMemo(block).back(), "added");
    EXPECT_EQ(engine.GetMemo(1).size(), 3u); // the old memo stays as it was

    // Nothing written: the variable becomes 0.
    ASSERT_TRUE(byBlock.Rewrite());
    ASSERT_TRUE(byBlock.Close());
    EXPECT_EQ(block, 0);
}

TEST_F(MemoTest, BytesComeBackExactlyAsStored)
{
    std::string big;
    for (int i = 0; big.size() < 400 * 1024; ++i)
        big += std::string(size_t(i % 700), char('a' + i % 26)) + (i % 3 ? "\r\n" : " \n");
    big += "\r\n"; // a trailing line end is kept
    const std::vector<std::pair<const char*, std::string>> texts = {
        {"400 KB of long and many lines", big},
        {"soft returns", "one\x8D\ntwo\r\n"},
        {"two characters", "ab"},
        {"only a line end", "\r\n"},
        {"high bytes", "\xE9t\xE9 \xFF\x80"},
    };
    for (const auto& [name, text] : texts) {
        SCOPED_TRACE(name);
        engine.ClearRecord();
        ASSERT_TRUE(engine.SetMemoFieldBytes(3, text));
        ASSERT_TRUE(engine.Append());
    }
    engine.CloseDbf();
    ASSERT_TRUE(engine.Use(path("logs.dbf") + " EXCLUSIVE"));
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].first);
        engine.Go(long(i + 1));
        std::string out;
        ASSERT_TRUE(engine.GetMemoFieldBytes(3, out));
        EXPECT_EQ(out, texts[i].second);
        EXPECT_EQ(engine.GetMemoBytes(engine.FieldMemoBlock(3)), texts[i].second);
    }
}

TEST_F(MemoTest, TextHoldingTheEndByteIsRefusedNotCut)
{
    store({"kept"});
    const std::string before = memoBytes();
    for (const std::string& text : {std::string("cut\x1Ahere"), std::string("\x1A")}) {
        engine.ClearRecord();
        EXPECT_EQ(codeOf([&] { engine.SetMemoFieldBytes(3, text); }), 1006);
        EXPECT_EQ(codeOf([&] { engine.SetMemoField(3, {"line", text}); }), 1006);
        EXPECT_EQ(engine.FieldMemoBlock(3), 0);
    }
    EXPECT_EQ(memoBytes(), before);
}

TEST_F(MemoTest, DamagedPointerFailsOneRecordOnly)
{
    store({"first"});
    store({"second"});
    store({"third"});
    engine.CloseDbf();
    // Record 2 points past the memo file, record 3 holds no number at all.
    std::string table = readFile(path("logs.dbf"));
    const size_t memoField = 161 + 276 + 1 + 10 + 1;
    table.replace(memoField, 10, "      9999");
    table.replace(memoField + 276, 10, "   12x4   ");
    writeFile(path("logs.dbf"), table);
    ASSERT_TRUE(engine.Use(path("logs.dbf") + " EXCLUSIVE"));
    std::vector<std::pair<int, std::string>> seen;
    for (long r = 1; r <= 3; ++r) {
        engine.Go(r);
        std::string out = "unchanged";
        const int code = codeOf([&] { engine.GetMemoFieldBytes(3, out); });
        seen.emplace_back(code, out);
    }
    EXPECT_EQ(seen,
              (std::vector<std::pair<int, std::string>>{{0, "first"}, {1003, ""}, {1003, ""}}));
}

} // namespace
