#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace html {

// The text a named character reference stands for, looked up with its case
// ("amp" is known, "AMP" is not). Returns nothing for unknown names.
std::optional<std::string_view> namedEntity(std::string_view name);
// Number of names known: the 252 of HTML 4.
std::size_t namedEntityCount();

// The 8-bit character for a numeric reference, or nothing when the code
// gives no character (the reference then stays as written). Codes above 255
// are converted from Unicode to the program's code page.
std::optional<char> numericEntity(int code);

} // namespace html
