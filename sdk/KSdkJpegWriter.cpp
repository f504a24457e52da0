#include "KSdkJpegWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

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

void silenceMessage(j_common_ptr) {}

// The libjpeg state of one picture; longjmp leaves no C++ object to unwind in between.
struct Compress
{
    jpeg_compress_struct info;
    ErrorManager error;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;

    Compress()
    {
        info.err = jpeg_std_error(&error.base);
        error.base.error_exit = raiseError;
        error.base.output_message = silenceMessage;
        jpeg_create_compress(&info);
    }
    ~Compress()
    {
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

} // namespace

QByteArray KSdkJpegWriter::encode(const QImage &picture, int quality)
{
    if (picture.isNull())
        return QByteArray();
    const QImage source = picture.format() == QImage::Format_RGB32
                              ? picture
                              : picture.convertToFormat(QImage::Format_RGB32);
    Compress c;
    if (setjmp(c.error.jump))
        return QByteArray();
    jpeg_mem_dest(&c.info, &c.buffer, &c.size);
    c.info.image_width = JDIMENSION(source.width());
    c.info.image_height = JDIMENSION(source.height());
    c.info.input_components = 4;
    c.info.in_color_space = JCS_EXT_BGRX; // the byte order of Format_RGB32 in memory
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, quality, TRUE);
    jpeg_start_compress(&c.info, TRUE);
    while (c.info.next_scanline < c.info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(source.constScanLine(int(c.info.next_scanline)));
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return QByteArray(reinterpret_cast<const char *>(c.buffer), int(c.size));
}
