#pragma once

#include "KAbstractViewWorker.h"
#include "KViewJob.h"
#include "KWorkerHandler.h"

struct KViewTraits
{
    using Worker = KAbstractViewWorker;
    using Parameters = KViewJob;
    static int threadLimit();
    // No view worker family is registered yet: every job is refused until one is.
    static Worker *createWorker(const Parameters &parameters);
    static void invokeRun(Worker *worker, const Parameters &parameters);
    static constexpr bool quitAtShutdown = true;
    static constexpr Qt::ConnectionType quitConnection = Qt::QueuedConnection;
};

// Runs the live and archive view jobs on the video pool.
class KViewHandler : public KWorkerHandler<KViewTraits>
{
    Q_OBJECT

public:
    static KViewHandler *instance();
    ~KViewHandler() override;

signals:
    void snapshotTaken(int jobID, bool success);

private slots:
    void handleSnapshotTake(bool success);

protected:
    void connectWorker(KAbstractViewWorker *worker) override;

private:
    KViewHandler();
};
