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
namespace app {

inline constexpr const char* kLogFileName = "logs.dbf";
inline constexpr int kLogUrlWidth = 254;

// Gives the component the log's file name, fields, indexes and open
// settings (indexes rebuilt at every open, exclusive, record count taken
// from the file size). The table stays closed.
void declareLog(TTzDbf& log, const QString& fileName);

// Opens the log, creating it when missing. Dates are written in the style of
// the program's short date format with four-digit years.
void openLog(TTzDbf& log);

// Removes the records marked deleted and closes the log.
void packAndCloseLog(TTzDbf& log);

// Today's date as the log's date field holds it.
std::string logDateText(dbf::DbfEngine& engine);

// One field of a CSV file (RFC 4180): quoted when it holds a comma, a
// quote, CR or LF, with quotes doubled.
std::string csvField(std::string_view text);

// Writes every record of the open log that is not marked deleted, in record
// order, as CSV in UTF-8 with CR LF line ends and the header line
// "date,success,url,message". A memo's lines are joined with CR LF. The
// current record and the order stay as they were, and the log's controls
// are not told about the walk. Throws EInOutError when the file cannot be
// written.
void exportLogCsv(TTzDbf& log, const QString& path);

} // namespace app
