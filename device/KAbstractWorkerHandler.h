#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>

#include <memory>
#include <vector>

class KAbstractWorker;
class KWorkerThread;

// The part of the handler pattern that does not depend on the kind of job: the thread pool,
// the job table, the first-in first-out queue, job IDs, finishing and teardown. All tables are
// touched only in the thread the handler lives in (the UI thread); workers reach it by queued
// signals, so no lock is needed.
class KAbstractWorkerHandler : public QObject
{
    Q_OBJECT

public:
    // Ends a pool left running without calling the kind's overrides, which no longer exist
    // here: running jobs are not told to quit, only waited for.
    ~KAbstractWorkerHandler() override;

    // Builds the pool with the kind's thread limit from "settings.xml"; nothing when started.
    void initialize();
    // Builds the pool with an explicit size; nothing when started.
    void initialize(int threadCount);
    // Stops every job, waits for the running ones to return and removes the pool.
    void shutdown();

    bool isInitialized() const { return m_initialized; }
    int threadCount() const;
    int busyThreadCount() const;
    // Job IDs waiting for a free thread, oldest first.
    QList<int> pendingJobs() const { return m_pendingJobs; }
    // Job IDs of every job that exists, queued or running.
    QList<int> jobs() const { return m_workers.keys(); }
    bool hasJob(int jobID) const { return m_workers.contains(jobID); }

protected:
    explicit KAbstractWorkerHandler(QObject *parent = nullptr);

    virtual int threadLimit() const = 0;
    virtual bool isFamilyWorker(QObject *object) const = 0;
    virtual void invokeRun(KAbstractWorker *worker, int jobID) = 0;
    virtual void invokeQuitAtShutdown(KAbstractWorker *worker) = 0;
    virtual bool hasJobParameters(int jobID) const = 0;
    virtual void removeJobParameters(int jobID) = 0;
    virtual void clearJobParameters() = 0;
    // Emits the kind's state relay; kinds without one ignore it.
    virtual void relayStateChange(int jobID, int state);
    // Hooks for the kinds' own bookkeeping: after the pool was built, after it was removed,
    // and when a job leaves the tables in finishJob().
    virtual void onInitialized() {}
    virtual void onShutdown() {}
    virtual void onJobRemoved(int) {}

    // Picks the next free job ID (from 1, skipping IDs still held by a live job).
    int reserveJobID();
    // Registers the worker under the job ID, queues it and tries to start it.
    void enqueueJob(int jobID, KAbstractWorker *worker);
    void startPendingJob();
    // The sender as a worker of this kind, or nullptr.
    KAbstractWorker *familySender() const;
    // The job ID of a worker; 0 when it is unknown.
    int jobIDOf(const QObject *worker) const;
    KAbstractWorker *workerOf(int jobID) const { return m_workers.value(jobID); }

protected slots:
    void finishJob();
    void handleStateChange(int state);

private:
    // shutdown() without the virtual calls when quitWorkers is false.
    void releasePool(bool quitWorkers);

    bool m_initialized = false;
    std::vector<std::unique_ptr<KWorkerThread>> m_threads;
    QHash<int, KWorkerThread *> m_threadByJob;
    QMap<int, KAbstractWorker *> m_workers;
    int m_nextJobID = 1;
    QList<int> m_pendingJobs;
};
