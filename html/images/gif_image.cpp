// GIF87a / GIF89a decoder.
//
// File layout, as read here:
//   header            "GIF87a" or "GIF89a" (any "GIF8" signature is taken)
//   screen descriptor width u16, height u16, flags, background index, aspect
//                     flags: 0x80 global colour table, 0x07 its size (2^(n+1))
//   global table      3 bytes per colour
//   blocks until the trailer 0x3B:
//     0x21 label ...  extension: a chain of sub-blocks (length byte, data),
//                     ended by a zero length. 0xF9 is the graphic control
//                     extension (flags: disposal << 2 | transparent flag,
//                     delay u16 in 1/100 s, transparent index); 0xFF is an
//                     application extension whose "NETSCAPE2.0" (or
//                     "ANIMEXTS1.0") data sub-block 01 lo hi is the loop count
//     0x2C            image: left, top, width, height u16, flags (0x80 local
//                     table, 0x40 interlaced, 0x07 table size), local table,
//                     minimum code size, compressed data as sub-blocks
// All numbers are little-endian.

#include "html/images/gif_image.h"

#include "html/images/gif_composer.h"
#include "html/images/lzw_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kApplicationLabel = 0xFF;

constexpr std::uint8_t kColorTableFlag = 0x80;
constexpr std::uint8_t kColorTableSizeMask = 0x07;
constexpr std::uint8_t kInterlaceFlag = 0x40;
constexpr std::uint8_t kTransparentFlag = 0x01;

constexpr int kPaletteSize = 256;

// Read position over the file's bytes; every read is bounds-checked and a
// read past the end reports failure instead of touching memory.
class ByteReader {
public:
    explicit ByteReader(const QByteArray& data)
        : m_data(reinterpret_cast<const std::uint8_t*>(data.constData())),
          m_size(static_cast<std::size_t>(data.size()))
    {
    }
    bool atEnd() const { return m_pos >= m_size; }
    bool has(std::size_t n) const { return m_size - m_pos >= n; }
    std::uint8_t byte() { return m_data[m_pos++]; }
    std::uint16_t word()
    {
        const std::uint16_t value =
            static_cast<std::uint16_t>(m_data[m_pos] | m_data[m_pos + 1] << 8);
        m_pos += 2;
        return value;
    }
    const std::uint8_t* current() const { return m_data + m_pos; }
    void skip(std::size_t n) { m_pos += n; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// The "no table at all" palette: black and white, the rest black.
TGIFImage::Palette defaultPalette()
{
    auto palette = std::make_shared<std::vector<QRgb>>(kPaletteSize, qRgb(0, 0, 0));
    (*palette)[1] = qRgb(255, 255, 255);
    return palette;
}
} // namespace

EGifError::EGifError() : Exception(kMessage) {}

// Reads the block structure into a TGIFImage. A failure before the first
// frame is complete throws; a failure after it ends the frame list.
class GifReader {
public:
    GifReader(TGIFImage& gif, const QByteArray& data) : m_gif(gif), m_in(data) {}

    void read()
    {
        readHeader();
        while (!m_in.atEnd()) {
            const std::uint8_t introducer = m_in.byte();
            bool ok = true;
            if (introducer == kTrailer)
                break;
            if (introducer == 0)
                continue; // stray padding some writers leave between blocks
            if (introducer == kExtensionIntroducer)
                ok = readExtension();
            else if (introducer == kImageSeparator)
                ok = readImage();
            else
                ok = false;
            if (!ok)
                break;
        }
        if (m_gif.m_frames.empty())
            throw EGifError();
        if (m_gif.m_width == 0 || m_gif.m_height == 0)
            sizeScreenFromFrames();
    }

private:
    struct Control {
        int transparentIndex = -1;
        int delayMs = 0;
        TGIFImage::Disposal disposal = TGIFImage::Disposal::None;
    };

    void readHeader()
    {
        if (!m_in.has(13) || std::memcmp(m_in.current(), "GIF8", 4) != 0)
            throw EGifError();
        m_in.skip(6);
        m_gif.m_width = m_in.word();
        m_gif.m_height = m_in.word();
        const std::uint8_t flags = m_in.byte();
        m_in.skip(2); // background index and aspect ratio: the canvas starts transparent
        if (static_cast<std::int64_t>(m_gif.m_width) * m_gif.m_height > TGIFImage::kMaxPixels)
            throw EGifError();
        if (flags & kColorTableFlag) {
            if (!readColorTable(flags, m_globalPalette))
                throw EGifError();
        } else {
            m_globalPalette = defaultPalette();
        }
    }

    // Indexes beyond the table's size show black.
    bool readColorTable(std::uint8_t flags, TGIFImage::Palette& palette)
    {
        const int count = 2 << (flags & kColorTableSizeMask);
        if (!m_in.has(static_cast<std::size_t>(count) * 3))
            return false;
        auto table = std::make_shared<std::vector<QRgb>>(kPaletteSize, qRgb(0, 0, 0));
        for (int i = 0; i < count; ++i) {
            const int r = m_in.byte();
            const int g = m_in.byte();
            const int b = m_in.byte();
            (*table)[static_cast<std::size_t>(i)] = qRgb(r, g, b);
        }
        palette = std::move(table);
        return true;
    }

    // Collects a chain of sub-blocks into `out` (when given). False when the
    // file ends inside the chain.
    bool readSubBlocks(std::vector<std::uint8_t>* out)
    {
        for (;;) {
            if (m_in.atEnd())
                return false;
            const std::size_t length = m_in.byte();
            if (length == 0)
                return true;
            if (!m_in.has(length))
                return false;
            if (out)
                out->insert(out->end(), m_in.current(), m_in.current() + length);
            m_in.skip(length);
        }
    }

