#pragma once

#include "html/document/section_base.h"

// The small fixed-height blocks of the flow: the space of a paragraph break,
// the space around a heading, and a page break for printing. They share this
// header because each is only a height.
class TParagraphSpace : public TSectionBase {
public:
    static constexpr int kSpace = 14;

    using TSectionBase::TSectionBase;
    void MinMaxWidth(TLayoutContext&, int& Min, int& Max) override { Min = Max = 0; }
    int DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats) override;
    void Draw(TPaintContext&) override {}
    void Dump(TDumpWriter& out) const override;
    // The height for the document's base font size.
    virtual int SpaceHeight(int defFontSize) const { return kSpace * defFontSize / 12; }
    int ClearAttr = 0;
};

class THeadingSpace : public TParagraphSpace {
public:
    THeadingSpace(TSectionList* document, int level) : TParagraphSpace(document), Level(level) {}
    int SpaceHeight(int defFontSize) const override;
    void Dump(TDumpWriter& out) const override;
    int Level;
};

class TPage : public TSectionBase {
public:
    using TSectionBase::TSectionBase;
    void MinMaxWidth(TLayoutContext&, int& Min, int& Max) override { Min = Max = 0; }
    int DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats) override;
    void Draw(TPaintContext&) override {}
    void Dump(TDumpWriter& out) const override;
};
