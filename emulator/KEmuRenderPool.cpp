#include "KEmuRenderPool.h"

KEmuRenderPool::KEmuRenderPool(int threads, QObject *parent) : QObject(parent)
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
    for (QThread *thread : qAsConst(m_threads)) {
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

void KEmuRenderPool::submit(KEmuRenderWorker *worker, const KEmuFrameRequest &request,
                            quint64 encoderId, const KEmuVideoEncoder::Settings &settings,
                            bool forceKey, QObject *context, Done done)
{
    const quint64 ticket = ++m_ticket;
    m_pending.insert(ticket, Pending{context, std::move(done)});
    worker->submit(request, encoderId, settings, forceKey, ticket, this);
}

void KEmuRenderPool::deliver(quint64 ticket, const KEmuPicture &picture)
{
    const Pending p = m_pending.take(ticket);
    if (p.context)
        p.done(picture);
}
