#include "tool_strip.h"

#include <QFile>
#include <QFontMetrics>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QToolButton>
#include <QWidget>

namespace app {
namespace {

class GradientPanel : public QWidget {
public:
    explicit GradientPanel(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient ramp(0, 0, 0, height());
        ramp.setColorAt(0, kGradientStart);
        ramp.setColorAt(1, kGradientEnd);
        painter.fillRect(rect(), ramp);
    }
};

// Breaks the caption at blanks so that each line fits the width, the way a
// word-wrapped button caption reads.
QString wrapCaption(const QString& caption, const QFontMetrics& metrics, int width)
{
    QStringList lines;
    QString line;
    for (const QString& word : caption.split(' ', Qt::SkipEmptyParts)) {
        QString candidate = line.isEmpty() ? word : line + ' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
            lines << line;
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join('\n');
}

} // namespace

QWidget* createGradientPanel(QWidget* parent) { return new GradientPanel(parent); }

QWidget* createToolButton(QWidget* parent, const ToolButtonSpec& spec,
                          std::function<void()> onClick)
{
    auto* button = new QToolButton(parent);
    // Tool strip captions use the small dialog font, as tool strips do.
    constexpr int kCaptionPointSize = 8;
    QFont font = button->font();
    font.setPointSize(kCaptionPointSize);
    button->setFont(font);
    // Captions that do not fit on one line are broken at blanks.
    constexpr int kCaptionMargin = 4;
    button->setText(spec.width > 0
                        ? wrapCaption(spec.caption, button->fontMetrics(), spec.width - kCaptionMargin)
                        : spec.caption);
    button->setToolTip(spec.hint);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    QIcon picture = toolPicture(spec.picture);
    if (!picture.isNull()) {
        button->setIcon(picture);
        button->setIconSize(QSize(24, 24));
    }
    button->setToolButtonStyle(spec.side == PictureSide::Top ? Qt::ToolButtonTextUnderIcon
                                                             : Qt::ToolButtonTextBesideIcon);
    if (spec.width > 0 && spec.height > 0)
        button->setFixedSize(spec.width, spec.height);
    QObject::connect(button, &QToolButton::clicked, button, [onClick] { onClick(); });
    return button;
}

QIcon toolPicture(const QString& name)
{
    if (name.isEmpty())
        return {};
    for (const char* extension : {".png", ".svg", ".bmp"}) {
        QString path = ":/icons/" + name + extension;
        if (QFile::exists(path))
            return QIcon(path);
    }
    return {};
}

} // namespace app
