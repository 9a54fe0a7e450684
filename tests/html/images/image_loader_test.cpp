// Choosing the decoder by the first bytes, and the bitmap and JPEG paths.
#include "gif_test_writer.h"
#include "html/images/builtin_bitmaps.h"
#include "html/images/image_loader.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <QBuffer>
#include <QTemporaryDir>

using images::ImageFormat;

namespace {

void putU16(QByteArray& out, int v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8 & 0xFF));
}

void putU32(QByteArray& out, qint64 v)
{
    putU16(out, static_cast<int>(v & 0xFFFF));
    putU16(out, static_cast<int>(v >> 16 & 0xFFFF));
}

// A bottom-up Windows bitmap with a 40-byte information header; rows padded
// to four bytes. `bits` is 24 (pixels are colours) or 8 (pixels index
// `palette`).
QByteArray writeBitmap(int width, int height, int bits, const std::vector<QRgb>& pixels,
                       const std::vector<QRgb>& palette = {})
{
    const int rowBytes = (width * bits / 8 + 3) & ~3;
    const int paletteBytes = static_cast<int>(palette.size()) * 4;
    const int offset = 14 + 40 + paletteBytes;
    QByteArray out("BM");
    putU32(out, offset + rowBytes * height);
    putU32(out, 0);
    putU32(out, offset);
    putU32(out, 40);
    putU32(out, width);
    putU32(out, height);
    putU16(out, 1);
    putU16(out, bits);
    putU32(out, 0); // no compression
    putU32(out, rowBytes * height);
    putU32(out, 2835);
    putU32(out, 2835);
    putU32(out, static_cast<qint64>(palette.size()));
    putU32(out, 0);
    for (QRgb c : palette) {
        out.append(static_cast<char>(qBlue(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qRed(c)));
        out.append('\0');
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < width; ++x) {
            const QRgb p = pixels[static_cast<std::size_t>(y * width + x)];
            if (bits == 8) {
                row.append(static_cast<char>(p));
            } else {
                row.append(static_cast<char>(qBlue(p)));
                row.append(static_cast<char>(qGreen(p)));
                row.append(static_cast<char>(qRed(p)));
            }
        }
        row.append(QByteArray(rowBytes - row.size(), '\0'));
        out.append(row);
    }
    return out;
}

// Encodes a picture of four coloured quadrants through libjpeg. A
// greyscale picture can be made progressive with `scans` scans: the DC scan
// and then one scan per AC coefficient, each split in two by successive
// approximation, until the count is reached.
QByteArray writeJpeg(int width, int height, bool grey, int quality = 95, int scans = 0)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    std::vector<jpeg_scan_info> script;
    if (scans > 0) {
        script.push_back({1, {0}, 0, 0, 0, 0});
        for (int k = 1; k <= 63 && static_cast<int>(script.size()) + 2 <= scans; ++k) {
            script.push_back({1, {0}, k, k, 0, 1});
            script.push_back({1, {0}, k, k, 1, 0});
        }
        info.scan_info = script.data();
        info.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width * info.input_components));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            if (grey) {
                row[static_cast<std::size_t>(x)] = right ? 200 : 40;
            } else {
                unsigned char* p = &row[static_cast<std::size_t>(x * 3)];
                p[0] = right ? 230 : 20;
                p[1] = bottom ? 210 : 30;
                p[2] = right && bottom ? 220 : 10;
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray out(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return out;
}

bool near(QRgb a, QRgb b, int tolerance = 12)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QByteArray encodeWithQt(const QImage& image, const char* format)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return out;
}

QByteArray smallGif()
{
    giftest::GifRecipe recipe;
    recipe.width = 2;
    recipe.height = 2;
    recipe.globalPalette = giftest::rampPalette(2);
    recipe.frames = {giftest::FrameRecipe{QRect(0, 0, 2, 2), {0, 1, 1, 0}, {}}};
    return giftest::writeGif(recipe);
}

} // namespace

