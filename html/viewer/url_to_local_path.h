#pragma once

#include <QString>

// Turns a link or a "file:" address into a local path: %-escapes are
// decoded (repeatedly, from the first "%" on, as long as one stands after
// the first character and two hexadecimal digits follow it); then, when the
// text contains "/", a leading "file://" or "file:///" is removed (a drive
// letter after "file:///" keeps no "/" in front), every "|" becomes ":" and
// every "\" becomes the native "/".
QString UrlToLocalPath(const QString& S);
