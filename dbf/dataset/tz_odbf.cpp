#include "dbf/dataset/tz_odbf.h"

#include "dbf/dataset/tz_messages.h"
#include "dbf/date_text.h"
#include "dbf/index_list.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

int& messageMode()
{
    static int mode = 2;
    return mode;
}

// Without windows a notice goes to stderr, where a tool's user sees it.
void noticeOnStderr(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

TTzODbf::MessageReporter& messageReporterSlot()
{
    static TTzODbf::MessageReporter reporter = noticeOnStderr;
    return reporter;
}

// Runs an engine call with error checking off and tells whether it worked;
// the caller decides what a failure means.
template <typename F> bool quietly(dbf::DbfEngine& engine, F&& call)
{
    const dbf::ErrorCheckOff quiet(engine);
    call();
    return engine.ErrorCode() == 0;
}

std::string typeName(char type, bool expected, int length, int decimals)
{
    switch (type) {
    case 'C':
        return expected ? "character" : "Character";
    case 'D':
        return expected ? "date" : "Date";
    case 'L':
        return expected ? "logical" : "Logical";
    case 'M':
        return expected ? "memo" : "Memo";
    default:
        if (expected)
            return "numeric";
        return "Numeric, width: " + std::to_string(length) +
               " decimals: " + std::to_string(decimals);
    }
}

} // namespace

TTzODbf::TTzODbf(QObject* owner, dbf::DbfEngine& engine) : TTzDataSource(owner), m_engine(engine)
{
    setDataSet(std::make_unique<TTzDataSet>(this));
}

TTzODbf::~TTzODbf() = default;

bool TTzODbf::IsOpen() const
{
    if (m_area == 0)
        return false;
    const int saved = m_engine.CurrentArea();
    m_engine.Select(m_area);
    const bool open = m_engine.IsOpen();
    m_engine.Select(saved);
    return open;
}

uint8_t* TTzODbf::RecordBuffer()
{
    select("RecordBuffer");
    return m_engine.FieldAddress(0);
}

size_t TTzODbf::RecordBufferSize()
{
    select("RecordBufferSize");
    return m_engine.BufferSize();
}

// --- errors -----------------------------------------------------------------------------

void TTzODbf::setHaltReporter(dbf::DbfEngine::HaltReporter reporter, dbf::DbfEngine& engine)
{
    engine.setHaltReporter(std::move(reporter));
}

void TTzODbf::setMessageReporter(MessageReporter reporter)
{
    messageReporterSlot() = reporter ? std::move(reporter) : MessageReporter(noticeOnStderr);
}

const TTzODbf::MessageReporter& TTzODbf::messageReporter()
{
    return messageReporterSlot();
}

int TTzODbf::MessageMode()
{
    return messageMode();
}

void TTzODbf::setMessageMode(int mode)
{
    messageMode() = mode;
}

void TTzODbf::reportError(int code, const std::string& message)
{
    m_errorCode = code;
    m_engine.report(code, message);
}

void TTzODbf::showMessage(const std::string& text)
{
    if (messageMode() != 2)
        return;
    messageReporterSlot()(text);
}

void TTzODbf::select(const char* operation)
{
    if (m_area != 0) {
        m_engine.Select(m_area);
        if (m_engine.IsOpen()) {
            m_engine.setHideDeleted(m_hideDeleted);
            return;
        }
    }
    const std::string message = tzmsg::format(tzmsg::kDatabaseNotOpen) + " [" + operation + "]";
    reportError(dbf::kInvalidOperation, message);
    // Whoever let the report return still must not run the operation on a
    // table that is not there.
    throw dbf::EDbfError(dbf::errorText(dbf::kInvalidOperation, message), dbf::kInvalidOperation,
                         message);
}

