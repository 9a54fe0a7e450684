#include "platform/ansi.h"

#include <gtest/gtest.h>

using platform::fromAnsi;
using platform::toAnsi;

TEST(Ansi, EveryByteSurvivesARoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(toAnsi(fromAnsi(all)), all);
}

TEST(Ansi, CodePageCharactersMapToTheirUnicodeTwins)
{
    EXPECT_EQ(fromAnsi("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(fromAnsi("caf\xE9"), QStringLiteral("café"));
    EXPECT_EQ(toAnsi(QString::fromUtf8("“q”")), "\x93q\x94");
}

TEST(Ansi, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(toAnsi(QString::fromUtf8("a\u0416b")), "a?b");
}
