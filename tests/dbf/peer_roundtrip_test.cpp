// Every peer on this machine (python3-dbf, dbfread, Perl XBase) reads the
// tables we write value for value, before and after our pack, and we read and
// pack theirs without changing what they read.
#include "dbf_test_support.h"

#include <sstream>

using dbftest::EngineTest;

namespace {

const char* const kPython = "/usr/bin/python3";

// A table as a reader sees it: each live record as "url memo-hex", then the
// number of deleted records.
class PeerRoundTripTest : public EngineTest {
protected:
    std::string ours(const std::string& table)
    {
        dbf::DbfEngine reader;
        reader.setExceptions(true);
        reader.Use(table);
        std::string out;
        long deleted = 0;
        const int memo = reader.FieldNo("MESSAGE"), url = reader.FieldNo("URL");
        for (long r = 1; r <= reader.RecCount(); ++r) {
            reader.Go(r);
            if (reader.Deleted()) {
                ++deleted;
                continue;
            }
            std::string text = reader.FieldText(url), bytes;
            text.erase(text.find_last_not_of(' ') + 1);
            reader.GetMemoFieldBytes(memo, bytes);
            out += text + " " + hexBytes(bytes) + "\n";
        }
        reader.CloseDbf();
        return out + "deleted " + std::to_string(deleted) + "\n";
    }

    std::string peer(const std::string& which, const std::string& table)
    {
        std::string command;
        if (which == "python3-dbf") {
            writeFile(path("p.py"),
                      "import sys, dbf\n"
                      "t = dbf.Table(sys.argv[1], codepage='cp1252')\n"
                      "t.open(dbf.READ_ONLY)\n"
                      "d = 0\n"
                      "for r in t:\n"
                      "    if dbf.is_deleted(r):\n"
                      "        d += 1\n"
                      "        continue\n"
                      "    print(r.url.rstrip(' '), (r.message or '').encode('cp1252').hex())\n"
                      "print('deleted', d)\n");
            command = std::string(kPython) + " " + path("p.py");
        } else if (which == "dbfread") {
            writeFile(
                path("r.py"),
                "import sys, dbfread\n"
                "t = dbfread.DBF(sys.argv[1], encoding='cp1252', load=True)\n"
                "for r in t.records:\n"
                "    print(r['URL'].rstrip(' '), (r['MESSAGE'] or '').encode('cp1252').hex())\n"
                "print('deleted', len(t.deleted))\n");
            command = std::string(kPython) + " " + path("r.py");
        } else {
            writeFile(path("x.pl"), "use XBase;\n"
                                    "my $t = XBase->new($ARGV[0]) or die XBase->errstr;\n"
                                    "my $d = 0;\n"
                                    "for my $i (0 .. $t->last_record) {\n"
                                    "  my %r = %{ $t->get_record_as_hash($i) };\n"
                                    "  if ($r{_DELETED}) { $d++; next }\n"
                                    "  (my $u = $r{URL}) =~ s/ +$//;\n"
                                    "  print \"$u \", unpack('H*', $r{MESSAGE} // ''), \"\\n\";\n"
                                    "}\n"
                                    "print \"deleted $d\\n\";\n");
            command = "perl " + path("x.pl");
        }
        int status = -1;
        const std::string out = run(command + " " + table + " 2>&1", &status);
        EXPECT_EQ(status, 0) << which << ": " << out;
        return out;
    }

    void expectPeersAgree(const std::string& table, const char* when)
    {
        const std::string expected = ours(table);
        for (const char* which : {"python3-dbf", "dbfread", "Perl XBase"}) {
            SCOPED_TRACE(std::string(which) + " " + when);
            EXPECT_EQ(peer(which, table), expected);
        }
    }

