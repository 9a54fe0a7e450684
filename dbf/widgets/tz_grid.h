#pragma once

#include "dbf/dataset/tz_data_link.h"
#include "dbf/dataset/tz_odbf.h"
#include "dbf/widgets/tz_column.h"

#include <functional>
#include <QAbstractScrollArea>
#include <QColor>
#include <QLineEdit>
#include <QPointer>

class QAction;
class QComboBox;
class TTzInplaceEditor;

enum TTzGridOption {
    dgEditing = 0x1,
    dgAlwaysShowEditor = 0x2,
    dgTitles = 0x4,
    dgIndicator = 0x8,
    dgColumnResize = 0x10,
    dgColLines = 0x20,
    dgRowLines = 0x40,
    dgTabs = 0x80,
    dgRowSelect = 0x100,
    dgAlwaysShowSelection = 0x200,
    dgConfirmDelete = 0x400,
    dgConfirmRestore = 0x800,
};
Q_DECLARE_FLAGS(TTzGridOptions, TTzGridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TTzGridOptions)

// How a logical field is drawn.
enum TTzBooleanBox {
    bbCheckBox,
    bbCheckMark,
    bbText,
    bbFillBox,
    bbFillBoxRed,
    bbRButton,
    bbRButtonRed,
    bbDot,
    bbDotRed
};

class TTzGrid;
using TTzDepressTitleEvent = std::function<void(TTzGrid* sender, TTzColumn* curColumn)>;
using TTzGridNotifyEvent = std::function<void(TTzGrid* sender)>;