int TTzODbf::checkedField(const std::string& name, char type, const char* operation)
{
    select(operation);
    const int number = m_engine.FieldNo(name);
    if (number == 0) {
        reportError(dbf::kInvalidParameter,
                    tzmsg::format(tzmsg::kFieldNotIn, {name, m_engine.Alias()}) + " [" + operation +
                        "]");
        return 0;
    }
    const char actual = m_engine.FieldType(number);
    if (actual != type) {
        reportError(dbf::kInvalidParameter,
                    tzmsg::format(tzmsg::kWrongFieldType,
                                  {operation, name, typeName(type, true, 0, 0), name,
                                   typeName(actual, false, m_engine.FieldLen(number),
                                            m_engine.FieldDec(number))}));
        return 0;
    }
    return number;
}

// --- notifications --------------------------------------------------------------------

void TTzODbf::resync()
{
    select("Resync");
    // Read straight from the work area: the engine's calls would clear the
    // error code that the operation before left.
    const dbf::WorkArea* area = m_engine.currentArea();
    DataSet()->resync(!area || area->bof(), !area || area->eof());
}

void TTzODbf::recordChanged()
{
    DataSet()->recordChanged();
}

// --- record buffer ----------------------------------------------------------------------

void TTzODbf::ClearRecord()
{
    select("ClearRecord");
    m_engine.ClearRecord();
    recordChanged();
}

void TTzODbf::SetCField(const std::string& field, const std::string& value)
{
    const int number = checkedField(field, 'C', "SetCField");
    if (number == 0)
        return;
    // The engine cuts the text to the field's length.
    m_engine.SetFieldText(number, value);
    recordChanged();
}

void TTzODbf::SetLField(const std::string& field, bool value)
{
    const int number = checkedField(field, 'L', "SetLField");
    if (number == 0)
        return;
    m_engine.SetFieldLogical(number, value);
    recordChanged();
}

bool TTzODbf::SetDField(const std::string& field, const std::string& dateText)
{
    const int number = checkedField(field, 'D', "SetDField");
    if (number == 0)
        return false;
    const dbf::DateSettings& dates = m_engine.config().dates;
    if (!dbf::isBlankDateText(dateText) &&
        !dbf::parseDateText(dateText, dates.style, dates.century).valid()) {
        showMessage(tzmsg::format(tzmsg::kInvalidDate, {dateText, field}));
        return false;
    }
    m_engine.SetFieldText(number, dateText);
    recordChanged();
    return true;
}

void TTzODbf::SetNField(const std::string& field, double value)
{
    // "F" fields are numbers too; check them as "N".
    select("SetNField");
    const int found = m_engine.FieldNo(field);
    const char type = found != 0 && m_engine.FieldType(found) == 'F' ? 'F' : 'N';
    const int number = checkedField(field, type, "SetNField");
    if (number == 0)
        return;
    m_engine.SetFieldNumber(number, value);
    recordChanged();
}

void TTzODbf::SetMField(const std::string& field, const std::vector<std::string>& lines)
{
    const int number = checkedField(field, 'M', "SetMField");
    if (number == 0)
        return;
    m_engine.SetMemoField(number, lines);
    recordChanged();
}

void TTzODbf::GetMField(const std::string& field, std::vector<std::string>& lines)
{
    lines.clear();
    const int number = checkedField(field, 'M', "GetMField");
    if (number == 0)
        return;
    // Past the last record the buffer is blank and there is no memo to read.
    if (m_engine.FieldMemoBlock(number) == 0)
        return;
    lines = m_engine.GetMemoField(number);
}

std::string TTzODbf::GetCField(const std::string& field)
{
    const int number = checkedField(field, 'C', "GetCField");
    return number == 0 ? std::string() : m_engine.FieldText(number);
}

bool TTzODbf::GetLField(const std::string& field)
{
    const int number = checkedField(field, 'L', "GetLField");
    return number != 0 && m_engine.FieldLogical(number);
}

std::string TTzODbf::GetDField(const std::string& field)
{
    const int number = checkedField(field, 'D', "GetDField");
    return number == 0 ? std::string() : m_engine.FieldText(number);
}

