#pragma once

#include "html/images/gif_image.h"

#include <memory>
#include <optional>
#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QString>
#include <string>

// Turning image bytes into pictures for the HTML viewer.
//
// What is loadable is decided by the first bytes, and for GIF also by the
// file name:
//   a name ending in ".gif" (any case), or data starting "GIF8"  -> GIF (our decoder)
//   data starting "BM"                                          -> Windows bitmap
//   data starting FF D8 FF E0                                    -> JPEG (libjpeg)
//   anything else, PNG included                                  -> not loadable
// Decoding never throws: a failure comes back as an error text, and the
// viewer shows its error bitmap in place of the picture.
namespace images {

enum class ImageFormat { Unknown, Gif, Bmp, Jpeg };

// Texts of the failures.
inline constexpr char kNotLoadable[] = "Image format not supported";
inline constexpr const char* kCorruptGif = EGifError::kMessage;
inline constexpr char kCorruptBitmap[] = "Corrupt Bitmap Image";
inline constexpr char kCorruptJpeg[] = "Corrupt JPEG Image";
inline constexpr char kCannotRead[] = "Can't read image file: ";

// Largest bitmap or JPEG picture accepted, in pixels (64 M pixels, 256 MB
// as RGB32); GIF pictures have their own, smaller limit.
inline constexpr qint64 kMaxImagePixels = 64LL * 1024 * 1024;

struct LoadedImage {
    ImageFormat format = ImageFormat::Unknown;
    // The picture, or its first frame: Format_RGB32 when opaque,
    // Format_ARGB32_Premultiplied when some pixels are transparent. Null
    // when loading failed.
    QImage image;
    // The whole decoded GIF, for animation (TGIFAnimation); null for the
    // other formats.
    std::shared_ptr<const TGIFImage> gif;
    // Why loading failed; empty on success.
    std::string error;

    bool ok() const { return !image.isNull(); }
    bool animated() const { return gif && gif->IsAnimated(); }
    bool transparent() const { return image.hasAlphaChannel(); }
};

// Which decoder the bytes (and the name) lead to.
ImageFormat detectFormat(const QByteArray& data, const QString& fileName = {});

// Decodes `data`. `fileName` is only used for the ".gif" rule.
LoadedImage loadImage(const QByteArray& data, const QString& fileName = {});

// Reads and decodes a file; a file that cannot be read gives kCannotRead
// followed by the path as the error.
LoadedImage loadImageFile(const QString& path);

// A ready picture handed over by the host (a bitmap and its transparent
// colour, if any) in the same form as a decoded one. A null bitmap gives
// the kNotLoadable error.
LoadedImage fromHostBitmap(const QImage& bitmap, std::optional<QRgb> transparentColor);

// A copy of `image` in which every pixel of colour `color` (alpha ignored)
// is transparent; used for a host-supplied bitmap with its transparent
// colour. An opaque image stays opaque when no pixel matches.
QImage withTransparentColor(const QImage& image, QRgb color);

// The one-bit transparency mask of `image`: 1 where a pixel is at least half
// opaque, 0 where it shows the background. A null image for opaque formats.
QImage transparencyMask(const QImage& image);

} // namespace images
