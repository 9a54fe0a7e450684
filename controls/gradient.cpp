#include "controls/gradient.h"

#include "platform/registry_store.h"

#include <algorithm>
#include <cmath>
#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QPainter>
#include <QPaintEvent>
#include <QPalette>

const char* const kColorsKey = "HKEY_CURRENT_USER\\Control Panel\\Colors";

namespace {

constexpr TColor kSystemColorFlag = 0x80000000;
constexpr int kFixedPointScale = 10000;
constexpr int kLastEntry = TGradient::kRampSize - 1;

struct SystemColor {
    const char* valueName;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Indexed by system colour number - 1: the scheme's value name and the
// palette role that stands in when the scheme does not name the colour
// (the usual case on desktops that keep no such scheme).
constexpr SystemColor kSystemColors[] = {
    {"Background", QPalette::Active, QPalette::Dark},
    {"ActiveTitle", QPalette::Active, QPalette::Highlight},
    {"InactiveTitle", QPalette::Inactive, QPalette::Mid},
    {"Menu", QPalette::Active, QPalette::Window},
    {"Window", QPalette::Active, QPalette::Base},
    {"WindowFrame", QPalette::Active, QPalette::Shadow},
    {"MenuText", QPalette::Active, QPalette::WindowText},
    {"WindowText", QPalette::Active, QPalette::Text},
    {"TitleText", QPalette::Active, QPalette::HighlightedText},
    {"ActiveBorder", QPalette::Active, QPalette::Button},
    {"InactiveBorder", QPalette::Inactive, QPalette::Button},
    {"AppWorkspace", QPalette::Active, QPalette::Mid},
    {"Highlight", QPalette::Active, QPalette::Highlight},
    {"HighlightText", QPalette::Active, QPalette::HighlightedText},
    {"ButtonFace", QPalette::Active, QPalette::Button},
    {"ButtonShadow", QPalette::Active, QPalette::Dark},
    {"GrayText", QPalette::Disabled, QPalette::Text},
    {"ButtonText", QPalette::Active, QPalette::ButtonText},
    {"InactiveTitleText", QPalette::Inactive, QPalette::WindowText},
    {"ButtonHilight", QPalette::Active, QPalette::Light},
    {"ButtonDkShadow", QPalette::Active, QPalette::Shadow},
    {"ButtonLight", QPalette::Active, QPalette::Midlight},
    {"InfoText", QPalette::Active, QPalette::ToolTipText},
    {"InfoWindow", QPalette::Active, QPalette::ToolTipBase},
};
constexpr TColor kSystemColorCount = sizeof kSystemColors / sizeof kSystemColors[0];

QRgb lowBytes(TColor color)
{
    return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// Reads "R G B": digits accumulate into the current channel and each space
// moves on to the next. Other characters are skipped and a channel never
// exceeds 255, so a damaged value still gives a colour.
QRgb parseSchemeColor(const QString& text)
{
    int channels[3] = {0, 0, 0};
    int channel = 0;
    for (QChar c : text) {
        if (c == ' ') {
            if (++channel == 3)
                break;
        } else if (c >= '0' && c <= '9') {
            channels[channel] = std::min(255, channels[channel] * 10 + (c.unicode() - '0'));
        }
    }
    return qRgb(channels[0], channels[1], channels[2]);
}

int roundHalfEven(double value)
{
    return int(std::lrint(value));
}

} // namespace

QRgb resolveColor(TColor color, const RegistryStore& registry)
{
    TColor number = color & ~kSystemColorFlag;
    if ((color & kSystemColorFlag) == 0 || number < 1 || number > kSystemColorCount)
        return lowBytes(color);
    const SystemColor& system = kSystemColors[number - 1];
    QString text = registry.value(kColorsKey, system.valueName);
    if (!text.isEmpty())
        return parseSchemeColor(text);
    return QApplication::palette().color(system.group, system.role).rgb();
}

TGradient::TGradient(QWidget* parent) : QWidget(parent)
{
    // Bands cover every pixel, so Qt need not clear the area first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    lower();
    followParent();
    rebuildRamp();
}

TGradient::~TGradient() = default;

void TGradient::setColorStart(TColor color)
{
    m_colorStart = color;
    rebuildRamp();
}

void TGradient::setColorEnd(TColor color)
{
    m_colorEnd = color;
    rebuildRamp();
}

void TGradient::setDirection(TGradientDirection direction)
{
    m_direction = direction;
    rebuildRamp();
}

void TGradient::setSwap(bool swap)
{
    m_swap = swap;
    rebuildRamp();
}

void TGradient::setAlign(TAlign align)
{
    m_align = align;
    followParent();
}

TGradient::Ramp TGradient::buildRamp(QRgb start, QRgb end)
{
    Ramp ramp{};
    ramp[0] = start;
    ramp[kLastEntry] = end;
    const int startChannels[3] = {qRed(start), qGreen(start), qBlue(start)};
    const int endChannels[3] = {qRed(end), qGreen(end), qBlue(end)};
    int values[3][kRampSize];
    for (int c = 0; c < 3; ++c) {
        // Fixed point with four decimal places keeps the rounding error of
        // 254 steps below one colour unit.
        long running = long(startChannels[c]) * kFixedPointScale;
        long step =
            std::lrint(double(startChannels[c] - endChannels[c]) / kLastEntry * kFixedPointScale);
        for (int i = 1; i < kLastEntry; ++i) {
            running -= step;
            values[c][i] = std::clamp(roundHalfEven(double(running) / kFixedPointScale), 0, 255);
        }
    }
    for (int i = 1; i < kLastEntry; ++i)
        ramp[i] = qRgb(values[0][i], values[1][i], values[2][i]);
    return ramp;
}

std::vector<TGradient::Band> TGradient::bands(int extent)
{
    // Each band is one unit wider than the spacing, so rounding never leaves
    // a gap and the last band always reaches the far edge.
    const float spacing = float(extent) / kLastEntry;
    const int width = roundHalfEven(spacing + 1);
    std::vector<Band> result(kRampSize);
    for (int i = 0; i < kRampSize; ++i) {
        int start = i < 2 ? 0 : roundHalfEven((i - 1) * spacing);
        result[i] = {start, width};
    }
    return result;
}

void TGradient::rebuildRamp()
{
    RegistryStore registry;
    QRgb start = resolveColor(m_colorStart, registry);
    QRgb end = resolveColor(m_colorEnd, registry);
    if (m_swap)
        std::swap(start, end);
    m_ramp = buildRamp(start, end);
    update();
}

void TGradient::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const bool vertical = m_direction == gdTopToBottom;
    const int extent = vertical ? height() : width();
    const int across = vertical ? width() : height();
    const std::vector<Band> layout = bands(extent);
    const QRect dirty = event->rect();
    for (int i = 0; i < kRampSize; ++i) {
        const Band& band = layout[size_t(i)];
        QRect area = vertical ? QRect(0, band.start, across, band.width)
                              : QRect(band.start, 0, band.width, across);
        if (area.intersects(dirty))
            painter.fillRect(area, QColor(m_ramp[size_t(i)]));
    }
}

bool TGradient::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange)
        followParent();
    return QWidget::event(event);
}

