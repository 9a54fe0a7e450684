#pragma once

#include "dbf/dbf_error.h"
#include "dbf/engine_config.h"
#include "dbf/memo_channel.h"
#include "dbf/work_area.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dbf {

// The dBASE table engine: up to 33 work areas, one of them current, and the
// error state of the last operation. Every operation works on the current
// work area, sets ErrorCode() (0 on success) and, on failure, the message.
// A failure is then reported as configured: nothing more with error checking
// off; otherwise the OnError handler when set, else an EDbfError when
// exceptions are on, else the halt reporter ("Program halted.", which by
// default prints the text and ends the process with the code).
//
// Operations keep the engine's own names so that callers read like the
// table layer they were written against.
class DbfEngine {
public:
    static constexpr int kMaxWorkAreas = 33;
    static constexpr int kMaxAliasLength = 64;

    using HaltReporter = std::function<void(int code, const std::string& text)>;

    DbfEngine();
    ~DbfEngine();
    DbfEngine(const DbfEngine&) = delete;
    DbfEngine& operator=(const DbfEngine&) = delete;

    // The engine a program uses when it has only one.
    static DbfEngine& global();

    // --- error handling ---
    int ErrorCode() const { return m_errorCode; }
    const std::string& ErrorMessage() const { return m_errorMessage; }
    void setErrorCheck(bool on) { m_errorCheck = on; }
    bool errorCheck() const { return m_errorCheck; }
    void setExceptions(bool on) { m_exceptions = on; }
    bool exceptions() const { return m_exceptions; }
    // An empty reporter restores the default one.
    void setHaltReporter(HaltReporter reporter)
    {
        m_haltReporter = reporter ? std::move(reporter) : HaltReporter(defaultHaltReporter);
    }
    const HaltReporter& haltReporter() const { return m_haltReporter; }
    static void defaultHaltReporter(int code, const std::string& text);
    // Records `code` and `message` as the last error and reports them as
    // configured above. Layers built on the engine report their own failures
    // through it so that every error takes the same way.
    void report(int code, const std::string& message);
    // Called instead of raising or halting; its first parameter is the engine.
    std::function<void(DbfEngine* sender, int code, const std::string& text)> OnError;

    // --- settings ---
    EngineConfig& config() { return m_config; }
    void setDateStyle(int style) { m_config.dates.style = style; }
    int dateStyle() const { return m_config.dates.style; }
    // The four-digit year setting of "D" fields in the record buffer.
    void setCentury(bool on) { m_config.dates.fourDigitYear = on; }
    bool century() const { return m_config.dates.fourDigitYear; }
    // Sets style and four-digit year from a short date format ("dd.MM.yyyy").
    void setDateFormat(const std::string& format);
    void setClock(Clock clock);
    CalendarDate today() const { return m_config.dates.today(); }
    void setHideDeleted(bool on) { m_config.hideDeleted = on; }
    bool hideDeleted() const { return m_config.hideDeleted; }
    void setFlushEveryWrite(bool on) { m_config.flushEveryWrite = on; }
    // Takes effect for tables opened afterwards.
    void setBatchAppends(bool on) { m_config.batchAppends = on; }
    void setAutoFixRecCount(bool on) { m_config.autoFixRecCount = on; }
    bool autoFixRecCount() const { return m_config.autoFixRecCount; }
    void setNetworkSharing(bool on) { m_config.networkSharing = on; }
    void setLockBase(uint64_t offset) { m_config.lockBase = offset; }
    void setLockRetries(int count) { m_config.lockRetries = count; }
    void setMemoStyle(MemoStyle style) { m_config.memoStyle = style; }
    void setUniqueIndexes(bool on) { m_config.uniqueIndexes = on; }
    void setSortMemory(size_t bytes) { m_config.sortMemory = bytes; }
    // The key-maker function that MakeIndex uses when given no expression, and
    // that indexes built so need when they are opened (see dbf/key_maker.h).
    void setKeyMaker(KeyMaker maker) { m_config.keyMaker = std::move(maker); }

    // --- work areas ---
    // Makes `area` (1 to 33) current; 0 picks the first free one.
    bool Select(int area);
    int CurrentArea() const { return m_current; }
    bool IsOpen() const;
    std::string Alias() const;
    std::string DbfPath() const;
    // "FILE[ EXCLUSIVE][ ALIAS NAME]". A caller's record buffer must have
    // exactly the size of the table's buffer.
    bool Use(const std::string& command, uint8_t* buffer = nullptr, size_t bufferSize = 0);
    bool CreateDBF(const std::string& fileName, const std::vector<FieldDef>& fields);
    bool CloseDbf();
    void CloseAll();

    // --- records ---
    bool ClearRecord();
    bool Append();
    bool Replace();
    bool DeleteRec();
    bool RecallRec();
    bool Deleted();
    bool GoTop();
    bool GoBottom();
    bool Go(long recno);
    bool Skip(long count = 1);
    bool Bof();
    bool Eof();
    long RecCount();
    long RecNo();
    int RecSize();
    bool Zap();
    bool Pack();
    bool FlushFile();
    std::string UniqueFilename();

