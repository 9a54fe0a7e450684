#include "html/parser/entities.h"

#include "platform/ansi.h"

#include <algorithm>
#include <array>
#include <QString>
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

// The rest of the named references of HTML 4 with their Unicode values:
// markup-significant and internationalisation characters, then symbols,
// mathematical signs and Greek letters. They become characters of the
// program's code page, "?" where it has none.
struct UnicodeName {
    std::string_view name;
    char32_t code;
};

constexpr UnicodeName kUnicodeNames[] = {
    {"OElig", 338},   {"oelig", 339},    {"Scaron", 352},   {"scaron", 353},  {"Yuml", 376},
    {"circ", 710},    {"tilde", 732},    {"ensp", 8194},    {"emsp", 8195},   {"thinsp", 8201},
    {"zwnj", 8204},   {"zwj", 8205},     {"lrm", 8206},     {"rlm", 8207},    {"mdash", 8212},
    {"lsquo", 8216},  {"sbquo", 8218},   {"ldquo", 8220},   {"rdquo", 8221},  {"bdquo", 8222},
    {"dagger", 8224}, {"Dagger", 8225},  {"permil", 8240},  {"lsaquo", 8249}, {"rsaquo", 8250},
    {"euro", 8364},   {"fnof", 402},     {"Alpha", 913},    {"Beta", 914},    {"Gamma", 915},
    {"Delta", 916},   {"Epsilon", 917},  {"Zeta", 918},     {"Eta", 919},     {"Theta", 920},
    {"Iota", 921},    {"Kappa", 922},    {"Lambda", 923},   {"Mu", 924},      {"Nu", 925},
    {"Xi", 926},      {"Omicron", 927},  {"Pi", 928},       {"Rho", 929},     {"Sigma", 931},
    {"Tau", 932},     {"Upsilon", 933},  {"Phi", 934},      {"Chi", 935},     {"Psi", 936},
    {"Omega", 937},   {"alpha", 945},    {"beta", 946},     {"gamma", 947},   {"delta", 948},
    {"epsilon", 949}, {"zeta", 950},     {"eta", 951},      {"theta", 952},   {"iota", 953},
    {"kappa", 954},   {"lambda", 955},   {"mu", 956},       {"nu", 957},      {"xi", 958},
    {"omicron", 959}, {"pi", 960},       {"rho", 961},      {"sigmaf", 962},  {"sigma", 963},
    {"tau", 964},     {"upsilon", 965},  {"phi", 966},      {"chi", 967},     {"psi", 968},
    {"omega", 969},   {"thetasym", 977}, {"upsih", 978},    {"piv", 982},     {"bull", 8226},
    {"prime", 8242},  {"Prime", 8243},   {"oline", 8254},   {"frasl", 8260},  {"weierp", 8472},
    {"image", 8465},  {"real", 8476},    {"alefsym", 8501}, {"larr", 8592},   {"uarr", 8593},
    {"rarr", 8594},   {"darr", 8595},    {"harr", 8596},    {"crarr", 8629},  {"lArr", 8656},
    {"uArr", 8657},   {"rArr", 8658},    {"dArr", 8659},    {"hArr", 8660},   {"forall", 8704},
    {"part", 8706},   {"exist", 8707},   {"empty", 8709},   {"nabla", 8711},  {"isin", 8712},
    {"notin", 8713},  {"ni", 8715},      {"prod", 8719},    {"sum", 8721},    {"minus", 8722},
    {"lowast", 8727}, {"radic", 8730},   {"prop", 8733},    {"infin", 8734},  {"ang", 8736},
    {"and", 8743},    {"or", 8744},      {"cap", 8745},     {"cup", 8746},    {"int", 8747},
    {"there4", 8756}, {"sim", 8764},     {"cong", 8773},    {"asymp", 8776},  {"ne", 8800},
    {"equiv", 8801},  {"le", 8804},      {"ge", 8805},      {"sub", 8834},    {"sup", 8835},
    {"nsub", 8836},   {"sube", 8838},    {"supe", 8839},    {"oplus", 8853},  {"otimes", 8855},
    {"perp", 8869},   {"sdot", 8901},    {"lceil", 8968},   {"rceil", 8969},  {"lfloor", 8970},
    {"rfloor", 8971}, {"lang", 9001},    {"rang", 9002},    {"loz", 9674},    {"spades", 9824},
    {"clubs", 9827},  {"hearts", 9829},  {"diams", 9830},
};

struct Entry {
    std::string_view name;
    std::string value;
};

std::vector<Entry> buildTable()
{
    // The first eight keep the plain spellings pages have always shown.
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
    for (const UnicodeName& entry : kUnicodeNames)
        table.push_back({entry.name, platform::toAnsi(QString::fromUcs4(&entry.code, 1))});
    std::sort(table.begin(), table.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return table;
}

const std::vector<Entry>& entityTable()
{
    static const std::vector<Entry> table = buildTable();
    return table;
}

} // namespace

std::size_t namedEntityCount()
{
    return entityTable().size();
}

std::optional<std::string_view> namedEntity(std::string_view name)
{
    const std::vector<Entry>& table = entityTable();
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
