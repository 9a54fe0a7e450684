#pragma once

// Table file layout (".DBF"), all integers little-endian:
//
//   0      version: 0x03 without memo, 0x83 with a dBASE III memo, 0x8B with a
//          dBASE IV memo (bit 7 = memo present; low bits 3 = dBASE III)
//   1-3    date of last update: year - 1900, month, day
//   4-7    record count
//   8-9    header length = 32 + 32 * fields + 1
//   10-11  record length = 1 + sum of field lengths
//   12-31  zero
//   32...  one 32-byte descriptor per field: name (11 bytes, zero-padded,
//          upper case), type letter at 11, length at 16, decimals at 17
//   then   0x0D ending the header
//   then   the records, record 1 first: a flag byte (" " active, "*"
//          deleted) and the field texts without separators
//   last   0x1A after the last record
//
// Field texts: "C" left-aligned and blank-padded; "N" and "F" right-aligned
// fixed-point ("*" fill when too wide); "L" "T" or "F" (T, t, Y, y read as
// true); "D" YYYYMMDD or 8 blanks; "M" the first memo block, right-aligned.

#include "dbf/engine_config.h"
#include "dbf/field_info.h"
#include "dbf/index_list.h"
#include "dbf/memo_file.h"
#include "dbf/ndx_index.h"
#include "dbf/posix_file.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace dbf {

// A field as given to CreateDBF.
struct FieldDef {
    std::string name;
    char type = 'C';
    int length = 0;
    int decimals = 0;
};

// What IndexInfo reads from an index header.
struct IndexInfoResult {
    std::string expression;
    int keyLength = 0;
    char keyType = 'C';
    bool unique = false;
    long recordCount = -1; // -1 when the stored count fails its check
    std::string tableName;
};

// One open table: its file, field catalogue, record buffer, memo file and
// indexes. All positioning and record operations of the engine end here;
// failures are thrown as DbfFailure and turned into the engine's error state
// by DbfEngine.
class WorkArea {
public:
    static constexpr int kMaxIndexes = 16;
    enum class ChangeState { Closed = 0, Clean = 1, Rewritten = 2, Appended = 3 };
    enum class LockState { None, Records, File };
    using RecordHook = std::function<void(uint8_t* bytes, size_t length)>;

    WorkArea(EngineConfig& config, int number);
    ~WorkArea();

    static void create(const std::string& path, const std::vector<FieldDef>& fields,
                       const EngineConfig& config);

    void open(const std::string& path, const std::string& alias, bool exclusive,
              uint8_t* callerBuffer, size_t callerSize);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

    const std::string& path() const { return m_path; }
    const std::string& alias() const { return m_alias; }
    int number() const { return m_number; }
    bool exclusive() const { return m_exclusive; }

    // Records.
    void clearRecord();
    void append();
    void replace();
    void setDeleted(bool deleted, const char* operation);
    bool deleted() const { return m_buffer[0] != 0; }
    void goTop();
    void goBottom();
    void go(long recno);
    void skip(long count);
    long recCount() const { return long(m_count); }
    long recNo() const { return m_recno; }
    int recSize() const { return m_recordLength; }
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    void zap();
    void pack();
    void flush();

    // Fields and the record buffer.
    const FieldList& fields() const { return m_fields; }
    const FieldInfo& field(int number, const char* operation) const; // 1-based
    int fieldNo(const std::string& name) const;                      // 0 when absent
    uint8_t* buffer() { return m_buffer; }
    size_t bufferSize() const { return m_bufferSize; }
    std::string rawFieldText(int number) const;
    std::string fieldText(int number) const;
    void setFieldText(int number, const std::string& text);
    double fieldNumber(int number) const;
    void setFieldNumber(int number, double value);
    bool fieldLogical(int number) const;
    void setFieldLogical(int number, bool value);
    int32_t fieldMemoBlock(int number) const;
    void setFieldMemoBlock(int number, int32_t block);

    // Memo texts.
    std::vector<std::string> readMemo(int32_t block) const;
    // The stored text of a memo, lines joined by CR LF ("(BLOB)" for a
    // binary memo).
    std::string readMemoText(int32_t block) const;
    int32_t writeMemo(const std::vector<std::string>& lines);
    int32_t writeMemoText(const std::string& bytes);
    // Fails with 1003 when the field's text in the current record is not a
    // block number (while the buffer still holds what was read).
    void checkMemoPointer(int number) const;
    bool hasMemo() const { return m_hasMemo; }

    // Locks.
    void lockFile();
    void lockRecord();
    void unlockRecord();
    void unlockAll();
    bool isLocked() const;

    // Indexes.
    void makeIndex(const std::string& expression, const std::string& fileWithOptions);
    void setIndexTo(const std::string& list);
    void setIndexToLfn(const std::string& fileWithOptions, int order);
    void setOrder(int order);
    int order() const { return m_order; }
    bool find(const std::string& key);
    void reindex();
    std::string currentKey();
    bool hasIndexFile(const std::string& path) const;
    NdxIndex* index(int slot) { return m_indexes[size_t(slot - 1)].get(); }

