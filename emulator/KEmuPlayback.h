#pragma once

#include "KEmuArchive.h"
#include "KEmuLiveStream.h"

#include <QDateTime>
#include <QObject>

class KEmuRenderPool;
class KEmuRenderWorker;
class QTimer;

// Playback of one channel's archive from one moment to another: pictures paced in real time,
// each showing the archive moment it stands for; gaps between recordings are skipped. Every
// speed sends every picture; the first one and the first after a change of speed are key
// frames.
class KEmuPlayback : public QObject
{
    Q_OBJECT
public:
    // The recorded pieces of the channel inside [from, to], as the recorder holds them now.
    using PieceSource =
        std::function<QList<KEmuArchivePiece>(const QDateTime &from, const QDateTime &to)>;

    KEmuPlayback(PieceSource pieces, const KEmuLiveStream::Source &source, const QDateTime &from,
                 const QDateTime &to, KEmuRenderPool *pool, QObject *parent = nullptr);
    ~KEmuPlayback() override;

    // Starts at the first recorded moment at or after from; false (and ended()) when the
    // range holds nothing.
    bool start();
    void pause();
    void resume();
    // Speed level -3..3: the archive runs 2^level times as fast as real time.
    void setSpeed(int level);

    bool isStarted() const { return m_started; }
    bool isPaused() const { return m_paused; }
    int speed() const { return m_level; }
    QDateTime position() const { return m_position; }

signals:
    // time: the archive moment of the picture, to the millisecond.
    void frameReady(const QDateTime &time, quint32 number, const QSize &size,
                    const KEmuPicture &picture);
    void ended();

private:
    // Moves to t or to the next recorded moment after it; false when nothing is left.
    bool locate(const QDateTime &t);
    void tick();
    void finish();

    PieceSource m_pieces;
    KEmuLiveStream::Source m_source;
    QDateTime m_from;
    QDateTime m_to;
    KEmuRenderPool *m_pool;
    KEmuRenderWorker *m_worker;
    quint64 m_encoder;
    QTimer *m_timer;
    QDateTime m_position; // millisecond precision
    QDateTime m_pieceEnd; // end of the recording the position is in
    int m_level = 0;
    bool m_started = false;
    bool m_paused = false;
    bool m_finished = false;
    bool m_inFlight = false;
    bool m_forceKey = true;
    quint32 m_number = 0;
};
