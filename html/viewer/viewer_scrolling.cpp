#include "html/viewer/html_viewer.h"

#include "html/common/text_util.h"
#include "html/document/form_control_obj.h"
#include "html/document/html_form.h"
#include "html/document/image_obj.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/images/builtin_bitmaps.h"
#include "html/images/gif_animation.h"
#include "html/images/image_cache.h"
#include "html/images/image_loader.h"
#include "html/parser/html_parser.h"
#include "html/viewer/document_walk.h"
#include "html/viewer/form_controls.h"
#include "html/viewer/paint_panel.h"
#include "html/viewer/url_to_local_path.h"
#include "platform/ansi.h"
#include "platform/exception.h"
#include "platform/posted_message.h"

#include <algorithm>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

namespace {

constexpr int kPositionOffsetMask = 0xFFFF;
// Document pixels one wheel notch scrolls.
constexpr int kWheelLines = 3;

} // namespace

// ---- layout and scrolling -----------------------------------------------

int THTMLViewer::borderWidth() const
{
    return m_borderStyle == htNone ? 0 : 2;
}

bool THTMLViewer::verticalBarAllowed() const
{
    return m_scrollBars == ssBoth || m_scrollBars == ssVertical;
}

bool THTMLViewer::horizontalBarAllowed() const
{
    return m_scrollBars == ssBoth || m_scrollBars == ssHorizontal;
}

int THTMLViewer::docHeight() const
{
    return m_doc->DocHeight() + m_marginHeight * (verticalBarAllowed() ? 2 : 1);
}

int THTMLViewer::docWidth() const
{
    return std::min(m_doc->MaxWidth(), kMaxLayoutWidth) + 2 * m_marginWidth;
}

int THTMLViewer::maxTop() const
{
    return std::max(0, docHeight() - m_panel->height());
}

int THTMLViewer::maxLeft() const
{
    return std::max(0, docWidth() - m_panel->width());
}

void THTMLViewer::layoutDocument()
{
    const int barWidth = verticalBarAllowed() ? m_vbar->sizeHint().width() : 0;
    const int width = std::clamp(this->width() - 2 * m_marginWidth - 2 * borderWidth() - barWidth,
                                 1, kMaxLayoutWidth);
    try {
        m_doc->DoLogic(width);
    } catch (...) {
        // A document that cannot be laid out is not shown at all, so that
        // nothing paints half-built blocks.
        destroyPanels();
        m_clearing = true;
        m_doc->Clear();
        m_clearing = false;
        m_doc->DoLogic(width);
        updateScrollBars();
        throw;
    }
    updateScrollBars();
}

void THTMLViewer::updateScrollBars()
{
    const int b = borderWidth();
    const QRect inner = rect().adjusted(b, b, -b, -b);
    const int vw = m_vbar->sizeHint().width();
    const int hh = m_hbar->sizeHint().height();
    const bool showV = verticalBarAllowed() && docHeight() >= inner.height();
    const int availableWidth = inner.width() - (showV ? vw : 0);
    const bool showH = horizontalBarAllowed() && docWidth() > availableWidth;
    const int panelHeight = inner.height() - (showH ? hh : 0);
    m_panel->setGeometry(inner.x(), inner.y(), std::max(0, availableWidth),
                         std::max(0, panelHeight));
    m_vbar->setVisible(showV);
    m_hbar->setVisible(showH);
    if (showV)
        m_vbar->setGeometry(inner.right() - vw + 1, inner.y(), vw, std::max(0, panelHeight));
    if (showH)
        m_hbar->setGeometry(inner.x(), inner.bottom() - hh + 1, std::max(0, availableWidth), hh);
    {
        const QSignalBlocker blockV(m_vbar);
        const QSignalBlocker blockH(m_hbar);
        m_vbar->setRange(0, maxTop());
        m_vbar->setPageStep(std::max(1, m_panel->height()));
        m_hbar->setRange(0, maxLeft());
        m_hbar->setPageStep(std::max(1, m_panel->width()));
    }
    const int top = std::clamp(m_top, 0, maxTop());
    const int left = std::clamp(m_left, 0, maxLeft());
    if (top != m_top || left != m_left)
        scrollTo(top, left);
    else {
        const QSignalBlocker blockV(m_vbar);
        const QSignalBlocker blockH(m_hbar);
        m_vbar->setValue(m_top);
        m_hbar->setValue(m_left);
    }
}

void THTMLViewer::relayout(bool keepPosition)
{
    const int position = Position();
    layoutDocument();
    if (keepPosition)
        setPosition(position);
    placeControls();
    m_panel->update();
}

void THTMLViewer::ScrollTo(int top)
{
    scrollTo(top, m_left);
}

void THTMLViewer::scrollTo(int top, int left)
{
    top = std::clamp(top, 0, maxTop());
    left = std::clamp(left, 0, maxLeft());
    if (top == m_top && left == m_left)
        return;
    const bool wasValid = m_top >= 0 && m_left >= 0;
    const int dy = m_top - top;
    const int dx = m_left - left;
    m_top = top;
    m_left = left;
    {
        const QSignalBlocker blockV(m_vbar);
        const QSignalBlocker blockH(m_hbar);
        m_vbar->setValue(top);
        m_hbar->setValue(left);
    }
    // A small move shifts what is on screen and paints only the strip that
    // comes into view; the controls' widgets move along.
    if (wasValid && std::abs(dy) < m_panel->height() && std::abs(dx) < m_panel->width())
        m_panel->scroll(dx, dy);
    else
        m_panel->update();
    placeControls();
}

