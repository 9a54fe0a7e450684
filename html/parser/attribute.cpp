#include "html/parser/attribute.h"

#include "html/parser/text_util.h"

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
        return Length{n, false};
    return std::nullopt;
}

bool textIs(const TAttribute* attribute, std::string_view word)
{
    return attribute && equalsIgnoreCase(attribute->Text, word);
}

} // namespace html
