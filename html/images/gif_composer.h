#pragma once

#include "html/images/gif_image.h"

#include <QImage>
#include <QRect>
#include <utility>
#include <vector>

namespace images {

// Draws the frames of a TGIFImage in order onto one canvas, applying each
// frame's disposal before the next frame is drawn. The canvas starts
// transparent, and so does every new pass after the last frame.
class GifComposer {
public:
    explicit GifComposer(const TGIFImage& gif);

    // Starts again with an empty canvas; the next Step() draws frame 0.
    void Restart();
    // Disposes of the frame shown and draws the next one (frame 0 after the
    // last). Returns the index of the frame now shown.
    int Step();

    // ARGB32 premultiplied, the size of the logical screen.
    const QImage& Canvas() const { return m_canvas; }
    // Hands the canvas over (the composer is done with it afterwards).
    QImage TakeCanvas() { return std::move(m_canvas); }
    int Shown() const { return m_shown; }

private:
    void dispose(const TGIFImage::Frame& frame);
    void draw(const TGIFImage::Frame& frame);

    const TGIFImage* m_gif; // a pointer, so that animations can be assigned
    QImage m_canvas;
    void save(const QRect& area);

    std::vector<QRgb> m_saved; // what a RestorePrevious frame covered
    QRect m_savedRect;         // where that was; empty when nothing is kept
    int m_shown = -1;
};

} // namespace images
