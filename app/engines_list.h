#pragma once

#include <QString>
#include <string>
#include <vector>

// The engines list file: one engine line per text line, CR LF line ends,
// 8-bit text. The main window's list box is the working copy; the file is
// what a submission run reads.
namespace app {

using Lines = std::vector<std::string>;

inline constexpr const char* kEnginesFileName = "engines.txt";

// The five lines written on the first start.
Lines defaultEngineLines();

// The list file of the program folder.
QString defaultEnginesFilePath();

// A copy of the lines in ascending order, compared case-insensitively with
// the collation of the user's locale. Lines that compare equal keep their
// order, so saving twice writes the same file.
Lines sortedEngineLines(Lines lines);

// Reads a list file. Throws EInOutError when it cannot be read.
Lines readEnginesFile(const QString& path);

// Writes a sorted copy of the lines to the file, replacing it. Throws
// EInOutError when it cannot be written.
void saveEnginesFile(const QString& path, const Lines& lines);

// The lines a submission run sends: every line but the blank ones, which
// can name no engine and would only log failures, trimmed of the blanks and
// tabs around them.
Lines runnableEngineLines(const Lines& lines);

// The list at start-up: the file's lines when it exists; otherwise the
// defaults, which are written to the file at once. The IndexNow list is
// written beside it when missing (see writeIndexNowList).
Lines loadStartupEngines(const QString& path, const Lines& defaults);

// Writes the IndexNow list (indexnow.txt, one GET line for the shared
// endpoint) into the folder unless that file exists. It is an extra the
// user may never need, so a folder that cannot take it is no error: the
// result is then false.
bool writeIndexNowList(const QString& folder);

} // namespace app
