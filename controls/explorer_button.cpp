#include "controls/explorer_button.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QHash>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QWindow>

namespace {

// Space left free around the caption while it is measured, and between
// the content and the edge it is aligned to.
constexpr int kCaptionMargin = 4;
constexpr int kEdgeInset = 3;
// A wrapped caption ends this far from the right edge.
constexpr int kWrappedRightInset = 5;
constexpr int kPictureCaptionGap = 2;
// Room beside the picture for the drop-down triangle, and its distance from
// the picture (one more while the button is pressed).
constexpr int kPopupMarkRoom = 10;
constexpr int kPopupMarkOffset = 3;
constexpr int kPopupMarkRows = 4; // 7, 5, 3 and 1 pixels wide
constexpr int kPopupMarkWidth = 2 * kPopupMarkRows - 1;
constexpr int kPatternSize = 8;

struct ShadingThresholds {
    int white;
    int highlight;
    int shadow;
};

// Indexed by TShadingType: sums of red, green and blue above each threshold
// give white, button highlight and button shadow; the rest turns black.
constexpr ShadingThresholds kShading[] = {
    {205, 127, 68},  // stLight
    {553, 231, 57},  // stMedium
    {335, 274, 175}, // stDark
};

constexpr QRgb kClear = 0x00000000;

bool isTransparent(QRgb pixel, QRgb key)
{
    return qAlpha(pixel) == 0 || pixel == key;
}

// A one-colour copy of a keyed picture: every visible pixel takes the colour
// and keeps its opacity.
QImage silhouette(const QImage& keyed, const QColor& color)
{
    QImage result = keyed.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            line[x] = qRgba(color.red(), color.green(), color.blue(), qAlpha(line[x]));
    }
    return result;
}

// The dither shown on a button that stays down: button face with highlight
// pixels where column and row parity agree. Made once per colour pair.
QImage downPattern(const QColor& face, const QColor& highlight)
{
    static QHash<QPair<QRgb, QRgb>, QImage> cache;
    const auto key = qMakePair(face.rgba(), highlight.rgba());
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QImage pattern(kPatternSize, kPatternSize, QImage::Format_RGB32);
    for (int y = 0; y < kPatternSize; ++y)
        for (int x = 0; x < kPatternSize; ++x)
            pattern.setPixel(x, y, (x % 2 == y % 2 ? highlight : face).rgb());
    cache.insert(key, pattern);
    return pattern;
}

} // namespace

struct TExplorerButton::Placement {
    QRect picture; // where the picture is drawn (without the popup-mark room)
    QRect caption;
};

void TExplorerButton::Picture::assign(const QImage& image)
{
    original = image;
    if (image.isNull()) {
        keyed = QImage();
        return;
    }
    keyed = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = keyed.pixel(0, 0);
    for (int y = 0; y < keyed.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
            if (isTransparent(line[x], key))
                line[x] = kClear;
    }
}

TExplorerButton::TExplorerButton(QWidget* parent) : QWidget(parent)
{
    // Like a tool-strip button it never takes the keyboard focus; it reacts
    // to its accelerator instead.
    setFocusPolicy(Qt::NoFocus);
    resize(kDefaultWidth, kDefaultHeight);
}

TExplorerButton::~TExplorerButton() = default;

// --- properties -----------------------------------------------------------

void TExplorerButton::setCaption(const QString& caption)
{
    m_caption = caption;
    updateAccelerator();
    update();
}

void TExplorerButton::setBitmap(const QImage& bitmap)
{
    m_bitmap.assign(bitmap);
    regenerateShadedBitmap();
    update();
}

void TExplorerButton::setNoFocusBitmap(const QImage& bitmap)
{
    m_noFocusBitmap.assign(bitmap);
    update();
}

void TExplorerButton::setDisabledBitmap(const QImage& bitmap)
{
    m_disabledBitmap.assign(bitmap);
    update();
}

void TExplorerButton::setIBitmap(const QImage& bitmap)
{
    m_iBitmap.assign(bitmap);
    update();
}

void TExplorerButton::setOptions(TExplorerButtonOptions options)
{
    TExplorerButtonOptions old = m_options;
    m_options = options;
    updateIconOnlyHint(old);
    update();
}

void TExplorerButton::setLayout(TButtonLayout layout)
{
    m_layout = layout;
    update();
}

