#pragma once

#include <QIcon>

// The program icon in every size that is drawn for it, for the windows'
// title bars, the task bar and the About box.
QIcon programIcon();