// --- records ------------------------------------------------------------------------------

bool TTzODbf::engineCall(bool (dbf::DbfEngine::*call)(), const char* operation)
{
    select(operation);
    const bool ok = (m_engine.*call)();
    m_errorCode = m_engine.ErrorCode();
    resync();
    return ok;
}

bool TTzODbf::Append()
{
    return engineCall(&dbf::DbfEngine::Append, "Append");
}
bool TTzODbf::Replace()
{
    return engineCall(&dbf::DbfEngine::Replace, "Replace");
}
// The first record is the beginning of the table and the last one its end,
// so the dataset's flags say so for the navigator.
bool TTzODbf::GoTop()
{
    select("GoTop");
    const bool ok = m_engine.GoTop();
    m_errorCode = m_engine.ErrorCode();
    DataSet()->resync(true, m_engine.currentArea()->eof());
    return ok;
}

bool TTzODbf::GoBottom()
{
    select("GoBottom");
    const bool ok = m_engine.GoBottom();
    m_errorCode = m_engine.ErrorCode();
    DataSet()->resync(m_engine.currentArea()->bof(), true);
    return ok;
}

bool TTzODbf::Zap()
{
    return engineCall(&dbf::DbfEngine::Zap, "Zap");
}
bool TTzODbf::Pack()
{
    return engineCall(&dbf::DbfEngine::Pack, "Pack");
}

bool TTzODbf::Go(long recNo)
{
    select("Go");
    const bool ok = m_engine.Go(recNo);
    m_errorCode = m_engine.ErrorCode();
    resync();
    return ok;
}

bool TTzODbf::Skip(long count)
{
    select("Skip");
    const bool ok = m_engine.Skip(count);
    m_errorCode = m_engine.ErrorCode();
    resync();
    return ok;
}

long TTzODbf::RecNo()
{
    select("RecNo");
    return m_engine.RecNo();
}

long TTzODbf::RecCount()
{
    select("RecCount");
    return m_engine.RecCount();
}

bool TTzODbf::Bof()
{
    select("Bof");
    return m_engine.Bof();
}

bool TTzODbf::Eof()
{
    select("Eof");
    return m_engine.Eof();
}

bool TTzODbf::Deleted()
{
    select("Deleted");
    return m_engine.Deleted();
}

int TTzODbf::IndexOrder()
{
    select("IndexOrder");
    const dbf::WorkArea* area = m_engine.currentArea();
    return area ? area->order() : 0;
}