void TExplorerButton::setAlignment(TButtonAlignment alignment)
{
    m_alignment = alignment;
    update();
}

void TExplorerButton::setWordWrap(bool wordWrap)
{
    m_wordWrap = wordWrap;
    update();
}

void TExplorerButton::setBevelStyle(TBevelStyle style)
{
    m_bevelStyle = style;
    update();
}

void TExplorerButton::setShadingType(TShadingType type)
{
    m_shadingType = type;
    regenerateShadedBitmap();
    update();
}

void TExplorerButton::setShowDownPattern(bool show)
{
    m_showDownPattern = show;
    update();
}

QColor TExplorerButton::UnselectedFontColor() const
{
    return m_unselectedFontColor.isValid() ? m_unselectedFontColor
                                           : palette().color(QPalette::WindowText);
}

void TExplorerButton::setUnselectedFontColor(const QColor& color)
{
    m_unselectedFontColor = color;
    update();
}

void TExplorerButton::setGroupIndex(int groupIndex)
{
    m_groupIndex = groupIndex;
    if (groupIndex == 0)
        setDown(false);
}

void TExplorerButton::setDown(bool down)
{
    if (m_groupIndex == 0)
        down = false;
    if (down == m_down)
        return;
    m_down = down;
    if (down)
        putGroupUp();
    update();
}

void TExplorerButton::setAllowAllUp(bool allow)
{
    m_allowAllUp = allow;
    if (m_groupIndex != 0)
        forEachGroupSibling([allow](TExplorerButton* other) { other->m_allowAllUp = allow; });
}

void TExplorerButton::setDropDownMenu(QMenu* menu)
{
    m_dropDownMenu = menu;
    update();
}

void TExplorerButton::setPopupMenu(QMenu* menu)
{
    m_popupMenu = menu;
    // The button opens its own menu on the right button's release, so the
    // parent must not open another one on the press.
    setContextMenuPolicy(menu ? Qt::PreventContextMenu : Qt::DefaultContextMenu);
}

template <typename Fn> void TExplorerButton::forEachGroupSibling(Fn fn)
{
    if (!parentWidget())
        return;
    const auto siblings =
        parentWidget()->findChildren<TExplorerButton*>(QString(), Qt::FindDirectChildrenOnly);
    for (TExplorerButton* other : siblings)
        if (other != this && other->m_groupIndex == m_groupIndex)
            fn(other);
}

void TExplorerButton::putGroupUp()
{
    forEachGroupSibling([](TExplorerButton* other) {
        if (other->m_down) {
            other->m_down = false;
            other->update();
        }
    });
}

QString TExplorerButton::stripAccelerators(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (++i == caption.size())
                break;
        }
        plain += caption[i];
    }
    return plain;
}

void TExplorerButton::updateIconOnlyHint(TExplorerButtonOptions old)
{
    const bool iconOnly = m_options.testFlag(boIconOnly);
    if (iconOnly == old.testFlag(boIconOnly))
        return;
    const QString plain = stripAccelerators(m_caption);
    if (iconOnly && toolTip().isEmpty()) {
        setToolTip(plain);
        m_showHint = true;
    } else if (!iconOnly && !plain.isEmpty() && toolTip() == plain) {
        setToolTip(QString());
        m_showHint = false;
    }
}

void TExplorerButton::updateAccelerator()
{
    if (m_shortcutId != 0)
        releaseShortcut(m_shortcutId);
    m_shortcutId = 0;
    const QKeySequence key = QKeySequence::mnemonic(m_caption);
    if (!key.isEmpty())
        m_shortcutId = grabShortcut(key);
}

void TExplorerButton::regenerateShadedBitmap()
{
    if (!m_noFocusBitmap.original.isNull())
        return;
    m_iBitmap.assign(m_bitmap.original.isNull() ? QImage()
                                                : shadeImage(m_bitmap.original, m_shadingType,
                                                             palette().color(QPalette::Light),
                                                             palette().color(QPalette::Dark)));
}

