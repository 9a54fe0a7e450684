#pragma once

#include <array>
#include <cstdint>
#include <QPointer>
#include <QRgb>
#include <QWidget>
#include <vector>

class RegistryStore;

// A colour as the windows store it: 0x00BBGGRR for a plain colour (red in the
// lowest byte), or 0x800000NN for system colour number NN.
using TColor = std::uint32_t;

constexpr TColor rgbColor(int red, int green, int blue)
{
    return TColor(red & 0xFF) | TColor(green & 0xFF) << 8 | TColor(blue & 0xFF) << 16;
}

// System colours that can be named as gradient ends; their values are read
// from the user's colour scheme (see resolveColor).
enum TSystemColor : TColor {
    clBackground = 0x80000001,
    clActiveCaption,
    clInactiveCaption,
    clMenu,
    clWindow,
    clWindowFrame,
    clMenuText,
    clWindowText,
    clCaptionText,
    clActiveBorder,
    clInactiveBorder,
    clAppWorkSpace,
    clHighlight,
    clHighlightText,
    clBtnFace,
    clBtnShadow,
    clGrayText,
    clBtnText,
    clInactiveCaptionText,
    clBtnHighlight,
    cl3DDkShadow,
    cl3DLight,
    clInfoText,
    clInfoBk,
};

// How a control follows its parent's client area.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// 0: bands stacked from top to bottom; 1: bands side by side, left to right.
enum TGradientDirection { gdTopToBottom = 0, gdLeftToRight = 1 };

// The registry section that holds the user's colour scheme, one value
// "R G B" per system colour name.
extern const char* const kColorsKey;

// Turns a colour into red, green and blue. A system colour is looked up in
// the colour scheme; when the scheme lacks it the application palette's
// matching role is used instead. Any other colour gives its three low bytes.
QRgb resolveColor(TColor color, const RegistryStore& registry);

// Fills its area with a 256-step colour ramp. It paints beneath the controls
// that share its parent (or that are its own children), so tool strips place
// their buttons on it.
class TGradient : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRampSize = 256;
    using Ramp = std::array<QRgb, kRampSize>;

    // One band of the painted ramp along the gradient's direction.
    struct Band {
        int start;
        int width;
        friend bool operator==(const Band&, const Band&) = default;
    };

    explicit TGradient(QWidget* parent = nullptr);
    ~TGradient() override;

    TColor ColorStart() const { return m_colorStart; }
    void setColorStart(TColor color);
    TColor ColorEnd() const { return m_colorEnd; }
    void setColorEnd(TColor color);
    TGradientDirection Direction() const { return m_direction; }
    void setDirection(TGradientDirection direction);
    bool Swap() const { return m_swap; }
    void setSwap(bool swap);
    TAlign Align() const { return m_align; }
    void setAlign(TAlign align);

    // The current table: entry 0 is the start colour, entry 255 the end.
    const Ramp& Colors() const { return m_ramp; }

    // The ramp between two resolved colours, stepped in fixed point.
    static Ramp buildRamp(QRgb start, QRgb end);
    // Where each of the 256 bands lies for an extent of the given length.
    static std::vector<Band> bands(int extent);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void rebuildRamp();
    void followParent();

    TColor m_colorStart = rgbColor(0, 0, 0);
    TColor m_colorEnd = rgbColor(0, 0, 255);
    TGradientDirection m_direction = gdTopToBottom;
    bool m_swap = false;
    TAlign m_align = alClient;
    Ramp m_ramp{};
    QPointer<QWidget> m_watchedParent;
};
