#include "dbf/widgets/tz_grid.h"

#include "dbf/dataset/tz_messages.h"
#include "dbf/widgets/tz_inplace_editor.h"
#include "platform/ansi.h"
#include "platform/message_box.h"

#include <algorithm>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>
#include <QWheelEvent>

namespace {

constexpr int kIndicatorWidth = 12;
constexpr int kCellPadding = 2;
constexpr int kResizeGrip = 3;
constexpr int kMinColumnWidth = 8;
constexpr int kWheelRows = 3;
constexpr int kWheelStep = 120; // angle delta of one wheel notch
const QColor kLineColor(0xC0, 0xC0, 0xC0);

QString rightTrimmed(const std::string& text)
{
    size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ')
        --end;
    return platform::fromAnsi(std::string_view(text).substr(0, end));
}

} // namespace

TTzGrid::TTzGrid(QWidget* parent)
    : QAbstractScrollArea(parent),
      m_options(dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                dgTabs | dgConfirmDelete | dgConfirmRestore),
      m_deletedColor(0xE8, 0xD8, 0xD8), m_deletedTextColor(0x80, 0x00, 0x00)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(true);
    m_rowHeight = fontMetrics().height() + 4;
    m_link.OnDataSetChanged = [this] { dataSetChanged(); };
    m_link.OnRecordChanged = [this](TTzField*) { refreshCurrentRow(); };
    m_link.OnActiveChanged = [this] { activeChanged(); };
    m_link.OnEditingChanged = [this] { editingChanged(); };
    m_link.OnUpdateData = [this] { storeEditorValue(); };
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int action) { scrollBarAction(action); });
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this,
            [this] { scrollBarReleased(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
}

TTzGrid::~TTzGrid() = default;

void TTzGrid::setDataSource(TTzDataSource* source)
{
    m_link.setDataSource(source);
}

TTzODbf* TTzGrid::table() const
{
    TTzDataSet* ds = dataSet();
    return ds && ds->Active() ? ds->Table() : nullptr;
}

void TTzGrid::setOptions(TTzGridOptions options)
{
    m_options = options;
    LayoutChanged();
}

void TTzGrid::setBooleanBox(TTzBooleanBox box)
{
    m_booleanBox = box;
    viewport()->update();
}

void TTzGrid::setDeletedColor(const QColor& color)
{
    m_deletedColor = color;
    viewport()->update();
}

void TTzGrid::setDeletedTextColor(const QColor& color)
{
    m_deletedTextColor = color;
    viewport()->update();
}

TTzColumn* TTzGrid::DepressedColumn() const
{
    return m_depressed >= 0 && m_depressed < int(m_map.size()) ? m_map[size_t(m_depressed)].column
                                                               : nullptr;
}

void TTzGrid::ReleaseTitle()
{
    m_depressed = -1;
    m_pressing = -1;
    viewport()->update();
}

void TTzGrid::setSelectedIndex(int column)
{
    if (m_map.empty())
        return;
    m_selectedColumn = std::clamp(column, 0, int(m_map.size()) - 1);
    // Bring the selected column into view.
    const int left = columnLeft(m_selectedColumn) + horizontalScrollBar()->value();
    const int width = m_map[size_t(m_selectedColumn)].column->Width;
    QScrollBar* bar = horizontalScrollBar();
    const int fixed = indicatorWidth();
    if (left - fixed < bar->value())
        bar->setValue(left - fixed);
    else if (left + width > bar->value() + viewport()->width())
        bar->setValue(left + width - viewport()->width());
    viewport()->update();
}

// --- layout -----------------------------------------------------------------------------

int TTzGrid::titleHeight() const
{
    return m_options & dgTitles ? m_rowHeight + 2 : 0;
}

int TTzGrid::indicatorWidth() const
{
    return m_options & dgIndicator ? kIndicatorWidth : 0;
}

int TTzGrid::VisibleRowCount() const
{
    return std::max(1, (viewport()->height() - titleHeight()) / m_rowHeight);
}

int TTzGrid::columnLeft(int column) const
{
    int x = indicatorWidth() - horizontalScrollBar()->value();
    for (int i = 0; i < column && i < int(m_map.size()); ++i)
        x += m_map[size_t(i)].column->Width;
    return x;
}

int TTzGrid::columnAt(int x) const
{
    if (x < indicatorWidth())
        return -1;
    int left = columnLeft(0);
    for (int i = 0; i < int(m_map.size()); ++i) {
        const int right = left + m_map[size_t(i)].column->Width;
        if (x >= left && x < right)
            return i;
        left = right;
    }
    return -1;
}

int TTzGrid::rowAt(int y) const
{
    if (y < titleHeight())
        return -1;
    return (y - titleHeight()) / m_rowHeight;
}

int TTzGrid::resizeBorderAt(const QPoint& pos) const
{
    if (!(m_options & dgColumnResize) || pos.y() >= titleHeight())
        return -1;
    int right = columnLeft(0);
    for (int i = 0; i < int(m_map.size()); ++i) {
        right += m_map[size_t(i)].column->Width;
        if (std::abs(pos.x() - right) <= kResizeGrip)
            return i;
    }
    return -1;
}

QRect TTzGrid::TitleRect(int column) const
{
    if (column < 0 || column >= int(m_map.size()) || !(m_options & dgTitles))
        return {};
    return QRect(columnLeft(column), 0, m_map[size_t(column)].column->Width, titleHeight());
}

QRect TTzGrid::CellRect(int row, int column) const
{
    if (column < 0 || column >= int(m_map.size()))
        return {};
    return QRect(columnLeft(column), titleHeight() + row * m_rowHeight,
                 m_map[size_t(column)].column->Width, m_rowHeight);
}

void TTzGrid::LayoutChanged()
{
    mapColumns();
    readRows();
}

namespace {

std::string colorText(const QColor& color)
{
    return color.isValid() ? color.name().toStdString() : std::string();
}

QColor colorFrom(const std::string& text)
{
    return text.empty() ? QColor() : QColor(QString::fromStdString(text));
}

std::string fontText(bool has, const QFont& font)
{
    return has ? font.toString().toStdString() : std::string();
}

bool fontFrom(const std::string& text, QFont& font)
{
    return !text.empty() && font.fromString(QString::fromStdString(text));
}

} // namespace

std::vector<std::string> TTzGrid::savedColumns() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < m_columns.Count(); ++i) {
        const TTzColumn* c = m_columns[i];
        lines.push_back("cvColumn=" + std::to_string(i));
        lines.push_back("cvFieldNameStr=" + c->FieldName);
        lines.push_back("cvTitleCaptionStr=" + platform::toAnsi(c->Title.Caption));
        lines.push_back("cvWidthStr=" + std::to_string(c->Width));
        lines.push_back("cvColorStr=" + colorText(c->Color));
        lines.push_back("cvFontStr=" + fontText(c->hasFont, c->Font));
        lines.push_back("cvAlignmentStr=" + std::to_string(int(c->Alignment)));
        lines.push_back(std::string("cvReadOnlyStr=") + (c->ReadOnly ? "1" : "0"));
        lines.push_back("cvTitleColorStr=" + colorText(c->Title.Color));
        lines.push_back("cvTitleFontStr=" + fontText(c->Title.hasFont, c->Title.Font));
        lines.push_back("cvTitleAlignmentStr=" + std::to_string(int(c->Title.Alignment)));
    }
    return lines;
}

