#include "tool_strip.h"

#include "controls/explorer_button.h"
#include "controls/gradient.h"

#include <QFile>
#include <QImage>

namespace app {
namespace {

// The program's colour ramp, from a strong yellow to a pale one.
constexpr TColor kGradientStart = rgbColor(233, 217, 27);
constexpr TColor kGradientEnd = rgbColor(248, 242, 173);

constexpr int kCaptionPixelSize = 11;
constexpr int kProgramIconSizes[] = {16, 32, 48, 64, 128, 256};

QString picturePath(const QString& name, int size)
{
    return QString(":/icons/%1-%2.png").arg(name).arg(size);
}

} // namespace

QWidget* createGradientPanel(QWidget* parent)
{
    auto* panel = new TGradient(parent);
    // The panel is placed by its parent's layout instead of filling it.
    panel->setAlign(alNone);
    panel->setColorStart(kGradientStart);
    panel->setColorEnd(kGradientEnd);
    return panel;
}

QWidget* createToolButton(QWidget* parent, const ToolButtonDesign& design,
                          std::function<void()> onClick)
{
    auto* button = new TExplorerButton(parent);
    // Tool strip captions use the small dialog font.
    QFont font("Arial");
    font.setPixelSize(kCaptionPixelSize);
    button->setFont(font);
    button->setCaption(design.caption);
    button->setHint(design.hint);
    // The coloured picture is always shown; the bevel marks the hot button.
    button->setOptions({boPopupMark, boShowBevel});
    button->setWordWrap(true);
    button->setLayout(design.side == PictureSide::Top ? blBitmapTop : blBitmapLeft);
    QImage picture = toolPicture(design.picture, design.pictureSize);
    if (!picture.isNull())
        button->setBitmap(picture);
    if (design.width > 0 && design.height > 0)
        button->setFixedSize(design.width, design.height);
    button->OnClick = [onClick = std::move(onClick)](TExplorerButton*) { onClick(); };
    return button;
}

QImage toolPicture(const QString& name, int size)
{
    if (name.isEmpty())
        return {};
    QString path = picturePath(name, size);
    return QFile::exists(path) ? QImage(path) : QImage();
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : kProgramIconSizes) {
        QString path = picturePath("quorvane", size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

} // namespace app