    // --- field catalogue and record buffer (field numbers are 1-based) ---
    int FieldCount();
    std::string Field(int number);
    int FieldNo(const std::string& name);
    char FieldType(int number);
    int FieldLen(int number);
    int FieldDec(int number);
    uint8_t* FieldAddress(int number); // 0 gives the buffer start
    size_t BufferSize();
    const FieldList* Fields();

    // Typed access to the record buffer.
    std::string FieldText(int number);    // "C" with its blanks, "D" in the date style
    std::string RawFieldText(int number); // the field as stored in the file record
    bool SetFieldText(int number, const std::string& text);
    double FieldNumber(int number);
    bool SetFieldNumber(int number, double value);
    bool FieldLogical(int number);
    bool SetFieldLogical(int number, bool value);
    int32_t FieldMemoBlock(int number);

    // --- memo texts ---
    std::vector<std::string> GetMemo(int32_t block);
    std::vector<std::string> GetMemoField(int number);
    // Writes the lines as a new memo and puts its block into the field's slot;
    // the record itself is written by the next Append or Replace.
    bool SetMemoField(int number, const std::vector<std::string>& lines);
    // A memo byte for byte as stored: no line splitting, no line limit, line
    // ends kept ("(BLOB)" for a binary memo). A damaged pointer fails with
    // code 1003 and gives an empty text, so a caller with error checking off
    // can go on with the next record.
    std::string GetMemoBytes(int32_t block);
    bool GetMemoFieldBytes(int number, std::string& out);
    // Writes `bytes` exactly as the field's new memo (see SetMemoField). A
    // text holding 0x1A is refused with code 1006.
    bool SetMemoFieldBytes(int number, const std::string& bytes);

    // True only when the clean marker of `table` (written when the table was
    // last closed cleanly with these indexes open) is complete and the table
    // and every index file still match it, so the indexes need no rebuild.
    // An index left by a crash or changed by another program never counts.
    bool IndexesCurrent(const std::string& table, const std::vector<std::string>& indexes);
    // Binds a text channel to the memo whose first block `block` holds (a
    // variable that outlives the channel), or to a memo field of the current
    // record buffer; see dbf/memo_channel.h.
    bool AssignMemo(MemoChannel& channel, int32_t& block);
    bool AssignMemoField(MemoChannel& channel, int number);

    // --- locks ---
    bool ALock();
    bool RLock();
    bool UnlockRec();
    bool Unlock();
    bool IsLocked();

    // --- indexes ---
    bool MakeIndex(const std::string& expression, const std::string& fileWithOptions);
    bool IndexOn(const std::string& expression, const std::string& fileWithOptions);
    bool SetIndexTo(const std::string& list);
    bool SetIndexToLFN(const std::string& fileWithOptions, int order);
    bool Set_Order_To(int order);
    int IndexOrder();
    bool Find(const std::string& key);
    bool Reindex();
    bool IndexInfo(const std::string& file, IndexInfoResult& info);
    // The key of the current record in the controlling index.
    std::string CurrentKey();

    // A condition records must meet to be visible while moving ("" clears it).
    bool SetWhile(const std::string& expression);
    bool SetRecordHooks(WorkArea::RecordHook beforeWrite, WorkArea::RecordHook afterRead);

    // The current work area, or nullptr (for layers built on the engine).
    WorkArea* currentArea();

private:
    friend class MemoChannel;
    // run() for code outside this file (the memo channel).
    bool runBody(const char* operation, const std::function<void()>& body);
    template <typename F> bool run(const char* operation, F&& body);
    template <typename F> bool query(const char* operation, F&& body);
    WorkArea& area(const char* operation);
    // The current area after checking that field `number` is a memo.
    WorkArea& memoFieldArea(int number);
    void makeIndexIn(WorkArea* area, const std::string& expression,
                     const std::string& fileWithOptions);
    void reportSoft(int code, const std::string& message);

    EngineConfig m_config;
    std::array<std::unique_ptr<WorkArea>, kMaxWorkAreas> m_areas;
    int m_current = 1;
    int m_errorCode = 0;
    std::string m_errorMessage;
    bool m_errorCheck = true;
    bool m_exceptions = false;
    HaltReporter m_haltReporter = defaultHaltReporter;
};

// Switches an engine's error checking off for a scope whose code judges every
// failure itself, and restores the setting before it however the scope ends.
class ErrorCheckOff {
public:
    explicit ErrorCheckOff(DbfEngine& engine) : m_engine(engine), m_check(engine.errorCheck())
    {
        m_engine.setErrorCheck(false);
    }
    ~ErrorCheckOff() { m_engine.setErrorCheck(m_check); }
    ErrorCheckOff(const ErrorCheckOff&) = delete;
    ErrorCheckOff& operator=(const ErrorCheckOff&) = delete;

private:
    DbfEngine& m_engine;
    bool m_check;
};

} // namespace dbf
