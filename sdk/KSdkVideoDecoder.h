#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// A decoded picture, shared without copying its pixels.
using KSdkPicture = std::shared_ptr<const AVFrame>;

// One stream's H.264 decoder: libavcodec on the calling thread, no frame threading and no
// reordering delay, so each access unit gives its picture at once. Whatever is wrong with an
// access unit (no picture, a decoding error, a concealed picture) is an error: the caller
// then waits for the next key frame and resets. Used on one thread.
class KSdkVideoDecoder
{
public:
    // Largest picture accepted (a 4K camera); a sequence claiming more is an error.
    static constexpr qint64 MaxPixels = 4096LL * 2160;
    static constexpr int MaxDimension = 8192;

    KSdkVideoDecoder();
    ~KSdkVideoDecoder();
    KSdkVideoDecoder(const KSdkVideoDecoder &) = delete;
    KSdkVideoDecoder &operator=(const KSdkVideoDecoder &) = delete;

    bool isValid() const { return m_context != nullptr; }
    // The picture of one access unit (Annex B), or null on any error.
    KSdkPicture decode(const QByteArray &unit);
    // Forgets every reference picture: the next key frame starts afresh.
    void reset();

    // The picture at exactly size in Format_RGB32 (bilinear), through a scaler kept between
    // calls; null when size is empty.
    QImage scaled(const AVFrame *picture, const QSize &size);
    // The picture at its own size in Format_RGB32, for captures (any thread).
    static QImage fullSize(const AVFrame *picture);

private:
    AVCodecContext *m_context = nullptr;
    AVPacket *m_packet = nullptr;
    SwsContext *m_scaler = nullptr;
};
