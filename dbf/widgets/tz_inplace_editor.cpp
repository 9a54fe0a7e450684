#include "dbf/widgets/tz_inplace_editor.h"

#include <QAction>
#include <QComboBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kEllipsisSide = 16;

// Three dots, the usual face of a button that opens more choices.
QIcon ellipsisIcon(const QColor& color)
{
    QPixmap picture(kEllipsisSide, kEllipsisSide);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (int i = 0; i < 3; ++i)
        painter.drawEllipse(QPointF(3.5 + 4.5 * i, kEllipsisSide - 4.5), 1.4, 1.4);
    return QIcon(picture);
}

bool leavesTheCell(const QKeyEvent* key)
{
    switch (key->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        // Alt with an arrow opens and closes the pick list.
        return !(key->modifiers() & Qt::AltModifier);
    default:
        return false;
    }
}

} // namespace

TTzInplaceEditor::TTzInplaceEditor(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_line = new QLineEdit(this);
    m_line->setFrame(false);
    m_line->installEventFilter(this);
    m_ellipsis = m_line->addAction(ellipsisIcon(palette().color(QPalette::Text)),
                                   QLineEdit::TrailingPosition);
    m_ellipsis->setToolTip(QStringLiteral("..."));
    connect(m_ellipsis, &QAction::triggered, this, [this] {
        if (OnEditButtonClick)
            OnEditButtonClick();
    });
    m_combo = new QComboBox(this);
    m_combo->setEditable(true);
    m_combo->setFrame(false);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->installEventFilter(this);
    m_combo->lineEdit()->installEventFilter(this);
    connect(m_combo, &QComboBox::activated, this, [this] {
        if (OnPicked)
            OnPicked();
    });
    layout->addWidget(m_line);
    layout->addWidget(m_combo);
    m_combo->hide();
}

void TTzInplaceEditor::setup(const QStringList& pickList, bool ellipsis, int maxLength)
{
    const bool picking = !pickList.isEmpty();
    m_combo->setVisible(picking);
    m_line->setVisible(!picking);
    m_ellipsis->setVisible(ellipsis && !picking);
    if (picking) {
        m_combo->clear();
        m_combo->addItems(pickList);
    }
    lineEdit()->setMaxLength(maxLength);
    setFocusProxy(picking ? static_cast<QWidget*>(m_combo) : m_line);
}

QLineEdit* TTzInplaceEditor::lineEdit() const
{
    return m_combo->isVisibleTo(this) ? m_combo->lineEdit() : m_line;
}

QComboBox* TTzInplaceEditor::pickList() const
{
    return m_combo->isVisibleTo(this) ? m_combo : nullptr;
}

QString TTzInplaceEditor::text() const
{
    return lineEdit()->text();
}

void TTzInplaceEditor::setText(const QString& text, bool selectAll)
{
    if (QComboBox* combo = pickList())
        combo->setCurrentIndex(combo->findText(text));
    lineEdit()->setText(text);
    if (selectAll)
        lineEdit()->selectAll();
    else
        lineEdit()->end(false);
}

bool TTzInplaceEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool control = key->modifiers() & Qt::ControlModifier;
        if (control && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            m_ellipsis->isVisible()) {
            m_ellipsis->trigger();
            return true;
        }
        if (leavesTheCell(key) && OnKey && OnKey(key))
            return true;
    }
    if (event->type() == QEvent::FocusOut) {
        // The pick list's popup and other windows (a dialog opened by the
        // ellipsis handler) take the focus only for a while.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && OnFocusLeft)
            OnFocusLeft();
    }
    return QWidget::eventFilter(watched, event);
}
