#include "html/parser/html_parser.h"

#include "base/ascii.h"
#include "html/common/html_color.h"
#include "html/common/text_util.h"
#include "html/document/html_table.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/parser/parser_helpers.h"

#include <algorithm>

using html::Attr;
using html::Tag;
using namespace html::parsing;

struct THtmlParser::RowDefaults {
    int align = 0; // 0 when the row sets none
    int valign = -1;
    std::optional<QColor> bgColor;
};

// ---- tables -------------------------------------------------------------

void THtmlParser::doTable()
{
    ++m_depth;
    closeSection();
    auto table = std::make_unique<ThtmlTable>(&m_doc, attrs(), m_align);

    // Every cell starts from the state at the TABLE tag.
    TCell* const savedCell = m_cell;
    const std::vector<TMyFont> tableFonts = m_fonts;
    const int tableRefused = m_refusedFonts;
    const bool bold = m_bold, italic = m_italic, underline = m_underline, strike = m_strike;
    const TMyFont::ScriptMode script = m_script;
    const int savedAlign = m_align;
    const int savedLevel = m_listLevel;
    std::vector<ListContext> savedLists;
    savedLists.swap(m_lists);
    TUrlTarget* const savedLink = m_link;

    auto restore = [&] {
        m_fonts = tableFonts;
        m_refusedFonts = tableRefused;
        m_bold = bold;
        m_italic = italic;
        m_underline = underline;
        m_strike = strike;
        m_script = script;
        m_nobr = false;
        m_tok->SetNoBreak(false);
        m_listLevel = 0;
        m_lists.clear();
    };

    RowDefaults row;
    next();
    for (;;) {
        const Tag s = sym();
        const bool end = isEnd();
        if (s == Tag::Eof)
            break;
        if (s == Tag::Table && end) {
            next();
            break;
        }
        if (s == Tag::Tr && !end) {
            table->NewRow();
            row = RowDefaults();
            row.align = alignFromText(attrs().Find(Attr::Align), 0);
            if (const TAttribute* v = attrs().Find(Attr::VAlign)) {
                if (html::textIs(v, "top") || html::textIs(v, "baseline"))
                    row.valign = TCellObj::VTop;
                else if (html::textIs(v, "middle"))
                    row.valign = TCellObj::VMiddle;
                else if (html::textIs(v, "bottom"))
                    row.valign = TCellObj::VBottom;
            }
            if (const TAttribute* b = attrs().Find(Attr::BgColor))
                row.bgColor = html::parseColor(b->Text);
            next();
            continue;
        }
        if ((s == Tag::Td || s == Tag::Th) && !end) {
            const TAttributeList cellAttrs = attrs();
            restore();
            next();
            doCell(*table, s == Tag::Th, &cellAttrs, row);
            continue;
        }
        if (s == Tag::Caption && !end) {
            restore();
            m_cell = table->MakeCaption(html::textIs(attrs().Find(Attr::Align), "bottom"));
            m_align = TSection::AlignCenter;
            openSection();
            next();
            TermSet term;
            for (Tag t : {Tag::Td, Tag::Th, Tag::Tr, Tag::Caption})
                term = with(with(term, t, false), t, true);
            term = with(term, Tag::Table, true);
            doBody(term);
            closeSection();
            m_cell = savedCell;
            continue;
        }
        if (s == Tag::Text && isBlankText(m_tok->TokenText())) {
            next();
            continue;
        }
        switch (s) {
        case Tag::Form:
        case Tag::Script:
        case Tag::Meta:
        case Tag::Map:
        case Tag::Base:
            doToken(TermSet());
            continue;
        case Tag::Input:
            if (base::toLower(attrs().TextOf(Attr::Type)) == "hidden") {
                doToken(TermSet());
                continue;
            }
            [[fallthrough]];
        case Tag::Text:
        case Tag::Img:
        case Tag::Button:
        case Tag::Select:
        case Tag::Textarea:
        case Tag::Panel:
        case Tag::Table:
        case Tag::Pre:
        case Tag::Ul:
        case Tag::Ol:
        case Tag::Dl:
        case Tag::Li:
        case Tag::H:
            if (!end) {
                // Content outside any cell gets a cell of its own.
                restore();
                doCell(*table, false, nullptr, row);
                continue;
            }
            break;
        default:
            break;
        }
        next();
    }

    m_cell = savedCell;
    m_fonts = tableFonts;
    m_refusedFonts = tableRefused;
    m_bold = bold;
    m_italic = italic;
    m_underline = underline;
    m_strike = strike;
    m_script = script;
    m_align = savedAlign;
    m_listLevel = savedLevel;
    m_lists.swap(savedLists);
    m_link = savedLink;
    table->Indent = m_listLevel * kListIndent;
    m_cell->Add(std::move(table));
    openSection();
    --m_depth;
}

void THtmlParser::doCell(ThtmlTable& table, bool heading, const TAttributeList* a,
                         const RowDefaults& row)
{
    auto cell = std::make_unique<TCellObj>(&m_doc);
    int align = heading ? TSection::AlignCenter : TSection::AlignLeft;
    if (row.align)
        align = row.align;
    if (row.valign >= 0)
        cell->VAlign = static_cast<TCellObj::VAlignKind>(row.valign);
    cell->BgColor = row.bgColor ? row.bgColor : table.BgColor;
    if (a) {
        align = alignFromText(a->Find(Attr::Align), align);
        if (const TAttribute* b = a->Find(Attr::BgColor))
            if (auto c = html::parseColor(b->Text))
                cell->BgColor = c;
        if (const TAttribute* span = a->Find(Attr::ColSpan); span && span->Number > 1)
            cell->ColSpan = span->Number;
        if (const TAttribute* span = a->Find(Attr::RowSpan); span && span->Number > 1)
            cell->RowSpan = span->Number;
        if (auto length = html::lengthOf(a->Find(Attr::Width))) {
            cell->SpecWidth = length->value;
            cell->SpecPercent = length->percent;
        }
        if (const int height = html::pixelHeightOf(a->Find(Attr::Height)))
            cell->SpecHeight = height;
        if (const TAttribute* v = a->Find(Attr::VAlign)) {
            if (html::textIs(v, "top") || html::textIs(v, "baseline"))
                cell->VAlign = TCellObj::VTop;
            else if (html::textIs(v, "middle"))
                cell->VAlign = TCellObj::VMiddle;
            else if (html::textIs(v, "bottom"))
                cell->VAlign = TCellObj::VBottom;
        }
    }
    if (heading)
        m_bold = true;
    TCell* const saved = m_cell;
    m_cell = &table.AddCell(std::move(cell))->Cell;
    m_align = align;
    openSection();
    TermSet term;
    for (Tag t : {Tag::Td, Tag::Th, Tag::Tr, Tag::Caption})
        term = with(with(term, t, false), t, true);
    term = with(term, Tag::Table, true);
    doBody(term);
    closeSection();
    m_cell = saved;
    if ((sym() == Tag::Td || sym() == Tag::Th) && isEnd())
        next();
}
