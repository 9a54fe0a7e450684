#include "dbf/dataset/tz_dbf.h"

#include "base/ascii.h"
#include "dbf/dataset/tz_messages.h"
#include "dbf/dataset/tz_session.h"
#include "dbf/file_name.h"
#include "platform/ansi.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace {

constexpr int kAliasLength = 10;
constexpr int kMaxFieldNameLength = 10;
constexpr int kMaxIndexExpression = 100;
constexpr int kMaxCharacterLength = 254;
constexpr int kMaxNumericLength = 19;
constexpr int kMaxNumericDecimals = 15;

[[noreturn]] void rangeCheck()
{
    throw ETzDataError(tzmsg::kRangeCheck.text, tzmsg::kRangeCheck.id);
}

int toInteger(const std::string& text)
{
    const std::string t = base::trimmed(text);
    if (t.empty())
        rangeCheck();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(t.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || value < 0 || value > 0xFFFF)
        rangeCheck();
    return int(value);
}

bool fileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The quiet form of an engine call: its failure is for the caller to judge.
template <typename F> int codeOf(dbf::DbfEngine& engine, F&& call)
{
    const dbf::ErrorCheckOff quiet(engine);
    call();
    return engine.ErrorCode();
}

// Whether the engine vouches for the index files of the table: the table
// and its indexes were closed cleanly together and nothing changed since.
bool indexesCurrent(dbf::DbfEngine& engine, const std::string& table,
                    const std::vector<std::string>& indexes)
{
    bool current = false;
    codeOf(engine, [&] { current = engine.IndexesCurrent(table, indexes); });
    return current;
}

} // namespace

TTzDbf::TTzDbf(QObject* owner, dbf::DbfEngine& engine) : TTzODbf(owner, engine)
{
    TTzSession::instance().add(this);
}

TTzDbf::~TTzDbf()
{
    TTzSession::instance().remove(this);
    if (m_active) {
        try {
            close();
        } catch (...) {
            // A component dying with its window has nobody left to tell.
        }
    }
}

std::string TTzDbf::Alias() const
{
    return platform::toAnsi(Name().left(kAliasLength));
}

void TTzDbf::setDbfFileName(const QString& fileName)
{
    QString name = fileName.trimmed();
    if (!name.isEmpty() && !name.endsWith('.') && QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".dbf");
    const bool reopen = m_active;
    if (reopen)
        close();
    m_fileName = name;
    if (reopen)
        open();
}

void TTzDbf::setExclusive(bool exclusive)
{
    const bool reopen = m_active && exclusive != m_exclusive;
    if (reopen)
        close();
    m_exclusive = exclusive;
    if (reopen)
        open();
}

void TTzDbf::setActive(bool active)
{
    if (m_loading) {
        m_activeWish = active;
        return;
    }
    if (active)
        open();
    else
        close();
}

void TTzDbf::Loaded()
{
    m_loading = false;
    if (m_activeWish)
        setActive(true);
}

std::string TTzDbf::filePath() const
{
    return QFile::encodeName(m_fileName).toStdString();
}

// --- parsing the declarations ---------------------------------------------------------

TTzDbf::FieldParse TTzDbf::parseFields(const std::vector<std::string>& lines)
{
    FieldParse result;
    for (const std::string& line : lines) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
            parts.push_back(base::trimmed(line.substr(start, comma - start)));
        parts.push_back(base::trimmed(line.substr(start)));
        if (parts.size() != 4) {
            result.malformed = true;
            break;
        }
        if (parts[1].empty())
            rangeCheck();
        dbf::FieldDef field;
        field.name = parts[0].substr(0, kMaxFieldNameLength);
        field.type = base::upperAscii(parts[1][0]);
        field.length = toInteger(parts[2]);
        field.decimals = toInteger(parts[3]);
        if (field.type == 'X')
            continue;
        switch (field.type) {
        case 'N':
            if (field.length > kMaxNumericLength || field.decimals > kMaxNumericDecimals ||
                (field.decimals > 0 && field.decimals > field.length - 2))
                rangeCheck();
            break;
        case 'C':
            if (field.length > kMaxCharacterLength)
                rangeCheck();
            break;
        case 'D':
        case 'F':
        case 'L':
        case 'M':
            break;
        default:
            rangeCheck();
        }
        result.fields.push_back(field);
    }
    return result;
}

std::vector<TTzDbf::IndexEntry> TTzDbf::parseIndexList(const std::vector<std::string>& lines)
{
    std::vector<IndexEntry> entries;
    for (const std::string& line : lines) {
        const size_t first = line.find(',');
        if (first == std::string::npos)
            continue;
        const size_t second = line.find(',', first + 1);
        if (second == std::string::npos)
            continue;
        IndexEntry entry;
        entry.order = toInteger(line.substr(0, first));
        entry.file = base::trimmed(line.substr(first + 1, second - first - 1));
        entry.expression = base::trimmed(line.substr(second + 1)).substr(0, kMaxIndexExpression);
        entries.push_back(entry);
    }
    return entries;
}

// --- opening and closing --------------------------------------------------------------

bool TTzDbf::createTable(const std::string& path)
{
    if (m_fields.empty()) {
        showMessage(tzmsg::format(tzmsg::kFieldListEmpty));
        return false;
    }
    const FieldParse parsed = parseFields(m_fields);
    if (parsed.malformed) {
        showMessage(tzmsg::format(tzmsg::kCouldNotCreate, {path}));
        return false;
    }
    if (parsed.fields.empty()) {
        showMessage(tzmsg::format(tzmsg::kFieldListEmpty));
        return false;
    }
    if (codeOf(engine(), [&] { engine().CreateDBF(path, parsed.fields); }) != 0) {
        showMessage(tzmsg::format(tzmsg::kCouldNotCreate, {path}));
        return false;
    }
    return true;
}