std::string TTzODbf::tableFolder() const
{
    const std::string path = m_engine.DbfPath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string TTzODbf::IndexPath(const std::string& name) const
{
    if (name.empty() || name.front() == '/')
        return name;
    if (m_area != 0) {
        const int saved = m_engine.CurrentArea();
        m_engine.Select(m_area);
        const std::string folder = tableFolder();
        m_engine.Select(saved);
        if (!folder.empty())
            return folder + "/" + name;
    }
    return name;
}

bool TTzODbf::SetIndexTo(const std::string& list)
{
    select("SetIndexTo");
    // File names are looked up beside the table; option words stay with
    // the file name before them.
    std::string resolved;
    for (dbf::IndexListEntry entry : dbf::splitIndexList(list)) {
        entry.file = IndexPath(entry.file);
        if (!resolved.empty())
            resolved += ' ';
        resolved += entry.text();
    }
    const bool ok = m_engine.SetIndexTo(resolved);
    m_errorCode = m_engine.ErrorCode();
    resync();
    return ok;
}

bool TTzODbf::IndexOn(const std::string& expression, const std::string& file)
{
    select("IndexOn");
    const bool ok = m_engine.IndexOn(expression, IndexPath(file));
    m_errorCode = m_engine.ErrorCode();
    resync();
    return ok;
}

// --- field catalogue --------------------------------------------------------------------

int TTzODbf::FieldCount()
{
    select("FieldCount");
    return m_engine.FieldCount();
}

std::string TTzODbf::Field(int number)
{
    select("Field");
    return m_engine.Field(number);
}

int TTzODbf::FieldNo(const std::string& name)
{
    select("FieldNo");
    return m_engine.FieldNo(name);
}

uint8_t* TTzODbf::FieldAddress(int number)
{
    select("FieldAddress");
    return m_engine.FieldAddress(number);
}

int TTzODbf::FieldDec(int number)
{
    select("FieldDec");
    return m_engine.FieldDec(number);
}

int TTzODbf::FieldLen(int number)
{
    select("FieldLen");
    return m_engine.FieldLen(number);
}

char TTzODbf::FieldType(int number)
{
    select("FieldType");
    return m_engine.FieldType(number);
}

std::string TTzODbf::FieldText(int number)
{
    select("FieldText");
    return m_engine.FieldText(number);
}

// --- dataset operations ------------------------------------------------------------------

void TTzODbf::leaveEofPhantom()
{
    if (m_engine.Eof() && !m_engine.Bof() && m_engine.RecCount() > 0)
        m_engine.GoBottom();
}

bool TTzODbf::_First()
{
    select("_First");
    return m_engine.GoTop();
}

bool TTzODbf::_Last()
{
    select("_Last");
    return m_engine.GoBottom();
}

bool TTzODbf::_Next()
{
    select("_Next");
    if (m_engine.Eof())
        return false;
    m_engine.Skip(1);
    const bool moved = !m_engine.Eof();
    leaveEofPhantom();
    return moved;
}

bool TTzODbf::_Prior()
{
    select("_Prior");
    if (m_engine.Bof())
        return false;
    m_engine.Skip(-1);
    return !m_engine.Bof();
}

bool TTzODbf::_MoveBy(long distance)
{
    select("_MoveBy");
    if (distance > 0 && m_engine.Eof())
        return false;
    m_engine.Skip(distance);
    const bool hitEnd = distance > 0 ? m_engine.Eof() : m_engine.Bof();
    leaveEofPhantom();
    return !hitEnd;
}

bool TTzODbf::locked(bool taken, const TTzLockFailedEvent& onFailure, const char* operation)
{
    if (taken)
        return true;
    if (onFailure) {
        onFailure(this);
        return false;
    }
    throw ETzDataError(tzmsg::format(tzmsg::kLockFailed, {operation}), tzmsg::kLockFailed.id);
}

bool TTzODbf::_Insert()
{
    select("_Insert");
    const long previous = m_engine.RecNo();
    if (!locked(quietly(m_engine, [&] { m_engine.ALock(); }), OnALockFailedOnInsert, "_Insert"))
        return false;
    const bool ok = m_engine.Append();
    m_engine.Unlock();
    // A record that the table hides is not left as the current one.
    if (ok && m_hideDeleted && m_engine.Deleted() && previous >= 1 &&
        previous <= m_engine.RecCount())
        m_engine.Go(previous);
    return ok;
}

bool TTzODbf::_Post()
{
    select("_Post");
    if (!locked(quietly(m_engine, [&] { m_engine.RLock(); }), OnRLockFailedOnPost, "_Post"))
        return false;
    const bool ok = m_engine.Replace();
    m_engine.UnlockRec();
    if (ok && m_hideDeleted && m_engine.Deleted()) {
        m_engine.Skip(1);
        if (m_engine.Eof())
            m_engine.Skip(-1);
    }
    return ok;
}

bool TTzODbf::_Delete()
{
    select("_Delete");
    if (!locked(quietly(m_engine, [&] { m_engine.RLock(); }), OnRLockFailedOnDelete, "_Delete"))
        return false;
    const bool ok = m_engine.DeleteRec();
    m_engine.UnlockRec();
    return ok;
}

bool TTzODbf::_Restore()
{
    select("_Restore");
    if (!locked(quietly(m_engine, [&] { m_engine.RLock(); }), OnRLockFailedOnRestore, "_Restore"))
        return false;
    const bool ok = m_engine.RecallRec();
    m_engine.UnlockRec();
    return ok;
}

bool TTzODbf::_Refresh()
{
    select("_Refresh");
    if (m_engine.RecCount() == 0)
        return false;
    m_engine.Skip(0);
    return !m_engine.Eof();
}

long TTzODbf::GetRecordCount()
{
    select("GetRecordCount");
    return m_engine.RecCount();
}

long TTzODbf::GetBookmark()
{
    select("GetBookmark");
    return m_engine.RecNo();
}

void TTzODbf::SetToBookmark(long bookmark)
{
    select("SetToBookmark");
    m_engine.Go(bookmark);
}

// --- the grid's window of records ------------------------------------------------------

void TTzODbf::readRow(TTzRowImage& row)
{
    row.recNo = m_engine.RecNo();
    row.deleted = m_engine.Deleted();
    const int count = m_engine.FieldCount();
    row.texts.resize(size_t(count));
    for (int i = 1; i <= count; ++i)
        row.texts[size_t(i - 1)] = m_engine.FieldText(i);
}

TTzRowImage TTzODbf::BufferRow()
{
    select("BufferRow");
    TTzRowImage row;
    readRow(row);
    return row;
}

TTzRowWindow TTzODbf::ReadWindow(int rowsBefore, int rowCount)
{
    select("ReadWindow");
    // The walk reads other records into the buffer; what the buffer held
    // (possibly a record being edited) is put back at the end.
    uint8_t* buffer = m_engine.FieldAddress(0);
    const std::vector<uint8_t> saved(buffer, buffer + m_engine.BufferSize());
    TTzRowWindow window = readWindow(rowsBefore, rowCount);
    std::copy(saved.begin(), saved.end(), m_engine.FieldAddress(0));
    return window;
}

TTzRowWindow TTzODbf::readWindow(int rowsBefore, int rowCount)
{
    TTzRowWindow window;
    const long count = m_engine.RecCount();
    if (count == 0 || rowCount <= 0 || (m_engine.Bof() && m_engine.Eof()))
        return window;
    if (m_engine.Eof())
        m_engine.GoBottom();
    const long start = m_engine.RecNo();
    if (start < 1 || start > count)
        return window;
    // The walk goes back and forth with Skip only: under an index a Go would
    // make the next move look the record up again, which is slow among many
    // equal keys. A record the table hides cannot be skipped back to, so
    // that one case returns with Go.
    const bool startVisible = !(m_hideDeleted && m_engine.Deleted());

    std::vector<TTzRowImage> before;
    long last = start;
    for (int i = 0; i < rowsBefore && i < rowCount - 1; ++i) {
        m_engine.Skip(-1);
        const long here = m_engine.RecNo();
        const bool top = m_engine.Bof();
        if (here == last || here < 1 || here > count)
            break;
        before.emplace_back();
        readRow(before.back());
        last = here;
        if (top)
            break;
    }
    window.rows.assign(before.rbegin(), before.rend());
    const auto backToStart = [&](long steps) {
        if (startVisible && steps > 0)
            m_engine.Skip(steps);
        if (!startVisible || m_engine.RecNo() != start)
            m_engine.Go(start);
    };
    backToStart(long(before.size()));
    window.current = int(window.rows.size());
    window.rows.emplace_back();
    readRow(window.rows.back());
    long after = 0;
    bool pastEnd = false;
    while (int(window.rows.size()) < rowCount) {
        m_engine.Skip(1);
        if (m_engine.Eof()) {
            pastEnd = true;
            break;
        }
        window.rows.emplace_back();
        readRow(window.rows.back());
        ++after;
    }
    const long stepsBack = after + (pastEnd ? 1 : 0);
    if (startVisible && stepsBack > 0)
        m_engine.Skip(-stepsBack);
    if (!startVisible || m_engine.RecNo() != start)
        m_engine.Go(start);
    return window;
}
