#include "dbf/dbf_engine.h"

#include "base/ascii.h"
#include "dbf/clean_marker.h"
#include "dbf/file_name.h"
#include "dbf/index_list.h"
#include "dbf/key_sorter.h"

#include <cstdio>
#include <cstdlib>

namespace dbf {

namespace {

// Finds a keyword surrounded by blanks (or at the end), ignoring case.
size_t findWord(const std::string& text, const std::string& word)
{
    const std::string haystack = base::toUpper(text) + " ";
    size_t at = haystack.find(" " + word + " ");
    return at;
}

} // namespace

DbfEngine::DbfEngine()
{
    for (int i = 0; i < kMaxWorkAreas; ++i)
        m_areas[size_t(i)] = std::make_unique<WorkArea>(m_config, i + 1);
    m_config.dates.century = m_config.dates.today().year / 100;
    m_config.softError = [this](int code, const std::string& message) {
        reportSoft(code, message);
    };
}

DbfEngine::~DbfEngine()
{
    for (auto& area : m_areas) {
        try {
            area->close();
        } catch (const DbfFailure&) {
        }
    }
}

DbfEngine& DbfEngine::global()
{
    static DbfEngine engine;
    return engine;
}

void DbfEngine::defaultHaltReporter(int code, const std::string& text)
{
    std::fprintf(stderr, "Program halted.\n%s\n", text.c_str());
    std::fflush(stderr);
    std::exit(code);
}

void DbfEngine::setDateFormat(const std::string& format)
{
    m_config.dates.style = dateStyleFromFormat(format);
    m_config.dates.fourDigitYear = fourDigitYearFromFormat(format);
}

void DbfEngine::setClock(Clock clock)
{
    m_config.dates.today = clock ? std::move(clock) : Clock(systemToday);
    m_config.dates.century = m_config.dates.today().year / 100;
}

void DbfEngine::report(int code, const std::string& message)
{
    m_errorCode = code;
    m_errorMessage = message;
    if (!m_errorCheck)
        return;
    const std::string text = errorText(code, message);
    if (OnError) {
        OnError(this, code, text);
        return;
    }
    if (m_exceptions)
        throw EDbfError(text, code, message);
    m_haltReporter(code, text);
}

void DbfEngine::reportSoft(int code, const std::string& message)
{
    report(code, message);
}

template <typename F> bool DbfEngine::run(const char* operation, F&& body)
{
    m_errorCode = 0;
    m_errorMessage.clear();
    try {
        body();
        return m_errorCode == 0;
    } catch (const DbfFailure& failure) {
        report(failure.code, failure.message);
    } catch (const std::bad_alloc&) {
        report(kInsufficientMemory, std::string("Insufficient memory [") + operation + "]");
    }
    return false;
}

// Queries leave the code of the last operation alone unless they fail
// themselves, so a caller can ask for the position before reading the code.
template <typename F> bool DbfEngine::query(const char* operation, F&& body)
{
    try {
        body();
        return true;
    } catch (const DbfFailure& failure) {
        report(failure.code, failure.message);
    } catch (const std::bad_alloc&) {
        report(kInsufficientMemory, std::string("Insufficient memory [") + operation + "]");
    }
    return false;
}

WorkArea& DbfEngine::area(const char* operation)
{
    WorkArea& a = *m_areas[size_t(m_current - 1)];
    if (!a.isOpen())
        fail(kNoDatabase, std::string("No database in use [") + operation +
                              "]  WorkArea = " + std::to_string(m_current));
    return a;
}

WorkArea* DbfEngine::currentArea()
{
    WorkArea& a = *m_areas[size_t(m_current - 1)];
    return a.isOpen() ? &a : nullptr;
}

// --- work areas ---------------------------------------------------------------

bool DbfEngine::Select(int number)
{
    return run("Select", [&] {
        if (number == 0) {
            for (int i = 0; i < kMaxWorkAreas; ++i) {
                if (!m_areas[size_t(i)]->isOpen()) {
                    m_current = i + 1;
                    return;
                }
            }
            fail(kInvalidParameter, "No free workarea available [Select(0)]");
        }
        if (number < 0 || number > kMaxWorkAreas)
            fail(kInvalidParameter,
                 "Invalid workarea number [Select(" + std::to_string(number) + ")]");
        m_current = number;
    });
}

bool DbfEngine::IsOpen() const
{
    return m_areas[size_t(m_current - 1)]->isOpen();
}

std::string DbfEngine::Alias() const
{
    return IsOpen() ? m_areas[size_t(m_current - 1)]->alias() : std::string();
}

std::string DbfEngine::DbfPath() const
{
    return IsOpen() ? m_areas[size_t(m_current - 1)]->path() : std::string();
}

bool DbfEngine::Use(const std::string& command, uint8_t* buffer, size_t bufferSize)
{
    return run("USE", [&] {
        std::string rest = command;
        std::string alias;
        bool exclusive = false;
        if (const size_t at = findWord(rest, "ALIAS"); at != std::string::npos) {
            alias = base::trimmedSpaces(rest.substr(at + 6));
            rest = rest.substr(0, at);
        }
        if (const size_t at = findWord(rest, "EXCLUSIVE"); at != std::string::npos) {
            exclusive = true;
            rest = rest.substr(0, at);
        }
        std::string path = base::trimmedSpaces(rest);
        if (path.empty())
            fail(kInvalidParameter, "File name missing [USE]");
        path = withDefaultExtension(path, ".dbf");
        if (alias.empty())
            alias = base::toUpper(withExtension(baseName(path), ""));
        alias = alias.substr(0, kMaxAliasLength);
        WorkArea& target = *m_areas[size_t(m_current - 1)];
        for (const auto& other : m_areas)
            if (other.get() != &target && other->isOpen() &&
                base::equalsIgnoreCase(other->alias(), alias))
                fail(kInvalidParameter, "Alias name " + alias + " is already in use [USE]");
        target.close();
        target.open(path, alias, exclusive, buffer, bufferSize);
    });
}

bool DbfEngine::CreateDBF(const std::string& fileName, const std::vector<FieldDef>& fields)
{
    return run("CreateDBF", [&] {
        WorkArea::create(withDefaultExtension(base::trimmedSpaces(fileName), ".dbf"), fields,
                         m_config);
    });
}

bool DbfEngine::CloseDbf()
{
    return run("CloseDbf", [&] { area("CloseDbf").close(); });
}

void DbfEngine::CloseAll()
{
    const int saved = m_current;
    for (int i = 1; i <= kMaxWorkAreas; ++i) {
        m_current = i;
        if (IsOpen())
            CloseDbf();
    }
    m_current = saved;
}

// --- records --------------------------------------------------------------------

bool DbfEngine::ClearRecord()
{
    return run("ClearRecord", [&] { area("ClearRecord").clearRecord(); });
}
bool DbfEngine::Append()
{
    return run("APPEND", [&] { area("APPEND").append(); });
}
bool DbfEngine::Replace()
{
    return run("REPLACE", [&] { area("REPLACE").replace(); });
}

bool DbfEngine::DeleteRec()
{
    return run("DeleteRec", [&] { area("DeleteRec").setDeleted(true, "DeleteRec"); });
}

bool DbfEngine::RecallRec()
{
    return run("RecallRec", [&] { area("RecallRec").setDeleted(false, "RecallRec"); });
}

bool DbfEngine::Deleted()
{
    bool result = false;
    query("Deleted", [&] { result = area("Deleted").deleted(); });
    return result;
}

bool DbfEngine::GoTop()
{
    return run("GoTop", [&] { area("GoTop").goTop(); });
}
bool DbfEngine::GoBottom()
{
    return run("GoBottom", [&] { area("GoBottom").goBottom(); });
}
bool DbfEngine::Go(long recno)
{
    return run("Go", [&] { area("Go").go(recno); });
}
bool DbfEngine::Skip(long count)
{
    return run("SKIP", [&] { area("SKIP").skip(count); });
}

bool DbfEngine::Bof()
{
    bool result = true;
    query("Bof", [&] { result = area("Bof").bof(); });
    return result;
}

bool DbfEngine::Eof()
{
    bool result = true;
    query("Eof", [&] { result = area("Eof").eof(); });
    return result;
}

long DbfEngine::RecCount()
{
    long result = 0;
    query("RecCount", [&] { result = area("RecCount").recCount(); });
    return result;
}

long DbfEngine::RecNo()
{
    long result = 0;
    query("RecNo", [&] { result = area("RecNo").recNo(); });
    return result;
}

int DbfEngine::RecSize()
{
    int result = 0;
    query("RecSize", [&] { result = area("RecSize").recSize(); });
    return result;
}

bool DbfEngine::Zap()
{
    return run("ZAP", [&] { area("ZAP").zap(); });
}
bool DbfEngine::Pack()
{
    return run("PACK", [&] { area("PACK").pack(); });
}
bool DbfEngine::FlushFile()
{
    return run("FlushFile", [&] { area("FlushFile").flush(); });
}

std::string DbfEngine::UniqueFilename()
{
    std::string result;
    run("UniqueFilename", [&] { result = uniqueFilename(); });
    return result;
}

// --- fields ---------------------------------------------------------------------

int DbfEngine::FieldCount()
{
    int result = 0;
    query("FieldCount", [&] { result = int(area("FieldCount").fields().size()); });
    return result;
}

std::string DbfEngine::Field(int number)
{
    std::string result;
    query("Field", [&] { result = area("Field").field(number, "Field").name; });
    return result;
}

int DbfEngine::FieldNo(const std::string& name)
{
    int result = 0;
    query("FieldNo", [&] { result = area("FieldNo").fieldNo(name); });
    return result;
}

char DbfEngine::FieldType(int number)
{
    char result = 0;
    query("FieldType", [&] { result = area("FieldType").field(number, "FieldType").type; });
    return result;
}

int DbfEngine::FieldLen(int number)
{
    int result = 0;
    query("FieldLen", [&] { result = area("FieldLen").field(number, "FieldLen").length; });
    return result;
}

int DbfEngine::FieldDec(int number)
{
    int result = 0;
    query("FieldDec", [&] { result = area("FieldDec").field(number, "FieldDec").decimals; });
    return result;
}

uint8_t* DbfEngine::FieldAddress(int number)
{
    uint8_t* result = nullptr;
    query("FieldAddress", [&] {
        WorkArea& a = area("FieldAddress");
        result = number == 0 ? a.buffer() : a.buffer() + a.field(number, "FieldAddress").slot;
    });
    return result;
}

size_t DbfEngine::BufferSize()
{
    size_t result = 0;
    query("BufferSize", [&] { result = area("BufferSize").bufferSize(); });
    return result;
}

const FieldList* DbfEngine::Fields()
{
    const FieldList* result = nullptr;
    query("Fields", [&] { result = &area("Fields").fields(); });
    return result;
}

std::string DbfEngine::FieldText(int number)
{
    std::string result;
    query("FieldText", [&] { result = area("FieldText").fieldText(number); });
    return result;
}

std::string DbfEngine::RawFieldText(int number)
{
    std::string result;
    query("RawFieldText", [&] { result = area("RawFieldText").rawFieldText(number); });
    return result;
}

bool DbfEngine::SetFieldText(int number, const std::string& text)
{
    return run("SetFieldText", [&] { area("SetFieldText").setFieldText(number, text); });
}

double DbfEngine::FieldNumber(int number)
{
    double result = 0;
    query("FieldNumber", [&] { result = area("FieldNumber").fieldNumber(number); });
    return result;
}

bool DbfEngine::SetFieldNumber(int number, double value)
{
    return run("SetFieldNumber", [&] { area("SetFieldNumber").setFieldNumber(number, value); });
}

bool DbfEngine::FieldLogical(int number)
{
    bool result = false;
    query("FieldLogical", [&] { result = area("FieldLogical").fieldLogical(number); });
    return result;
}

bool DbfEngine::SetFieldLogical(int number, bool value)
{
    return run("SetFieldLogical", [&] { area("SetFieldLogical").setFieldLogical(number, value); });
}

int32_t DbfEngine::FieldMemoBlock(int number)
{
    int32_t result = 0;
    query("FieldMemoBlock", [&] { result = area("FieldMemoBlock").fieldMemoBlock(number); });
    return result;
}

// --- memo -----------------------------------------------------------------------

std::vector<std::string> DbfEngine::GetMemo(int32_t block)
{
    std::vector<std::string> result;
    run("GetMemo", [&] { result = area("GetMemo").readMemo(block); });
    return result;
}

std::vector<std::string> DbfEngine::GetMemoField(int number)
{
    std::vector<std::string> result;
    run("GetMemo", [&] {
        WorkArea& a = area("GetMemo");
        if (a.field(number, "GetMemo").type != 'M')
            fail(kInvalidParameter,
                 "Field " + a.field(number, "GetMemo").name + " is not a memo [GetMemo]");
        result = a.readMemo(a.fieldMemoBlock(number));
    });
    return result;
}

std::string DbfEngine::GetMemoBytes(int32_t block)
{
    std::string result;
    run("GetMemo", [&] { result = area("GetMemo").readMemoText(block); });
    return result;
}

bool DbfEngine::GetMemoFieldBytes(int number, std::string& out)
{
    out.clear();
    return run("GetMemo", [&] {
        WorkArea& a = area("GetMemo");
        const FieldInfo& f = a.field(number, "GetMemo");
        if (f.type != 'M')
            fail(kInvalidParameter, "Field " + f.name + " is not a memo [GetMemo]");
        a.checkMemoPointer(number);
        out = a.readMemoText(a.fieldMemoBlock(number));
    });
}

bool DbfEngine::SetMemoFieldBytes(int number, const std::string& bytes)
{
    return run("AssignMemo", [&] {
        WorkArea& a = memoFieldArea(number);
        a.setFieldMemoBlock(number, a.writeMemoText(bytes));
    });
}

bool DbfEngine::IndexesCurrent(const std::string& table, const std::vector<std::string>& indexes)
{
    std::vector<std::string> files;
    for (const std::string& index : indexes)
        files.push_back(withDefaultExtension(index, ".ndx"));
    return CleanMarker::vouchesFor(withDefaultExtension(table, ".dbf"), files);
}

WorkArea& DbfEngine::memoFieldArea(int number)
{
    WorkArea& a = area("AssignMemo");
    if (a.field(number, "AssignMemo").type != 'M')
        fail(kInvalidMemoOperation, "Invalid memo operation: database not open or no memo field "
                                    "in database [AssignMemo]");
    return a;
}

bool DbfEngine::SetMemoField(int number, const std::vector<std::string>& lines)
{
    return run("AssignMemo", [&] {
        WorkArea& a = memoFieldArea(number);
        a.setFieldMemoBlock(number, a.writeMemo(lines));
    });
}

bool DbfEngine::runBody(const char* operation, const std::function<void()>& body)
{
    return run(operation, body);
}

bool DbfEngine::AssignMemo(MemoChannel& channel, int32_t& block)
{
    return run("AssignMemo", [&] {
        WorkArea& a = area("AssignMemo");
        channel.m_engine = this;
        channel.m_area = &a;
        channel.m_mode = MemoChannel::Mode::Closed;
        channel.m_getBlock = [&block] { return block; };
        channel.m_setBlock = [&block](int32_t value) { block = value; };
    });
}

bool DbfEngine::AssignMemoField(MemoChannel& channel, int number)
{
    return run("AssignMemo", [&] {
        WorkArea* bound = &memoFieldArea(number);
        channel.m_engine = this;
        channel.m_area = bound;
        channel.m_mode = MemoChannel::Mode::Closed;
        channel.m_getBlock = [bound, number] { return bound->fieldMemoBlock(number); };
        channel.m_setBlock = [bound, number](int32_t value) {
            bound->setFieldMemoBlock(number, value);
        };
    });
}

// --- locks ----------------------------------------------------------------------

bool DbfEngine::ALock()
{
    return run("ALock", [&] { area("ALock").lockFile(); });
}
bool DbfEngine::RLock()
{
    return run("RLock", [&] { area("RLock").lockRecord(); });
}
bool DbfEngine::UnlockRec()
{
    return run("UnlockRec", [&] { area("UnlockRec").unlockRecord(); });
}
bool DbfEngine::Unlock()
{
    return run("Unlock", [&] { area("Unlock").unlockAll(); });
}

bool DbfEngine::IsLocked()
{
    bool result = false;
    query("IsLocked", [&] { result = area("IsLocked").isLocked(); });
    return result;
}

// --- indexes --------------------------------------------------------------------

void DbfEngine::makeIndexIn(WorkArea* a, const std::string& expression,
                            const std::string& fileWithOptions)
{
    if (!a)
        fail(kNoDatabase, "(database not open attempting to index to" + fileWithOptions + ")");
    const std::string name = parseIndexOptions(fileWithOptions).path;
    for (const auto& other : m_areas)
        if (other.get() != a && other->isOpen() && other->hasIndexFile(name))
            fail(kFileInUse, "Index file " + name + " is in use [MakeIndex]");
    a->makeIndex(expression, fileWithOptions);
}

bool DbfEngine::MakeIndex(const std::string& expression, const std::string& fileWithOptions)
{
    return run("MakeIndex", [&] { makeIndexIn(currentArea(), expression, fileWithOptions); });
}

bool DbfEngine::IndexOn(const std::string& expression, const std::string& fileWithOptions)
{
    return run("Index_On", [&] {
        WorkArea& a = area("Index_On");
        a.setIndexTo("");
        makeIndexIn(&a, expression, fileWithOptions);
        a.setIndexToLfn(fileWithOptions, 1);
    });
}

bool DbfEngine::SetIndexTo(const std::string& list)
{
    return run("SetIndexTo", [&] {
        WorkArea* a = currentArea();
        if (!a)
            fail(kNoDatabase, "Attempt to open " + list + " index file with no DBF file open.");
        a->setIndexTo(list);
    });
}

bool DbfEngine::SetIndexToLFN(const std::string& fileWithOptions, int order)
{
    return run("SetIndexTo", [&] {
        WorkArea* a = currentArea();
        if (!a)
            fail(kNoDatabase,
                 "Attempt to open " + fileWithOptions + " index file with no DBF file open.");
        a->setIndexToLfn(fileWithOptions, order);
    });
}

bool DbfEngine::Set_Order_To(int order)
{
    return run("SET_ORDER_TO", [&] { area("SET_ORDER_TO").setOrder(order); });
}

int DbfEngine::IndexOrder()
{
    int result = 0;
    query("IndexOrder", [&] { result = area("IndexOrder").order(); });
    return result;
}

bool DbfEngine::Find(const std::string& key)
{
    bool found = false;
    const bool ok = run("Find", [&] { found = area("Find").find(key); });
    return ok && found;
}

bool DbfEngine::Reindex()
{
    return run("Reindex", [&] { area("Reindex").reindex(); });
}

bool DbfEngine::IndexInfo(const std::string& file, IndexInfoResult& info)
{
    return run("IndexInfo", [&] {
        const NdxIndex::Header h = NdxIndex::readHeader(file);
        info.expression = h.expression;
        info.keyLength = h.keyLength;
        info.keyType = h.keyTypeLetter;
        info.unique = h.unique;
        info.recordCount = h.storedCount;
        info.tableName = h.tableName;
    });
}

std::string DbfEngine::CurrentKey()
{
    std::string result;
    query("CurrentKey", [&] { result = area("CurrentKey").currentKey(); });
    return result;
}

bool DbfEngine::SetWhile(const std::string& expression)
{
    return run("SetWhile", [&] { area("SetWhile").setWhile(expression); });
}

bool DbfEngine::SetRecordHooks(WorkArea::RecordHook beforeWrite, WorkArea::RecordHook afterRead)
{
    return run("SetRecordHooks", [&] {
        area("SetRecordHooks").setRecordHooks(std::move(beforeWrite), std::move(afterRead));
    });
}

} // namespace dbf
