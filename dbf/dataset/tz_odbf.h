#pragma once

#include "dbf/dataset/tz_data_source.h"
#include "dbf/dbf_engine.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TTzODbf;
using TTzLockFailedEvent = std::function<void(TTzODbf* sender)>;

// One record as a grid shows it: its number, its deletion mark and the
// display text of every field (index 0 is field 1).
struct TTzRowImage {
    long recNo = 0;
    bool deleted = false;
    std::vector<std::string> texts;
};

// A run of consecutive records in the current order around the current one.
struct TTzRowWindow {
    std::vector<TTzRowImage> rows;
    int current = -1; // index of the current record in rows, -1 when none
};

// A data source bound to one work area of the table engine. Every call
// selects that work area first and hands the engine this table's
// hide-deleted setting, so several tables can share one engine.
class TTzODbf : public TTzDataSource {
    Q_OBJECT
public:
    explicit TTzODbf(QObject* owner = nullptr, dbf::DbfEngine& engine = dbf::DbfEngine::global());
    ~TTzODbf() override;

    dbf::DbfEngine& engine() const { return m_engine; }
    // The engine's work area of the open table, 0 while closed.
    int WorkArea() const { return m_area; }
    bool IsOpen() const;
    uint8_t* RecordBuffer();
    size_t RecordBufferSize();

    // The code the last operation left (0 for success). The engine's own code
    // is not reliable after an operation that notifies, because the handlers
    // of the notification call the engine again.
    int ErrorCode() const { return m_errorCode; }

    bool HideDeletedRecs() const { return m_hideDeleted; }
    void setHideDeletedRecs(bool hide) { m_hideDeleted = hide; }

    TTzLockFailedEvent OnALockFailedOnInsert;
    TTzLockFailedEvent OnRLockFailedOnDelete;
    TTzLockFailedEvent OnRLockFailedOnPost;
    TTzLockFailedEvent OnRLockFailedOnRestore;

    // --- the record buffer, by field name (names ignore case) ---
    void ClearRecord();
    // Cuts the text to the field's length.
    void SetCField(const std::string& field, const std::string& value);
    void SetLField(const std::string& field, bool value);
    // A date text in the engine's date style; blank text empties the date.
    // False (after showing 57619) for a text that is not a date.
    bool SetDField(const std::string& field, const std::string& dateText);
    // A number into an "N" or "F" field.
    void SetNField(const std::string& field, double value);
    // Writes the lines as a new memo; the record itself is written by the
    // next Append or Replace.
    void SetMField(const std::string& field, const std::vector<std::string>& lines);
    // Fills `lines` (cleared first) with the memo of the current record.
    void GetMField(const std::string& field, std::vector<std::string>& lines);
    std::string GetCField(const std::string& field);
    bool GetLField(const std::string& field);
    std::string GetDField(const std::string& field);

    // --- records; moves and bulk changes resynchronize the linked controls ---
    bool Append();
    bool Replace();
    bool Go(long recNo);
    bool GoTop();
    bool GoBottom();
    bool Skip(long count = 1);
    long RecNo();
    long RecCount();
    bool Bof();
    bool Eof();
    bool Zap();
    bool Pack();
    // Blank-separated index files, the first one controlling; "" returns to
    // record order. Names without a folder are looked up beside the table.
    bool SetIndexTo(const std::string& list);
    bool IndexOn(const std::string& expression, const std::string& file);
    bool Deleted();
    // The slot of the controlling index, 0 in record order.
    int IndexOrder();

    // --- field catalogue ---
    int FieldCount();
    std::string Field(int number);
    int FieldNo(const std::string& name);
    uint8_t* FieldAddress(int number);
    int FieldDec(int number);
    int FieldLen(int number);
    char FieldType(int number);
    std::string FieldText(int number);

    // --- dataset operations behind the grid and the navigator ---
    bool _First();
    bool _Last();
    bool _Next();
    bool _Prior();
    bool _MoveBy(long distance);
    bool _Insert();
    bool _Post();
    bool _Delete();
    bool _Restore();
    bool _Refresh();
    long GetRecordCount();
    long GetBookmark();
    void SetToBookmark(long bookmark);

    // Reads up to `rowsBefore` records before the current one, the current
    // one and the following ones, `rowCount` in all, and returns to the
    // current record. Only these records are read, so a grid over a large
    // table costs what it shows. No notification is sent.
    // The record buffer itself is kept: a record being edited or inserted
    // stays as it is while the records around it are read.
    TTzRowWindow ReadWindow(int rowsBefore, int rowCount);
    // The record buffer as a row, without moving (pending edits included).
    TTzRowImage BufferRow();

    // An index file name as this table uses it: a name without a folder
    // lives beside the table.
    std::string IndexPath(const std::string& name) const;

    // How the engine ends the program after an error that nobody handles;
    // the layer reports its own errors through the engine, so this one
    // reporter serves both. A program with windows installs the "Program
    // halted." box here (dbf/widgets/tz_message_boxes.h).
    static void setHaltReporter(dbf::DbfEngine::HaltReporter reporter,
                                dbf::DbfEngine& engine = dbf::DbfEngine::global());
    // Shows one of the layer's own notices (57601, 57605, 57619) to the user.
    using MessageReporter = std::function<void(const std::string& text)>;
    // An empty reporter restores the default one, which writes the notice to
    // stderr; a program with windows installs a message box.
    static void setMessageReporter(MessageReporter reporter);
    static const MessageReporter& messageReporter();
    // 2 (default) hands the layer's own notices to the message reporter, 1
    // keeps them silent.
    static int MessageMode();
    static void setMessageMode(int mode);

protected:
    // Makes this table's work area current; a closed table is reported with
    // the operation's name and raised.
    void select(const char* operation);
    void attach(int area) { m_area = area; }
    void detach() { m_area = 0; }
    // Reports through the engine (nothing with error checking off, else its
    // OnError, an EDbfError, or its halt reporter) and keeps the code.
    void reportError(int code, const std::string& message);
    void showMessage(const std::string& text);
    void resync();
    void recordChanged();
    // The field's number after the checks of the typed accessors; 0 (after
    // reporting) when it is missing or of another type.
    int checkedField(const std::string& name, char type, const char* operation);
    std::string tableFolder() const;

private:
    bool locked(bool taken, const TTzLockFailedEvent& onFailure, const char* operation);
    bool engineCall(bool (dbf::DbfEngine::*call)(), const char* operation);
    void readRow(TTzRowImage& row);
    TTzRowWindow readWindow(int rowsBefore, int rowCount);
    // After a move past the last record the cursor goes back to it, so that
    // the dataset always stands on a real record of a non-empty table.
    void leaveEofPhantom();

    dbf::DbfEngine& m_engine;
    int m_area = 0;
    int m_errorCode = 0;
    bool m_hideDeleted = false;
};
