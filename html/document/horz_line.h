#pragma once

#include "html/document/section_base.h"

#include <optional>
#include <QColor>

class TAttributeList;

// A horizontal rule (HR).
class THorzLine : public TSectionBase {
public:
    static constexpr int kDefaultSize = 2;
    static constexpr int kMaxSize = 20;
    // Space above and below the rule.
    static constexpr int kMargin = 6;

    THorzLine(TSectionList* document, const TAttributeList& attributes);

    void MinMaxWidth(TLayoutContext&, int& Min, int& Max) override;
    int DrawLogic(TLayoutContext& ctx, int X, int Y, int Width, TFloatList& floats) override;
    void Draw(TPaintContext& ctx) override;
    void Dump(TDumpWriter& out) const override;

    int Align = 2; // TSection alignment codes; centred by default
    int SpecWidth = 0;
    bool SpecWidthPercent = false;
    int Size = kDefaultSize;
    std::optional<QColor> Color;
    bool NoShade = false;

private:
    int m_left = 0;
    int m_width = 0;
};
