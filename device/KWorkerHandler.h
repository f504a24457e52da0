#pragma once

#include "KAbstractWorker.h"
#include "KAbstractWorkerHandler.h"

#include <QMap>

#include <functional>

// The handler pattern for one kind of job. Traits gives:
//   Worker      the family's worker base (a QObject class derived from KAbstractWorker)
//   Parameters  the job's parameter record
//   static int threadLimit()                               pool size from the settings
//   static Worker *createWorker(const Parameters &)        nullptr refuses the job
//   static void invokeRun(Worker *, const Parameters &)    queued call of the worker's run slot
//   static constexpr bool quitAtShutdown                   whether shutdown calls quit at all
//   static constexpr Qt::ConnectionType quitConnection     how shutdown calls it
// The concrete handler adds the kind's relay signals and connects them in connectWorker().
template<typename Traits> class KWorkerHandler : public KAbstractWorkerHandler
{
public:
    using Worker = typename Traits::Worker;
    using Parameters = typename Traits::Parameters;
    using WorkerFactory = std::function<Worker *(const Parameters &)>;

    // Shuts down while this class's overrides still exist (the base destructor cannot call
    // them), so a handler destroyed without shutdown(), a function-local singleton at exit
    // included, still tells its running jobs to quit.
    ~KWorkerHandler() override { shutdown(); }

    // Creates the worker for the parameters, gives it a job ID, queues it and tries to start
    // it. Returns the job ID (1 or more) or -1 when the job was refused.
    int addJob(const Parameters &parameters)
    {
        if (!isInitialized())
            return -1;
        Worker *worker = m_factory ? m_factory(parameters) : Traits::createWorker(parameters);
        if (!worker)
            return -1;
        connect(worker, &KAbstractWorker::finished, this, &KWorkerHandler::finishJob);
        connectWorker(worker);
        const int jobID = reserveJobID();
        m_jobParameters.insert(jobID, parameters);
        enqueueJob(jobID, worker);
        return jobID;
    }

    // Replaces the kind's choice of worker class (later worker families, tests, benchmarks);
    // an empty factory restores the default.
    void setWorkerFactory(WorkerFactory factory) { m_factory = std::move(factory); }

    Parameters jobParameters(int jobID) const { return m_jobParameters.value(jobID); }
    Worker *worker(int jobID) const { return static_cast<Worker *>(workerOf(jobID)); }

protected:
    using KAbstractWorkerHandler::KAbstractWorkerHandler;

    virtual void connectWorker(Worker *) {}

    int threadLimit() const override { return Traits::threadLimit(); }
    bool isFamilyWorker(QObject *object) const override
    {
        return qobject_cast<Worker *>(object) != nullptr;
    }
    void invokeRun(KAbstractWorker *worker, int jobID) override
    {
        Traits::invokeRun(static_cast<Worker *>(worker), m_jobParameters.value(jobID));
    }
    void invokeQuitAtShutdown(KAbstractWorker *worker) override
    {
        if (Traits::quitAtShutdown)
            QMetaObject::invokeMethod(worker, "quit", Traits::quitConnection);
    }
    bool hasJobParameters(int jobID) const override { return m_jobParameters.contains(jobID); }
    void removeJobParameters(int jobID) override { m_jobParameters.remove(jobID); }
    void clearJobParameters() override { m_jobParameters.clear(); }

private:
    QMap<int, Parameters> m_jobParameters;
    WorkerFactory m_factory;
};
