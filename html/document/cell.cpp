#include "html/document/cell.h"

#include "html/layout/float_list.h"

#include <algorithm>

TCell::~TCell() = default;

void TCell::Add(std::unique_ptr<TSectionBase> block)
{
    m_blocks.push_back(std::move(block));
}

void TCell::MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max)
{
    Min = 0;
    Max = 0;
    int floatMin = 0;
    int floatMax = 0;
    for (auto& block : m_blocks) {
        int mn = 0, mx = 0;
        block->MinMaxWidth(ctx, mn, mx);
        if (block->FloatSide()) {
            // Floats stand beside the text that follows them.
            floatMin = std::max(floatMin, mn);
            floatMax += mx;
        } else {
            Min = std::max(Min, mn);
            Max = std::max(Max, mx);
        }
    }
    Min = std::max(Min, floatMin);
    Max = std::max(Max, floatMax);
}

int TCell::DoLogic(TLayoutContext& ctx, int X, int Y, int Width)
{
    TFloatList floats;
    int y = Y;
    for (auto& block : m_blocks)
        y += block->DrawLogic(ctx, X, y, Width, floats);
    Height = floats.bottom(y) - Y;
    return Height;
}

void TCell::ShiftY(int dy)
{
    for (auto& block : m_blocks)
        block->ShiftY(dy);
}

void TCell::Draw(TPaintContext& ctx)
{
    for (auto& block : m_blocks)
        if (ctx.visible(block->DrawTop, block->DrawBot))
            block->Draw(ctx);
}

bool TCell::HitTest(TLayoutContext& ctx, int x, int y, THitResult& hit)
{
    // Floats may overlap later blocks, so every block whose drawn band holds
    // the point gets asked, the last drawn first.
    for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
        TSectionBase* block = it->get();
        if (y >= block->DrawTop && y < block->DrawBot && block->HitTest(ctx, x, y, hit)) {
            if (!hit.block)
                hit.block = block;
            return true;
        }
    }
    return false;
}

void TCell::CopyText(int selStart, int selEnd, std::string& out) const
{
    for (const auto& block : m_blocks)
        block->CopyText(selStart, selEnd, out);
}

bool TCell::CharPosition(int sourceIndex, int& x, int& y) const
{
    for (const auto& block : m_blocks)
        if (block->CharPosition(sourceIndex, x, y))
            return true;
    return false;
}

void TCell::Dump(TDumpWriter& out) const
{
    for (const auto& block : m_blocks)
        block->Dump(out);
}

int TCell::BlockAt(int y) const
{
    for (std::size_t i = 0; i < m_blocks.size(); ++i)
        if (y >= m_blocks[i]->YPosition && y < m_blocks[i]->Bottom())
            return static_cast<int>(i);
    return -1;
}
