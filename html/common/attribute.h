#pragma once

#include "html/common/tag_table.h"

#include <optional>
#include <string>
#include <vector>

// One attribute of a tag: which one, its value read as a whole number (0
// when it is not one) and its value text (empty when it has none).
struct TAttribute {
    html::Attr Which = html::Attr::UnknownAttr;
    int Number = 0;
    std::string Text;
};

// The attributes of the tag just read. Tags that take attributes empty it and
// fill it afresh.
class TAttributeList {
public:
    void Clear() { m_items.clear(); }
    void Add(TAttribute attribute) { m_items.push_back(std::move(attribute)); }
    bool empty() const { return m_items.empty(); }
    const std::vector<TAttribute>& items() const { return m_items; }

    // The first attribute of that kind, or null.
    const TAttribute* Find(html::Attr which) const;
    bool Has(html::Attr which) const { return Find(which) != nullptr; }
    // The value text, or an empty string when the attribute is absent.
    std::string TextOf(html::Attr which) const;
    // The number, or the fallback when the attribute is absent.
    int NumberOf(html::Attr which, int fallback) const;

private:
    std::vector<TAttribute> m_items;
};

namespace html {

// A length given as pixels or as a percentage ("50%").
struct Length {
    int value = 0;
    bool percent = false;
};

// Largest pixel length a page may ask for (WIDTH, HEIGHT); wider pages
// scroll anyway, and bigger values only feed overflowing arithmetic.
inline constexpr int kMaxPixelLength = 32000;

// Reads WIDTH-like values: pixels above 0 (at most kMaxPixelLength), or 1
// to 100 followed by "%". Anything else yields no length.
std::optional<Length> lengthOf(const TAttribute* attribute);

// A pixel HEIGHT above 0, at most kMaxPixelLength; 0 when there is none.
int pixelHeightOf(const TAttribute* attribute);

// Whether the value text equals word, ignoring case.
bool textIs(const TAttribute* attribute, std::string_view word);

} // namespace html
