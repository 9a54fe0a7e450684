#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

class QPainter;

// Look-alikes of the form controls, drawn on a canvas where no widget can
// go: printed pages and pages rendered off screen. They only need to
// resemble the controls: bevelled boxes with the control's text, a check
// mark, a radio circle.
namespace html::look {

// A field's white well with a sunken bevel.
void SunkenBox(QPainter& painter, const QRect& box);
// A button face with a raised bevel.
void RaisedBox(QPainter& painter, const QRect& box);
// A check box: the well, with a tick when checked.
void CheckBox(QPainter& painter, const QRect& box, bool checked);
// A radio button: a circle, with a dot when checked.
void RadioButton(QPainter& painter, const QRect& box, bool checked);
// One line of text inside a field, from its left edge, centred vertically
// and cut at the field's edges.
void FieldText(QPainter& painter, const QRect& box, const QFont& font, const QString& text);
// Rows of text from the top of a field, one per row height; rows whose
// index is in `highlighted` are drawn as selected.
void FieldRows(QPainter& painter, const QRect& box, const QFont& font, int rowHeight,
               const QStringList& rows, const std::vector<int>& highlighted = {});
// The drop-down button at the right end of a drop-down list; returns the
// part of the box left for the text.
QRect DropDownButton(QPainter& painter, const QRect& box);

} // namespace html::look
