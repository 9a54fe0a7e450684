#pragma once

#include "html/common/my_font.h"

#include <vector>

struct TUrlTarget;

// A run of a section's text in one font, from Pos to the next run's Pos.
struct TFontObj {
    TMyFont Font;
    TUrlTarget* UrlTarget = nullptr;
    int Pos = 0;
};

using TFontList = std::vector<TFontObj>;
