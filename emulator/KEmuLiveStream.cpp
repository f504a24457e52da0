#include "KEmuLiveStream.h"

#include "KEmuRenderPool.h"

#include <QTimer>

KEmuLiveStream::KEmuLiveStream(const Source &source, KEmuRenderPool *pool, QObject *parent)
    : QObject(parent), m_source(source), m_pool(pool), m_worker(pool->assign()),
      m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1000 / qMax(1, m_source.fps));
    connect(m_timer, &QTimer::timeout, this, &KEmuLiveStream::tick);
}

void KEmuLiveStream::addClient()
{
    if (m_clients++ == 0) {
        m_timer->start();
        tick();
    }
}

void KEmuLiveStream::removeClient()
{
    if (m_clients > 0 && --m_clients == 0)
        m_timer->stop();
}

void KEmuLiveStream::tick()
{
    // A picture still being drawn means the render threads are behind: skip this one.
    if (m_inFlight || m_clients == 0)
        return;
    m_inFlight = true;
    KEmuFrameRequest request;
    request.size = m_source.size;
    request.title = m_source.title;
    request.recorder = m_source.recorder;
    request.channel = m_source.channel;
    const QDateTime now = m_source.clock();
    request.moment = now;
    request.msecs = now.toMSecsSinceEpoch();
    request.mode = m_source.sub ? QStringLiteral("LIVE SUB") : QStringLiteral("LIVE");
    request.signalLost = m_source.signalLost && m_source.signalLost();
    const quint32 number = ++m_number;
    const QDateTime moment = now.addMSecs(-now.time().msec());
    m_pool->submit(m_worker, request, this, [this, moment, number](const QByteArray &jpeg) {
        m_inFlight = false;
        if (m_clients > 0)
            emit frameReady(moment, number, m_source.size, jpeg);
    });
}
