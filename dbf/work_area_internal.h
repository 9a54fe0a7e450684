#pragma once

// What the parts of WorkArea (dbf/work_area*.cpp) share and nobody else
// needs: the constants of the table layout, helpers of bulk passes and
// number texts, and the guards of a change and of a walk in a shared index.

#include "dbf/dbf_error.h"
#include "dbf/work_area.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace dbf {

constexpr uint8_t kHeaderTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr uint8_t kDeletedMark = '*';
constexpr uint8_t kActiveMark = ' ';
constexpr int kDescriptorSize = 32;
constexpr int kPrologSize = 32;
constexpr uint8_t kVersionPlain = 0x03;
constexpr uint8_t kVersionMemo3 = 0x83;
constexpr uint8_t kVersionMemo4 = 0x8B;
constexpr uint8_t kMemoFlag = 0x80;
constexpr int kMaxCharLength = 254;
constexpr size_t kBulkBytes = size_t(1) << 20;
constexpr size_t kReadAheadBytes = 32768;
constexpr size_t kPendingBytes = 65536;
const char* const kPackIntentMagic = "quorvane-pack 1";
constexpr auto kSemaphoreTimeout = std::chrono::seconds(10);
constexpr auto kSemaphorePause = std::chrono::milliseconds(50);

// The read/write buffer of a bulk pass over the records.
inline std::vector<uint8_t> bulkBuffer(size_t bytes, const char* operation)
{
    try {
        return std::vector<uint8_t>(bytes);
    } catch (const std::bad_alloc&) {
        fail(kInsufficientMemory, "Additional " + std::to_string(bytes) +
                                      " bytes of memory are needed. to allocate RW buffer [" +
                                      operation + "]");
    }
}

// The same text for a whole number, without going through a format string.
inline std::string formatInteger(int64_t value, int length)
{
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const size_t n = size_t(end - digits);
    if (n > size_t(length))
        return std::string(size_t(length), '*');
    std::string out(size_t(length) - n, ' ');
    out.append(digits, n);
    return out;
}

// Marks the change as failed when an exception leaves the scope, so that no
// index is vouched for after a change that stopped half way.
class WorkArea::ChangeGuard {
public:
    ChangeGuard(WorkArea& area, bool recordChange)
        : m_area(area), m_exceptions(std::uncaught_exceptions())
    {
        area.beginChange(recordChange);
    }
    ~ChangeGuard()
    {
        if (std::uncaught_exceptions() > m_exceptions)
            m_area.m_changeFailed = true;
    }
    ChangeGuard(const ChangeGuard&) = delete;
    ChangeGuard& operator=(const ChangeGuard&) = delete;

private:
    WorkArea& m_area;
    int m_exceptions;
};

// Holds the semaphore lock of a shared table's indexes for one update or one
// move, and gives it back however the scope is left.
class WorkArea::SemaphoreLock {
public:
    explicit SemaphoreLock(WorkArea& area) : m_area(area) { area.lockSemaphore(); }
    ~SemaphoreLock() { m_area.unlockSemaphore(); }
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

private:
    WorkArea& m_area;
};

// Another program may change a shared index at any moment, but only under
// the semaphore lock. Every move in a shared index therefore takes that lock,
// reads the header again (the root may have moved) and finds the cursor
// again from the current record, instead of trusting a path into nodes that
// may have been split or shifted since the last move.
template <typename F> auto WorkArea::walkIndex(NdxIndex& idx, F&& body)
{
    if (!idx.shared())
        return body();
    SemaphoreLock lock(*this);
    idx.refreshHeader();
    m_cursorSynced = false;
    return body();
}

} // namespace dbf
