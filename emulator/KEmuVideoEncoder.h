#pragma once

#include "KEmuFrameRenderer.h"
#include "KEmuH264Repeat.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// One encoded picture of a stream.
struct KEmuPicture
{
    QByteArray accessUnit; // H.264, Annex B; empty when encoding failed
    bool key = false;
};

// One H.264 stream of drawn pictures, encoded by libx264 through libavcodec as a camera's
// encoder would: constant frame rate, a capped bit rate, a key frame every so many pictures or
// when asked, no B-frames and no look-ahead (each picture comes out as it goes in). Every key
// frame carries the sequence headers, so a viewer can start at any of them. The unchanging
// background of a picture is converted for the encoder once and kept; each picture converts
// only where it differs; a picture equal to the one before is sent as a repeat, not encoded
// again. Key frames come every keyInterval pictures, repeats counted, and when asked (which
// does not move the regular ones). Used on one thread.
class KEmuVideoEncoder
{
public:
    struct Settings
    {
        QSize size;
        int fps = 25;
        int kbps = 256;
        int keyInterval = 50; // pictures from key frame to key frame
        // The regular key frames come where the pictures made plus this are a multiple of the
        // interval: the channels of a recorder do not all send theirs at once.
        int keyPhase = 0;
        bool operator==(const Settings &o) const
        {
            return size == o.size && fps == o.fps && kbps == o.kbps &&
                   keyInterval == o.keyInterval && keyPhase == o.keyPhase;
        }
    };

    explicit KEmuVideoEncoder(const Settings &settings);
    ~KEmuVideoEncoder();
    KEmuVideoEncoder(const KEmuVideoEncoder &) = delete;
    KEmuVideoEncoder &operator=(const KEmuVideoEncoder &) = delete;

    bool isValid() const { return m_context != nullptr; }
    const Settings &settings() const { return m_settings; }
    // One access unit (Annex B) of a drawn picture of the stream's size; empty when the
    // encoder failed. *key tells whether it is a key frame.
    QByteArray encode(const KEmuFrame &frame, bool forceKey, bool *key);
    // The same for a picture without a known background (Format_RGB32); the same image
    // (QImage::cacheKey) twice is a repeat.
    QByteArray encode(const QImage &picture, bool forceKey, bool *key);

private:
    Settings m_settings;
    AVCodecContext *m_context = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    qint64 m_backgroundKey = 0;             // QImage::cacheKey() of the converted background
    std::vector<quint8> m_backgroundPlanes; // its Y, U and V planes, packed
    qint64 m_pts = 0;
    KEmuH264Repeat m_repeat;
    QByteArray m_lastLook;
    qint64 m_pictures = 0; // made so far, repeats counted
};