void TTzGrid::setSavedColumns(const std::vector<std::string>& lines)
{
    m_columns.Clear();
    TTzColumn* c = nullptr;
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "cvColumn") {
            c = m_columns.Add();
            continue;
        }
        if (!c)
            continue;
        if (key == "cvFieldNameStr")
            c->FieldName = value;
        else if (key == "cvTitleCaptionStr")
            c->Title.Caption = platform::fromAnsi(value);
        else if (key == "cvWidthStr")
            c->Width = std::max(kMinColumnWidth, std::atoi(value.c_str()));
        else if (key == "cvColorStr")
            c->Color = colorFrom(value);
        else if (key == "cvFontStr")
            c->hasFont = fontFrom(value, c->Font);
        else if (key == "cvAlignmentStr")
            c->Alignment = Qt::Alignment(std::atoi(value.c_str()));
        else if (key == "cvReadOnlyStr")
            c->ReadOnly = value == "1";
        else if (key == "cvTitleColorStr")
            c->Title.Color = colorFrom(value);
        else if (key == "cvTitleFontStr")
            c->Title.hasFont = fontFrom(value, c->Title.Font);
        else if (key == "cvTitleAlignmentStr")
            c->Title.Alignment = Qt::Alignment(std::atoi(value.c_str()));
    }
    LayoutChanged();
}

