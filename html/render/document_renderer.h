#pragma once

#include <QImage>
#include <QRect>
#include <QString>

class TSectionList;

// Painting a laid-out document off screen, as the viewer does for every
// damaged rectangle and as the render tool does for the whole page.
namespace html {

// The viewer's page margins around the document.
inline constexpr int kMarginWidth = 10;
inline constexpr int kMarginHeight = 5;

// Settings of a freshly created viewer as the program's windows use it:
// "Times New Roman" 12, "Courier New", black text, white background, blue
// links, images off.
void applyViewerDefaults(TSectionList& document);

// Paints the document rectangle clip (document coordinates) into a new
// image of the given size, the document origin at (originX, originY).
// Throws EOutOfResources when the image cannot be created.
QImage paintDocument(TSectionList& document, const QRect& clip, QSize size, int originX,
                     int originY);

// Lays the document out for a viewer of the given width and paints all of
// it, margins included.
QImage renderPage(TSectionList& document, int width);

// Reads a file and parses it into the document the way the viewer loads a
// page: HTML in the charset it declares (converted before parsing), images
// from files next to it when the document's ViewImages is on. Throws
// EInOutError "Can't locate file: " + path when the file cannot be read.
void loadDocumentFile(TSectionList& document, const QString& path);

} // namespace html
