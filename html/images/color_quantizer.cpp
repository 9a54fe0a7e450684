#include "html/images/color_quantizer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace images {

namespace {

constexpr int kOctreeDepth = 8; // one level per bit of each channel
constexpr int kNoNode = -1;
constexpr int kMaxIndexedColors = 256;
constexpr int kHalfOpaque = 128;
constexpr int kLookupBits = 5; // nearest-colour cache: 32 levels per channel
constexpr int kLookupShift = 8 - kLookupBits;

bool isTransparent(QRgb pixel)
{
    return qAlpha(pixel) < kHalfOpaque;
}

// Un-premultiplied ARGB32, the one layout the loops below read.
QImage asArgb(const QImage& image)
{
    return image.format() == QImage::Format_ARGB32 ? image
                                                   : image.convertToFormat(QImage::Format_ARGB32);
}

// Colours sorted into a tree by their bits, most significant first: the
// eight children of a node differ in the next bit of red, green and blue.
// Whenever there are more leaves than colours wanted, the deepest inner
// node is folded into one leaf holding the average of its children.
class Octree {
public:
    explicit Octree(int maxColors) : m_maxColors(maxColors)
    {
        m_nodes.push_back(Node{});
        m_reducible[0].push_back(0); // the root folds last, into a single colour
    }

    void add(QRgb color)
    {
        int node = 0;
        for (int level = 0; level < kOctreeDepth && !m_nodes[static_cast<std::size_t>(node)].leaf;
             ++level) {
            const int shift = 7 - level;
            const int child = ((qRed(color) >> shift & 1) << 2) |
                              ((qGreen(color) >> shift & 1) << 1) | (qBlue(color) >> shift & 1);
            int next =
                m_nodes[static_cast<std::size_t>(node)].children[static_cast<std::size_t>(child)];
            if (next == kNoNode) {
                next = newNode(level + 1);
                m_nodes[static_cast<std::size_t>(node)].children[static_cast<std::size_t>(child)] =
                    next;
            }
            node = next;
        }
        Node& leaf = m_nodes[static_cast<std::size_t>(node)];
        leaf.count += 1;
        leaf.red += static_cast<std::uint64_t>(qRed(color));
        leaf.green += static_cast<std::uint64_t>(qGreen(color));
        leaf.blue += static_cast<std::uint64_t>(qBlue(color));
        while (m_leaves > m_maxColors && reduce()) {
        }
    }

    struct Entry {
        QRgb color;
        std::uint64_t count;
    };

    std::vector<Entry> palette() const
    {
        std::vector<Entry> colors;
        collect(0, colors);
        return colors;
    }

private:
    struct Node {
        std::array<int, 8> children{kNoNode, kNoNode, kNoNode, kNoNode,
                                    kNoNode, kNoNode, kNoNode, kNoNode};
        bool leaf = false;
        std::uint64_t count = 0;
        std::uint64_t red = 0, green = 0, blue = 0;
    };

    int newNode(int level)
    {
        int index;
        if (!m_free.empty()) {
            index = m_free.back();
            m_free.pop_back();
            m_nodes[static_cast<std::size_t>(index)] = Node{};
        } else {
            index = static_cast<int>(m_nodes.size());
            m_nodes.push_back(Node{});
        }
        if (level == kOctreeDepth) {
            m_nodes[static_cast<std::size_t>(index)].leaf = true;
            ++m_leaves;
        } else {
            m_reducible[static_cast<std::size_t>(level)].push_back(index);
        }
        return index;
    }

    bool reduce()
    {
        int level = kOctreeDepth - 1;
        while (level > 0 && m_reducible[static_cast<std::size_t>(level)].empty())
            --level;
        auto& candidates = m_reducible[static_cast<std::size_t>(level)];
        if (candidates.empty())
            return false;
        const int index = candidates.back();
        candidates.pop_back();
        Node& node = m_nodes[static_cast<std::size_t>(index)];
        int folded = 0;
        for (int& child : node.children) {
            if (child == kNoNode)
                continue;
            const Node& c = m_nodes[static_cast<std::size_t>(child)];
            node.count += c.count;
            node.red += c.red;
            node.green += c.green;
            node.blue += c.blue;
            m_free.push_back(child);
            child = kNoNode;
            ++folded;
        }
        node.leaf = true;
        m_leaves -= folded - 1;
        return true;
    }

