#include "viewer_test_support.h"

#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/layout/layout_context.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

void sendMouse(QWidget* panel, QEvent::Type type, QPoint p, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(p), QPointF(panel->mapToGlobal(p)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(panel, &event);
}

} // namespace

ViewerFixture::ViewerFixture(int width, int height) : viewer(std::make_unique<THTMLViewer>())
{
    viewer->resize(width, height);
    viewer->setDefBackground(Qt::white);
    viewer->setViewImages(false);
    viewer->setHistoryMaxCount(6);
    viewer->sethtOptions(htOverLinksActive);
    viewer->setViewerCursor(Qt::IBeamCursor);
    viewer->OnFormSubmit = [this](THTMLViewer*, const std::string& action,
                                  const std::string& target, const std::string& encType,
                                  const std::string& method, std::vector<std::string> results) {
        submissions.push_back(Submission{action, target, encType, method, std::move(results)});
    };
    viewer->show();
}

ViewerFixture::~ViewerFixture() = default;

void ViewerFixture::load(const std::string& html)
{
    viewer->LoadStrings({html});
}

void ViewerFixture::deliver()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void ViewerFixture::press(QPoint p)
{
    sendMouse(viewer->PaintPanel(), QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
}

void ViewerFixture::moveTo(QPoint p, bool leftHeld)
{
    sendMouse(viewer->PaintPanel(), QEvent::MouseMove, p, Qt::NoButton,
              leftHeld ? Qt::LeftButton : Qt::NoButton);
}

void ViewerFixture::release(QPoint p)
{
    sendMouse(viewer->PaintPanel(), QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

void ViewerFixture::click(QPoint p)
{
    press(p);
    release(p);
}

void ViewerFixture::doubleClick(QPoint p)
{
    press(p);
    release(p);
    sendMouse(viewer->PaintPanel(), QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
    release(p);
}

void ViewerFixture::key(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Return ? "\r" : "");
    QApplication::sendEvent(target, &press);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &up);
}

QPoint ViewerFixture::linkPoint(const std::string& href) const
{
    QWidget* panel = viewer->PaintPanel();
    for (int y = 0; y < panel->height(); y += 2)
        for (int x = 0; x < panel->width(); x += 3) {
            THitResult hit;
            const QPoint d = viewer->PanelToDocument(QPoint(x, y));
            if (viewer->Document().HitTest(d.x(), d.y(), hit) && hit.link && hit.link->Url == href)
                return QPoint(x, y);
        }
    return QPoint(-1, -1);
}

QPoint ViewerFixture::textPoint(const std::string& text, int offset) const
{
    QWidget* panel = viewer->PaintPanel();
    for (int y = 0; y < panel->height(); y += 2)
        for (int x = 0; x < panel->width(); x += 1) {
            THitResult hit;
            const QPoint d = viewer->PanelToDocument(QPoint(x, y));
            if (!viewer->Document().HitTest(d.x(), d.y(), hit) || hit.charIndex < 0)
                continue;
            auto* section = dynamic_cast<TSection*>(hit.block);
            if (!section)
                continue;
            const std::size_t at = section->Buff.find(text);
            if (at == std::string::npos)
                continue;
            if (hit.charIndex == section->SIndex[at + static_cast<std::size_t>(offset)])
                return QPoint(x + 1, y);
        }
    return QPoint(-1, -1);
}

QString PageFolder::write(const QString& name, const std::string& content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content.data(), static_cast<qint64>(content.size()));
    return path;
}
