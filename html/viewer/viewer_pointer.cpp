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

// Selection dragged beyond the edge: one step, or this many when the pointer
// is further out than kFarDrag pixels.
constexpr int kFastDragSteps = 8;
constexpr int kFarDrag = 15;
// Middle-button scrolling: no movement within kMiddleDeadZone pixels of the
// press, slow up to kMiddleFast, fast beyond.
constexpr int kMiddleDeadZone = 20;
constexpr int kMiddleFast = 60;
constexpr int kMiddleSlowStep = 8;
constexpr int kMiddleFastStep = 32;

bool isWordChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return html::isLetter(c) || html::isDigit(c) || u >= 192;
}

} // namespace

// ---- pointer ------------------------------------------------------------

bool THTMLViewer::hitTest(QPoint panelPoint, THitResult& hit)
{
    const QPoint d = PanelToDocument(panelPoint);
    return m_doc->HitTest(d.x(), d.y(), hit);
}

void THTMLViewer::setHover(TUrlTarget* link, const std::string& url, const std::string& target)
{
    if (m_doc->HoverLink != link) {
        m_doc->HoverLink = link;
        if (m_doc->HoverColoring)
            m_panel->update();
    }
    if (url != m_linkUrl) {
        m_linkUrl = url;
        m_linkTarget = target;
        if (OnHotSpotCovered)
            OnHotSpotCovered(this, url);
    }
}

void THTMLViewer::hoverCheck()
{
    if (QApplication::widgetAt(QCursor::pos()) == m_panel)
        return;
    m_hoverTimer->stop();
    setHover(nullptr, std::string(), std::string());
}

void THTMLViewer::panelMousePress(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(this, event);
    if (m_middleMode) {
        endMiddleScroll();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::MiddleButton) {
        m_middleMode = true;
        m_middleStart = m_dragPoint = event->pos();
        m_panel->setCursor(Qt::SizeVerCursor);
        m_middleTimer->start();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_leftPressed = true;
    if (m_noSelect)
        return;
    THitResult hit;
    const int old = SelLength();
    if (hitTest(event->pos(), hit) && hit.charIndex >= 0)
        m_caret = hit.charIndex;
    m_doc->SelStart = m_doc->SelEnd = m_caret;
    m_selecting = true;
    if (old != 0)
        m_panel->update();
}

void THTMLViewer::extendSelection(QPoint panelPoint)
{
    const QPoint p(std::clamp(panelPoint.x(), 0, std::max(0, m_panel->width() - 1)),
                   std::clamp(panelPoint.y(), 0, std::max(0, m_panel->height() - 1)));
    THitResult hit;
    if (!hitTest(p, hit) || hit.charIndex < 0)
        return;
    const int start = std::min(m_caret, hit.charIndex);
    const int end = std::max(m_caret, hit.charIndex);
    if (start != m_doc->SelStart || end != m_doc->SelEnd) {
        m_doc->SelStart = start;
        m_doc->SelEnd = end;
        m_panel->update();
    }
}

void THTMLViewer::panelMouseMove(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(this, event);
    m_dragPoint = event->pos();
    if (m_middleMode)
        return;
    if (m_selecting && (event->buttons() & Qt::LeftButton)) {
        extendSelection(event->pos());
        const bool outside = event->pos().y() < 0 || event->pos().y() >= m_panel->height();
        if (outside && !m_dragTimer->isActive())
            m_dragTimer->start();
        else if (!outside)
            m_dragTimer->stop();
    }
    THitResult hit;
    const bool found = hitTest(event->pos(), hit);
    const bool overLink = found && (hit.link || !hit.url.empty());
    if (found && hit.image && hit.image->FormControl) {
        if (auto* input = dynamic_cast<TImageFormControlObj*>(hit.image->FormControl)) {
            input->XTmp = hit.imageX;
            input->YTmp = hit.imageY;
        }
    }
    if (overLink) {
        m_panel->setCursor(Qt::PointingHandCursor);
        m_hoverTimer->start();
    } else {
        if (found && hit.image && OnImageOver)
            OnImageOver(this, hit.image, event->modifiers(), hit.imageX, hit.imageY);
        m_panel->setCursor(found && hit.charIndex >= 0 ? m_textCursor : Qt::ArrowCursor);
    }
    setHover(overLink ? hit.link : nullptr, overLink ? hit.url : std::string(),
             overLink ? hit.target : std::string());
}

void THTMLViewer::panelMouseRelease(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(this, event);
    if (m_middleMode) {
        if (event->button() != Qt::MiddleButton || event->pos().y() != m_middleStart.y())
            endMiddleScroll();
        return;
    }
    THitResult hit;
    const bool found = hitTest(event->pos(), hit);
    if (event->button() == Qt::RightButton) {
        if (OnRightClick) {
            TRightClickParameters params;
            if (found) {
                params.URL = hit.url;
                params.Target = hit.target;
                params.Image = hit.image;
                params.ImageX = hit.imageX;
                params.ImageY = hit.imageY;
                params.ClickWord = wordAt(hit);
            }
            OnRightClick(this, params);
        }
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const bool pressed = m_leftPressed;
    m_leftPressed = false;
    m_selecting = false;
    m_dragTimer->stop();
    if (!pressed || !found)
        return;
    if (hit.image && OnImageClick)
        OnImageClick(this, hit.image, event->button(), event->modifiers(), hit.imageX, hit.imageY);
    if (hit.image && hit.image->FormControl) {
        if (auto* input = dynamic_cast<TImageFormControlObj*>(hit.image->FormControl)) {
            input->ImageClicked(hit.imageX, hit.imageY);
            return;
        }
    }
    if (!hit.url.empty() && SelLength() == 0)
        linkClick(hit.url, hit.target);
}

std::string THTMLViewer::wordAt(const THitResult& hit, int* start, int* end) const
{
    auto* section = dynamic_cast<TSection*>(hit.block);
    if (!section || hit.charIndex < 0)
        return {};
    const auto& index = section->SIndex;
    const auto it = std::find(index.begin(), index.end(), hit.charIndex);
    if (it == index.end())
        return {};
    const std::string& buff = section->Buff;
    int i = static_cast<int>(it - index.begin());
    if (!isWordChar(buff[static_cast<std::size_t>(i)]))
        return {};
    int first = i;
    int last = i;
    while (first > 0 && isWordChar(buff[static_cast<std::size_t>(first - 1)]))
        --first;
    while (last + 1 < static_cast<int>(buff.size()) &&
           isWordChar(buff[static_cast<std::size_t>(last + 1)]))
        ++last;
    if (start)
        *start = index[static_cast<std::size_t>(first)];
    if (end)
        *end = index[static_cast<std::size_t>(last)] + 1;
    return buff.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1));
}

