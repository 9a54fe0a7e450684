#pragma once

#include <string>
#include <string_view>

// Small helpers on 8-bit text shared by the parser, the document model and
// the viewer. Case and blank handling is in base/ascii.h.
namespace html {

inline bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the whole text as a decimal integer with an optional sign. Returns
// false when it is not one (empty, letters after the digits, overflow).
bool parseWholeNumber(std::string_view s, int& value);

} // namespace html
