#pragma once

#include <QIcon>
#include <QPixmap>

namespace setup {

// The installer's picture: a navy tile with a white arrow into a tray,
// drawn rather than shipped so that setup stays a single file.
QPixmap productPixmap(int size);
QIcon productIcon();

} // namespace setup
