#pragma once

#include "dbf/dbf_engine.h"
#include "dbf/table_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dbftest {

// A fresh folder per test and an engine that throws instead of halting, with
// a fixed clock so that header dates are reproducible.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/dbftestXXXXXX";
        m_dir = ::mkdtemp(pattern);
        engine.setExceptions(true);
        engine.setClock([] { return dbf::CalendarDate{2026, 3, 14}; });
    }

    void TearDown() override
    {
        engine.CloseAll();
        std::filesystem::remove_all(m_dir);
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    static std::vector<dbf::FieldDef> logFields()
    {
        return {{"date", 'C', 10, 0},
                {"success", 'L', 1, 0},
                {"message", 'M', 10, 0},
                {"url", 'C', 254, 0}};
    }

    // Creates and opens the log table in work area 1.
    void openLog(const std::string& name = "logs.dbf")
    {
        ASSERT_TRUE(engine.CreateDBF(path(name), logFields()));
        ASSERT_TRUE(engine.Use(path(name) + " EXCLUSIVE"));
    }

    void appendLog(const std::string& date, bool success, const std::string& url,
                   const std::vector<std::string>& message = {})
    {
        engine.ClearRecord();
        engine.SetFieldText(1, date);
        engine.SetFieldLogical(2, success);
        if (!message.empty())
            engine.SetMemoField(3, message);
        engine.SetFieldText(4, url);
        ASSERT_TRUE(engine.Append());
    }

    // Brings the open table's header and indexes up to date, then checks the files.
    std::string flushAndCheck(const std::string& table, const std::vector<std::string>& indexes)
    {
        if (engine.IsOpen())
            engine.FlushFile();
        return dbf::checkTable(table, indexes);
    }

    // Runs the engine with error checking off and returns the code the call left.
    template <typename F> int codeOf(F&& call)
    {
        engine.setErrorCheck(false);
        call();
        engine.setErrorCheck(true);
        return engine.ErrorCode();
    }

    static std::string readFile(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static void writeFile(const std::string& file, const std::string& bytes)
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    // Runs a shell command and returns its standard output.
    static std::string run(const std::string& command, int* status = nullptr)
    {
        std::string out;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return out;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
            out.append(buf, n);
        const int rc = ::pclose(pipe);
        if (status)
            *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        return out;
    }

    static std::string hexBytes(const std::string& bytes)
    {
        static const char* const kHex = "0123456789abcdef";
        std::string out;
        for (unsigned char ch : bytes) {
            out += kHex[ch >> 4];
            out += kHex[ch & 15];
        }
        return out;
    }

    // One record of the log layout as every reader can give it: its
    // deletion mark, its url and its memo bytes (hex, so that line ends
    // compare exactly).
    static std::string recordLine(bool deleted, std::string url, const std::string& memo)
    {
        while (!url.empty() && url.back() == ' ')
            url.pop_back();
        return std::string(deleted ? "D " : "L ") + url + " " + hexBytes(memo) + "\n";
    }

    // Every record of a log table on disk, in record order, read by a fresh
    // engine that counts records from the file size.
    static std::vector<std::string> tableRecords(const std::string& table)
    {
        dbf::DbfEngine reader;
        reader.setExceptions(true);
        reader.setAutoFixRecCount(true);
        reader.Use(table + " EXCLUSIVE");
        std::vector<std::string> lines;
        for (long r = 1; r <= reader.RecCount(); ++r) {
            reader.Go(r);
            std::string memo;
            reader.GetMemoFieldBytes(3, memo);
            lines.push_back(recordLine(reader.Deleted(), reader.FieldText(4), memo));
        }
        reader.CloseDbf();
        return lines;
    }

    dbf::DbfEngine engine;
    std::string m_dir;
};

} // namespace dbftest
