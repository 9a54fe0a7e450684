// A child process (qvdbf) is killed at each file-changing system call of an
// append, a memo write, a pack and a zap in turn, through the fault hook of
// the file layer. Every table left behind must open, in our engine and in the
// peers, as the table before the operation or the table after it: every
// record with its own memo, none lost, none twice.
#include "dbf_test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

extern char** environ;

using dbftest::EngineTest;

namespace {

namespace fs = std::filesystem;

const char* const kPython = "/usr/bin/python3";

// What a reader shows of one table: all records in order (engine, Perl
// XBase), or the live ones first and then the deleted ones (dbfread).
struct State {
    std::string inOrder;
    std::string liveThenDeleted;
    long records = 0;
};

class CrashTest : public EngineTest {
protected:
    struct Scenario {
        const char* name;
        std::vector<std::string> arguments; // after the command's table argument
        const char* command;
    };

    // The table every scenario starts from: memos of one to four blocks, a
    // record without memo, and two deleted records.
    void makeBase()
    {
        fs::create_directories(path("base"));
        ASSERT_TRUE(engine.CreateDBF(path("base/logs.dbf"), logFields()));
        ASSERT_TRUE(engine.Use(path("base/logs.dbf") + " EXCLUSIVE"));
        for (int i = 1; i <= 10; ++i) {
            engine.ClearRecord();
            engine.SetFieldText(1, "03/14/2026");
            engine.SetFieldLogical(2, i % 2 == 0);
            if (i != 4) {
                ASSERT_TRUE(
                    engine.SetMemoFieldBytes(3, "answer " + std::to_string(i) + "\r\n" +
                                                    std::string(size_t(i * 170), 'a' + char(i))));
            }
            engine.SetFieldText(4, "http://site/" + std::to_string(i));
            ASSERT_TRUE(engine.Append());
        }
        for (long r : {3L, 7L}) {
            engine.Go(r);
            engine.DeleteRec();
        }
        engine.CloseDbf();
    }

    // Our engine's view, counting records from the file size.
    static State engineState(const std::string& dir)
    {
        State state;
        std::string live, deleted;
        for (const std::string& line : tableRecords(dir + "/logs.dbf")) {
            state.inOrder += line;
            (line[0] == 'D' ? deleted : live) += line;
            ++state.records;
        }
        state.liveThenDeleted = live + deleted;
        return state;
    }

    // Runs qvdbf on the table in `dir`; true when the fault hook killed it.
    static bool runChild(const std::string& command, const std::string& dir,
                         const std::vector<std::string>& arguments, const std::string& fault)
    {
        std::vector<std::string> argv{QVDBF_PATH, command, dir + "/logs.dbf"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "QUORVANE_FAULT=", 15) != 0)
                env.push_back(*e);
        if (!fault.empty())
            env.push_back("QUORVANE_FAULT=" + fault);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int rc =
            posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFSIGNALED(status))
            return WTERMSIG(status) == SIGKILL;
        EXPECT_EQ(WEXITSTATUS(status), 0) << command << " " << fault;
        return false;
    }

    // The peers' view of every table, in one run of each peer: a block of
    // lines per folder, "== FOLDER" first.
    std::map<std::string, std::string> peerStates(const std::vector<std::string>& dirs, bool perl)
    {
        std::string list;
        for (const auto& d : dirs)
            list += " " + d;
        std::string out;
        int status = -1;
        if (perl) {
            writeFile(path("read.pl"),
                      "use XBase;\n"
                      "for my $d (@ARGV) {\n"
                      "  print \"== $d\\n\";\n"
                      "  my $t = XBase->new(\"$d/logs.dbf\") or do { print \"ERROR\\n\"; next };\n"
                      "  for my $i (0 .. $t->last_record) {\n"
                      "    my ($del, $date, $ok, $memo, $url) = $t->get_record($i);\n"
                      "    $url =~ s/ +$//;\n"
                      "    print(($del ? 'D' : 'L') . \" $url \" . unpack('H*', $memo // '') . "
                      "\"\\n\");\n"
                      "  }\n"
                      "  $t->close;\n"
                      "}\n");
            out = run("perl " + path("read.pl") + list + " 2>&1", &status);
        } else {
            writeFile(path("read.py"),
                      "import sys, dbfread\n"
                      "for d in sys.argv[1:]:\n"
                      "    print('== ' + d)\n"
                      "    t = dbfread.DBF(d + '/logs.dbf', encoding='latin-1', load=True)\n"
                      "    for flag, rows in (('L', t.records), ('D', t.deleted)):\n"
                      "        for r in rows:\n"
                      "            m = (r['MESSAGE'] or '').encode('latin-1').hex()\n"
                      "            print(flag, r['URL'].rstrip(' '), m)\n");
            out = run(std::string(kPython) + " " + path("read.py") + list + " 2>&1", &status);
        }
        EXPECT_EQ(status, 0) << out;
        std::map<std::string, std::string> states;
        std::istringstream in(out);
        std::string line, current;
        while (std::getline(in, line)) {
            if (line.rfind("== ", 0) == 0) {
                current = line.substr(3);
                states[current];
            } else
                states[current] += line + "\n";
        }
        return states;
    }

    struct Counts {
        long killPoints = 0;
        long recordsCompared = 0;
        long losses = 0;
    };

    void runScenario(const Scenario& s, Counts& counts)
    {
        SCOPED_TRACE(s.name);
        const State before = engineState(path("base"));
        const std::string afterDir = path(std::string(s.name) + "_after");
        fs::copy(path("base"), afterDir);
        ASSERT_FALSE(runChild(s.command, afterDir, s.arguments, ""));
        const State after = engineState(afterDir);
        ASSERT_NE(before.inOrder, after.inOrder);

        std::vector<std::string> dirs;
        for (long n = 1;; ++n) {
            const std::string dir = path(std::string(s.name) + "_" + std::to_string(n));
            fs::copy(path("base"), dir);
            if (!runChild(s.command, dir, s.arguments, "any:" + std::to_string(n) + ":kill")) {
                fs::remove_all(dir);
                break;
            }
            ++counts.killPoints;
            dirs.push_back(dir);
            ASSERT_LT(n, 500) << "the operation never ends";
        }
        ASSERT_FALSE(dirs.empty());
        std::printf("%s: %zu kill points\n", s.name, dirs.size());
        for (const auto& dir : dirs) {
            SCOPED_TRACE(dir);
            // Our engine first: it finishes or undoes what the crash left.
            const State got = engineState(dir);
            counts.recordsCompared += got.records;
            const bool same = got.inOrder == before.inOrder || got.inOrder == after.inOrder;
            counts.losses += same ? 0 : 1;
            EXPECT_TRUE(same) << got.inOrder;
            // The record count on disk, not what a reader that hides deleted
            // records shows.
            EXPECT_TRUE(got.records == before.records || got.records == after.records);
        }
        for (bool perl : {false, true}) {
            SCOPED_TRACE(perl ? "Perl XBase" : "dbfread");
            const auto states = peerStates(dirs, perl);
            for (const auto& dir : dirs) {
                const auto found = states.find(dir);
                ASSERT_NE(found, states.end()) << dir;
                const std::string& got = found->second;
                const std::string& a = perl ? before.inOrder : before.liveThenDeleted;
                const std::string& b = perl ? after.inOrder : after.liveThenDeleted;
                counts.recordsCompared += long(std::count(got.begin(), got.end(), '\n'));
                const bool same = got == a || got == b;
                counts.losses += same ? 0 : 1;
                EXPECT_TRUE(same) << dir << "\n" << got;
            }
        }
    }
};

