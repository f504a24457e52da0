#include "KEmuRenderWorker.h"

#include "KEmuRenderPool.h"

#include <QMetaObject>

void KEmuRenderWorker::submit(const KEmuFrameRequest &request, quint64 encoderId,
                              const KEmuVideoEncoder::Settings &settings, bool forceKey,
                              quint64 ticket, KEmuRenderPool *pool)
{
    m_pending.ref();
    QMetaObject::invokeMethod(
        this,
        [this, request, encoderId, settings, forceKey, ticket, pool]() {
            std::unique_ptr<KEmuVideoEncoder> &encoder = m_encoders[encoderId];
            if (!encoder || !(encoder->settings() == settings))
                encoder = std::make_unique<KEmuVideoEncoder>(settings);
            KEmuPicture picture;
            picture.accessUnit =
                encoder->encode(m_renderer.render(request), forceKey, &picture.key);
            m_pending.deref();
            // The pool outlives the render threads, so posting to it is always safe.
            QMetaObject::invokeMethod(
                pool, [pool, ticket, picture]() { pool->deliver(ticket, picture); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void KEmuRenderWorker::release(quint64 encoderId)
{
    QMetaObject::invokeMethod(
        this, [this, encoderId]() { m_encoders.erase(encoderId); }, Qt::QueuedConnection);
}
