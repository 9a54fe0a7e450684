// A full disk (or an I/O error) at any file-changing call of an append, a
// memo rewrite or a pack: the operation reports an error code, the table
// opens afterwards, and nothing stored before is lost.
#include "dbf_test_support.h"

#include "dbf/posix_file.h"

#include <filesystem>
#include <functional>

using dbftest::EngineTest;

namespace {

namespace fs = std::filesystem;

class FullDiskTest : public EngineTest {
protected:
    void TearDown() override
    {
        dbf::fault::clear();
        EngineTest::TearDown();
    }

    void makeBase()
    {
        fs::create_directories(path("base"));
        ASSERT_TRUE(engine.CreateDBF(path("base/logs.dbf"), logFields()));
        ASSERT_TRUE(engine.Use(path("base/logs.dbf") + " EXCLUSIVE"));
        for (int i = 1; i <= 8; ++i) {
            engine.ClearRecord();
            ASSERT_TRUE(engine.SetMemoFieldBytes(3, "memo " + std::to_string(i) +
                                                        std::string(size_t(i * 150), 'm')));
            engine.SetFieldText(4, "http://site/" + std::to_string(i));
            ASSERT_TRUE(engine.Append());
        }
        engine.Go(2);
        engine.DeleteRec();
        engine.CloseDbf();
    }
};

TEST_F(FullDiskTest, FailedWritesReportTheirCodeAndLoseNothing)
{
    makeBase();
    const std::vector<std::string> before = tableRecords(path("base/logs.dbf"));
    const std::string newMemo = "new answer\r\n" + std::string(900, 'n');
    struct Operation {
        const char* name;
        std::function<void()> run;
        // What the table may hold afterwards, besides what it held before.
        std::vector<std::string> after;
    };
    std::vector<std::string> appended = before;
    appended.push_back(recordLine(false, "http://new/", newMemo));
    std::vector<std::string> rewritten = before;
    rewritten[4] = recordLine(false, "http://site/5", newMemo);
    std::vector<std::string> packed = before;
    packed.erase(packed.begin() + 1);
    const std::vector<Operation> operations = {
        {"append",
         [&] {
             engine.ClearRecord();
             if (engine.SetMemoFieldBytes(3, newMemo) && engine.SetFieldText(4, "http://new/"))
                 engine.Append();
         },
         appended},
        {"memo rewrite",
         [&] {
             engine.Go(5);
             if (engine.SetMemoFieldBytes(3, newMemo))
                 engine.Replace();
         },
         rewritten},
        {"pack", [&] { engine.Pack(); }, packed},
    };
    long failuresTried = 0;
    for (const auto& op : operations) {
        for (long n = 1;; ++n) {
            SCOPED_TRACE(std::string(op.name) + " failing at call " + std::to_string(n));
            const std::string dir = path(std::string("run") + std::to_string(failuresTried));
            fs::remove_all(dir);
            fs::copy(path("base"), dir);
            ASSERT_TRUE(engine.Use(dir + "/logs.dbf EXCLUSIVE"));
            dbf::fault::set(dbf::fault::Kind::Any, n,
                            n % 2 ? dbf::fault::Action::NoSpace : dbf::fault::Action::IoError);
            engine.setErrorCheck(false);
            op.run();
            const int code = engine.ErrorCode();
            const bool reached = dbf::fault::calls(dbf::fault::Kind::Any) >= n;
            dbf::fault::clear();
            engine.CloseDbf();
            engine.setErrorCheck(true);
            if (!reached) {
                EXPECT_EQ(code, 0);
                EXPECT_EQ(tableRecords(dir + "/logs.dbf"), op.after);
                break;
            }
            ++failuresTried;
            const std::vector<std::string> got = tableRecords(dir + "/logs.dbf");
            // Success may only be reported when the operation's result is
            // there (a failure to tidy up after it, like removing the pack's
            // intent file, leaves that to the next open).
            if (code == 0)
                EXPECT_EQ(got, op.after) << "a failed write reported as success";
            else
                EXPECT_TRUE(got == before || got == op.after) << ::testing::PrintToString(got);
            ASSERT_LT(n, 200);
        }
    }
    std::printf("full disk: %ld failing calls tried\n", failuresTried);
    EXPECT_GT(failuresTried, 10);
}

} // namespace