TEST(ImageLoader, ChoosesTheDecoderByFirstBytesAndGifName)
{
    QImage red(4, 4, QImage::Format_RGB32);
    red.fill(Qt::red);
    const struct {
        const char* name;
        QByteArray data;
        QString fileName;
        ImageFormat want;
    } cases[] = {
        {"GIF signature", QByteArray("GIF89a..."), {}, ImageFormat::Gif},
        {"gif name, any data", QByteArray("xyz"), "pics/Logo.GIF", ImageFormat::Gif},
        {"gif name wins over BM", QByteArray("BM"), "a.gif", ImageFormat::Gif},
        {"bitmap", QByteArray("BM\x10\x00"), "a.jpg", ImageFormat::Bmp},
        {"JFIF JPEG", QByteArray::fromHex("ffd8ffe00010"), {}, ImageFormat::Jpeg},
        {"other JPEG marker", QByteArray::fromHex("ffd8ffe10010"), {}, ImageFormat::Unknown},
        {"PNG", encodeWithQt(red, "PNG"), "a.png", ImageFormat::Unknown},
        {"empty", QByteArray(), {}, ImageFormat::Unknown},
        {"short", QByteArray("B"), "gif", ImageFormat::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(images::detectFormat(c.data, c.fileName), c.want);
    }
}

TEST(ImageLoader, RefusesPngThoughQtCouldReadIt)
{
    QImage picture(3, 3, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const QByteArray png = encodeWithQt(picture, "PNG");
    ASSERT_FALSE(QImage::fromData(png).isNull());
    const images::LoadedImage loaded = images::loadImage(png, "picture.png");
    EXPECT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error, images::kNotLoadable);
}

TEST(ImageLoader, LoadsGifAndKeepsTheDecodedFrames)
{
    const images::LoadedImage loaded = images::loadImage(smallGif());
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    EXPECT_EQ(loaded.format, ImageFormat::Gif);
    ASSERT_TRUE(loaded.gif);
    EXPECT_FALSE(loaded.animated());
    EXPECT_FALSE(loaded.transparent()) << "an opaque GIF is drawn as an opaque picture";
    EXPECT_EQ(loaded.image.pixel(1, 0), giftest::rampPalette(2)[1]);
}

TEST(ImageLoader, CorruptGifBecomesAnError)
{
    const images::LoadedImage loaded = images::loadImage(QByteArray("GIF89a\x01"), {});
    EXPECT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.format, ImageFormat::Gif);
    EXPECT_EQ(loaded.error, "Corrupt GIF Image");
    // A file named .gif that holds something else is still handed to the GIF decoder.
    EXPECT_EQ(
        images::loadImage(encodeWithQt(QImage(2, 2, QImage::Format_RGB32), "BMP"), "x.gif").error,
        "Corrupt GIF Image");
}

TEST(ImageLoader, LoadsTrueColourAndPaletteBitmaps)
{
    const std::vector<QRgb> colours = {qRgb(255, 0, 0),  qRgb(0, 255, 0),     qRgb(0, 0, 255),
                                       qRgb(10, 20, 30), qRgb(255, 255, 255), qRgb(0, 0, 0)};
    const std::vector<QRgb> palette = {qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(9, 250, 9)};
    const std::vector<QRgb> indexes = {0, 1, 2, 2, 1, 0};
    const std::vector<QRgb> paletteColours = {palette[0], palette[1], palette[2],
                                              palette[2], palette[1], palette[0]};
    const struct {
        const char* name;
        QByteArray data;
        const std::vector<QRgb>& want;
    } cases[] = {
        {"24-bit", writeBitmap(3, 2, 24, colours), colours},
        {"8-bit palette", writeBitmap(3, 2, 8, indexes, palette), paletteColours},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const images::LoadedImage loaded = images::loadImage(c.data);
        ASSERT_TRUE(loaded.ok()) << loaded.error;
        EXPECT_EQ(loaded.format, ImageFormat::Bmp);
        EXPECT_EQ(loaded.image.format(), QImage::Format_RGB32);
        ASSERT_EQ(loaded.image.size(), QSize(3, 2));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(loaded.image.pixel(x, y), c.want[static_cast<std::size_t>(y * 3 + x)]);
    }
}

TEST(ImageLoader, RefusesBrokenAndOversizedBitmaps)
{
    QByteArray huge = writeBitmap(1, 1, 24, {qRgb(0, 0, 0)});
    huge[18] = huge[19] = huge[22] = huge[23] = '\x7f'; // width and height about 32000
    for (const QByteArray& data :
         {QByteArray("BM"), writeBitmap(4, 4, 24, std::vector<QRgb>(16)).left(20), huge}) {
        const images::LoadedImage loaded = images::loadImage(data);
        EXPECT_FALSE(loaded.ok());
        EXPECT_EQ(loaded.error, images::kCorruptBitmap);
    }
}

