// How the program with windows reports the table layer's failures: notices
// in a message box, and an engine failure that nobody handles in the
// "Program halted." box, after which the program ends with the error code.

#include "app_test_env.h"

#include "app/table_reporters.h"
#include "dbf/dataset/tz_dbf.h"

#include <cstdio>
#include <cstdlib>

namespace {

class TableReporters : public AppTest {
protected:
    void TearDown() override
    {
        TTzODbf::setHaltReporter(nullptr);
        TTzODbf::setMessageReporter(nullptr);
        AppTest::TearDown();
    }
};

TEST_F(TableReporters, NoticesShowInABoxCaptionedWithTheProgramsName)
{
    app::installTableReporters();
    TTzDbf table;
    table.setName("t");
    table.setDbfFileName(home() + "t.dbf");
    table.setActive(true); // no field declarations: nothing can be created
    EXPECT_FALSE(table.Active());
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].caption, "Quorvane");
    EXPECT_EQ(MessageBox::shown()[0].text, "FieldList.Count is <= 0 trying to create a database");
}

TEST_F(TableReporters, AnUnhandledEngineFailureEndsTheProgramWithItsCode)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto failOnAClosedTable = [] {
        app::installTableReporters();
        // The boxes shown before the end, told on stderr for the parent.
        std::atexit([] {
            for (const MessageBox::Shown& box : MessageBox::shown())
                std::fprintf(stderr, "box %s: %s\n", qPrintable(box.caption), qPrintable(box.text));
        });
        TTzDbf table;
        table.SetCField("url", "x");
    };
    // Exit codes keep the low eight bits: 1103 ends the program with 79.
    EXPECT_EXIT(failOnAClosedTable(), ::testing::ExitedWithCode(1103 & 0xFF),
                "box Program halted\\.: Error # 1103 .*Database is not open \\[SetCField\\]");
}

} // namespace
