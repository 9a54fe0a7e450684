#pragma once

#include <string>
#include <string_view>

// Small helpers on 8-bit text shared by the parser, the document model and
// the viewer.
namespace html {

inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);

// Removes blanks and control characters from both ends.
std::string trimmed(std::string_view s);

// Reads the whole text as a decimal integer with an optional sign. Returns
// false when it is not one (empty, letters after the digits, overflow).
bool parseWholeNumber(std::string_view s, int& value);

} // namespace html
