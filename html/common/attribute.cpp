#include "html/common/attribute.h"

#include "base/ascii.h"
#include "html/common/text_util.h"

#include <algorithm>

const TAttribute* TAttributeList::Find(html::Attr which) const
{
    for (const TAttribute& a : m_items)
        if (a.Which == which)
            return &a;
    return nullptr;
}

std::string TAttributeList::TextOf(html::Attr which) const
{
    const TAttribute* a = Find(which);
    return a ? a->Text : std::string();
}

int TAttributeList::NumberOf(html::Attr which, int fallback) const
{
    const TAttribute* a = Find(which);
    return a ? a->Number : fallback;
}

namespace html {

std::optional<Length> lengthOf(const TAttribute* attribute)
{
    if (!attribute)
        return std::nullopt;
    bool percent = !attribute->Text.empty() && attribute->Text.back() == '%';
    int n = attribute->Number;
    if (percent) {
        if (n >= 1 && n <= 100)
            return Length{n, true};
        return std::nullopt;
    }
    if (n > 0)
        return Length{std::min(n, kMaxPixelLength), false};
    return std::nullopt;
}

int pixelHeightOf(const TAttribute* attribute)
{
    if (!attribute || attribute->Number <= 0)
        return 0;
    return std::min(attribute->Number, kMaxPixelLength);
}

bool textIs(const TAttribute* attribute, std::string_view word)
{
    return attribute && base::equalsIgnoreCase(attribute->Text, word);
}

} // namespace html
