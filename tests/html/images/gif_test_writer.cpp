#include "gif_test_writer.h"

#include <map>
#include <utility>

namespace giftest {

namespace {

void putWord(QByteArray& out, int value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8 & 0xFF));
}

int tableBits(std::size_t count)
{
    int bits = 0;
    while ((std::size_t{2} << bits) < count)
        ++bits;
    return bits;
}

void putPalette(QByteArray& out, const std::vector<QRgb>& palette)
{
    for (QRgb c : palette) {
        out.append(static_cast<char>(qRed(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qBlue(c)));
    }
}

class BitWriter {
public:
    void put(int code, int bits)
    {
        m_acc |= static_cast<std::uint32_t>(code) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            m_bytes.push_back(static_cast<std::uint8_t>(m_acc & 0xFF));
            m_acc >>= 8;
            m_count -= 8;
        }
    }
    std::vector<std::uint8_t> finish()
    {
        if (m_count > 0)
            m_bytes.push_back(static_cast<std::uint8_t>(m_acc & 0xFF));
        return std::move(m_bytes);
    }

private:
    std::uint32_t m_acc = 0;
    int m_count = 0;
    std::vector<std::uint8_t> m_bytes;
};

std::vector<std::uint8_t> storedOrder(const FrameRecipe& frame)
{
    const int w = frame.rect.width();
    const int h = frame.rect.height();
    if (!frame.interlaced)
        return frame.pixels;
    std::vector<std::uint8_t> out;
    const std::pair<int, int> passes[] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (auto [start, step] : passes)
        for (int y = start; y < h; y += step)
            out.insert(out.end(), frame.pixels.begin() + y * w, frame.pixels.begin() + (y + 1) * w);
    return out;
}

} // namespace

QByteArray compress(const std::vector<std::uint8_t>& indexes, int minCodeSize, bool clearWhenFull)
{
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    BitWriter bits;
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2;
    int width = minCodeSize + 1;
    bits.put(clear, width);
    int current = -1;
    for (std::uint8_t pixel : indexes) {
        if (current < 0) {
            current = pixel;
            continue;
        }
        auto found = table.find({current, pixel});
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        bits.put(current, width);
        if (next < 4096) {
            table[{current, pixel}] = next++;
            // The reader widens its codes once the table reaches the next
            // power of two, one code after the writer added the entry.
            if (next > (1 << width) && width < 12)
                ++width;
        } else if (clearWhenFull) {
            bits.put(clear, width);
            table.clear();
            next = clear + 2;
            width = minCodeSize + 1;
        }
        current = pixel;
    }
    if (current >= 0)
        bits.put(current, width);
    bits.put(end, width);
    const std::vector<std::uint8_t> data = bits.finish();

    QByteArray out;
    for (std::size_t pos = 0; pos < data.size(); pos += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - pos);
        out.append(static_cast<char>(n));
        out.append(reinterpret_cast<const char*>(data.data() + pos), static_cast<qsizetype>(n));
    }
    out.append('\0');
    return out;
}

std::vector<QRgb> rampPalette(int count)
{
    std::vector<QRgb> palette;
    for (int i = 0; i < count; ++i)
        palette.push_back(qRgb(i, 255 - i, (i * 37) & 0xFF));
    return palette;
}

QByteArray writeGif(const GifRecipe& recipe)
{
    QByteArray out("GIF89a");
    putWord(out, recipe.width);
    putWord(out, recipe.height);
    const bool global = !recipe.globalPalette.empty();
    out.append(
        static_cast<char>(global ? 0x80 | 0x70 | tableBits(recipe.globalPalette.size()) : 0));
    out.append('\0');
    out.append('\0');
    if (global)
        putPalette(out, recipe.globalPalette);
    if (recipe.loopCount >= 0) {
        out.append("\x21\xFF\x0B"
                   "NETSCAPE2.0"
                   "\x03\x01",
                   16);
        putWord(out, recipe.loopCount);
        out.append('\0');
    }
    for (const FrameRecipe& frame : recipe.frames) {
        if (frame.withControl) {
            out.append("\x21\xF9\x04", 3);
            out.append(
                static_cast<char>(frame.disposal << 2 | (frame.transparentIndex >= 0 ? 1 : 0)));
            putWord(out, frame.delayCs);
            out.append(static_cast<char>(frame.transparentIndex >= 0 ? frame.transparentIndex : 0));
            out.append('\0');
        }
        out.append(',');
        putWord(out, frame.rect.left());
        putWord(out, frame.rect.top());
        putWord(out, frame.rect.width());
        putWord(out, frame.rect.height());
        const bool local = !frame.localPalette.empty();
        out.append(static_cast<char>((local ? 0x80 | tableBits(frame.localPalette.size()) : 0) |
                                     (frame.interlaced ? 0x40 : 0)));
        if (local)
            putPalette(out, frame.localPalette);
        const std::size_t colours = local ? frame.localPalette.size() : recipe.globalPalette.size();
        const int minCodeSize =
            recipe.minCodeSize ? recipe.minCodeSize : std::max(2, tableBits(colours) + 1);
        out.append(static_cast<char>(minCodeSize));
        out.append(compress(storedOrder(frame), minCodeSize, recipe.clearWhenFull));
    }
    if (recipe.trailer)
        out.append(';');
    return out;
}

} // namespace giftest