TEST(ImageLoader, DecodesJpegThroughLibjpeg)
{
    for (bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "greyscale" : "colour");
        const QByteArray data = writeJpeg(64, 48, grey);
        ASSERT_EQ(images::detectFormat(data), ImageFormat::Jpeg);
        const images::LoadedImage loaded = images::loadImage(data);
        ASSERT_TRUE(loaded.ok()) << loaded.error;
        EXPECT_EQ(loaded.image.format(), QImage::Format_RGB32);
        ASSERT_EQ(loaded.image.size(), QSize(64, 48));
        if (grey) {
            EXPECT_TRUE(near(loaded.image.pixel(8, 8), qRgb(40, 40, 40)));
            EXPECT_TRUE(near(loaded.image.pixel(56, 40), qRgb(200, 200, 200)));
        } else {
            EXPECT_TRUE(near(loaded.image.pixel(8, 8), qRgb(20, 30, 10)));
            EXPECT_TRUE(near(loaded.image.pixel(56, 8), qRgb(230, 30, 10)));
            EXPECT_TRUE(near(loaded.image.pixel(8, 40), qRgb(20, 210, 10)));
            EXPECT_TRUE(near(loaded.image.pixel(56, 40), qRgb(230, 210, 220)));
        }
    }
}

TEST(ImageLoader, DamagedJpegNeverCrashes)
{
    const QByteArray good = writeJpeg(40, 40, false);
    // Cut inside the compressed data: libjpeg shows what it has.
    const qsizetype scanStart = good.indexOf(QByteArray::fromHex("ffda"));
    ASSERT_GT(scanStart, 0);
    const images::LoadedImage cut = images::loadImage(good.left((scanStart + good.size()) / 2));
    EXPECT_TRUE(cut.ok()) << cut.error;
    // Garbage after the signature: refused.
    const images::LoadedImage garbage =
        images::loadImage(QByteArray::fromHex("ffd8ffe0") + QByteArray(100, '\x55'));
    EXPECT_FALSE(garbage.ok());
    EXPECT_EQ(garbage.error.rfind(images::kCorruptJpeg, 0), 0u) << garbage.error;
    // Progressive files: a normal number of scans, and far too many.
    EXPECT_TRUE(images::loadImage(writeJpeg(64, 64, true, 90, 11)).ok());
    const images::LoadedImage tooMany = images::loadImage(writeJpeg(64, 64, true, 90, 127));
    EXPECT_FALSE(tooMany.ok());
    EXPECT_EQ(tooMany.error, std::string(images::kCorruptJpeg) + ": too many scans");
    // Bytes flipped here and there.
    for (int i = 0; i < 200; ++i) {
        QByteArray mutant = good;
        const qsizetype pos = 4 + (i * 7919) % (mutant.size() - 4);
        mutant[pos] = static_cast<char>(mutant[pos] ^ (1 << (i % 8)));
        images::loadImage(mutant);
    }
}

TEST(ImageLoader, ReadsFilesAndReportsMissingOnes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("pic.gif");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(smallGif());
    file.close();
    EXPECT_TRUE(images::loadImageFile(path).ok());
    const images::LoadedImage missing = images::loadImageFile(dir.filePath("none.gif"));
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error, images::kCannotRead + dir.filePath("none.gif").toStdString());
}

TEST(ImageLoader, TransparentColourAndMask)
{
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 255));
    picture.setPixel(1, 0, qRgb(1, 2, 3));
    const QImage keyed = images::withTransparentColor(picture, qRgb(255, 0, 255));
    ASSERT_TRUE(keyed.hasAlphaChannel());
    EXPECT_EQ(qAlpha(keyed.pixel(0, 0)), 0);
    EXPECT_EQ(keyed.pixel(1, 0), qRgb(1, 2, 3));
    const QImage mask = images::transparencyMask(keyed);
    ASSERT_EQ(mask.depth(), 1);
    EXPECT_EQ(mask.pixelIndex(0, 0), 0);
    EXPECT_EQ(mask.pixelIndex(1, 0), 1);
    EXPECT_FALSE(images::withTransparentColor(picture, qRgb(9, 9, 9)).hasAlphaChannel());
    EXPECT_TRUE(images::transparencyMask(picture).isNull());

    // The same through a host-supplied bitmap.
    EXPECT_EQ(qAlpha(images::fromHostBitmap(picture, qRgb(255, 0, 255)).image.pixel(0, 0)), 0);
    EXPECT_FALSE(images::fromHostBitmap(picture, std::nullopt).transparent());
    EXPECT_EQ(images::fromHostBitmap(QImage(), std::nullopt).error, images::kNotLoadable);
}

TEST(BuiltinBitmaps, AreSmallDistinctPicturesWithATransparentSurround)
{
    for (const QImage* image : {&images::placeholderBitmap(), &images::errorBitmap()}) {
        ASSERT_EQ(image->size(), QSize(16, 16));
        EXPECT_EQ(qAlpha(image->pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image->pixel(8, 8)), 255);
        const QImage mask = images::transparencyMask(*image);
        ASSERT_FALSE(mask.isNull());
        EXPECT_EQ(mask.pixelIndex(0, 0), 0);
        EXPECT_EQ(mask.pixelIndex(8, 8), 1);
    }
    EXPECT_NE(images::placeholderBitmap(), images::errorBitmap());
}
