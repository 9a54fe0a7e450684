#pragma once

#include "dbf/dataset/tz_dbf.h"
#include "dbf/dbf_engine.h"
#include "dbf/widgets/tz_message_boxes.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace tztest {

inline const char* const kPython = "/usr/bin/python3";

// A fresh folder, an engine of its own that collects errors instead of
// ending the test, and the log table declared as the program declares it.
class TableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tzdbfXXXXXX";
        m_dir = ::mkdtemp(pattern);
        engine.setClock([] { return dbf::CalendarDate{2026, 3, 14}; });
        engine.setCentury(true);
        // No box may wait for a person.
        MessageBox::setAutomatic(true);
        // The layer's notices show in boxes, as in the program.
        TTzODbf::setMessageReporter(&tzboxes::noticeBox);
        engine.OnError = [this](dbf::DbfEngine*, int code, const std::string& text) {
            errors.push_back({code, text});
        };
    }

    void TearDown() override
    {
        log.reset();
        engine.CloseAll();
        std::filesystem::remove_all(m_dir);
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // The program's log component.
    TTzDbf& makeLog(TCreateIndexType mode = ciAlways)
    {
        log = std::make_unique<TTzDbf>(nullptr, engine);
        log->setName("log");
        log->setDbfFileName(QString::fromStdString(path("logs.dbf")));
        log->setDbfFields(
            {"date, C, 10, 0", "success, L, 1, 0", "message, M, 10, 0", "url, C, 254, 0"});
        log->setIndexList({"1,url.ndx,left(url,50)", "2,date.ndx,date"});
        log->setCreateIndex(mode);
        log->setExclusive(true);
        log->setAutoFixRecCount(true);
        return *log;
    }

    // One result appended the way the submission window does it.
    void logadd(const std::string& date, bool success, const std::string& url,
                const std::vector<std::string>& message = {})
    {
        log->ClearRecord();
        log->SetCField("date", date);
        log->SetLField("success", success);
        log->SetCField("url", url);
        if (!message.empty())
            log->SetMField("message", message);
        log->Append();
    }

    static std::string run(const std::string& command, int* status = nullptr)
    {
        std::string out;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return out;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        const int rc = ::pclose(pipe);
        if (status)
            *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        return out;
    }

    std::string script(const std::string& interpreter, const std::string& name,
                       const std::string& text)
    {
        std::ofstream(path(name), std::ios::binary) << text;
        int status = -1;
        const std::string out = run(interpreter + " " + path(name) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }

    struct Error {
        int code;
        std::string text;
    };

    dbf::DbfEngine engine;
    std::unique_ptr<TTzDbf> log;
    std::vector<Error> errors;
    std::string m_dir;
};

} // namespace tztest