QImage TExplorerButton::shadeImage(const QImage& bitmap, TShadingType type, QColor highlight,
                                   QColor shadow)
{
    QImage result = bitmap.convertToFormat(QImage::Format_ARGB32);
    if (result.isNull())
        return result;
    const ShadingThresholds& limits = kShading[type];
    const QRgb key = result.pixel(0, 0);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QRgb pixel = line[x];
            // Transparent pixels become fully clear, so that a shaded pixel
            // that happens to match the old key colour stays visible.
            if (isTransparent(pixel, key)) {
                line[x] = kClear;
                continue;
            }
            const int sum = qRed(pixel) + qGreen(pixel) + qBlue(pixel);
            const QColor tone = sum > limits.white       ? QColor(Qt::white)
                                : sum > limits.highlight ? highlight
                                : sum > limits.shadow    ? shadow
                                                         : QColor(Qt::black);
            line[x] = qRgba(tone.red(), tone.green(), tone.blue(), qAlpha(pixel));
        }
    }
    return result;
}

// --- painting -------------------------------------------------------------

bool TExplorerButton::hasCaption() const
{
    return !m_options.testFlag(boIconOnly) && !m_caption.isEmpty();
}

bool TExplorerButton::showsPopupMark() const
{
    return m_options.testFlag(boPopupMark) && m_dropDownMenu;
}

int TExplorerButton::captionFlags() const
{
    int flags = Qt::TextShowMnemonic | Qt::AlignTop;
    if (m_wordWrap)
        flags |= Qt::TextWordWrap;
    switch (m_alignment) {
    case baLeft:
        return flags | Qt::AlignLeft;
    case baRight:
        return flags | Qt::AlignRight;
    case baCenter:
        break;
    }
    return flags | Qt::AlignHCenter;
}

QSize TExplorerButton::measureCaption(int width) const
{
    if (!hasCaption())
        return {0, 0};
    const QFontMetrics metrics(font());
    width = std::max(width, 1);
    if (!m_wordWrap) {
        QSize size = metrics.size(Qt::TextShowMnemonic, m_caption);
        return {std::min(size.width(), width), size.height()};
    }
    // A trailing blank gives the last word of a wrapped caption the same
    // breathing room as the others.
    QRect bounds =
        metrics.boundingRect(QRect(0, 0, width, 1 << 16), captionFlags(), m_caption + ' ');
    return {std::min(bounds.width(), width), bounds.height()};
}

TExplorerButton::Placement TExplorerButton::place(QSize pictureSize) const
{
    const int w = width();
    const int h = height();
    const bool hasPicture = !pictureSize.isEmpty();
    const bool sideBySide = m_layout == blBitmapLeft || m_layout == blBitmapRight;
    const int boxWidth =
        hasPicture ? pictureSize.width() + (showsPopupMark() ? kPopupMarkRoom : 0) : 0;
    const int boxHeight = hasPicture ? pictureSize.height() : 0;
    const int gap = hasPicture && hasCaption() ? kPictureCaptionGap : 0;

    int captionRoom = w - kCaptionMargin;
    if (sideBySide)
        captionRoom -= boxWidth + gap;
    QSize caption = measureCaption(captionRoom);

    auto alignedX = [&](int contentWidth) {
        switch (m_alignment) {
        case baLeft:
            return kEdgeInset;
        case baRight:
            return w - kEdgeInset - contentWidth;
        case baCenter:
            break;
        }
        return (w - contentWidth) / 2;
    };

    QPoint pictureAt;
    QPoint captionAt;
    if (sideBySide) {
        const int left = alignedX(boxWidth + gap + caption.width());
        const bool pictureFirst = m_layout == blBitmapLeft;
        pictureAt = {pictureFirst ? left : left + caption.width() + gap, (h - boxHeight) / 2};
        captionAt = {pictureFirst ? left + boxWidth + gap : left, (h - caption.height()) / 2};
    } else {
        const int top = (h - (boxHeight + gap + caption.height())) / 2;
        const bool pictureFirst = m_layout == blBitmapTop;
        pictureAt = {alignedX(boxWidth), pictureFirst ? top : top + caption.height() + gap};
        captionAt = {alignedX(caption.width()), pictureFirst ? top + boxHeight + gap : top};
    }

    QRect captionRect(captionAt, caption);
    if (m_wordWrap && captionRect.right() >= w - kWrappedRightInset) {
        // Narrowing may wrap the caption once more; measure it again so that
        // no line is cut off at the bottom.
        captionRect.setRight(w - kWrappedRightInset - 1);
        const QSize narrowed = measureCaption(captionRect.width());
        captionRect.setSize(narrowed);
        if (!sideBySide)
            captionRect.moveTop(captionRect.top() - (narrowed.height() - caption.height()) / 2);
    }
    return {QRect(pictureAt, pictureSize), captionRect};
}

