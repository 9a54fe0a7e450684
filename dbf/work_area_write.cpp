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

// --- writing ------------------------------------------------------------------------

void WorkArea::checkAppendLock() const
{
    if (!m_exclusive && m_lockState != LockState::File)
        fail(kAccessDenied, "File must be locked to append: " + m_alias + " [APPEND]");
}

void WorkArea::checkRecordLock(const char* operation) const
{
    if (!m_exclusive && !isLocked())
        fail(kRecordNotLocked, "Record not locked " + std::to_string(m_recno) + " in " + m_alias +
                                   " [" + operation + "]");
}

void WorkArea::append()
{
    dropReadAhead();
    checkAppendLock();
    ChangeGuard guard(*this, true);
    packBuffer(m_image.data());
    std::vector<uint8_t> transformed;
    const uint8_t* out = m_image.data();
    if (m_beforeWrite) {
        transformed = m_image;
        m_beforeWrite(transformed.data() + 1, transformed.size() - 1);
        out = transformed.data();
    }
    if (!m_exclusive) {
        // Another program may have appended since we last looked; under the
        // append lock the header count is the truth.
        uint8_t stored[4];
        if (m_file.readExact(4, stored, 4))
            m_count = std::max(m_count, getU32(stored));
    }
    const long recno = long(m_count) + 1;
    if (m_exclusive && !m_config.flushEveryWrite && m_config.batchAppends) {
        // Appended records of an exclusive table go out in batches.
        if (m_pendingRecords.empty())
            m_pendingFirst = recno;
        m_pendingRecords.insert(m_pendingRecords.end(), out, out + m_image.size());
        if (m_pendingRecords.size() >= kPendingBytes)
            writePendingRecords();
    } else if (!m_file.writeExact(recordOffset(recno), out, m_image.size())) {
        fail(kDiskWriteError, "Error writing " + m_path + " [APPEND]");
    }
    m_count = uint32_t(recno);
    m_recno = recno;
    m_change = ChangeState::Appended;
    unpack(m_image.data(), m_buffer);
    m_bof = m_eof = false;
    if (anyIndexOpen()) {
        SemaphoreLock lock(*this);
        for (int slot = 1; slot <= kMaxIndexes; ++slot) {
            if (NdxIndex* idx = index(slot)) {
                if (idx->shared())
                    idx->refreshHeader();
                insertKey(*idx, idx->keyOf(context(m_buffer, recno, m_image.data())),
                          uint32_t(recno));
                if (idx->shared())
                    idx->writeSharedHeader(long(m_count), base::toUpper(baseName(m_path)));
            }
        }
    }
    m_cursorSynced = false;
    // Other users of a shared table learn the new count from the header.
    if (m_config.flushEveryWrite || !m_exclusive) {
        writeHeader(true);
        m_change = ChangeState::Clean;
        if (m_config.flushEveryWrite)
            m_file.flush();
    }
    reportOverflow("APPEND");
}

void WorkArea::insertKey(NdxIndex& idx, const std::string& key, uint32_t recno)
{
    try {
        idx.insert(key, recno);
    } catch (const std::bad_alloc&) {
        fail(kInsufficientMemory, "Not enough memory to add the key of record " +
                                      std::to_string(recno) + " to " + idx.path() +
                                      " [AppendIndex]");
    }
}

void WorkArea::replace()
{
    dropReadAhead();
    writePendingRecords();
    if (m_count == 0)
        fail(kBeyondRange, "Database \"" + m_alias + "\" is empty. [REPLACE]");
    if (m_eof)
        fail(kBeyondRange, "Database \"" + m_alias + "\" is at EOF. [REPLACE]");
    if (!m_buffer)
        fail(kInvalidParameter, "Swap-buffer NIL. [REPLACE]");
    checkRecordLock("REPLACE");
    ChangeGuard guard(*this, true);
    // The keys of the record as it stands on disk are the ones the indexes hold.
    std::array<std::string, kMaxIndexes> oldKeys;
    if (anyIndexOpen()) {
        std::vector<uint8_t> image(static_cast<size_t>(m_recordLength));
        std::vector<uint8_t> buffer(m_bufferSize);
        readImage(m_recno, image.data());
        unpack(image.data(), buffer.data());
        for (int slot = 1; slot <= kMaxIndexes; ++slot)
            if (NdxIndex* idx = index(slot))
                oldKeys[size_t(slot - 1)] =
                    idx->keyOf(context(buffer.data(), m_recno, image.data()));
    }
    packBuffer(m_image.data());
    std::vector<uint8_t> out(m_image);
    if (m_beforeWrite)
        m_beforeWrite(out.data() + 1, out.size() - 1);
    if (!m_file.writeExact(recordOffset(m_recno), out.data(), out.size()))
        fail(kDiskWriteError, "Error writing " + m_path + " [REPLACE]");
    if (m_change != ChangeState::Appended)
        m_change = ChangeState::Rewritten;
    unpack(m_image.data(), m_buffer);
    if (anyIndexOpen()) {
        SemaphoreLock lock(*this);
        for (int slot = 1; slot <= kMaxIndexes; ++slot) {
            NdxIndex* idx = index(slot);
            if (!idx)
                continue;
            const std::string newKey = idx->keyOf(context(m_buffer, m_recno, m_image.data()));
            const std::string& oldKey = oldKeys[size_t(slot - 1)];
            if (newKey == oldKey)
                continue;
            if (idx->shared())
                idx->refreshHeader();
            if (!idx->remove(oldKey, uint32_t(m_recno)))
                fail(kCorruptedIndex, "Record with key: " + oldKey + " not found in " +
                                          idx->path() + " [SoftSyncIndex]");
            insertKey(*idx, newKey, uint32_t(m_recno));
            if (idx->shared())
                idx->writeSharedHeader(long(m_count), base::toUpper(baseName(m_path)));
        }
    }
    m_cursorSynced = false;
    if (m_config.flushEveryWrite) {
        writeHeader(m_change == ChangeState::Appended);
        m_change = ChangeState::Clean;
        m_file.flush();
    }
    reportOverflow("REPLACE");
}

void WorkArea::setDeleted(bool deleted, const char* operation)
{
    if (m_eof || m_recno < 1 || m_recno > long(m_count))
        fail(kBeyondRange, "Database \"" + m_alias + "\" at EOF [" + operation + "]");
    checkRecordLock(operation);
    dropReadAhead();
    writePendingRecords();
    ChangeGuard guard(*this, true);
    const uint8_t mark = deleted ? kDeletedMark : kActiveMark;
    if (!m_file.writeExact(recordOffset(m_recno), &mark, 1))
        fail(kDiskWriteError, "Error writing " + m_path + " [" + operation + "]");
    m_image[0] = mark;
    m_buffer[0] = deleted ? 1 : 0;
    if (m_change != ChangeState::Appended)
        m_change = ChangeState::Rewritten;
}

} // namespace dbf
