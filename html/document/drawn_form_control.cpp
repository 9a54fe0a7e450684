#include "html/document/drawn_form_control.h"

#include "html/common/attribute.h"
#include "html/document/section_list.h"
#include "html/paint/control_look.h"
#include "platform/ansi.h"

#include <algorithm>
#include <QPainter>

namespace {

const char* const kButtonFont = "MS Sans Serif";

} // namespace

TDrawnFormControl::TDrawnFormControl(TSectionList* document, ThtmlForm* form,
                                     const TAttributeList& attributes, Kind kind)
    : TFormControlObj(document, form, attributes), m_kind(kind)
{
    using html::Attr;
    m_fieldFont = document->DefPreFontName();
    switch (kind) {
    case Kind::Edit:
    case Kind::Password:
        if (const TAttribute* a = attributes.Find(Attr::Size); a && a->Number > 0)
            Chars = std::min(a->Number, kMaxFieldExtent);
        break;
    case Kind::Submit:
        if (!attributes.Has(Attr::Value))
            Value = "Submit";
        break;
    case Kind::Reset:
        if (!attributes.Has(Attr::Value))
            Value = "Reset";
        break;
    case Kind::Button:
        if (!attributes.Has(Attr::Value))
            Value = "Button";
        break;
    case Kind::CheckBox:
    case Kind::Radio:
        PlacementFlag = true;
        Checked = attributes.Has(Attr::Checked);
        if (kind == Kind::CheckBox && !attributes.Has(Attr::Value))
            Value = "on";
        break;
    case Kind::ListBox:
    case Kind::Combo:
        if (const TAttribute* a = attributes.Find(Attr::Size); a && a->Number > 1)
            Rows = std::min(a->Number, kMaxFieldExtent);
        break;
    case Kind::TextArea:
        Rows = attributes.NumberOf(Attr::Rows, 5);
        Cols = attributes.NumberOf(Attr::Cols, 30);
        if (Rows <= 0)
            Rows = 5;
        if (Cols <= 0)
            Cols = 30;
        Rows = std::min(Rows, kMaxFieldExtent);
        Cols = std::min(Cols, kMaxFieldExtent);
        break;
    default:
        break;
    }
    Caption = Value;
}

void TDrawnFormControl::FitToCanvas(TFontCache& fonts)
{
    m_field = &fonts.metrics(m_fieldFont, kFieldPointSize);
    m_button = &fonts.metrics(kButtonFont, kButtonPointSize);
    const int a = m_field->width('A');
    const int h = m_field->height();
    switch (m_kind) {
    case Kind::Edit:
    case Kind::Password:
        m_width = a * Chars + 5;
        m_height = kEditHeight;
        break;
    case Kind::Submit:
    case Kind::Reset:
    case Kind::Button:
        m_width = m_button->textWidth(Caption) + 20;
        m_height = m_button->height() + 8;
        break;
    case Kind::CheckBox:
        m_width = m_height = kCheckSize;
        break;
    case Kind::Radio:
        m_width = kCheckSize;
        m_height = kRadioHeight;
        break;
    case Kind::ListBox: {
        const int rows = Rows > 0 ? Rows : std::max(1, std::min<int>(kMaxAutoRows, Options.size()));
        m_width = a * Longest + 15 + 4;
        m_height = h * rows + 4;
        break;
    }
    case Kind::Combo:
        m_width = m_button->width('A') * Longest + 30 + 4;
        m_height = std::max(h, m_button->height()) + 8;
        break;
    case Kind::TextArea:
        m_width = a * Cols + 5 + 4 + 16;
        m_height = h * Rows + 5 + 4;
        break;
    case Kind::Hidden:
    case Kind::Image:
        m_width = m_height = 0;
        break;
    }
}

