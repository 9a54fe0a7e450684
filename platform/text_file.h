#pragma once

#include <functional>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

// Line-oriented text files in the program's 8-bit encoding. Readers accept
// LF and CR LF line ends; writers always end every line with CR LF.
namespace platform {

// Reads every line of the file. A final line without line end counts as a
// line; an empty file has no lines. Throws EInOutError when the file cannot
// be opened or read.
std::vector<std::string> readTextLines(const QString& path);

// Replaces the file with the given lines, each followed by CR LF, through
// replaceFile. Throws EInOutError when the file cannot be written; the old
// file is then left as it was.
void writeTextLines(const QString& path, const std::vector<std::string>& lines);

// Replaces the file with the bytes so that the file holds either its old
// content or the new one, whatever happens on the way (a full disk, a crash):
// the bytes go to a new file in the same folder, which is flushed to the disk
// and renamed over the old one. A new file gets the given permissions (an
// existing one keeps its own). Throws EInOutError when the file cannot be
// written; the temporary file is then removed.
void replaceFile(const QString& path, std::string_view bytes, unsigned newFileMode = 0644);

// Test hook: called before every write of replaceFile with the target path;
// a non-zero result is taken as the errno of a failed write (e.g. ENOSPC).
// An empty function removes the hook.
void setWriteFaultHook(std::function<int(const QString& path)> hook);

// Splits text into lines at LF, dropping a CR that precedes the LF.
std::vector<std::string> splitLines(std::string_view text);

} // namespace platform
