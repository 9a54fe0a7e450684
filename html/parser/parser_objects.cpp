#include "html/parser/html_parser.h"

#include "base/ascii.h"
#include "html/common/html_color.h"
#include "html/common/text_util.h"
#include "html/document/drawn_form_control.h"
#include "html/document/form_control_obj.h"
#include "html/document/html_form.h"
#include "html/document/image_obj.h"
#include "html/document/map_item.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/parser/charsets.h"
#include "html/parser/parser_helpers.h"

#include <algorithm>

using html::Attr;
using html::Tag;
using namespace html::parsing;

namespace {

// Shared look-alike controls for documents without a factory of their own.
TDrawnControlFactory& drawnFactory()
{
    static TDrawnControlFactory factory;
    return factory;
}

} // namespace

// ---- inline objects and forms --------------------------------------------

void THtmlParser::doAnchor()
{
    const TAttributeList& a = attrs();
    if (const TAttribute* href = a.Find(Attr::Href)) {
        auto link = std::make_unique<TUrlTarget>();
        link->Url = href->Text;
        link->Target = a.TextOf(Attr::Target);
        if (link->Target.empty())
            link->Target = m_doc.BaseTarget;
        m_link = link.get();
        m_doc.Links.push_back(std::move(link));
    }
    if (const TAttribute* name = a.Find(Attr::Name)) {
        std::string anchor = base::toUpper(name->Text);
        if (!anchor.empty() && anchor.front() == '#')
            anchor.erase(0, 1);
        if (!m_section)
            openSection();
        m_doc.AnchorList.push_back({anchor, m_section.get()});
        m_anchorInSection = true;
    }
}

void THtmlParser::doImage()
{
    if (!m_section)
        openSection();
    auto image = std::make_unique<TImageObj>(attrs());
    image->Link = m_link;
    m_doc.ImageList.push_back(image.get());
    m_contentSeen = true;
    m_section->AddObject(std::move(image), m_tok->Position(), currentFont(), m_link);
}

void THtmlParser::doPanel()
{
    if (!m_section)
        openSection();
    m_contentSeen = true;
    m_section->AddObject(std::make_unique<TPanelObj>(attrs()), m_tok->Position(), currentFont(),
                         m_link);
}

void THtmlParser::doInput()
{
    ensureForm();
    if (!m_section)
        openSection();
    TFormControlFactory& factory = m_doc.ControlFactory ? *m_doc.ControlFactory : drawnFactory();
    const std::string type =
        base::toLower(base::trimmed(attrs().TextOf(Attr::Type))).substr(0, kMaxTypeLength);
    TFormControlObj* control =
        m_form->AddControl(factory.CreateInput(&m_doc, m_form, attrs(), type));
    m_doc.FormControlList.push_back(control);
    if (type == "hidden")
        return;
    m_contentSeen = true;
    if (type == "image") {
        auto image = std::make_unique<TImageObj>(attrs());
        image->FormControl = control;
        image->Link = m_link;
        m_doc.ImageList.push_back(image.get());
        m_section->AddObject(std::move(image), m_tok->Position(), currentFont(), m_link);
        return;
    }
    if (control->TakesPlace())
        m_section->AddControl(control, m_tok->Position(), currentFont());
}

namespace {

// Tags that may stand inside a BUTTON's caption; they are read over. Any
// other tag ends a BUTTON whose end tag is missing.
bool insideButton(Tag tag)
{
    switch (tag) {
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
    case Tag::Font:
    case Tag::Big:
    case Tag::Small:
    case Tag::Br:
    case Tag::Img:
    case Tag::Nobr:
    case Tag::Wbr:
    case Tag::UnknownTag:
        return true;
    default:
        return false;
    }
}

} // namespace

void THtmlParser::doButton()
{
    // A BUTTON is a push button of the form like an INPUT of its TYPE
    // (submit unless reset or button), with its text content as caption and
    // VALUE, empty when absent, as the value it submits.
    ensureForm();
    if (!m_section)
        openSection();
    const TAttributeList buttonAttrs = attrs();
    const int at = m_tok->Position();
    std::string type = base::toLower(base::trimmed(buttonAttrs.TextOf(Attr::Type)));
    if (type != "reset" && type != "button")
        type = "submit";
    std::string caption;
    next();
    for (;;) {
        const Tag s = sym();
        if (s == Tag::Eof)
            break;
        if (s == Tag::Button && isEnd()) {
            next();
            break;
        }
        if (s == Tag::Text) {
            if (caption.size() < kMaxCaptionText)
                caption += m_tok->TokenText();
        } else if (!insideButton(s)) {
            break;
        }
        next();
    }
    caption = base::trimmed(caption.substr(0, kMaxCaptionText));
    TFormControlFactory& factory = m_doc.ControlFactory ? *m_doc.ControlFactory : drawnFactory();
    TFormControlObj* control =
        m_form->AddControl(factory.CreateInput(&m_doc, m_form, buttonAttrs, type));
    if (!caption.empty())
        control->SetCaption(caption);
    control->Value = buttonAttrs.TextOf(Attr::Value);
    m_doc.FormControlList.push_back(control);
    m_contentSeen = true;
    if (control->TakesPlace())
        m_section->AddControl(control, at, currentFont());
}

