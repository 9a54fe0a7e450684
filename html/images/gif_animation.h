#pragma once

#include "html/images/gif_composer.h"
#include "html/images/gif_image.h"

#include <memory>
#include <QImage>

// A running animation of one TGIFImage: which frame is shown, how long until
// the next one, and how many passes are left. The viewer's 50 ms timer calls
// Advance() with the time that went by and repaints when it returns true.
// Every document that shows the picture can keep its own TGIFAnimation over
// the same shared TGIFImage.
class TGIFAnimation {
public:
    explicit TGIFAnimation(std::shared_ptr<const TGIFImage> gif);

    const TGIFImage& Gif() const { return *m_gif; }
    // The picture to draw now (ARGB32 premultiplied, the size of the screen).
    const QImage& CurrentImage() const { return m_composer.Canvas(); }
    int CurrentFrame() const { return m_composer.Shown(); }

    // Milliseconds before the next frame is due; -1 once the animation has
    // stopped (or for a single-frame picture).
    int TimeUntilNext() const { return Stopped() ? -1 : m_remainingMs; }
    bool Stopped() const { return m_stopped; }
    // Passes completed so far.
    int LoopsDone() const { return m_loopsDone; }

    // Lets `elapsedMs` go by. Returns true when a different frame is now
    // shown. However long the pause, at most one full pass is stepped through
    // in one call, so a stalled timer never makes this call slow.
    bool Advance(int elapsedMs);

    // Back to frame 0 with the loop count restored.
    void Reset();

private:
    bool passesExhausted() const;

    std::shared_ptr<const TGIFImage> m_gif;
    images::GifComposer m_composer;
    int m_remainingMs = 0;
    int m_loopsDone = 0;
    bool m_stopped = false;
};
