#include "KEmuRenderWorker.h"

#include <QMetaObject>

void KEmuRenderWorker::submit(const KEmuFrameRequest &request, QObject *context, Done done)
{
    m_pending.ref();
    QMetaObject::invokeMethod(
        this,
        [this, request, context, done]() {
            const QByteArray jpeg = KEmuFrameRenderer::encodeJpeg(m_renderer.render(request), 70);
            m_pending.deref();
            QMetaObject::invokeMethod(
                context, [done, jpeg]() { done(jpeg); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