    bool packWithOurEngine(const std::string& table)
    {
        dbf::DbfEngine packer;
        packer.setExceptions(true);
        return packer.Use(table + " EXCLUSIVE") && packer.Pack() && packer.CloseDbf();
    }
};

TEST_F(PeerRoundTripTest, PeersReadOurTablesBeforeAndAfterOurPack)
{
    openLog();
    const std::vector<std::string> memos = {
        "<html>\r\n<body>\xE9t\xE9</body>\r\n</html>\r\n",
        "",                    // no memo: a blank field
        std::string(510, 'f'), // fills its block with the two end bytes
        std::string(511, 'g'), // spills into a second block
        std::string(300000, 'h') + "\r\n" + std::string(100000, 'i'),
        "last",
    };
    for (size_t i = 0; i < memos.size(); ++i) {
        engine.ClearRecord();
        engine.SetFieldText(4, "http://site/" + std::to_string(i));
        ASSERT_TRUE(engine.SetMemoFieldBytes(3, memos[i]));
        ASSERT_TRUE(engine.Append());
    }
    for (long r : {1L, 4L}) {
        engine.Go(r);
        engine.DeleteRec();
    }
    engine.CloseDbf();
    const std::string table = path("logs.dbf");
    expectPeersAgree(table, "before pack");
    ASSERT_TRUE(packWithOurEngine(table));
    EXPECT_EQ(ours(table).substr(0, 14), "http://site/1 ");
    expectPeersAgree(table, "after pack");
    // The memo header names the exact end, so a peer appends right there.
    const std::string dbt = readFile(path("logs.dbt"));
    EXPECT_EQ(uint32_t(uint8_t(dbt[0]) | uint8_t(dbt[1]) << 8 | uint8_t(dbt[2]) << 16),
              dbt.size() / 512);
}

TEST_F(PeerRoundTripTest, ATablePython3DbfWroteReadsTheSameAfterOurPack)
{
    const std::string table = path("p.dbf");
    writeFile(
        path("make.py"),
        "import dbf\n"
        "t = dbf.Table('" +
            table +
            "', 'date C(10); success L; message M; url C(254)', "
            "dbf_type='db3', codepage='cp1252')\n"
            "t.open(dbf.READ_WRITE)\n"
            "for i in range(40):\n"
            "    t.append(('03/14/2026', i % 2 == 0, ('answer %d\\r\\n' % i) + 'x' * (i * 97), "
            "'http://p/%d' % i))\n"
            "t.append(('03/14/2026', False, '', 'http://p/empty'))\n"
            "for i, r in enumerate(t):\n"
            "    if i % 7 == 3:\n"
            "        dbf.delete(r)\n"
            "t.close()\n");
    int status = -1;
    const std::string made = run(std::string(kPython) + " " + path("make.py") + " 2>&1", &status);
    ASSERT_EQ(status, 0) << made;
    const std::string before = peer("python3-dbf", table);
    EXPECT_EQ(ours(table), before);
    ASSERT_TRUE(packWithOurEngine(table));
    expectPeersAgree(table, "after our pack");
    std::string expected = before;
    expected.replace(expected.rfind("deleted "), std::string::npos, "deleted 0\n");
    EXPECT_EQ(peer("python3-dbf", table), expected);

    // python3-dbf appends to the memo file we closed right after its end.
    const size_t memoSize = readFile(path("p.dbt")).size();
    writeFile(path("add.py"), "import dbf\n"
                              "t = dbf.Table('" +
                                  table +
                                  "', codepage='cp1252')\n"
                                  "t.open(dbf.READ_WRITE)\n"
                                  "t.append(('03/15/2026', True, 'added', 'http://p/added'))\n"
                                  "t.close()\n");
    run(std::string(kPython) + " " + path("add.py") + " 2>&1", &status);
    ASSERT_EQ(status, 0);
    EXPECT_LE(readFile(path("p.dbt")).size(), memoSize + 1024);
    EXPECT_NE(ours(table).find("http://p/added " + hexBytes("added")), std::string::npos);
}

} // namespace
