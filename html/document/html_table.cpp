#include "html/document/html_table.h"

#include "html/common/attribute.h"
#include "html/common/html_color.h"
#include "html/document/process_error.h"
#include "html/document/section_list.h"
#include "html/layout/column_widths.h"
#include "html/layout/float_list.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <QPainter>

namespace {

constexpr char kTooManyColumns[] = "Table has too many Columns";
// Cell borders and the outer border are bevels of these colours unless the
// table names a BORDERCOLOR.
const QColor kShadow(0x80, 0x80, 0x80);
const QColor kLight(0xE0, 0xE0, 0xE0);
constexpr int kMaxBorder = 20;

void bevel(QPainter& p, const QRect& r, int width, const QColor& topLeft, const QColor& bottomRight)
{
    for (int i = 0; i < width; ++i) {
        const QRect b = r.adjusted(i, i, -i, -i);
        p.setPen(topLeft);
        p.drawLine(b.topLeft(), b.topRight());
        p.drawLine(b.topLeft(), b.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(b.bottomLeft(), b.bottomRight());
        p.drawLine(b.topRight(), b.bottomRight());
    }
}

} // namespace

ThtmlTable::ThtmlTable(TSectionList* document, const TAttributeList& attributes, int paragraphAlign)
    : TSectionBase(document), Align(paragraphAlign)
{
    using html::Attr;
    if (const TAttribute* a = attributes.Find(Attr::Align)) {
        if (html::textIs(a, "center"))
            Align = AlignCenter;
        else if (html::textIs(a, "left"))
            Align = FloatLeft;
        else if (html::textIs(a, "right"))
            Align = FloatRight;
    }
    if (const TAttribute* a = attributes.Find(Attr::BgColor))
        BgColor = html::parseColor(a->Text);
    if (const TAttribute* a = attributes.Find(Attr::Border); a && a->Number > 0)
        Border = std::min(a->Number, kMaxBorder);
    if (const TAttribute* a = attributes.Find(Attr::CellPadding))
        CellPadding = std::clamp(a->Number, 0, kMaxCellPadding);
    if (const TAttribute* a = attributes.Find(Attr::CellSpacing))
        CellSpacing = std::clamp(a->Number, 0, kMaxCellSpacing);
    // Cell borders are drawn inside the spacing.
    if (Border > 0)
        CellSpacing += 2;
    CellSpacing = std::max(CellSpacing, 1);
    if (auto length = html::lengthOf(attributes.Find(Attr::Width))) {
        SpecWidth = length->value;
        SpecWidthPercent = length->percent;
    }
    if (const TAttribute* a = attributes.Find(Attr::BorderColor))
        BorderColor = html::parseColor(a->Text);
    if (const TAttribute* a = attributes.Find(Attr::HSpace))
        HSpace = std::min(std::abs(a->Number), kMaxHSpace);
    if (const TAttribute* a = attributes.Find(Attr::VSpace))
        VSpace = std::min(std::abs(a->Number), kMaxVSpace);
}

ThtmlTable::~ThtmlTable() = default;

TCellObj* ThtmlTable::AddCell(std::unique_ptr<TCellObj> cell)
{
    if (m_rows.empty())
        NewRow();
    m_rows.back().push_back(std::move(cell));
    return m_rows.back().back().get();
}

TCell* ThtmlTable::MakeCaption(bool bottom)
{
    m_caption = std::make_unique<TCell>(Document);
    m_captionBottom = bottom;
    return m_caption.get();
}

int ThtmlTable::FloatSide() const
{
    if (Align == FloatLeft)
        return TFloatList::Left;
    if (Align == FloatRight)
        return TFloatList::Right;
    return 0;
}

int ThtmlTable::borderWidth() const
{
    return Border;
}

void ThtmlTable::Initialize()
{
    if (m_initialized)
        return;
    const int rows = static_cast<int>(m_rows.size());
    // taken[r] marks the columns of row r already covered by a cell above
    // with ROWSPAN.
    std::vector<std::vector<bool>> taken(rows);
    std::vector<std::vector<std::pair<int, TCellObj*>>> placed(rows);
    int columns = 0;
    for (int r = 0; r < rows; ++r) {
        int col = 0;
        for (auto& cell : m_rows[r]) {
            while (col < static_cast<int>(taken[r].size()) && taken[r][col])
                ++col;
            cell->RowSpan = std::clamp(cell->RowSpan, 1, rows - r);
            const long long end = static_cast<long long>(col) + std::max(cell->ColSpan, 1);
            if (end > kMaxColumns)
                throw EProcessError(kTooManyColumns);
            cell->ColSpan = static_cast<int>(end - col);
            for (int rr = r; rr < r + cell->RowSpan; ++rr) {
                if (static_cast<int>(taken[rr].size()) < end)
                    taken[rr].resize(end, false);
                for (int c = col; c < end; ++c)
                    taken[rr][c] = true;
            }
            placed[r].push_back({col, cell.get()});
            col = static_cast<int>(end);
            columns = std::max(columns, col);
        }
        columns = std::max(columns, static_cast<int>(taken[r].size()));
    }
    std::vector<TCellList> grid(rows);
    for (int r = 0; r < rows; ++r) {
        grid[r].resize(columns);
        for (auto& cell : m_rows[r]) {
            TCellObj* raw = cell.get();
            auto it = std::find_if(placed[r].begin(), placed[r].end(),
                                   [raw](const auto& p) { return p.second == raw; });
            grid[r][it->first] = std::move(cell);
        }
    }
    m_rows = std::move(grid);
    m_columns = columns;
    m_initialized = true;
}

const TCellObj* ThtmlTable::CellAt(int row, int column) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0 ||
        column >= static_cast<int>(m_rows[row].size()))
        return nullptr;
    return m_rows[row][column].get();
}

