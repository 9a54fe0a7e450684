#include "html/layout/float_list.h"

#include <algorithm>

void TFloatList::add(Side side, int left, int right, int top, int bottom)
{
    m_floats.push_back(Box{side, left, right, top, bottom});
}

int TFloatList::leftEdge(int y, int height, int base) const
{
    int edge = base;
    for (const Box& b : m_floats)
        if (b.side == Left && b.top < y + std::max(height, 1) && b.bottom > y)
            edge = std::max(edge, b.right);
    return edge;
}

int TFloatList::rightEdge(int y, int height, int base) const
{
    int edge = base;
    for (const Box& b : m_floats)
        if (b.side == Right && b.top < y + std::max(height, 1) && b.bottom > y)
            edge = std::min(edge, b.left);
    return edge;
}

int TFloatList::clear(int y, int side) const
{
    for (const Box& b : m_floats)
        if (b.side & side)
            y = std::max(y, b.bottom);
    return y;
}

int TFloatList::nextBottom(int y) const
{
    int next = -1;
    for (const Box& b : m_floats)
        if (b.bottom > y && (next < 0 || b.bottom < next))
            next = b.bottom;
    return next < 0 ? y : next;
}

int TFloatList::bottom(int y) const
{
    for (const Box& b : m_floats)
        y = std::max(y, b.bottom);
    return y;
}
