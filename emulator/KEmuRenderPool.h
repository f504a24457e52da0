#pragma once

#include "KEmuRenderWorker.h"

#include <QList>
#include <QThread>

// The threads that draw pictures, so that the network loop never waits for a painter.
class KEmuRenderPool
{
public:
    explicit KEmuRenderPool(int threads = 2);
    ~KEmuRenderPool();

    // The worker for a new stream: streams are spread evenly and each keeps its worker, so
    // that a worker's cached backgrounds are those of its own streams.
    KEmuRenderWorker *assign();

private:
    QList<QThread *> m_threads;
    QList<KEmuRenderWorker *> m_workers;
    int m_next = 0;
};