void ThtmlTable::ForEachCell(const std::function<void(TCell&)>& visit)
{
    if (m_caption)
        visit(*m_caption);
    for (auto& row : m_rows)
        for (auto& cell : row)
            if (cell)
                visit(cell->Cell);
}

void ThtmlTable::columnMinMax(TLayoutContext& ctx, std::vector<int>& mins, std::vector<int>& maxs,
                              std::vector<int>& percents)
{
    mins.assign(m_columns, 0);
    maxs.assign(m_columns, 0);
    percents.assign(m_columns, 0);
    const int extra = 2 * CellPadding + CellSpacing;
    struct Span {
        int col, span, mn, mx;
    };
    std::vector<Span> spans;
    for (auto& row : m_rows) {
        for (int c = 0; c < m_columns; ++c) {
            TCellObj* cell = row[c].get();
            if (!cell)
                continue;
            int mn = 0, mx = 0;
            cell->Cell.MinMaxWidth(ctx, mn, mx);
            mn += extra;
            mx += extra;
            if (cell->SpecWidth > 0 && !cell->SpecPercent)
                mx = std::max(mn, cell->SpecWidth + CellSpacing);
            if (cell->ColSpan == 1) {
                mins[c] = std::max(mins[c], mn);
                maxs[c] = std::max(maxs[c], mx);
                if (cell->SpecPercent)
                    percents[c] = std::max(percents[c], cell->SpecWidth * 10);
            } else {
                spans.push_back({c, cell->ColSpan, mn, mx});
            }
        }
    }
    // A cell spanning columns widens them evenly when they are too narrow.
    for (const Span& s : spans) {
        int sumMin = 0, sumMax = 0;
        for (int c = s.col; c < s.col + s.span; ++c) {
            sumMin += mins[c];
            sumMax += maxs[c];
        }
        for (int c = s.col; c < s.col + s.span; ++c) {
            if (s.mn > sumMin)
                mins[c] += (s.mn - sumMin) / s.span + (c == s.col ? (s.mn - sumMin) % s.span : 0);
            if (s.mx > sumMax)
                maxs[c] += (s.mx - sumMax) / s.span + (c == s.col ? (s.mx - sumMax) % s.span : 0);
        }
    }
    for (int c = 0; c < m_columns; ++c)
        maxs[c] = std::max(maxs[c], mins[c]);
}

void ThtmlTable::MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max)
{
    Initialize();
    std::vector<int> mins, maxs, percents;
    columnMinMax(ctx, mins, maxs, percents);
    const int frame = CellSpacing + 2 * borderWidth();
    Min = std::accumulate(mins.begin(), mins.end(), 0) + frame;
    Max = std::accumulate(maxs.begin(), maxs.end(), 0) + frame;
    if (m_caption) {
        int cmin = 0, cmax = 0;
        m_caption->MinMaxWidth(ctx, cmin, cmax);
        Min = std::max(Min, cmin);
    }
    if (SpecWidth > 0 && !SpecWidthPercent)
        Max = std::max(Min, SpecWidth);
    Max = std::max(Max, Min);
    const int margins = Indent + (FloatSide() ? 2 * HSpace : 0);
    Min += margins;
    Max += margins;
}

