#include "window_setup.h"

#include "tool_strip.h"

#include "html/viewer/html_viewer.h"
#include "platform/program_folder.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QWidget>

namespace {

constexpr const char* kDefaultFont = "Times New Roman";
constexpr const char* kFixedPitchFont = "Courier New";

} // namespace

namespace app {

void sizeToScreen(QWidget& window)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const int width = area.width() * 9 / 10;
    const int height = area.height() * 7 / 8;
    window.resize(width, height);
    window.move(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2);
}

GradientBar createGradientBar(QWidget* parent, const QString& name, int height,
                              const QMargins& margins)
{
    QWidget* panel = createGradientPanel(parent);
    panel->setObjectName(name);
    panel->setFixedHeight(height);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(margins);
    return {panel, row};
}

void applyViewerLook(THTMLViewer& viewer)
{
    viewer.setObjectName("visor");
    viewer.setDefBackground(Qt::white);
    viewer.setDefFontName(kDefaultFont);
    viewer.setDefPreFontName(kFixedPitchFont);
    viewer.setViewImages(false);
}

FileDialog::Options programFolderDialog(const QString& title, const QString& filter,
                                        const QString& defaultSuffix)
{
    FileDialog::Options options;
    options.title = title;
    options.filter = filter;
    options.folder = platform::programFolder();
    options.defaultSuffix = defaultSuffix;
    return options;
}

} // namespace app
