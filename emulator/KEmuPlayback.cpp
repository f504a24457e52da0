#include "KEmuPlayback.h"

#include "KEmuRenderPool.h"

#include <QTimer>

KEmuPlayback::KEmuPlayback(PieceSource pieces, const KEmuLiveStream::Source &source,
                           const QDateTime &from, const QDateTime &to, KEmuRenderPool *pool,
                           QObject *parent)
    : QObject(parent), m_pieces(std::move(pieces)), m_source(source), m_from(from), m_to(to),
      m_pool(pool), m_worker(pool->assign()), m_encoder(pool->newEncoder()),
      m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1000 / qMax(1, m_source.fps));
    connect(m_timer, &QTimer::timeout, this, &KEmuPlayback::tick);
}

KEmuPlayback::~KEmuPlayback()
{
    m_worker->release(m_encoder);
}

bool KEmuPlayback::locate(const QDateTime &t)
{
    QDateTime from = t;
    // A day at a time, so that a long gap costs a few schedule computations only.
    while (from < m_to) {
        const QDateTime until = qMin(m_to, from.addDays(1));
        for (const KEmuArchivePiece &p : m_pieces(from, until)) {
            if (p.end <= t)
                continue;
            m_position = qMax(p.begin, t);
            // A piece cut at the window's end may go on: ask again when it is reached.
            m_pieceEnd = p.end;
            return true;
        }
        from = until;
    }
    return false;
}

bool KEmuPlayback::start()
{
    if (m_started)
        return false;
    m_started = true;
    if (!locate(m_from)) {
        qInfo("playback ch%d: nothing recorded in the range", m_source.channel);
        QTimer::singleShot(0, this, &KEmuPlayback::finish);
        return false;
    }
    m_timer->start();
    tick();
    return true;
}

void KEmuPlayback::pause()
{
    m_paused = true;
}

void KEmuPlayback::resume()
{
    m_paused = false;
}

void KEmuPlayback::setSpeed(int level)
{
    const int before = m_level;
    m_level = qBound(-3, level, 3);
    if (m_level != before)
        m_forceKey = true;
}

void KEmuPlayback::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer->stop();
    emit ended();
}

void KEmuPlayback::tick()
{
    if (m_finished || m_paused)
        return;
    if (m_number > 0) {
        // One tick of real time moves the archive by 2^level ticks.
        const qint64 step = m_level >= 0 ? qint64(m_timer->interval()) << m_level
                                         : qint64(m_timer->interval()) >> -m_level;
        m_position = m_position.addMSecs(step);
    }
    if (m_position >= m_to) {
        finish();
        return;
    }
    if (m_position >= m_pieceEnd && !locate(m_position)) {
        finish();
        return;
    }
    if (m_inFlight)
        return;
    m_inFlight = true;
    KEmuFrameRequest request;
    request.size = m_source.size;
    request.title = m_source.title;
    request.recorder = m_source.recorder;
    request.channel = m_source.channel;
    request.moment = m_position;
    request.msecs = m_position.toMSecsSinceEpoch();
    static const char *const speeds[] = {"1/8x", "1/4x", "1/2x", "1x", "2x", "4x", "8x"};
    request.mode = QStringLiteral("PLAY %1").arg(QLatin1String(speeds[m_level + 3]));
    const quint32 number = ++m_number;
    const QDateTime moment = m_position;
    const KEmuVideoEncoder::Settings settings = m_source.encoderSettings();
    const bool key = m_forceKey;
    m_forceKey = false;
    m_pool->submit(m_worker, request, m_encoder, settings, key, this,
                   [this, moment, number](const KEmuPicture &picture) {
                       m_inFlight = false;
                       // A picture drawn while the pause came is still sent: the ones after it
                       // build on it. Paused means no new pictures.
                       if (!m_finished && !picture.accessUnit.isEmpty())
                           emit frameReady(moment, number, m_source.size, picture);
                   });
}