void TTzGrid::mapColumns()
{
    m_map.clear();
    TTzDataSet* ds = dataSet();
    const bool active = ds && ds->Active();
    TTzColumns* columns = &m_columns;
    if (m_columns.Count() == 0) {
        // Without declared columns every field is shown under its own name.
        m_defaultColumns.Clear();
        if (active) {
            const QFontMetrics metrics(font());
            for (const auto& field : ds->Fields()) {
                TTzColumn* c = m_defaultColumns.Add();
                c->FieldName = field->FieldName();
                c->Title.Caption = QString::fromStdString(field->FieldName()).toUpper();
                const int chars = std::clamp(field->Size(), 4, 40);
                c->Width = metrics.horizontalAdvance(QLatin1Char('n')) * chars + 2 * kCellPadding;
            }
        }
        columns = &m_defaultColumns;
    }
    for (int i = 0; i < columns->Count(); ++i) {
        ColumnMap map;
        map.column = (*columns)[i];
        if (active)
            if (TTzField* field = ds->FindField(map.column->FieldName)) {
                map.fieldNo = field->FieldNo();
                map.type = field->FieldType();
            }
        m_map.push_back(map);
    }
    if (m_selectedColumn >= int(m_map.size()))
        m_selectedColumn = std::max(0, int(m_map.size()) - 1);
    int total = indicatorWidth();
    for (const ColumnMap& map : m_map)
        total += map.column->Width;
    horizontalScrollBar()->setRange(0, std::max(0, total - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

// --- data --------------------------------------------------------------------------------

void TTzGrid::activeChanged()
{
    closeEditor();
    m_insertAnchor = 0;
    if (!table())
        m_depressed = -1;
    LayoutChanged();
}

void TTzGrid::dataSetChanged()
{
    if (EditorMode() && !editing())
        closeEditor();
    if (m_map.empty() || (m_columns.Count() == 0 && m_defaultColumns.Count() == 0))
        mapColumns();
    readRows();
}

void TTzGrid::editingChanged()
{
    TTzDataSet* ds = dataSet();
    if (inserting()) {
        // The new record's row goes below the record it starts from.
        m_insertAnchor = std::max(1L, ds->InsertedFrom());
        ++m_activeRow;
        readRows();
        return;
    }
    if (m_insertAnchor != 0) {
        // Back on the record the insertion started from: it was cancelled
        // and that record keeps the row it had. A posted record takes the
        // new row's place. The resynchronization that follows draws it.
        if (table() && table()->RecNo() == m_insertAnchor)
            m_activeRow = std::max(0, m_activeRow - 1);
        m_insertAnchor = 0;
    }
    viewport()->update();
}

void TTzGrid::refreshCurrentRow()
{
    // Edits show in the current row at once; in browse state the row shows
    // the stored record, whatever the program puts in the buffer meanwhile.
    TTzODbf* t = table();
    if (t && editing() && m_window.current >= 0)
        m_window.rows[size_t(m_window.current)].texts = t->BufferRow().texts;
    viewport()->update();
}

void TTzGrid::readRows()
{
    TTzODbf* t = table();
    if (!t) {
        m_window = {};
        updateScrollBar();
        viewport()->update();
        return;
    }
    const int visible = VisibleRowCount();
    if (inserting()) {
        readRowsInserting(t, visible);
    } else {
        m_activeRow = std::clamp(m_activeRow, 0, visible - 1);
        m_window = t->ReadWindow(m_activeRow, visible);
        // Near the end there are fewer records after the current one than
        // rows below it; fill the grid from above instead.
        if (int(m_window.rows.size()) < visible && m_window.current == m_activeRow) {
            const int after = int(m_window.rows.size()) - m_window.current - 1;
            m_window = t->ReadWindow(visible - after - 1, visible);
        }
        if (m_window.current >= 0)
            m_activeRow = m_window.current;
    }
    updateScrollBar();
    viewport()->update();
}

void TTzGrid::readRowsInserting(TTzODbf* t, int visible)
{
    // The records up to the one the insertion started from, the new record
    // (from the record buffer), then the records that follow.
    const int anchorRow = std::clamp(m_activeRow - 1, 0, std::max(0, visible - 2));
    m_window = t->ReadWindow(anchorRow, std::max(1, visible - 1));
    TTzRowImage row = t->BufferRow();
    row.recNo = 0;
    row.deleted = false;
    const int at = m_window.current + 1;
    m_window.rows.insert(m_window.rows.begin() + at, std::move(row));
    if (int(m_window.rows.size()) > visible)
        m_window.rows.resize(size_t(visible));
    m_window.current = at;
    m_activeRow = at;
}

bool TTzGrid::isNaturalOrder() const
{
    TTzODbf* t = table();
    return t && t->IndexOrder() == 0 && !t->HideDeletedRecs();
}

void TTzGrid::updateScrollBar()
{
    QScrollBar* bar = verticalScrollBar();
    m_settingBar = true;
    TTzODbf* t = table();
    TTzDataSet* ds = dataSet();
    const long count = t ? t->GetRecordCount() : 0;
    if (!t || count == 0 || m_window.current < 0) {
        bar->setRange(0, 0);
        m_settingBar = false;
        return;
    }
    // A record being inserted is one more, at the end.
    const bool newRow = m_window.rows[size_t(m_window.current)].recNo == 0;
    const long last = newRow ? count : count - 1;
    bar->setRange(0, int(std::min<long>(last, INT_MAX)));
    bar->setPageStep(VisibleRowCount());
    long position = m_positionGuess;
    // In record order the record number is the position; under an index
    // only the ends are known and moves keep the estimate in between.
    if (newRow)
        position = last;
    else if (isNaturalOrder())
        position = m_window.rows[size_t(m_window.current)].recNo - 1;
    else if (ds->Bof())
        position = 0;
    else if (ds->Eof())
        position = last;
    m_positionGuess = std::clamp<long>(position, 0, last);
    bar->setValue(int(m_positionGuess));
    m_settingBar = false;
}

bool TTzGrid::moveBy(long distance)
{
    TTzDataSet* ds = dataSet();
    if (!table() || distance == 0)
        return false;
    if (inserting()) {
        // The new row is left first: posted when changed, dropped when not
        // (which puts the record above it back). Upwards the move goes on
        // from there; downwards leaving the new row is the move.
        const bool changed = ds->Modified();
        leaveRow();
        if (distance > 0)
            return true;
        if (!changed)
            ++distance;
        if (distance == 0)
            return true;
    }
    m_activeRow = std::clamp<long>(m_activeRow + distance, 0, VisibleRowCount() - 1);
    m_positionGuess += distance;
    if (distance == 1)
        return ds->Next();
    if (distance == -1)
        return ds->Prior();
    return ds->MoveBy(distance);
}

bool TTzGrid::moveDown()
{
    if (inserting()) {
        // An untouched new row stays; a filled one is posted and another
        // new row follows it.
        if (!dataSet()->Modified())
            return false;
        leaveRow();
        startAppend();
        return true;
    }
    if (moveBy(1))
        return true;
    startAppend();
    return inserting();
}

void TTzGrid::startAppend()
{
    TTzDataSet* ds = dataSet();
    if (!table() || !(m_options & dgEditing) || inserting())
        return;
    commitCell();
    // New records are appended, so the new row is drawn after the last one.
    m_activeRow = VisibleRowCount() - 1;
    ds->Last();
    ds->Insert();
}

void TTzGrid::leaveRow()
{
    commitCell();
    if (editing())
        dataSet()->CheckBrowseMode();
}

bool TTzGrid::inserting() const
{
    const TTzDataSet* ds = dataSet();
    return ds && ds->State() == dsInsert;
}

bool TTzGrid::editing() const
{
    const TTzDataSet* ds = dataSet();
    return ds && (ds->State() == dsEdit || ds->State() == dsInsert);
}

void TTzGrid::moveToRow(int row)
{
    if (m_window.current < 0 || row < 0 || row >= int(m_window.rows.size()))
        return;
    const int distance = row - m_window.current;
    if (distance == 0)
        return;
    const long target = m_window.rows[size_t(row)].recNo;
    m_positionGuess += distance;
    if (inserting())
        leaveRow();
    m_activeRow = row;
    dataSet()->SetToBookmark(target);
}

void TTzGrid::scrollBarAction(int action)
{
    if (m_settingBar || !table())
        return;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        moveBy(1);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        moveBy(-1);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        moveBy(VisibleRowCount());
        break;
    case QAbstractSlider::SliderPageStepSub:
        moveBy(-VisibleRowCount());
        break;
    case QAbstractSlider::SliderToMinimum:
        dataSet()->First();
        break;
    case QAbstractSlider::SliderToMaximum:
        dataSet()->Last();
        break;
    default:
        return;
    }
    // The bar shows where the current record is, not where the user dragged.
    QMetaObject::invokeMethod(
        this, [this] { updateScrollBar(); }, Qt::QueuedConnection);
}

void TTzGrid::scrollBarReleased()
{
    TTzODbf* t = table();
    if (!t)
        return;
    const long target = verticalScrollBar()->sliderPosition();
    if (isNaturalOrder()) {
        dataSet()->SetToBookmark(target + 1);
        return;
    }
    // Under an index the position is reached by walking from the top.
    dataSet()->DisableControls();
    dataSet()->First();
    if (target > 0)
        dataSet()->MoveBy(target);
    m_positionGuess = target;
    dataSet()->EnableControls();
}

void TTzGrid::toggleLogical()
{
    TTzDataSet* ds = dataSet();
    if (!table() || !(m_options & dgEditing) || m_selectedColumn >= int(m_map.size()))
        return;
    const ColumnMap& map = m_map[size_t(m_selectedColumn)];
    if (map.type != 'L' || map.fieldNo == 0 || map.column->ReadOnly ||
        (ds->IsEmpty() && !inserting()))
        return;
    // In browse state a toggle is a whole edit; in a record being edited or
    // inserted it is one more change, written with the rest of the record.
    const bool alone = ds->State() == dsBrowse;
    if (alone)
        ds->Edit();
    TTzField* field = ds->Fields()[size_t(map.fieldNo - 1)].get();
    field->SetAsBoolean(!field->AsBoolean());
    if (alone)
        ds->Post();
}

void TTzGrid::deleteOrRestore()
{
    TTzODbf* t = table();
    if (inserting()) {
        closeEditor();
        dataSet()->Cancel();
        return;
    }
    if (!t || dataSet()->IsEmpty())
        return;
    if (t->Deleted()) {
        if (!(m_options & dgConfirmRestore) ||
            MessageBox::question(this, QStringLiteral("Confirm"),
                                 QStringLiteral("Restore Record ?")))
            dataSet()->Restore();
    } else if (!(m_options & dgConfirmDelete) ||
               MessageBox::question(this, QStringLiteral("Confirm"),
                                    QStringLiteral("Delete Record ?"))) {
        dataSet()->Delete();
    }
}

bool TTzGrid::canEdit(int column) const
{
    if (!table() || !(m_options & dgEditing) || column < 0 || column >= int(m_map.size()))
        return false;
    const ColumnMap& map = m_map[size_t(column)];
    return map.fieldNo != 0 && !map.column->ReadOnly && map.type != 'M' && map.type != 'L' &&
           (!dataSet()->IsEmpty() || inserting());
}

bool TTzGrid::EditorMode() const
{
    return m_editor && m_editor->isVisible();
}

QLineEdit* TTzGrid::InplaceEditor() const
{
    return m_editor ? m_editor->lineEdit() : nullptr;
}

QComboBox* TTzGrid::PickListEditor() const
{
    return m_editor ? m_editor->pickList() : nullptr;
}

QAction* TTzGrid::EditButton() const
{
    return m_editor ? m_editor->editButton() : nullptr;
}

TTzInplaceEditor* TTzGrid::editor()
{
    if (m_editor)
        return m_editor;
    m_editor = new TTzInplaceEditor(viewport());
    m_editor->hide();
    m_editor->OnKey = [this](QKeyEvent* key) { return editorKey(key); };
    m_editor->OnEditButtonClick = [this] { editButtonClick(); };
    // A choice from the pick list lands in the field at once.
    m_editor->OnPicked = [this] { storeEditorValue(); };
    // Another control of the window took the focus: the row is left, unless
    // the focus is back in the editor by the time this runs.
    m_editor->OnFocusLeft = [this] {
        if (!EditorMode())
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (EditorMode() && !m_editor->isAncestorOf(QApplication::focusWidget()))
                    leaveRow();
            },
            Qt::QueuedConnection);
    };
    return m_editor;
}

