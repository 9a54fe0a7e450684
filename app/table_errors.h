#pragma once

#include <functional>
#include <string>

namespace dbf {
class DbfEngine;
}

// Failures of the table engine that the program handles itself instead of
// letting the engine end the program.
namespace app {

struct TableError {
    int code = 0;
    // The engine's full text: code, description and message.
    std::string text;
    explicit operator bool() const { return code != 0; }
};

// Runs body with the engine's failures collected instead of reported; the
// first one is returned (code 0 when there was none). The engine's own
// failure handling is back in place afterwards.
TableError catchTableError(dbf::DbfEngine& engine, const std::function<void()>& body);

// True for the failure of opening a log that another run of the program
// (another process) holds open.
bool logInUse(const TableError& error);

} // namespace app
