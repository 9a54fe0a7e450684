#include "html/common/tag_table.h"

#include <algorithm>
#include <array>
#include <utility>

namespace html {
namespace {

constexpr std::array<std::string_view, kTagCount> kTagNames = {
    "HTML",     "HEAD",   "TITLE", "BODY",     "B",          "STRONG",  "I",      "EM",
    "CITE",     "VAR",    "U",     "S",        "STRIKE",     "SUB",     "SUP",    "TT",
    "CODE",     "KBD",    "SAMP",  "H",        "P",          "CENTER",  "DIV",    "OL",
    "UL",       "DIR",    "MENU",  "DL",       "BLOCKQUOTE", "ADDRESS", "PRE",    "A",
    "TABLE",    "TR",     "TD",    "TH",       "CAPTION",    "FORM",    "SELECT", "OPTION",
    "TEXTAREA", "FONT",   "BIG",   "SMALL",    "MAP",        "SCRIPT",  "NOBR",   "FRAMESET",
    "NOFRAMES", "BUTTON", "STYLE", "BR",       "HR",         "LI",      "DD",     "DT",
    "IMG",      "PANEL",  "INPUT", "SELECTED", "BASEFONT",   "BASE",    "META",   "AREA",
    "BGSOUND",  "PAGE",   "WBR",   "FRAME",    "WRAP"};

// VALUE appears twice in the historical table; one entry is enough here
// because both spellings map to the same symbol.
constexpr std::array<std::string_view, static_cast<int>(Attr::UnknownAttr)> kAttrNames = {
    "HREF",         "NAME",       "SRC",       "ALT",     "ALIGN",     "TEXT",        "BGCOLOR",
    "LINK",         "BACKGROUND", "COLSPAN",   "ROWSPAN", "BORDER",    "CELLPADDING", "CELLSPACING",
    "VALIGN",       "WIDTH",      "START",     "VALUE",   "TYPE",      "CHECKBOX",    "RADIO",
    "METHOD",       "ACTION",     "CHECKED",   "SIZE",    "MAXLENGTH", "COLS",        "ROWS",
    "MULTIPLE",     "SELECTED",   "FACE",      "COLOR",   "TRANSP",    "CLEAR",       "ISMAP",
    "BORDERCOLOR",  "USEMAP",     "SHAPE",     "COORDS",  "NOHREF",    "HEIGHT",      "PLAIN",
    "TARGET",       "NORESIZE",   "SCROLLING", "HSPACE",  "LANGUAGE",  "FRAMEBORDER", "MARGINWIDTH",
    "MARGINHEIGHT", "LOOP",       "ONCLICK",   "WRAP",    "NOSHADE",   "HTTP-EQUIV",  "CONTENT",
    "ENCTYPE",      "VLINK",      "OLINK",     "ACTIVE",  "VSPACE",    "INITOP",      "TOPMARGIN",
    "LEFTMARGIN"};

// Sorted (name, index) pairs so that a lookup is a binary search.
template <std::size_t N> struct SortedIndex {
    std::array<std::pair<std::string_view, int>, N> entries{};
    explicit SortedIndex(const std::array<std::string_view, N>& names)
    {
        for (std::size_t i = 0; i < N; ++i)
            entries[i] = {names[i], static_cast<int>(i)};
        std::sort(entries.begin(), entries.end());
    }
    int find(std::string_view name) const
    {
        auto it = std::lower_bound(entries.begin(), entries.end(), name,
                                   [](const auto& e, std::string_view n) { return e.first < n; });
        return it != entries.end() && it->first == name ? it->second : -1;
    }
};

const SortedIndex<kTagNames.size()>& tagIndex()
{
    static const SortedIndex<kTagNames.size()> index(kTagNames);
    return index;
}

const SortedIndex<kAttrNames.size()>& attrIndex()
{
    static const SortedIndex<kAttrNames.size()> index(kAttrNames);
    return index;
}

} // namespace

Tag lookupTag(std::string_view upperName)
{
    int i = tagIndex().find(upperName);
    return i < 0 ? Tag::UnknownTag : static_cast<Tag>(i);
}

Attr lookupAttr(std::string_view upperName)
{
    int i = attrIndex().find(upperName);
    return i < 0 ? Attr::UnknownAttr : static_cast<Attr>(i);
}

std::string_view tagName(Tag tag)
{
    int i = static_cast<int>(tag);
    if (i < kTagCount)
        return kTagNames[i];
    switch (tag) {
    case Tag::Text:
        return "#text";
    case Tag::Eof:
        return "#eof";
    default:
        return "#unknown";
    }
}

bool tagTakesAttributes(Tag tag)
{
    switch (tag) {
    case Tag::Body:
    case Tag::H:
    case Tag::P:
    case Tag::Br:
    case Tag::Hr:
    case Tag::Div:
    case Tag::Ol:
    case Tag::Ul:
    case Tag::A:
    case Tag::Img:
    case Tag::Panel:
    case Tag::Table:
    case Tag::Tr:
    case Tag::Td:
    case Tag::Th:
    case Tag::Caption:
    case Tag::Form:
    case Tag::Input:
    case Tag::Button:
    case Tag::Select:
    case Tag::Option:
    case Tag::Textarea:
    case Tag::Font:
    case Tag::Basefont:
    case Tag::Base:
    case Tag::Meta:
    case Tag::Map:
    case Tag::Area:
    case Tag::Script:
    case Tag::Bgsound:
    case Tag::Frameset:
    case Tag::Frame:
    case Tag::Wrap:
        return true;
    default:
        return false;
    }
}

} // namespace html