void TTzGrid::ShowEditor(const QString& initial, bool replace)
{
    if (!canEdit(m_selectedColumn) || m_window.current < 0)
        return;
    TTzDataSet* ds = dataSet();
    if (ds->State() == dsBrowse)
        ds->Edit();
    if (!editing())
        return;
    const ColumnMap& map = m_map[size_t(m_selectedColumn)];
    const TTzColumn* column = map.column;
    constexpr int kDateTextLength = 10;
    const int maxLength =
        map.type == 'D' ? kDateTextLength : ds->Fields()[size_t(map.fieldNo - 1)]->Size();
    const bool pick = column->ButtonStyle == cbsAuto && !column->PickList.isEmpty();
    TTzInplaceEditor* e = editor();
    e->setup(pick ? column->PickList : QStringList(), column->ButtonStyle == cbsEllipsis,
             maxLength);
    m_editorColumn = m_selectedColumn;
    e->setText(replace ? initial : CellText(m_window.current, m_selectedColumn), !replace);
    e->setGeometry(CellRect(m_window.current, m_selectedColumn).adjusted(1, 1, -1, -1));
    e->show();
    e->setFocus();
}

void TTzGrid::storeEditorValue()
{
    TTzODbf* t = table();
    if (!t || !m_editor || m_editorColumn < 0 || m_editorColumn >= int(m_map.size()))
        return;
    const ColumnMap& map = m_map[size_t(m_editorColumn)];
    TTzField* field = dataSet()->FindField(map.column->FieldName);
    if (!field || field->SetAsString(platform::toAnsi(m_editor->text())))
        return;
    // A date that cannot be stored has been reported by the table already.
    if ((map.type == 'N' || map.type == 'F') && TTzODbf::MessageMode() == 2)
        MessageBox::error(this, QGuiApplication::applicationDisplayName(),
                          QString::fromLatin1(tzmsg::kInvalidInput.text));
}

