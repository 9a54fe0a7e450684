#include "html/parser/charsets.h"

#include "base/ascii.h"
#include "html/common/text_util.h"
#include "html/layout/font_cache.h"
#include "platform/ansi.h"

#include <map>
#include <mutex>
#include <QString>

namespace html {
namespace {

constexpr int kAnsiCharset = 0;
constexpr int kGreekCharset = 161;
constexpr int kEastEuropeCharset = 238;
constexpr int kRussianCharset = 204;
constexpr int kTurkishCharset = 162;
constexpr int kBalticCharset = 186;
constexpr int kGb2312Charset = 134;
constexpr int kBig5Charset = 136;

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr char kUnmappable = '?';

// The ISO sets keep the C1 controls at 0x80-0x9F, which stand for nothing
// printable; they are left undefined (0) and become "?".
constexpr UpperHalfTable isoTable(const std::array<char16_t, 96>& high)
{
    UpperHalfTable table{};
    for (std::size_t i = 0; i < high.size(); ++i)
        table[32 + i] = high[i];
    return table;
}

constexpr UpperHalfTable kKoi8r = {
    // 0x80: box drawing and blocks
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, 0x252C, 0x2534, 0x253C, 0x2580,
    0x2584, 0x2588, 0x258C, 0x2590,
    // 0x90
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248, 0x2264, 0x2265, 0x00A0, 0x2321,
    0x00B0, 0x00B2, 0x00B7, 0x00F7,
    // 0xA0
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556, 0x2557, 0x2558, 0x2559, 0x255A,
    0x255B, 0x255C, 0x255D, 0x255E,
    // 0xB0
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565, 0x2566, 0x2567, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x00A9,
    // 0xC0: small letters in the order of the Latin transliteration
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433, 0x0445, 0x0438, 0x0439, 0x043A,
    0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    // 0xE0: the capitals, same order
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413, 0x0425, 0x0418, 0x0419, 0x041A,
    0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A};

constexpr UpperHalfTable kIso8859_2 = isoTable({
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164,
    0x0179, 0x00AD, 0x017D, 0x017B, 0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102,
    0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170,
    0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
});

constexpr UpperHalfTable kIso8859_4 = isoTable({
    0x00A0, 0x0104, 0x0138, 0x0156, 0x00A4, 0x0128, 0x013B, 0x00A7, 0x00A8, 0x0160, 0x0112, 0x0122,
    0x0166, 0x00AD, 0x017D, 0x00AF, 0x00B0, 0x0105, 0x02DB, 0x0157, 0x00B4, 0x0129, 0x013C, 0x02C7,
    0x00B8, 0x0161, 0x0113, 0x0123, 0x0167, 0x014A, 0x017E, 0x014B, 0x0100, 0x00C1, 0x00C2, 0x00C3,
    0x00C4, 0x00C5, 0x00C6, 0x012E, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x0116, 0x00CD, 0x00CE, 0x012A,
    0x0110, 0x0145, 0x014C, 0x0136, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x0172, 0x00DA, 0x00DB,
    0x00DC, 0x0168, 0x016A, 0x00DF, 0x0101, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x012F,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x0117, 0x00ED, 0x00EE, 0x012B, 0x0111, 0x0146, 0x014D, 0x0137,
    0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x0173, 0x00FA, 0x00FB, 0x00FC, 0x0169, 0x016B, 0x02D9,
});

constexpr UpperHalfTable makeIso8859_5()
{
    std::array<char16_t, 96> high{};
    high[0] = 0x00A0;
    for (int i = 1; i <= 12; ++i) // 0xA1-0xAC: capitals with diacritics and additions
        high[i] = static_cast<char16_t>(0x0400 + i);
    high[13] = 0x00AD;
    high[14] = 0x040E;
    high[15] = 0x040F;
    for (int i = 16; i < 80; ++i) // 0xB0-0xEF: the basic alphabet, capitals then small
        high[i] = static_cast<char16_t>(0x0410 + (i - 16));
    high[80] = 0x2116;
    for (int i = 81; i <= 92; ++i) // 0xF1-0xFC
        high[i] = static_cast<char16_t>(0x0450 + (i - 80));
    high[93] = 0x00A7;
    high[94] = 0x045E;
    high[95] = 0x045F;
    return isoTable(high);
}
constexpr UpperHalfTable kIso8859_5 = makeIso8859_5();

constexpr UpperHalfTable makeIso8859_7()
{
    std::array<char16_t, 96> high = {
        0x00A0, 0x2018, 0x2019, 0x00A3, 0x20AC, 0x20AF, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x037A,
        0x00AB, 0x00AC, 0x00AD, 0x0000, 0x2015, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x0384, 0x0385,
        0x0386, 0x00B7, 0x0388, 0x0389, 0x038A, 0x00BB, 0x038C, 0x00BD, 0x038E, 0x038F};
    for (int i = 32; i < 95; ++i) // 0xC0-0xFE: the Greek letters in Unicode order
        high[i] = static_cast<char16_t>(0x0390 + (i - 32));
    high[0xD2 - 0xA0] = 0; // no final capital sigma
    high[95] = 0;
    return isoTable(high);
}
constexpr UpperHalfTable kIso8859_7 = makeIso8859_7();

struct DeclaredName {
    std::string_view text;
    int fontCharset;
    const UpperHalfTable* source;
    bool utf8;
};

// Searched in this order; the first name found in the declaration wins.
const std::array<DeclaredName, 18> kDeclaredNames = {{
    {"1252", kAnsiCharset, nullptr, false},
    {"8859-1", kAnsiCharset, nullptr, false},
    {"1253", kGreekCharset, nullptr, false},
    {"8859-7", kGreekCharset, &kIso8859_7, false},
    {"1250", kEastEuropeCharset, nullptr, false},
    {"8859-2", kEastEuropeCharset, &kIso8859_2, false},
    {"1251", kRussianCharset, nullptr, false},
    {"8859-5", kRussianCharset, &kIso8859_5, false},
    {"koi8-r", kRussianCharset, &kKoi8r, false},
    {"1254", kTurkishCharset, nullptr, false},
    {"8859-3", kTurkishCharset, nullptr, false},
    {"8859-9", kTurkishCharset, nullptr, false},
    {"1257", kBalticCharset, nullptr, false},
    {"8859-4", kBalticCharset, &kIso8859_4, false},
    {"gb2312", kGb2312Charset, nullptr, false},
    {"big5", kBig5Charset, nullptr, false},
    {"utf-8", kAnsiCharset, nullptr, true},
    {"utf8", kAnsiCharset, nullptr, true},
}};

// Byte-to-byte map from a table set into the Windows code page of its font
// charset, built once per set.
const std::array<char, 256>& transcodeMap(const UpperHalfTable& source, int fontCharset)
{
    static std::mutex mutex;
    static std::map<const UpperHalfTable*, std::array<char, 256>> maps;
    std::lock_guard lock(mutex);
    auto [it, fresh] = maps.try_emplace(&source);
    std::array<char, 256>& map = it->second;
    if (!fresh)
        return map;
    const std::array<char16_t, 256>& target = codePageTable(fontCharset);
    for (int b = 0; b < 128; ++b)
        map[b] = static_cast<char>(b);
    for (int b = 128; b < 256; ++b) {
        map[b] = kUnmappable;
        const char16_t wanted = source[b - 128];
        if (wanted == 0)
            continue;
        for (int t = 128; t < 256; ++t) {
            if (target[t] == wanted) {
                map[b] = static_cast<char>(t);
                break;
            }
        }
    }
    return map;
}

std::string transcode(std::string_view bytes, const CharsetInfo& info)
{
    if (info.utf8) {
        const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return platform::toAnsi(text);
    }
    if (!info.source)
        return std::string(bytes);
    const std::array<char, 256>& map = transcodeMap(*info.source, info.fontCharset);
    std::string out(bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = map[static_cast<unsigned char>(bytes[i])];
    return out;
}

// ---- a light scan for the first META that declares a charset --------------

bool isNameChar(char c)
{
    return isLetter(c) || c == '-' || c == '_' || isDigit(c);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

struct MetaDeclaration {
    CharsetInfo info;
    bool html5 = false; // <meta charset=...>, which the parser does not read itself
};

struct MetaScanner {
    std::string_view text;
    std::size_t pos = 0;

    std::optional<MetaDeclaration> run()
    {
        while ((pos = text.find('<', pos)) != std::string_view::npos) {
            if (text.substr(pos, 4) == "<!--") {
                const std::size_t end = text.find("-->", pos + 4);
                if (end == std::string_view::npos)
                    return std::nullopt;
                pos = end + 3;
                continue;
            }
            ++pos;
            if (pos + 4 <= text.size() && base::equalsIgnoreCase(text.substr(pos, 4), "meta") &&
                (pos + 4 == text.size() || !isNameChar(text[pos + 4]))) {
                pos += 4;
                if (auto found = readMeta())
                    return found;
            }
        }
        return std::nullopt;
    }

    std::optional<MetaDeclaration> readMeta()
    {
        std::string httpEquiv, content, charset;
        bool hasCharset = false;
        for (;;) {
            while (pos < text.size() && (isSpace(text[pos]) || text[pos] == '/'))
                ++pos;
            if (pos >= text.size() || text[pos] == '>')
                break;
            const std::size_t nameStart = pos;
            while (pos < text.size() && !isSpace(text[pos]) && text[pos] != '=' && text[pos] != '>')
                ++pos;
            const std::string name = base::toLower(text.substr(nameStart, pos - nameStart));
            while (pos < text.size() && isSpace(text[pos]))
                ++pos;
            std::string value;
            if (pos < text.size() && text[pos] == '=') {
                ++pos;
                while (pos < text.size() && isSpace(text[pos]))
                    ++pos;
                value = readValue();
            }
            if (name == "http-equiv")
                httpEquiv = value;
            else if (name == "content")
                content = value;
            else if (name == "charset") {
                charset = value;
                hasCharset = true;
            }
            if (name.empty())
                ++pos;
        }
        if (hasCharset)
            if (auto info = charsetFromDeclaration(charset))
                return MetaDeclaration{*info, true};
        if (base::equalsIgnoreCase(base::trimmed(httpEquiv), "content-type"))
            if (auto info = charsetFromDeclaration(content))
                return MetaDeclaration{*info, false};
        return std::nullopt;
    }

    std::string readValue()
    {
        if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
            const char quote = text[pos++];
            const std::size_t end = text.find(quote, pos);
            const std::size_t stop = end == std::string_view::npos ? text.size() : end;
            std::string value(text.substr(pos, stop - pos));
            pos = end == std::string_view::npos ? text.size() : end + 1;
            return value;
        }
        const std::size_t start = pos;
        while (pos < text.size() && !isSpace(text[pos]) && text[pos] != '>')
            ++pos;
        return std::string(text.substr(start, pos - start));
    }
};

} // namespace

const UpperHalfTable& koi8rTable()
{
    return kKoi8r;
}
const UpperHalfTable& iso8859_2Table()
{
    return kIso8859_2;
}
const UpperHalfTable& iso8859_4Table()
{
    return kIso8859_4;
}
const UpperHalfTable& iso8859_5Table()
{
    return kIso8859_5;
}
const UpperHalfTable& iso8859_7Table()
{
    return kIso8859_7;
}

std::optional<CharsetInfo> charsetFromDeclaration(std::string_view text)
{
    const std::string lower = base::toLower(text);
    for (const DeclaredName& name : kDeclaredNames)
        if (lower.find(name.text) != std::string::npos)
            return CharsetInfo{name.fontCharset, name.source, name.utf8};
    return std::nullopt;
}

std::string contentTypeCharset(std::string_view contentType)
{
    const std::string lower = base::toLower(contentType);
    std::size_t at = lower.find("charset");
    while (at != std::string::npos) {
        std::size_t pos = at + 7;
        while (pos < lower.size() && isSpace(lower[pos]))
            ++pos;
        if (pos < lower.size() && lower[pos] == '=') {
            ++pos;
            while (pos < lower.size() && isSpace(lower[pos]))
                ++pos;
            std::size_t end = pos;
            if (pos < lower.size() && (lower[pos] == '"' || lower[pos] == '\'')) {
                const char quote = lower[pos++];
                end = lower.find(quote, pos);
                if (end == std::string::npos)
                    end = lower.size();
            } else {
                while (end < lower.size() && lower[end] != ';' && !isSpace(lower[end]))
                    ++end;
            }
            return lower.substr(pos, end - pos);
        }
        at = lower.find("charset", at + 7);
    }
    return std::string();
}

PreparedSource prepareSource(std::string_view bytes, std::string_view httpContentType)
{
    PreparedSource prepared;
    if (bytes.substr(0, 3) == kUtf8Bom) {
        prepared.text = transcode(bytes.substr(3), CharsetInfo{kAnsiCharset, nullptr, true});
        prepared.fixedCharset = kAnsiCharset;
        return prepared;
    }
    const std::string httpCharset = contentTypeCharset(httpContentType);
    if (!httpCharset.empty()) {
        if (auto info = charsetFromDeclaration(httpCharset)) {
            prepared.text = transcode(bytes, *info);
            prepared.fixedCharset = info->fontCharset;
            return prepared;
        }
    }
    if (auto meta = MetaScanner{bytes}.run()) {
        prepared.text = transcode(bytes, meta->info);
        // A META content-type the parser reads itself keeps setting the
        // font charset where it stands, as it always has.
        if (meta->html5 || meta->info.utf8 || meta->info.source)
            prepared.fixedCharset = meta->info.fontCharset;
        return prepared;
    }
    prepared.text = std::string(bytes);
    return prepared;
}

} // namespace html
