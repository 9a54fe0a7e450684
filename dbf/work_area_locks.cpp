#include "dbf/work_area_internal.h"

#include "base/ascii.h"
#include "dbf/clean_marker.h"
#include "dbf/dbf_error.h"
#include "dbf/file_name.h"
#include "dbf/key_sorter.h"
#include "dbf/little_endian.h"
#include "dbf/real48.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace dbf {

// --- locks ----------------------------------------------------------------------------

bool WorkArea::retryLock(const std::function<bool()>& attempt) const
{
    for (;;) {
        for (int i = 0; i < std::max(1, m_config.lockRetries); ++i)
            if (attempt())
                return true;
        if (!m_config.onLockRetry || !m_config.onLockRetry())
            return false;
    }
}

void WorkArea::lockFile()
{
    if (m_exclusive) {
        m_lockState = LockState::File;
        return;
    }
    if (m_lockState == LockState::File)
        return;
    if (!retryLock([&] { return m_file.lockRange(m_config.lockBase + 1, 1); }))
        fail(kLockViolation, "File " + m_path + " could not be locked [ALock]");
    m_lockState = LockState::File;
}

void WorkArea::lockRecord()
{
    if (m_eof || m_recno < 1)
        fail(kBeyondRange, "Database \"" + m_alias + "\" at EOF [RLock]");
    if (m_exclusive || m_lockedRecords.count(m_recno)) {
        m_lockedRecords.insert(m_recno);
        if (m_lockState == LockState::None)
            m_lockState = LockState::Records;
        return;
    }
    const uint64_t offset = m_config.lockBase + recordOffset(m_recno);
    if (!retryLock([&] { return m_file.lockRange(offset, uint64_t(m_recordLength)); }))
        fail(kLockViolation, "Record " + std::to_string(m_recno) + " of " + m_path +
                                 " could not be locked [RLock]");
    m_lockedRecords.insert(m_recno);
    if (m_lockState == LockState::None)
        m_lockState = LockState::Records;
}

void WorkArea::unlockRecord()
{
    if (!m_lockedRecords.erase(m_recno))
        return;
    if (!m_exclusive)
        m_file.unlockRange(m_config.lockBase + recordOffset(m_recno), uint64_t(m_recordLength));
    if (m_lockedRecords.empty() && m_lockState == LockState::Records)
        m_lockState = LockState::None;
}

void WorkArea::unlockAll()
{
    if (!m_exclusive && m_file.isOpen()) {
        for (long r : m_lockedRecords)
            m_file.unlockRange(m_config.lockBase + recordOffset(r), uint64_t(m_recordLength));
        if (m_lockState == LockState::File)
            m_file.unlockRange(m_config.lockBase + 1, 1);
    }
    m_lockedRecords.clear();
    m_lockState = LockState::None;
}

bool WorkArea::isLocked() const
{
    return m_exclusive || m_lockState == LockState::File || m_lockedRecords.count(m_recno) != 0;
}

// --- semaphore file for shared index updates -------------------------------------------

void WorkArea::lockSemaphore()
{
    if (m_exclusive)
        return;
    if (!m_semaphore.isOpen()) {
        std::string path = withExtension(m_path, ".@S@");
        if (!m_config.semaphoreDirectory.empty())
            path = m_config.semaphoreDirectory + "/" + baseName(path);
        if (m_semaphore.open(path, PosixFile::Sharing::Unguarded) != 0 &&
            m_semaphore.create(path) != 0)
            fail(kSemaphoreError, "Cannot open index semaphore file: " + path);
    }
    const auto deadline = std::chrono::steady_clock::now() + kSemaphoreTimeout;
    while (!m_semaphore.lockRange(0, 1)) {
        if (std::chrono::steady_clock::now() >= deadline)
            fail(kSemaphoreError,
                 "10 second timeout: Cannot lock index semaphore file: " + m_semaphore.path() +
                     " Lock result code: " + std::to_string(kLockViolation));
        std::this_thread::sleep_for(kSemaphorePause);
    }
}

void WorkArea::unlockSemaphore()
{
    if (!m_exclusive && m_semaphore.isOpen())
        m_semaphore.unlockRange(0, 1);
}

} // namespace dbf