void TTzGrid::closeEditor()
{
    m_editorColumn = -1;
    if (!m_editor || !m_editor->isVisible())
        return;
    const bool hadFocus = m_editor->isAncestorOf(QApplication::focusWidget());
    m_editor->hide();
    if (hadFocus)
        setFocus();
}

void TTzGrid::commitCell()
{
    if (!EditorMode())
        return;
    storeEditorValue();
    closeEditor();
}

void TTzGrid::finishEditing(bool post)
{
    if (!EditorMode())
        return;
    TTzDataSet* ds = dataSet();
    if (!post) {
        closeEditor();
        ds->Cancel();
        return;
    }
    commitCell();
    ds->Post();
}

bool TTzGrid::editorKey(QKeyEvent* key)
{
    switch (key->key()) {
    case Qt::Key_Escape:
        finishEditing(false);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        finishEditing(true);
        return true;
    default: {
        // Leaving the cell keeps its value in the record; the key then moves
        // on as usual (and leaving the row posts the record).
        commitCell();
        QKeyEvent copy(QEvent::KeyPress, key->key(), key->modifiers(), key->text());
        keyPressEvent(&copy);
        return true;
    }
    }
}

void TTzGrid::editButtonClick()
{
    // The handler sees what has been typed and may set the field itself;
    // the editor then shows the field's new value.
    storeEditorValue();
    if (OnEditButtonClick)
        OnEditButtonClick(this);
    if (EditorMode() && m_editorColumn >= 0 && m_window.current >= 0)
        m_editor->setText(CellText(m_window.current, m_editorColumn), false);
}