// A grid of the records of a data source in their current order, one row
// per record and one column per entry of Columns. It only ever reads the
// records it shows: the rows are a window around the current record, and
// scrolling moves the current record, so a table of any size costs the same.
class TTzGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TTzGrid(QWidget* parent = nullptr);
    ~TTzGrid() override;

    TTzDataSource* DataSource() const { return m_link.DataSource(); }
    void setDataSource(TTzDataSource* source);

    // Columns define what is shown; without any, every field gets one.
    TTzColumns& Columns() { return m_columns; }
    // Call after changing the columns.
    void LayoutChanged();
    // The column layout as "key=value" lines, a "cvColumn=N" line opening
    // each column, followed by "cvFieldNameStr", "cvTitleCaptionStr",
    // "cvWidthStr", "cvColorStr", "cvFontStr", "cvAlignmentStr",
    // "cvReadOnlyStr", "cvTitleColorStr", "cvTitleFontStr" and
    // "cvTitleAlignmentStr". Setting it replaces the columns; unknown keys
    // and malformed lines are skipped.
    std::vector<std::string> savedColumns() const;
    void setSavedColumns(const std::vector<std::string>& lines);

    TTzGridOptions Options() const { return m_options; }
    void setOptions(TTzGridOptions options);
    TTzBooleanBox BooleanBox() const { return m_booleanBox; }
    void setBooleanBox(TTzBooleanBox box);
    QColor DeletedColor() const { return m_deletedColor; }
    void setDeletedColor(const QColor& color);
    QColor DeletedTextColor() const { return m_deletedTextColor; }
    void setDeletedTextColor(const QColor& color);
    bool DepressDisabled() const { return m_depressDisabled; }
    void setDepressDisabled(bool disabled) { m_depressDisabled = disabled; }

    // Raised when the user clicks a column title (unless DepressDisabled).
    // The clicked title stays drawn pressed until ReleaseTitle() or the next
    // title click, so a handler that orders by the column can show it.
    TTzDepressTitleEvent OnDepressTitle;
    // The background of a record's row; an invalid colour keeps the normal
    // one. Rows marked deleted and the selection keep their own colours.
    std::function<QColor(const TTzRowImage& row)> OnRowColor;
    TTzColumn* DepressedColumn() const;
    void ReleaseTitle();

    // The column with the cell cursor.
    int SelectedIndex() const { return m_selectedColumn; }
    void setSelectedIndex(int column);
    int VisibleRowCount() const;
    int DefaultRowHeight() const { return m_rowHeight; }

    // What the grid shows now (for the window's own code and for tests).
    // While a record is being inserted its row has record number 0.
    const TTzRowWindow& Rows() const { return m_window; }

    // Editing (dgEditing). The editor of the selected cell opens with F2,
    // Enter, a double click or a typed character; Tab and the horizontal
    // moves keep the record in edit state, Enter or leaving the row posts it,
    // Esc cancels. Down past the last record, Tab past its last cell and the
    // Insert key append: a new row shows the record being inserted, which is
    // written when it is posted and dropped when it is left untouched.
    // Read-only columns take no edits; a column with a pick list edits with
    // a drop-down offering it (cbsAuto); a cbsEllipsis column's editor has an
    // ellipsis button that raises OnEditButtonClick.
    bool EditorMode() const;
    void ShowEditor(const QString& initial = QString(), bool replace = false);
    // The text part of the open editor, the drop-down of a pick-list column,
    // the ellipsis button's action; nil while no editor was made.
    QLineEdit* InplaceEditor() const;
    QComboBox* PickListEditor() const;
    QAction* EditButton() const;
    TTzGridNotifyEvent OnEditButtonClick;

    // The display text of a cell of the shown rows, as painted.
    QString CellText(int row, int column) const;
    // Column title geometry in viewport coordinates.
    QRect TitleRect(int column) const;
    QRect CellRect(int row, int column) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct ColumnMap {
        TTzColumn* column = nullptr;
        int fieldNo = 0; // 0: no such field
        char type = 'C';
    };

    TTzODbf* table() const;
    TTzDataSet* dataSet() const { return m_link.DataSet(); }
    void dataSetChanged();
    void activeChanged();
    void mapColumns();
    void readRows();
    void updateScrollBar();
    void scrollBarAction(int action);
    void scrollBarReleased();
    void readRowsInserting(TTzODbf* t, int visible);
    void refreshCurrentRow();
    void editingChanged();
    bool moveBy(long distance);
    bool moveDown();
    void moveToRow(int row);
    bool inserting() const;
    bool editing() const;
    void startAppend();
    void leaveRow();
    void toggleLogical();
    bool canEdit(int column) const;
    TTzInplaceEditor* editor();
    void storeEditorValue();
    void closeEditor();
    void commitCell();
    void finishEditing(bool post);
    bool editorKey(QKeyEvent* key);
    void editButtonClick();
    void deleteOrRestore();
    int titleHeight() const;
    int indicatorWidth() const;
    int columnLeft(int column) const;
    int columnAt(int x) const;
    int rowAt(int y) const;
    int resizeBorderAt(const QPoint& pos) const;
    bool isNaturalOrder() const;
    void paintTitles(QPainter& painter);
    void paintIndicator(QPainter& painter, int row, const QRect& rect);
    void paintCell(QPainter& painter, int row, int column, const QRect& rect);
    void paintBoolean(QPainter& painter, const QRect& rect, bool value, const QColor& text);

    TTzDataLink m_link;
    TTzColumns m_columns;
    TTzColumns m_defaultColumns;
    std::vector<ColumnMap> m_map;
    TTzGridOptions m_options;
    TTzBooleanBox m_booleanBox = bbCheckBox;
    QColor m_deletedColor;
    QColor m_deletedTextColor;
    bool m_depressDisabled = false;
    TTzRowWindow m_window;
    int m_activeRow = 0;
    int m_selectedColumn = 0;
    int m_rowHeight = 18;
    int m_depressed = -1;
    int m_pressing = -1;
    int m_resizing = -1;
    int m_resizeStartX = 0;
    int m_resizeStartWidth = 0;
    long m_positionGuess = 0;
    bool m_settingBar = false;
    QPointer<TTzInplaceEditor> m_editor;
    int m_editorColumn = -1;
    // The row of a record being inserted is drawn after this record.
    long m_insertAnchor = 0;
};
