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

// --- pack and zap ---------------------------------------------------------------------

void WorkArea::requireExclusive(const char* operation)
{
    m_reopenedExclusive = false;
    if (m_exclusive)
        return;
    PosixFile file;
    if (const int code = file.open(m_path, PosixFile::Sharing::Exclusive); code != 0) {
        m_file.open(m_path, PosixFile::Sharing::Shared);
        fail(kExclusiveRequired, std::string("Exclusive Use() required [") + operation + "]");
    }
    // Our own shared handle must go first, or the exclusive lock cannot be had.
    m_file.close();
    file.close();
    if (const int code = m_file.open(m_path, PosixFile::Sharing::Exclusive); code != 0) {
        m_file.open(m_path, PosixFile::Sharing::Shared);
        fail(kExclusiveRequired, std::string("Exclusive Use() required [") + operation + "]");
    }
    m_reopenedExclusive = true;
}

void WorkArea::restoreSharing()
{
    if (!m_reopenedExclusive)
        return;
    m_reopenedExclusive = false;
    if (m_file.open(m_path, PosixFile::Sharing::Shared) != 0)
        fail(kSharingViolation, "Cannot re-open database sharable. " + m_path);
}

// Zap goes the same safe way as a pack that keeps no record: a new empty
// table and memo file are committed together.
void WorkArea::zap()
{
    dropReadAhead();
    writePendingRecords();
    if (m_hasMemo && !m_memo.isOpen())
        fail(kInvalidParameter, "Memo file is not open [ZAP]");
    requireExclusive("ZAP");
    ChangeGuard guard(*this, true);
    replaceByCopy(Keep::None);
}

// Pack writes the packed table and memo file beside the old ones, then
// commits them with a small intent file and two renames (see
// docs/formats/pack.md). Whatever moment the process dies, the next open
// finds the old pair or the new one, never a mixture.
void WorkArea::pack()
{
    dropReadAhead();
    writePendingRecords();
    if (m_count == 0)
        return;
    requireExclusive("PACK");
    if (!anyDeleted()) {
        // Nothing to remove; a header left stale by a crash is still mended.
        if (getU32(m_header + 4) != m_count) {
            ChangeGuard guard(*this, true);
            writeHeader(true);
            m_file.flush();
            m_change = ChangeState::Clean;
        }
        restoreSharing();
        return;
    }
    ChangeGuard guard(*this, true);
    replaceByCopy(Keep::Live);
}

void WorkArea::replaceByCopy(Keep keep)
{
    const PackFiles files = packFiles();
    // A leftover intent file must be gone before new temporary files exist,
    // or a crash now could make recovery take the half-written copies.
    if (!removeFile(files.intent) || !removeFile(files.table) ||
        (!files.memo.empty() && !removeFile(files.memo)))
        fail(kDiskWriteError, "Cannot remove old pack files of " + m_path + " [PACK]");
    uint32_t kept = 0;
    try {
        kept = writePackedCopy(files, keep);
        commitPack(files);
    } catch (...) {
        removeFile(files.table);
        if (!files.memo.empty())
            removeFile(files.memo);
        throw;
    }
    finishPack(files, kept, keep);
}

bool WorkArea::anyDeleted() const
{
    const size_t perChunk = std::max<size_t>(1, kBulkBytes / size_t(m_recordLength));
    std::vector<uint8_t> chunk = bulkBuffer(perChunk * size_t(m_recordLength), "PACK");
    for (uint32_t start = 1; start <= m_count; start += uint32_t(perChunk)) {
        const uint32_t n = std::min<uint32_t>(uint32_t(perChunk), m_count - start + 1);
        if (!m_file.readExact(recordOffset(start), chunk.data(),
                              size_t(n) * size_t(m_recordLength)))
            fail(kUnexpectedEof, "Unexpected end of " + m_path + " [PACK]");
        for (uint32_t i = 0; i < n; ++i)
            if (chunk[size_t(i) * size_t(m_recordLength)] == kDeletedMark)
                return true;
    }
    return false;
}

WorkArea::PackFiles WorkArea::packFiles() const
{
    PackFiles files;
    files.table = withExtension(m_path, ".$$d");
    files.intent = withExtension(m_path, ".$$p");
    if (m_hasMemo && m_memo.isOpen()) {
        files.memoTarget = m_memo.path();
        files.memo = withExtension(files.memoTarget, ".$$$");
    }
    return files;
}

