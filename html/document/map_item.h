#pragma once

#include <string>
#include <vector>

class TAttributeList;

// One AREA of a client-side image map.
struct TMapArea {
    enum class Shape { Rect, Circle, Poly, Default };

    explicit TMapArea(const TAttributeList& attributes);
    bool Contains(int x, int y) const;

    Shape AreaShape = Shape::Rect;
    std::vector<int> Coords;
    std::string Href;
    std::string Target;
    bool NoHref = false;
};

// A client-side image map (MAP), named in upper case.
class TMapItem {
public:
    explicit TMapItem(std::string name) : MapName(std::move(name)) {}
    // The link of the first area holding the point; false when none does or
    // that area is NOHREF.
    bool GetURL(int x, int y, std::string& url, std::string& target) const;

    std::string MapName;
    std::vector<TMapArea> Areas;
};
