#include "dbf/index_list.h"

#include <gtest/gtest.h>

namespace {

struct OptionsCase {
    const char* given;
    const char* path;
    bool unique, soundex, descending, noCache;
};

// Option words may come in any letter case and order; what remains is the
// file name, which gets ".ndx" only when it has no extension of its own.
TEST(IndexListTest, OptionWordsAreTakenOutOfTheFileName)
{
    const OptionsCase cases[] = {
        {"url", "url.ndx", false, false, false, false},
        {"  url.idx  ", "url.idx", false, false, false, false},
        {"url UNIQUE", "url.ndx", true, false, false, false},
        {"url descending unique", "url.ndx", true, false, true, false},
        {"url Soundex NoCache", "url.ndx", false, true, false, true},
        {"my index.ndx UNIQUE", "my index.ndx", true, false, false, false},
        {"logs.d/url", "logs.d/url.ndx", false, false, false, false},
        {"", "", false, false, false, false},
        {" UNIQUE", "", true, false, false, false},
    };
    for (const OptionsCase& c : cases) {
        const dbf::IndexOptions options = dbf::parseIndexOptions(c.given);
        EXPECT_EQ(options.path, c.path) << c.given;
        EXPECT_EQ(options.unique, c.unique) << c.given;
        EXPECT_EQ(options.soundex, c.soundex) << c.given;
        EXPECT_EQ(options.descending, c.descending) << c.given;
        EXPECT_EQ(options.noCache, c.noCache) << c.given;
    }
}

// In a list, an option word belongs to the file before it; every other word
// starts a new index, a leading option word included.
TEST(IndexListTest, ListsSplitIntoFilesWithTheirOptions)
{
    const struct {
        const char* list;
        std::vector<std::string> texts;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"url.ndx date.ndx", {"url.ndx", "date.ndx"}},
        {"  url.ndx   unique  date.ndx DESCENDING nocache ",
         {"url.ndx unique", "date.ndx DESCENDING nocache"}},
        {"unique url", {"unique", "url"}},
        {"uniqueness url", {"uniqueness", "url"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> texts;
        for (const dbf::IndexListEntry& entry : dbf::splitIndexList(c.list))
            texts.push_back(entry.text());
        EXPECT_EQ(texts, c.texts) << c.list;
    }
    const std::vector<dbf::IndexListEntry> entries = dbf::splitIndexList("a.ndx UNIQUE b");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].file, "a.ndx");
    EXPECT_EQ(entries[0].options, std::vector<std::string>{"UNIQUE"});
    EXPECT_TRUE(entries[1].options.empty());
}

} // namespace
