#include "KEmuLiveStream.h"

#include "KEmuRenderPool.h"

#include <QTimer>

KEmuLiveStream::KEmuLiveStream(const Source &source, KEmuRenderPool *pool, QObject *parent)
    : QObject(parent), m_source(source), m_pool(pool), m_worker(pool->assign()),
      m_encoder(pool->newEncoder()), m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1000 / qMax(1, m_source.fps));
    connect(m_timer, &QTimer::timeout, this, &KEmuLiveStream::tick);
}

KEmuLiveStream::~KEmuLiveStream()
{
    m_worker->release(m_encoder);
}

void KEmuLiveStream::addClient()
{
    m_forceKey = true;
    if (m_clients++ == 0) {
        m_timer->start();
        tick();
    }
}

void KEmuLiveStream::removeClient()
{
    if (m_clients > 0 && --m_clients == 0) {
        m_timer->stop();
        // Nobody watches: the encoder's memory goes back until somebody does.
        m_worker->release(m_encoder);
    }
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
    const KEmuVideoEncoder::Settings settings = m_source.encoderSettings();
    const bool key = m_forceKey;
    m_forceKey = false;
    m_pool->submit(m_worker, request, m_encoder, settings, key, this,
                   [this, now, number](const KEmuPicture &picture) {
                       m_inFlight = false;
                       if (m_clients > 0 && !picture.accessUnit.isEmpty())
                           emit frameReady(now, number, m_source.size, picture);
                   });
}
