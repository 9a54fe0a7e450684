#pragma once

#include "platform/exception.h"

#include <initializer_list>
#include <string>

// The data-aware layer's own messages, kept under their string-table numbers
// so that a message seen by a user can be traced to its origin.
namespace tzmsg {

struct Message {
    int id;
    const char* text;
};

inline constexpr Message kDatabaseNotOpen{57364, "Database is not open"};
inline constexpr Message kFieldNotIn{57365, "Field '%s' not in '%s'"};
inline constexpr Message kWrongFieldType{
    57366, "'%s()' expects field '%s' to be of type:\r\n'%s'.'%s' actually is: '%s'"};
inline constexpr Message kTooManyColumns{57370, "Too many columns in grid"};
inline constexpr Message kCouldNotCreate{57601, "Could not create '%s'"};
inline constexpr Message kFieldListNil{57604, "DbfFieldList is Nil trying to create a database"};
inline constexpr Message kFieldListEmpty{57605,
                                         "FieldList.Count is <= 0 trying to create a database"};
inline constexpr Message kCannotOpen{57606, "Cannot open:\r\n'%s'\r\nError no: '%s'\r\n'%s'"};
inline constexpr Message kNoFieldInfo{57608,
                                      "Could not open the database and get field info:\r\n'%s'"};
inline constexpr Message kInvalidDate{57619, "Invalid Date '%s' specified (Field: %s)"};
inline constexpr Message kLockFailed{57620, "Lock failed [%s]"};
inline constexpr Message kInvalidInput{
    57874, "Invalid input value.\r\nChanges in this data field will be discarded"};

// The run-time error raised for a field description out of range.
inline constexpr Message kRangeCheck{201, "Range check error"};

// Fills the "%s" places of a message in order.
std::string format(const Message& message, std::initializer_list<std::string> arguments = {});

} // namespace tzmsg

// Raised by the data-aware layer for misuse that the engine's error state
// does not cover: a lock that could not be taken, a field description out of
// range, a grid with too many columns.
class ETzDataError : public Exception {
public:
    ETzDataError(std::string message, int messageId)
        : Exception(std::move(message)), m_messageId(messageId)
    {
    }
    int messageId() const noexcept { return m_messageId; }

private:
    int m_messageId;
};
