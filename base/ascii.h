#pragma once

// Case and blank handling on 8-bit text. Every byte above 0x7F is left as it
// is: the program's text is in a single-byte code page whose letters the C
// library's locale does not know, so only the ASCII letters change case.
// Header-only and free of Qt, so that every library (the dBASE engine too)
// can use it.

#include <string>
#include <string_view>

namespace base {

constexpr char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string toUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = upperAscii(c);
    return out;
}

inline std::string toLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

constexpr bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    return true;
}

// A blank, a tab, a line end or any other control character.
constexpr bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

// Without blanks and control characters at both ends (text typed by a user,
// header values, attribute values).
inline std::string trimmed(std::string_view text)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && isBlankOrControl(text[b]))
        ++b;
    while (e > b && isBlankOrControl(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

// Without the spaces (only ' ') at both ends: the padding of a dBASE field.
inline std::string trimmedSpaces(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// Without the spaces (only ' ') at the end.
inline std::string trimmedRightSpaces(std::string_view text)
{
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

} // namespace base
