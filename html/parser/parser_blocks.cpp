#include "html/parser/html_parser.h"

#include "base/ascii.h"
#include "html/common/text_util.h"
#include "html/document/paragraph_space.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/parser/parser_helpers.h"

#include <algorithm>
#include <array>

using html::Attr;
using html::Tag;
using namespace html::parsing;

namespace {

constexpr std::array<int, 6> kHeadingSizes = {24, 18, 14, 12, 10, 8};

} // namespace

// ---- headings, alignment blocks, lists, PRE --------------------------------

void THtmlParser::doHeading(const TermSet& term)
{
    ++m_depth;
    const int level = m_tok->HeadingLevel();
    addHeadingSpace(level);
    TMyFont font = m_fonts.back();
    if (level >= 1) {
        font.NominalSize = kHeadingSizes[level - 1];
        font.Bold = true;
    } else {
        font.NominalSize = 12;
        font.Bold = false;
    }
    pushFont(font);
    openSection(
        std::make_unique<TSection>(&m_doc, alignFromText(attrs().Find(Attr::Align), m_align)));
    next();
    doBody(with(term, Tag::H, true));
    closeSection();
    popFont();
    addHeadingSpace(level);
    openSection();
    if (sym() == Tag::H && isEnd())
        next();
    --m_depth;
}

void THtmlParser::doAlignBlock(const TermSet& term)
{
    ++m_depth;
    const Tag kind = sym();
    const int saved = m_align;
    closeSection();
    if (kind == Tag::Center)
        m_align = TSection::AlignCenter;
    else
        m_align = alignFromText(attrs().Find(Attr::Align), m_align);
    openSection();
    next();
    doBody(with(term, kind, true));
    closeSection();
    m_align = saved;
    openSection();
    if (sym() == kind && isEnd())
        next();
    --m_depth;
}

void THtmlParser::doAddress(const TermSet& term)
{
    ++m_depth;
    const bool saved = m_italic;
    closeSection();
    m_italic = true;
    openSection();
    next();
    doBody(with(term, Tag::Address, true));
    closeSection();
    m_italic = saved;
    openSection();
    if (sym() == Tag::Address && isEnd())
        next();
    --m_depth;
}

void THtmlParser::doLists(const TermSet& term)
{
    ++m_depth;
    const Tag kind = sym();
    ListContext list{kind};
    if (kind == Tag::Ol) {
        if (const TAttribute* start = attrs().Find(Attr::Start); start && start->Number >= 0)
            list.number = start->Number;
        if (const TAttribute* type = attrs().Find(Attr::Type); type && !type->Text.empty())
            list.style = type->Text.front();
    } else if (kind == Tag::Ul) {
        list.plain = attrs().Has(Attr::Plain);
    }
    closeSection();
    m_lists.push_back(list);
    ++m_listLevel;
    openSection();
    next();
    doBody(with(term, kind, true));
    closeSection();
    --m_listLevel;
    m_lists.pop_back();
    openSection();
    if (sym() == kind && isEnd())
        next();
    // A list ends its paragraph: text after it starts below.
    --m_depth;
}

void THtmlParser::doListItem()
{
    closeSection();
    std::unique_ptr<TSection> item;
    if (m_lists.empty() || m_listLevel == 0) {
        auto bullet = std::make_unique<TUListItem>(&m_doc, m_align, 1, false);
        bullet->Indent = kLoneItemIndent;
        item = std::move(bullet);
    } else {
        ListContext& list = m_lists.back();
        if (list.kind == Tag::Ol)
            item = std::make_unique<TOListItem>(&m_doc, m_align, list.number++, list.style);
        else
            item = std::make_unique<TUListItem>(&m_doc, m_align, m_listLevel,
                                                list.kind == Tag::Ul && list.plain);
    }
    openSection(std::move(item));
}

void THtmlParser::doDefinitionItem()
{
    closeSection();
    auto item = std::make_unique<TDListItem>(&m_doc, m_align);
    const int level = sym() == Tag::Dt ? m_listLevel - 1 : m_listLevel;
    item->Indent = std::max(0, level) * kListIndent;
    if (item->Indent == 0 && sym() == Tag::Dd && m_listLevel == 0)
        item->Indent = kListIndent;
    // openSection gives a zero indent the list's; a DT may really stand at
    // the left edge.
    const int indent = item->Indent;
    openSection(std::move(item));
    m_section->Indent = indent;
}

void THtmlParser::doPre()
{
    closeSection();
    const std::size_t fontDepth = m_fonts.size();
    const int refused = m_refusedFonts;
    TMyFont font = m_fonts.back();
    font.Name = m_doc.DefPreFontName();
    font.NominalSize = kFixedNominalSize;
    font.FixedPitch = true;
    pushFont(font);
    auto pre = std::make_unique<TPreFormated>(&m_doc);
    m_preBlock = pre.get();
    openSection(std::move(pre));
    m_pre = true;
    m_tok->SetPreformatted(true);
    next();
    bool afterBreak = true; // a line end right after the PRE tag is dropped
    for (;;) {
        const Tag s = sym();
        const bool end = isEnd();
        if (s == Tag::Eof)
            break;
        if (s == Tag::Pre && end) {
            m_tok->SetPreformatted(false);
            next();
            break;
        }
        if ((s == Tag::Td || s == Tag::Th) && end)
            break;
        if (s == Tag::Text) {
            std::string_view text = m_tok->TokenText();
            const int* index = m_tok->TokenIndex().data();
            if (afterBreak && !text.empty() && text.front() == html::kLineEndMark) {
                text.remove_prefix(1);
                ++index;
            }
            afterBreak = false;
            addText(text, index);
            next();
            continue;
        }
        if ((s == Tag::P || s == Tag::Br) && !(s == Tag::P && end)) {
            const char lineEnd = html::kLineEndMark;
            const int at = m_tok->Position();
            addText(std::string_view(&lineEnd, 1), &at);
            afterBreak = true;
            next();
            continue;
        }
        switch (s) {
        case Tag::B:
        case Tag::Strong:
        case Tag::I:
        case Tag::Em:
        case Tag::Cite:
        case Tag::Var:
        case Tag::U:
        case Tag::S:
        case Tag::Strike:
        case Tag::Sub:
        case Tag::Sup:
        case Tag::Tt:
        case Tag::Code:
        case Tag::Kbd:
        case Tag::Samp:
        case Tag::A:
        case Tag::Img:
        case Tag::Panel:
        case Tag::Font:
        case Tag::Basefont:
        case Tag::Big:
        case Tag::Small:
        case Tag::Form:
        case Tag::Input:
        case Tag::Button:
        case Tag::Select:
        case Tag::Textarea:
        case Tag::Map:
        case Tag::Script:
            doToken(TermSet());
            break;
        default:
            next();
        }
    }
    m_tok->SetPreformatted(false);
    m_pre = false;
    closeSection();
    m_preBlock = nullptr;
    m_fonts.resize(std::max<std::size_t>(1, std::min(fontDepth, m_fonts.size())));
    m_refusedFonts = refused;
    openSection();
}
