#include "html/paint/control_look.h"

#include <algorithm>
#include <QPainter>

namespace html::look {

namespace {

const QColor kShadow(0x80, 0x80, 0x80);
const QColor kDarkShadow(0x40, 0x40, 0x40);
const QColor kLight(0xE0, 0xE0, 0xE0);
const QColor kFace(0xD4, 0xD0, 0xC8);
const QColor kHighlight(0x30, 0x8C, 0xC6);
// Room between a field's edge and its text.
constexpr int kTextInset = 3;
constexpr int kBevel = 1;

void bevel(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

} // namespace

void SunkenBox(QPainter& painter, const QRect& box)
{
    painter.save();
    painter.fillRect(box, Qt::white);
    bevel(painter, box, kShadow, kLight);
    painter.restore();
}

void RaisedBox(QPainter& painter, const QRect& box)
{
    painter.save();
    painter.fillRect(box, kFace);
    bevel(painter, box, Qt::white, kDarkShadow);
    painter.restore();
}

void CheckBox(QPainter& painter, const QRect& box, bool checked)
{
    SunkenBox(painter, box);
    if (!checked)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::black, 2));
    // A tick from the lower left up to the right, in thirds of the box.
    const QPointF a(box.left() + box.width() * 0.25, box.top() + box.height() * 0.5);
    const QPointF b(box.left() + box.width() * 0.42, box.top() + box.height() * 0.72);
    const QPointF c(box.left() + box.width() * 0.78, box.top() + box.height() * 0.25);
    painter.drawLine(a, b);
    painter.drawLine(b, c);
    painter.restore();
}

void RadioButton(QPainter& painter, const QRect& box, bool checked)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int side = std::min(box.width(), box.height());
    const QRectF circle(box.left() + 0.5, box.top() + 0.5, side - 1, side - 1);
    painter.setPen(kShadow);
    painter.setBrush(Qt::white);
    painter.drawEllipse(circle);
    if (checked) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawEllipse(circle.adjusted(side * 0.3, side * 0.3, -side * 0.3, -side * 0.3));
    }
    painter.restore();
}

void FieldText(QPainter& painter, const QRect& box, const QFont& font, const QString& text)
{
    painter.save();
    painter.setClipRect(box.adjusted(kBevel, kBevel, -kBevel, -kBevel), Qt::IntersectClip);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(box.adjusted(kTextInset, 0, -kTextInset, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter.restore();
}

void FieldRows(QPainter& painter, const QRect& box, const QFont& font, int rowHeight,
               const QStringList& rows, const std::vector<int>& highlighted)
{
    const QRect inner = box.adjusted(kBevel + 1, kBevel + 1, -kBevel - 1, -kBevel - 1);
    rowHeight = std::max(1, rowHeight);
    painter.save();
    painter.setClipRect(inner, Qt::IntersectClip);
    painter.setFont(font);
    for (int i = 0; i < rows.size() && i * rowHeight < inner.height(); ++i) {
        const QRect row(inner.left(), inner.top() + i * rowHeight, inner.width(), rowHeight);
        const bool selected =
            std::find(highlighted.begin(), highlighted.end(), i) != highlighted.end();
        if (selected)
            painter.fillRect(row, kHighlight);
        painter.setPen(selected ? Qt::white : Qt::black);
        painter.drawText(row.adjusted(kTextInset - 1, 0, 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, rows[i]);
    }
    painter.restore();
}

QRect DropDownButton(QPainter& painter, const QRect& box)
{
    const int side = std::max(1, box.height() - 2 * (kBevel + 1));
    const QRect button(box.right() - kBevel - side, box.top() + kBevel + 1, side, side);
    RaisedBox(painter, button);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const QPointF c = QRectF(button).center();
    const double a = side / 6.0;
    const QPointF arrow[3] = {c + QPointF(-1.5 * a, -a / 2), c + QPointF(1.5 * a, -a / 2),
                              c + QPointF(0, a)};
    painter.drawPolygon(arrow, 3);
    painter.restore();
    return QRect(box.left(), box.top(), button.left() - box.left(), box.height());
}

} // namespace html::look
