#include "html/images/image_cache.h"

#include <algorithm>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Upper case in Windows-1252: ASCII, the accented letters of the Latin-1
// range, and the four letters the code page keeps in 0x80..0x9F.
char upperAnsi(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z')
        return static_cast<char>(b - ('a' - 'A'));
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) // 0xF7 is the division sign
        return static_cast<char>(b - 0x20);
    switch (b) {
    case 0x9A:
        return static_cast<char>(0x8A); // s caron
    case 0x9C:
        return static_cast<char>(0x8C); // oe
    case 0x9E:
        return static_cast<char>(0x8E); // z caron
    case 0xFF:
        return static_cast<char>(0x9F); // y diaeresis
    default:
        return c;
    }
}

} // namespace

ImageCache& ImageCache::Shared()
{
    static ImageCache cache;
    return cache;
}

std::string ImageCache::KeyOf(std::string_view name)
{
    while (!name.empty() && isBlank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && isBlank(name.back()))
        name.remove_suffix(1);
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(), upperAnsi);
    return key;
}

void ImageCache::BeginLoad()
{
    for (auto& [key, entry] : m_entries)
        ++entry.counts.access;
    dropIdle();
}

std::optional<images::LoadedImage> ImageCache::Take(std::string_view name)
{
    const auto found = m_entries.find(KeyOf(name));
    if (found == m_entries.end())
        return std::nullopt;
    found->second.counts.access = 0;
    ++found->second.counts.usage;
    return found->second.picture;
}

void ImageCache::Add(std::string_view name, images::LoadedImage picture)
{
    Entry& entry = m_entries[KeyOf(name)];
    entry.picture = std::move(picture);
    // A replaced entry keeps the uses other documents still make of it.
    entry.counts = Counts{entry.counts.usage + 1, 0};
}

void ImageCache::Release(std::string_view name)
{
    const auto found = m_entries.find(KeyOf(name));
    if (found != m_entries.end() && found->second.counts.usage > 0)
        --found->second.counts.usage;
}

void ImageCache::setLimit(int limit)
{
    m_limit = std::clamp(limit, 0, kMaxLimit);
    dropIdle();
}

std::optional<ImageCache::Counts> ImageCache::CountsOf(std::string_view name) const
{
    const auto found = m_entries.find(KeyOf(name));
    if (found == m_entries.end())
        return std::nullopt;
    return found->second.counts;
}

void ImageCache::dropIdle()
{
    std::erase_if(m_entries, [this](const auto& item) {
        return item.second.counts.usage < 1 && item.second.counts.access > m_limit;
    });
}
