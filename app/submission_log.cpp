#include "submission_log.h"

#include "profile.h"

#include "base/ascii.h"
#include "dbf/dataset/tz_dbf.h"
#include "dbf/date_text.h"
#include "dbf/work_area.h"
#include "platform/ansi.h"
#include "platform/exception.h"
#include "platform/text_file.h"

#include <algorithm>
#include <QSaveFile>

namespace app {
namespace {

const std::vector<std::string> kLogFields = {"date, C, 10, 0", "success, L, 1, 0",
                                             "message, M, 10, 0", "url, C, 254, 0",
                                             "status, C, 40, 0"};
const std::vector<std::string> kLogIndexes = {"1,url.ndx,left(url,50)", "2,date.ndx,date"};
constexpr const char* kUrlIndexFile = "url.ndx";
constexpr const char* kCsvHeader = "date,success,url,message";
constexpr const char* kCsvStatusColumn = ",status";
// Two-digit years in a date text belong to this century.
constexpr int kDateCentury = 20;
constexpr const char* kCrLf = "\r\n";
// The I/O error number of a write that failed.
constexpr int kWriteFault = 101;

// The current record's answer, byte for byte as stored. A damaged pointer
// (one past the end of the memo file, for instance) gives false and the
// engine's message; the engine's error checking is off during the walk, so
// the export goes on with the next record.
bool storedAnswer(dbf::DbfEngine& engine, int field, std::string& bytes, std::string& reason)
{
    bytes.clear();
    if (field <= 0 || engine.FieldMemoBlock(field) == 0)
        return true;
    if (engine.GetMemoFieldBytes(field, bytes))
        return true;
    bytes.clear();
    reason = engine.ErrorMessage();
    return false;
}

// The fields of the log as numbers of the engine's current table; status is
// 0 in a log made before that field.
struct LogFieldNumbers {
    explicit LogFieldNumbers(dbf::DbfEngine& engine)
        : date(engine.FieldNo("date")), success(engine.FieldNo("success")),
          url(engine.FieldNo("url")), message(engine.FieldNo("message")),
          status(engine.FieldNo(kStatusField))
    {
    }
    int date;
    int success;
    int url;
    int message;
    int status;
};

// The record the engine stands on, as one CSV line (without line end).
std::string csvRecord(dbf::DbfEngine& engine, const LogFieldNumbers& fields,
                      const std::string& message)
{
    std::string line = csvField(base::trimmedRightSpaces(engine.FieldText(fields.date)));
    line += ',';
    line += engine.FieldLogical(fields.success) ? "true" : "false";
    line += ',' + csvField(base::trimmedRightSpaces(engine.FieldText(fields.url)));
    line += ',' + csvField(message);
    if (fields.status > 0)
        line += ',' + csvField(base::trimmedRightSpaces(engine.FieldText(fields.status)));
    return line;
}

// Puts the engine back on the record and in the order it had, whatever a
// search did in between.
class KeepPosition {
public:
    explicit KeepPosition(dbf::DbfEngine& engine)
        : m_engine(engine), m_order(engine.IndexOrder()), m_recNo(engine.RecNo())
    {
    }
    ~KeepPosition()
    {
        m_engine.Set_Order_To(m_order);
        if (m_recNo >= 1 && m_recNo <= m_engine.RecCount())
            m_engine.Go(m_recNo);
        else if (m_engine.RecCount() > 0)
            m_engine.GoTop();
    }
    KeepPosition(const KeepPosition&) = delete;
    KeepPosition& operator=(const KeepPosition&) = delete;

private:
    dbf::DbfEngine& m_engine;
    int m_order;
    long m_recNo;
};

// The order slot that holds the log's url.ndx, 0 when it is not open (a
// title press in the window may have put another index in its place).
int urlIndexOrder(TTzDbf& log, dbf::DbfEngine& engine)
{
    dbf::WorkArea* area = engine.currentArea();
    if (!area)
        return 0;
    const std::string path = log.IndexPath(kUrlIndexFile);
    for (int slot = 1; slot <= dbf::WorkArea::kMaxIndexes; ++slot) {
        if (const dbf::NdxIndex* index = area->index(slot); index && index->path() == path)
            return slot;
    }
    return 0;
}

// True when the engine's current record is a success for `url` from fewer
// than `days` days before `today` (a Julian day).
bool recentSuccess(dbf::DbfEngine& engine, const LogFieldNumbers& fields, const std::string& url,
                   int days, long today)
{
    if (engine.Deleted() || !engine.FieldLogical(fields.success) ||
        base::trimmedRightSpaces(engine.FieldText(fields.url)) != url)
        return false;
    const long sent = dbf::julianDay(dbf::parseDateText(
        base::trimmedRightSpaces(engine.FieldText(fields.date)), engine.dateStyle(), kDateCentury));
    return sent > 0 && today - sent < days;
}

} // namespace

void declareLog(TTzDbf& log, const QString& fileName)
{
    log.setName("log");
    log.setDbfFileName(fileName);
    log.setDbfFields(kLogFields);
    log.setIndexList(kLogIndexes);
    log.setCreateIndex(ciAlways);
    // A run's cost must not grow with the log: indexes closed cleanly with
    // the table are opened as they are.
    log.setSkipCurrentIndexes(true);
    log.setExclusive(true);
    log.setAutoFixRecCount(true);
}

void openLog(TTzDbf& log)
{
    dbf::DbfEngine& engine = log.engine();
    engine.setDateFormat(platform::toAnsi(shortDateFormat()));
    engine.setCentury(true);
    log.setActive(true);
}

bool logHasStatus(TTzDbf& log)
{
    return log.Active() && log.FieldNo(kStatusField) > 0;
}

bool sentSuccessfullyWithin(TTzDbf& log, std::string_view address, int days)
{
    if (days <= 0 || !log.Active())
        return false;
    dbf::DbfEngine& engine = log.engine();
    if (!engine.Select(log.WorkArea()) || engine.RecCount() == 0)
        return false;
    // The address as the url field holds it.
    const std::string url = base::trimmedRightSpaces(std::string(address.substr(0, kLogUrlWidth)));
    const long today = dbf::julianDay(engine.today());
    const dbf::ErrorCheckOff quiet(engine);
    KeepPosition keep(engine);
    const LogFieldNumbers fields(engine);
    const int order = urlIndexOrder(log, engine);
    if (order == 0) {
        for (long recNo = 1; recNo <= engine.RecCount(); ++recNo) {
            if (engine.Go(recNo) && recentSuccess(engine, fields, url, days, today))
                return true;
        }
        return false;
    }
    // Every record whose address starts with the same characters has the
    // same key; they follow each other in the index.
    std::string key = url.substr(0, kUrlKeyLength);
    key.resize(kUrlKeyLength, ' ');
    if (!engine.Set_Order_To(order) || !engine.Find(key))
        return false;
    while (!engine.Eof() &&
           base::trimmedRightSpaces(engine.CurrentKey()) == base::trimmedRightSpaces(key)) {
        if (recentSuccess(engine, fields, url, days, today))
            return true;
        if (!engine.Skip(1))
            break;
    }
    return false;
}

void packAndCloseLog(TTzDbf& log)
{
    if (!log.Active())
        return;
    log.Pack();
    log.setActive(false);
}

std::string logDateText(dbf::DbfEngine& engine)
{
    return dbf::formatDate(engine.today(), engine.dateStyle(), engine.century());
}

std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::vector<std::string> answerTextLines(std::string_view bytes)
{
    std::vector<std::string> lines = platform::splitLines(bytes);
    if (!bytes.empty() && bytes.back() == '\n')
        lines.emplace_back();
    return lines;
}

void storeLogMessage(TTzDbf& log, std::vector<std::string> lines)
{
    for (std::string& line : lines)
        std::replace(line.begin(), line.end(), kMemoEndByte, kMemoEndStandIn);
    log.SetMField("message", lines);
}

LogExport exportLogCsv(TTzDbf& log, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError("Cannot create file " + platform::toAnsi(path) + ": " +
                              platform::toAnsi(file.errorString()),
                          kWriteFault);
    auto writeLine = [&file](const std::string& bytes) {
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.write(kCrLf);
    };
    const bool withStatus = logHasStatus(log);
    writeLine(std::string(kCsvHeader) + (withStatus ? kCsvStatusColumn : ""));

    // The walk goes straight through the engine, by record number, so the
    // grid and the viewer are not told about every record it passes.
    LogExport result;
    dbf::DbfEngine& engine = log.engine();
    if (log.Active() && engine.Select(log.WorkArea())) {
        const dbf::ErrorCheckOff quiet(engine);
        const bool hideDeleted = engine.hideDeleted();
        engine.setHideDeleted(false);
        const long current = engine.RecNo();
        const long count = engine.RecCount();
        const LogFieldNumbers fields(engine);
        std::string message;
        std::string reason;
        for (long recNo = 1; recNo <= count; ++recNo) {
            if (!engine.Go(recNo)) {
                result.damaged.push_back({recNo, engine.ErrorMessage()});
                continue;
            }
            if (engine.Deleted())
                continue;
            if (!storedAnswer(engine, fields.message, message, reason))
                result.damaged.push_back({recNo, reason});
            writeLine(csvRecord(engine, fields, message));
            ++result.written;
        }
        if (current >= 1 && current <= count)
            engine.Go(current);
        else if (count > 0)
            engine.GoTop();
        engine.setHideDeleted(hideDeleted);
    }
    if (!file.commit())
        throw EInOutError("Cannot write file " + platform::toAnsi(path) + ": " +
                              platform::toAnsi(file.errorString()),
                          kWriteFault);
    return result;
}

std::vector<std::string> damageLines(const LogExport& result)
{
    std::vector<std::string> lines;
    for (const LogExport::Damage& damage : result.damaged)
        lines.push_back("record " + std::to_string(damage.recNo) + ": " + damage.reason);
    return lines;
}

QString damageReportText(const LogExport& result)
{
    QString text = QString("The log was exported, but %1 damaged record(s) could not be read "
                           "completely; their answers are left empty:")
                       .arg(result.damaged.size());
    for (const std::string& line : damageLines(result))
        text += '\n' + platform::fromAnsi(line);
    return text;
}

} // namespace app
