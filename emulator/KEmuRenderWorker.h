#pragma once

#include "KEmuFrameRenderer.h"
#include "KEmuVideoEncoder.h"

#include <QAtomicInt>
#include <QHash>
#include <QObject>
#include <memory>
#include <unordered_map>

class KEmuRenderPool;

// Draws and encodes pictures on its own thread; each result goes back to the pool. Keeps the
// encoder of every stream it serves, as a stream's pictures depend on the ones before.
class KEmuRenderWorker : public QObject
{
    Q_OBJECT
public:
    // Queues one picture of the stream whose encoder is encoderId (made on first use with
    // settings); the pool receives it in its own thread under the ticket.
    void submit(const KEmuFrameRequest &request, quint64 encoderId,
                const KEmuVideoEncoder::Settings &settings, bool forceKey, quint64 ticket,
                KEmuRenderPool *pool);
    // Queues the end of a stream's encoder.
    void release(quint64 encoderId);
    int pending() const { return m_pending.loadRelaxed(); }

private:
    KEmuFrameRenderer m_renderer; // used on the worker's thread only
    std::unordered_map<quint64, std::unique_ptr<KEmuVideoEncoder>> m_encoders; // worker's thread
    QAtomicInt m_pending; // submitted, not yet encoded; read from any thread
};
