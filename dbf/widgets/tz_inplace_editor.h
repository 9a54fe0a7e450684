#pragma once

#include <functional>
#include <QStringList>
#include <QWidget>

class QAction;
class QComboBox;
class QKeyEvent;
class QLineEdit;

// The editor over one grid cell. It is a plain line edit, or a drop-down
// offering the column's pick list (the user may still type another value),
// and it can carry an ellipsis button. It owns no data: the grid reads its
// text and decides what the keys that leave the cell mean.
class TTzInplaceEditor : public QWidget {
    Q_OBJECT
public:
    explicit TTzInplaceEditor(QWidget* parent);

    // Shapes the editor for the cell about to be edited: with a pick list a
    // drop-down is shown, else a line edit, with the ellipsis button when
    // `ellipsis` is set. `maxLength` bounds what can be typed.
    void setup(const QStringList& pickList, bool ellipsis, int maxLength);
    QString text() const;
    void setText(const QString& text, bool selectAll);

    // The line edit that takes the typing (the drop-down's own with a pick
    // list), the drop-down while one is shown, the ellipsis action.
    QLineEdit* lineEdit() const;
    QComboBox* pickList() const;
    QAction* editButton() const { return m_ellipsis; }

    // Keys that leave the cell or the editor (Esc, Enter, Tab, the vertical
    // moves): the handler returns true when it dealt with the key.
    std::function<bool(QKeyEvent* key)> OnKey;
    // The ellipsis button was pressed.
    std::function<void()> OnEditButtonClick;
    // An entry of the pick list was chosen.
    std::function<void()> OnPicked;
    // The focus went to another control of the same window.
    std::function<void()> OnFocusLeft;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_line = nullptr;
    QComboBox* m_combo = nullptr;
    QAction* m_ellipsis = nullptr;
};
