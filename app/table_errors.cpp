#include "table_errors.h"

#include "dbf/dbf_engine.h"
#include "dbf/dbf_error.h"

namespace app {

TableError catchTableError(dbf::DbfEngine& engine, const std::function<void()>& body)
{
    TableError first;
    auto previous = engine.OnError;
    engine.OnError = [&first](dbf::DbfEngine*, int code, const std::string& text) {
        if (!first) {
            first.code = code;
            first.text = text;
        }
    };
    try {
        body();
    } catch (...) {
        engine.OnError = previous;
        throw;
    }
    engine.OnError = previous;
    return first;
}

bool logInUse(const TableError& error)
{
    // The log is opened for this process alone: another one holding it
    // makes the lock fail with a sharing violation.
    return error.code == dbf::kSharingViolation || error.code == dbf::kLockViolation;
}

} // namespace app
