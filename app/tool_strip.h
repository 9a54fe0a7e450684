#pragma once

#include <functional>
#include <QIcon>
#include <QString>

class QWidget;

// The pieces the program's tool strips are made of: a panel filled with the
// program's yellow colour ramp, and flat picture buttons with wrapped
// captions. Every window makes them through these functions, so the look is
// decided in one place.
namespace app {

// A panel painted with the colour ramp from top to bottom. Children placed
// on it are drawn over the ramp; the panel's own parent lays it out.
QWidget* createGradientPanel(QWidget* parent);

enum class PictureSide { Top, Left };

struct ToolButtonDesign {
    QString caption;
    QString hint;
    QString picture; // name of the picture in the program's resources, or empty
    int pictureSize = 24;
    PictureSide side = PictureSide::Top;
    int width = 0;
    int height = 0;
};

// A flat button with a picture and a wrapped caption; onClick runs when it
// is clicked.
QWidget* createToolButton(QWidget* parent, const ToolButtonDesign& design,
                          std::function<void()> onClick);

// The picture of the given name and size from the program's resources, or a
// null image when the pictures are not built in.
QImage toolPicture(const QString& name, int size);

// The program icon in every size the resources hold.
QIcon programIcon();

} // namespace app
