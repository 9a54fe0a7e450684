#pragma once

#include <QString>
#include <string>
#include <string_view>

// The core keeps every text as 8-bit Windows-1252 in std::string; widgets
// speak QString. These two helpers are the only crossing between the two.
namespace platform {

// Decodes Windows-1252 bytes. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same
// value so that every byte survives a round trip.
QString fromAnsi(std::string_view text);

// Encodes to Windows-1252. Characters the code page cannot hold become '?'.
std::string toAnsi(const QString& text);

} // namespace platform
