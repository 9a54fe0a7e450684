#include "html/document/drawn_form_control.h"

#include "html/document/section_list.h"
#include "html/parser/attribute.h"
#include "platform/ansi.h"

#include <algorithm>
#include <QPainter>

namespace {

const char* const kButtonFont = "MS Sans Serif";

void sunkenBox(QPainter& p, const QRect& r, const QColor& fill)
{
    p.fillRect(r, fill);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(QColor(0xE0, 0xE0, 0xE0));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void raisedBox(QPainter& p, const QRect& r)
{
    p.fillRect(r, QColor(0xD4, 0xD0, 0xC8));
    p.setPen(Qt::white);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

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
            Chars = a->Number;
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
            Rows = a->Number;
        break;
    case Kind::TextArea:
        Rows = attributes.NumberOf(Attr::Rows, 5);
        Cols = attributes.NumberOf(Attr::Cols, 30);
        if (Rows <= 0)
            Rows = 5;
        if (Cols <= 0)
            Cols = 30;
        break;
    default:
        break;
    }
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
        m_width = m_button->textWidth(Value) + 20;
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
    p.save();
    const QRect r(x, y, m_width, m_height);
    switch (m_kind) {
    case Kind::Edit:
    case Kind::Password: {
        sunkenBox(p, r, Qt::white);
        p.setFont(m_field->font);
        p.setPen(Qt::black);
        const std::string text = m_kind == Kind::Password ? std::string(Value.size(), '*') : Value;
        p.setClipRect(r.adjusted(2, 2, -2, -2));
        p.drawText(QPoint(x + 3, y + (m_height + m_field->ascent - m_field->descent) / 2),
                   platform::fromAnsi(text));
        break;
    }
    case Kind::Submit:
    case Kind::Reset:
    case Kind::Button:
        raisedBox(p, r);
        p.setFont(m_button->font);
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, platform::fromAnsi(Value));
        break;
    case Kind::CheckBox:
        sunkenBox(p, r, Qt::white);
        if (Checked) {
            p.setPen(QPen(Qt::black, 2));
            p.drawLine(x + 3, y + 6, x + 5, y + 9);
            p.drawLine(x + 5, y + 9, x + 10, y + 3);
        }
        break;
    case Kind::Radio:
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(x + 0.5, y + 0.5, kCheckSize - 1, kCheckSize - 1));
        if (Checked) {
            p.setBrush(Qt::black);
            p.drawEllipse(QRectF(x + 4, y + 4, kCheckSize - 8, kCheckSize - 8));
        }
        break;
    case Kind::ListBox: {
        sunkenBox(p, r, Qt::white);
        p.setFont(m_field->font);
        p.setClipRect(r.adjusted(2, 2, -2, -2));
        int ty = y + 2;
        for (const TSelectOption& o : Options) {
            if (o.Selected)
                p.fillRect(x + 2, ty, m_width - 4, m_field->height(), QColor(0x30, 0x8C, 0xC6));
            p.setPen(o.Selected ? Qt::white : Qt::black);
            p.drawText(QPoint(x + 4, ty + m_field->ascent), platform::fromAnsi(o.Text));
            ty += m_field->height();
        }
        break;
    }
    case Kind::Combo: {
        sunkenBox(p, r, Qt::white);
        const int button = m_height - 4;
        raisedBox(p, QRect(x + m_width - button - 2, y + 2, button, button));
        p.setPen(Qt::black);
        p.setBrush(Qt::black);
        const int cx = x + m_width - 2 - button / 2;
        const int cy = y + m_height / 2;
        const QPoint arrow[3] = {QPoint(cx - 3, cy - 2), QPoint(cx + 3, cy - 2),
                                 QPoint(cx, cy + 2)};
        p.drawPolygon(arrow, 3);
        std::string shown;
        for (const TSelectOption& o : Options)
            if (o.Selected)
                shown = o.Text;
        if (shown.empty() && !Options.empty())
            shown = Options.front().Text;
        p.setFont(m_button->font);
        p.setClipRect(QRect(x + 2, y + 2, m_width - button - 6, m_height - 4));
        p.drawText(QRect(x + 4, y, m_width - button - 8, m_height), Qt::AlignVCenter,
                   platform::fromAnsi(shown));
        break;
    }
    case Kind::TextArea: {
        sunkenBox(p, r, Qt::white);
        p.fillRect(x + m_width - 18, y + 2, 16, m_height - 4, QColor(0xE8, 0xE8, 0xE8));
        p.setFont(m_field->font);
        p.setPen(Qt::black);
        p.setClipRect(QRect(x + 2, y + 2, m_width - 20, m_height - 4));
        int ty = y + 3;
        for (const std::string& line : Lines) {
            p.drawText(QPoint(x + 4, ty + m_field->ascent), platform::fromAnsi(line));
            ty += m_field->height();
        }
        break;
    }
    default:
        break;
    }
    p.restore();
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