void TGradient::changeEvent(QEvent* event)
{
    // System colours without a scheme entry follow the palette.
    if (event->type() == QEvent::PaletteChange)
        rebuildRamp();
    QWidget::changeEvent(event);
}

bool TGradient::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedParent && event->type() == QEvent::Resize)
        followParent();
    return QWidget::eventFilter(watched, event);
}

void TGradient::followParent()
{
    QWidget* parent = parentWidget();
    if (parent != m_watchedParent) {
        if (m_watchedParent)
            m_watchedParent->removeEventFilter(this);
        m_watchedParent = parent;
        if (parent)
            parent->installEventFilter(this);
    }
    if (!parent || m_align == alNone)
        return;
    // Inside a layout the layout decides the geometry.
    if (parent->layout() && parent->layout()->indexOf(this) >= 0)
        return;
    const QRect area = parent->contentsRect();
    switch (m_align) {
    case alTop:
        setGeometry(area.left(), area.top(), area.width(), height());
        break;
    case alBottom:
        setGeometry(area.left(), area.bottom() + 1 - height(), area.width(), height());
        break;
    case alLeft:
        setGeometry(area.left(), area.top(), width(), area.height());
        break;
    case alRight:
        setGeometry(area.right() + 1 - width(), area.top(), width(), area.height());
        break;
    case alClient:
        setGeometry(area);
        break;
    case alNone:
        break;
    }
}
