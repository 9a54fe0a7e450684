// qvrender FILE.html OUT.png [--width W] [--images]
// qvrender --dump FILE.html [--width W] [--images]
//
// Loads a page the way the viewer does (default fonts, white background,
// images off unless --images), lays it out for a viewer W pixels wide
// (default 800) and paints the whole document into a PNG, or with --dump
// prints the laid-out model, one line per block, line and box.
#include "html/document/cell.h"
#include "html/document/html_table.h"
#include "html/document/section_list.h"
#include "html/render/document_renderer.h"
#include "platform/ansi.h"
#include "platform/exception.h"

#include <cstdio>
#include <iostream>
#include <QGuiApplication>
#include <QStringList>

namespace {

constexpr int kExitLoadError = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultWidth = 800;
constexpr int kMaxWidth = 20000;

int usage()
{
    std::fputs("usage: qvrender FILE.html OUT.png [--width W] [--images]\n"
               "       qvrender --dump FILE.html [--width W] [--images]\n",
               stderr);
    return kExitUsage;
}

int countBlocks(const TCell& cell)
{
    int count = 0;
    for (const auto& block : cell.Blocks()) {
        ++count;
        (void)block;
    }
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QStringList files;
    bool dump = false;
    bool images = false;
    int width = kDefaultWidth;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--dump")) {
            dump = true;
        } else if (arg == QLatin1String("--images")) {
            images = true;
        } else if (arg == QLatin1String("--width")) {
            bool ok = false;
            width = i + 1 < args.size() ? args[++i].toInt(&ok) : 0;
            if (!ok || width < 1 || width > kMaxWidth)
                return usage();
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usage();
        } else {
            files << arg;
        }
    }
    if (files.size() != (dump ? 1 : 2))
        return usage();

    TSectionList document;
    html::applyViewerDefaults(document);
    document.ViewImages = images;
    try {
        html::loadDocumentFile(document, files[0]);
        if (dump) {
            document.DoLogic(std::max(1, width - 2 * html::kMarginWidth));
            std::cout << document.DumpLayout();
            return 0;
        }
        const QImage page = html::renderPage(document, width);
        if (!page.save(files[1], "PNG")) {
            std::cerr << "Can't write file: " << files[1].toStdString() << "\n";
            return kExitLoadError;
        }
    } catch (const Exception& e) {
        std::cerr << platform::fromAnsi(e.message()).toStdString() << "\n";
        return kExitLoadError;
    }
    std::cout << "title: " << platform::fromAnsi(document.Title).toStdString() << "\n"
              << "height: " << document.DocHeight() << "\n"
              << "sections: " << countBlocks(document) << "\n"
              << "links: " << document.Links.size() << "\n";
    return 0;
}
