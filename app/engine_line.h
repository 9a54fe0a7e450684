#pragma once

#include <string>
#include <string_view>

// One line of the engines list: an HTTP method word glued to a URL template
// that holds the placeholders "##url", "##email" and "##name", e.g.
//   GEThttp://search.example.org/cgi-bin/newurl?ad=1&q=##url
// Everything here works on the program's 8-bit text and never escapes
// anything: values are inserted exactly as they are stored.
namespace app {

inline constexpr std::string_view kUrlPlaceholder = "##url";
inline constexpr std::string_view kEmailPlaceholder = "##email";
inline constexpr std::string_view kNamePlaceholder = "##name";
inline constexpr std::string_view kKeyPlaceholder = "##key";

// Expands one engine line for one page: the first "##url" becomes the page
// address, then the first "##email" the e-mail address, then the first
// "##name" the name. Later occurrences stay as written. Each step searches
// the result of the step before, so a placeholder inside an inserted value
// is replaced too. A line without one of the placeholders simply gets
// nothing inserted for it. The method word stays in front.
std::string procesa(std::string_view line, std::string_view page, std::string_view email,
                    std::string_view name);
// The same expansion followed by one more step: the first "##key" becomes
// the IndexNow key. Lines without "##key" expand exactly as above.
std::string procesa(std::string_view line, std::string_view page, std::string_view email,
                    std::string_view name, std::string_view key);

enum class HttpMethod { Get, Post };

// What one expanded line asks the HTTP client to do.
struct EngineRequest {
    HttpMethod method = HttpMethod::Get;
    std::string url;  // the whole address, query included
    std::string body; // POST only: the text after the first '?' of the url
};

// Splits an expanded line, trimmed of surrounding blanks and tabs. A line whose first four
// characters are "POST" in any letter case is a POST of the rest of the line; its body is the text
// after the first '?', or the whole address when it has none. Every other
// line is a GET of the line from its fourth character on, whatever the
// first three characters are.
EngineRequest splitEngineLine(std::string_view expanded);

// The line without the blanks and tabs around it: a blank typed in front of
// the method word would otherwise shift the method and the address.
std::string_view trimEngineLine(std::string_view line);

// True for a line that holds nothing but blanks. A submission run skips such
// lines: they can name no engine and would only log failures.
bool isBlankEngineLine(std::string_view line);

} // namespace app
