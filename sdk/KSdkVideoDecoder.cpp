#include "KSdkVideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

void freeFrame(const AVFrame *frame)
{
    AVFrame *f = const_cast<AVFrame *>(frame);
    av_frame_free(&f);
}

QImage convert(SwsContext *scaler, const AVFrame *picture, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    uint8_t *target[1] = {image.bits()};
    const int stride[1] = {int(image.bytesPerLine())};
    if (sws_scale(scaler, picture->data, picture->linesize, 0, picture->height, target, stride) !=
        size.height())
        return QImage();
    return image;
}

} // namespace

KSdkVideoDecoder::KSdkVideoDecoder()
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec)
        return;
    AVCodecContext *c = avcodec_alloc_context3(codec);
    if (!c)
        return;
    // Broken input is counted, not written to the program's output.
    c->log_level_offset = AV_LOG_TRACE;
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_LOW_DELAY;
    // Stop at the first damage instead of concealing it: a smeared picture is never shown.
    c->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
    c->max_pixels = MaxPixels;
    if (avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&c);
        return;
    }
    m_packet = av_packet_alloc();
    if (!m_packet) {
        avcodec_free_context(&c);
        return;
    }
    m_context = c;
}

KSdkVideoDecoder::~KSdkVideoDecoder()
{
    sws_freeContext(m_scaler);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_context);
}

void KSdkVideoDecoder::reset()
{
    if (m_context)
        avcodec_flush_buffers(m_context);
}

KSdkPicture KSdkVideoDecoder::decode(const QByteArray &unit)
{
    if (!m_context || unit.isEmpty())
        return nullptr;
    av_packet_unref(m_packet);
    // libavcodec may read a little past the data: a padded copy.
    if (av_new_packet(m_packet, unit.size()) < 0)
        return nullptr;
    memcpy(m_packet->data, unit.constData(), size_t(unit.size()));
    if (avcodec_send_packet(m_context, m_packet) < 0)
        return nullptr;
    AVFrame *frame = av_frame_alloc();
    if (!frame)
        return nullptr;
    KSdkPicture picture(frame, freeFrame);
    if (avcodec_receive_frame(m_context, frame) < 0)
        return nullptr;
    // Anything else that came out of this unit would be a second picture: not ours.
    AVFrame *extra = av_frame_alloc();
    bool more = false;
    while (extra && avcodec_receive_frame(m_context, extra) >= 0) {
        more = true;
        av_frame_unref(extra);
    }
    av_frame_free(&extra);
    if (more || frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) ||
        frame->width <= 0 || frame->height <= 0 || frame->width > MaxDimension ||
        frame->height > MaxDimension)
        return nullptr;
    return picture;
}

QImage KSdkVideoDecoder::scaled(const AVFrame *picture, const QSize &size)
{
    if (!picture || size.isEmpty())
        return QImage();
    m_scaler = sws_getCachedContext(m_scaler, picture->width, picture->height,
                                    AVPixelFormat(picture->format), size.width(), size.height(),
                                    AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    return m_scaler ? convert(m_scaler, picture, size) : QImage();
}

QImage KSdkVideoDecoder::fullSize(const AVFrame *picture)
{
    if (!picture)
        return QImage();
    SwsContext *scaler = sws_getContext(
        picture->width, picture->height, AVPixelFormat(picture->format), picture->width,
        picture->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler)
        return QImage();
    const QImage image = convert(scaler, picture, QSize(picture->width, picture->height));
    sws_freeContext(scaler);
    return image;
}
