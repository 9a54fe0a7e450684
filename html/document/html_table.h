#pragma once

#include "html/document/cell.h"
#include "html/document/section_base.h"

#include <functional>
#include <memory>
#include <optional>
#include <QColor>
#include <vector>

class TAttributeList;

// One cell of a table (TD or TH) holding its content.
class TCellObj {
public:
    enum VAlignKind { VTop, VMiddle, VBottom };

    explicit TCellObj(TSectionList* document) : Cell(document) {}

    TCell Cell;
    int ColSpan = 1;
    int RowSpan = 1;
    int SpecWidth = 0; // pixels, or tenths of a percent when SpecPercent
    bool SpecPercent = false;
    int SpecHeight = 0;
    std::optional<QColor> BgColor;
    VAlignKind VAlign = VMiddle;
    // After layout: the cell's box in document pixels (padding included).
    int X = 0;
    int Y = 0;
    int Wd = 0;
    int Ht = 0;
    int ContentHeight = 0;
};

// A row: one entry per column after spans are filled in; entries covered by
// another cell's COLSPAN or ROWSPAN are null.
using TCellList = std::vector<std::unique_ptr<TCellObj>>;

// A TABLE with its rows and caption.
class ThtmlTable : public TSectionBase {
public:
    static constexpr int kMaxColumns = 200;
    static constexpr int kMaxCellPadding = 50;
    static constexpr int kMaxCellSpacing = 40;
    static constexpr int kMaxHSpace = 40;
    static constexpr int kMaxVSpace = 200;
    static constexpr int kDefaultHSpace = 5;
    static constexpr int kMinWidthToFill = 20;

    enum AlignKind {
        AlignDefault = 0,
        AlignLeftText = 1,
        AlignCenter = 2,
        AlignRightText = 3,
        FloatLeft = 4,
        FloatRight = 5
    };

    ThtmlTable(TSectionList* document, const TAttributeList& attributes, int paragraphAlign);
    ~ThtmlTable() override;

    // Starts a row; cells added after it go into that row.
    void NewRow() { m_rows.emplace_back(); }
    bool HasRow() const { return !m_rows.empty(); }
    TCellObj* AddCell(std::unique_ptr<TCellObj> cell);
    TCell* MakeCaption(bool bottom);

    void MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max) override;
    int DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats) override;
    void ShiftY(int dy) override;
    void Draw(TPaintContext& ctx) override;
    bool HitTest(TLayoutContext& ctx, int x, int y, THitResult& hit) override;
    void CopyText(int selStart, int selEnd, std::string& out) const override;
    bool CharPosition(int sourceIndex, int& x, int& y) const override;
    void Dump(TDumpWriter& out) const override;
    int FloatSide() const override;

    // Fills in the spans; throws EProcessError "Table has too many Columns"
    // beyond kMaxColumns. Called before the first layout.
    void Initialize();
    int ColumnCount() const { return m_columns; }
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const std::vector<int>& ColumnWidths() const { return m_colWidths; }
    // The cell standing at a grid position (after Initialize), or null where
    // a span covers it.
    const TCellObj* CellAt(int row, int column) const;
    // Visits the caption and then every cell, row by row.
    void ForEachCell(const std::function<void(TCell&)>& visit);

    int Border = 0;
    int CellPadding = 1;
    int CellSpacing = 2;
    int SpecWidth = 0;
    bool SpecWidthPercent = false;
    std::optional<QColor> BgColor;
    std::optional<QColor> BorderColor;
    int HSpace = kDefaultHSpace;
    int VSpace = 0;
    int Align = AlignDefault;

private:
    int borderWidth() const;
    void columnMinMax(TLayoutContext& ctx, std::vector<int>& mins, std::vector<int>& maxs,
                      std::vector<int>& percents);
    int layoutRows(TLayoutContext& ctx, int left, int top);

    std::vector<TCellList> m_rows;
    std::unique_ptr<TCell> m_caption;
    bool m_captionBottom = false;
    bool m_initialized = false;
    int m_columns = 0;
    std::vector<int> m_colWidths;
    std::vector<int> m_rowHeights;
    int m_left = 0;
    int m_width = 0;
    int m_tableTop = 0; // top of the grid (below a top caption)
    int m_tableHeight = 0;
    int m_captionTop = 0;
    int m_captionHeight = 0;
};
