#pragma once

#include "KRecTime.h"
#include "KSdkVideoDecoder.h"

#include <QDateTime>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <atomic>
#include <mutex>

// What a stream's receiving thread has measured so far.
struct KSdkStreamStats
{
    quint64 receivedPictures = 0;
    quint64 receivedBytes = 0; // frames as they came off the socket
    quint64 keyFrames = 0;
    quint64 decodedPictures = 0;
    // Pictures that never reached the screen: left out on the way (gaps in the numbering),
    // or not decodable while waiting for a key frame.
    quint64 droppedPictures = 0;
    quint64 decoderErrors = 0;
    quint64 latePictures = 0;
    qint64 bitRate = 0;       // bit/s over the last two seconds
    int keyFrameInterval = 0; // pictures between the last two key frames; 0 not yet known
    QSize pictureSize;        // of the last decoded picture
    bool weakLink = false;    // pictures came late, were left out or stopped coming just now
};

// The picture a stream shows now, shared by the stream's thread and the on-screen surface
// (which may outlive the stream by a moment, hence shared ownership).
class KSdkFrameStore
{
public:
    // image: the picture at the surface's size (null without a surface); sameImage: it is the
    // one set before, pixel for pixel (the stream repeated its picture).
    void setPicture(const KRecTime &time, int msec, const KSdkPicture &picture, const QImage &image,
                    bool sameImage = false);
    // False until the first picture was decoded. *picture: the decoded picture at full size.
    bool picture(KRecTime *time, KSdkPicture *picture) const;
    // The picture to paint with its number (counting from 1) and time; *imageSerial is the
    // number of the first picture that looked like this.
    QImage image(quint64 *serial = nullptr, QDateTime *time = nullptr,
                 quint64 *imageSerial = nullptr) const;
    QSize targetSize() const;
    void setTargetSize(const QSize &size);

    // Written by the stream's thread, read by anyone.
    void setStats(const KSdkStreamStats &stats, qint64 lastArrivalMs, qint64 lastTroubleMs);
    // With the weak-link state as of now; paused or ended streams are not weak.
    KSdkStreamStats stats() const;
    // The stream's pictures per second: three missing in a row (or a second) is a silence.
    void setFrameRate(int fps);
    std::atomic<bool> quiet{false}; // paused or ended: no pictures are due

    std::atomic<bool> updatePending{false}; // a repaint is already queued
    std::atomic<bool> closed{false};        // the stream stopped; no surface may be created
    QPointer<QWidget> surface;              // touched on the GUI thread only

    // Milliseconds on one steady clock for every stream.
    static qint64 nowMs();

private:
    mutable std::mutex m_mutex; // guards every field below
    bool m_valid = false;
    quint64 m_serial = 0;
    quint64 m_imageSerial = 0;
    KRecTime m_time;
    int m_msec = 0;
    KSdkPicture m_picture;
    QImage m_image;
    QSize m_targetSize;
    KSdkStreamStats m_stats;
    qint64 m_lastArrivalMs = -1;
    qint64 m_lastTroubleMs = -1;
    qint64 m_silenceMs = 1000;
};
