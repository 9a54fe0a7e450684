#include "html/images/jpeg_decoder.h"

#include "html/images/image_loader.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace images {

namespace {

// Progressive files may hold any number of scans, each a full pass over the
// picture; a hostile file with thousands of them would keep the decoder busy
// for minutes. Real files have about ten, rarely more than thirty.
constexpr int kMaxProgressiveScans = 100;

// libjpeg reports fatal errors through error_exit, which must not return:
// we jump back to decodeJpeg. Only plain C data lives between the setjmp
// and the jump, so nothing with a destructor is skipped.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (data cut short, for one) are not printed to stderr.
void onMessage(j_common_ptr) {}

struct Progress {
    jpeg_progress_mgr pub;
    ErrorManager* errors;
};

void onProgress(j_common_ptr info)
{
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxProgressiveScans) {
        std::snprintf(reinterpret_cast<Progress*>(info->progress)->errors->message, JMSG_LENGTH_MAX,
                      "too many scans");
        std::longjmp(reinterpret_cast<Progress*>(info->progress)->errors->jump, 1);
    }
}

// Everything the decoder touches after setjmp is reached through this one
// heap object, whose address does not change, so its contents are valid
// after a jump.
struct DecodeState {
    jpeg_decompress_struct info;
    ErrorManager errors;
    Progress progress;
    QImage image;
};

enum class DecodeResult { Done, Rejected, LibraryError };

// Runs libjpeg over the data into s->image. The function that calls setjmp
// builds no C++ objects of its own, so the jump can clobber nothing; the
// caller turns the result into an error text.
DecodeResult runDecoder(DecodeState* s, const QByteArray& data)
{
    s->info.err = jpeg_std_error(&s->errors.pub);
    s->errors.pub.error_exit = onError;
    s->errors.pub.output_message = onMessage;
    s->errors.message[0] = '\0';
    if (setjmp(s->errors.jump)) {
        jpeg_destroy_decompress(&s->info);
        return DecodeResult::LibraryError;
    }
    jpeg_create_decompress(&s->info);
    s->progress.pub.progress_monitor = onProgress;
    s->progress.errors = &s->errors;
    s->info.progress = &s->progress.pub;
    jpeg_mem_src(&s->info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&s->info, TRUE);

    const qint64 pixels = static_cast<qint64>(s->info.image_width) * s->info.image_height;
    const bool convertible =
        s->info.jpeg_color_space != JCS_CMYK && s->info.jpeg_color_space != JCS_YCCK;
    if (pixels > kMaxImagePixels || pixels == 0 || !convertible) {
        jpeg_destroy_decompress(&s->info);
        return DecodeResult::Rejected;
    }
    // Straight into the byte order of Format_RGB32 (0xffRRGGBB in a word),
    // with libjpeg filling the alpha byte.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    s->info.out_color_space = JCS_EXT_BGRA;
#else
    s->info.out_color_space = JCS_EXT_ARGB;
#endif
    jpeg_start_decompress(&s->info);
    s->image = QImage(static_cast<int>(s->info.output_width),
                      static_cast<int>(s->info.output_height), QImage::Format_RGB32);
    if (s->image.isNull()) {
        jpeg_destroy_decompress(&s->info);
        return DecodeResult::Rejected;
    }
    while (s->info.output_scanline < s->info.output_height) {
        JSAMPROW row = s->image.scanLine(static_cast<int>(s->info.output_scanline));
        jpeg_read_scanlines(&s->info, &row, 1);
    }
    jpeg_finish_decompress(&s->info);
    jpeg_destroy_decompress(&s->info);
    return DecodeResult::Done;
}

} // namespace

QImage decodeJpeg(const QByteArray& data, std::string& error)
{
    auto state = std::make_unique<DecodeState>();
    switch (runDecoder(state.get(), data)) {
    case DecodeResult::Done:
        return std::move(state->image);
    case DecodeResult::Rejected:
        error = kCorruptJpeg;
        break;
    case DecodeResult::LibraryError:
        error = std::string(kCorruptJpeg) + ": " + state->errors.message;
        break;
    }
    return QImage();
}

} // namespace images
