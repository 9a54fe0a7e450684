#include "html/layout/font_cache.h"

#include "platform/ansi.h"

#include <cmath>
#include <QFontMetrics>
#include <QStringDecoder>

int TFontMetrics::textWidth(std::string_view text) const
{
    int w = 0;
    for (unsigned char c : text)
        w += widths[c];
    return w;
}

void TFontCache::setDefFontSize(int size)
{
    if (size != m_defFontSize) {
        m_defFontSize = size;
        m_fonts.clear();
    }
}

int TFontCache::pixelSize(double points) const
{
    return std::max(1, static_cast<int>(std::lround(points * kDotsPerInch / kPointsPerInch)));
}

const TFontMetrics& TFontCache::metrics(const TMyFont& font)
{
    double points = static_cast<double>(m_defFontSize) * font.NominalSize / 12.0;
    if (font.Script != TMyFont::Normal)
        points = points * 3 / 4;
    return find(Key{font.Name, pixelSize(points), font.Bold, font.Italic, font.Underline,
                    font.StrikeOut, font.Charset},
                font.FixedPitch);
}

const TFontMetrics& TFontCache::metrics(const std::string& name, double points, bool bold,
                                        bool italic, int charset)
{
    return find(Key{name, pixelSize(points), bold, italic, false, false, charset}, false);
}

const TFontMetrics& TFontCache::find(const Key& key, bool fixedPitch)
{
    auto& slot = m_fonts[key];
    if (slot)
        return *slot;
    const auto& [name, pixels, bold, italic, underline, strikeOut, charset] = key;
    slot = std::make_unique<TFontMetrics>();
    QFont f(QString::fromStdString(name));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setStrikeOut(strikeOut);
    f.setKerning(false);
    // Hinted glyphs advance by whole pixels, so painted text lands exactly
    // where the summed advances put it.
    f.setHintingPreference(QFont::PreferFullHinting);
    if (fixedPitch)
        f.setStyleHint(QFont::Monospace);
    QFontMetrics fm(f);
    slot->font = f;
    slot->ascent = fm.ascent();
    slot->descent = fm.descent();
    slot->codePage = &html::codePageTable(charset);
    for (int c = 0; c < 256; ++c)
        slot->widths[c] = c < ' ' ? 0 : fm.horizontalAdvance(QChar((*slot->codePage)[c]));
    return *slot;
}

namespace html {
namespace {

std::array<char16_t, 256> buildTable(const char* codecName)
{
    std::array<char16_t, 256> table{};
    QString decoded;
    if (codecName) {
        QStringDecoder decoder(codecName);
        if (decoder.isValid()) {
            for (int c = 0; c < 256; ++c) {
                const char byte = static_cast<char>(c);
                QString s = decoder.decode(QByteArrayView(&byte, 1));
                table[c] = s.size() == 1 ? s.at(0).unicode() : char16_t(c);
            }
            return table;
        }
    }
    for (int c = 0; c < 256; ++c) {
        const char byte = static_cast<char>(c);
        QString s = platform::fromAnsi(std::string_view(&byte, 1));
        table[c] = s.size() == 1 ? s.at(0).unicode() : char16_t(c);
    }
    return table;
}

} // namespace

const std::array<char16_t, 256>& codePageTable(int charset)
{
    static const auto ansi = buildTable(nullptr);
    static const auto greek = buildTable("windows-1253");
    static const auto eastEurope = buildTable("windows-1250");
    static const auto russian = buildTable("windows-1251");
    static const auto turkish = buildTable("windows-1254");
    static const auto baltic = buildTable("windows-1257");
    switch (charset) {
    case 161:
        return greek;
    case 238:
        return eastEurope;
    case 204:
        return russian;
    case 162:
        return turkish;
    case 186:
        return baltic;
    default:
        return ansi;
    }
}

} // namespace html