// Writes the kept records, each with copies of its memos, into the
// temporary pair and syncs both. Returns the number of records kept.
uint32_t WorkArea::writePackedCopy(const PackFiles& files, Keep keep)
{
    std::vector<uint8_t> header(static_cast<size_t>(m_headerLength), 0);
    if (!m_file.readExact(0, header.data(), header.size()))
        fail(kDiskReadError, "Error reading " + m_path + " [PACK]");
    PosixFile out;
    if (const int code = out.create(files.table); code != 0)
        fail(code, "Cannot create " + files.table + " [PACK]");
    MemoFile copy;
    std::vector<const FieldInfo*> memoFields;
    if (!files.memo.empty()) {
        checkMemoPackSpace();
        MemoFile::create(files.memo, m_memo.style(),
                         base::toUpper(withExtension(baseName(m_path), "")));
        if (copy.open(files.memo, PosixFile::Sharing::Exclusive) != 0)
            fail(kMemoWriteError, "Memo file write error " + files.memo + " [PackMemoFile]");
        copy.setStyle(m_memo.style());
        copy.beginBulk();
        for (const FieldInfo& f : m_fields)
            if (f.type == 'M')
                memoFields.push_back(&f);
    }
    MemoFile::ReadWindow window;
    const size_t perChunk = std::max<size_t>(1, kBulkBytes / size_t(m_recordLength));
    std::vector<uint8_t> chunk = bulkBuffer(perChunk * size_t(m_recordLength), "PACK");
    uint32_t kept = 0;
    uint64_t outPos = header.size();
    const uint32_t last = keep == Keep::None ? 0 : m_count;
    for (uint32_t start = 1; start <= last; start += uint32_t(perChunk)) {
        const uint32_t n = std::min<uint32_t>(uint32_t(perChunk), m_count - start + 1);
        if (!m_file.readExact(recordOffset(start), chunk.data(),
                              size_t(n) * size_t(m_recordLength)))
            fail(kUnexpectedEof, "Unexpected end of " + m_path + " [PACK]");
        size_t used = 0;
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t* rec = chunk.data() + size_t(i) * size_t(m_recordLength);
            if (rec[0] == kDeletedMark)
                continue;
            for (const FieldInfo* f : memoFields)
                copyMemoField(*f, rec, start + i, copy, window);
            if (used != size_t(i) * size_t(m_recordLength))
                std::memmove(chunk.data() + used, rec, size_t(m_recordLength));
            used += size_t(m_recordLength);
            ++kept;
        }
        if (used > 0 && !out.writeExact(outPos, chunk.data(), used))
            fail(kDiskWriteError, "Error writing " + files.table + " [PACK]");
        outPos += used;
    }
    const CalendarDate today = m_config.dates.today();
    header[1] = uint8_t(today.year - 1900);
    header[2] = uint8_t(today.month);
    header[3] = uint8_t(today.day);
    putU32(&header[4], kept);
    const uint8_t marker = kEndOfFile;
    if (!out.writeExact(outPos, &marker, 1) || !out.writeExact(0, header.data(), header.size()) ||
        !out.flush())
        fail(kDiskWriteError, "Error writing " + files.table + " [PACK]");
    if (!files.memo.empty()) {
        copy.finishBulk();
        if (!copy.sync())
            fail(kMemoWriteError, "Memo file write error " + files.memo + " [PackMemoFile]");
        copy.close();
    }
    return kept;
}

// Copies the memo a kept record points at and points the record at the copy.
void WorkArea::copyMemoField(const FieldInfo& f, uint8_t* rec, uint32_t recno, MemoFile& copy,
                             MemoFile::ReadWindow& window)
{
    char* text = reinterpret_cast<char*>(rec + f.offset);
    const long block =
        std::strtol(base::trimmedSpaces(std::string(text, size_t(f.length))).c_str(), nullptr, 10);
    if (block < 0)
        return; // a binary memo keeps its number
    std::string moved(size_t(f.length), ' ');
    if (block > 0) {
        const int32_t to = copy.writeRaw(m_memo.readRaw(int32_t(block), long(recno), &window));
        if (to != 0)
            moved = formatInteger(to, f.length);
    }
    std::memcpy(text, moved.data(), moved.size());
}

void WorkArea::checkMemoPackSpace() const
{
    FileStamp stamp;
    const uint64_t memoSize = stampOf(m_memo.path(), stamp) ? stamp.size : 0;
    if (freeDiskSpace(directoryOf(m_memo.path())) / 1024 < memoSize / 1024)
        fail(kMemoPackSpace,
             "Insufficient disk space to pack memo file " + m_memo.path() + " [PackMemoFile]");
}

// The commit point is the intent file: once it is complete on disk the pack
// counts as done, and an open finishes the renames if the process died.
void WorkArea::commitPack(const PackFiles& files)
{
    std::string intent = std::string(kPackIntentMagic) + "\n";
    auto entry = [&](const std::string& from, const std::string& to) {
        FileStamp stamp;
        if (!stampOf(from, stamp))
            fail(kDiskWriteError, "Cannot find " + from + " [PACK]");
        intent +=
            "move " + std::to_string(stamp.size) + " " + baseName(from) + "/" + baseName(to) + "\n";
    };
    entry(files.table, m_path);
    if (!files.memo.empty())
        entry(files.memo, files.memoTarget);
    intent += "end\n";
    PosixFile file;
    if (file.create(files.intent) != 0 || !file.writeExact(0, intent.data(), intent.size()) ||
        !file.flush() || !syncDirectoryOf(files.intent)) {
        file.close();
        removeFile(files.intent);
        fail(kDiskWriteError, "Cannot write " + files.intent + " [PACK]");
    }
}

