#include "KEmuRenderPool.h"

KEmuRenderPool::KEmuRenderPool(int threads)
{
    for (int i = 0; i < qMax(1, threads); ++i) {
        auto *thread = new QThread;
        thread->setObjectName(QStringLiteral("render-%1").arg(i));
        auto *worker = new KEmuRenderWorker;
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
        thread->start();
        m_threads << thread;
        m_workers << worker;
    }
}

KEmuRenderPool::~KEmuRenderPool()
{
    for (QThread *thread : m_threads) {
        thread->quit();
        thread->wait();
        delete thread;
    }
}

KEmuRenderWorker *KEmuRenderPool::assign()
{
    KEmuRenderWorker *w = m_workers.at(m_next);
    m_next = (m_next + 1) % m_workers.size();
    return w;
}
