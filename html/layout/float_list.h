#pragma once

#include <vector>

// The floating boxes (images and tables aligned left or right) of one cell
// while it is being laid out. Lines ask for the edges left free at their
// height; a CLEAR moves below the floats of one or both sides.
class TFloatList {
public:
    enum Side { Left = 1, Right = 2, Both = 3 };

    void add(Side side, int left, int right, int top, int bottom);

    // The left edge of the free band [y, y + height), at least base.
    int leftEdge(int y, int height, int base) const;
    // The right edge of the free band [y, y + height), at most base.
    int rightEdge(int y, int height, int base) const;
    // The first y below every float of the side(s), at least y.
    int clear(int y, int side) const;
    // The smallest float bottom below y, or y when none ends below it.
    int nextBottom(int y) const;
    // The lowest bottom of all floats, at least y.
    int bottom(int y) const;
    bool empty() const { return m_floats.empty(); }

private:
    struct Box {
        Side side;
        int left, right, top, bottom;
    };
    std::vector<Box> m_floats;
};
