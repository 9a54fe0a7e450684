#pragma once

#include <functional>
#include <QColor>
#include <QFlags>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

enum TExplorerButtonOption {
    boMonoDisplay = 0x1, // shaded picture while the mouse is elsewhere
    boIconOnly = 0x2,    // no caption; the caption becomes the hint
    boPopupMark = 0x4,   // a small triangle beside the picture of a drop-down button
    boShowBevel = 0x8,   // a one-pixel frame while hot or pressed
};
Q_DECLARE_FLAGS(TExplorerButtonOptions, TExplorerButtonOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TExplorerButtonOptions)

// Where the picture sits relative to the caption.
enum TButtonLayout { blBitmapTop, blBitmapBottom, blBitmapLeft, blBitmapRight };
// Horizontal placement of picture and caption together.
enum TButtonAlignment { baLeft, baCenter, baRight };
enum TBevelStyle { bsLowered, bsRaised };
// Threshold sets that turn the picture into the four-tone shaded one.
enum TShadingType { stLight, stMedium, stDark };

// A flat tool-strip button: a picture and a caption that show a bevel only
// while the mouse is over the button or while it is pressed. Buttons with a
// GroupIndex other than 0 toggle, and the buttons of one parent that share a
// group behave like radio buttons. A button with a DropDownMenu opens the
// menu instead of clicking.
//
// Pictures are keyed on their pixel (0, 0): every pixel of that colour, and
// every fully transparent pixel, lets the background show through.
class TExplorerButton : public QWidget {
    Q_OBJECT
public:
    using Event = std::function<void(TExplorerButton* sender)>;

    static constexpr int kDefaultWidth = 50;
    static constexpr int kDefaultHeight = 40;

    explicit TExplorerButton(QWidget* parent = nullptr);
    ~TExplorerButton() override;

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);

    QImage Bitmap() const { return m_bitmap.original; }
    void setBitmap(const QImage& bitmap);
    QImage NoFocusBitmap() const { return m_noFocusBitmap.original; }
    void setNoFocusBitmap(const QImage& bitmap);
    QImage DisabledBitmap() const { return m_disabledBitmap.original; }
    void setDisabledBitmap(const QImage& bitmap);
    // The shaded picture made from Bitmap, shown while the mouse is elsewhere
    // when boMonoDisplay is set and NoFocusBitmap is empty.
    QImage IBitmap() const { return m_iBitmap.original; }
    void setIBitmap(const QImage& bitmap);

    TExplorerButtonOptions Options() const { return m_options; }
    void setOptions(TExplorerButtonOptions options);
    TButtonLayout Layout() const { return m_layout; }
    void setLayout(TButtonLayout layout);
    TButtonAlignment Alignment() const { return m_alignment; }
    void setAlignment(TButtonAlignment alignment);
    bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool wordWrap);
    TBevelStyle BevelStyle() const { return m_bevelStyle; }
    void setBevelStyle(TBevelStyle style);
    TShadingType ShadingType() const { return m_shadingType; }
    void setShadingType(TShadingType type);
    bool ShowDownPattern() const { return m_showDownPattern; }
    void setShowDownPattern(bool show);
    // Defaults to the window-text colour of the button's palette.
    QColor UnselectedFontColor() const;
    void setUnselectedFontColor(const QColor& color);

    int GroupIndex() const { return m_groupIndex; }
    void setGroupIndex(int groupIndex);
    bool Down() const { return m_down; }
    // Only a grouped button can be down; putting it down puts the other
    // buttons of its group up.
    void setDown(bool down);
    bool AllowAllUp() const { return m_allowAllUp; }
    // Copied to every button of the same group on the same parent.
    void setAllowAllUp(bool allow);

    QMenu* DropDownMenu() const { return m_dropDownMenu; }
    void setDropDownMenu(QMenu* menu);
    // Opened by a right click on the button.
    QMenu* PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu* menu);

    QString Hint() const { return toolTip(); }
    void setHint(const QString& hint) { setToolTip(hint); }
    bool ShowHint() const { return m_showHint; }
    void setShowHint(bool show) { m_showHint = show; }

    bool Enabled() const { return isEnabled(); }
    void setEnabled(bool enabled) { QWidget::setEnabled(enabled); }

    // States a user sees: hot while the mouse is over the button, pressed
    // while the left button that went down on it is held.
    bool isHot() const { return m_hot; }
    bool isPressed() const { return m_pressed; }

    QSize sizeHint() const override { return {kDefaultWidth, kDefaultHeight}; }

    // The shaded four-tone version of a picture: each pixel that is not
    // transparent becomes white, highlight, shadow or black by the sum of its
    // red, green and blue bytes against the thresholds of the shading type.
    static QImage shadeImage(const QImage& bitmap, TShadingType type, QColor highlight,
                             QColor shadow);
    // The caption without its accelerator markers ("&&" stays one "&").
    static QString stripAccelerators(const QString& caption);

    Event OnEnter;
    Event OnExit;
    Event OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Placement;

    void press();
    void release(bool overButton);
    void openDropDownMenu();
    void openPopupMenu(const QPoint& globalPos);
    void setHot(bool hot);
    bool cursorIsOver() const;
    void regenerateShadedBitmap();
    void updateAccelerator();
    void updateIconOnlyHint(TExplorerButtonOptions old);
    void putGroupUp();
    template <typename Fn> void forEachGroupSibling(Fn fn);

    bool hasCaption() const;
    bool showsPopupMark() const;
    QSize measureCaption(int width) const;
    Placement place(QSize pictureSize) const;
    QImage pictureToShow(bool pressedLook) const;
    void paintDownPattern(QPainter& painter);
    void paintBevel(QPainter& painter, bool pressedLook);
    void paintCaption(QPainter& painter, QRect rect, const QColor& color);
    void paintPopupMark(QPainter& painter, const Placement& placement, bool pressedLook,
                        const QColor& color);
    int captionFlags() const;

    QString m_caption;
    // A picture as given, and the same picture ready to draw with its
    // transparent colour turned into real transparency.
    struct Picture {
        QImage original;
        QImage keyed;
        void assign(const QImage& image);
    };

    Picture m_bitmap;
    Picture m_noFocusBitmap;
    Picture m_disabledBitmap;
    Picture m_iBitmap;
    TExplorerButtonOptions m_options = {boMonoDisplay, boPopupMark, boShowBevel};
    TButtonLayout m_layout = blBitmapTop;
    TButtonAlignment m_alignment = baCenter;
    bool m_wordWrap = false;
    TBevelStyle m_bevelStyle = bsRaised;
    TShadingType m_shadingType = stMedium;
    bool m_showDownPattern = true;
    QColor m_unselectedFontColor;
    int m_groupIndex = 0;
    bool m_down = false;
    bool m_allowAllUp = false;
    QPointer<QMenu> m_dropDownMenu;
    QPointer<QMenu> m_popupMenu;
    bool m_showHint = true;
    bool m_hot = false;
    bool m_pressed = false;
    int m_shortcutId = 0;
};
