#include "html/parser/html_parser.h"

#include "base/ascii.h"
#include "html/common/html_color.h"
#include "html/common/text_util.h"
#include "html/document/drawn_form_control.h"
#include "html/document/form_control_obj.h"
#include "html/document/horz_line.h"
#include "html/document/html_form.h"
#include "html/document/html_table.h"
#include "html/document/image_obj.h"
#include "html/document/map_item.h"
#include "html/document/paragraph_space.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/layout/font_cache.h"
#include "html/parser/charsets.h"
#include "html/parser/parser_helpers.h"

#include <algorithm>
#include <array>

using html::Attr;
using html::Tag;
using namespace html::parsing;

THtmlParser::THtmlParser(TSectionList& document) : m_doc(document) {}

THtmlParser::~THtmlParser() = default;

void THtmlParser::next()
{
    m_tok->Next();
}

// ---- fonts and sections -------------------------------------------------

TMyFont THtmlParser::currentFont() const
{
    TMyFont font = m_fonts.back();
    font.Bold = font.Bold || m_bold;
    font.Italic = font.Italic || m_italic;
    font.Underline = font.Underline || m_underline || (m_link && m_doc.LinkUnderline);
    font.StrikeOut = font.StrikeOut || m_strike;
    font.Script = m_script;
    return font;
}

void THtmlParser::pushFont(const TMyFont& font)
{
    if (static_cast<int>(m_fonts.size()) >= kMaxFonts) {
        ++m_refusedFonts;
        return;
    }
    m_fonts.push_back(font);
}

void THtmlParser::popFont()
{
    if (m_refusedFonts > 0)
        --m_refusedFonts;
    else if (m_fonts.size() > 1)
        m_fonts.pop_back();
}

void THtmlParser::openSection()
{
    openSection(std::make_unique<TSection>(&m_doc, m_align));
}

void THtmlParser::openSection(std::unique_ptr<TSection> section)
{
    closeSection();
    if (section->Indent == 0)
        section->Indent = m_listLevel * kListIndent;
    section->ListLevel = m_listLevel;
    section->BaseFont = currentFont();
    m_section = std::move(section);
}

void THtmlParser::closeSection()
{
    if (!m_section)
        return;
    m_section->Finish();
    if (m_section->HasContent() || m_section->KeepEmptyLine || m_anchorInSection)
        m_cell->Add(std::move(m_section));
    m_section.reset();
    m_anchorInSection = false;
}

void THtmlParser::addBlock(std::unique_ptr<TSectionBase> block)
{
    closeSection();
    m_cell->Add(std::move(block));
}

void THtmlParser::addParagraphSpace()
{
    closeSection();
    if (dynamic_cast<TParagraphSpace*>(m_cell->Last()))
        return;
    m_cell->Add(std::make_unique<TParagraphSpace>(&m_doc));
}

void THtmlParser::addHeadingSpace(int level)
{
    closeSection();
    if (dynamic_cast<TParagraphSpace*>(m_cell->Last()))
        return;
    m_cell->Add(std::make_unique<THeadingSpace>(&m_doc, level));
}

void THtmlParser::addText(std::string_view text, const int* index)
{
    if (!m_section)
        openSection();
    if (!isBlankText(text))
        m_contentSeen = true;
    if (m_pre && m_preBlock) {
        std::string expanded;
        std::vector<int> expandedIndex;
        if (text.find('\t') != std::string_view::npos) {
            expandTabs(text, index, expanded, expandedIndex);
            text = expanded;
            index = expandedIndex.data();
        }
        // A long PRE goes on in a new block instead of losing its tail.
        while (!text.empty()) {
            const std::size_t room = TPreFormated::kMaxChars - m_preBlock->Buff.size();
            const std::size_t take = std::min(room, text.size());
            m_preBlock->AddPreText(text.substr(0, take), index, currentFont(), m_link);
            text.remove_prefix(take);
            index += take;
            if (!text.empty()) {
                auto more = std::make_unique<TPreFormated>(&m_doc);
                m_preBlock = more.get();
                openSection(std::move(more));
            }
        }
        return;
    }
    m_section->AddText(text, index, currentFont(), m_link);
}

