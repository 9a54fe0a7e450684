#include "submission_log.h"

#include "profile.h"

#include "base/ascii.h"
#include "dbf/dataset/tz_dbf.h"
#include "dbf/date_text.h"
#include "platform/ansi.h"
#include "platform/exception.h"
#include "platform/text_file.h"

#include <algorithm>
#include <QSaveFile>

namespace app {
namespace {

const std::vector<std::string> kLogFields = {"date, C, 10, 0", "success, L, 1, 0",
                                             "message, M, 10, 0", "url, C, 254, 0"};
const std::vector<std::string> kLogIndexes = {"1,url.ndx,left(url,50)", "2,date.ndx,date"};
constexpr const char* kCsvHeader = "date,success,url,message";
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

// The record the engine stands on, as one CSV line (without line end).
std::string csvRecord(dbf::DbfEngine& engine, int dateField, int successField, int urlField,
                      const std::string& message)
{
    std::string line = csvField(base::trimmedRightSpaces(engine.FieldText(dateField)));
    line += ',';
    line += engine.FieldLogical(successField) ? "true" : "false";
    line += ',' + csvField(base::trimmedRightSpaces(engine.FieldText(urlField)));
    line += ',' + csvField(message);
    return line;
}

// Switches the engine's error checking off for a walk that handles every
// failure itself, and back on afterwards.
class QuietEngine {
public:
    explicit QuietEngine(dbf::DbfEngine& engine) : m_engine(engine), m_check(engine.errorCheck())
    {
        m_engine.setErrorCheck(false);
    }
    ~QuietEngine() { m_engine.setErrorCheck(m_check); }
    QuietEngine(const QuietEngine&) = delete;
    QuietEngine& operator=(const QuietEngine&) = delete;

private:
    dbf::DbfEngine& m_engine;
    bool m_check;
};

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
    writeLine(kCsvHeader);

    // The walk goes straight through the engine, by record number, so the
    // grid and the viewer are not told about every record it passes.
    LogExport result;
    dbf::DbfEngine& engine = log.engine();
    if (log.Active() && engine.Select(log.WorkArea())) {
        QuietEngine quiet(engine);
        const bool hideDeleted = engine.hideDeleted();
        engine.setHideDeleted(false);
        const long current = engine.RecNo();
        const long count = engine.RecCount();
        const int dateField = engine.FieldNo("date");
        const int successField = engine.FieldNo("success");
        const int urlField = engine.FieldNo("url");
        const int messageField = engine.FieldNo("message");
        std::string message;
        std::string reason;
        for (long recNo = 1; recNo <= count; ++recNo) {
            if (!engine.Go(recNo)) {
                result.damaged.push_back({recNo, engine.ErrorMessage()});
                continue;
            }
            if (engine.Deleted())
                continue;
            if (!storedAnswer(engine, messageField, message, reason))
                result.damaged.push_back({recNo, reason});
            writeLine(csvRecord(engine, dateField, successField, urlField, message));
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