    void setWhile(const std::string& expression);
    void setRecordHooks(RecordHook beforeWrite, RecordHook afterRead)
    {
        m_beforeWrite = std::move(beforeWrite);
        m_afterRead = std::move(afterRead);
    }

private:
    void readHeader();
    void layoutBuffer(uint8_t* callerBuffer, size_t callerSize);
    void openMemo();
    void writeHeader(bool endMarker);
    void readRecord(long recno);
    void readImage(long recno, uint8_t* image) const;
    void unpack(const uint8_t* image, uint8_t* buffer) const;
    void unpackField(const FieldInfo& f, const uint8_t* image, uint8_t* buffer) const;
    void packBuffer(uint8_t* image) const;
    void reportOverflow(const char* operation) const;
    void rememberWide(int number, const std::string& text, int64_t saturated);
    void setEof();
    void setBlankBoth();
    bool visible();
    uint32_t nextInOrder();
    uint32_t prevInOrder();
    void syncCursor();
    NdxIndex& orderIndex(const char* operation);
    template <typename F> auto walkIndex(NdxIndex& idx, F&& body);
    void insertKey(NdxIndex& idx, const std::string& key, uint32_t recno);
    EvalContext context(const uint8_t* buffer, long recno, const uint8_t* image = nullptr) const;
    void checkAppendLock() const;
    void checkRecordLock(const char* operation) const;
    void requireExclusive(const char* operation);
    void restoreSharing();
    struct PackFiles {
        std::string table;      // the packed table, renamed over the table
        std::string memo;       // the packed memo file (empty without memos)
        std::string memoTarget; // the memo file it replaces
        std::string intent;     // the commit record
    };
    enum class Keep { Live, None };
    bool anyDeleted() const;
    PackFiles packFiles() const;
    void replaceByCopy(Keep keep);
    uint32_t writePackedCopy(const PackFiles& files, Keep keep);
    void copyMemoField(const FieldInfo& f, uint8_t* rec, uint32_t recno, MemoFile& copy,
                       MemoFile::ReadWindow& window);
    void checkMemoPackSpace() const;
    void commitPack(const PackFiles& files);
    void finishPack(const PackFiles& files, uint32_t kept, Keep keep);
    static void recoverPack(const std::string& tablePath);
    void configureMemo();
    // The first change of a session removes the clean marker before it
    // reaches the files; every record change counts, so that an index opened
    // later knows whether it missed changes.
    void beginChange(bool recordChange);
    class ChangeGuard;
    bool slotCurrent(const std::string& indexPath) const;
    void forgetSlot(int slot);
    void writeCleanMarker(const std::vector<std::string>& currentIndexes);
    void rebuildIndex(int slot);
    void buildIndex(const std::string& expression, const IndexOptions& options);
    ExprValue firstKey(const KeyExpression* compiled, std::vector<uint8_t>& buffer);
    void openIndexSlot(const IndexOptions& options, int slot);
    void closeIndexes();
    bool anyIndexOpen() const;
    void lockSemaphore();
    void unlockSemaphore();
    class SemaphoreLock;
    bool retryLock(const std::function<bool()>& attempt) const;
    uint64_t recordOffset(long recno) const
    {
        return uint64_t(m_headerLength) + uint64_t(recno - 1) * uint64_t(m_recordLength);
    }
    std::string memoPath() const;
    void writePendingRecords() const;
    void dropReadAhead() const
    {
        m_aheadCount = 0;
        m_lastRead = -1;
    }

    EngineConfig& m_config;
    int m_number;
    mutable PosixFile m_file;
    std::string m_path;
    std::string m_alias;
    uint8_t m_header[32] = {};
    int m_headerLength = 0;
    int m_recordLength = 0;
    FieldList m_fields;
    uint32_t m_count = 0;
    long m_recno = 0;
    bool m_bof = true;
    bool m_eof = true;
    std::vector<uint8_t> m_image;
    std::vector<uint8_t> m_ownBuffer;
    uint8_t* m_buffer = nullptr;
    size_t m_bufferSize = 0;
    bool m_hasMemo = false;
    bool m_exclusive = true;
    bool m_reopenedExclusive = false;
    LockState m_lockState = LockState::None;
    std::set<long> m_lockedRecords;
    ChangeState m_change = ChangeState::Closed;
    RecordHook m_beforeWrite;
    RecordHook m_afterRead;
    MemoFile m_memo;
    std::array<std::unique_ptr<NdxIndex>, kMaxIndexes> m_indexes;
    std::array<IndexOptions, kMaxIndexes> m_indexOptions;
    int m_order = 0;
    bool m_cursorSynced = false;
    std::unique_ptr<KeyExpression> m_while;
    PosixFile m_semaphore;
    // Index files the clean marker vouched for when the table was opened.
    std::vector<FileStamp> m_vouched;
    // Record changes since the table was opened.
    long m_changeCount = 0;
    bool m_markerRemoved = false;
    // A change failed part way: no index is vouched for at close.
    bool m_changeFailed = false;
    // Per open slot: the index reflects every change of the table.
    std::array<bool, kMaxIndexes> m_slotCurrent{};
    // Index files that matched the table when the change count had this value.
    std::map<std::string, long> m_currentAt;
    // Records read ahead while the table is read in record order.
    mutable std::vector<uint8_t> m_ahead;
    mutable long m_aheadFirst = 0;
    mutable long m_aheadCount = 0;
    mutable long m_lastRead = -1;
    // Exact texts of whole numbers beyond 64 bits set into the buffer.
    struct WideText {
        std::string text;
        int64_t value;
    };
    mutable std::map<int, WideText> m_exactWide;
    // The first numeric field the last packBuffer() had to fill with "*".
    mutable std::string m_overflowField;
    // Appended records not yet written, starting with record m_pendingFirst.
    mutable std::vector<uint8_t> m_pendingRecords;
    long m_pendingFirst = 0;
};

} // namespace dbf