void WorkArea::finishPack(const PackFiles& files, uint32_t kept, Keep keep)
{
    // From here on the pack is committed: a failure leaves it to the next open.
    const bool moved = renameFile(files.table, m_path) &&
                       (files.memo.empty() || renameFile(files.memo, files.memoTarget)) &&
                       syncDirectoryOf(m_path);
    if (!moved) {
        // The old files must not take changes any more: the next open puts
        // the packed pair in place and would drop them. So the table is
        // closed here without writing anything.
        for (auto& idx : m_indexes)
            idx.reset();
        m_memo.close();
        m_file.close();
        m_change = ChangeState::Closed;
        m_changeFailed = true;
        fail(kDiskWriteError, "Cannot put the packed files of " + m_path +
                                  " in place; the table is closed and its next open finishes "
                                  "the pack [PACK]");
    }
    removeFile(files.intent);
    PosixFile packed;
    if (const int code = packed.open(m_path, PosixFile::Sharing::Exclusive); code != 0)
        fail(code, "Cannot open " + m_path + " after packing [PACK]");
    m_file = std::move(packed);
    m_reopenedExclusive = m_reopenedExclusive || !m_exclusive;
    m_count = kept;
    putU32(m_header + 4, kept);
    m_change = ChangeState::Clean;
    if (!files.memo.empty()) {
        m_memo.close();
        if (m_memo.open(files.memoTarget, m_exclusive ? PosixFile::Sharing::Exclusive
                                                      : PosixFile::Sharing::Shared) != 0)
            fail(kFileNotFound, "Memo file not found: " + files.memoTarget + " [PackMemoFile]");
        configureMemo();
    }
    for (int slot = 1; slot <= kMaxIndexes; ++slot) {
        if (NdxIndex* idx = index(slot)) {
            if (keep == Keep::None)
                idx->reset();
            else
                rebuildIndex(slot);
        }
    }
    restoreSharing();
    if (m_count == 0)
        setBlankBoth();
    else
        go(1);
}

// Finishes or undoes a pack that a crash interrupted: with a complete
// intent file the renames it names are done (those not yet done); without
// one, temporary files of an unfinished pack are removed.
void WorkArea::recoverPack(const std::string& tablePath)
{
    const std::string intentPath = withExtension(tablePath, ".$$p");
    const std::string tableCopy = withExtension(tablePath, ".$$d");
    if (!fileExists(intentPath)) {
        if (fileExists(tableCopy))
            removeFile(tableCopy);
        for (const char* memoExt : {".dbt", ".DBT"})
            if (const std::string m = withExtension(withExtension(tablePath, memoExt), ".$$$");
                fileExists(m))
                removeFile(m);
        return;
    }
    PosixFile file;
    std::string text;
    if (file.open(intentPath, PosixFile::Sharing::Unguarded) == 0) {
        text.resize(size_t(std::min<uint64_t>(file.size(), 4096)));
        text.resize(file.readAt(0, text.data(), text.size()));
        file.close();
    }
    const std::string dir = directoryOf(tablePath) + "/";
    struct Move {
        std::string from, to;
        uint64_t size;
    };
    std::vector<Move> moves;
    bool complete = false;
    size_t pos = 0;
    for (size_t line = 0; pos < text.size(); ++line) {
        const size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            break;
        const std::string row = text.substr(pos, end - pos);
        pos = end + 1;
        if (line == 0) {
            if (row != kPackIntentMagic)
                break;
            continue;
        }
        if (row == "end") {
            complete = true;
            break;
        }
        unsigned long long size = 0;
        char names[1024] = {};
        if (std::sscanf(row.c_str(), "move %llu %1023[^\n]", &size, names) != 2)
            break;
        const std::string both = names;
        const size_t slash = both.find('/');
        if (slash == std::string::npos)
            break;
        moves.push_back({dir + both.substr(0, slash), dir + both.substr(slash + 1), size});
    }
    if (complete) {
        for (const Move& m : moves) {
            FileStamp stamp;
            if (stampOf(m.from, stamp) && stamp.size == m.size && !renameFile(m.from, m.to))
                fail(kDiskWriteError, "Cannot finish the pack of " + tablePath + " [USE/OpenDBF]");
        }
        syncDirectoryOf(tablePath);
    } else {
        for (const Move& m : moves)
            removeFile(m.from);
        removeFile(tableCopy);
    }
    removeFile(intentPath);
}

} // namespace dbf