    bool readExtension()
    {
        if (m_in.atEnd())
            return false;
        const std::uint8_t label = m_in.byte();
        std::vector<std::uint8_t> body;
        if (!readSubBlocks(&body))
            return false;
        if (label == kGraphicControlLabel && body.size() >= 4) {
            const std::uint8_t flags = body[0];
            const int delay = body[1] | body[2] << 8;
            // Methods 4 to 7 are reserved and read as "not specified".
            const int method = flags >> 2 & 7;
            m_control.disposal =
                method <= 3 ? static_cast<TGIFImage::Disposal>(method) : TGIFImage::Disposal::None;
            m_control.delayMs = delay * 10;
            m_control.transparentIndex = (flags & kTransparentFlag) ? body[3] : -1;
        } else if (label == kApplicationLabel) {
            readApplication(body);
        }
        return true;
    }

    // The loop extension: an 11-byte identifier block followed by the data
    // block 01 lo hi. Both arrive concatenated in `body`.
    void readApplication(const std::vector<std::uint8_t>& body)
    {
        static constexpr char kNetscape[] = "NETSCAPE2.0";
        static constexpr char kAnimExts[] = "ANIMEXTS1.0";
        constexpr std::size_t kIdLength = 11;
        if (body.size() < kIdLength + 3)
            return;
        const char* id = reinterpret_cast<const char*>(body.data());
        if (std::memcmp(id, kNetscape, kIdLength) != 0 &&
            std::memcmp(id, kAnimExts, kIdLength) != 0)
            return;
        if (body[kIdLength] != 1)
            return;
        m_gif.m_loopCount = body[kIdLength + 1] | body[kIdLength + 2] << 8;
    }

    bool readImage()
    {
        if (!m_in.has(9) || m_gif.m_frames.size() >= TGIFImage::kMaxFrames)
            return false;
        TGIFImage::Frame frame;
        const int left = m_in.word();
        const int top = m_in.word();
        const int width = m_in.word();
        const int height = m_in.word();
        const std::uint8_t flags = m_in.byte();
        frame.rect = QRect(left, top, width, height);
        frame.interlaced = flags & kInterlaceFlag;
        frame.transparentIndex = m_control.transparentIndex;
        frame.delayMs = m_control.delayMs <= 10 ? TGIFImage::kDefaultDelayMs : m_control.delayMs;
        frame.disposal = m_control.disposal;
        m_control = Control{};

        if (flags & kColorTableFlag) {
            if (!readColorTable(flags, frame.palette))
                return false;
        } else {
            frame.palette = m_globalPalette;
        }
        if (m_in.atEnd())
            return false;
        const int minCodeSize = m_in.byte();
        std::vector<std::uint8_t> data;
        if (!readSubBlocks(&data))
            return false;
        if (minCodeSize < 1 || minCodeSize > 8)
            return false;

        const std::int64_t area = static_cast<std::int64_t>(width) * height;
        if (area > TGIFImage::kMaxPixels || m_storedPixels + area > TGIFImage::kMaxStoredPixels)
            return false;
        m_storedPixels += area;
        frame.pixels =
            std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(area));
        images::LzwDecoder lzw(minCodeSize, data.data(), data.size());
        const long decoded = lzw.decode(frame.pixels.get(), static_cast<std::size_t>(area));
        if (decoded < 0)
            return false;
        frame.decodedPixels = static_cast<std::size_t>(decoded);
        if (frame.transparentIndex >= 0 || frame.decodedPixels < static_cast<std::size_t>(area))
            m_gif.m_transparent = true;
        m_gif.m_frames.push_back(std::move(frame));
        return true;
    }

    // A logical screen of zero width or height takes the extent of the frames.
    void sizeScreenFromFrames()
    {
        QRect bounds;
        for (const auto& frame : m_gif.m_frames)
            bounds |= frame.rect;
        m_gif.m_width = std::max(m_gif.m_width, bounds.right() + 1);
        m_gif.m_height = std::max(m_gif.m_height, bounds.bottom() + 1);
        if (static_cast<std::int64_t>(m_gif.m_width) * m_gif.m_height > TGIFImage::kMaxPixels ||
            m_gif.m_width <= 0 || m_gif.m_height <= 0)
            throw EGifError();
    }

    TGIFImage& m_gif;
    ByteReader m_in;
    TGIFImage::Palette m_globalPalette;
    Control m_control;
    std::int64_t m_storedPixels = 0;
};

TGIFImage::TGIFImage(const QByteArray& data)
{
    GifReader(*this, data).read();
    // Pixels show through where the first frame leaves the canvas empty or
    // where a frame clears its rectangle; transparent indexes and short data
    // were noted while reading.
    if (!m_frames.front().rect.contains(QRect(0, 0, m_width, m_height)))
        m_transparent = true;
    for (const auto& frame : m_frames)
        if (frame.disposal == Disposal::RestoreBackground)
            m_transparent = true;

    images::GifComposer composer(*this);
    composer.Step();
    m_firstImage = composer.TakeCanvas();
    if (m_firstImage.isNull())
        throw EGifError(); // the canvas could not be allocated
    // Every pixel of an opaque picture has full alpha, so the same bytes
    // read as RGB32, which draws faster; no copy is made.
    if (!m_transparent)
        m_firstImage.reinterpretAsFormat(QImage::Format_RGB32);
}

QImage TGIFImage::ComposedFrame(int index) const
{
    images::GifComposer composer(*this);
    int shown = -1;
    while (shown < index)
        shown = composer.Step();
    return composer.Canvas();
}
