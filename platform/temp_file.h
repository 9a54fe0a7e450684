#pragma once

#include <QString>

namespace platform {

// Creates a new, empty file with a unique name in the system's temporary
// folder and returns its path. A name without extension gets a "." appended
// (the file on disk carries that name too). Returns an empty string when no
// file could be created.
QString createTempFile();

} // namespace platform
