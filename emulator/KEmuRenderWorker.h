#pragma once

#include "KEmuFrameRenderer.h"

#include <QAtomicInt>
#include <QObject>
#include <functional>

// Draws and encodes pictures on its own thread; results go back to the asker's thread.
class KEmuRenderWorker : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const QByteArray &jpeg)>;

    // Queues one picture. done runs in context's thread unless context is gone by then.
    void submit(const KEmuFrameRequest &request, QObject *context, Done done);
    int pending() const { return m_pending.loadRelaxed(); }

private:
    KEmuFrameRenderer m_renderer; // used on the worker's thread only
    QAtomicInt m_pending;         // submitted, not yet encoded; read from any thread
};
