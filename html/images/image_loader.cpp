#include "html/images/image_loader.h"

#include "html/images/jpeg_decoder.h"

#include <cstring>
#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace images {

namespace {

constexpr char kGifSignature[] = "GIF8";
constexpr char kBitmapSignature[] = "BM";
constexpr unsigned char kJpegSignature[] = {0xFF, 0xD8, 0xFF, 0xE0};

bool startsWith(const QByteArray& data, const void* prefix, qsizetype length)
{
    return data.size() >= length &&
           std::memcmp(data.constData(), prefix, static_cast<std::size_t>(length)) == 0;
}

// Opaque pictures are kept as RGB32, the rest as premultiplied ARGB32: the
// two formats QPainter draws fastest.
QImage normalized(QImage image)
{
    if (image.isNull())
        return image;
    const QImage::Format target =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (image.format() != target)
        image.convertTo(target);
    return image;
}

LoadedImage failure(ImageFormat format, std::string error)
{
    LoadedImage result;
    result.format = format;
    result.error = std::move(error);
    return result;
}

LoadedImage loadGif(const QByteArray& data)
{
    try {
        auto gif = std::make_shared<const TGIFImage>(data);
        LoadedImage result;
        result.format = ImageFormat::Gif;
        // A GIF without any transparency is drawn as an opaque picture.
        result.image =
            gif->Transparent() ? gif->Image() : gif->Image().convertToFormat(QImage::Format_RGB32);
        result.gif = std::move(gif);
        return result;
    } catch (const EGifError& e) {
        return failure(ImageFormat::Gif, e.message());
    } catch (const std::bad_alloc&) {
        return failure(ImageFormat::Gif, kCorruptGif);
    }
}

// Where the pixels of a Windows bitmap start: the little-endian offset at
// byte 10 of the file header.
constexpr qsizetype kBitmapFileHeaderSize = 14;
constexpr qsizetype kPixelOffsetField = 10;

qint64 pixelOffset(const QByteArray& data)
{
    const auto* b = reinterpret_cast<const unsigned char*>(data.constData()) + kPixelOffsetField;
    return static_cast<qint64>(b[0]) | static_cast<qint64>(b[1]) << 8 |
           static_cast<qint64>(b[2]) << 16 | static_cast<qint64>(b[3]) << 24;
}

// Windows bitmaps go through Qt's own reader, held to our size limit. A file
// whose pixels would start beyond its end is refused here, before the
// reader seeks there and complains on the console.
LoadedImage loadBitmap(const QByteArray& data)
{
    if (data.size() < kBitmapFileHeaderSize || pixelOffset(data) >= data.size())
        return failure(ImageFormat::Bmp, kCorruptBitmap);
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || static_cast<qint64>(size.width()) * size.height() > kMaxImagePixels)
        return failure(ImageFormat::Bmp, kCorruptBitmap);
    reader.setAllocationLimit(static_cast<int>(kMaxImagePixels * 4 / (1024 * 1024)));
    QImage image = reader.read();
    if (image.isNull())
        return failure(ImageFormat::Bmp, kCorruptBitmap);
    LoadedImage result;
    result.format = ImageFormat::Bmp;
    result.image = normalized(std::move(image));
    return result;
}

LoadedImage loadJpeg(const QByteArray& data)
{
    std::string error;
    QImage image = decodeJpeg(data, error);
    if (image.isNull())
        return failure(ImageFormat::Jpeg, error.empty() ? kCorruptJpeg : error);
    LoadedImage result;
    result.format = ImageFormat::Jpeg;
    result.image = std::move(image);
    return result;
}

} // namespace

ImageFormat detectFormat(const QByteArray& data, const QString& fileName)
{
    if (fileName.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive) ||
        startsWith(data, kGifSignature, 4))
        return ImageFormat::Gif;
    if (startsWith(data, kBitmapSignature, 2))
        return ImageFormat::Bmp;
    if (startsWith(data, kJpegSignature, sizeof kJpegSignature))
        return ImageFormat::Jpeg;
    return ImageFormat::Unknown;
}

LoadedImage loadImage(const QByteArray& data, const QString& fileName)
{
    switch (detectFormat(data, fileName)) {
    case ImageFormat::Gif:
        return loadGif(data);
    case ImageFormat::Bmp:
        return loadBitmap(data);
    case ImageFormat::Jpeg:
        return loadJpeg(data);
    case ImageFormat::Unknown:
        break;
    }
    return failure(ImageFormat::Unknown, kNotLoadable);
}

LoadedImage loadImageFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(ImageFormat::Unknown, kCannotRead + path.toStdString());
    return loadImage(file.readAll(), path);
}

LoadedImage fromHostBitmap(const QImage& bitmap, std::optional<QRgb> transparentColor)
{
    if (bitmap.isNull())
        return failure(ImageFormat::Unknown, kNotLoadable);
    LoadedImage result;
    result.format = ImageFormat::Bmp;
    result.image =
        transparentColor ? withTransparentColor(bitmap, *transparentColor) : normalized(bitmap);
    return result;
}

QImage withTransparentColor(const QImage& image, QRgb color)
{
    if (image.isNull())
        return image;
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = color & RGB_MASK;
    bool any = false;
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if ((line[x] & RGB_MASK) == key) {
                line[x] = 0;
                any = true;
            }
        }
    }
    if (!any && !image.hasAlphaChannel())
        return normalized(image);
    return normalized(std::move(result));
}

QImage transparencyMask(const QImage& image)
{
    if (image.isNull() || !image.hasAlphaChannel())
        return QImage();
    return image.createAlphaMask(Qt::ThresholdAlphaDither);
}

} // namespace images