QString TTzGrid::CellText(int row, int column) const
{
    if (row < 0 || row >= int(m_window.rows.size()) || column < 0 || column >= int(m_map.size()))
        return {};
    const ColumnMap& map = m_map[size_t(column)];
    if (map.fieldNo == 0)
        return {};
    const std::string& text = m_window.rows[size_t(row)].texts[size_t(map.fieldNo - 1)];
    switch (map.type) {
    case 'L':
        return text == "T" ? QStringLiteral("True") : QStringLiteral("False");
    case 'M':
        return text == "0" || text.empty() ? QStringLiteral("(memo)") : QStringLiteral("(MEMO)");
    default:
        return rightTrimmed(text);
    }
}

// --- events -------------------------------------------------------------------------------

void TTzGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    mapColumns();
    readRows();
}

bool TTzGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        return true;
    return QAbstractScrollArea::viewportEvent(event);
}

void TTzGrid::mousePressEvent(QMouseEvent* event)
{
    // A click anywhere keeps what the editor holds; the row is left only
    // for another row or a title (whose handler may reorder the records).
    commitCell();
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    if (const int border = resizeBorderAt(pos); border >= 0) {
        m_resizing = border;
        m_resizeStartX = pos.x();
        m_resizeStartWidth = m_map[size_t(border)].column->Width;
        return;
    }
    const int column = columnAt(pos.x());
    if (pos.y() < titleHeight()) {
        if (column >= 0 && !m_depressDisabled) {
            leaveRow();
            m_pressing = column;
            viewport()->update();
        }
        return;
    }
    const int row = rowAt(pos.y());
    if (column >= 0)
        m_selectedColumn = column;
    if (row >= 0 && row < int(m_window.rows.size()))
        moveToRow(row);
    viewport()->update();
}

void TTzGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_resizing >= 0) {
        m_map[size_t(m_resizing)].column->Width =
            std::max(kMinColumnWidth, m_resizeStartWidth + pos.x() - m_resizeStartX);
        mapColumns();
        viewport()->update();
        return;
    }
    viewport()->setCursor(resizeBorderAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TTzGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_resizing >= 0) {
        m_resizing = -1;
        return;
    }
    if (m_pressing < 0)
        return;
    const int pressed = m_pressing;
    m_pressing = -1;
    const QPoint pos = event->position().toPoint();
    if (pos.y() >= 0 && pos.y() < titleHeight() && columnAt(pos.x()) == pressed) {
        m_depressed = pressed;
        viewport()->update();
        if (OnDepressTitle)
            OnDepressTitle(this, m_map[size_t(pressed)].column);
    }
    viewport()->update();
}

void TTzGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (pos.y() < titleHeight() || columnAt(pos.x()) != m_selectedColumn)
        return;
    if (canEdit(m_selectedColumn))
        ShowEditor();
    else
        toggleLogical();
}

void TTzGrid::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / kWheelStep;
    if (notches != 0)
        moveBy(-long(notches) * kWheelRows);
    event->accept();
}