int ThtmlTable::DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats)
{
    Initialize();
    YPosition = Y;
    const int left = floats.leftEdge(Y, 1, X + Indent);
    const int right = floats.rightEdge(Y, 1, X + Width);
    const int avail = std::max(0, right - left - (FloatSide() ? 2 * HSpace : 0));
    int given = avail;
    if (SpecWidth > 0)
        given = SpecWidthPercent ? avail * SpecWidth / 100 : SpecWidth;
    const int bw = borderWidth();
    const int widthToFill = std::max(kMinWidthToFill, given - CellSpacing - 2 * bw);

    std::vector<int> mins, maxs, percents;
    columnMinMax(ctx, mins, maxs, percents);
    std::vector<TColumnNeed> needs(m_columns);
    for (int c = 0; c < m_columns; ++c)
        needs[c] = TColumnNeed{mins[c], maxs[c], percents[c]};
    m_colWidths = html::distributeColumns(needs, widthToFill, SpecWidth > 0);
    m_width = std::accumulate(m_colWidths.begin(), m_colWidths.end(), 0) + CellSpacing + 2 * bw;
    if (m_caption) {
        int cmin = 0, cmax = 0;
        m_caption->MinMaxWidth(ctx, cmin, cmax);
        m_width = std::max(m_width, cmin);
    }

    switch (Align) {
    case FloatLeft:
        m_left = left + HSpace;
        break;
    case FloatRight:
        m_left = right - HSpace - m_width;
        break;
    case AlignCenter:
        m_left = std::max(left, left + (avail - m_width) / 2);
        break;
    case AlignRightText:
        m_left = std::max(left, right - m_width);
        break;
    default:
        m_left = left;
    }

    int y = Y + VSpace;
    m_captionHeight = 0;
    if (m_caption && !m_captionBottom) {
        m_captionTop = y;
        m_captionHeight = m_caption->DoLogic(ctx, m_left, y, m_width);
        y += m_captionHeight;
    }
    m_tableTop = y;
    m_tableHeight = layoutRows(ctx, m_left + bw, y + bw) + CellSpacing + 2 * bw;
    y += m_tableHeight;
    if (m_caption && m_captionBottom) {
        m_captionTop = y;
        m_captionHeight = m_caption->DoLogic(ctx, m_left, y, m_width);
        y += m_captionHeight;
    }
    y += VSpace;
    ctx.maxRight = std::max(ctx.maxRight, m_left + m_width);
    DrawTop = Y;
    DrawBot = y;
    if (const int side = FloatSide()) {
        floats.add(static_cast<TFloatList::Side>(side), m_left - HSpace, m_left + m_width + HSpace,
                   Y, y);
        SectionHeight = 0;
        return 0;
    }
    SectionHeight = y - Y;
    return SectionHeight;
}

int ThtmlTable::layoutRows(TLayoutContext& ctx, int left, int top)
{
    const int rows = static_cast<int>(m_rows.size());
    std::vector<int> colX(m_columns + 1, left);
    for (int c = 0; c < m_columns; ++c)
        colX[c + 1] = colX[c] + m_colWidths[c];
    m_rowHeights.assign(rows, 0);
    std::vector<int> rowTop(rows + 1, top);
    // Cells spanning rows, by the row they end in.
    std::vector<std::vector<std::pair<int, TCellObj*>>> ending(rows);

    for (int r = 0; r < rows; ++r) {
        int height = 0;
        for (int c = 0; c < m_columns; ++c) {
            TCellObj* cell = m_rows[r][c].get();
            if (!cell)
                continue;
            cell->X = colX[c] + CellSpacing;
            cell->Wd = colX[c + cell->ColSpan] - colX[c] - CellSpacing;
            cell->Y = rowTop[r] + CellSpacing;
            cell->ContentHeight =
                cell->Cell.DoLogic(ctx, cell->X + CellPadding, cell->Y + CellPadding,
                                   std::max(0, cell->Wd - 2 * CellPadding));
            const int need =
                std::max(cell->ContentHeight + 2 * CellPadding, cell->SpecHeight) + CellSpacing;
            if (cell->RowSpan == 1)
                height = std::max(height, need);
            else
                ending[r + cell->RowSpan - 1].push_back({r, cell});
        }
        for (const auto& [startRow, cell] : ending[r]) {
            const int need =
                std::max(cell->ContentHeight + 2 * CellPadding, cell->SpecHeight) + CellSpacing;
            const int have = rowTop[r] - rowTop[startRow] + height;
            if (need > have)
                height += need - have;
        }
        m_rowHeights[r] = height;
        rowTop[r + 1] = rowTop[r] + height;
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < m_columns; ++c) {
            TCellObj* cell = m_rows[r][c].get();
            if (!cell)
                continue;
            cell->Ht = rowTop[r + cell->RowSpan] - rowTop[r] - CellSpacing;
            const int free = cell->Ht - 2 * CellPadding - cell->ContentHeight;
            int dy = 0;
            if (cell->VAlign == TCellObj::VMiddle)
                dy = free / 2;
            else if (cell->VAlign == TCellObj::VBottom)
                dy = free;
            if (dy > 0)
                cell->Cell.ShiftY(dy);
        }
    }
    return rowTop[rows] - top;
}

