#include "dbf/widgets/tz_navigator.h"

#include "dbf/dataset/tz_data_set.h"
#include "dbf/dataset/tz_odbf.h"
#include "platform/message_box.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int kGlyphSize = 16;
constexpr int kButtonWidth = 25;
constexpr int kButtonHeight = 25;

// The hints, under their string-table numbers.
struct ButtonText {
    int id;
    const char* hint;
};
constexpr std::array<ButtonText, TTzNavigator::kButtonCount> kHints = {{
    {57864, "Go to first record"},
    {57865, "Go to prior record"},
    {57866, "Go to next record"},
    {57867, "Go to last record"},
    {57868, "Insert a record"},
    {57869, "Delete/Restore record"},
    {57870, "Edit record"},
    {57871, "Save changes"},
    {57872, "Cancel edit"},
    {57873, "Refresh record"},
    {57875, "Pack Database"},
}};

// Restores the normal cursor however the work under the hourglass ends.
class HourglassCursor {
public:
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

QPainterPath triangle(qreal tipX, qreal baseX, qreal cy, qreal half)
{
    QPainterPath path;
    path.moveTo(baseX, cy - half);
    path.lineTo(tipX, cy);
    path.lineTo(baseX, cy + half);
    path.closeSubpath();
    return path;
}

// Draws the glyph of a button in one colour.
QPixmap glyph(TTzNavigateBtn button, const QColor& color)
{
    QPixmap pixmap(kGlyphSize, kGlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const qreal c = kGlyphSize / 2.0;
    switch (button) {
    case nbFirst:
        p.drawRect(QRectF(3, 3.5, 2, 9));
        p.drawPath(triangle(5.5, 11.5, c, 4.5));
        break;
    case nbPrior:
        p.drawPath(triangle(4.5, 10.5, c, 4.5));
        break;
    case nbNext:
        p.drawPath(triangle(11.5, 5.5, c, 4.5));
        break;
    case nbLast:
        p.drawPath(triangle(10.5, 4.5, c, 4.5));
        p.drawRect(QRectF(11, 3.5, 2, 9));
        break;
    case nbInsert:
        p.drawRect(QRectF(7, 3, 2, 10));
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case nbDelete:
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case nbEdit:
        p.setPen(QPen(color, 1.5));
        p.drawLine(QPointF(4, 12), QPointF(12, 4));
        p.drawLine(QPointF(3, 13), QPointF(5, 13));
        break;
    case nbPost:
        p.setPen(QPen(color, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(6.5, 11.5), QPointF(13, 4.5)}));
        break;
    case nbCancel:
        p.setPen(QPen(color, 2));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case nbRefresh:
        p.setPen(QPen(color, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3.5, 3.5, 9, 9), 60 * 16, 290 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(triangle(13.5, 9, 4.5, 2.5));
        break;
    case nbPack:
        p.drawRect(QRectF(3, 3, 10, 2));
        p.drawRect(QRectF(3, 7, 10, 2));
        p.drawRect(QRectF(3, 11, 10, 2));
        break;
    }
    return pixmap;
}

} // namespace

TTzNavigator::TTzNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        const auto button = TTzNavigateBtn(i);
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("navButton%1").arg(i));
        b->setFixedSize(kButtonWidth, kButtonHeight);
        b->setToolTip(Hint(button));
        b->setFocusPolicy(Qt::NoFocus);
        QIcon icon;
        icon.addPixmap(glyph(button, palette().color(QPalette::ButtonText)), QIcon::Normal);
        icon.addPixmap(glyph(button, palette().color(QPalette::Disabled, QPalette::ButtonText)),
                       QIcon::Disabled);
        b->setIcon(icon);
        b->setIconSize(QSize(kGlyphSize, kGlyphSize));
        connect(b, &QToolButton::clicked, this, [this, button] { BtnClick(button); });
        layout->addWidget(b);
        m_buttons[size_t(i)] = b;
        m_visible.insert(button);
    }
    layout->addStretch(1);
    m_link.OnActiveChanged = [this] { updateButtons(); };
    m_link.OnDataSetChanged = [this] { updateButtons(); };
    m_link.OnEditingChanged = [this] { updateButtons(); };
    updateButtons();
}

TTzNavigator::~TTzNavigator() = default;

QString TTzNavigator::Hint(TTzNavigateBtn button)
{
    return QString::fromLatin1(kHints[size_t(button)].hint);
}

void TTzNavigator::setDataSource(TTzDataSource* source)
{
    m_link.setDataSource(source);
    updateButtons();
}

void TTzNavigator::setVisibleButtons(const TTzButtonSet& buttons)
{
    m_visible = buttons;
    for (int i = 0; i < kButtonCount; ++i)
        m_buttons[size_t(i)]->setVisible(m_visible.count(TTzNavigateBtn(i)) != 0);
}

TTzODbf* TTzNavigator::table() const
{
    TTzDataSet* ds = m_link.DataSet();
    return ds && ds->Active() ? ds->Table() : nullptr;
}

void TTzNavigator::updateButtons()
{
    TTzDataSet* ds = m_link.DataSet();
    const bool active = ds && ds->Active();
    const bool editing = active && (ds->State() == dsEdit || ds->State() == dsInsert);
    const bool empty = !active || ds->IsEmpty();
    const bool browsing = active && !editing;
    const std::array<bool, kButtonCount> enabled = {
        browsing && !ds->Bof(), // nbFirst
        browsing && !ds->Bof(), // nbPrior
        browsing && !ds->Eof(), // nbNext
        browsing && !ds->Eof(), // nbLast
        browsing,               // nbInsert
        browsing && !empty,     // nbDelete
        browsing && !empty,     // nbEdit
        editing,                // nbPost
        editing,                // nbCancel
        browsing,               // nbRefresh
        browsing,               // nbPack
    };
    for (int i = 0; i < kButtonCount; ++i)
        m_buttons[size_t(i)]->setEnabled(enabled[size_t(i)]);
}

void TTzNavigator::BtnClick(TTzNavigateBtn button)
{
    TTzDataSet* ds = m_link.DataSet();
    if (!table())
        return;
    switch (button) {
    case nbFirst:
        ds->First();
        break;
    case nbPrior:
        ds->Prior();
        break;
    case nbNext:
        ds->Next();
        break;
    case nbLast:
        ds->Last();
        break;
    case nbInsert:
        ds->Insert();
        break;
    case nbDelete:
        deleteOrRestore();
        break;
    case nbEdit:
        ds->Edit();
        break;
    case nbPost:
        ds->Post();
        break;
    case nbCancel:
        ds->Cancel();
        break;
    case nbRefresh:
        ds->Refresh();
        break;
    case nbPack:
        pack();
        break;
    }
    updateButtons();
    if (OnClick)
        OnClick(this, button);
}

void TTzNavigator::deleteOrRestore()
{
    TTzDataSet* ds = m_link.DataSet();
    if (ds->IsEmpty())
        return;
    // One button does both: a record marked deleted gets its mark taken away.
    if (table()->Deleted()) {
        if (!m_confirmRestore || MessageBox::question(this, QStringLiteral("Confirm"),
                                                      QStringLiteral("Restore Record ?")))
            ds->Restore();
        return;
    }
    if (!m_confirmDelete ||
        MessageBox::question(this, QStringLiteral("Confirm"), QStringLiteral("Delete Record ?")))
        ds->Delete();
}

void TTzNavigator::pack()
{
    HourglassCursor hourglass;
    m_link.DataSet()->CheckBrowseMode();
    table()->Pack();
}
