#include "KSdkJpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void raiseError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

void silence(j_common_ptr, int) {}
void silenceMessage(j_common_ptr) {}

// The libjpeg state of one picture; longjmp leaves no C++ object to unwind in between.
struct Decompress
{
    jpeg_decompress_struct info;
    ErrorManager error;

    Decompress()
    {
        info.err = jpeg_std_error(&error.base);
        error.base.error_exit = raiseError;
        error.base.emit_message = silence;
        error.base.output_message = silenceMessage;
        jpeg_create_decompress(&info);
    }
    ~Decompress() { jpeg_destroy_decompress(&info); }
};

// The smallest libjpeg scale M/8 whose output still covers the target, so the last
// adjustment only ever shrinks a little.
int scaleNumerator(const QSize &source, const QSize &target)
{
    for (int m = 1; m < 8; ++m) {
        if ((source.width() * m + 7) / 8 >= target.width() &&
            (source.height() * m + 7) / 8 >= target.height())
            return m;
    }
    return 8;
}

// Nearest-pixel resize: libjpeg has done the real shrinking, what is left is a few per cent,
// and QImage::scaled would set up a painter for every picture.
QImage resize(const QImage &source, const QSize &target)
{
    QImage result(target, QImage::Format_RGB32);
    if (result.isNull())
        return result;
    std::vector<int> columns(size_t(target.width()));
    for (int x = 0; x < target.width(); ++x)
        columns[size_t(x)] = int((2 * qint64(x) + 1) * source.width() / (2 * target.width()));
    for (int y = 0; y < target.height(); ++y) {
        const int row = int((2 * qint64(y) + 1) * source.height() / (2 * target.height()));
        const auto *from = reinterpret_cast<const QRgb *>(source.constScanLine(row));
        auto *to = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < target.width(); ++x)
            to[x] = from[columns[size_t(x)]];
    }
    return result;
}

} // namespace

QImage KSdkJpegDecoder::decode(const QByteArray &jpeg, const QSize &target, int maxDimension,
                               qint64 maxPixels)
{
    if (jpeg.isEmpty())
        return QImage();
    Decompress d;
    // Declared before setjmp and only assigned after it: a longjmp leaves them intact.
    QImage *volatile image = nullptr;
    if (setjmp(d.error.jump)) {
        delete image;
        return QImage();
    }
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK)
        return QImage();
    const QSize source(int(d.info.image_width), int(d.info.image_height));
    if (source.isEmpty() || source.width() > maxDimension || source.height() > maxDimension ||
        qint64(source.width()) * source.height() > maxPixels)
        return QImage();
    if (d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK)
        return QImage();
    const bool scaled = target.isValid() && !target.isEmpty() && target != source;
    d.info.scale_num = unsigned(scaled ? scaleNumerator(source, target) : 8);
    d.info.scale_denom = 8;
    d.info.out_color_space = JCS_EXT_BGRX; // the byte order of Format_RGB32 in memory
    if (scaled) {
        // A shrunken picture hides the difference between the exact and the fast ways.
        d.info.dct_method = JDCT_IFAST;
        d.info.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&d.info);
    image = new QImage(int(d.info.output_width), int(d.info.output_height), QImage::Format_RGB32);
    if (image->isNull()) {
        jpeg_abort_decompress(&d.info);
        delete image;
        return QImage();
    }
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = image->scanLine(int(d.info.output_scanline));
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    QImage result = std::move(*image);
    delete image;
    if (scaled && result.size() != target)
        result = resize(result, target);
    return result;
}