    void collect(int index, std::vector<Entry>& colors) const
    {
        const Node& node = m_nodes[static_cast<std::size_t>(index)];
        if (node.leaf) {
            if (node.count > 0)
                colors.push_back({qRgb(static_cast<int>((node.red + node.count / 2) / node.count),
                                       static_cast<int>((node.green + node.count / 2) / node.count),
                                       static_cast<int>((node.blue + node.count / 2) / node.count)),
                                  node.count});
            return;
        }
        for (int child : node.children)
            if (child != kNoNode)
                collect(child, colors);
    }

    int m_maxColors;
    int m_leaves = 0;
    std::vector<Node> m_nodes;
    std::vector<int> m_free;
    std::array<std::vector<int>, kOctreeDepth> m_reducible;
};

// Nearest palette entry by squared distance, cached per 15-bit colour.
class NearestColor {
public:
    explicit NearestColor(const std::vector<QRgb>& palette)
        : m_palette(palette), m_cache(1u << (3 * kLookupBits), -1)
    {
    }

    int find(int r, int g, int b)
    {
        const std::size_t key =
            static_cast<std::size_t>((r >> kLookupShift) << (2 * kLookupBits) |
                                     (g >> kLookupShift) << kLookupBits | (b >> kLookupShift));
        int& cached = m_cache[key];
        if (cached < 0)
            cached = search(r, g, b);
        return cached;
    }

private:
    int search(int r, int g, int b) const
    {
        int best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < m_palette.size(); ++i) {
            const int dr = qRed(m_palette[i]) - r;
            const int dg = qGreen(m_palette[i]) - g;
            const int db = qBlue(m_palette[i]) - b;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int>(i);
            }
        }
        return best;
    }

    const std::vector<QRgb>& m_palette;
    std::vector<int> m_cache;
};

bool hasTransparentPixels(const QImage& argb)
{
    if (!argb.hasAlphaChannel())
        return false;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        if (std::any_of(line, line + argb.width(), isTransparent))
            return true;
    }
    return false;
}

// Merges pairs of colours until at most `maxColors` remain, always the pair
// whose merge moves the fewest pixels the least (distance weighted by both
// pixel counts), so a thin outline does not hold a colour of its own. The tree alone does badly for
// tiny palettes: with more than that many children at its first level it would fold everything into
// one colour.
void mergeClosest(std::vector<Octree::Entry>& colors, std::size_t maxColors)
{
    while (colors.size() > maxColors) {
        std::size_t a = 0, b = 1;
        double best = std::numeric_limits<double>::max();
        for (std::size_t i = 0; i < colors.size(); ++i)
            for (std::size_t j = i + 1; j < colors.size(); ++j) {
                const long dr = qRed(colors[i].color) - qRed(colors[j].color);
                const long dg = qGreen(colors[i].color) - qGreen(colors[j].color);
                const long db = qBlue(colors[i].color) - qBlue(colors[j].color);
                const double na = static_cast<double>(colors[i].count);
                const double nb = static_cast<double>(colors[j].count);
                const double distance =
                    static_cast<double>(dr * dr + dg * dg + db * db) * na * nb / (na + nb);
                if (distance < best) {
                    best = distance;
                    a = i;
                    b = j;
                }
            }
        const std::uint64_t total = colors[a].count + colors[b].count;
        const auto mix = [&](int ca, int cb) {
            return static_cast<int>((ca * colors[a].count + cb * colors[b].count + total / 2) /
                                    total);
        };
        colors[a] = {qRgb(mix(qRed(colors[a].color), qRed(colors[b].color)),
                          mix(qGreen(colors[a].color), qGreen(colors[b].color)),
                          mix(qBlue(colors[a].color), qBlue(colors[b].color))),
                     total};
        colors.erase(colors.begin() + static_cast<std::ptrdiff_t>(b));
    }
}

} // namespace