bool TTzGrid::focusNextPrevChild(bool next)
{
    // With dgTabs, Tab moves between cells instead of leaving the grid.
    if (m_options & dgTabs)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TTzGrid::keyPressEvent(QKeyEvent* event)
{
    TTzDataSet* ds = dataSet();
    if (!table()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int lastColumn = int(m_map.size()) - 1;
    switch (event->key()) {
    case Qt::Key_Up:
        moveBy(-1);
        break;
    case Qt::Key_Down:
        if (m_options & dgEditing)
            moveDown();
        else
            moveBy(1);
        break;
    case Qt::Key_PageUp:
        moveBy(-VisibleRowCount());
        break;
    case Qt::Key_PageDown:
        moveBy(VisibleRowCount());
        break;
    case Qt::Key_Home:
        if (control) {
            m_activeRow = 0;
            ds->First();
        } else {
            setSelectedIndex(0);
        }
        break;
    case Qt::Key_End:
        if (control) {
            m_activeRow = VisibleRowCount() - 1;
            ds->Last();
        } else {
            setSelectedIndex(lastColumn);
        }
        break;
    case Qt::Key_Left:
        setSelectedIndex(m_selectedColumn - 1);
        break;
    case Qt::Key_Right:
        setSelectedIndex(m_selectedColumn + 1);
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (!(m_options & dgTabs)) {
            QAbstractScrollArea::keyPressEvent(event);
            return;
        }
        const bool back =
            event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        // Past the last cell of a row the cursor goes on to the next record.
        if (!back && m_selectedColumn >= lastColumn) {
            if (m_options & dgEditing ? moveDown() : !ds->Eof() && ds->Next())
                setSelectedIndex(0);
        } else if (back && m_selectedColumn <= 0) {
            if (inserting() ? moveBy(-1) : !ds->Bof() && ds->Prior())
                setSelectedIndex(lastColumn);
        } else {
            setSelectedIndex(m_selectedColumn + (back ? -1 : 1));
        }
        break;
    }
    case Qt::Key_Space:
        if (canEdit(m_selectedColumn))
            ShowEditor(event->text(), true);
        else
            toggleLogical();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (control && m_selectedColumn <= lastColumn &&
            m_map[size_t(m_selectedColumn)].column->ButtonStyle == cbsEllipsis &&
            canEdit(m_selectedColumn)) {
            editButtonClick();
            break;
        }
        ShowEditor();
        break;
    case Qt::Key_F2:
        ShowEditor();
        break;
    case Qt::Key_Insert:
        if (!control)
            startAppend();
        break;
    case Qt::Key_Escape:
        // Esc drops the changes of the record being edited; otherwise it is
        // the window's.
        if (!editing()) {
            QAbstractScrollArea::keyPressEvent(event);
            return;
        }
        ds->Cancel();
        break;
    case Qt::Key_Delete:
        if (control && (m_options & dgEditing))
            deleteOrRestore();
        break;
    default:
        if (!event->text().isEmpty() && event->text().at(0).isPrint() && !control &&
            canEdit(m_selectedColumn)) {
            ShowEditor(event->text(), true);
            break;
        }
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

// --- painting -----------------------------------------------------------------------------

void TTzGrid::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& pal = palette();
    painter.fillRect(viewport()->rect(), pal.color(QPalette::Base));
    const int rows = int(m_window.rows.size());
    for (int row = 0; row < rows; ++row) {
        const int y = titleHeight() + row * m_rowHeight;
        for (int column = 0; column < int(m_map.size()); ++column) {
            const QRect rect = CellRect(row, column);
            if (rect.right() < indicatorWidth() || rect.left() > viewport()->width())
                continue;
            paintCell(painter, row, column, rect);
        }
        if (m_options & dgIndicator)
            paintIndicator(painter, row, QRect(0, y, kIndicatorWidth, m_rowHeight));
    }
    if (m_options & dgIndicator) {
        // The empty part of the indicator column below the last row.
        const int top = titleHeight() + rows * m_rowHeight;
        painter.fillRect(QRect(0, top, kIndicatorWidth, viewport()->height() - top),
                         pal.color(QPalette::Button));
        painter.setPen(kLineColor);
        painter.drawLine(kIndicatorWidth - 1, top, kIndicatorWidth - 1, viewport()->height());
    }
    if (m_options & dgTitles)
        paintTitles(painter);
}

void TTzGrid::paintTitles(QPainter& painter)
{
    const int height = titleHeight();
    QStyleOptionHeader corner;
    corner.initFrom(this);
    corner.rect = QRect(0, 0, indicatorWidth(), height);
    if (m_options & dgIndicator)
        style()->drawControl(QStyle::CE_HeaderSection, &corner, &painter, this);
    painter.save();
    painter.setClipRect(QRect(indicatorWidth(), 0, viewport()->width(), height));
    int x = columnLeft(0);
    for (int i = 0; i < int(m_map.size()); ++i) {
        const TTzColumn* column = m_map[size_t(i)].column;
        QStyleOptionHeader option;
        option.initFrom(this);
        option.rect = QRect(x, 0, column->Width, height);
        option.text = column->Title.Caption;
        option.textAlignment = column->Title.Alignment | Qt::AlignVCenter;
        option.section = i;
        const bool down = i == m_depressed || i == m_pressing;
        option.state |= QStyle::State_Raised;
        if (down) {
            option.state |= QStyle::State_Sunken;
            option.state &= ~QStyle::State_Raised;
        }
        if (column->Title.Color.isValid())
            option.palette.setColor(QPalette::Button, column->Title.Color);
        if (column->Title.hasFont)
            painter.setFont(column->Title.Font);
        style()->drawControl(QStyle::CE_HeaderSection, &option, &painter, this);
        if (down) {
            // A pressed title looks pushed in: shaded and its caption moved.
            painter.fillRect(option.rect.adjusted(1, 1, -1, -1), QColor(0, 0, 0, 40));
            painter.setPen(QColor(0x60, 0x60, 0x60));
            painter.drawLine(option.rect.topLeft(), option.rect.topRight());
            painter.drawLine(option.rect.topLeft(), option.rect.bottomLeft());
            option.rect.translate(1, 1);
        }
        style()->drawControl(QStyle::CE_HeaderLabel, &option, &painter, this);
        painter.setFont(font());
        x += column->Width;
    }
    painter.restore();
}

void TTzGrid::paintIndicator(QPainter& painter, int row, const QRect& rect)
{
    painter.fillRect(rect, palette().color(QPalette::Button));
    painter.setPen(kLineColor);
    painter.drawLine(rect.topRight(), rect.bottomRight());
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    if (row != m_window.current)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(rect).center();
    const TTzDataSetState state = dataSet() ? dataSet()->State() : dsInactive;
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::ButtonText));
    if (state == dsInsert) {
        // A star for a new record.
        painter.setPen(QPen(palette().color(QPalette::ButtonText), 1.2));
        for (int spoke = 0; spoke < 3; ++spoke) {
            const QLineF line = QLineF::fromPolar(4, 90 + 60 * spoke).translated(c);
            painter.drawLine(line.p2(), c - (line.p2() - c));
        }
    } else if (state == dsEdit) {
        // An I-beam for a record being edited.
        painter.setPen(QPen(palette().color(QPalette::ButtonText), 1.2));
        painter.drawLine(QPointF(c.x(), c.y() - 5), QPointF(c.x(), c.y() + 5));
        painter.drawLine(QPointF(c.x() - 2, c.y() - 5), QPointF(c.x() + 2, c.y() - 5));
        painter.drawLine(QPointF(c.x() - 2, c.y() + 5), QPointF(c.x() + 2, c.y() + 5));
    } else {
        QPainterPath arrow;
        arrow.moveTo(c.x() - 2.5, c.y() - 4.5);
        arrow.lineTo(c.x() + 2.5, c.y());
        arrow.lineTo(c.x() - 2.5, c.y() + 4.5);
        arrow.closeSubpath();
        painter.drawPath(arrow);
    }
    painter.restore();
}

