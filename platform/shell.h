#pragma once

#include <functional>
#include <QString>

namespace platform {

// Opens an address (web page, mailto: link, local file) with the desktop's
// default program. Returns false when nothing could be started. Tests
// replace the opener to see what would have been opened.
bool shellOpen(const QString& address);
void setShellOpener(std::function<bool(const QString&)> opener);

} // namespace platform
