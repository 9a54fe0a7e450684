#include "submission_log.h"

#include "profile.h"

#include "dbf/date_text.h"
#include "dbf/dataset/tz_dbf.h"
#include "platform/ansi.h"
#include "platform/exception.h"

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

std::string trimRight(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// The record the engine stands on, as one CSV line (without line end).
std::string csvRecord(dbf::DbfEngine& engine, int dateField, int successField, int urlField,
                      int messageField)
{
    std::vector<std::string> lines;
    if (messageField > 0)
        lines = engine.GetMemoField(messageField);
    std::string message;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            message += kCrLf;
        message += lines[i];
    }
    std::string line = csvField(trimRight(engine.FieldText(dateField)));
    line += ',';
    line += engine.FieldLogical(successField) ? "true" : "false";
    line += ',' + csvField(trimRight(engine.FieldText(urlField)));
    line += ',' + csvField(message);
    return line;
}

} // namespace

void declareLog(TTzDbf& log, const QString& fileName)
{
    log.setName("log");
    log.setDbfFileName(fileName);
    log.setDbfFields(kLogFields);
    log.setIndexList(kLogIndexes);
    log.setCreateIndex(ciAlways);
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

void exportLogCsv(TTzDbf& log, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError("Cannot create file " + platform::toAnsi(path) + ": " +
                              platform::toAnsi(file.errorString()),
                          kWriteFault);
    auto writeLine = [&file](const std::string& ansi) {
        QByteArray utf8 = platform::fromAnsi(ansi).toUtf8();
        utf8 += kCrLf;
        file.write(utf8);
    };
    writeLine(kCsvHeader);

    // The walk goes straight through the engine, by record number, so the
    // grid and the viewer are not told about every record it passes.
    dbf::DbfEngine& engine = log.engine();
    if (log.Active() && engine.Select(log.WorkArea())) {
        const bool hideDeleted = engine.hideDeleted();
        engine.setHideDeleted(false);
        const long current = engine.RecNo();
        const long count = engine.RecCount();
        const int dateField = engine.FieldNo("date");
        const int successField = engine.FieldNo("success");
        const int urlField = engine.FieldNo("url");
        const int messageField = engine.FieldNo("message");
        for (long recNo = 1; recNo <= count; ++recNo) {
            if (!engine.Go(recNo) || engine.Deleted())
                continue;
            writeLine(csvRecord(engine, dateField, successField, urlField, messageField));
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
}

} // namespace app