std::vector<QRgb> octreePalette(const QImage& image, int maxColors)
{
    // Small palettes are first gathered at this size, then merged down.
    constexpr int kSmallestTree = 16;
    const int limit = std::clamp(maxColors, 1, kMaxIndexedColors);
    const QImage argb = asArgb(image);
    Octree tree(std::max(limit, kSmallestTree));
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (!isTransparent(line[x]))
                tree.add(line[x]);
    }
    std::vector<Octree::Entry> entries = tree.palette();
    mergeClosest(entries, static_cast<std::size_t>(limit));
    std::vector<QRgb> colors;
    for (const auto& entry : entries)
        colors.push_back(entry.color);
    return colors;
}

QImage ditherToPalette(const QImage& image, const std::vector<QRgb>& palette)
{
    if (image.isNull() || palette.empty() ||
        palette.size() >= static_cast<std::size_t>(kMaxIndexedColors))
        return QImage();
    const QImage argb = asArgb(image);
    const int width = argb.width();
    const int transparentIndex = static_cast<int>(palette.size());
    QImage out(argb.size(), QImage::Format_Indexed8);
    QList<QRgb> table(palette.begin(), palette.end());
    table.append(qRgba(0, 0, 0, 0));
    out.setColorTable(table);

    NearestColor nearest(palette);
    // Error carried to the current and the next row, per channel, with one
    // spare column on each side so the edges need no special case.
    std::vector<std::array<int, 3>> current(static_cast<std::size_t>(width + 2));
    std::vector<std::array<int, 3>> below(static_cast<std::size_t>(width + 2));
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        std::uint8_t* indexes = out.scanLine(y);
        std::fill(below.begin(), below.end(), std::array<int, 3>{0, 0, 0});
        for (int x = 0; x < width; ++x) {
            if (isTransparent(in[x])) {
                indexes[x] = static_cast<std::uint8_t>(transparentIndex);
                continue;
            }
            auto& error = current[static_cast<std::size_t>(x + 1)];
            // Errors are kept in sixteenths.
            const int want[3] = {std::clamp(qRed(in[x]) + error[0] / 16, 0, 255),
                                 std::clamp(qGreen(in[x]) + error[1] / 16, 0, 255),
                                 std::clamp(qBlue(in[x]) + error[2] / 16, 0, 255)};
            const int index = nearest.find(want[0], want[1], want[2]);
            indexes[x] = static_cast<std::uint8_t>(index);
            const QRgb got = palette[static_cast<std::size_t>(index)];
            const int diff[3] = {want[0] - qRed(got), want[1] - qGreen(got), want[2] - qBlue(got)};
            for (std::size_t c = 0; c < 3; ++c) {
                current[static_cast<std::size_t>(x + 2)][c] += diff[c] * 7;
                below[static_cast<std::size_t>(x)][c] += diff[c] * 3;
                below[static_cast<std::size_t>(x + 1)][c] += diff[c] * 5;
                below[static_cast<std::size_t>(x + 2)][c] += diff[c];
            }
        }
        std::swap(current, below);
    }
    return out;
}

QImage reduceForDisplay(const QImage& image, int depth)
{
    constexpr int kPaletteDepth = 8;
    if (depth > kPaletteDepth || image.isNull())
        return image;
    const QImage argb = asArgb(image);
    const int colors = 1 << std::max(depth, 1);
    const bool transparent = hasTransparentPixels(argb);
    const int opaqueColors = std::max(1, transparent ? colors - 1 : colors);
    std::vector<QRgb> palette = octreePalette(argb, std::min(opaqueColors, kMaxIndexedColors - 1));
    if (palette.empty())
        palette.push_back(qRgb(0, 0, 0)); // every pixel transparent
    return ditherToPalette(argb, palette);
}

} // namespace images
