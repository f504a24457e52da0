#include "KEmuVideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cstring>

namespace {

// BT.601 studio range, the decoders' default for pictures that say nothing else.
inline quint8 lumaOf(int r, int g, int b)
{
    return quint8(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
inline quint8 blueOf(int r, int g, int b)
{
    return quint8(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
inline quint8 redOf(int r, int g, int b)
{
    return quint8(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

// Converts area (even corners, inside the picture) of a Format_RGB32 picture into the planes;
// each chroma sample from the mean of its four pixels.
void convert(const QImage &picture, const QRect &area, quint8 *const planes[3],
             const int strides[3])
{
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        const auto *row0 = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const auto *row1 = reinterpret_cast<const QRgb *>(picture.constScanLine(y + 1));
        quint8 *luma0 = planes[0] + y * strides[0];
        quint8 *luma1 = luma0 + strides[0];
        quint8 *u = planes[1] + y / 2 * strides[1];
        quint8 *v = planes[2] + y / 2 * strides[2];
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QRgb p[4] = {row0[x], row0[x + 1], row1[x], row1[x + 1]};
            luma0[x] = lumaOf(qRed(p[0]), qGreen(p[0]), qBlue(p[0]));
            luma0[x + 1] = lumaOf(qRed(p[1]), qGreen(p[1]), qBlue(p[1]));
            luma1[x] = lumaOf(qRed(p[2]), qGreen(p[2]), qBlue(p[2]));
            luma1[x + 1] = lumaOf(qRed(p[3]), qGreen(p[3]), qBlue(p[3]));
            const int r = (qRed(p[0]) + qRed(p[1]) + qRed(p[2]) + qRed(p[3]) + 2) / 4;
            const int g = (qGreen(p[0]) + qGreen(p[1]) + qGreen(p[2]) + qGreen(p[3]) + 2) / 4;
            const int b = (qBlue(p[0]) + qBlue(p[1]) + qBlue(p[2]) + qBlue(p[3]) + 2) / 4;
            u[x / 2] = blueOf(r, g, b);
            v[x / 2] = redOf(r, g, b);
        }
    }
}

// The area grown to even corners and cut to the picture.
QRect evenArea(const QRect &r, const QSize &size)
{
    const int left = qMax(0, r.left() & ~1);
    const int top = qMax(0, r.top() & ~1);
    const int right = qMin(size.width() - 1, r.right() | 1);
    const int bottom = qMin(size.height() - 1, r.bottom() | 1);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

KEmuVideoEncoder::KEmuVideoEncoder(const Settings &settings) : m_settings(settings)
{
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        qWarning("video encoder: libavcodec has no libx264");
        return;
    }
    AVCodecContext *c = avcodec_alloc_context3(codec);
    if (!c)
        return;
    // x264's chatter (and its warnings) below the log's level; errors still show.
    c->log_level_offset = AV_LOG_VERBOSE - AV_LOG_WARNING;
    c->width = settings.size.width();
    c->height = settings.size.height();
    c->time_base = AVRational{1, settings.fps};
    c->framerate = AVRational{settings.fps, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    // Constant quality capped at the target with a one-second buffer: simple pictures take
    // fewer bits, and the link never sees much more than the target. (Cheaper for the encoder
    // than an average rate, which also spends bits it does not need.)
    const qint64 bits = qint64(settings.kbps) * 1000;
    c->rc_max_rate = bits;
    c->rc_buffer_size = int(qMin<qint64>(bits, INT_MAX));
    // Key frames are asked for on the interval (the encoder does not see the repeats).
    c->gop_size = settings.keyInterval * 4;
    c->keyint_min = settings.keyInterval;
    c->max_b_frames = 0;
    c->thread_count = 1;
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    av_opt_set(c->priv_data, "forced-idr", "1", 0);
    av_opt_set(c->priv_data, "crf", "26", 0);
    // Key frames come on the interval or when asked, never on a change of scene.
    av_opt_set(c->priv_data, "x264-params", "scenecut=0", 0);
    if (avcodec_open2(c, codec, nullptr) < 0) {
        qWarning("video encoder: libx264 refused %dx%d at %d kbit/s", c->width, c->height,
                 settings.kbps);
        avcodec_free_context(&c);
        return;
    }
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_frame || !m_packet) {
        avcodec_free_context(&c);
        return;
    }
    m_frame->format = c->pix_fmt;
    m_frame->width = c->width;
    m_frame->height = c->height;
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        avcodec_free_context(&c);
        return;
    }
    m_context = c;
}

KEmuVideoEncoder::~KEmuVideoEncoder()
{
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_context);
}

QByteArray KEmuVideoEncoder::encode(const QImage &picture, bool forceKey, bool *key)
{
    KEmuFrame frame;
    frame.picture = picture;
    frame.changed << picture.rect();
    frame.look = QByteArray::number(picture.cacheKey());
    return encode(frame, forceKey, key);
}

QByteArray KEmuVideoEncoder::encode(const KEmuFrame &frame, bool forceKey, bool *key)
{
    *key = false;
    const QImage &picture = frame.picture;
    const QSize size = m_settings.size;
    if (!m_context || picture.size() != size || picture.format() != QImage::Format_RGB32 ||
        av_frame_make_writable(m_frame) < 0)
        return QByteArray();
    const qint64 interval = qMax(1, m_settings.keyInterval);
    forceKey = forceKey || (m_pictures + m_settings.keyPhase) % interval == 0;
    if (!forceKey && !frame.look.isEmpty() && frame.look == m_lastLook) {
        const QByteArray repeat = m_repeat.repeat();
        if (!repeat.isEmpty()) {
            ++m_pts;
            ++m_pictures;
            return repeat;
        }
    }
    m_lastLook = frame.look;
    quint8 *const planes[3] = {m_frame->data[0], m_frame->data[1], m_frame->data[2]};
    const int strides[3] = {m_frame->linesize[0], m_frame->linesize[1], m_frame->linesize[2]};
    const int heights[3] = {size.height(), size.height() / 2, size.height() / 2};
    const bool known = !frame.background.isNull() && frame.background.size() == size &&
                       frame.background.format() == QImage::Format_RGB32;
    if (known) {
        if (frame.background.cacheKey() != m_backgroundKey) {
            convert(frame.background, QRect(QPoint(0, 0), size), planes, strides);
            m_backgroundPlanes.clear();
            for (int i = 0; i < 3; ++i)
                m_backgroundPlanes.insert(m_backgroundPlanes.end(), planes[i],
                                          planes[i] + strides[i] * heights[i]);
            m_backgroundKey = frame.background.cacheKey();
        } else {
            const quint8 *from = m_backgroundPlanes.data();
            for (int i = 0; i < 3; ++i) {
                std::memcpy(planes[i], from, size_t(strides[i] * heights[i]));
                from += strides[i] * heights[i];
            }
        }
    }
    for (const QRect &r : known ? frame.changed : QVector<QRect>{picture.rect()}) {
        const QRect area = evenArea(r, size);
        if (!area.isEmpty())
            convert(picture, area, planes, strides);
    }
    m_frame->pts = m_pts++;
    m_frame->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(m_context, m_frame) < 0)
        return QByteArray();
    // Without look-ahead or B-frames each picture comes out at once.
    if (avcodec_receive_packet(m_context, m_packet) < 0)
        return QByteArray();
    const QByteArray unit(reinterpret_cast<const char *>(m_packet->data), m_packet->size);
    *key = m_packet->flags & AV_PKT_FLAG_KEY;
    av_packet_unref(m_packet);
    m_repeat.take(unit);
    ++m_pictures;
    return unit;
}
