#pragma once

#include <QString>

// The program's windowless commands, for scheduled runs and scripts. Both
// need a QCoreApplication and work in the program folder.
namespace app {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
// The submission log could not be used: another run holds it, or the table
// is damaged. The engine's message is on stderr.
inline constexpr int kExitTableError = 3;
// The run ended, but at least one request did not succeed.
inline constexpr int kExitSomeFailed = 4;
// The shell's code for a command ended by SIGINT.
inline constexpr int kExitCancelled = 130;

// quorvane --submit PROFILE.ini [--engines FILE] [--skip-recent DAYS]: the
// submission run without windows. Every logged result writes "Sended N of M"
// to stderr, and so does every wait before a request is tried again ("URL:
// 429 Too Many Requests: trying again in 4 s (attempt 2 of 3)"); the end
// writes "N requests, S succeeded, F failed" to stdout ("N requests, T sent,
// K skipped, S succeeded, F failed" when skipRecentDays left requests out). Exit code 0 when
// every request succeeded, 4 when at least one failed. SIGINT and SIGTERM
// cancel the run like the window's Cancel button (exit code 130). A profile
// or engines list that cannot be read is reported on stderr with exit code 1,
// before the log is opened; so is a profile date line that cannot be written
// (the old file stays whole). A log that cannot be used ends the run with
// kExitTableError. An empty enginesPath means the program folder's
// engines.txt.
int runHeadlessSubmission(const QString& profilePath, const QString& enginesPath,
                          int skipRecentDays = 0);

// The export was written, but some records were damaged: those are named on
// stderr and written with an empty message (or left out when unreadable).
inline constexpr int kExitDamaged = 3;

// quorvane --export-log FILE.csv: every record of the log as CSV. Exit code
// 1 when there is no log or the file cannot be written, kExitTableError when
// the log cannot be used, kExitDamaged when damaged records were found.
int exportLog(const QString& csvPath);

} // namespace app
