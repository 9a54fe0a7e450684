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
#include "html/viewer/processing_scope.h"
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

// ---- printing -----------------------------------------------------------

int THTMLViewer::printWith(const std::function<int(TDocumentPrinter&)>& print)
{
    if (m_processing)
        return 0;
    const int position = Position();
    html_viewer::ProcessingScope processing([this](bool on) { setProcessing(on); });
    TDocumentPrinter printer(*m_doc, m_printMargins, (m_options & htPrintTableBackground) != 0);
    printer.OnHeader = [this](QPainter& canvas, int page, int w, int h, bool& stop) {
        if (OnPrintHeader)
            OnPrintHeader(this, &canvas, page, w, h, stop);
    };
    printer.OnFooter = [this](QPainter& canvas, int page, int w, int h, bool& stop) {
        if (OnPrintFooter)
            OnPrintFooter(this, &canvas, page, w, h, stop);
    };
    // The print lays the document out for the page; the screen gets its own
    // layout back whatever happens.
    auto restoreScreen = [this, position] {
        layoutDocument();
        setPosition(position);
        placeControls();
        m_panel->update();
    };
    int pages = 0;
    try {
        pages = print(printer);
    } catch (...) {
        restoreScreen();
        throw;
    }
    restoreScreen();
    return pages;
}

int THTMLViewer::Print(QPagedPaintDevice& Device)
{
    return printWith([&Device](TDocumentPrinter& printer) { return printer.Print(Device); });
}

std::vector<QImage> THTMLViewer::PrintPreview(const QPageLayout& Layout, int DotsPerInch)
{
    std::vector<QImage> pages;
    printWith([&](TDocumentPrinter& printer) {
        pages = printer.Render(Layout, DotsPerInch);
        return static_cast<int>(pages.size());
    });
    return pages;
}

// ---- panels -------------------------------------------------------------

void THTMLViewer::createPanels()
{
    if (!OnPanelCreate)
        return;
    std::vector<TPanelObj*> found;
    html_viewer::ForEachBlock(*m_doc, [&found](TSectionBase& block) {
        if (auto* section = dynamic_cast<TSection*>(&block))
            for (const auto& object : section->Images())
                if (auto* panel = dynamic_cast<TPanelObj*>(object.get()))
                    found.push_back(panel);
    });
    for (TPanelObj* panel : found) {
        // Parked off the panel until layout gives it a place, and shown like
        // the form controls so that what the host puts in it stays in the
        // Tab chain.
        auto* widget = new QWidget(m_panel);
        widget->move(TWidgetFormControlObj::kParkedLeft, TWidgetFormControlObj::kParkedTop);
        widget->show();
        m_panels.emplace_back(panel, widget);
        OnPanelCreate(this, panel->Name, widget);
    }
}

void THTMLViewer::destroyPanels()
{
    // Taken out first, so that nothing reaches them while the host hears of
    // their end.
    auto panels = std::move(m_panels);
    m_panels.clear();
    for (auto& entry : panels) {
        QPointer<QWidget>& widget = entry.second;
        if (widget && OnPanelDestroy)
            OnPanelDestroy(this, widget);
        if (!widget)
            continue;
        // The host's own widgets inside may be in one of their handlers.
        widget->hide();
        widget->deleteLater();
    }
}

// ---- images -------------------------------------------------------------

QIODevice* THTMLViewer::WaitStream()
{
    // One shared marker object for the whole program; never read.
    static QBuffer* wait = new QBuffer;
    return wait;
}

images::LoadedImage THTMLViewer::readImage(const std::string& src, bool& wait)
{
    wait = false;
    images::LoadedImage loaded;
    QImage bitmap;
    QColor transparent;
    if (OnBitmapRequest)
        OnBitmapRequest(this, src, bitmap, transparent);
    if (!bitmap.isNull()) {
        loaded = images::fromHostBitmap(
            bitmap, transparent.isValid() ? std::optional<QRgb>(transparent.rgb()) : std::nullopt);
    } else {
        QIODevice* stream = nullptr;
        if (OnImageRequest)
            OnImageRequest(this, src, stream);
        if (stream == WaitStream()) {
            wait = true;
            loaded.image = images::placeholderBitmap();
            return loaded;
        }
        if (stream) {
            if (!stream->isSequential())
                stream->seek(0);
            loaded = images::loadImage(stream->readAll(), platform::fromAnsi(src));
        } else {
            loaded = images::loadImageFile(expandLinkName(src));
        }
    }
    if (loaded.ok()) {
        ImageCache::Shared().Add(src, loaded);
        m_docImages.push_back(src);
    }
    return loaded;
}

images::LoadedImage THTMLViewer::getPicture(const std::string& src)
{
    if (auto cached = ImageCache::Shared().Take(src)) {
        m_docImages.push_back(src);
        return *cached;
    }
    bool wait = false;
    images::LoadedImage loaded = readImage(src, wait);
    if (wait)
        m_waiting.push_back({ImageCache::KeyOf(src), nullptr});
    return loaded;
}

void THTMLViewer::startAnimations()
{
    if (m_doc->HasAnimations())
        m_animationTimer->start();
    else
        m_animationTimer->stop();
}

void THTMLViewer::releaseImages()
{
    for (const std::string& name : m_docImages)
        ImageCache::Shared().Release(name);
    m_docImages.clear();
}

bool THTMLViewer::InsertImage(const std::string& Src, QIODevice* Stream)
{
    const std::string key = ImageCache::KeyOf(Src);
    auto it = std::find_if(m_waiting.begin(), m_waiting.end(),
                           [&](const auto& w) { return w.first == key; });
    if (it == m_waiting.end() || !Stream)
        return false;
    m_waiting.erase(it);
    if (!Stream->isSequential())
        Stream->seek(0);
    const images::LoadedImage loaded =
        images::loadImage(Stream->readAll(), platform::fromAnsi(Src));
    if (loaded.ok()) {
        ImageCache::Shared().Add(Src, loaded);
        m_docImages.push_back(Src);
    }
    for (TImageObj* image : m_doc->ImageList) {
        if (ImageCache::KeyOf(image->Source) != key)
            continue;
        if (!loaded.ok())
            image->SetError();
        else if (loaded.animated())
            image->SetAnimation(std::make_unique<TGIFAnimation>(loaded.gif));
        else
            image->SetPicture(loaded.image);
    }
    relayout(true);
    startAnimations();
    return true;
}

int THTMLViewer::ImageCacheCount() const
{
    return ImageCache::Shared().Limit();
}

void THTMLViewer::setImageCacheCount(int count)
{
    ImageCache::Shared().setLimit(count);
}
