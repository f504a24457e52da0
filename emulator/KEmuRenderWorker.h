#pragma once

#include "KEmuFrameRenderer.h"

#include <QAtomicInt>
#include <QObject>

class KEmuRenderPool;

// Draws and encodes pictures on its own thread; each result goes back to the pool.
class KEmuRenderWorker : public QObject
{
    Q_OBJECT
public:
    // Queues one picture; the pool receives it in its own thread under the ticket.
    void submit(const KEmuFrameRequest &request, quint64 ticket, KEmuRenderPool *pool);
    int pending() const { return m_pending.loadRelaxed(); }

private:
    KEmuFrameRenderer m_renderer; // used on the worker's thread only
    QAtomicInt m_pending;         // submitted, not yet encoded; read from any thread
};