void THtmlParser::expandTabs(std::string_view text, const int* index, std::string& out,
                             std::vector<int>& outIndex) const
{
    // The column is counted from the last line end of the block; images and
    // controls count as one column each.
    const std::string& buff = m_preBlock->Buff;
    const std::size_t lineEnd = buff.rfind(html::kLineEndMark);
    std::size_t column = lineEnd == std::string::npos ? buff.size() : buff.size() - lineEnd - 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\t') {
            const std::size_t spaces = kTabWidth - column % kTabWidth;
            out.append(spaces, ' ');
            outIndex.insert(outIndex.end(), spaces, index[i]);
            column += spaces;
            continue;
        }
        out.push_back(text[i]);
        outIndex.push_back(index[i]);
        column = text[i] == html::kLineEndMark ? 0 : column + 1;
    }
}

void THtmlParser::ensureForm()
{
    if (m_form)
        return;
    m_doc.Forms.push_back(std::make_unique<ThtmlForm>(&m_doc, nullptr));
    m_form = m_doc.Forms.back().get();
}

// ---- entry points -------------------------------------------------------

void THtmlParser::ParseHTML(std::string_view source)
{
    THtmlTokenizer tokenizer(source);
    tokenizer.OnInclude = OnInclude;
    m_tok = &tokenizer;
    m_cell = &m_doc;
    m_fonts.clear();
    TMyFont base;
    base.Name = m_doc.DefFontName();
    base.Color = m_doc.FontColor;
    base.Charset = FixedCharset.value_or(base.Charset);
    m_fonts.push_back(base);
    openSection();
    next();
    TermSet none;
    while (sym() != Tag::Eof) {
        doBody(none);
        if (sym() != Tag::Eof)
            next(); // a terminator nobody claimed at the top level
    }
    closeSection();
    m_tok = nullptr;
    m_doc.LoadImages();
}

void THtmlParser::ParsePage(std::string_view bytes, std::string_view httpContentType)
{
    const html::PreparedSource prepared = html::prepareSource(bytes, httpContentType);
    if (prepared.fixedCharset)
        FixedCharset = prepared.fixedCharset;
    ParseHTML(prepared.text);
}

void THtmlParser::ParsePlainText(std::string_view source)
{
    m_cell = &m_doc;
    m_fonts.clear();
    TMyFont font;
    font.Name = m_doc.DefPreFontName();
    font.NominalSize = kFixedNominalSize;
    font.FixedPitch = true;
    font.Color = m_doc.FontColor;
    m_fonts.push_back(font);
    auto pre = std::make_unique<TPreFormated>(&m_doc);
    m_preBlock = pre.get();
    m_pre = true;
    openSection(std::move(pre));
    std::string text;
    std::vector<int> index;
    auto flush = [&] {
        addText(text, index.data());
        text.clear();
        index.clear();
    };
    for (std::size_t i = 0; i < source.size(); ++i) {
        char c = source[i];
        if (c == '\r' || c == '\n') {
            if (i + 1 < source.size() && source[i + 1] == (c == '\r' ? '\n' : '\r'))
                ++i;
            c = html::kLineEndMark;
        } else if (c == '\t') {
            c = ' ';
        } else if (static_cast<unsigned char>(c) < ' ') {
            continue;
        }
        text.push_back(c);
        index.push_back(static_cast<int>(i));
        if (text.size() >= THtmlTokenizer::kMaxTextToken)
            flush();
    }
    flush();
    closeSection();
    m_pre = false;
    m_preBlock = nullptr;
}

// ---- the body -----------------------------------------------------------

void THtmlParser::doBody(const TermSet& term)
{
    while (sym() != Tag::Eof && !inTerm(term))
        doToken(term);
}

void THtmlParser::doToken(const TermSet& term)
{
    const Tag s = sym();
    const bool end = isEnd();
    if (s == Tag::Text) {
        addText(m_tok->TokenText(), m_tok->TokenIndex().data());
        next();
        return;
    }
    Step step = doInlineTag(s, end);
    if (step == Step::NotMine)
        step = doBlockTag(term, s, end);
    if (step == Step::NotMine)
        step = doFormTag(s, end);
    if (step == Step::NotMine)
        step = doDocumentTag(s, end);
    // HTML, HEAD, frames, SELECTED, WRAP, stray table tags, unmatched end
    // tags and unknown tags change nothing.
    if (step != Step::Consumed)
        next();
}

