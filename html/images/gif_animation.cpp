#include "html/images/gif_animation.h"

#include <utility>

TGIFAnimation::TGIFAnimation(std::shared_ptr<const TGIFImage> gif)
    : m_gif(std::move(gif)), m_composer(*m_gif)
{
    Reset();
}

void TGIFAnimation::Reset()
{
    m_composer.Restart();
    m_composer.Step();
    m_loopsDone = 0;
    m_remainingMs = m_gif->FrameAt(0).delayMs;
    m_stopped = !m_gif->IsAnimated();
}

bool TGIFAnimation::passesExhausted() const
{
    const int loopCount = m_gif->LoopCount();
    if (loopCount == 0)
        return false; // for ever
    const int passes = loopCount == TGIFImage::kNoLoopExtension ? 1 : loopCount + 1;
    return m_loopsDone >= passes;
}

bool TGIFAnimation::Advance(int elapsedMs)
{
    if (m_stopped || elapsedMs <= 0)
        return false;
    m_remainingMs -= elapsedMs;
    bool changed = false;
    for (int steps = 0; m_remainingMs <= 0 && steps < m_gif->FrameCount(); ++steps) {
        const bool lastFrame = m_composer.Shown() == m_gif->FrameCount() - 1;
        if (lastFrame) {
            ++m_loopsDone;
            if (passesExhausted()) {
                // The last frame stays on screen.
                m_stopped = true;
                break;
            }
        }
        m_composer.Step();
        changed = true;
        m_remainingMs += m_gif->FrameAt(m_composer.Shown()).delayMs;
    }
    if (m_remainingMs <= 0 && !m_stopped)
        m_remainingMs = m_gif->FrameAt(m_composer.Shown()).delayMs;
    return changed;
}
