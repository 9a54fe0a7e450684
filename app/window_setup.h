#pragma once

#include "platform/file_dialog.h"

#include <QMargins>
#include <QString>

class QHBoxLayout;
class QWidget;
class THTMLViewer;

// Set-up shared by the program's windows, so that the main window and the
// submission window size, dress and ask for files the same way.
namespace app {

// Gives a window 9/10 of the screen's width and 7/8 of its height and
// centres it on the screen.
void sizeToScreen(QWidget& window);

// A fixed-height strip painted with the program's colour ramp, with a row
// layout for its controls.
struct GradientBar {
    QWidget* panel;
    QHBoxLayout* row;
};
GradientBar createGradientBar(QWidget* parent, const QString& name, int height,
                              const QMargins& margins);

// The look of every viewer that shows pages and answers: the object name
// "visor", a white page, the default and fixed-pitch fonts, no images.
void applyViewerLook(THTMLViewer& viewer);

// A file dialog that starts in the program folder.
FileDialog::Options programFolderDialog(const QString& title, const QString& filter,
                                        const QString& defaultSuffix);

} // namespace app
