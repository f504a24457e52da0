#include "KAbstractWorkerHandler.h"

#include "KAbstractWorker.h"
#include "KWorkerThread.h"

#include <QPointer>

KAbstractWorkerHandler::KAbstractWorkerHandler(QObject *parent) : QObject(parent) {}

KAbstractWorkerHandler::~KAbstractWorkerHandler()
{
    // The kind's overrides are gone by now (KWorkerHandler shuts down in its own destructor);
    // a pool still here is ended without them, since a pool thread must never outlive its
    // QThread object.
    releasePool(false);
}

void KAbstractWorkerHandler::initialize()
{
    if (m_initialized)
        return;
    initialize(threadLimit());
}

void KAbstractWorkerHandler::initialize(int threadCount)
{
    if (m_initialized)
        return;
    for (int i = 0; i < threadCount; ++i) {
        auto thread = std::make_unique<KWorkerThread>();
        thread->start();
        m_threads.push_back(std::move(thread));
    }
    m_initialized = true;
    onInitialized();
}

void KAbstractWorkerHandler::shutdown()
{
    if (!m_initialized)
        return;
    releasePool(true);
    clearJobParameters();
    onShutdown();
}

void KAbstractWorkerHandler::releasePool(bool quitWorkers)
{
    if (!m_initialized)
        return;
    // Refuse new jobs at once: quit() below processes events, which may run a poll.
    m_initialized = false;

    const QMap<int, KAbstractWorker *> workers = m_workers;
    m_workers.clear();
    // Cut every worker off first, so that nothing delivered while the others are told to quit
    // reaches this handler.
    for (KAbstractWorker *worker : workers)
        worker->disconnect();
    if (quitWorkers) {
        for (KAbstractWorker *worker : workers)
            invokeQuitAtShutdown(worker);
    }
    // Workers whose job never left the queue still live in this thread; nobody else owns them.
    QList<QPointer<KAbstractWorker>> running;
    for (KAbstractWorker *worker : workers) {
        if (worker->thread() == thread())
            delete worker;
        else
            running.append(worker);
    }

    // Waiting here includes waiting for every running run() to return; the thread's finished()
    // then deletes its worker in that thread.
    for (auto &thread : m_threads)
        thread->stop();
    // Past the application object (static destructors at exit) that deferred delete is never
    // delivered; the threads have ended, so nothing else can touch what is left.
    for (const QPointer<KAbstractWorker> &worker : running)
        delete worker.data();
    m_threads.clear();
    m_threadByJob.clear();
    m_workers.clear();
    m_pendingJobs.clear();
}

int KAbstractWorkerHandler::threadCount() const
{
    return int(m_threads.size());
}

int KAbstractWorkerHandler::busyThreadCount() const
{
    int count = 0;
    for (const auto &thread : m_threads) {
        if (thread->isBusy())
            ++count;
    }
    return count;
}

void KAbstractWorkerHandler::relayStateChange(int, int) {}

int KAbstractWorkerHandler::reserveJobID()
{
    if (m_nextJobID == -1)
        m_nextJobID = 1;
    while (hasJobParameters(m_nextJobID))
        ++m_nextJobID;
    const int jobID = m_nextJobID;
    m_nextJobID = jobID + 1;
    return jobID;
}

void KAbstractWorkerHandler::enqueueJob(int jobID, KAbstractWorker *worker)
{
    m_workers.insert(jobID, worker);
    m_pendingJobs.append(jobID);
    startPendingJob();
}

void KAbstractWorkerHandler::startPendingJob()
{
    if (m_pendingJobs.isEmpty())
        return;
    KWorkerThread *freeThread = nullptr;
    for (auto &thread : m_threads) {
        if (!thread->isBusy()) {
            freeThread = thread.get();
            break;
        }
    }
    if (!freeThread)
        return;

    const int jobID = m_pendingJobs.takeFirst();
    KAbstractWorker *worker = m_workers.value(jobID);
    if (!worker)
        return;

    connect(freeThread->thread(), &QThread::finished, worker, &QObject::deleteLater);
    worker->moveToThread(freeThread->thread());
    freeThread->setBusy(true);
    m_threadByJob.insert(jobID, freeThread);
    invokeRun(worker, jobID);
}

KAbstractWorker *KAbstractWorkerHandler::familySender() const
{
    // sender() is null once the worker was disconnected at shutdown, so late queued signals
    // of a dead worker are dropped here.
    QObject *object = sender();
    if (!object || !isFamilyWorker(object))
        return nullptr;
    return static_cast<KAbstractWorker *>(object);
}

int KAbstractWorkerHandler::jobIDOf(const QObject *worker) const
{
    for (auto it = m_workers.cbegin(); it != m_workers.cend(); ++it) {
        if (it.value() == worker)
            return it.key();
    }
    return 0;
}

void KAbstractWorkerHandler::finishJob()
{
    KAbstractWorker *worker = familySender();
    if (!worker)
        return;
    const int jobID = jobIDOf(worker);
    if (jobID == 0)
        return;

    if (m_pendingJobs.contains(jobID)) {
        m_pendingJobs.removeAll(jobID);
    } else if (KWorkerThread *thread = m_threadByJob.take(jobID)) {
        thread->setBusy(false);
    }
    m_workers.remove(jobID);
    worker->disconnect(this);
    // Destroyed by its own thread's event loop, after any call still queued to it there.
    worker->deleteLater();
    removeJobParameters(jobID);
    onJobRemoved(jobID);
    startPendingJob();
}

void KAbstractWorkerHandler::handleStateChange(int state)
{
    KAbstractWorker *worker = familySender();
    if (!worker)
        return;
    relayStateChange(jobIDOf(worker), state);
}
