#pragma once

#include <QColor>
#include <QString>
#include <functional>

class QIcon;
class QWidget;

// The pieces the program's tool strips are made of: a panel filled with the
// program's yellow colour ramp, and flat picture buttons with wrapped
// captions. Every window makes them through these functions, so the look is
// decided in one place.
namespace app {

inline const QColor kGradientStart(233, 217, 27);
inline const QColor kGradientEnd(248, 242, 173);

// A panel painted with the colour ramp from top to bottom. Children placed
// on it are drawn over the ramp.
QWidget* createGradientPanel(QWidget* parent);

enum class PictureSide { Top, Left };

struct ToolButtonSpec {
    QString caption;
    QString hint;
    QString picture; // resource name of the picture, empty for none
    PictureSide side = PictureSide::Top;
    int width = 0;
    int height = 0;
};

// A flat button with a picture and a wrapped caption; onClick runs when it
// is clicked.
QWidget* createToolButton(QWidget* parent, const ToolButtonSpec& spec,
                          std::function<void()> onClick);

// The picture of the given name from the program's resources, or an empty
// icon when the pictures are not built in.
QIcon toolPicture(const QString& name);

} // namespace app
