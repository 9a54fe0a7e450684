#include "html/document/map_item.h"

#include "base/ascii.h"
#include "html/common/attribute.h"
#include "html/common/text_util.h"

#include <cstdlib>

TMapArea::TMapArea(const TAttributeList& attributes)
{
    using html::Attr;
    const std::string shape = base::toUpper(attributes.TextOf(Attr::Shape));
    if (shape.rfind("CIRC", 0) == 0)
        AreaShape = Shape::Circle;
    else if (shape.rfind("POLY", 0) == 0)
        AreaShape = Shape::Poly;
    else if (shape == "DEFAULT")
        AreaShape = Shape::Default;
    const std::string coords = attributes.TextOf(Attr::Coords);
    const char* p = coords.c_str();
    while (*p) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p) {
            ++p;
            continue;
        }
        Coords.push_back(static_cast<int>(v));
        p = end;
    }
    Href = attributes.TextOf(Attr::Href);
    Target = attributes.TextOf(Attr::Target);
    NoHref = attributes.Has(Attr::NoHref);
}

bool TMapArea::Contains(int x, int y) const
{
    switch (AreaShape) {
    case Shape::Default:
        return true;
    case Shape::Rect:
        return Coords.size() >= 4 && x >= Coords[0] && y >= Coords[1] && x <= Coords[2] &&
               y <= Coords[3];
    case Shape::Circle: {
        if (Coords.size() < 3)
            return false;
        const long dx = x - Coords[0], dy = y - Coords[1], r = Coords[2];
        return dx * dx + dy * dy <= r * r;
    }
    case Shape::Poly: {
        // Even-odd rule over the polygon's edges.
        const std::size_t n = Coords.size() / 2;
        bool inside = false;
        for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
            const double xi = Coords[2 * i], yi = Coords[2 * i + 1];
            const double xj = Coords[2 * j], yj = Coords[2 * j + 1];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
                inside = !inside;
        }
        return inside;
    }
    }
    return false;
}

bool TMapItem::GetURL(int x, int y, std::string& url, std::string& target) const
{
    for (const TMapArea& area : Areas) {
        if (area.Contains(x, y)) {
            if (area.NoHref)
                return false;
            url = area.Href;
            target = area.Target;
            return true;
        }
    }
    return false;
}