void THtmlParser::doSelect()
{
    ensureForm();
    if (!m_section)
        openSection();
    const TAttributeList selectAttrs = attrs();
    const int at = m_tok->Position();
    std::vector<TSelectOption> options;
    int longest = 3;
    TSelectOption option;
    bool open = false;
    auto finish = [&] {
        if (!open)
            return;
        open = false;
        option.Text = base::trimmed(option.Text);
        if (option.Text.empty())
            return;
        longest = std::max(longest, static_cast<int>(option.Text.size()));
        options.push_back(option);
    };
    next();
    for (;;) {
        const Tag s = sym();
        if (s == Tag::Eof) {
            finish();
            break;
        }
        if (s == Tag::Select && isEnd()) {
            finish();
            next();
            break;
        }
        if (s == Tag::Option) {
            finish();
            if (!isEnd()) {
                open = true;
                option = TSelectOption();
                option.Selected = attrs().Has(Attr::Selected);
                option.Value = attrs().TextOf(Attr::Value).substr(0, kMaxOptionText);
            }
        } else if (s == Tag::Text && open) {
            option.Text += m_tok->TokenText();
            if (option.Text.size() > kMaxOptionText)
                option.Text.resize(kMaxOptionText);
        }
        next();
    }
    TFormControlFactory& factory = m_doc.ControlFactory ? *m_doc.ControlFactory : drawnFactory();
    TFormControlObj* control = m_form->AddControl(
        factory.CreateSelect(&m_doc, m_form, selectAttrs, std::move(options), longest));
    m_doc.FormControlList.push_back(control);
    m_contentSeen = true;
    if (control->TakesPlace())
        m_section->AddControl(control, at, currentFont());
}

void THtmlParser::doTextArea()
{
    ensureForm();
    if (!m_section)
        openSection();
    const TAttributeList areaAttrs = attrs();
    const int at = m_tok->Position();
    std::vector<std::string> lines = m_tok->ReadTextArea();
    TFormControlFactory& factory = m_doc.ControlFactory ? *m_doc.ControlFactory : drawnFactory();
    TFormControlObj* control =
        m_form->AddControl(factory.CreateTextArea(&m_doc, m_form, areaAttrs, std::move(lines)));
    m_doc.FormControlList.push_back(control);
    m_contentSeen = true;
    if (control->TakesPlace())
        m_section->AddControl(control, at, currentFont());
    next();
}

void THtmlParser::doScript()
{
    const std::string language = attrs().TextOf(Attr::Language);
    std::string script = m_tok->ReadScript(static_cast<bool>(OnScript));
    if (OnScript)
        OnScript(language, std::move(script));
    next();
}

void THtmlParser::doMeta()
{
    const TAttributeList& a = attrs();
    const std::string httpEq = a.TextOf(Attr::HttpEquiv);
    const std::string content = a.TextOf(Attr::Content);
    if (!FixedCharset && base::equalsIgnoreCase(httpEq, "content-type")) {
        // A UTF-8 page was converted to the program's code page before
        // parsing; its declaration names no font charset.
        if (auto charset = html::charsetFromDeclaration(content); charset && !charset->utf8)
            for (TMyFont& f : m_fonts)
                f.Charset = charset->fontCharset;
    }
    if (OnMeta)
        OnMeta(httpEq, a.TextOf(Attr::Name), content);
}

void THtmlParser::doMap()
{
    auto map = std::make_unique<TMapItem>(base::toUpper(attrs().TextOf(Attr::Name)));
    constexpr int kMaxStrayTokens = 3;
    int stray = 0;
    next();
    for (;;) {
        const Tag s = sym();
        if (s == Tag::Eof)
            return; // no end tag: the map is dropped
        if (s == Tag::Map && isEnd()) {
            m_doc.Maps.push_back(std::move(map));
            next();
            return;
        }
        if (s == Tag::Area) {
            map->Areas.emplace_back(attrs());
        } else if (s != Tag::Text && ++stray >= kMaxStrayTokens) {
            return; // not a map after all; the token is read normally
        }
        next();
    }
}

// ---- fonts ----------------------------------------------------------------

int THtmlParser::sizeFromValue(const TAttribute& size, int base) const
{
    const bool relative =
        !size.Text.empty() && (size.Text.front() == '+' || size.Text.front() == '-');
    const int step = relative ? base + size.Number : size.Number;
    return std::clamp(step, 1, 7);
}

void THtmlParser::doFont()
{
    TMyFont font = m_fonts.back();
    const TAttributeList& a = attrs();
    if (const TAttribute* size = a.Find(Attr::Size)) {
        const int step = sizeFromValue(*size, m_baseFontSize);
        font.NominalSize = (m_pre ? kPreFontSizes : kFontSizes)[step - 1];
    }
    if (const TAttribute* color = a.Find(Attr::Color))
        if (auto c = html::parseColor(color->Text))
            font.Color = *c;
    if (const TAttribute* face = a.Find(Attr::Face)) {
        std::string name = face->Text.substr(0, face->Text.find(','));
        name = base::trimmed(name).substr(0, kMaxFaceLength);
        if (!name.empty()) {
            font.Name = name;
            font.FixedPitch = false;
        }
    }
    pushFont(font);
}

void THtmlParser::doBaseFont()
{
    if (m_contentSeen)
        return;
    if (const TAttribute* size = attrs().Find(Attr::Size))
        m_baseFontSize = sizeFromValue(*size, m_baseFontSize);
}

void THtmlParser::doBigSmall(bool bigger)
{
    TMyFont font = m_fonts.back();
    const auto& row = m_pre ? kPreFontSizes : kFontSizes;
    int step = 0;
    while (step < 6 && row[step] < font.NominalSize)
        ++step;
    step = std::clamp(step + (bigger ? 1 : -1), 0, 6);
    font.NominalSize = row[step];
    pushFont(font);
}
