#pragma once

#include <memory>
#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

enum TTzColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };

// The title cell of a grid column.
struct TTzColumnTitle {
    QString Caption;
    QColor Color; // invalid: the button colour
    Qt::Alignment Alignment = Qt::AlignLeft;
    QFont Font;
    bool hasFont = false;
};

// One column of a grid: which field it shows and how.
class TTzColumn {
public:
    static constexpr int kDefaultWidth = 64;

    explicit TTzColumn(int index) : m_index(index) {}

    int Index() const { return m_index; }
    // The field's name as the table knows it (case is ignored).
    std::string FieldName;
    TTzColumnTitle Title;
    int Width = kDefaultWidth;
    QColor Color; // invalid: the grid's base colour
    Qt::Alignment Alignment = Qt::AlignLeft;
    QFont Font;
    bool hasFont = false;
    bool ReadOnly = false;
    QStringList PickList;
    TTzColumnButtonStyle ButtonStyle = cbsAuto;

private:
    friend class TTzColumns;
    int m_index;
};

// The ordered columns of a grid.
class TTzColumns {
public:
    // More columns than this cannot be mapped to fields.
    static constexpr int kMaxColumns = 16379;

    TTzColumn* Add();
    void Clear() { m_columns.clear(); }
    int Count() const { return int(m_columns.size()); }
    TTzColumn* operator[](int index) const { return m_columns[size_t(index)].get(); }
    TTzColumn* Items(int index) const { return m_columns[size_t(index)].get(); }

private:
    std::vector<std::unique_ptr<TTzColumn>> m_columns;
};