// Text styles, fonts, links, images and panels, and the no-break run: they
// change what the next text looks like or add to the open section.
THtmlParser::Step THtmlParser::doInlineTag(Tag s, bool end)
{
    switch (s) {
    case Tag::B:
    case Tag::Strong:
        m_bold = !end;
        break;
    case Tag::I:
    case Tag::Em:
    case Tag::Cite:
    case Tag::Var:
        m_italic = !end;
        break;
    case Tag::U:
        m_underline = !end;
        break;
    case Tag::S:
    case Tag::Strike:
        m_strike = !end;
        break;
    case Tag::Sub:
        m_script = end ? TMyFont::Normal : TMyFont::Subscript;
        break;
    case Tag::Sup:
        m_script = end ? TMyFont::Normal : TMyFont::Superscript;
        break;
    case Tag::Tt:
    case Tag::Code:
    case Tag::Kbd:
    case Tag::Samp:
        if (end) {
            popFont();
        } else {
            TMyFont font = m_fonts.back();
            font.Name = m_doc.DefPreFontName();
            font.NominalSize = kFixedNominalSize;
            font.FixedPitch = true;
            pushFont(font);
        }
        break;
    case Tag::A:
        if (end)
            m_link = nullptr;
        else
            doAnchor();
        break;
    case Tag::Img:
        doImage();
        break;
    case Tag::Panel:
        doPanel();
        break;
    case Tag::Font:
        if (end)
            popFont();
        else
            doFont();
        break;
    case Tag::Basefont:
        doBaseFont();
        break;
    case Tag::Big:
    case Tag::Small:
        if (end)
            popFont();
        else
            doBigSmall(s == Tag::Big);
        break;
    case Tag::Nobr:
        m_nobr = !end;
        m_tok->SetNoBreak(m_nobr);
        break;
    case Tag::Wbr:
        if (m_nobr) {
            if (!m_section)
                openSection();
            m_section->AddBreakMark(m_tok->Position(), currentFont());
        }
        break;
    default:
        return Step::NotMine;
    }
    return Step::Handled;
}

// Paragraphs, breaks, rules, headings, alignment blocks, lists, PRE and
// tables: they close the open section or read a nested construct.
THtmlParser::Step THtmlParser::doBlockTag(const TermSet& term, Tag s, bool end)
{
    switch (s) {
    case Tag::H:
        if (!end && m_depth < kMaxNesting) {
            doHeading(term);
            return Step::Consumed;
        }
        break;
    case Tag::P:
        addParagraphSpace();
        openSection(std::make_unique<TSection>(
            &m_doc, end ? m_align : alignFromText(attrs().Find(Attr::Align), m_align)));
        break;
    case Tag::Br: {
        // The next line keeps the alignment of the one the break ends.
        int align = m_align;
        if (m_section) {
            m_section->KeepEmptyLine = true;
            align = m_section->AlignmentCode;
        }
        closeSection();
        openSection(std::make_unique<TSection>(&m_doc, align));
        if (const TAttribute* clear = attrs().Find(Attr::Clear)) {
            if (html::textIs(clear, "left"))
                m_section->ClearAttr = 1;
            else if (html::textIs(clear, "right"))
                m_section->ClearAttr = 2;
            else
                m_section->ClearAttr = 3;
        }
        break;
    }
    case Tag::Hr:
        addBlock(std::make_unique<THorzLine>(&m_doc, attrs()));
        openSection();
        break;
    case Tag::Center:
    case Tag::Div:
        if (!end && m_depth < kMaxNesting) {
            doAlignBlock(term);
            return Step::Consumed;
        }
        break;
    case Tag::Ol:
    case Tag::Ul:
    case Tag::Dir:
    case Tag::Menu:
    case Tag::Dl:
    case Tag::Blockquote:
        if (!end && m_depth < kMaxNesting) {
            doLists(term);
            return Step::Consumed;
        }
        break;
    case Tag::Li:
        doListItem();
        break;
    case Tag::Dd:
    case Tag::Dt:
        doDefinitionItem();
        break;
    case Tag::Address:
        if (!end && m_depth < kMaxNesting) {
            doAddress(term);
            return Step::Consumed;
        }
        break;
    case Tag::Pre:
        if (!end) {
            doPre();
            return Step::Consumed;
        }
        break;
    case Tag::Table:
        if (!end && m_depth < kMaxNesting) {
            doTable();
            return Step::Consumed;
        }
        break;
    case Tag::Page:
        addBlock(std::make_unique<TPage>(&m_doc));
        openSection();
        break;
    default:
        return Step::NotMine;
    }
    return Step::Handled;
}

