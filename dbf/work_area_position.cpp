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

// --- reading and positioning ----------------------------------------------------------

void WorkArea::readImage(long recno, uint8_t* image) const
{
    if (recno < 1 || recno > long(m_count))
        fail(kBeyondRange, "Invalid record number = " + std::to_string(recno) + "  [GetDbfRecord]");
    writePendingRecords();
    const size_t length = size_t(m_recordLength);
    if (recno >= m_aheadFirst && recno < m_aheadFirst + m_aheadCount) {
        std::memcpy(image, m_ahead.data() + size_t(recno - m_aheadFirst) * length, length);
    } else if (m_exclusive && recno == m_lastRead + 1 && recno < long(m_count)) {
        // Reading in record order: fetch the following records with this one.
        const long n =
            std::min<long>(long(kReadAheadBytes / length) + 1, long(m_count) - recno + 1);
        m_ahead.resize(size_t(n) * length);
        const size_t got = m_file.readAt(recordOffset(recno), m_ahead.data(), m_ahead.size());
        m_aheadFirst = recno;
        m_aheadCount = long(got / length);
        if (m_aheadCount == 0)
            fail(kUnexpectedEof, "Unexpected end of " + m_path + " reading record " +
                                     std::to_string(recno) + " [GetDbfRecord]");
        std::memcpy(image, m_ahead.data(), length);
    } else if (!m_file.readExact(recordOffset(recno), image, length)) {
        fail(kUnexpectedEof, "Unexpected end of " + m_path + " reading record " +
                                 std::to_string(recno) + " [GetDbfRecord]");
    }
    m_lastRead = recno;
    if (m_afterRead)
        m_afterRead(image + 1, size_t(m_recordLength - 1));
}

void WorkArea::readRecord(long recno)
{
    if (!m_exclusive && recno > long(m_count)) {
        // Another user of a shared table may have appended it (a shared
        // index leads to it); shared appends keep the header count current.
        uint8_t stored[4];
        if (m_file.readExact(4, stored, 4))
            m_count = std::max(m_count, getU32(stored));
    }
    readImage(recno, m_image.data());
    unpack(m_image.data(), m_buffer);
    m_recno = recno;
    m_bof = m_eof = false;
}

void WorkArea::setEof()
{
    clearRecord();
    m_recno = long(m_count) + 1;
    m_eof = true;
    m_bof = false;
    m_cursorSynced = false;
}

void WorkArea::setBlankBoth()
{
    clearRecord();
    m_recno = m_count == 0 ? 0 : long(m_count) + 1;
    m_bof = m_eof = true;
    m_cursorSynced = false;
}

EvalContext WorkArea::context(const uint8_t* buffer, long recno, const uint8_t* image) const
{
    EvalContext c;
    c.buffer = buffer;
    c.image = image;
    c.recno = recno;
    c.dates = &m_config.dates;
    c.report = m_config.softError;
    return c;
}

bool WorkArea::visible()
{
    if (m_config.hideDeleted && m_buffer[0] != 0)
        return false;
    if (m_while) {
        ExprValue value;
        m_while->evaluate(context(m_buffer, m_recno, m_image.data()), value);
        return value.logical;
    }
    return true;
}

// The controlling index. Its slot can be empty when rebuilding it failed;
// positioning then reports that instead of following a missing index.
NdxIndex& WorkArea::orderIndex(const char* operation)
{
    NdxIndex* idx = index(m_order);
    if (!idx) {
        if (operation)
            fail(kIndexNotOpen, std::string("Index not open. [") + operation + "]");
        fail(kIndexNotOpen, "No primary index active. (DBF=" + m_alias + ")");
    }
    return *idx;
}

void WorkArea::syncCursor()
{
    NdxIndex* idx = &orderIndex(nullptr);
    if (m_cursorSynced && idx->positioned())
        return;
    std::vector<uint8_t> image(static_cast<size_t>(m_recordLength));
    std::vector<uint8_t> buffer(m_bufferSize);
    readImage(m_recno, image.data());
    unpack(image.data(), buffer.data());
    const std::string key = idx->keyOf(context(buffer.data(), m_recno, image.data()));
    if (!idx->locate(key, uint32_t(m_recno)))
        idx->seek(key);
    m_cursorSynced = true;
}

uint32_t WorkArea::nextInOrder()
{
    if (m_order == 0)
        return m_recno + 1 <= long(m_count) ? uint32_t(m_recno + 1) : 0;
    NdxIndex& idx = orderIndex("_FindNextRec");
    return walkIndex(idx, [&] {
        syncCursor();
        return idx.next();
    });
}

uint32_t WorkArea::prevInOrder()
{
    if (m_order == 0) {
        const long from = m_eof ? long(m_count) + 1 : m_recno;
        return from - 1 >= 1 ? uint32_t(from - 1) : 0;
    }
    NdxIndex& idx = orderIndex("_FindPriorRec");
    return walkIndex(idx, [&] {
        if (m_eof)
            return idx.last();
        syncCursor();
        return idx.prev();
    });
}

void WorkArea::goTop()
{
    if (m_count == 0)
        return setBlankBoth();
    uint32_t r = 1;
    if (m_order != 0) {
        NdxIndex& idx = orderIndex("_FindFirstRec");
        r = walkIndex(idx, [&] { return idx.first(); });
    }
    while (r != 0) {
        readRecord(long(r));
        m_cursorSynced = m_order != 0;
        if (visible())
            return;
        r = m_order == 0 ? (r < m_count ? r + 1 : 0) : nextInOrder();
    }
    setBlankBoth();
}

void WorkArea::goBottom()
{
    if (m_count == 0)
        return setBlankBoth();
    uint32_t r = m_count;
    if (m_order != 0) {
        NdxIndex& idx = orderIndex("_FindLastRec");
        r = walkIndex(idx, [&] { return idx.last(); });
    }
    while (r != 0) {
        readRecord(long(r));
        m_cursorSynced = m_order != 0;
        if (visible())
            return;
        r = m_order == 0 ? r - 1 : prevInOrder();
    }
    setBlankBoth();
}

void WorkArea::go(long recno)
{
    readRecord(recno);
    m_cursorSynced = false;
}

void WorkArea::skip(long count)
{
    if (count == 0) {
        if (m_eof || m_recno < 1 || m_recno > long(m_count))
            clearRecord();
        else
            readRecord(m_recno);
        return;
    }
    if (m_count == 0) {
        m_bof = m_eof = true;
        fail(kBeyondRange, "Database \"" + m_alias + "\" is empty. [SKIP]");
    }
    if (count > 0 && m_eof)
        fail(kBeyondRange, "Database \"" + m_alias + "\" is past EOF. [SKIP]");
    const bool forward = count > 0;
    for (long passed = 0; passed < std::labs(count);) {
        const uint32_t r = forward ? nextInOrder() : prevInOrder();
        if (r == 0) {
            if (forward) {
                setEof();
            } else {
                goTop();
                m_bof = true;
            }
            return;
        }
        readRecord(long(r));
        m_cursorSynced = m_order != 0;
        if (visible())
            ++passed;
    }
}

} // namespace dbf
