#pragma once

#include <QString>
#include <string>
#include <vector>

// Line-oriented text files in the program's 8-bit encoding. Readers accept
// LF and CR LF line ends; writers always end every line with CR LF.
namespace platform {

// Reads every line of the file. A final line without line end counts as a
// line; an empty file has no lines. Throws EInOutError when the file cannot
// be opened or read.
std::vector<std::string> readTextLines(const QString& path);

// Replaces the file with the given lines, each followed by CR LF. Throws
// EInOutError when the file cannot be created or written.
void writeTextLines(const QString& path, const std::vector<std::string>& lines);

// Splits text into lines at LF, dropping a CR that precedes the LF.
std::vector<std::string> splitLines(std::string_view text);

} // namespace platform
