#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>
#include <QVector>

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

// One drawn picture: the channel's unchanging background with the moving parts over it, and
// where it differs from the background (an encoder converts only that).
struct KEmuFrame
{
    QImage picture;         // Format_RGB32
    QImage background;      // shared, not copied
    QVector<QRect> changed; // within the picture; areas may overlap
    QByteArray look;        // equal for pictures that are equal (of one stream)
};

// Draws emulated camera pictures. The static part of a picture is drawn once per size and
// title and reused. The moving parts move 12.5 times a second, so that two pictures of a
// 25 fps stream in a row are often the same (an encoder repeats those without encoding). One
// renderer belongs to one thread.
class KEmuFrameRenderer
{
public:
    static constexpr int MotionStepMs = 80;

    KEmuFrame render(const KEmuFrameRequest &request);

private:
    const QImage &background(const KEmuFrameRequest &request);
    static constexpr qint64 maxCacheBytes = 48 * 1024 * 1024;
    QHash<QString, QImage> m_backgrounds;
    QList<QString> m_order; // oldest first
    qint64 m_cacheBytes = 0;
};