void TDrawnFormControl::PaintLook(QPainter& p, int x, int y)
{
    if (!m_field)
        return;
    namespace look = html::look;
    const QRect r(x, y, m_width, m_height);
    switch (m_kind) {
    case Kind::Edit:
    case Kind::Password: {
        const std::string text = m_kind == Kind::Password ? std::string(Value.size(), '*') : Value;
        look::SunkenBox(p, r);
        look::FieldText(p, r, m_field->font, platform::fromAnsi(text));
        break;
    }
    case Kind::Submit:
    case Kind::Reset:
    case Kind::Button:
        look::RaisedBox(p, r);
        p.save();
        p.setFont(m_button->font);
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, platform::fromAnsi(Caption));
        p.restore();
        break;
    case Kind::CheckBox:
        look::CheckBox(p, r, Checked);
        break;
    case Kind::Radio:
        look::RadioButton(p, QRect(x, y, kCheckSize, kCheckSize), Checked);
        break;
    case Kind::ListBox: {
        QStringList rows;
        std::vector<int> chosen;
        for (const TSelectOption& o : Options) {
            if (o.Selected)
                chosen.push_back(static_cast<int>(rows.size()));
            rows << platform::fromAnsi(o.Text);
        }
        look::SunkenBox(p, r);
        look::FieldRows(p, r, m_field->font, m_field->height(), rows, chosen);
        break;
    }
    case Kind::Combo: {
        std::string shown;
        for (const TSelectOption& o : Options)
            if (o.Selected)
                shown = o.Text;
        if (shown.empty() && !Options.empty())
            shown = Options.front().Text;
        look::SunkenBox(p, r);
        const QRect text = look::DropDownButton(p, r);
        look::FieldText(p, text, m_button->font, platform::fromAnsi(shown));
        break;
    }
    case Kind::TextArea: {
        constexpr int kScrollBar = 16;
        QStringList rows;
        for (const std::string& line : Lines)
            rows << platform::fromAnsi(line);
        look::SunkenBox(p, r);
        look::RaisedBox(p, QRect(r.right() - kScrollBar, r.top() + 1, kScrollBar, r.height() - 2));
        look::FieldRows(p, r.adjusted(0, 0, -kScrollBar, 0), m_field->font, m_field->height(),
                        rows);
        break;
    }
    default:
        break;
    }
}

std::unique_ptr<TFormControlObj> TDrawnControlFactory::CreateInput(TSectionList* document,
                                                                   ThtmlForm* form,
                                                                   const TAttributeList& attributes,
                                                                   const std::string& type)
{
    using Kind = TDrawnFormControl::Kind;
    Kind kind = Kind::Edit;
    if (type == "password")
        kind = Kind::Password;
    else if (type == "hidden")
        kind = Kind::Hidden;
    else if (type == "submit")
        kind = Kind::Submit;
    else if (type == "reset")
        kind = Kind::Reset;
    else if (type == "button")
        kind = Kind::Button;
    else if (type == "image")
        kind = Kind::Image;
    else if (type == "checkbox")
        kind = Kind::CheckBox;
    else if (type == "radio")
        kind = Kind::Radio;
    return std::make_unique<TDrawnFormControl>(document, form, attributes, kind);
}

std::unique_ptr<TFormControlObj>
TDrawnControlFactory::CreateSelect(TSectionList* document, ThtmlForm* form,
                                   const TAttributeList& attributes,
                                   std::vector<TSelectOption> options, int longest)
{
    using Kind = TDrawnFormControl::Kind;
    const TAttribute* size = attributes.Find(html::Attr::Size);
    const bool list = attributes.Has(html::Attr::Multiple) || (size && size->Number > 1);
    auto control = std::make_unique<TDrawnFormControl>(document, form, attributes,
                                                       list ? Kind::ListBox : Kind::Combo);
    control->Options = std::move(options);
    control->Longest = longest;
    return control;
}

std::unique_ptr<TFormControlObj>
TDrawnControlFactory::CreateTextArea(TSectionList* document, ThtmlForm* form,
                                     const TAttributeList& attributes,
                                     std::vector<std::string> lines)
{
    auto control = std::make_unique<TDrawnFormControl>(document, form, attributes,
                                                       TDrawnFormControl::Kind::TextArea);
    control->Lines = std::move(lines);
    return control;
}
