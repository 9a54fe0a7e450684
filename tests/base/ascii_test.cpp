#include "base/ascii.h"

#include <gtest/gtest.h>

namespace {

TEST(Ascii, CaseChangesOnlyAsciiLetters)
{
    // 0xE9 is an accented letter in the program's code page: it must not be
    // touched, whatever locale the process runs in.
    EXPECT_EQ(base::toUpper("abc-xyz \xE9\x7F"), "ABC-XYZ \xE9\x7F");
    EXPECT_EQ(base::toLower("ABC@[`{ \xC9"), "abc@[`{ \xC9");
    EXPECT_TRUE(base::equalsIgnoreCase("Content-Length", "CONTENT-length"));
    EXPECT_FALSE(base::equalsIgnoreCase("\xE9", "\xC9"));
    EXPECT_FALSE(base::equalsIgnoreCase("ab", "abc"));
}

TEST(Ascii, TrimsTheRightCharacters)
{
    struct Case {
        const char* text;
        const char* trimmed;
        const char* spaces;
        const char* right;
    };
    const Case cases[] = {
        {"", "", "", ""},
        {"   ", "", "", ""},
        {" a b ", "a b", "a b", " a b"},
        {"\t a\r\n", "a", "\t a\r\n", "\t a\r\n"},
        {"  \xA0x\xA0  ", "\xA0x\xA0", "\xA0x\xA0", "  \xA0x\xA0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(base::trimmed(c.text), c.trimmed) << c.text;
        EXPECT_EQ(base::trimmedSpaces(c.text), c.spaces) << c.text;
        EXPECT_EQ(base::trimmedRightSpaces(c.text), c.right) << c.text;
    }
}

} // namespace