void THTMLViewer::panelDoubleClick(QMouseEvent* event)
{
    if (OnMouseDouble)
        OnMouseDouble(this, event);
    if (m_noSelect || event->button() != Qt::LeftButton)
        return;
    THitResult hit;
    int start = 0;
    int end = 0;
    if (!hitTest(event->pos(), hit) || wordAt(hit, &start, &end).empty())
        return;
    m_caret = start;
    m_doc->SelStart = start;
    m_doc->SelEnd = end;
    m_selecting = false;
    m_panel->update();
}

void THTMLViewer::panelContextMenu(QPoint globalPos)
{
    if (m_popupMenu)
        m_popupMenu->popup(globalPos);
}

void THTMLViewer::panelDragOver(QDragMoveEvent* event, TDragState state)
{
    m_dropPoint = event->position().toPoint();
    bool accept = false;
    if (OnDragOver) {
        accept = true;
        OnDragOver(this, event, m_dropPoint.x(), m_dropPoint.y(), state, accept);
    }
    // An ignored drag travels on to the parent widgets.
    if (accept)
        event->acceptProposedAction();
    else
        event->ignore();
}

void THTMLViewer::panelDragLeave()
{
    bool accept = true;
    if (OnDragOver)
        OnDragOver(this, nullptr, m_dropPoint.x(), m_dropPoint.y(), dsDragLeave, accept);
}

void THTMLViewer::panelDrop(QDropEvent* event)
{
    if (!OnDragDrop) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QPoint p = event->position().toPoint();
    OnDragDrop(this, event, p.x(), p.y());
}

void THTMLViewer::dragScroll()
{
    const int y = m_dragPoint.y();
    const int h = m_panel->height();
    int beyond = 0;
    if (y < 0)
        beyond = -y;
    else if (y >= h)
        beyond = y - h + 1;
    if (beyond == 0) {
        m_dragTimer->stop();
        return;
    }
    const int step = kVerticalStep * (beyond > kFarDrag ? kFastDragSteps : 1);
    scrollTo(m_top + (y < 0 ? -step : step), m_left);
    extendSelection(m_dragPoint);
}

void THTMLViewer::middleScroll()
{
    const int distance = m_dragPoint.y() - m_middleStart.y();
    const int magnitude = std::abs(distance);
    if (magnitude <= kMiddleDeadZone) {
        m_panel->setCursor(Qt::SizeVerCursor);
        return;
    }
    const int step = magnitude <= kMiddleFast ? kMiddleSlowStep : kMiddleFastStep;
    m_panel->setCursor(distance < 0 ? Qt::UpArrowCursor : Qt::SizeVerCursor);
    scrollTo(m_top + (distance < 0 ? -step : step), m_left);
}

void THTMLViewer::endMiddleScroll()
{
    m_middleMode = false;
    m_middleTimer->stop();
    m_panel->setCursor(Qt::ArrowCursor);
}

// ---- selection ----------------------------------------------------------

int THTMLViewer::SelStart() const
{
    return m_doc->SelStart;
}

int THTMLViewer::SelEnd() const
{
    return m_doc->SelEnd;
}

int THTMLViewer::SelLength() const
{
    const int start = m_doc->SelStart;
    const int end = m_doc->SelEnd;
    return start == m_caret ? end - start : start - end;
}

std::string THTMLViewer::SelText() const
{
    return m_doc->SelectedText();
}

void THTMLViewer::CopyToClipboard()
{
    if (m_doc->SelStart < m_doc->SelEnd)
        QGuiApplication::clipboard()->setText(platform::fromAnsi(m_doc->SelectedText()));
}

void THTMLViewer::setNoSelect(bool on)
{
    m_noSelect = on;
    if (on && m_doc->SelStart != m_doc->SelEnd) {
        m_doc->SelStart = m_doc->SelEnd = m_caret;
        m_panel->update();
    }
}
