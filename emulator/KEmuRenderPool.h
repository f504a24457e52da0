#pragma once

#include "KEmuRenderWorker.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>

// The threads that draw and encode pictures, so that the network loop never waits for a
// painter or an encoder. Lives on the main thread; results come back to it and go on to their
// askers there, so an asker may be destroyed at any moment without a render thread touching it.
class KEmuRenderPool : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const KEmuPicture &picture)>;

    explicit KEmuRenderPool(int threads = 2, QObject *parent = nullptr);
    ~KEmuRenderPool() override;

    // The worker for a new stream: streams are spread evenly and each keeps its worker, so
    // that a worker's cached backgrounds and encoders are those of its own streams.
    KEmuRenderWorker *assign();
    // A number for a new stream's encoder.
    quint64 newEncoder() { return ++m_encoders; }
    // Draws and encodes on worker; done runs on the main thread unless context is gone by then.
    void submit(KEmuRenderWorker *worker, const KEmuFrameRequest &request, quint64 encoderId,
                const KEmuVideoEncoder::Settings &settings, bool forceKey, QObject *context,
                Done done);
    void deliver(quint64 ticket, const KEmuPicture &picture);

private:
    struct Pending
    {
        QPointer<QObject> context;
        Done done;
    };

    QList<QThread *> m_threads;
    QList<KEmuRenderWorker *> m_workers;
    int m_next = 0;
    quint64 m_ticket = 0;
    quint64 m_encoders = 0;
    QHash<quint64, Pending> m_pending; // main thread only
};
