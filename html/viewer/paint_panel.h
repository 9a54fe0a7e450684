#pragma once

#include <QWidget>

class THTMLViewer;

// The viewer's drawing panel: it paints the visible part of the document
// and is the parent of the form controls' widgets. Its mouse, paint and
// drag-and-drop events go to the viewer.
class TPaintPanel : public QWidget {
public:
    explicit TPaintPanel(THTMLViewer* viewer);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    THTMLViewer* m_viewer;
};