QImage TExplorerButton::pictureToShow(bool pressedLook) const
{
    if (!isEnabled()) {
        if (!m_disabledBitmap.keyed.isNull())
            return m_disabledBitmap.keyed;
        return {};
    }
    if (!pressedLook && !m_hot && m_options.testFlag(boMonoDisplay)) {
        if (!m_noFocusBitmap.keyed.isNull())
            return m_noFocusBitmap.keyed;
        if (!m_iBitmap.keyed.isNull())
            return m_iBitmap.keyed;
    }
    return m_bitmap.keyed;
}

void TExplorerButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool enabled = isEnabled();
    const bool pressedLook = enabled && ((m_pressed && m_hot) || m_down);

    if (m_down && m_showDownPattern)
        paintDownPattern(painter);

    // A disabled button without its own picture shows Bitmap embossed.
    const bool embossed = !enabled && m_disabledBitmap.keyed.isNull();
    const QImage picture = embossed ? m_bitmap.keyed : pictureToShow(pressedLook);
    const Placement placement = place(picture.size());
    const QColor highlight = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor fontColor = palette().color(QPalette::WindowText);

    if (pressedLook) {
        paintBevel(painter, true);
        const QPoint shift = m_bevelStyle == bsRaised ? QPoint(1, 1) : QPoint(0, 0);
        paintCaption(painter, placement.caption.translated(shift), fontColor);
        painter.drawImage(placement.picture.topLeft() + shift, picture);
        paintPopupMark(painter, placement, true, fontColor);
    } else if (enabled) {
        if (m_hot)
            paintBevel(painter, false);
        const QColor captionColor = m_hot ? fontColor : UnselectedFontColor();
        const QPoint shift = m_bevelStyle == bsLowered ? QPoint(1, 1) : QPoint(0, 0);
        paintCaption(painter, placement.caption.translated(shift), captionColor);
        painter.drawImage(placement.picture.topLeft(), picture);
        paintPopupMark(painter, placement, false, captionColor);
    } else {
        if (m_down)
            paintBevel(painter, true);
        if (embossed) {
            painter.drawImage(placement.picture.topLeft() + QPoint(1, 1),
                              silhouette(picture, highlight));
            painter.drawImage(placement.picture.topLeft(), silhouette(picture, shadow));
        } else {
            painter.drawImage(placement.picture.topLeft(), picture);
        }
        paintCaption(painter, placement.caption.translated(1, 1), highlight);
        paintCaption(painter, placement.caption, shadow);
    }
}

void TExplorerButton::paintDownPattern(QPainter& painter)
{
    painter.fillRect(rect(), QBrush(downPattern(palette().color(QPalette::Button),
                                                palette().color(QPalette::Light))));
}

void TExplorerButton::paintBevel(QPainter& painter, bool pressedLook)
{
    if (!m_options.testFlag(boShowBevel))
        return;
    QColor topLeft = palette().color(QPalette::Light);
    QColor bottomRight = palette().color(QPalette::Dark);
    if (pressedLook != (m_bevelStyle == bsLowered))
        std::swap(topLeft, bottomRight);
    const int right = width() - 1;
    const int bottom = height() - 1;
    painter.fillRect(0, 0, width(), 1, topLeft);
    painter.fillRect(0, 0, 1, height(), topLeft);
    painter.fillRect(0, bottom, width(), 1, bottomRight);
    painter.fillRect(right, 0, 1, height(), bottomRight);
}

void TExplorerButton::paintCaption(QPainter& painter, QRect rect, const QColor& color)
{
    if (!hasCaption() || rect.isEmpty())
        return;
    painter.save();
    painter.setPen(color);
    painter.setClipRect(rect.intersected(this->rect()));
    QString text = m_caption;
    if (m_wordWrap) {
        text += ' ';
    } else {
        // A caption too long for its room ends in an ellipsis.
        text = fontMetrics().elidedText(text, Qt::ElideRight, rect.width(), Qt::TextShowMnemonic);
    }
    painter.drawText(rect, captionFlags(), text);
    painter.restore();
}

