#pragma once

#include <QString>

// The folder that holds the program's own files: the engines list, the
// profiles, the log table with its memo and index files. It is
// $QUORVANE_HOME when that is set, else $XDG_DATA_HOME/quorvane (by default
// ~/.local/share/quorvane).
namespace platform {

// The program folder with a trailing '/'.
QString programFolder();

// Creates the program folder when missing and makes it the current
// directory, so that files named without a folder land there. Returns the
// folder as programFolder() does.
QString prepareProgramFolder();

} // namespace platform
