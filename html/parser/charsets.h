#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// Pages arrive in many character sets; the viewer keeps every text as bytes
// of a Windows code page (the program's own, or the one of the font charset
// a page declares). These helpers find what a page is written in and turn
// it into such bytes before it is parsed.
namespace html {

// Unicode values of the bytes 0x80 to 0xFF of an 8-bit character set that
// is not itself a Windows code page. 0 marks a byte the set leaves undefined.
using UpperHalfTable = std::array<char16_t, 128>;

struct CharsetInfo {
    // Windows font charset the text is drawn with (0 the program's code page,
    // 161 Greek, 238 East European, 204 Russian, 162 Turkish, 186 Baltic,
    // 134 GB2312, 136 Big5).
    int fontCharset = 0;
    // The set the bytes are written in when it has to be transcoded into the
    // Windows code page of fontCharset; null when the bytes are already that.
    const UpperHalfTable* source = nullptr;
    // UTF-8, converted to the program's code page.
    bool utf8 = false;
};

// Looks the charset up in a declaration such as the CONTENT of a META
// content-type or a charset name. The lower-cased text is searched for the
// known names in a fixed order ("1252" and "8859-1" first, UTF-8 last); the
// first found wins.
std::optional<CharsetInfo> charsetFromDeclaration(std::string_view text);

// The upper halves of the character sets read through tables.
const UpperHalfTable& koi8rTable();
const UpperHalfTable& iso8859_2Table();
const UpperHalfTable& iso8859_4Table();
const UpperHalfTable& iso8859_5Table();
const UpperHalfTable& iso8859_7Table();

// Source text ready for the parser.
struct PreparedSource {
    std::string text;
    // Set when the charset was decided outside the document's own META
    // content-type rule (an HTTP header, a byte-order mark, an HTML5 META
    // charset) or when the text was transcoded: the whole document is then
    // drawn in this font charset and META elements no longer change it.
    std::optional<int> fixedCharset;
};

// Decides the charset of a page and converts its bytes. A UTF-8 byte-order
// mark comes first, then the charset parameter of the HTTP Content-Type
// (httpContentType is the header's value, e.g. "text/html; charset=utf-8"),
// then the first META of the document that declares one. UTF-8 becomes the
// program's code page, the table sets become the Windows code page of their
// font charset; a character the target cannot hold becomes "?". Anything
// else is passed through unchanged.
PreparedSource prepareSource(std::string_view bytes, std::string_view httpContentType = {});

// The charset parameter of a Content-Type value, unquoted; empty when absent.
std::string contentTypeCharset(std::string_view contentType);

} // namespace html