void TTzDbf::open()
{
    if (m_active)
        return;
    const std::string path = filePath();
    if (m_createIfNotFound && !path.empty() && !fileExists(path) && !createTable(path))
        return;
    if (DataSet()->BeforeOpen)
        DataSet()->BeforeOpen(DataSet());

    dbf::DbfEngine& e = engine();
    if (!e.Select(0))
        return;
    const int area = e.CurrentArea();
    std::string command = path;
    if (m_exclusive)
        command += " EXCLUSIVE";
    if (const std::string alias = Alias(); !alias.empty())
        command += " ALIAS " + alias;
    const bool savedFix = e.autoFixRecCount();
    e.setAutoFixRecCount(m_autoFixRecCount);
    e.setHideDeleted(HideDeletedRecs());
    const bool opened = e.Use(command);
    e.setAutoFixRecCount(savedFix);
    if (!opened)
        return;
    attach(area);
    m_active = true;
    OpenIndexes();
    select("GoTop");
    e.GoTop();
    DataSet()->opened();
}

void TTzDbf::close()
{
    if (!m_active)
        return;
    DataSet()->closing();
    if (IsOpen()) {
        select("CloseThisArea");
        engine().CloseDbf();
    }
    detach();
    m_active = false;
    DataSet()->closed();
}

// --- indexes --------------------------------------------------------------------------------

void TTzDbf::removeSemaphore()
{
    std::string path = dbf::withExtension(filePath(), ".@S@");
    const std::string& folder = engine().config().semaphoreDirectory;
    if (!folder.empty())
        path = folder + "/" + dbf::baseName(path);
    std::remove(path.c_str());
    // Another program still holding the table keeps its semaphore; its
    // indexes are then trusted rather than rebuilt under it.
    if (fileExists(path) && (m_createIndex == ciAlways || m_createIndex == ciVerifyHeader))
        m_createIndex = ciNotFound;
}

TTzDbf::Build TTzDbf::makeIndex(const IndexEntry& entry)
{
    const std::string file = IndexPath(entry.file);
    bool canMake = true;
    if (OnBeforeMakeIndex)
        OnBeforeMakeIndex(this, QFile::decodeName(entry.file.c_str()), canMake);
    if (!canMake)
        return Build::Declined;
    select("MakeIndex");
    if (!engine().MakeIndex(entry.expression, file))
        return Build::Failed;
    if (OnAfterMakeIndex)
        OnAfterMakeIndex(this, QFile::decodeName(entry.file.c_str()));
    select("SetIndexTo");
    return engine().SetIndexToLFN(file, 1) ? Build::Built : Build::Failed;
}

void TTzDbf::OpenIndexes()
{
    removeSemaphore();
    const std::vector<IndexEntry> entries = parseIndexList(m_indexList);
    std::vector<bool> present(entries.size(), true);
    dbf::DbfEngine& e = engine();
    // A failed open leaves the engine's order on an empty slot, so every way
    // out closes the index slots before anything moves the record pointer.
    const auto closeSlots = [&] {
        select("OpenIndexes");
        codeOf(e, [&] { e.SetIndexTo(""); });
    };
    // Rebuilding every index at every open costs time in proportion to the
    // table; indexes the engine knows to be current need not be rebuilt.
    bool current = false;
    if (m_createIndex == ciAlways && m_skipCurrentIndexes) {
        std::vector<std::string> files;
        for (const IndexEntry& entry : entries)
            files.push_back(IndexPath(entry.file));
        select("OpenIndexes");
        current = indexesCurrent(e, filePath(), files);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const IndexEntry& entry = entries[i];
        const std::string file = IndexPath(entry.file);
        select("OpenIndexes");
        bool rebuild = false;
        bool failed = false;
        switch (m_createIndex) {
        case ciNotFound: {
            const int code = codeOf(e, [&] { e.SetIndexToLFN(file, 1); });
            if (code == dbf::kFileNotFound || code == dbf::kCorruptedIndex ||
                code == dbf::kIndexVersionMismatch)
                rebuild = true;
            else if (code != 0)
                failed = !e.SetIndexToLFN(file, 1); // reports as the caller chose
            break;
        }
        case ciAlways:
            rebuild = !current || codeOf(e, [&] { e.SetIndexToLFN(file, 1); }) != 0;
            break;
        case ciVerifyHeader: {
            dbf::IndexInfoResult info;
            const int code = codeOf(e, [&] { e.IndexInfo(file, info); });
            rebuild = code != 0 || info.recordCount != e.RecCount();
            if (!rebuild)
                failed = !e.SetIndexToLFN(file, 1);
            break;
        }
        case ciNever:
            failed = !e.SetIndexToLFN(file, 1);
            break;
        }
        if (rebuild) {
            const Build build = makeIndex(entry);
            failed = build == Build::Failed;
            // Declined by OnBeforeMakeIndex: a file that is not there cannot
            // be opened below, so the table opens without it.
            if (build == Build::Declined)
                present[i] = fileExists(file);
        }
        if (failed)
            return closeSlots();
    }
    // Each file into its own slot, so that order 1 controls.
    closeSlots();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!present[i])
            continue;
        select("OpenIndexes");
        if (!e.SetIndexToLFN(IndexPath(entries[i].file), entries[i].order))
            return closeSlots();
    }
}
