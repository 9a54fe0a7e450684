#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

class TTzDbf;
namespace dbf {
class DbfEngine;
}

// The submission log: the table `logs.dbf` in the program folder with its
// memo file and the indexes url.ndx and date.ndx beside it. One record per
// result of a run:
//   date     C  10  the day the answer arrived, in the engine's date style
//   success  L   1  true when the request ran to the end of the connection
//   message  M  10  the answer's body as text lines
//   url      C 254  the request address without the method word, cut to 254
//   status   C  40  how the request ended: "202 Accepted", "Connection timed
//                   out"; only in logs created since the field exists
// A log created before the status field keeps its four fields: it is opened,
// written and exported as it is, never rewritten.
namespace app {

inline constexpr const char* kLogFileName = "logs.dbf";
inline constexpr int kLogUrlWidth = 254;
inline constexpr const char* kStatusField = "status";
// Length of the url.ndx key, the first characters of the address.
inline constexpr size_t kUrlKeyLength = 50;

// Gives the component the log's file name, fields, indexes and open
// settings (indexes rebuilt at every open unless they were closed cleanly
// with the table and nothing changed since, exclusive, record count taken
// from the file size). The table stays closed.
void declareLog(TTzDbf& log, const QString& fileName);

// Opens the log, creating it when missing. Dates are written in the style of
// the program's short date format with four-digit years.
void openLog(TTzDbf& log);

// True when the open log has the status field (a log made before it has
// not).
bool logHasStatus(TTzDbf& log);

// True when the open log holds a record of exactly this address (cut to the
// field's width as stored) marked successful and dated fewer than `days`
// days before today (days <= 0: never). The record is found through
// url.ndx when it is open, which holds only the first kUrlKeyLength
// characters, and confirmed against the whole address; without url.ndx
// the table is read through. Records marked deleted do not count. The
// current record and the order are kept, and the log's controls are not
// told about the search.
bool sentSuccessfullyWithin(TTzDbf& log, std::string_view url, int days);

// Removes the records marked deleted and closes the log.
void packAndCloseLog(TTzDbf& log);

// Today's date as the log's date field holds it.
std::string logDateText(dbf::DbfEngine& engine);

// One field of a CSV file (RFC 4180): quoted when it holds a comma, a
// quote, CR or LF, with quotes doubled.
std::string csvField(std::string_view text);

// The memo file ends a memo at its first 0x1A byte, so the log keeps an
// answer's 0x1A bytes as this character: the rest of the answer stays.
inline constexpr char kMemoEndByte = 0x1A;
inline constexpr char kMemoEndStandIn = '?';

// An answer's bytes as the log's text lines: split at LF, a CR before it
// being part of the line end. An answer that ends with a line end gets a
// last empty line, so that the stored text ends with its line end too.
std::vector<std::string> answerTextLines(std::string_view bytes);

// Stores the lines as the current record's answer (the memo "message"),
// with every 0x1A byte replaced by kMemoEndStandIn. The record itself is
// written by the next Append.
void storeLogMessage(TTzDbf& log, std::vector<std::string> lines);

// What an export did: the records written and the damaged ones among them.
struct LogExport {
    struct Damage {
        long recNo = 0;
        std::string reason; // the engine's message
    };
    long written = 0;
    // Records whose answer could not be read: written with an empty message.
    // A record that could not be read at all is left out and named here too.
    std::vector<Damage> damaged;
};

// Writes every record of the open log that is not marked deleted, in record
// order, as CSV with CR LF line ends and the header line
// "date,success,url,message", followed by ",status" when the log has that
// field. Every field holds the log's bytes as stored
// (trailing blanks of the fixed-width fields trimmed), without re-encoding:
// an answer comes out byte for byte as the server sent it, line ends and
// all. A damaged record does not stop the export (see LogExport). The
// current record and the order stay as they were, and the log's controls
// are not told about the walk. Throws EInOutError when the file cannot be
// written.
LogExport exportLogCsv(TTzDbf& log, const QString& path);

// One line per damaged record, "record N: reason", for the user.
std::vector<std::string> damageLines(const LogExport& result);
// The message shown after an export that found damaged records.
QString damageReportText(const LogExport& result);

} // namespace app
