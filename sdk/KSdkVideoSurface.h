#pragma once

#include "KRecTime.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>
#include <memory>

class KSdkFrameStore;

// A child covering the render window that paints the stream's latest picture, stretched to
// the window. Lives on the GUI thread; mouse events pass through to the window below. When
// its stream stops it retires: it keeps its last picture on top until the window's next
// stream has a picture to paint, or a few seconds.
class KSdkVideoSurface : public QWidget
{
    Q_OBJECT
    // How many of the stream's pictures arrived and how many were painted, and the time of the
    // last one: what the viewer really saw, for measurements (repaints of the same picture do
    // not count).
    Q_PROPERTY(quint64 receivedPictures READ receivedPictures)
    Q_PROPERTY(quint64 paintedPictures READ paintedPictures)
    Q_PROPERTY(QDateTime paintedTime READ paintedTime)
    // What the link and the decoder did: pictures decoded, pictures that never reached the
    // screen, pictures the decoder refused, the size of the stream's pictures, the bit rate of
    // the last two seconds (bit/s), pictures from key frame to key frame, and whether the link
    // is weak now (pictures late, left out or missing).
    Q_PROPERTY(quint64 decodedPictures READ decodedPictures)
    Q_PROPERTY(quint64 droppedPictures READ droppedPictures)
    Q_PROPERTY(quint64 decoderErrors READ decoderErrors)
    Q_PROPERTY(QSize pictureSize READ pictureSize)
    Q_PROPERTY(qint64 bitRate READ bitRate)
    Q_PROPERTY(int keyFrameInterval READ keyFrameInterval)
    Q_PROPERTY(bool weakLink READ weakLink)

public:
    static constexpr int RetiredMs = 3000;

    KSdkVideoSurface(std::shared_ptr<KSdkFrameStore> store, QWidget *window);

    quint64 receivedPictures() const;
    quint64 paintedPictures() const { return m_painted; }
    QDateTime paintedTime() const { return m_painted ? m_paintedTime : QDateTime(); }
    quint64 decodedPictures() const;
    quint64 droppedPictures() const;
    QSize pictureSize() const;
    quint64 decoderErrors() const;
    qint64 bitRate() const;
    int keyFrameInterval() const;
    bool weakLink() const;

    // The stream stopped.
    void retire();
    // The stream has a new picture (from the repaint pacer).
    void pictureReady();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    std::shared_ptr<KSdkFrameStore> m_store;
    quint64 m_paintedSerial = 0;
    quint64 m_paintedImageSerial = 0; // what the screen shows now
    quint64 m_painted = 0;
    QDateTime m_paintedTime;
    bool m_retired = false;
    QList<QPointer<KSdkVideoSurface>> m_covering; // retired surfaces above, until a picture
};