void ThtmlTable::ShiftY(int dy)
{
    TSectionBase::ShiftY(dy);
    DrawTop += dy;
    DrawBot += dy;
    m_tableTop += dy;
    m_captionTop += dy;
    for (auto& row : m_rows)
        for (auto& cell : row)
            if (cell) {
                cell->Y += dy;
                cell->Cell.ShiftY(dy);
            }
    if (m_caption)
        m_caption->ShiftY(dy);
}

void ThtmlTable::Draw(TPaintContext& ctx)
{
    QPainter& p = ctx.painter;
    const QColor outerBackground = ctx.background;
    // Paper gets cell colours only when asked for: they cost ink and often
    // hide the text on a printer.
    const bool cellColours = !Document->Printing || Document->PrintTableBackground;
    for (auto& row : m_rows) {
        for (auto& cell : row) {
            if (!cell || !ctx.visible(cell->Y - 1, cell->Y + cell->Ht + 1))
                continue;
            const QRect box(cell->X + ctx.dx, cell->Y + ctx.dy, cell->Wd, cell->Ht);
            const std::optional<QColor> cellColour =
                cellColours ? cell->BgColor : std::optional<QColor>();
            if (cellColour)
                p.fillRect(box, *cellColour);
            if (Border > 0) {
                const QRect frame = box.adjusted(-1, -1, 0, 0);
                if (BorderColor)
                    bevel(p, frame, 1, *BorderColor, *BorderColor);
                else
                    bevel(p, frame, 1, kShadow, kLight);
            }
            ctx.background = cellColour.value_or(outerBackground);
            cell->Cell.Draw(ctx);
            ctx.background = outerBackground;
        }
    }
    if (Border > 0) {
        const QRect outer(m_left + ctx.dx, m_tableTop + ctx.dy, m_width - 1, m_tableHeight - 1);
        if (BorderColor)
            bevel(p, outer, Border, *BorderColor, *BorderColor);
        else
            bevel(p, outer, Border, kLight, kShadow);
    }
    if (m_caption)
        m_caption->Draw(ctx);
}

bool ThtmlTable::HitTest(TLayoutContext& ctx, int x, int y, THitResult& hit)
{
    if (m_caption && y >= m_captionTop && y < m_captionTop + m_captionHeight)
        return m_caption->HitTest(ctx, x, y, hit);
    for (auto& row : m_rows)
        for (auto& cell : row)
            if (cell && x >= cell->X && x < cell->X + cell->Wd && y >= cell->Y &&
                y < cell->Y + cell->Ht)
                return cell->Cell.HitTest(ctx, x, y, hit);
    return false;
}

void ThtmlTable::CopyText(int selStart, int selEnd, std::string& out) const
{
    if (m_caption && !m_captionBottom)
        m_caption->CopyText(selStart, selEnd, out);
    for (const auto& row : m_rows)
        for (const auto& cell : row)
            if (cell)
                cell->Cell.CopyText(selStart, selEnd, out);
    if (m_caption && m_captionBottom)
        m_caption->CopyText(selStart, selEnd, out);
}

bool ThtmlTable::CharPosition(int sourceIndex, int& x, int& y) const
{
    if (m_caption && m_caption->CharPosition(sourceIndex, x, y))
        return true;
    for (const auto& row : m_rows)
        for (const auto& cell : row)
            if (cell && cell->Cell.CharPosition(sourceIndex, x, y))
                return true;
    return false;
}

void ThtmlTable::Dump(TDumpWriter& out) const
{
    std::string widths;
    for (int w : m_colWidths)
        widths += (widths.empty() ? "" : ",") + std::to_string(w);
    out.line("table y=" + std::to_string(YPosition) + " h=" + std::to_string(DrawBot - DrawTop) +
             " x=" + std::to_string(m_left) + " w=" + std::to_string(m_width) +
             " rows=" + std::to_string(m_rows.size()) + " cols=" + std::to_string(m_columns) +
             " widths=" + widths + (FloatSide() ? " float" : ""));
    out.indent();
    if (m_caption) {
        out.line(std::string("caption ") + (m_captionBottom ? "bottom" : "top"));
        out.indent();
        m_caption->Dump(out);
        out.outdent();
    }
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        for (std::size_t c = 0; c < m_rows[r].size(); ++c) {
            const TCellObj* cell = m_rows[r][c].get();
            if (!cell)
                continue;
            out.line("cell r=" + std::to_string(r) + " c=" + std::to_string(c) +
                     " x=" + std::to_string(cell->X) + " y=" + std::to_string(cell->Y) +
                     " w=" + std::to_string(cell->Wd) + " h=" + std::to_string(cell->Ht) +
                     (cell->ColSpan > 1 ? " colspan=" + std::to_string(cell->ColSpan) : "") +
                     (cell->RowSpan > 1 ? " rowspan=" + std::to_string(cell->RowSpan) : ""));
            out.indent();
            cell->Cell.Dump(out);
            out.outdent();
        }
    }
    out.outdent();
}
