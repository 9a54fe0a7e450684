#include "html/viewer/paint_panel.h"

#include "html/viewer/html_viewer.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>

TPaintPanel::TPaintPanel(THTMLViewer* viewer) : QWidget(viewer), m_viewer(viewer)
{
    // The panel paints every pixel itself from its off-screen picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    // Drags are offered to the host's OnDragOver; what it declines goes on
    // to the parents.
    setAcceptDrops(true);
}

void TPaintPanel::paintEvent(QPaintEvent* event)
{
    m_viewer->panelPaint(event);
}

void TPaintPanel::mousePressEvent(QMouseEvent* event)
{
    m_viewer->panelMousePress(event);
}

void TPaintPanel::mouseMoveEvent(QMouseEvent* event)
{
    m_viewer->panelMouseMove(event);
}

void TPaintPanel::mouseReleaseEvent(QMouseEvent* event)
{
    m_viewer->panelMouseRelease(event);
}

void TPaintPanel::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_viewer->panelDoubleClick(event);
}

void TPaintPanel::contextMenuEvent(QContextMenuEvent* event)
{
    m_viewer->panelContextMenu(event->globalPos());
}

void TPaintPanel::dragEnterEvent(QDragEnterEvent* event)
{
    m_viewer->panelDragOver(event, dsDragEnter);
}

void TPaintPanel::dragMoveEvent(QDragMoveEvent* event)
{
    m_viewer->panelDragOver(event, dsDragMove);
}

void TPaintPanel::dragLeaveEvent(QDragLeaveEvent*)
{
    m_viewer->panelDragLeave();
}

void TPaintPanel::dropEvent(QDropEvent* event)
{
    m_viewer->panelDrop(event);
}
