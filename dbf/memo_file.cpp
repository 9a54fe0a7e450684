#include "dbf/memo_file.h"

#include "dbf/dbf_error.h"
#include "dbf/little_endian.h"

#include <algorithm>
#include <cstring>

namespace dbf {

namespace {

constexpr uint8_t kMemoTerminator = 0x1A;
constexpr size_t kTerminatorLength = 2;
constexpr uint8_t kSoftReturn = 0x8D;
constexpr size_t kCounterOffset = 32;
constexpr size_t kNewDBase3Size = 513;
constexpr size_t kDBase4HeaderSize = 24;
constexpr size_t kDBase4PrefixSize = 8;
constexpr uint8_t kDBase4Prefix[4] = {0xFF, 0xFF, 0x08, 0x00};
const char* const kBlob = "(BLOB)";

} // namespace

void MemoFile::create(const std::string& path, MemoStyle style, const std::string& tableName)
{
    PosixFile file;
    if (file.create(path) != 0)
        fail(kInvalidParameter, "Cannot create memo file " + path + " [CreateDbf]");
    std::vector<uint8_t> bytes;
    if (style == MemoStyle::DBase3) {
        bytes.assign(kNewDBase3Size, 0);
        putU32(bytes.data(), 1);
        bytes[kBlockSize] = kMemoTerminator;
    } else {
        bytes.assign(kDBase4HeaderSize, 0);
        putU32(bytes.data(), 1);
        std::string name = tableName.substr(0, 8);
        std::memcpy(bytes.data() + 8, name.data(), name.size());
        bytes[18] = 0x02;
        bytes[19] = 0x01;
        putU16(bytes.data() + 20, uint16_t(kBlockSize));
    }
    if (!file.writeExact(0, bytes.data(), bytes.size()))
        fail(kWriteFault, "Cannot create memo file " + path + " [CreateDbf]");
}

int MemoFile::open(const std::string& path, PosixFile::Sharing sharing)
{
    if (m_file.isOpen())
        return kMemoAlreadyOpen;
    if (const int code = m_file.open(path, sharing); code != 0)
        return code;
    m_size = m_file.size();
    std::memset(m_head, 0, sizeof m_head);
    m_file.readAt(0, m_head, sizeof m_head);
    m_counter = getU32(m_head + kCounterOffset);
    m_diskNextFree = getU32(m_head);
    m_pending.clear();
    m_bulk = false;
    m_headerDirty = false;
    m_knownFree = 0;
    m_writtenSinceCheck = 0;
    return 0;
}

void MemoFile::writeHeader(uint32_t nextFree) const
{
    putU32(m_head, nextFree);
    putU32(m_head + kCounterOffset, m_counter);
    if (!m_file.writeExact(0, m_head, sizeof m_head))
        fail(kMemoWriteError, "Memo file write error " + path());
    m_diskNextFree = nextFree;
    m_headerDirty = false;
}

uint32_t MemoFile::usedBlocks() const
{
    return uint32_t((m_size + kBlockSize - 1) / kBlockSize);
}

void MemoFile::finishBulk()
{
    m_bulk = false;
    writePending(true);
}

// The next free block on disk must never name a block that already holds a
// memo, or another writer (or this one after a crash) would overwrite it.
// So the header goes out before the memo data it makes room for. Writing it
// for every memo costs a second system call per memo; instead, while the
// file is private to this process, the header is written ahead of need,
// naming a block a little beyond the end, and only again when the memos
// reach it. Flush and close write the exact value once the data is out.
void MemoFile::writePending(bool exactHeader) const
{
    const bool exactAlways = m_sharedLocking || m_flushEveryWrite;
    if (m_headerDirty && !m_bulk) {
        const uint32_t used = usedBlocks();
        if (exactHeader || exactAlways)
            writeHeader(used);
        else if (used > m_diskNextFree)
            writeHeader(used + kBlocksAhead);
    }
    if (!m_pending.empty()) {
        if (!m_file.writeExact(m_pendingStart, m_pending.data(), m_pending.size()))
            fail(kWriteFault, "Memo file write error " + path());
        m_pending.clear();
    }
    if (exactHeader && !m_bulk && m_diskNextFree != usedBlocks())
        writeHeader(usedBlocks());
}

void MemoFile::flush()
{
    if (m_file.isOpen())
        writePending(true);
}

void MemoFile::close()
{
    flush();
    m_file.close();
}

// Asking the file system for its free space costs a system call, so it is
// asked again only after a megabyte was written or when space runs low.
void MemoFile::checkFreeSpace(uint64_t needed)
{
    if (m_bulk)
        return;
    constexpr uint64_t kRecheckAfter = uint64_t(1) << 20;
    constexpr uint64_t kLowSpace = uint64_t(64) << 20;
    if (m_knownFree < kLowSpace || m_writtenSinceCheck + needed > kRecheckAfter) {
        m_knownFree = freeDiskSpace(directoryOf(path()));
        m_writtenSinceCheck = 0;
    }
    if ((m_knownFree - std::min(m_knownFree, m_writtenSinceCheck)) / 1024 <= needed / 1024)
        fail(kDiskFull, "Disk full writing memo file " + path());
    m_writtenSinceCheck += needed;
}

uint32_t MemoFile::nextFreeBlock() const
{
    uint8_t head[4] = {};
    m_file.readExact(0, head, 4);
    return getU32(head);
}

std::vector<std::string> splitMemoLines(std::string_view text)
{
    std::vector<std::string> lines;
    auto addLine = [&lines](std::string_view line) {
        while (line.size() > MemoFile::kMaxLineLength && lines.size() < MemoFile::kMaxLines) {
            std::string_view head = line.substr(0, MemoFile::kMaxLineLength);
            size_t cut = head.rfind(' ');
            cut = (cut == std::string_view::npos || cut == 0) ? head.size() : cut + 1;
            lines.emplace_back(line.substr(0, cut));
            line.remove_prefix(cut);
        }
        if (lines.size() < MemoFile::kMaxLines)
            lines.emplace_back(line);
    };
    size_t start = 0;
    for (size_t i = 0; i + 1 < text.size() && lines.size() < MemoFile::kMaxLines; ++i) {
        const uint8_t ch = uint8_t(text[i]);
        if ((ch == '\r' || ch == kSoftReturn) && text[i + 1] == '\n') {
            addLine(text.substr(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    if (start < text.size() && lines.size() < MemoFile::kMaxLines)
        addLine(text.substr(start));
    return lines;
}

size_t MemoFile::readVia(ReadWindow* window, uint64_t offset, void* data, size_t size,
                         uint64_t fileSize) const
{
    if (!window)
        return m_file.readAt(offset, data, size);
    constexpr size_t kWindowBytes = size_t(1) << 20;
    char* out = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const uint64_t at = offset + done;
        if (at < window->start || at >= window->start + window->bytes.size()) {
            if (at >= fileSize)
                break;
            window->bytes.resize(size_t(std::min<uint64_t>(kWindowBytes, fileSize - at)));
            window->bytes.resize(m_file.readAt(at, window->bytes.data(), window->bytes.size()));
            window->start = at;
            if (window->bytes.empty())
                break;
        }
        const size_t from = size_t(at - window->start);
        const size_t n = std::min(size - done, window->bytes.size() - from);
        std::memcpy(out + done, window->bytes.data() + from, n);
        done += n;
    }
    return done;
}

MemoFile::RawMemo MemoFile::readRaw(int32_t block, long recno, ReadWindow* window) const
{
    RawMemo memo;
    writePending(false);
    const uint64_t size = m_sharedLocking ? m_file.size() : m_size;
    const uint64_t offset = uint64_t(block) * kBlockSize;
    if (block <= 0 || size == 0 || offset >= size - 1)
        fail(kInvalidMemoAddress, "Invalid memo address " + std::to_string(block) + " in " +
                                      path() + " for record " + std::to_string(recno) +
                                      " [GetMemo]");
    uint8_t prefix[kDBase4PrefixSize] = {};
    const size_t got = readVia(window, offset, prefix, kDBase4PrefixSize, size);
    if (got == kDBase4PrefixSize && std::memcmp(prefix, kDBase4Prefix, 4) == 0) {
        memo.dbase4Form = true;
        uint32_t length = getU32(prefix + 4);
        length = length >= kDBase4PrefixSize ? length - uint32_t(kDBase4PrefixSize) : 0;
        const uint64_t available = size - offset - kDBase4PrefixSize;
        memo.text.resize(std::min<uint64_t>(length, available));
        readVia(window, offset + kDBase4PrefixSize, memo.text.data(), memo.text.size(), size);
        return memo;
    }
    // dBASE III form: everything up to the terminator (or the end of the
    // file). Most memos fit in their first block; longer ones are read on in
    // bigger steps.
    std::vector<char> chunk(kBlockSize);
    uint64_t pos = offset;
    while (pos < size) {
        const size_t n = readVia(window, pos, chunk.data(),
                                 size_t(std::min<uint64_t>(chunk.size(), size - pos)), size);
        if (n == 0)
            break;
        const auto end = std::find(chunk.begin(), chunk.begin() + long(n), char(kMemoTerminator));
        memo.text.append(chunk.begin(), end);
        if (end != chunk.begin() + long(n))
            break;
        pos += n;
        chunk.resize(16 * kBlockSize);
    }
    return memo;
}

std::vector<std::string> MemoFile::read(int32_t block, long recno) const
{
    if (block == 0)
        return {};
    if (block < 0)
        return {kBlob};
    return splitMemoLines(readRaw(block, recno).text);
}

int32_t MemoFile::write(const std::vector<std::string>& lines)
{
    std::string text;
    size_t total = 0;
    for (const auto& line : lines)
        total += line.size() + 2;
    text.reserve(total);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += "\r\n";
        text += lines[i];
    }
    // No lines, or a single empty one, is the empty memo: the field keeps 0.
    return writeText(text);
}

int32_t MemoFile::writeText(std::string_view text)
{
    if (text.empty())
        return 0;
    const bool dbase4 = m_style == MemoStyle::DBase4;
    if (!dbase4 && text.find(char(kMemoTerminator)) != std::string_view::npos)
        fail(kMemoHoldsTerminator, "Memo text holds the end-of-memo byte 0x1A at offset " +
                                       std::to_string(text.find(char(kMemoTerminator))) +
                                       "; it would be cut there [" + path() + "]");
    return append(text, dbase4);
}

int32_t MemoFile::writeRaw(const RawMemo& memo)
{
    if (memo.text.empty() && !memo.dbase4Form)
        return 0;
    return append(memo.text, memo.dbase4Form);
}

void MemoFile::lockForAppend()
{
    if (m_sharedLocking && !m_file.lockRange(m_lockOffset, 1))
        fail(kMemoLockFailed, "Cannot lock memo file " + path());
}

void MemoFile::unlockAfterAppend()
{
    if (m_sharedLocking && !m_file.unlockRange(m_lockOffset, 1))
        fail(kMemoUnlockFailed, "Cannot unlock memo file " + path());
}

int32_t MemoFile::append(std::string_view text, bool dbase4Form)
{
    const uint64_t needed = text.size() + (dbase4Form ? kDBase4PrefixSize : kTerminatorLength);
    checkFreeSpace(needed);
    lockForAppend();
    if (m_sharedLocking)
        m_size = m_file.size(); // another program may have appended
    const uint64_t size = m_size;
    uint64_t start = size;
    if (size == kNewDBase3Size)
        start = kBlockSize; // overwrite the lone end marker of a new file
    else if (size % kBlockSize != 0)
        start = (size / kBlockSize + 1) * kBlockSize;
    if (start < kBlockSize)
        start = kBlockSize;

    // The gap up to the block boundary (if any), the memo and the zero fill
    // of its last block are one run of bytes.
    const uint64_t from = size == kNewDBase3Size ? start : std::min(size, start);
    const uint64_t padded = (needed + kBlockSize - 1) / kBlockSize * kBlockSize;
    if (!m_pending.empty() && from != m_pendingStart + m_pending.size())
        writePending(false);
    if (m_pending.empty())
        m_pendingStart = from;
    m_pending.append(size_t(start - from), '\0');
    if (dbase4Form) {
        m_pending.append(reinterpret_cast<const char*>(kDBase4Prefix), 4);
        uint8_t length[4];
        putU32(length, uint32_t(text.size() + kDBase4PrefixSize));
        m_pending.append(reinterpret_cast<const char*>(length), 4);
        m_pending.append(text);
    } else {
        // Two end bytes: some readers look for the pair, not the first one.
        m_pending.append(text);
        m_pending.append(kTerminatorLength, char(kMemoTerminator));
    }
    m_pending.resize(size_t(start + padded - m_pendingStart), '\0');
    m_size = start + padded;
    ++m_counter;
    m_headerDirty = true;
    // With batching (or during a pack) memos are collected and written in
    // batches, header last, so the header never names a block that holds
    // data already. Otherwise each memo goes out at once.
    if (!(m_batching || m_bulk) || m_sharedLocking || m_flushEveryWrite ||
        m_pending.size() >= (m_bulk ? kBulkPendingLimit : kPendingLimit))
        writePending(false);
    if (m_flushEveryWrite)
        m_file.flush();
    unlockAfterAppend();
    return int32_t(start / kBlockSize);
}

} // namespace dbf
