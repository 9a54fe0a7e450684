#include "html/parser/entities.h"

#include "platform/ansi.h"

#include <algorithm>
#include <array>
#include <vector>

namespace html {
namespace {

// Names for the characters 160 to 255, in code order.
constexpr std::array<std::string_view, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct Entry {
    std::string_view name;
    std::string value;
};

std::vector<Entry> buildTable()
{
    std::vector<Entry> table = {
        {"amp", "&"},
        {"lt", "<"},
        {"gt", ">"},
        {"quot", "\""},
        {"rsquo", "'"},
        {"ndash", "-"},
        {"trade", std::string(1, '\x99')},
        {"hellip", "..."},
    };
    for (std::size_t i = 0; i < kLatin1Names.size(); ++i)
        table.push_back({kLatin1Names[i], std::string(1, static_cast<char>(160 + i))});
    std::sort(table.begin(), table.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return table;
}

} // namespace

std::optional<std::string_view> namedEntity(std::string_view name)
{
    static const std::vector<Entry> table = buildTable();
    auto it = std::lower_bound(table.begin(), table.end(), name,
                               [](const Entry& e, std::string_view n) { return e.name < n; });
    if (it == table.end() || it->name != name)
        return std::nullopt;
    return std::string_view(it->value);
}

std::optional<char> numericEntity(int code)
{
    if (code == 9)
        return ' ';
    if (code == 10 || (code >= 32 && code <= 255))
        return static_cast<char>(code);
    if (code > 255 && code <= 0x10FFFF) {
        const char32_t unicode = static_cast<char32_t>(code);
        const std::string ansi = platform::toAnsi(QString::fromUcs4(&unicode, 1));
        if (!ansi.empty())
            return ansi.front();
    }
    return std::nullopt;
}

} // namespace html
