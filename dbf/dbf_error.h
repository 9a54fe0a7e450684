#pragma once

#include "platform/exception.h"

#include <cstdint>
#include <string>

namespace dbf {

// The engine's 16-bit error codes. Only the ones the engine raises itself
// are named; the description table in dbf_error.cpp covers the rest.
enum ErrorCode : int {
    kOk = 0,
    kFileNotFound = 2,
    kAccessDenied = 5,
    kWriteFault = 29,
    kSharingViolation = 32,
    kLockViolation = 33,
    kDiskReadError = 100,
    kDiskWriteError = 101,
    kNotDbaseFile = 210,
    kInvalidFieldType = 211,
    kRangeCheck = 201,
    kBeyondRange = 212,
    kUnexpectedEof = 213,
    kFileInUse = 214,
    kNoDatabase = 215,
    kInsufficientMemory = 217,
    kInvalidParameter = 220,
    kIndexNotOpen = 221,
    kCorruptedIndex = 222,
    kIndexVersionMismatch = 223,
    kExclusiveRequired = 225,
    kInsufficientDisk = 227,
    kInvalidSize = 266,
    kKeyMakerMissing = 254,
    kExpressionTooLong = 300,
    kDivideByZero = 358,
    kInvalidMemoAddress = 1003,
    kDiskFull = 1004,
    kMemoWriteError = 1005,
    // A dBASE III memo ends at its first 0x1A, so a text holding one would be
    // cut when read back; such a text is refused instead.
    kMemoHoldsTerminator = 1006,
    kMemoAlreadyOpen = 1007,
    kMemoPackSpace = 1012,
    kMemoLockFailed = 1017,
    kMemoUnlockFailed = 1018,
    kInvalidMemoOperation = 1019,
    kInvalidOperation = 1103,
    kRecordNotLocked = 1200,
    kFileNotLocked = 1201,
    kSemaphoreError = 1202,
    kFormatNotSupported = 1300,
};

// The description shown after the code ("Error # 212 (Request beyond range)").
std::string errorDescription(int code);

// The full text of an engine error as it is reported: "Error # ", the code,
// " (", the description, ")", CR LF and the message.
std::string errorText(int code, const std::string& message);

// Raised by the engine when exceptions are enabled (DbfEngine::setExceptions).
class EDbfError : public Exception {
public:
    EDbfError(std::string text, int code, std::string detail)
        : Exception(std::move(text)), m_code(code), m_detail(std::move(detail))
    {
    }
    int code() const noexcept { return m_code; }
    // The message without the "Error # ..." prefix.
    const std::string& detail() const noexcept { return m_detail; }

private:
    int m_code;
    std::string m_detail;
};

// Thrown inside the engine at the point of failure and caught at the public
// entry point, which records the code and message and then reports them the
// way the caller configured. Never escapes the engine.
struct DbfFailure {
    int code;
    std::string message;
};

[[noreturn]] inline void fail(int code, std::string message)
{
    throw DbfFailure{code, std::move(message)};
}

} // namespace dbf
