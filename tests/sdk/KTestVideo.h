#pragma once

#include "KEmuVideoEncoder.h"
#include "KRecorderMessages.h"

#include <QColor>
#include <QDateTime>
#include <QImage>

// Pictures as a recorder sends them: H.264 access units made by the emulator's own encoder,
// numbered one after another.
class KTestVideo
{
public:
    explicit KTestVideo(const QSize &size = QSize(64, 36))
        : m_encoder(KEmuVideoEncoder::Settings{size, 25, 4000, 250})
    {}

    static QImage filled(const QSize &size, const QColor &color)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        return image;
    }

    KMsgVideoFrame frame(const QImage &picture, const QDateTime &time, bool key = false)
    {
        KMsgVideoFrame f;
        f.time = KRecTime::fromDateTime(time);
        f.msec = quint16(time.time().msec());
        f.frameNumber = ++m_number;
        f.width = quint16(picture.width());
        f.height = quint16(picture.height());
        f.accessUnit = m_encoder.encode(picture, key, &f.keyFrame);
        return f;
    }
    KMsgVideoFrame frame(const QColor &color, const QDateTime &time, bool key = false)
    {
        return frame(filled(m_encoder.settings().size, color), time, key);
    }

private:
    KEmuVideoEncoder m_encoder;
    quint32 m_number = 0;
};