TEST_F(CrashTest, KilledAtAnyFileChangeLeavesTheTableBeforeOrAfter)
{
    makeBase();
    const std::string bigMemo = "big\\n" + std::string(1800, 'z') + "\\nend";
    const std::vector<Scenario> scenarios = {
        {"append", {"url=http://new/", "message=short"}, "append"},
        {"memo", {"url=http://memo/", "message=" + bigMemo}, "append"},
        {"pack", {}, "pack"},
        {"zap", {}, "zap"},
    };
    Counts counts;
    for (const auto& s : scenarios)
        runScenario(s, counts);
    std::printf("crash test: %ld kill points, %ld records compared, %ld losses\n",
                counts.killPoints, counts.recordsCompared, counts.losses);
    EXPECT_EQ(counts.losses, 0);
}

// A crash during appends leaves the header's count behind the records. No
// qvdbf command may lose or overwrite the records past it.
TEST_F(CrashTest, QvdbfCountsRecordsFromTheFileSizeAndRepairsTheHeader)
{
    makeBase();
    std::string bytes = readFile(path("base/logs.dbf"));
    bytes[4] = 3; // a count from before seven appends
    const std::vector<std::pair<const char*, std::vector<std::string>>> commands = {
        {"append", {"url=http://added/", "message=added"}},
        {"pack", {}},
    };
    for (const auto& [command, arguments] : commands) {
        SCOPED_TRACE(command);
        const std::string dir = path(std::string("stale_") + command);
        fs::copy(path("base"), dir);
        writeFile(dir + "/logs.dbf", bytes);
        int status = -1;
        const std::string report =
            run(std::string(QVDBF_PATH) + " check " + dir + "/logs.dbf 2>&1", &status);
        EXPECT_EQ(status, 1);
        EXPECT_NE(report.find("record count 3 does not match file size"), std::string::npos)
            << report;
        ASSERT_FALSE(runChild(command, dir, arguments, ""));
        const std::vector<std::string> got = tableRecords(dir + "/logs.dbf");
        const long expected = std::string(command) == "append" ? 11 : 8;
        EXPECT_EQ(long(got.size()), expected);
        EXPECT_EQ(uint8_t(readFile(dir + "/logs.dbf")[4]), expected); // the header is mended
        run(std::string(QVDBF_PATH) + " check " + dir + "/logs.dbf 2>&1", &status);
        EXPECT_EQ(status, 0);
    }
}

} // namespace
