#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

// What one picture shows.
struct KEmuFrameRequest
{
    QSize size;
    QString title;    // channel title
    QString recorder; // recorder name
    QDateTime moment; // recorder clock (live) or archive moment (playback)
    qint64 msecs = 0; // moment in milliseconds, drives the moving parts
    int channel = 0;
    QString mode; // "LIVE", "PLAY 2x", ...
    bool signalLost = false;
};

// Draws emulated camera pictures. The static part of a picture is drawn once per size and
// title and reused. One renderer belongs to one thread.
class KEmuFrameRenderer
{
public:
    QImage render(const KEmuFrameRequest &request);
    static QByteArray encodeJpeg(const QImage &image, int quality = 70);

private:
    const QImage &background(const KEmuFrameRequest &request);
    static constexpr qint64 maxCacheBytes = 48 * 1024 * 1024;
    QHash<QString, QImage> m_backgrounds;
    QList<QString> m_order; // oldest first
    qint64 m_cacheBytes = 0;
};