void TExplorerButton::paintPopupMark(QPainter& painter, const Placement& placement,
                                     bool pressedLook, const QColor& color)
{
    if (!showsPopupMark())
        return;
    const int offset = kPopupMarkOffset + (pressedLook ? 1 : 0);
    const QRect& anchor = placement.picture.isEmpty() ? placement.caption : placement.picture;
    const int left = anchor.right() + 1 + offset;
    const int top = anchor.top() + (anchor.height() - kPopupMarkRows) / 2;
    for (int row = 0; row < kPopupMarkRows; ++row)
        painter.fillRect(left + row, top + row, kPopupMarkWidth - 2 * row, 1, color);
}

// --- mouse and keys -------------------------------------------------------

bool TExplorerButton::cursorIsOver() const
{
    return isVisible() && rect().contains(mapFromGlobal(QCursor::pos()));
}

void TExplorerButton::setHot(bool hot)
{
    if (hot == m_hot)
        return;
    m_hot = hot;
    update();
}

void TExplorerButton::press()
{
    QWidget* form = window();
    if (!form->isActiveWindow()) {
        form->raise();
        form->activateWindow();
    }
    if (!isEnabled() || !isVisible())
        return;
    m_pressed = true;
    m_hot = true;
    update();
    if (m_dropDownMenu)
        openDropDownMenu();
}

void TExplorerButton::openDropDownMenu()
{
    QPointer<TExplorerButton> alive(this);
    m_dropDownMenu->exec(mapToGlobal(QPoint(0, height())));
    if (!alive)
        return;
    // The menu swallowed the release; whatever the mouse did meanwhile is
    // over, so the state is taken afresh from where the cursor is now.
    m_pressed = false;
    m_hot = cursorIsOver();
    update();
}

void TExplorerButton::release(bool overButton)
{
    m_pressed = false;
    m_hot = overButton;
    if (m_hot && m_groupIndex != 0) {
        if (!m_down) {
            m_down = true;
            putGroupUp();
        } else if (m_allowAllUp) {
            m_down = false;
        }
    }
    update();
    if (m_hot && !m_dropDownMenu && OnClick)
        OnClick(this);
}

void TExplorerButton::openPopupMenu(const QPoint& globalPos)
{
    QPointer<TExplorerButton> alive(this);
    m_popupMenu->exec(globalPos);
    if (!alive)
        return;
    m_pressed = false;
    m_hot = cursorIsOver();
    update();
}

void TExplorerButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        press();
    else
        QWidget::mousePressEvent(event);
}

void TExplorerButton::mouseMoveEvent(QMouseEvent* event)
{
    // While the button is held the mouse belongs to it; the bevel follows
    // whether the cursor is still over the button.
    if (m_pressed)
        setHot(rect().contains(event->position().toPoint()));
}

void TExplorerButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressed) {
        release(rect().contains(event->position().toPoint()));
    } else if (event->button() == Qt::RightButton && m_popupMenu) {
        openPopupMenu(event->globalPosition().toPoint());
    } else {
        QWidget::mouseReleaseEvent(event);
    }
}

void TExplorerButton::enterEvent(QEnterEvent*)
{
    setHot(true);
    if (OnEnter)
        OnEnter(this);
}

void TExplorerButton::leaveEvent(QEvent*)
{
    setHot(false);
    if (OnExit)
        OnExit(this);
}

void TExplorerButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_pressed = false;
        m_hot = false;
        if (m_groupIndex == 0)
            m_down = false;
        update();
    } else if (event->type() == QEvent::PaletteChange) {
        regenerateShadedBitmap();
    }
    QWidget::changeEvent(event);
}

bool TExplorerButton::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && !m_showHint) {
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::Shortcut &&
        static_cast<QShortcutEvent*>(event)->shortcutId() == m_shortcutId) {
        if (isEnabled() && isVisible()) {
            QPointer<TExplorerButton> alive(this);
            m_hot = true;
            press();
            QCoreApplication::processEvents();
            if (alive && m_pressed)
                release(true);
            if (alive && !cursorIsOver())
                setHot(false);
        }
        return true;
    }
    return QWidget::event(event);
}
