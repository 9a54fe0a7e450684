#include "html/render/document_renderer.h"

#include "html/document/process_error.h"
#include "html/document/section_list.h"
#include "html/images/image_loader.h"
#include "html/parser/html_parser.h"
#include "platform/ansi.h"

#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

namespace html {

namespace {
constexpr char kOutOfResources[] = "Out of Resources";
constexpr char kCannotLocate[] = "Can't locate file: ";
// Largest page the render tool paints in one image, in pixels.
constexpr qint64 kMaxPagePixels = 256LL * 1024 * 1024;
} // namespace

void applyViewerDefaults(TSectionList& document)
{
    document.SetDefFontName("Times New Roman");
    document.SetDefPreFontName("Courier New");
    document.SetDefFontSize(12);
    document.DefFontColor = Qt::black;
    document.DefHotSpotColor = Qt::blue;
    document.DefVisitedLinkColor = QColor(0x80, 0x00, 0x80);
    document.DefOverLinkColor = Qt::blue;
    document.DefBackground = Qt::white;
    document.ViewImages = false;
    document.Clear();
}

QImage paintDocument(TSectionList& document, const QRect& clip, QSize size, int originX,
                     int originY)
{
    if (size.isEmpty() || static_cast<qint64>(size.width()) * size.height() > kMaxPagePixels)
        throw EOutOfResources(kOutOfResources);
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        throw EOutOfResources(kOutOfResources);
    QPainter painter(&image);
    document.Draw(painter, clip, originX, originY);
    return image;
}

QImage renderPage(TSectionList& document, int width)
{
    const int layoutWidth = std::max(1, width - 2 * kMarginWidth);
    const int height = document.DoLogic(layoutWidth) + 2 * kMarginHeight;
    const QSize size(std::max(width, document.MaxWidth() + 2 * kMarginWidth), height);
    const QRect clip(-kMarginWidth, -kMarginHeight, size.width(), size.height());
    return paintDocument(document, clip, size, kMarginWidth, kMarginHeight);
}

void loadDocumentFile(TSectionList& document, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(kCannotLocate + platform::toAnsi(path), 0);
    const QByteArray bytes = file.readAll();
    const QDir folder = QFileInfo(path).absoluteDir();
    document.GetPicture = [folder](const std::string& src) {
        QString name = platform::fromAnsi(src);
        if (name.startsWith(QLatin1String("file:///"), Qt::CaseInsensitive))
            name = name.mid(7);
        return images::loadImageFile(folder.absoluteFilePath(name));
    };
    THtmlParser parser(document);
    parser.ParsePage(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace html
