#pragma once

#include <functional>
#include <QImage>
#include <QPageLayout>
#include <QRect>
#include <QSize>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class TSectionList;

// Margins of printed pages, in inches from the edges of the sheet.
struct TPrintMargins {
    double Left = 2.0;
    double Right = 2.0;
    double Top = 2.0;
    double Bottom = 2.0;
};

// Prints a document on pages. The document is laid out for the width
// between the margins in screen pixels (96 to the inch) and drawn scaled to
// the device's resolution, so that pages look like the screen; content
// wider than the page is shrunk to fit. Pages end between lines (and at
// PAGE elements). Above each page's body lies a header band and below it a
// footer band, the top and bottom margins, for the caller to fill.
//
// While printing, the document draws no selection, no hover colour, no
// background picture and, unless asked, no table cell colours; form fields
// print as look-alikes. Afterwards the document keeps the page layout: the
// caller lays it out again for the screen.
class TDocumentPrinter {
public:
    // Fills a header or footer band. Canvas has its origin at the band's
    // top left corner, in device pixels; W and H are the band's size.
    // Setting StopPrinting ends the print once this page is done.
    using BandEvent =
        std::function<void(QPainter& Canvas, int NumPage, int W, int H, bool& StopPrinting)>;

    // A sheet is laid out with at least this much room between margins that
    // would otherwise leave none; the margins shrink in proportion.
    static constexpr double kMinContentInches = 1.0;

    TDocumentPrinter(TSectionList& document, const TPrintMargins& margins, bool tableBackgrounds);

    // Prints on a paged device (a PDF writer, a printer) and returns the
    // number of pages printed.
    int Print(QPagedPaintDevice& device);
    // The same pages as pictures of whole sheets, for a preview.
    std::vector<QImage> Render(const QPageLayout& layout, int dotsPerInch);

    // Where the page body goes on a sheet of the given size, in pixels at
    // the given resolution.
    QRect ContentRect(QSize paper, int dotsPerInch) const;

    BandEvent OnHeader;
    BandEvent OnFooter;

private:
    class Target;
    class DeviceTarget;
    class ImageTarget;

    int run(Target& target);
    void band(QPainter& painter, const BandEvent& event, const QRect& area, int page,
              bool& stop) const;

    TSectionList& m_document;
    TPrintMargins m_margins;
    bool m_tableBackgrounds;
};