void TTzGrid::paintCell(QPainter& painter, int row, int column, const QRect& rect)
{
    const ColumnMap& map = m_map[size_t(column)];
    const TTzRowImage& image = m_window.rows[size_t(row)];
    const QPalette& pal = palette();
    QColor background = map.column->Color.isValid() ? map.column->Color : pal.color(QPalette::Base);
    QColor text = pal.color(QPalette::Text);
    if (image.deleted) {
        background = m_deletedColor;
        text = m_deletedTextColor;
    } else if (OnRowColor) {
        const QColor row = OnRowColor(image);
        if (row.isValid())
            background = row;
    }
    const bool current = row == m_window.current;
    const bool showSelection = hasFocus() || (m_options & dgAlwaysShowSelection);
    if (current && showSelection && ((m_options & dgRowSelect) || column == m_selectedColumn)) {
        background = pal.color(QPalette::Highlight);
        text = image.deleted ? m_deletedColor : pal.color(QPalette::HighlightedText);
    }
    painter.save();
    painter.setClipRect(
        rect.intersected(QRect(indicatorWidth(), 0, viewport()->width(), viewport()->height())));
    painter.fillRect(rect, background);
    if (map.column->hasFont)
        painter.setFont(map.column->Font);
    if (map.type == 'L' && map.fieldNo != 0 && m_booleanBox != bbText) {
        paintBoolean(painter, rect, image.texts[size_t(map.fieldNo - 1)] == "T", text);
    } else {
        Qt::Alignment align = map.column->Alignment;
        if (map.type == 'N' || map.type == 'F')
            align = Qt::AlignRight;
        painter.setPen(text);
        painter.drawText(rect.adjusted(kCellPadding, 0, -kCellPadding, 0),
                         int(align | Qt::AlignVCenter) | Qt::TextSingleLine, CellText(row, column));
    }
    painter.setPen(kLineColor);
    if (m_options & dgColLines)
        painter.drawLine(rect.topRight(), rect.bottomRight());
    if (m_options & dgRowLines)
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.restore();
}

void TTzGrid::paintBoolean(QPainter& painter, const QRect& rect, bool value, const QColor& text)
{
    const int side = std::min(13, m_rowHeight - 4);
    const QRect box(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    const bool red =
        m_booleanBox == bbFillBoxRed || m_booleanBox == bbRButtonRed || m_booleanBox == bbDotRed;
    const QColor mark = red ? QColor(Qt::red) : text;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    switch (m_booleanBox) {
    case bbCheckBox: {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = box;
        option.state = QStyle::State_Enabled | (value ? QStyle::State_On : QStyle::State_Off);
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
        break;
    }
    case bbCheckMark:
        if (value) {
            painter.setPen(QPen(mark, 2));
            painter.drawPolyline(QPolygonF({QPointF(box.left() + 2, box.center().y()),
                                            QPointF(box.center().x() - 1, box.bottom() - 2),
                                            QPointF(box.right() - 1, box.top() + 2)}));
        }
        break;
    case bbFillBox:
    case bbFillBoxRed:
        painter.setPen(text);
        painter.setBrush(value ? QBrush(mark) : Qt::NoBrush);
        painter.drawRect(box.adjusted(1, 1, -1, -1));
        break;
    case bbRButton:
    case bbRButtonRed:
        painter.setPen(text);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(box.adjusted(1, 1, -1, -1));
        if (value) {
            painter.setBrush(mark);
            painter.drawEllipse(box.adjusted(4, 4, -4, -4));
        }
        break;
    case bbDot:
    case bbDotRed:
        if (value) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(mark);
            painter.drawEllipse(box.adjusted(3, 3, -3, -3));
        }
        break;
    case bbText:
        break;
    }
    painter.restore();
}