// Forms and their fields.
THtmlParser::Step THtmlParser::doFormTag(Tag s, bool end)
{
    switch (s) {
    case Tag::Form:
        if (end) {
            m_form = nullptr;
        } else {
            m_doc.Forms.push_back(std::make_unique<ThtmlForm>(&m_doc, &attrs()));
            m_form = m_doc.Forms.back().get();
        }
        break;
    case Tag::Input:
        doInput();
        break;
    case Tag::Button:
        if (!end) {
            doButton();
            return Step::Consumed;
        }
        break;
    case Tag::Select:
        if (!end) {
            doSelect();
            return Step::Consumed;
        }
        break;
    case Tag::Textarea:
        if (!end) {
            doTextArea();
            return Step::Consumed;
        }
        break;
    default:
        return Step::NotMine;
    }
    return Step::Handled;
}

// The title, BODY, BASE, META, maps, scripts and background sounds: they
// set up the document rather than add to its text.
THtmlParser::Step THtmlParser::doDocumentTag(Tag s, bool end)
{
    switch (s) {
    case Tag::Title:
        if (!end) {
            next();
            std::string title;
            while (sym() == Tag::Text) {
                title += m_tok->TokenText();
                next();
            }
            m_doc.Title = base::trimmed(title);
            return Step::Consumed;
        }
        break;
    case Tag::Body:
        if (!end)
            doBodyTag();
        break;
    case Tag::Base:
        m_doc.Base = attrs().TextOf(Attr::Href);
        m_doc.BaseTarget = attrs().TextOf(Attr::Target);
        break;
    case Tag::Meta:
        doMeta();
        break;
    case Tag::Map:
        if (!end) {
            doMap();
            return Step::Consumed;
        }
        break;
    case Tag::Script:
        if (!end) {
            doScript();
            return Step::Consumed;
        }
        break;
    case Tag::Bgsound:
        if (OnSoundRequest)
            OnSoundRequest(attrs().TextOf(Attr::Src), attrs().NumberOf(Attr::Loop, 1));
        break;
    default:
        return Step::NotMine;
    }
    return Step::Handled;
}

void THtmlParser::doBodyTag()
{
    // BODY attributes count only before any content.
    if (m_contentSeen)
        return;
    const TAttributeList& a = attrs();
    if (const TAttribute* t = a.Find(Attr::Text))
        if (auto c = html::parseColor(t->Text)) {
            m_doc.FontColor = *c;
            for (TMyFont& f : m_fonts)
                f.Color = *c;
        }
    if (const TAttribute* t = a.Find(Attr::Link))
        if (auto c = html::parseColor(t->Text))
            m_doc.HotSpotColor = *c;
    if (const TAttribute* t = a.Find(Attr::VLink))
        if (auto c = html::parseColor(t->Text))
            m_doc.VisitedColor = *c;
    if (const TAttribute* t = a.Find(Attr::OLink))
        if (auto c = html::parseColor(t->Text)) {
            m_doc.OverColor = *c;
            m_doc.HoverColoring = true;
        }
    if (const TAttribute* t = a.Find(Attr::BgColor))
        if (auto c = html::parseColor(t->Text)) {
            m_doc.Background = *c;
            m_doc.BackgroundSet = true;
        }
    if (const TAttribute* t = a.Find(Attr::Background))
        m_doc.BackgroundName = base::trimmed(t->Text);
    openSection();
}
