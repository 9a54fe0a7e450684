#pragma once

// Memo file layout (".DBT"), in 512-byte blocks; block n starts at 512 * n.
//
//   Block 0, the header: bytes 0-3 the next free block (little-endian), bytes
//   32-35 a write counter that readers ignore, the rest zero. The dBASE IV
//   variant also keeps the table name at 8-15, 0x02 0x01 at 18-19 and the block
//   size at 20-21.
//
//   A memo starts at the beginning of its first block and runs over as many
//   consecutive blocks as it needs. dBASE III form: the lines joined by CR LF,
//   one 0x1A, zeros up to the block end. dBASE IV form: FF FF 08 00, a 32-bit
//   length that counts those 8 bytes, then the text with no terminator.
//
//   A new dBASE III file is 513 bytes: the header with next free block 1 and a
//   0x1A at offset 512, which the first memo overwrites. Memos are only ever
//   appended; a rewritten memo goes to the end and its old blocks stay behind
//   until the table is packed.

#include "dbf/posix_file.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {

enum class MemoStyle { DBase3, DBase4 };

class MemoFile {
public:
    static constexpr int kBlockSize = 512;
    static constexpr size_t kMaxLineLength = 254;
    static constexpr size_t kMaxLines = 1024;

    // Writes a new, empty memo file; fails with the engine's message.
    static void create(const std::string& path, MemoStyle style, const std::string& tableName);

    // Opens an existing memo file; returns 0 or the open error code.
    int open(const std::string& path, PosixFile::Sharing sharing);
    // Writes the header (next free block, counter) when memos were added.
    void flush();
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    const std::string& path() const { return m_file.path(); }
    MemoStyle style() const { return m_style; }
    void setStyle(MemoStyle style) { m_style = style; }
    void setFlushEveryWrite(bool on) { m_flushEveryWrite = on; }
    // Collects appended memos and writes them in 64 KB batches.
    void setBatching(bool on) { m_batching = on; }
    // In shared use each append runs under a byte-range lock at this offset.
    void setSharedLocking(bool on, uint64_t lockOffset)
    {
        m_sharedLocking = on;
        m_lockOffset = lockOffset;
    }

    // Reads the memo at `block` as lines (254-character split, at most 1024
    // lines). Block 0 is the empty text; a negative block is a binary memo
    // read as "(BLOB)". `recno` only goes into the error message.
    std::vector<std::string> read(int32_t block, long recno) const;
    // Writes the lines as a new memo at the end of the file; returns its first
    // block, or 0 for an empty text (nothing is written then).
    int32_t write(const std::vector<std::string>& lines);
    // Writes a text exactly as given; returns its first block, or 0 for an
    // empty text. A dBASE III memo cannot hold 0x1A: such a text fails with
    // kMemoHoldsTerminator and nothing is written.
    int32_t writeText(std::string_view text);

    // The stored bytes of one memo and its form, for copying during a pack.
    struct RawMemo {
        std::string text;
        bool dbase4Form = false;
    };
    // A large read buffer for passes that read many memos in file order
    // (pack): memos are then fetched a megabyte at a time.
    struct ReadWindow {
        std::vector<char> bytes;
        uint64_t start = 0;
    };
    RawMemo readRaw(int32_t block, long recno, ReadWindow* window = nullptr) const;
    int32_t writeRaw(const RawMemo& memo);

    // Next free block from the header (for checks and tests).
    uint32_t nextFreeBlock() const;

    // For bulk copies (pack): skip the per-write disk space check, which the
    // caller made once for the whole copy, and write the header only at
    // finishBulk().
    void beginBulk() { m_bulk = true; }
    void finishBulk();
    // Forces the file to disk.
    bool sync() { return m_file.flush(); }

private:
    int32_t append(std::string_view text, bool dbase4Form);
    void lockForAppend();
    void unlockAfterAppend();

    void writeHeader(uint32_t nextFree) const;
    void writePending(bool exactHeader) const;
    uint32_t usedBlocks() const;
    // How far ahead of the data the header's next free block is written.
    static constexpr uint32_t kBlocksAhead = 256;
    static constexpr size_t kPendingLimit = 65536;
    static constexpr size_t kBulkPendingLimit = size_t(1) << 20;
    void checkFreeSpace(uint64_t needed);
    size_t readVia(ReadWindow* window, uint64_t offset, void* data, size_t size,
                   uint64_t fileSize) const;

    mutable PosixFile m_file;
    // Memo bytes not yet written, starting at m_pendingStart.
    mutable std::string m_pending;
    uint64_t m_pendingStart = 0;
    uint64_t m_size = 0;    // kept in step with every append
    uint32_t m_counter = 0; // the write counter at header offset 32
    bool m_bulk = false;
    bool m_batching = false;
    mutable bool m_headerDirty = false;
    mutable uint8_t m_head[36] = {};     // header bytes up to and including the counter
    mutable uint32_t m_diskNextFree = 0; // the next free block the header on disk names
    uint64_t m_knownFree = 0;
    uint64_t m_writtenSinceCheck = 0;
    MemoStyle m_style = MemoStyle::DBase3;
    bool m_flushEveryWrite = false;
    bool m_sharedLocking = false;
    uint64_t m_lockOffset = 0;
};

// Splits stored memo text into display lines: CR LF (or 0x8D LF) ends a line,
// lines above 254 characters break after the last blank before the limit,
// and lines beyond the 1024th are dropped.
std::vector<std::string> splitMemoLines(std::string_view text);

} // namespace dbf
