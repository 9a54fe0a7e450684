#include "html/images/gif_composer.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace images {

namespace {

// Row of the picture that the n-th stored row fills. Interlaced images store
// every 8th row from 0, then every 8th from 4, every 4th from 2, every 2nd
// from 1.
std::vector<int> storedRowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    static constexpr std::array<std::pair<int, int>, 4> kPasses{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto& [start, step] : kPasses)
        for (int y = start; y < height; y += step)
            rows.push_back(y);
    return rows;
}

} // namespace

GifComposer::GifComposer(const TGIFImage& gif) : m_gif(&gif)
{
    Restart();
}

void GifComposer::Restart()
{
    // The canvas is allocated once; starting over only clears it.
    if (m_canvas.isNull())
        m_canvas = QImage(m_gif->Width(), m_gif->Height(), QImage::Format_ARGB32_Premultiplied);
    m_canvas.fill(Qt::transparent);
    m_savedRect = QRect();
    m_shown = -1;
}

int GifComposer::Step()
{
    if (m_gif->FrameCount() == 0 || m_canvas.isNull())
        return m_shown;
    if (m_shown >= 0)
        dispose(m_gif->FrameAt(m_shown));
    int nextFrame = m_shown + 1;
    if (nextFrame >= m_gif->FrameCount()) {
        // A new pass starts from an empty canvas, like the first one.
        m_canvas.fill(Qt::transparent);
        nextFrame = 0;
    }
    const auto& frame = m_gif->FrameAt(nextFrame);
    if (frame.disposal == TGIFImage::Disposal::RestorePrevious)
        save(frame.rect.intersected(m_canvas.rect()));
    draw(frame);
    m_shown = nextFrame;
    return m_shown;
}

void GifComposer::dispose(const TGIFImage::Frame& frame)
{
    const QRect area = frame.rect.intersected(m_canvas.rect());
    if (area.isEmpty())
        return;
    if (frame.disposal == TGIFImage::Disposal::RestoreBackground) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_canvas.scanLine(y));
            std::fill(line + area.left(), line + area.right() + 1, QRgb(0));
        }
    } else if (frame.disposal == TGIFImage::Disposal::RestorePrevious && m_savedRect == area) {
        const auto width = static_cast<std::size_t>(area.width());
        for (int y = 0; y < area.height(); ++y) {
            const QRgb* from = m_saved.data() + static_cast<std::size_t>(y) * width;
            auto* to = reinterpret_cast<QRgb*>(m_canvas.scanLine(area.top() + y));
            std::copy(from, from + width, to + area.left());
        }
        m_savedRect = QRect();
    }
}

// Keeps what `area` of the canvas holds. The buffer is reused from frame to
// frame: animations that restore large areas would otherwise take and give
// back fresh memory on every step.
void GifComposer::save(const QRect& area)
{
    m_savedRect = area;
    if (area.isEmpty())
        return;
    const auto width = static_cast<std::size_t>(area.width());
    m_saved.resize(width * static_cast<std::size_t>(area.height()));
    for (int y = 0; y < area.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(m_canvas.constScanLine(area.top() + y));
        std::copy(from + area.left(), from + area.left() + area.width(),
                  m_saved.data() + static_cast<std::size_t>(y) * width);
    }
}

void GifComposer::draw(const TGIFImage::Frame& frame)
{
    const int width = frame.rect.width();
    const int height = frame.rect.height();
    if (width == 0 || height == 0)
        return;
    const std::vector<int> rows = storedRowOrder(height, frame.interlaced);
    const std::vector<QRgb>& palette = *frame.palette;
    const int canvasWidth = m_canvas.width();
    const int canvasHeight = m_canvas.height();
    const int x0 = std::max(0, -frame.rect.left());
    const int x1 = std::min(width, canvasWidth - frame.rect.left());
    std::size_t remaining = frame.decodedPixels;
    for (int stored = 0; stored < height && remaining > 0; ++stored) {
        const std::size_t rowPixels =
            std::min<std::size_t>(remaining, static_cast<std::size_t>(width));
        remaining -= rowPixels;
        const int y = frame.rect.top() + rows[static_cast<std::size_t>(stored)];
        if (y < 0 || y >= canvasHeight)
            continue;
        const std::uint8_t* source = frame.pixels.get() + static_cast<std::size_t>(stored) * width;
        auto* line = reinterpret_cast<QRgb*>(m_canvas.scanLine(y));
        const int end = std::min(x1, static_cast<int>(rowPixels));
        for (int x = x0; x < end; ++x) {
            const int index = source[x];
            if (index != frame.transparentIndex)
                line[frame.rect.left() + x] = palette[static_cast<std::size_t>(index)];
        }
    }
}

} // namespace images
