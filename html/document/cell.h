#pragma once

#include "html/document/section_base.h"

#include <memory>
#include <vector>

// A list of blocks laid out one below the other: the document body, a table
// cell or a table caption.
class TCell {
public:
    explicit TCell(TSectionList* document) : Document(document) {}
    virtual ~TCell();
    TCell(const TCell&) = delete;
    TCell& operator=(const TCell&) = delete;

    void Add(std::unique_ptr<TSectionBase> block);
    bool empty() const { return m_blocks.empty(); }
    const std::vector<std::unique_ptr<TSectionBase>>& Blocks() const { return m_blocks; }
    TSectionBase* Last() const { return m_blocks.empty() ? nullptr : m_blocks.back().get(); }
    void Clear() { m_blocks.clear(); }

    void MinMaxWidth(TLayoutContext& ctx, int& Min, int& Max);
    // Lays out every block from (X, Y) down within the width and returns the
    // height, floats included.
    int DoLogic(TLayoutContext& ctx, int X, int Y, int Width);
    void ShiftY(int dy);
    void Draw(TPaintContext& ctx);
    bool HitTest(TLayoutContext& ctx, int x, int y, THitResult& hit);
    void CopyText(int selStart, int selEnd, std::string& out) const;
    bool CharPosition(int sourceIndex, int& x, int& y) const;
    void Dump(TDumpWriter& out) const;
    // Index of the block covering y, or -1.
    int BlockAt(int y) const;

    TSectionList* Document;
    int Height = 0;

protected:
    std::vector<std::unique_ptr<TSectionBase>> m_blocks;
};
