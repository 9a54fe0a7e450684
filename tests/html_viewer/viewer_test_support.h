#pragma once

#include "html/document/form_control_obj.h"
#include "html/viewer/html_viewer.h"

#include <memory>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

class QWidget;

// One OnFormSubmit as the host received it.
struct Submission {
    std::string Action;
    std::string Target;
    std::string EncType;
    std::string Method;
    std::vector<std::string> Results;
};

// A viewer the way the main window sets it up, shown off screen, that
// records every form submission it reports.
struct ViewerFixture {
    ViewerFixture(int width = 640, int height = 480);
    ~ViewerFixture();

    void load(const std::string& html);
    // Delivers the posted messages (the pending OnFormSubmit among them).
    void deliver();
    // The window control of the n-th form control of the document.
    template <typename W> W* control(int n) const;
    // Left press and release at a panel point.
    void click(QPoint panelPoint);
    void press(QPoint panelPoint);
    void moveTo(QPoint panelPoint, bool leftHeld);
    void release(QPoint panelPoint);
    void doubleClick(QPoint panelPoint);
    void key(QWidget* target, int key);
    // A panel point over the link with that HREF, or (-1, -1).
    QPoint linkPoint(const std::string& href) const;
    // A panel point over the character of the document text, or (-1, -1).
    QPoint textPoint(const std::string& text, int offset = 0) const;

    std::unique_ptr<THTMLViewer> viewer;
    std::vector<Submission> submissions;
};

// A folder of pages for a test.
struct PageFolder {
    QTemporaryDir dir;
    QString write(const QString& name, const std::string& content);
    QString path(const QString& name) const { return dir.filePath(name); }
};

template <typename W> W* ViewerFixture::control(int n) const
{
    return qobject_cast<W*>(
        viewer->FormControlList().at(static_cast<std::size_t>(n))->WindowControl());
}
