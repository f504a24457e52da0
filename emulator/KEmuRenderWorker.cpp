#include "KEmuRenderWorker.h"

#include "KEmuRenderPool.h"

#include <QMetaObject>

void KEmuRenderWorker::submit(const KEmuFrameRequest &request, quint64 ticket, KEmuRenderPool *pool)
{
    m_pending.ref();
    QMetaObject::invokeMethod(
        this,
        [this, request, ticket, pool]() {
            const QByteArray jpeg = KEmuFrameRenderer::encodeJpeg(m_renderer.render(request), 70);
            m_pending.deref();
            // The pool outlives the render threads, so posting to it is always safe.
            QMetaObject::invokeMethod(
                pool, [pool, ticket, jpeg]() { pool->deliver(ticket, jpeg); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
