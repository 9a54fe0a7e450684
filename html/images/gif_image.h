#pragma once

#include "platform/exception.h"

#include <cstdint>
#include <memory>
#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QRgb>
#include <vector>

// Raised by the GIF decoder for data it cannot make a picture of: a bad
// signature, a structure cut short before the first frame is complete, an
// invalid compression code in the first frame, or a picture larger than the
// decoder accepts. The message is always "Corrupt GIF Image".
class EGifError : public Exception {
public:
    static constexpr char kMessage[] = "Corrupt GIF Image";
    EGifError();
};

// A decoded GIF87a or GIF89a picture: the logical screen, every frame's
// pixels as colour indexes with its own palette and timing, and the loop
// count of the animation. The object is immutable once built, so one decoded
// image can be shared by every document that shows it; the state of a
// running animation lives in TGIFAnimation.
//
// Damage after the first complete frame is tolerated the way readers of the
// web expect: the frames read so far are kept and the rest is dropped. A
// frame whose compressed data ends before all of its pixels leaves the
// missing pixels transparent.
class TGIFImage {
public:
    // How a frame leaves the canvas before the next one is drawn.
    enum class Disposal : std::uint8_t {
        None,              // 0: not specified, treated as Keep
        Keep,              // 1: leave the frame in place
        RestoreBackground, // 2: clear the frame's rectangle to transparent
        RestorePrevious,   // 3: put back what the rectangle held before
    };

    // Frames without a table of their own share the global one.
    using Palette = std::shared_ptr<const std::vector<QRgb>>;

    struct Frame {
        QRect rect;                // position on the logical screen
        bool interlaced = false;   // rows were stored in four passes
        int transparentIndex = -1; // -1 when the frame has none
        int delayMs = 0;           // display time, already defaulted
        Disposal disposal = Disposal::None;
        Palette palette; // always 256 entries
        // Colour indexes, rect.width() x rect.height() in stored row order;
        // only the first decodedPixels are set. Left uninitialised so that a
        // frame claiming a large area on a few bytes of data costs no memory
        // beyond what it really fills.
        std::unique_ptr<std::uint8_t[]> pixels;
        std::size_t decodedPixels = 0; // pixels the data actually delivered
    };

    // The loop count when the file carries no loop extension: play once.
    static constexpr int kNoLoopExtension = -1;
    // Delay given to frames whose stored delay is 0 or 10 ms, which would
    // otherwise spin; readers of the web do the same.
    static constexpr int kDefaultDelayMs = 100;

    // Decodes the whole file. Throws EGifError when no frame can be read.
    explicit TGIFImage(const QByteArray& data);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    bool IsAnimated() const { return m_frames.size() > 1; }
    const Frame& FrameAt(int index) const { return m_frames.at(static_cast<std::size_t>(index)); }

    // The value of the loop extension: 0 repeats for ever, N > 0 repeats N
    // times after the first pass, kNoLoopExtension plays the frames once.
    int LoopCount() const { return m_loopCount; }

    // True when some pixel of some frame may be transparent.
    bool Transparent() const { return m_transparent; }

    // The first frame composed on the canvas: ARGB32 premultiplied, or RGB32
    // when the picture has no transparency.
    const QImage& Image() const { return m_firstImage; }

    // Frame `index` as it appears after frames 0 .. index-1 were shown and
    // disposed of in turn. Composes from the start on every call; an
    // animation uses TGIFAnimation instead, which steps in order.
    QImage ComposedFrame(int index) const;

    // Largest logical screen or frame accepted, in pixels (16 M pixels,
    // 64 MB as ARGB): far beyond any GIF on a web page, yet small enough that
    // a few hostile bytes cannot make the decoder take gigabytes. Larger
    // pictures are refused as corrupt.
    static constexpr std::int64_t kMaxPixels = 16LL * 1024 * 1024;
    // Frames stop being read once their stored pixels reach this budget.
    static constexpr std::int64_t kMaxStoredPixels = 64LL * 1024 * 1024;
    // Frames after this many are dropped.
    static constexpr std::size_t kMaxFrames = 10000;

private:
    int m_width = 0;
    int m_height = 0;
    int m_loopCount = kNoLoopExtension;
    bool m_transparent = false;
    std::vector<Frame> m_frames;
    QImage m_firstImage;

    friend class GifReader;
};