void THTMLViewer::placeControls()
{
    const QRect visible = m_panel->rect();
    for (TFormControlObj* c : m_doc->FormControlList) {
        auto* control = dynamic_cast<TWidgetFormControlObj*>(c);
        if (!control)
            continue;
        const QRect r(DocumentToPanel(QPoint(c->Left, c->Top)), QSize(c->Width(), c->Height()));
        if (c->Width() > 0 && r.intersects(visible)) {
            c->Shown = true;
            QWidget* w = control->OuterWidget();
            if (w->pos() != r.topLeft())
                w->move(r.topLeft());
        } else {
            c->Shown = false;
            control->Park();
        }
    }
    for (const auto& [panel, widget] : m_panels) {
        if (!widget)
            continue;
        const QRect r(DocumentToPanel(QPoint(panel->Left, panel->Top)),
                      QSize(panel->ObjWidth, panel->ObjHeight));
        if (widget->size() != r.size())
            widget->resize(r.size());
        const QPoint at =
            r.intersects(visible) ? r.topLeft() : QPoint(TWidgetFormControlObj::kParkedLeft, r.y());
        if (widget->pos() != at)
            widget->move(at);
    }
}

QPoint THTMLViewer::PanelToDocument(QPoint p) const
{
    return QPoint(p.x() + m_left - m_marginWidth, p.y() + m_top - m_marginHeight);
}

QPoint THTMLViewer::DocumentToPanel(QPoint p) const
{
    return QPoint(p.x() - m_left + m_marginWidth, p.y() - m_top + m_marginHeight);
}

int THTMLViewer::Position() const
{
    const auto& blocks = m_doc->Blocks();
    int index = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i]->YPosition <= m_top)
            index = static_cast<int>(i);
        else
            break;
    }
    const int offset =
        blocks.empty() ? m_top
                       : std::max(0, m_top - blocks[static_cast<std::size_t>(index)]->YPosition);
    return (index << 16) | std::min(offset, kPositionOffsetMask);
}

void THTMLViewer::setPosition(int position)
{
    const auto& blocks = m_doc->Blocks();
    const int index = position >> 16;
    const int offset = position & kPositionOffsetMask;
    if (blocks.empty()) {
        if (index == 0)
            scrollTo(offset, m_left);
        return;
    }
    if (index < 0 || index >= static_cast<int>(blocks.size()))
        return;
    scrollTo(blocks[static_cast<std::size_t>(index)]->YPosition + offset, m_left);
}

void THTMLViewer::resizeEvent(QResizeEvent*)
{
    if (m_processing) {
        updateScrollBars();
        return;
    }
    relayout(true);
}

void THTMLViewer::paintEvent(QPaintEvent*)
{
    const int b = borderWidth();
    if (b == 0)
        return;
    QPainter p(this);
    const bool shown = m_borderStyle == htSingle || hasFocus();
    const QRect r = rect();
    if (!shown) {
        p.fillRect(r, palette().color(QPalette::Window));
        return;
    }
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setPen(palette().color(QPalette::Shadow));
    p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
    p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
    p.setPen(palette().color(QPalette::Midlight));
    p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);
}

void THTMLViewer::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void THTMLViewer::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void THTMLViewer::keyPressEvent(QKeyEvent* event)
{
    if (m_middleMode) {
        endMiddleScroll();
        return;
    }
    const int page = std::max(1, m_panel->height() - kVerticalStep);
    switch (event->key()) {
    case Qt::Key_PageUp:
        scrollTo(m_top - page, m_left);
        break;
    case Qt::Key_PageDown:
        scrollTo(m_top + page, m_left);
        break;
    case Qt::Key_Home:
        scrollTo(0, m_left);
        break;
    case Qt::Key_End:
        scrollTo(maxTop(), m_left);
        break;
    case Qt::Key_Up:
        scrollTo(m_top - kVerticalStep, m_left);
        break;
    case Qt::Key_Down:
        scrollTo(m_top + kVerticalStep, m_left);
        break;
    case Qt::Key_Left:
        scrollTo(m_top, m_left - kHorizontalStep);
        break;
    case Qt::Key_Right:
        scrollTo(m_top, m_left + kHorizontalStep);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void THTMLViewer::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0)
        scrollTo(m_top - notches * kWheelLines * kVerticalStep, m_left);
    event->accept();
}

// ---- painting -----------------------------------------------------------

void THTMLViewer::panelPaint(QPaintEvent* event)
{
    const QRect damaged = event->rect();
    if (damaged.isEmpty())
        return;
    // The damaged part is drawn off screen first and copied in one step.
    QImage buffer(damaged.size(), QImage::Format_RGB32);
    if (buffer.isNull())
        return;
    {
        QPainter p(&buffer);
        p.translate(-damaged.topLeft());
        const QPoint origin = DocumentToPanel(QPoint(0, 0));
        const QRect clip(PanelToDocument(damaged.topLeft()), damaged.size());
        m_doc->Draw(p, clip, origin.x(), origin.y());
    }
    QPainter screen(m_panel);
    screen.drawImage(damaged.topLeft(), buffer);
}
