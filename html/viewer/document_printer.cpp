#include "html/viewer/document_printer.h"

#include "html/document/section_list.h"
#include "html/layout/font_cache.h"
#include "html/viewer/page_breaks.h"

#include <algorithm>
#include <cmath>
#include <QPagedPaintDevice>
#include <QPainter>

namespace {

constexpr double kMetersPerInch = 0.0254;

// Puts the document in its printing state for the length of a print and
// back afterwards, also when a band handler throws.
class PrintingState {
public:
    PrintingState(TSectionList& document, bool tableBackgrounds)
        : m_document(document), m_hover(document.HoverLink)
    {
        m_document.Printing = true;
        m_document.PrintTableBackground = tableBackgrounds;
        m_document.HoverLink = nullptr;
    }
    ~PrintingState()
    {
        m_document.HoverLink = m_hover;
        m_document.Printing = false;
    }
    PrintingState(const PrintingState&) = delete;
    PrintingState& operator=(const PrintingState&) = delete;

private:
    TSectionList& m_document;
    TUrlTarget* m_hover;
};

} // namespace

// Where the pages go: a painter per page whose coordinates are pixels of
// the whole sheet from its top left corner.
class TDocumentPrinter::Target {
public:
    virtual ~Target() = default;
    virtual QSize Paper() const = 0;
    virtual int DotsPerInch() const = 0;
    // Starts the next page; null when the device cannot print.
    virtual QPainter* NextPage() = 0;
};

class TDocumentPrinter::DeviceTarget : public Target {
public:
    explicit DeviceTarget(QPagedPaintDevice& device)
        : m_device(device), m_dpi(std::max(1, device.logicalDpiY()))
    {
        const QPageLayout layout = device.pageLayout();
        m_paper = layout.fullRectPixels(m_dpi).size();
        // The device's painter starts at its printable area.
        m_origin = layout.paintRectPixels(m_dpi).topLeft();
    }
    QSize Paper() const override { return m_paper; }
    int DotsPerInch() const override { return m_dpi; }
    QPainter* NextPage() override
    {
        if (!m_painter.isActive()) {
            if (!m_painter.begin(&m_device))
                return nullptr;
        } else if (!m_device.newPage()) {
            return nullptr;
        }
        m_painter.resetTransform();
        m_painter.translate(-m_origin);
        return &m_painter;
    }

private:
    QPagedPaintDevice& m_device;
    int m_dpi;
    QSize m_paper;
    QPoint m_origin;
    QPainter m_painter;
};

class TDocumentPrinter::ImageTarget : public Target {
public:
    ImageTarget(const QPageLayout& layout, int dotsPerInch)
        : m_dpi(std::max(1, dotsPerInch)), m_paper(layout.fullRectPixels(m_dpi).size())
    {
    }
    QSize Paper() const override { return m_paper; }
    int DotsPerInch() const override { return m_dpi; }
    QPainter* NextPage() override
    {
        if (m_painter.isActive())
            m_painter.end();
        QImage page(m_paper, QImage::Format_RGB32);
        if (page.isNull())
            return nullptr;
        const int dotsPerMeter = static_cast<int>(std::lround(m_dpi / kMetersPerInch));
        page.setDotsPerMeterX(dotsPerMeter);
        page.setDotsPerMeterY(dotsPerMeter);
        page.fill(Qt::white);
        m_pages.push_back(std::move(page));
        m_painter.begin(&m_pages.back());
        return &m_painter;
    }
    std::vector<QImage> Take()
    {
        if (m_painter.isActive())
            m_painter.end();
        return std::move(m_pages);
    }

private:
    int m_dpi;
    QSize m_paper;
    std::vector<QImage> m_pages;
    QPainter m_painter;
};

TDocumentPrinter::TDocumentPrinter(TSectionList& document, const TPrintMargins& margins,
                                   bool tableBackgrounds)
    : m_document(document), m_margins(margins), m_tableBackgrounds(tableBackgrounds)
{
}

int TDocumentPrinter::Print(QPagedPaintDevice& device)
{
    DeviceTarget target(device);
    return run(target);
}

std::vector<QImage> TDocumentPrinter::Render(const QPageLayout& layout, int dotsPerInch)
{
    ImageTarget target(layout, dotsPerInch);
    run(target);
    return target.Take();
}

QRect TDocumentPrinter::ContentRect(QSize paper, int dotsPerInch) const
{
    const double minContent = kMinContentInches * dotsPerInch;
    // Two margins that leave too little between them give way in proportion.
    auto fit = [minContent](double before, double after, int length) {
        before = std::max(0.0, before);
        after = std::max(0.0, after);
        const double room = std::max(0.0, length - minContent);
        if (before + after > room) {
            const double k = room / (before + after);
            before *= k;
            after *= k;
        }
        return std::pair<int, int>(static_cast<int>(std::lround(before)),
                                   static_cast<int>(std::lround(after)));
    };
    const auto [left, right] =
        fit(m_margins.Left * dotsPerInch, m_margins.Right * dotsPerInch, paper.width());
    const auto [top, bottom] =
        fit(m_margins.Top * dotsPerInch, m_margins.Bottom * dotsPerInch, paper.height());
    return QRect(left, top, std::max(1, paper.width() - left - right),
                 std::max(1, paper.height() - top - bottom));
}

void TDocumentPrinter::band(QPainter& painter, const BandEvent& event, const QRect& area, int page,
                            bool& stop) const
{
    if (!event)
        return;
    painter.save();
    painter.translate(area.topLeft());
    event(painter, page, area.width(), area.height(), stop);
    painter.restore();
}

int TDocumentPrinter::run(Target& target)
{
    const int dpi = target.DotsPerInch();
    const QSize paper = target.Paper();
    const QRect content = ContentRect(paper, dpi);
    PrintingState printing(m_document, m_tableBackgrounds);

    const double screenScale = static_cast<double>(dpi) / TFontCache::kDotsPerInch;
    const int layoutWidth = std::max(1, static_cast<int>(content.width() / screenScale));
    m_document.DoLogic(layoutWidth);
    const int drawnWidth = std::max(layoutWidth, m_document.MaxWidth());
    const double scale = screenScale * layoutWidth / drawnWidth;
    const int pageHeight = std::max(1, static_cast<int>(content.height() / scale));

    int top = 0;
    int printed = 0;
    for (const int bottom : html_viewer::PageBottoms(m_document, pageHeight)) {
        QPainter* painter = target.NextPage();
        if (!painter)
            break;
        ++printed;
        bool stop = false;
        band(*painter, OnHeader, QRect(0, 0, paper.width(), content.top()), printed, stop);
        painter->save();
        painter->translate(content.topLeft());
        painter->scale(scale, scale);
        m_document.Draw(*painter, QRect(0, top, drawnWidth, bottom - top), 0, -top);
        painter->restore();
        const int footerTop = content.bottom() + 1;
        band(*painter, OnFooter, QRect(0, footerTop, paper.width(), paper.height() - footerTop),
             printed, stop);
        top = bottom;
        if (stop)
            break;
    }
    return printed;
}
