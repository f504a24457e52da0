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

    // The least busy worker; a stream keeps asking the same one while it can.
    KEmuRenderWorker *worker();

private:
    QList<QThread *> m_threads;
    QList<KEmuRenderWorker *> m_workers;
};
